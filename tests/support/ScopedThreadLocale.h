#pragma once

#include <locale.h>

namespace test_support {

// Switches the calling thread to a locale for the scope's life.
class ScopedThreadLocale {
  public:
    // Throws std::runtime_error when the locale is not installed.
    explicit ScopedThreadLocale(const char* name);
    ~ScopedThreadLocale();
    ScopedThreadLocale(const ScopedThreadLocale&) = delete;
    ScopedThreadLocale& operator=(const ScopedThreadLocale&) = delete;

  private:
    locale_t m_locale;
    locale_t m_previous = nullptr;
};

}  // namespace test_support

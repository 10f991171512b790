#include "tests/support/ScopedThreadLocale.h"

#include <stdexcept>
#include <string>

namespace test_support {

ScopedThreadLocale::ScopedThreadLocale(const char* name) : m_locale(newlocale(LC_ALL_MASK, name, nullptr)) {
    if (m_locale == nullptr) throw std::runtime_error(std::string("locale not available: ") + name);
    m_previous = uselocale(m_locale);
}

ScopedThreadLocale::~ScopedThreadLocale() {
    uselocale(m_previous);
    freelocale(m_locale);
}

}  // namespace test_support

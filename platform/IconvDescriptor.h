#pragma once

#include <iconv.h>

#include <string>

namespace platform {

// Owns one iconv conversion descriptor. An unavailable charset pair leaves it invalid, which the
// caller checks with IsValid(); nothing throws.
class IconvDescriptor {
  public:
    IconvDescriptor(const std::string& toCharset, const std::string& fromCharset);
    ~IconvDescriptor();
    IconvDescriptor(const IconvDescriptor&) = delete;
    IconvDescriptor& operator=(const IconvDescriptor&) = delete;
    IconvDescriptor(IconvDescriptor&& other) noexcept;
    IconvDescriptor& operator=(IconvDescriptor&& other) noexcept;

    bool IsValid() const { return m_cd != kInvalid; }
    iconv_t Get() const { return m_cd; }
    // Returns the descriptor to its initial shift state.
    void Reset();

    // This thread's descriptor for the pair, opened on first use and kept until the thread ends, reset.
    // Opening one loads conversion modules, far dearer than a conversion; descriptors are never shared
    // between threads.
    static IconvDescriptor& ForThread(const std::string& toCharset, const std::string& fromCharset);

  private:
    static inline const iconv_t kInvalid = reinterpret_cast<iconv_t>(-1);
    iconv_t m_cd = kInvalid;
};

}  // namespace platform

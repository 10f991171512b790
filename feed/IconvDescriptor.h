#pragma once

#include <iconv.h>

#include <string>

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

  private:
    static inline const iconv_t kInvalid = reinterpret_cast<iconv_t>(-1);
    iconv_t m_cd = kInvalid;
};

#include "feed/IconvDescriptor.h"

#include <utility>

IconvDescriptor::IconvDescriptor(const std::string& toCharset, const std::string& fromCharset)
    : m_cd(iconv_open(toCharset.c_str(), fromCharset.c_str())) {}

IconvDescriptor::~IconvDescriptor() {
    if (IsValid()) {
        iconv_close(m_cd);
    }
}

IconvDescriptor::IconvDescriptor(IconvDescriptor&& other) noexcept
    : m_cd(std::exchange(other.m_cd, kInvalid)) {}

IconvDescriptor& IconvDescriptor::operator=(IconvDescriptor&& other) noexcept {
    if (this != &other) {
        if (IsValid()) {
            iconv_close(m_cd);
        }
        m_cd = std::exchange(other.m_cd, kInvalid);
    }
    return *this;
}

void IconvDescriptor::Reset() {
    if (IsValid()) {
        iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
    }
}

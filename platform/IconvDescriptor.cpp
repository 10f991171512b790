#include "platform/IconvDescriptor.h"

#include <map>
#include <utility>

namespace platform {

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

IconvDescriptor& IconvDescriptor::ForThread(const std::string& toCharset, const std::string& fromCharset) {
    thread_local std::map<std::pair<std::string, std::string>, IconvDescriptor> open;
    auto key = std::make_pair(toCharset, fromCharset);
    auto it = open.find(key);
    if (it == open.end()) it = open.emplace(std::move(key), IconvDescriptor(toCharset, fromCharset)).first;
    it->second.Reset();
    return it->second;
}

}  // namespace platform

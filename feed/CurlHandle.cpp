#include "feed/CurlHandle.h"

#include <stdexcept>
#include <utility>

CurlHandle::CurlHandle() : m_handle(curl_easy_init()) {
    if (!m_handle) {
        throw std::runtime_error("curl_easy_init gave no handle");
    }
}

CurlHandle::~CurlHandle() {
    if (m_handle) {
        curl_easy_cleanup(m_handle);
    }
}

CurlHandle::CurlHandle(CurlHandle&& other) noexcept : m_handle(std::exchange(other.m_handle, nullptr)) {}

CurlHandle& CurlHandle::operator=(CurlHandle&& other) noexcept {
    if (this != &other) {
        if (m_handle) {
            curl_easy_cleanup(m_handle);
        }
        m_handle = std::exchange(other.m_handle, nullptr);
    }
    return *this;
}

#pragma once

#include <curl/curl.h>

// Owns one libcurl easy handle. Construction throws std::runtime_error when libcurl cannot give one.
class CurlHandle {
  public:
    CurlHandle();
    ~CurlHandle();
    CurlHandle(const CurlHandle&) = delete;
    CurlHandle& operator=(const CurlHandle&) = delete;
    CurlHandle(CurlHandle&& other) noexcept;
    CurlHandle& operator=(CurlHandle&& other) noexcept;

    CURL* Get() const { return m_handle; }

  private:
    CURL* m_handle = nullptr;
};

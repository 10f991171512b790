#pragma once

// libcurl's process-wide set-up. Create one in main() before any thread starts and keep it until every
// transfer has ended; libcurl's global init is not thread-safe.
class CurlGlobal {
  public:
    CurlGlobal();
    ~CurlGlobal();
    CurlGlobal(const CurlGlobal&) = delete;
    CurlGlobal& operator=(const CurlGlobal&) = delete;

  private:
    bool m_bOk = false;  // cleaned up only when it was set up
};

#pragma once

#include <chrono>
#include <cstddef>
#include <optional>
#include <stop_token>
#include <string>

#include "feed/CurlHandle.h"
#include "feed/FeedParser.h"

// Limits of one feed download. The defaults are the production values; tests shorten them.
struct DownloadOptions {
    std::chrono::milliseconds connectTimeout{10'000};
    std::chrono::milliseconds totalTimeout{60'000};
    // A transfer slower than lowSpeedBytes per second for lowSpeedTime is given up.
    long lowSpeedBytes = 64;
    std::chrono::seconds lowSpeedTime{15};
    // A larger body is refused, never cut and parsed.
    size_t maxBodyBytes = kMaxFeedBytes;
};

// What one download gave. Only a complete body with a 2xx status is ok and may be parsed.
struct DownloadResult {
    bool ok = false;
    long httpStatus = 0;  // 0 when no response came
    std::string body;
    std::string error;  // why it is not ok, for the debug log
};

// Plain HTTP GETs (http only, no redirects) through one libcurl handle, which keeps the connection, and
// the server's resolved address, from one download to the next. A stop request aborts the transfer
// within about a second.
class FeedDownloader {
  public:
    explicit FeedDownloader(DownloadOptions options = {}) : m_options(options) {}

    DownloadResult Download(const std::string& url, std::stop_token stop);

  private:
    DownloadOptions m_options;
    std::optional<CurlHandle> m_handle;  // made by the first download
};

// One download on a connection of its own.
DownloadResult DownloadFeed(const std::string& url, std::stop_token stop,
                            const DownloadOptions& options = {});

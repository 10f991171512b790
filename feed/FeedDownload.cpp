#include "feed/FeedDownload.h"

#include <stdexcept>
#include <utility>

#include "platform/DebugLog.h"

namespace {

// The body collected by OnFeedData.
struct FeedBody {
    std::string bytes;
    size_t maxBytes = kMaxFeedBytes;
    bool tooLarge = false;
};

// libcurl write callback: appends exactly size * count bytes to the FeedBody behind `userdata` and
// returns that count; returns 0 (which aborts the transfer) when the body would outgrow its cap.
size_t OnFeedData(char* data, size_t size, size_t count, void* userdata) {
    auto* body = static_cast<FeedBody*>(userdata);
    size_t length = size * count;
    if (length > body->maxBytes - body->bytes.size()) {
        body->tooLarge = true;
        return 0;
    }
    body->bytes.append(data, length);
    return length;
}

// libcurl transfer-info callback: a non-zero answer aborts the transfer. Called at least about once a
// second even while nothing arrives, so a stop ends a stalled transfer promptly.
int OnTransferInfo(void* clientp, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    const auto* stop = static_cast<const std::stop_token*>(clientp);
    return stop->stop_requested() ? 1 : 0;
}

template <typename T>
void SetOption(CURL* handle, CURLoption option, T value) {
    CURLcode code = curl_easy_setopt(handle, option, value);
    if (code != CURLE_OK) {
        platform::DebugLog("feed", std::string("curl_easy_setopt: ") + curl_easy_strerror(code));
    }
}

void ApplyOptions(CURL* handle, const std::string& url, const DownloadOptions& options) {
    SetOption(handle, CURLOPT_URL, url.c_str());
    SetOption(handle, CURLOPT_PROTOCOLS_STR, "http");
    SetOption(handle, CURLOPT_FOLLOWLOCATION, 0L);
    // The worker is one thread of many; signals must not be used for time-outs.
    SetOption(handle, CURLOPT_NOSIGNAL, 1L);
    SetOption(handle, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(options.connectTimeout.count()));
    SetOption(handle, CURLOPT_TIMEOUT_MS, static_cast<long>(options.totalTimeout.count()));
    SetOption(handle, CURLOPT_LOW_SPEED_LIMIT, options.lowSpeedBytes);
    SetOption(handle, CURLOPT_LOW_SPEED_TIME, static_cast<long>(options.lowSpeedTime.count()));
    SetOption(handle, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(options.maxBodyBytes));
}

}  // namespace

DownloadResult FeedDownloader::Download(const std::string& url, std::stop_token stop) {
    DownloadResult result;
    FeedBody body;
    body.maxBytes = m_options.maxBodyBytes;
    try {
        if (!m_handle) m_handle.emplace();
        CURL* const handle = m_handle->Get();
        ApplyOptions(handle, url, m_options);
        // `body` and `stop` live only for this transfer; the handle forgets them before they die.
        SetOption(handle, CURLOPT_WRITEFUNCTION, &OnFeedData);
        SetOption(handle, CURLOPT_WRITEDATA, static_cast<void*>(&body));
        SetOption(handle, CURLOPT_XFERINFOFUNCTION, &OnTransferInfo);
        SetOption(handle, CURLOPT_XFERINFODATA, static_cast<void*>(&stop));
        SetOption(handle, CURLOPT_NOPROGRESS, 0L);

        CURLcode code = curl_easy_perform(handle);
        curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &result.httpStatus);
        SetOption(handle, CURLOPT_WRITEDATA, static_cast<void*>(nullptr));
        SetOption(handle, CURLOPT_XFERINFODATA, static_cast<void*>(nullptr));
        if (body.tooLarge || code == CURLE_FILESIZE_EXCEEDED) {
            result.error = "body larger than " + std::to_string(m_options.maxBodyBytes) + " bytes";
        } else if (code != CURLE_OK) {
            result.error = curl_easy_strerror(code);
        } else if (result.httpStatus < 200 || result.httpStatus > 299) {
            result.error = "HTTP status " + std::to_string(result.httpStatus);
        } else {
            result.ok = true;
        }
    } catch (const std::runtime_error& e) {
        result.error = e.what();
    }
    result.body = std::move(body.bytes);
    return result;
}

DownloadResult DownloadFeed(const std::string& url, std::stop_token stop, const DownloadOptions& options) {
    return FeedDownloader(options).Download(url, std::move(stop));
}

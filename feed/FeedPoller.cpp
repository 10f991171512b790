#include "feed/FeedPoller.h"

#include <utility>

#include "platform/DebugLog.h"
#include "feed/FeedParser.h"

FeedPoller::FeedPoller(std::string url, ItemStore& store, DownloadOptions options)
    : m_url(std::move(url)), m_store(store), m_downloader(options) {}

bool FeedPoller::AlreadyStored(const std::string& body) {
    return m_versionAfterLast && body == m_lastBody && m_store.Version() == m_versionAfterLast;
}

void FeedPoller::PollOnce(std::stop_token stop) {
    DownloadResult download = m_downloader.Download(m_url, stop);
    if (!download.ok) {
        platform::DebugLog("feed", "poll of " + m_url + " stored nothing: " + download.error);
        return;
    }
    if (stop.stop_requested() || AlreadyStored(download.body)) return;
    m_versionAfterLast = m_store.InsertNewItems(CollectFeedItems(download.body));
    // A poll that did not store every new item leaves no memory of its body, so the next one is walked
    // and offered to the store again.
    if (m_versionAfterLast) {
        m_lastBody = std::move(download.body);
    } else {
        m_lastBody.clear();
    }
}

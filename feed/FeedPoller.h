#pragma once

#include <optional>
#include <stop_token>
#include <string>

#include "feed/FeedDownload.h"
#include "store/ItemStore.h"

// Polls one feed into one store, again and again. A body that is byte for byte the one stored last
// time is not walked again while the store is unchanged since (a deletion or another process's write
// makes the next poll store the feed's items again).
class FeedPoller {
  public:
    FeedPoller(std::string url, ItemStore& store, DownloadOptions options = {});

    // One poll: downloads the feed and, when the download is ok, stores its new items.
    void PollOnce(std::stop_token stop);

  private:
    bool AlreadyStored(const std::string& body);

    std::string m_url;
    ItemStore& m_store;
    FeedDownloader m_downloader;  // one connection for every poll
    std::string m_lastBody;
    std::optional<StoreVersion> m_versionAfterLast;  // set only after a poll that committed
};

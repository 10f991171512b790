#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace httplib {
class Server;
}

namespace e2e {

// One item of the served feed. Empty picture/buy links leave the <img>/<a> out of the content.
struct FeedEntry {
    std::string title;  // UTF-8
    std::string link;
    std::string pubDate;
    std::string pictureUrl;
    std::string buyUrl;
};

// A controllable RSS feed on 127.0.0.1:<port>, served from a thread of the test process.
// "/" answers the current items newest first; "/img/..." answers a small PNG. Stalling makes "/"
// hold its answer until released, so a client sits inside a transfer.
class FeedServer {
  public:
    using Clock = std::chrono::steady_clock;

    // Throws std::runtime_error when the port cannot be bound.
    explicit FeedServer(uint16_t port);
    ~FeedServer();
    FeedServer(const FeedServer&) = delete;
    FeedServer& operator=(const FeedServer&) = delete;

    uint16_t Port() const { return m_port; }
    std::string BaseUrl() const;

    // A typical item numbered n: title "<prefix> n", link/picture/buy links on this server, a
    // distinct pubDate.
    FeedEntry MakeEntry(int n, const std::string& titlePrefix = "Deal") const;

    // Items are kept in the order added; the feed lists the last added first.
    void AddItem(FeedEntry entry);
    void ClearItems();
    std::size_t ItemCount() const;

    void SetStalled(bool stalled);
    // Feed requests that arrived while stalled and are being held now.
    int HeldRequests() const;

    // Every answered or held request for "/", with the number of items served.
    struct Hit {
        Clock::time_point at;
        std::size_t items;
    };
    std::vector<Hit> FeedHits() const;
    // Waits until at least `count` feed requests have arrived.
    bool WaitForFeedHits(std::size_t count, std::chrono::milliseconds timeout) const;

    std::string RenderFeed() const;

  private:
    void Serve();
    void HoldWhileStalled();

    uint16_t m_port;
    std::unique_ptr<httplib::Server> m_server;
    std::thread m_thread;

    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    std::vector<FeedEntry> m_items;
    std::vector<Hit> m_hits;
    bool m_bStalled = false;
    bool m_bStopping = false;
    int m_nHeld = 0;
};

}  // namespace e2e

#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "tools/harness/loopback/LoopbackServer.h"

class DealFeed;

namespace httplib {
class Response;
}

namespace harness {

// A feed on 127.0.0.1. "/" answers the body last set; every other path answers a small PNG and is
// recorded, so that a page can be checked for what it fetched. While stalled, "/" sends its headers
// and a few bytes and then nothing until released, so a client sits inside a transfer.
class FeedServer {
  public:
    using Clock = std::chrono::steady_clock;

    // Port 0: one of the system's choosing. Throws std::runtime_error when it cannot be bound.
    explicit FeedServer(uint16_t port = 0);
    ~FeedServer();
    FeedServer(const FeedServer&) = delete;
    FeedServer& operator=(const FeedServer&) = delete;

    uint16_t Port() const { return m_http.Port(); }
    std::string Url(const std::string& path = "/") const { return m_http.Url(path); }
    // "127.0.0.1:<port>"
    std::string Host() const;

    void SetBody(std::string body);
    // Deals on this server's origin; "/" serves them again after every change.
    DealFeed Deals();
    void SetStalled(bool stalled);
    // True once a stalled answer is being held.
    bool WaitUntilStalling(std::chrono::milliseconds limit);

    // When each request for "/" arrived.
    std::vector<Clock::time_point> FeedHits() const;
    bool WaitForFeedHits(std::size_t count, std::chrono::milliseconds limit) const;
    // Requests for other paths that start with `prefix`.
    std::vector<std::string> OtherPaths(const std::string& prefix = "/") const;

  private:
    void ServeFeed(httplib::Response& response);

    LoopbackServer m_http;
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    std::string m_body;
    bool m_bStalled = false;
    int m_nStalling = 0;
    std::vector<Clock::time_point> m_hits;
    std::vector<std::string> m_otherPaths;
};

}  // namespace harness

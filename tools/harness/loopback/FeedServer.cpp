#include "tools/harness/loopback/FeedServer.h"

#include <httplib.h>

#include "DealFeed.h"

namespace harness {

namespace {

// An 8 x 8 orange PNG, so that list pictures load without leaving loopback.
constexpr unsigned char kPicture[] = {
    0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a, 0x00, 0x00, 0x00, 0x0d, 0x49, 0x48, 0x44,
    0x52, 0x00, 0x00, 0x00, 0x08, 0x00, 0x00, 0x00, 0x08, 0x08, 0x02, 0x00, 0x00, 0x00, 0x4b,
    0x6d, 0x29, 0xdc, 0x00, 0x00, 0x00, 0x11, 0x49, 0x44, 0x41, 0x54, 0x78, 0x9c, 0x63, 0x78,
    0x90, 0xa0, 0x80, 0x15, 0x31, 0x0c, 0x2d, 0x09, 0x00, 0x92, 0xc6, 0x58, 0x01, 0xde, 0xee,
    0x79, 0xce, 0x00, 0x00, 0x00, 0x00, 0x49, 0x45, 0x4e, 0x44, 0xae, 0x42, 0x60, 0x82};

}  // namespace

FeedServer::FeedServer(uint16_t port) : m_http(port) {
    // Reserved up front, so that a soak's memory figures leave out the log's growth.
    m_hits.reserve(4096);
    m_http.Http().Get("/",
                      [this](const httplib::Request&, httplib::Response& response) { ServeFeed(response); });
    m_http.Http().Get(".*", [this](const httplib::Request& request, httplib::Response& response) {
        {
            std::lock_guard lock(m_mutex);
            m_otherPaths.push_back(request.path);
        }
        response.set_content(reinterpret_cast<const char*>(kPicture), sizeof kPicture, "image/png");
    });
    m_http.Listen();
}

FeedServer::~FeedServer() {
    SetStalled(false);
    m_http.Stop();
}

std::string FeedServer::Host() const { return "127.0.0.1:" + std::to_string(Port()); }

void FeedServer::SetBody(std::string body) {
    std::lock_guard lock(m_mutex);
    m_body = std::move(body);
}

DealFeed FeedServer::Deals() {
    return DealFeed("http://" + Host(), [this](std::string rss) { SetBody(std::move(rss)); });
}

void FeedServer::SetStalled(bool stalled) {
    {
        std::lock_guard lock(m_mutex);
        m_bStalled = stalled;
    }
    m_changed.notify_all();
}

bool FeedServer::WaitUntilStalling(std::chrono::milliseconds limit) {
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, limit, [this] { return m_nStalling > 0; });
}

std::vector<FeedServer::Clock::time_point> FeedServer::FeedHits() const {
    std::lock_guard lock(m_mutex);
    return m_hits;
}

bool FeedServer::WaitForFeedHits(std::size_t count, std::chrono::milliseconds limit) const {
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, limit, [&] { return m_hits.size() >= count; });
}

std::vector<std::string> FeedServer::OtherPaths(const std::string& prefix) const {
    std::lock_guard lock(m_mutex);
    std::vector<std::string> out;
    for (const auto& path : m_otherPaths)
        if (path.starts_with(prefix)) out.push_back(path);
    return out;
}

void FeedServer::ServeFeed(httplib::Response& response) {
    std::string body;
    bool stalled;
    {
        std::lock_guard lock(m_mutex);
        m_hits.push_back(Clock::now());
        body = m_body;
        stalled = m_bStalled;
    }
    m_changed.notify_all();
    if (!stalled) {
        response.set_content(body, "application/rss+xml; charset=utf-8");
        return;
    }
    response.set_chunked_content_provider("application/rss+xml",
                                          [this](size_t offset, httplib::DataSink& sink) {
                                              if (offset == 0) {
                                                  sink.write("<rss>", 5);
                                                  return true;
                                              }
                                              std::unique_lock lock(m_mutex);
                                              ++m_nStalling;
                                              m_changed.notify_all();
                                              m_changed.wait(lock, [this] { return !m_bStalled; });
                                              --m_nStalling;
                                              return false;  // ends the answer without completing it
                                          });
}

}  // namespace harness

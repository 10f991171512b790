#include "FeedServer.h"

#include <cstdio>
#include <stdexcept>

#include <glib.h>
#include <httplib.h>

namespace e2e {
namespace {

// An 8 x 8 orange PNG, so that list pictures load without leaving loopback.
constexpr unsigned char kPicture[] = {
    0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a, 0x00, 0x00, 0x00, 0x0d, 0x49, 0x48, 0x44,
    0x52, 0x00, 0x00, 0x00, 0x08, 0x00, 0x00, 0x00, 0x08, 0x08, 0x02, 0x00, 0x00, 0x00, 0x4b,
    0x6d, 0x29, 0xdc, 0x00, 0x00, 0x00, 0x11, 0x49, 0x44, 0x41, 0x54, 0x78, 0x9c, 0x63, 0x78,
    0x90, 0xa0, 0x80, 0x15, 0x31, 0x0c, 0x2d, 0x09, 0x00, 0x92, 0xc6, 0x58, 0x01, 0xde, 0xee,
    0x79, 0xce, 0x00, 0x00, 0x00, 0x00, 0x49, 0x45, 0x4e, 0x44, 0xae, 0x42, 0x60, 0x82};

std::string XmlEscape(const std::string& text) {
    char* escaped = g_markup_escape_text(text.data(), static_cast<gssize>(text.size()));
    std::string out(escaped);
    g_free(escaped);
    return out;
}

std::string ContentOf(const FeedEntry& e) {
    std::string html = "<p>";
    if (!e.buyUrl.empty()) {
        html += "<a href=\"" + e.buyUrl + "\">buy</a>";
    }
    if (!e.pictureUrl.empty()) {
        html += "<img src=\"" + e.pictureUrl + "\" />";
    }
    return html + "</p>";
}

}  // namespace

FeedServer::FeedServer(uint16_t port) : m_port(port), m_server(std::make_unique<httplib::Server>()) {
    m_server->Get("/", [this](const httplib::Request&, httplib::Response& res) {
        {
            std::lock_guard lock(m_mutex);
            m_hits.push_back({Clock::now(), m_items.size()});
        }
        m_changed.notify_all();
        HoldWhileStalled();
        res.set_content(RenderFeed(), "application/rss+xml; charset=utf-8");
    });
    m_server->Get(R"(/img/.*)", [](const httplib::Request&, httplib::Response& res) {
        res.set_content(reinterpret_cast<const char*>(kPicture), sizeof kPicture, "image/png");
    });
    if (!m_server->bind_to_port("127.0.0.1", port)) {
        throw std::runtime_error("feed server: cannot bind 127.0.0.1:" + std::to_string(port));
    }
    m_thread = std::thread([this] { m_server->listen_after_bind(); });
}

FeedServer::~FeedServer() {
    {
        std::lock_guard lock(m_mutex);
        m_bStopping = true;
    }
    m_changed.notify_all();
    m_server->stop();
    m_thread.join();
}

std::string FeedServer::BaseUrl() const { return "http://127.0.0.1:" + std::to_string(m_port) + "/"; }

FeedEntry FeedServer::MakeEntry(int n, const std::string& titlePrefix) const {
    char date[64];
    std::snprintf(date, sizeof date, "Tue, 01 Dec 2026 %02d:%02d:%02d +0800", (n / 3600) % 24, (n / 60) % 60,
                  n % 60);
    const std::string base = BaseUrl();
    return FeedEntry{titlePrefix + " " + std::to_string(n), base + "deal/" + std::to_string(n), date,
                     base + "img/" + std::to_string(n) + ".png", base + "buy/" + std::to_string(n)};
}

void FeedServer::AddItem(FeedEntry entry) {
    std::lock_guard lock(m_mutex);
    m_items.push_back(std::move(entry));
}

void FeedServer::ClearItems() {
    std::lock_guard lock(m_mutex);
    m_items.clear();
}

std::size_t FeedServer::ItemCount() const {
    std::lock_guard lock(m_mutex);
    return m_items.size();
}

void FeedServer::SetStalled(bool stalled) {
    {
        std::lock_guard lock(m_mutex);
        m_bStalled = stalled;
    }
    m_changed.notify_all();
}

int FeedServer::HeldRequests() const {
    std::lock_guard lock(m_mutex);
    return m_nHeld;
}

std::vector<FeedServer::Hit> FeedServer::FeedHits() const {
    std::lock_guard lock(m_mutex);
    return m_hits;
}

bool FeedServer::WaitForFeedHits(std::size_t count, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, timeout, [&] { return m_hits.size() >= count; });
}

void FeedServer::HoldWhileStalled() {
    std::unique_lock lock(m_mutex);
    if (!m_bStalled) {
        return;
    }
    ++m_nHeld;
    m_changed.notify_all();
    m_changed.wait(lock, [this] { return !m_bStalled || m_bStopping; });
    --m_nHeld;
}

std::string FeedServer::RenderFeed() const {
    std::lock_guard lock(m_mutex);
    std::string xml =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<rss version=\"2.0\" xmlns:content=\"http://purl.org/rss/1.0/modules/content/\">\n"
        "<channel><title>loopback deals</title><link>" +
        BaseUrl() + "</link><description>test feed</description>\n";
    for (auto it = m_items.rbegin(); it != m_items.rend(); ++it) {
        xml += "<item><title>" + XmlEscape(it->title) + "</title><link>" + XmlEscape(it->link) +
               "</link><pubDate>" + XmlEscape(it->pubDate) + "</pubDate><content:encoded><![CDATA[" +
               ContentOf(*it) + "]]></content:encoded></item>\n";
    }
    return xml + "</channel></rss>\n";
}

}  // namespace e2e

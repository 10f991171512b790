#pragma once

// Helpers shared by the feed and poll worker tests: a store on a temporary directory, a loopback HTTP
// server, a scoped thread locale and a small RSS writer.

#include <stdlib.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <locale.h>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>
#include <httplib.h>

#include "store/ItemStore.h"

namespace feedtest {

// A fresh directory under the system's temporary folder, removed with everything in it.
class TempDir {
  public:
    TempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "feed-test-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) {
            throw std::runtime_error("mkdtemp failed");
        }
        m_path = pattern;
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    // With the trailing '/' the store expects.
    std::string Slash() const { return m_path.string() + "/"; }

  private:
    std::filesystem::path m_path;
};

// The five fields the feed fills, as stored; compared as a tuple so a failure prints every field.
using Row = std::tuple<std::string, std::string, std::string, std::string,
                       std::string>;  // date, url, title, pic, buy

inline Row RowOf(const FeedItem& item) {
    return {item.msg_date, item.msg_url, item.msg_title, item.msg_picurl, item.msg_buyurl};
}

inline std::vector<Row> StoredRows(ItemStore& store) {
    std::vector<Row> rows;
    auto items = store.ListItems();
    EXPECT_TRUE(items.has_value());
    if (items) {
        for (const FeedItem& item : *items) {
            rows.push_back(RowOf(item));
        }
    }
    return rows;
}

// A store on its own temporary directory.
struct StoreOnDisk {
    TempDir dir;
    ItemStore store{dir.Slash()};
};

// Switches the calling thread to a locale for the scope's life.
class ScopedThreadLocale {
  public:
    explicit ScopedThreadLocale(const char* name) : m_locale(newlocale(LC_ALL_MASK, name, nullptr)) {
        if (m_locale == nullptr) {
            throw std::runtime_error(std::string("locale not available: ") + name);
        }
        m_previous = uselocale(m_locale);
    }
    ~ScopedThreadLocale() {
        uselocale(m_previous);
        freelocale(m_locale);
    }
    ScopedThreadLocale(const ScopedThreadLocale&) = delete;
    ScopedThreadLocale& operator=(const ScopedThreadLocale&) = delete;

  private:
    locale_t m_locale;
    locale_t m_previous = nullptr;
};

// An httplib server on 127.0.0.1 with a port of the system's choosing, listening on its own thread
// for the object's life. Handlers that wait should wait on Released() so the server can stop.
class LoopbackServer {
  public:
    LoopbackServer() = default;
    ~LoopbackServer() { Stop(); }
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    httplib::Server& Http() { return m_server; }

    void Listen() {
        m_port = m_server.bind_to_any_port("127.0.0.1");
        if (m_port <= 0) {
            throw std::runtime_error("cannot bind a loopback port");
        }
        m_thread = std::thread([this] { m_server.listen_after_bind(); });
        while (!m_server.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }

    std::string Url(const std::string& path = "/") const {
        return "http://127.0.0.1:" + std::to_string(m_port) + path;
    }
    int Port() const { return m_port; }

    // Waits until Stop() or `limit`; true when released.
    bool WaitForRelease(std::chrono::milliseconds limit) {
        std::unique_lock lock(m_mutex);
        return m_released.wait_for(lock, limit, [this] { return m_bReleased; });
    }

    void Stop() {
        {
            std::lock_guard lock(m_mutex);
            m_bReleased = true;
        }
        m_released.notify_all();
        if (m_thread.joinable()) {
            m_server.stop();
            m_thread.join();
        }
    }

  private:
    httplib::Server m_server;
    std::thread m_thread;
    int m_port = 0;
    std::mutex m_mutex;
    std::condition_variable m_released;
    bool m_bReleased = false;
};

// One <item> of a test feed; an empty field is left out.
struct FeedEntry {
    std::string date;
    std::string title;
    std::string link;
    std::string content;  // goes into content:encoded as CDATA
};

inline std::string ItemXml(const FeedEntry& entry) {
    std::string xml = "<item>";
    if (!entry.title.empty()) xml += "<title>" + entry.title + "</title>";
    if (!entry.link.empty()) xml += "<link>" + entry.link + "</link>";
    if (!entry.date.empty()) xml += "<pubDate>" + entry.date + "</pubDate>";
    if (!entry.content.empty()) xml += "<content:encoded><![CDATA[" + entry.content + "]]></content:encoded>";
    return xml + "</item>";
}

// An RSS 2.0 document whose channel holds `channelBody` after the channel's own fields.
inline std::string RssDocument(const std::string& channelBody) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<rss version=\"2.0\" xmlns:content=\"http://purl.org/rss/1.0/modules/content/\">\n"
           "<channel><title>Deals</title><link>http://127.0.0.1/</link><description>d</description>\n" +
           channelBody + "\n</channel></rss>\n";
}

inline std::string RssOf(const std::vector<FeedEntry>& entries) {
    std::string body;
    for (const FeedEntry& entry : entries) body += ItemXml(entry) + "\n";
    return RssDocument(body);
}

// Names the rows of a parameterized table after their `name` member.
struct NameOfCase {
    template <typename Info>
    std::string operator()(const Info& row) const {
        return row.param.name;
    }
};

}  // namespace feedtest

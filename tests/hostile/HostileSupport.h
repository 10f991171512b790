#pragma once

// Shared by the hostile-input, fault and soak tests: temporary store directories, a loopback feed
// server, a second connection to look at rcd, and a small RSS writer.

#include <stdlib.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>
#include <httplib.h>
#include <sqlite3.h>

#include "store/ItemStore.h"

namespace hostile {

namespace fs = std::filesystem;

// A fresh directory, removed with everything in it. Memory-backed ones live on /dev/shm when there is
// one: every store commit syncs, which costs ~15-25 ms on this disk, and a 10,000-item feed is 20,000
// commits. The SQLite file is real either way.
class TempDir {
  public:
    enum class Backing { Disk, Memory };
    explicit TempDir(Backing backing = Backing::Disk) {
        fs::path root = fs::temp_directory_path();
        std::error_code ec;
        if (backing == Backing::Memory && fs::is_directory("/dev/shm", ec)) root = "/dev/shm";
        std::string pattern = (root / "hostile-test-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
        m_path = pattern;
    }
    ~TempDir() {
        std::error_code ec;
        fs::remove_all(m_path, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const fs::path& Path() const { return m_path; }
    std::string ModuleDir() const { return m_path.string() + "/"; }
    fs::path Rcd() const { return m_path / "rcd"; }

  private:
    fs::path m_path;
};

// An httplib server on 127.0.0.1, port of the system's choosing. "/" answers the current feed body;
// any other path answers an empty 200 and is counted, so a page can be checked for what it fetched.
// While stalled, "/" sends its headers and a few bytes and then nothing until released.
class FeedServer {
  public:
    FeedServer() {
        m_server.Get("/",
                     [this](const httplib::Request&, httplib::Response& response) { ServeFeed(response); });
        m_server.Get(".*", [this](const httplib::Request& request, httplib::Response& response) {
            {
                std::lock_guard lock(m_mutex);
                m_otherPaths.push_back(request.path);
            }
            response.set_content("", "image/png");
        });
        m_port = m_server.bind_to_any_port("127.0.0.1");
        if (m_port <= 0) throw std::runtime_error("cannot bind a loopback port");
        m_thread = std::thread([this] { m_server.listen_after_bind(); });
        while (!m_server.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ~FeedServer() {
        SetStalled(false);
        m_server.stop();
        m_thread.join();
    }
    FeedServer(const FeedServer&) = delete;
    FeedServer& operator=(const FeedServer&) = delete;

    void SetBody(std::string body) {
        std::lock_guard lock(m_mutex);
        m_body = std::move(body);
    }
    void SetStalled(bool stalled) {
        {
            std::lock_guard lock(m_mutex);
            m_stalled = stalled;
        }
        m_changed.notify_all();
    }
    // True once a stalled response has begun sending.
    bool WaitUntilStalling(std::chrono::milliseconds limit) {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, limit, [this] { return m_stallingNow > 0; });
    }

    std::string Url(const std::string& path = "/") const {
        return "http://127.0.0.1:" + std::to_string(m_port) + path;
    }
    int Port() const { return m_port; }
    int FeedRequests() const { return m_feedRequests; }
    // Requests for paths other than "/" that start with `prefix`.
    std::vector<std::string> OtherPaths(const std::string& prefix = "/") const {
        std::lock_guard lock(m_mutex);
        std::vector<std::string> out;
        for (const auto& path : m_otherPaths)
            if (path.rfind(prefix, 0) == 0) out.push_back(path);
        return out;
    }

  private:
    void ServeFeed(httplib::Response& response) {
        ++m_feedRequests;
        std::string body;
        bool stalled;
        {
            std::lock_guard lock(m_mutex);
            body = m_body;
            stalled = m_stalled;
        }
        if (!stalled) {
            response.set_content(body, "application/rss+xml");
            return;
        }
        response.set_chunked_content_provider("application/rss+xml",
                                              [this](size_t offset, httplib::DataSink& sink) {
                                                  if (offset == 0) {
                                                      sink.write("<rss>", 5);
                                                      return true;
                                                  }
                                                  std::unique_lock lock(m_mutex);
                                                  ++m_stallingNow;
                                                  m_changed.notify_all();
                                                  m_changed.wait(lock, [this] { return !m_stalled; });
                                                  --m_stallingNow;
                                                  return false;  // ends the response without completing it
                                              });
    }

    httplib::Server m_server;
    std::thread m_thread;
    int m_port = 0;
    std::atomic<int> m_feedRequests{0};
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::string m_body;
    bool m_stalled = false;
    int m_stallingNow = 0;
    std::vector<std::string> m_otherPaths;
};

// A second connection to a store file, for looking at it as SQLite keeps it.
class RawDb {
  public:
    explicit RawDb(const fs::path& file, int flags = SQLITE_OPEN_READWRITE) {
        if (sqlite3_open_v2(file.c_str(), &m_db, flags, nullptr) != SQLITE_OK)
            throw std::runtime_error("cannot open " + file.string());
    }
    ~RawDb() { sqlite3_close(m_db); }
    RawDb(const RawDb&) = delete;
    RawDb& operator=(const RawDb&) = delete;

    bool Exec(const std::string& sql) {
        return sqlite3_exec(m_db, sql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
    }

    // Every row of a query, each cell as text ("" for NULL).
    std::vector<std::vector<std::string>> Rows(const std::string& sql) {
        std::vector<std::vector<std::string>> rows;
        sqlite3_stmt* statement = nullptr;
        if (sqlite3_prepare_v2(m_db, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK) {
            ADD_FAILURE() << sql << ": " << sqlite3_errmsg(m_db);
            return rows;
        }
        while (sqlite3_step(statement) == SQLITE_ROW) {
            auto& row = rows.emplace_back();
            for (int i = 0; i < sqlite3_column_count(statement); ++i) {
                const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, i));
                row.emplace_back(text ? std::string(text, sqlite3_column_bytes(statement, i))
                                      : std::string());
            }
        }
        sqlite3_finalize(statement);
        return rows;
    }
    std::string Scalar(const std::string& sql) {
        auto rows = Rows(sql);
        return rows.empty() || rows[0].empty() ? std::string("<none>") : rows[0][0];
    }

  private:
    sqlite3* m_db = nullptr;
};

// The five fields the feed fills, as stored: date, link, title, picture, buy link. A tuple, so a failed
// comparison prints every field.
using Row = std::tuple<std::string, std::string, std::string, std::string, std::string>;

inline std::vector<Row> StoredRows(ItemStore& store) {
    std::vector<Row> rows;
    const auto items = store.ListItems();
    if (!items) {
        ADD_FAILURE() << "ListItems failed";
        return rows;
    }
    for (const FeedItem& item : *items) {
        EXPECT_EQ(item.msg_top, "");
        EXPECT_EQ(item.msg_id, "");
        rows.emplace_back(item.msg_date, item.msg_url, item.msg_title, item.msg_picurl, item.msg_buyurl);
    }
    return rows;
}

// Text made safe for XML character data.
inline std::string XmlText(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

// One <item>; every field is written even when empty, text escaped, content as CDATA.
struct Item {
    std::string date, title, link, content;
};

inline std::string ItemXml(const Item& item) {
    std::string xml = "<item><title>" + XmlText(item.title) + "</title><link>" + XmlText(item.link) +
                      "</link><pubDate>" + XmlText(item.date) + "</pubDate>";
    if (!item.content.empty()) xml += "<content:encoded><![CDATA[" + item.content + "]]></content:encoded>";
    return xml + "</item>\n";
}

inline std::string Rss(const std::string& items) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<rss version=\"2.0\" xmlns:content=\"http://purl.org/rss/1.0/modules/content/\">\n"
           "<channel><title>Deals</title><link>http://deals.test/</link><description>d</description>\n" +
           items + "</channel></rss>\n";
}

inline std::string Rss(const std::vector<Item>& items) {
    std::string body;
    for (const Item& item : items) body += ItemXml(item);
    return Rss(body);
}

// Names parameterized rows after their `name` member.
struct NameOfCase {
    template <typename Info>
    std::string operator()(const Info& row) const {
        return row.param.name;
    }
};

}  // namespace hostile

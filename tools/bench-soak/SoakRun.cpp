#include "SoakRun.h"

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <stop_token>
#include <string>
#include <thread>

#include <httplib.h>
#include <sqlite3.h>

#include "feed/FeedDownload.h"
#include "store/ItemStore.h"

namespace {

long StatusField(const std::string& key) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(key, 0) == 0) return std::stol(line.substr(key.size()));
    }
    return -1;
}

std::string Feed(int items) {
    std::string xml =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<rss version=\"2.0\" xmlns:content=\"http://purl.org/rss/1.0/modules/content/\"><channel>"
        "<title>Deals</title><link>http://deals.test/</link>\n";
    for (int i = 0; i < items; ++i) {
        const std::string n = std::to_string(i);
        xml += "<item><title>\xE4\xB8\xAD deal " + n + "</title><link>http://deals.test/item/" + n +
               "</link><pubDate>Sun, 01 Jun 2031 10:00:00 +0800 #" + n +
               "</pubDate><content:encoded><![CDATA[<a href=\"http://shop.test/buy/" + n +
               "\">buy</a><img src=\"http://deals.test/pic/" + n + ".jpg\">]]></content:encoded></item>\n";
    }
    return xml + "</channel></rss>\n";
}

// Rows of earlier polls, written in one transaction through a connection of its own: 10,000 commits
// would take minutes on a disk that syncs each.
void Prefill(const std::string& directory, int rows) {
    { const ItemStore create(directory); }  // rcd with its tables
    sqlite3* db = nullptr;
    const std::string path = directory + "rcd";
    if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) {
        sqlite3_close(db);
        throw std::runtime_error("cannot open " + path);
    }
    const std::unique_ptr<sqlite3, decltype(&sqlite3_close)> owner(db, &sqlite3_close);
    sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    sqlite3_stmt* raw = nullptr;
    sqlite3_prepare_v2(db,
                       "insert into items(msg_picurl,msg_top,msg_title,msg_date,msg_url,msg_id,msg_buyurl) "
                       "values(?,?,?,?,?,'',?)",
                       -1, &raw, nullptr);
    const std::unique_ptr<sqlite3_stmt, decltype(&sqlite3_finalize)> statement(raw, &sqlite3_finalize);
    for (int i = 0; i < rows; ++i) {
        const std::string n = std::to_string(i);
        const std::string values[] = {"http://deals.test/old/" + n + ".jpg",
                                      i % 3 == 0 ? "1" : "",
                                      "\xD6\xD0 old deal " + n,
                                      "Sat, 01 Jan 2028 00:00:00 +0800 #" + n,
                                      "http://deals.test/old/" + n,
                                      "http://shop.test/old/" + n};
        for (int v = 0; v < 6; ++v)
            sqlite3_bind_text(raw, v + 1, values[v].c_str(), static_cast<int>(values[v].size()),
                              SQLITE_TRANSIENT);
        if (sqlite3_step(raw) != SQLITE_DONE) throw std::runtime_error(sqlite3_errmsg(db));
        sqlite3_reset(raw);
    }
    if (sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK)
        throw std::runtime_error(sqlite3_errmsg(db));
}

class Server {
  public:
    explicit Server(std::string body) : m_body(std::move(body)) {
        m_server.Get("/", [this](const httplib::Request&, httplib::Response& response) {
            ++m_requests;
            response.set_content(m_body, "application/rss+xml");
        });
        m_port = m_server.bind_to_any_port("127.0.0.1");
        if (m_port <= 0) throw std::runtime_error("cannot bind a loopback port");
        m_thread = std::thread([this] { m_server.listen_after_bind(); });
        while (!m_server.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ~Server() {
        m_server.stop();
        m_thread.join();
    }
    std::string Url() const { return "http://127.0.0.1:" + std::to_string(m_port) + "/"; }
    int Requests() const { return m_requests; }

  private:
    const std::string m_body;
    httplib::Server m_server;
    std::thread m_thread;
    int m_port = 0;
    std::atomic<int> m_requests{0};
};

}  // namespace

int OpenDescriptors() {
    int count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) ++count;
    return count - 1;  // the iterator's own
}

int ThreadCount() { return static_cast<int>(StatusField("Threads:")); }

long ResidentKiB() { return StatusField("VmRSS:"); }

SoakFigures RunSoak(const SoakOptions& options) {
    Prefill(options.directory, options.storeRows);
    SoakFigures figures;
    figures.polls = options.polls;
    {
        ItemStore store(options.directory);
        if (!store.IsReady()) throw std::runtime_error("store not ready in " + options.directory);
        Server server(Feed(options.feedItems));
        // The first transfer starts libcurl's process-wide state; count after it, not before.
        PollFeedOnce(server.Url(), store, {});
        figures.fdsBefore = OpenDescriptors();
        figures.threadsBefore = ThreadCount();

        using Clock = std::chrono::steady_clock;
        Clock::duration total{};
        Clock::duration slowest{};
        for (int i = 1; i < options.polls; ++i) {
            const auto start = Clock::now();
            PollFeedOnce(server.Url(), store, {});
            const auto took = Clock::now() - start;
            total += took;
            if (took > slowest) slowest = took;
            if (i == options.warmupPolls) figures.rssAfterWarmupKiB = ResidentKiB();
        }
        figures.rssEndKiB = ResidentKiB();
        figures.fdsAfter = OpenDescriptors();
        figures.threadsAfter = ThreadCount();
        const int timed = options.polls > 1 ? options.polls - 1 : 1;
        figures.msPerPoll = std::chrono::duration<double, std::milli>(total).count() / timed;
        figures.slowestPollMs = std::chrono::duration<double, std::milli>(slowest).count();
        const auto rows = store.ListItems();
        figures.storedRows = rows ? static_cast<long long>(rows->size()) : -1;
        figures.feedRequests = server.Requests();
    }
    return figures;
}

void PrintFigures(std::ostream& out, const SoakFigures& f) {
    out << "polls:                 " << f.polls << " (" << f.feedRequests << " requests served)\n"
        << "rows after last poll:  " << f.storedRows << "\n"
        << "VmRSS after warm-up:   " << f.rssAfterWarmupKiB << " KiB\n"
        << "VmRSS at the end:      " << f.rssEndKiB << " KiB\n"
        << "growth:                " << (f.rssEndKiB - f.rssAfterWarmupKiB) << " KiB\n"
        << "descriptors:           " << f.fdsBefore << " -> " << f.fdsAfter << "\n"
        << "threads:               " << f.threadsBefore << " -> " << f.threadsAfter << "\n"
        << "time per poll:         " << f.msPerPoll << " ms (slowest " << f.slowestPollMs << " ms)\n";
}

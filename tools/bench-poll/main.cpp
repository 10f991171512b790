// bench-poll: the cost of one poll (FeedPoller::PollOnce) against a loopback server, for a 20-item and a
// 200-item feed, into an empty store and into one of 10,000 rows, split into download, parse and store. Also
// the cost of the steady state: a repeated poll whose items are all known already, the CPU time of an
// unchanged 1,000-item poll, and the time from a body's arrival to its rows being committed.
//   bench-poll [runs]    (default 7; the median of the runs is printed)
// The locale comes from the environment, as in the program: run it under LANG=C too.

#include <signal.h>
#include <sqlite3.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <time.h>

#include <algorithm>
#include <chrono>
#include <clocale>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <stop_token>
#include <string>
#include <vector>

#include <httplib.h>

#include "DealFeed.h"
#include "feed/CurlGlobal.h"
#include "feed/FeedDownload.h"
#include "feed/FeedParser.h"
#include "feed/FeedPoller.h"
#include "store/ItemStore.h"
#include "tools/harness/RawDb.h"
#include "tools/harness/TempDir.h"
#include "tools/harness/loopback/LoopbackServer.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using harness::LoopbackServer;
using harness::RawDb;
using harness::TempDir;

namespace {

double MillisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// An rcd of `rows` items with dates no feed here uses, written in one transaction.
void Prefill(const TempDir& dir, int rows) {
    { ItemStore create(dir.ModuleDir()); }
    std::vector<FeedItem> items(static_cast<size_t>(rows));
    for (int i = 0; i < rows; ++i) {
        const std::string n = std::to_string(i);
        FeedItem& item = items[static_cast<size_t>(i)];
        item.msg_picurl = "http://old/img/" + n + ".png";
        item.msg_title = "old title " + n;
        item.msg_date = "old date " + n;
        item.msg_url = "http://old/deal/" + n;
        item.msg_buyurl = "http://old/buy/" + n;
    }
    RawDb rcd(dir.Rcd());
    rcd.InsertItems(items);
    rcd.Exec("insert into itemdate(msg_date) values('old date')");
}

// CPU time of the calling thread, in milliseconds.
double ThreadCpuMs() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

std::string Render(unsigned items, unsigned firstNumber = 0) {
    const auto first =
        std::chrono::system_clock::from_time_t(1'800'000'000) + firstNumber * std::chrono::seconds(20);
    return DealFeed::AsOf("http://127.0.0.1:8088", first, std::chrono::seconds(20),
                          first + (items - 1) * std::chrono::seconds(20), items)
        .Render();
}

// Another process reading `rcd` over and over, one short connection a read, as a backup or the sqlite3
// shell would. Ended by its PID with the object.
class Reader {
  public:
    explicit Reader(const fs::path& rcd) {
        m_pid = fork();
        if (m_pid != 0) return;
        for (;;) {
            sqlite3* db = nullptr;
            if (sqlite3_open_v2(rcd.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK)
                sqlite3_exec(db, "select * from items", nullptr, nullptr, nullptr);
            sqlite3_close(db);
        }
    }
    ~Reader() {
        if (m_pid <= 0) return;
        kill(m_pid, SIGKILL);
        waitpid(m_pid, nullptr, 0);
    }
    Reader(const Reader&) = delete;
    Reader& operator=(const Reader&) = delete;

  private:
    pid_t m_pid = -1;
};

// The steady state and the bulk paths, each measured where the program spends it.
void SteadyState(const std::string& url1000, int runs) {
    std::vector<double> unchangedCpu, downloadCpu, firstPoll, firstPollRead, hundredIntoFull;
    const std::string body1000 = Render(1000);
    const std::string body100 = Render(100, 5000);
    for (int r = 0; r < runs; ++r) {
        {
            TempDir dir;
            ItemStore store(dir.ModuleDir());
            Clock::time_point start = Clock::now();
            ParseFeedDocument(body1000, store);  // the body has arrived: parse, convert, commit
            firstPoll.push_back(MillisecondsSince(start));

            FeedPoller poller(url1000, store);
            poller.PollOnce({});  // the poller's first poll of a known body
            double cpu = ThreadCpuMs();
            poller.PollOnce({});
            unchangedCpu.push_back(ThreadCpuMs() - cpu);
            cpu = ThreadCpuMs();
            DownloadFeed(url1000, {});
            downloadCpu.push_back(ThreadCpuMs() - cpu);
        }
        {
            TempDir dir;
            ItemStore store(dir.ModuleDir());
            const Reader reader(dir.Rcd());
            Clock::time_point start = Clock::now();
            ParseFeedDocument(body1000, store);
            firstPollRead.push_back(MillisecondsSince(start));
            if (store.ListItems().value_or(std::vector<FeedItem>{}).size() != 1000)
                std::printf("  (the poll beside a reader did not store all 1,000 items)\n");
        }
        TempDir dir;
        Prefill(dir, 10'000);
        ItemStore store(dir.ModuleDir());
        Clock::time_point start = Clock::now();
        ParseFeedDocument(body100, store);
        hundredIntoFull.push_back(MillisecondsSince(start));
    }
    std::printf("\nsteady state, locale %s, median of %d runs, milliseconds\n",
                std::setlocale(LC_ALL, nullptr), runs);
    std::printf("unchanged 1,000-item poll, CPU of the poll thread: %.2f (download alone %.2f)\n",
                Median(unchangedCpu), Median(downloadCpu));
    std::printf("first poll of 1,000 new items, body to rows committed: %.2f\n", Median(firstPoll));
    std::printf("the same while another process reads rcd in a loop: %.2f\n", Median(firstPollRead));
    std::printf("100 new items into 10,000 rows, body to rows committed: %.2f\n", Median(hundredIntoFull));
}

struct Figures {
    std::vector<double> poll, download, parse, store, repeat;
};

void RunOnce(const std::string& url, const fs::path* templateRcd, Figures& figures) {
    // Whole poll into a fresh store, then the same poll again (every item known).
    {
        TempDir dir;
        if (templateRcd) fs::copy_file(*templateRcd, dir.Rcd());
        ItemStore store(dir.ModuleDir());
        // A poller each time, so that the repeat walks the body again instead of knowing it unchanged.
        Clock::time_point start = Clock::now();
        FeedPoller(url, store).PollOnce({});
        figures.poll.push_back(MillisecondsSince(start));
        start = Clock::now();
        FeedPoller(url, store).PollOnce({});
        figures.repeat.push_back(MillisecondsSince(start));
    }
    // The same three steps one at a time, into another fresh store.
    TempDir dir;
    if (templateRcd) fs::copy_file(*templateRcd, dir.Rcd());
    ItemStore store(dir.ModuleDir());
    Clock::time_point start = Clock::now();
    DownloadResult body = DownloadFeed(url, {});
    figures.download.push_back(MillisecondsSince(start));
    if (!body.ok) throw std::runtime_error("download failed: " + body.error);

    start = Clock::now();
    const std::vector<FeedItem> items = CollectFeedItems(body.body);
    figures.parse.push_back(MillisecondsSince(start));

    start = Clock::now();
    for (const FeedItem& item : items) store.InsertItem(item);
    figures.store.push_back(MillisecondsSince(start));
}

}  // namespace

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "");
    const CurlGlobal curl;
    int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;

    const std::vector<unsigned> sizes = {20, 200, 1000};
    std::vector<std::string> feeds;
    for (unsigned size : sizes) feeds.push_back(Render(size));

    LoopbackServer server;
    for (size_t i = 0; i < feeds.size(); ++i) {
        server.Http().Get("/" + std::to_string(sizes[i]),
                          [&feeds, i](const httplib::Request&, httplib::Response& res) {
                              res.set_content(feeds[i], "application/rss+xml");
                          });
    }
    server.Listen();

    TempDir full;
    Prefill(full, 10'000);
    const fs::path fullRcd = full.Rcd();

    std::printf("median of %d runs, milliseconds\n", runs);
    std::printf("%-6s %-8s %9s | %9s %9s %9s | %12s\n", "items", "store", "poll", "download", "parse",
                "store", "repeat poll");
    for (size_t i = 0; i + 1 < sizes.size(); ++i) {
        const std::string url = server.Url("/" + std::to_string(sizes[i]));
        for (const fs::path* rcd : {static_cast<const fs::path*>(nullptr), &fullRcd}) {
            Figures figures;
            for (int r = 0; r < runs; ++r) RunOnce(url, rcd, figures);
            std::printf("%-6u %-8s %9.2f | %9.2f %9.2f %9.2f | %12.2f   (%zu bytes)\n", sizes[i],
                        rcd ? "10k rows" : "empty", Median(figures.poll), Median(figures.download),
                        Median(figures.parse), Median(figures.store), Median(figures.repeat),
                        feeds[i].size());
        }
    }
    SteadyState(server.Url("/1000"), runs);
    return 0;
}

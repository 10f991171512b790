#include "tools/harness/loopback/SoakRun.h"

#include <chrono>
#include <optional>
#include <stdexcept>
#include <stop_token>
#include <thread>
#include <vector>

#include "feed/FeedPoller.h"
#include "store/ItemStore.h"
#include "tools/harness/ProcessStatus.h"
#include "tools/harness/RawDb.h"
#include "tools/harness/Rss.h"
#include "tools/harness/loopback/FeedServer.h"

namespace harness {

namespace {

std::string Feed(int items) {
    std::vector<RssItem> entries;
    for (int i = 0; i < items; ++i) {
        const std::string n = std::to_string(i);
        entries.push_back({"Sun, 01 Jun 2031 10:00:00 +0800 #" + n, "\xE4\xB8\xAD deal " + n,
                           "http://deals.test/item/" + n,
                           "<a href=\"http://shop.test/buy/" + n +
                               "\">buy</a><img src=\"http://deals.test/pic/" + n + ".jpg\">"});
    }
    return Rss(entries);
}

// Rows of earlier polls, written in one transaction: 10,000 commits would take minutes on a disk that
// syncs each.
void Prefill(const std::string& directory, int rows) {
    { const ItemStore create(directory); }  // rcd with its tables
    std::vector<FeedItem> items(static_cast<size_t>(rows));
    for (int i = 0; i < rows; ++i) {
        const std::string n = std::to_string(i);
        FeedItem& item = items[static_cast<size_t>(i)];
        item.msg_picurl = "http://deals.test/old/" + n + ".jpg";
        item.msg_top = std::string(i % 3 == 0 ? 1 : 0, '1');  // every third read
        item.msg_title = "\xD6\xD0 old deal " + n;
        item.msg_date = "Sat, 01 Jan 2028 00:00:00 +0800 #" + n;
        item.msg_url = "http://deals.test/old/" + n;
        item.msg_buyurl = "http://shop.test/old/" + n;
    }
    RawDb(directory + "rcd").InsertItems(items);
}

}  // namespace

SoakFigures RunSoak(const SoakOptions& options) {
    Prefill(options.directory, options.storeRows);
    SoakFigures figures;
    figures.polls = options.polls;
    {
        ItemStore store(options.directory);
        if (!store.IsReady()) throw std::runtime_error("store not ready in " + options.directory);
        FeedServer server;
        server.SetBody(Feed(options.feedItems));
        std::optional<FeedPoller> poller(std::in_place, server.Url(), store);
        // The first transfer starts libcurl's process-wide state; count after it, not before. The
        // poller's connection is open then and closed at the end, when the poller is gone.
        poller->PollOnce({});
        figures.fdsBefore = OpenDescriptors();
        figures.threadsBefore = static_cast<int>(StatusField("Threads:"));

        using Clock = std::chrono::steady_clock;
        Clock::duration total{};
        Clock::duration slowest{};
        for (int i = 1; i < options.polls; ++i) {
            const auto start = Clock::now();
            poller->PollOnce({});
            const auto took = Clock::now() - start;
            total += took;
            if (took > slowest) slowest = took;
            if (i == options.warmupPolls) figures.rssAfterWarmupKiB = StatusField("VmRSS:");
        }
        figures.rssEndKiB = StatusField("VmRSS:");
        poller.reset();
        // The last transfer's helpers (a resolver thread, the server's connection handler) may still be
        // ending; a leak stays, a thread on its way out does not.
        for (int i = 0; i < 50 && (StatusField("Threads:") > figures.threadsBefore ||
                                   OpenDescriptors() > figures.fdsBefore);
             ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        figures.fdsAfter = OpenDescriptors();
        figures.threadsAfter = static_cast<int>(StatusField("Threads:"));
        const int timed = options.polls > 1 ? options.polls - 1 : 1;
        figures.msPerPoll = std::chrono::duration<double, std::milli>(total).count() / timed;
        figures.slowestPollMs = std::chrono::duration<double, std::milli>(slowest).count();
        const auto rows = store.ListItems();
        figures.storedRows = rows ? static_cast<long long>(rows->size()) : -1;
        figures.feedRequests = static_cast<int>(server.FeedHits().size());
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

}  // namespace harness

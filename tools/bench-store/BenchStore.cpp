// Times IsDateUnseen, InsertItem of a new item, ListItems and the listing of one new row with and
// without the read marks of the others (ListChangesAbove) on stores of 100, 1,000 and 10,000 rows,
// each a real rcd file in a fresh temporary directory. Prints the median of several runs.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <sqlite3.h>

#include "store/FeedItem.h"
#include "store/ItemStore.h"
#include "tools/harness/RawDb.h"
#include "tools/harness/TempDir.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

FeedItem MakeItem(int n) {
    FeedItem item;
    item.msg_date = "Mon, 07 Dec 2026 12:00:00 +0800 #" + std::to_string(n);
    item.msg_title = "\xc9\xcc\xc6\xb7 item title number " + std::to_string(n);
    item.msg_url = "http://deals.example/detail/" + std::to_string(n);
    item.msg_buyurl = "http://shop.example/buy?id=" + std::to_string(n);
    item.msg_picurl = "http://img.example/pic/" + std::to_string(n) + ".jpg";
    return item;
}

double MedianMicros(int runs, const std::function<void()>& operation) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        const auto start = Clock::now();
        operation();
        times.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

// The rows are written in one transaction through a connection of their own: setting up 10,000 rows
// through InsertItem would time the disk's flushes, not the store.
bool BenchOne(int rows) {
    const harness::TempDir dir;
    if (!ItemStore(dir.ModuleDir()).IsReady()) return false;  // rcd and its tables, closed before filling
    std::vector<FeedItem> items;
    for (int n = 0; n < rows; ++n) items.push_back(MakeItem(n));
    harness::RawDb(dir.Rcd()).InsertItems(items);

    ItemStore store(dir.ModuleDir());
    const std::string unseen = MakeItem(-1).msg_date;
    bool answers = true;
    const double unseenUs = MedianMicros(31, [&] { answers &= store.IsDateUnseen(unseen); });
    int next = rows;
    const double insertUs = MedianMicros(15, [&] { answers &= store.InsertItem(MakeItem(next++)); });
    size_t listed = 0;
    const double listUs = MedianMicros(9, [&] {
        const auto listing = store.ListItems();
        listed = listing ? listing->size() : 0;
    });
    // The IDs count from 1: the newest row is the only one above `next - 1`.
    size_t above = 0;
    const auto changes = [&](bool marks) {
        return MedianMicros(9, [&, marks] {
            const auto listing = store.ListChangesAbove(next - 1, marks);
            above = listing && listing->marks.size() == (marks ? listed - 1 : 0) ? listing->added.size() : 0;
        });
    };
    const double marksUs = changes(true);
    const double newOnlyUs = changes(false);
    const bool ok = answers && listed == static_cast<size_t>(next) && above == 1;
    std::printf("%8d  %14.1f  %14.1f  %14.1f  %14.1f  %14.1f%s\n", rows, unseenUs, insertUs, listUs, marksUs,
                newOnlyUs, ok ? "" : "  (unexpected results)");
    return ok;
}

}  // namespace

int main() {
    std::printf("item store on %s, SQLite %s; median microseconds per call\n",
                fs::temp_directory_path().c_str(), sqlite3_libversion());
    std::printf("%8s  %14s  %14s  %14s  %14s  %14s\n", "rows", "IsDateUnseen", "InsertItem new", "ListItems",
                "1 new + marks", "1 new alone");
    bool ok = true;
    for (const int rows : {100, 1000, 10000}) ok = BenchOne(rows) && ok;
    return ok ? 0 : 1;
}

// Times IsDateUnseen, InsertItem of a new item and ListItems on stores of 100, 1,000 and 10,000 rows,
// each a real rcd file in a fresh temporary directory. Prints the median of several runs.
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <sqlite3.h>

#include "store/FeedItem.h"
#include "store/ItemStore.h"

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

// Fills the file in one transaction through a separate connection: setting up 10,000 rows through
// InsertItem would time the disk's flushes, not the store.
bool Prefill(const fs::path& file, int rows) {
    sqlite3* db = nullptr;
    bool ok = sqlite3_open(file.c_str(), &db) == SQLITE_OK;
    sqlite3_stmt* insert = nullptr;
    ok = ok && sqlite3_exec(db, "begin", nullptr, nullptr, nullptr) == SQLITE_OK &&
         sqlite3_prepare_v2(db,
                            "insert into items(msg_picurl, msg_top, msg_title, msg_date, msg_url, msg_id, "
                            "msg_buyurl) values(?,?,?,?,?,?,?)",
                            -1, &insert, nullptr) == SQLITE_OK;
    for (int n = 0; ok && n < rows; ++n) {
        const FeedItem item = MakeItem(n);
        const std::string* values[] = {&item.msg_picurl, &item.msg_top, &item.msg_title, &item.msg_date,
                                       &item.msg_url,    &item.msg_id,  &item.msg_buyurl};
        for (int i = 0; i < 7; ++i)
            sqlite3_bind_text(insert, i + 1, values[i]->data(), static_cast<int>(values[i]->size()),
                              SQLITE_STATIC);
        ok = sqlite3_step(insert) == SQLITE_DONE && sqlite3_reset(insert) == SQLITE_OK;
    }
    sqlite3_finalize(insert);
    ok = ok && sqlite3_exec(db, "commit", nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_close(db);
    return ok;
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

bool BenchOne(int rows) {
    std::string pattern = (fs::temp_directory_path() / "bench-store-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) return false;
    const fs::path dir = pattern;
    bool ok = false;
    {
        auto store = std::make_unique<ItemStore>(dir.string() + "/");
        ok = store->IsReady();
        store.reset();  // no second connection while filling
        ok = ok && Prefill(dir / "rcd", rows);
        if (ok) {
            store = std::make_unique<ItemStore>(dir.string() + "/");
            const std::string unseen = MakeItem(-1).msg_date;
            bool answers = true;
            const double unseenUs = MedianMicros(31, [&] { answers &= store->IsDateUnseen(unseen); });
            int next = rows;
            const double insertUs = MedianMicros(15, [&] { answers &= store->InsertItem(MakeItem(next++)); });
            size_t listed = 0;
            const double listUs = MedianMicros(9, [&] {
                const auto items = store->ListItems();
                listed = items ? items->size() : 0;
            });
            ok = answers && listed == static_cast<size_t>(next);
            std::printf("%8d  %14.1f  %14.1f  %14.1f%s\n", rows, unseenUs, insertUs, listUs,
                        ok ? "" : "  (unexpected results)");
        }
    }
    std::error_code ec;
    fs::remove_all(dir, ec);
    return ok;
}

}  // namespace

int main() {
    std::printf("item store on %s, SQLite %s; median microseconds per call\n",
                fs::temp_directory_path().c_str(), sqlite3_libversion());
    std::printf("%8s  %14s  %14s  %14s\n", "rows", "IsDateUnseen", "InsertItem new", "ListItems");
    bool ok = true;
    for (const int rows : {100, 1000, 10000}) ok = BenchOne(rows) && ok;
    return ok ? 0 : 1;
}

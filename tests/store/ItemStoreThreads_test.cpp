// The poll worker inserts while the GUI thread lists, marks and deletes, on one store and one file.
// Run under TSan too.
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "tests/store/StoreFixture.h"

namespace storetest {
namespace {

using ThreadsTest = ReadyStoreTest;

std::string DateOf(int n) { return "d" + std::to_string(n); }

// A listing is one snapshot: consecutive insertions, newest first, each row whole.
void ExpectConsistentSnapshot(const std::vector<FeedItem>& items) {
    for (size_t i = 0; i < items.size(); ++i) {
        FeedItem withoutMark = items[i];
        ASSERT_TRUE(withoutMark.msg_top == "" || withoutMark.msg_top == "1") << withoutMark.msg_top;
        withoutMark.msg_top.clear();
        ASSERT_EQ(withoutMark, MakeItem(withoutMark.msg_date)) << "a torn row";
        if (i > 0) {
            ASSERT_EQ(std::stoi(items[i - 1].msg_date.substr(1)), std::stoi(items[i].msg_date.substr(1)) + 1);
        }
    }
}

TEST_F(ThreadsTest, WorkerInsertsWhileGuiListsMarksAndDeletes) {
    constexpr int kItems = 2000;
    std::atomic<bool> workerDone{false};
    std::atomic<int> insertFailures{0};

    std::thread worker([&] {
        for (int n = 0; n < kItems; ++n)
            if (!m_store->InsertItem(MakeItem(DateOf(n)))) ++insertFailures;
        workerDone = true;
    });

    int listings = 0, removals = 0, marks = 0;
    while (!workerDone || removals == 0) {
        const auto items = m_store->ListItems();
        ASSERT_TRUE(items.has_value());
        ExpectConsistentSnapshot(*items);
        ++listings;
        if (!items->empty()) {
            ASSERT_TRUE(m_store->MarkReadByUrl(items->front().msg_buyurl));
            ++marks;
        }
        if (listings % 50 == 0 || (workerDone && removals == 0)) {
            ASSERT_TRUE(m_store->RemoveAllItems());
            ++removals;
        }
        if (listings % 7 == 0) {
            ASSERT_TRUE(m_store->MarkAllRead());
        }
    }
    worker.join();
    EXPECT_EQ(insertFailures, 0) << "every date is new and nothing else writes";

    // What is left is the run of items stored after the last removal, numbered again from 1.
    const auto items = m_store->ListItems();
    ASSERT_TRUE(items.has_value());
    ExpectConsistentSnapshot(*items);
    if (!items->empty()) {
        EXPECT_EQ(items->front().msg_date, DateOf(kItems - 1));
    }
    RawDb db(RcdPath());
    EXPECT_EQ(db.Scalar("select coalesce(max(ID), 0) from items"), std::to_string(items->size()));
    EXPECT_EQ(db.Scalar("select count(*) || ',' || msg_date from itemdate"), "1," + DateOf(kItems - 1));
    EXPECT_GT(listings, 0);
    EXPECT_GT(marks + removals, 0);
    RecordProperty("listings", listings);
    RecordProperty("removals", removals);
}

TEST_F(ThreadsTest, CloseWaitsForRunningOperationsAndStopsLaterOnes) {
    std::atomic<bool> closed{false};
    std::atomic<int> succeededAfterClose{0};
    std::atomic<int> stored{0};
    std::thread worker([&] {
        for (int n = 0;; ++n) {
            const bool wasClosed = closed;
            const bool ok = m_store->InsertItem(MakeItem(DateOf(n)));
            if (ok) ++stored;
            if (wasClosed) {
                if (ok) ++succeededAfterClose;
                break;
            }
        }
    });
    while (stored < 20) std::this_thread::yield();
    m_store->Close();
    closed = true;
    worker.join();
    EXPECT_EQ(succeededAfterClose, 0);
    EXPECT_FALSE(m_store->ListItems().has_value());

    RawDb db(RcdPath());
    EXPECT_EQ(db.Scalar("select count(*) from items"), std::to_string(stored.load()))
        << "every insert reported as stored is in the file";
}

}  // namespace
}  // namespace storetest

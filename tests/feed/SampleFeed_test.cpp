#include "DealFeed.h"

#include <chrono>
#include <string>

#include <gtest/gtest.h>

#include "feed/FeedParser.h"
#include "feed/TextConvert.h"
#include "tests/support/ScopedThreadLocale.h"
#include "tests/support/StoreContents.h"

namespace {

using namespace std::chrono_literals;

// The sample server's feed is what the end-to-end runs and scripts/run poll; it must go through the real
// walk and field rules the way a deals feed does.
TEST(SampleFeed, ParsesIntoOneRowPerListedItemWithPicturesAndBuyLinks) {
    test_support::ScopedThreadLocale locale("C.UTF-8");
    const DealFeed::TimePoint first = std::chrono::system_clock::from_time_t(1'800'000'000);
    const std::string origin = "http://127.0.0.1:8088";
    test_support::StoreOnDisk disk;

    ParseFeedDocument(DealFeed::AsOf(origin, first, 20s, first + 39 * 20s).Render(), disk.store);
    auto items = disk.store.ListItems();
    ASSERT_TRUE(items.has_value());
    ASSERT_EQ(items->size(), 30u);
    const FeedItem& newest = items->front();
    EXPECT_EQ(newest.msg_url, "http://127.0.0.1:8088/deal/39");
    EXPECT_EQ(newest.msg_picurl, "http://127.0.0.1:8088/img/7.png");
    EXPECT_EQ(newest.msg_buyurl, "http://127.0.0.1:8088/buy/39");
    EXPECT_EQ(ConvertCharset(newest.msg_title, "UTF-8", "GBK"), "#39 ? 儿童积木 1000 片 领券立减 ￥30");
    EXPECT_EQ(items->back().msg_url, "http://127.0.0.1:8088/deal/10");

    // Twenty seconds later one more item is listed, and only it is new.
    ParseFeedDocument(DealFeed::AsOf(origin, first, 20s, first + 40 * 20s).Render(), disk.store);
    items = disk.store.ListItems();
    ASSERT_TRUE(items.has_value());
    EXPECT_EQ(items->size(), 31u);
    EXPECT_EQ(items->front().msg_url, "http://127.0.0.1:8088/deal/40");
}

}  // namespace

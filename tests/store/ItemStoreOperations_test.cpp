// The item operations against a real rcd file: the newness rule, itemdate, read marks, deleting,
// listing, and values that must come back byte for byte.
#include <cctype>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/store/StoreFixture.h"

namespace storetest {
namespace {

using namespace std::string_literals;

// ---- newness rule and itemdate ----

struct NewnessCase {
    const char* name;
    std::vector<std::string> dates;  // handed over in this order
    std::vector<bool> stored;        // InsertItem's answer for each
};

class NewnessTest : public ReadyStoreTest, public ::testing::WithParamInterface<NewnessCase> {};

TEST_P(NewnessTest, OnlyUnseenDatesAreStored) {
    const NewnessCase& c = GetParam();
    std::vector<bool> stored;
    std::vector<std::string> expectedList;  // newest first
    std::string lastStored;
    for (size_t i = 0; i < c.dates.size(); ++i) {
        stored.push_back(m_store->InsertItem(MakeItem(c.dates[i])));
        if (c.stored[i]) {
            expectedList.insert(expectedList.begin(), c.dates[i]);
            lastStored = c.dates[i];
        }
    }
    EXPECT_EQ(stored, c.stored);
    EXPECT_EQ(ListedDates(), expectedList);
    for (const std::string& date : c.dates) EXPECT_FALSE(m_store->IsDateUnseen(date));

    RawDb db(RcdPath());
    EXPECT_EQ(db.Scalar("select count(*) from itemdate"), "1");
    EXPECT_EQ(db.Scalar("select msg_date from itemdate"), lastStored)
        << "itemdate holds the date stored last";
}

INSTANTIATE_TEST_SUITE_P(
    Dates, NewnessTest,
    ::testing::Values(
        NewnessCase{"Duplicates", {"d1", "d2", "d1", "d2", "d3"}, {true, true, false, false, true}},
        NewnessCase{"EmptyDates", {"", "d1", "", ""}, {true, true, false, false}},
        NewnessCase{"CaseSensitive",
                    {"Mon, 01 Jan 2024", "mon, 01 jan 2024", "MON, 01 JAN 2024", "Mon, 01 Jan 2024"},
                    {true, true, true, false}},
        NewnessCase{"WhitespaceCounts", {"d1", "d1 ", " d1", "d1"}, {true, true, true, false}},
        NewnessCase{"NotOrderedByDate", {"2024-03", "2024-01", "2024-02"}, {true, true, true}},
        NewnessCase{"EmbeddedNul", {"d1\0a"s, "d1", "d1\0b"s, "d1\0a"s}, {true, true, true, false}},
        NewnessCase{"LikeWildcardsAreLiteral", {"d%", "d_", "d1", "d%"}, {true, true, true, false}}),
    CaseName());

using OperationsTest = ReadyStoreTest;

TEST_F(OperationsTest, OnlyTheDateDecidesNewness) {
    FeedItem first = MakeItem("d1");
    ASSERT_TRUE(m_store->InsertItem(first));

    FeedItem changed = first;
    changed.msg_title = "a new title";
    changed.msg_url = "http://deals.test/other";
    EXPECT_FALSE(m_store->InsertItem(changed)) << "same date, other fields: already stored";

    FeedItem sameLinks = first;
    sameLinks.msg_date = "d2";
    EXPECT_TRUE(m_store->InsertItem(sameLinks)) << "same fields, other date: new";

    const auto items = Listed();
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[1], first) << "a stored item keeps its fields";
}

TEST_F(OperationsTest, SaveItemDateInsertsOnceThenUpdatesEveryRow) {
    EXPECT_TRUE(m_store->SaveItemDate("a"));
    RawDb db(RcdPath());
    EXPECT_EQ(db.Scalar("select group_concat(msg_date) from itemdate"), "a");
    EXPECT_TRUE(m_store->SaveItemDate("b"));
    EXPECT_EQ(db.Scalar("select group_concat(msg_date) from itemdate"), "b");

    db.Exec("insert into itemdate(msg_date) values('x')");
    EXPECT_TRUE(m_store->SaveItemDate("c"));
    EXPECT_EQ(db.Scalar("select group_concat(msg_date) from itemdate"), "c,c")
        << "the update has no condition";
    EXPECT_TRUE(m_store->IsDateUnseen("c")) << "itemdate plays no part in newness";
}

TEST_F(OperationsTest, RemoveAllItemsRestartsIdsAndLeavesItemdate) {
    for (const char* date : {"d1", "d2", "d3"}) ASSERT_TRUE(m_store->InsertItem(MakeItem(date)));
    EXPECT_TRUE(m_store->RemoveAllItems());

    EXPECT_TRUE(Listed().empty()) << "an empty table is a present, empty list";
    RawDb db(RcdPath());
    EXPECT_EQ(db.Scalar("select msg_date from itemdate"), "d3");

    EXPECT_TRUE(m_store->InsertItem(MakeItem("d2"))) << "removed dates are new again";
    EXPECT_TRUE(m_store->InsertItem(MakeItem("d9")));
    EXPECT_EQ(db.Scalar("select group_concat(ID || '=' || msg_date) from (select * from items order by ID)"),
              "1=d2,2=d9");
    EXPECT_EQ(db.Scalar("select msg_date from itemdate"), "d9");
    EXPECT_TRUE(m_store->RemoveAllItems()) << "removing from an empty table succeeds too";
}

// ---- read marks ----

TEST_F(OperationsTest, MarkAllReadStoresTextOne) {
    FeedItem carried = MakeItem("d2");
    carried.msg_top = "0";
    ASSERT_TRUE(m_store->InsertItem(MakeItem("d1")));
    ASSERT_TRUE(m_store->InsertItem(carried));
    const auto before = Listed();
    ASSERT_EQ(before.size(), 2u);
    EXPECT_EQ(before[0].msg_top, "0");
    EXPECT_EQ(before[1].msg_top, "");

    EXPECT_TRUE(m_store->MarkAllRead());
    for (const FeedItem& item : Listed()) EXPECT_EQ(item.msg_top, "1");
    EXPECT_EQ(RawDb(RcdPath()).Scalar("select group_concat(typeof(msg_top)) from items"), "text,text");
}

TEST_F(OperationsTest, MarkingReadRowsAgainWritesNothing) {
    ASSERT_TRUE(m_store->InsertItem(MakeItem("d1")));
    ASSERT_TRUE(m_store->MarkAllRead());
    const std::optional<StoreVersion> version = m_store->Version();
    EXPECT_TRUE(m_store->MarkAllRead());
    EXPECT_TRUE(m_store->MarkReadByUrl("http://deals.test/item/d1"));
    EXPECT_TRUE(m_store->MarkReadByUrl("http://shop.test/buy/d1"));
    EXPECT_EQ(m_store->Version(), version) << "no row was rewritten, so no refresh follows";
}

struct MarkCase {
    const char* name;
    std::string url;
    std::vector<std::string> marked;  // dates of the rows that end up read, newest first
};

class MarkReadByUrlTest : public ReadyStoreTest, public ::testing::WithParamInterface<MarkCase> {
  protected:
    void SetUp() override {
        ReadyStoreTest::SetUp();
        // d3's link is also d1's buy link; d4 shares d2's link.
        FeedItem d1 = MakeItem("d1"), d2 = MakeItem("d2"), d3 = MakeItem("d3"), d4 = MakeItem("d4");
        d1.msg_buyurl = "http://shared.test/x";
        d3.msg_url = "http://shared.test/x";
        d4.msg_url = d2.msg_url;
        d2.msg_buyurl = "http://shop.test/buy/\"quoted\"";
        for (const FeedItem& item : {d1, d2, d3, d4}) ASSERT_TRUE(m_store->InsertItem(item));
    }
};

TEST_P(MarkReadByUrlTest, MarksEveryRowWhoseLinkOrBuyLinkMatches) {
    EXPECT_TRUE(m_store->MarkReadByUrl(GetParam().url)) << "a URL that matches nothing still succeeds";
    std::vector<std::string> marked;
    for (const FeedItem& item : Listed())
        if (item.msg_top == "1") marked.push_back(item.msg_date);
    EXPECT_EQ(marked, GetParam().marked);
}

INSTANTIATE_TEST_SUITE_P(
    Urls, MarkReadByUrlTest,
    ::testing::Values(MarkCase{"ByLink", "http://deals.test/item/d1", {"d1"}},
                      MarkCase{"ByBuyLink", "http://shop.test/buy/d4", {"d4"}},
                      MarkCase{"LinkOfOneBuyLinkOfAnother", "http://shared.test/x", {"d3", "d1"}},
                      MarkCase{"SharedLink", "http://deals.test/item/d2", {"d4", "d2"}},
                      MarkCase{"DoubleQuotesInUrl", "http://shop.test/buy/\"quoted\"", {"d2"}},
                      MarkCase{"NoMatch", "http://nowhere.test/", {}},
                      MarkCase{"CaseSensitive", "HTTP://DEALS.TEST/ITEM/D1", {}},
                      MarkCase{"PrefixIsNotAMatch", "http://deals.test/item/d", {}},
                      MarkCase{"ColumnNameIsNotAColumn", "msg_url", {}}),
    CaseName());

// ---- listing ----

TEST_F(OperationsTest, ListIsReverseStoringOrderWithUnstoredFieldsEmpty) {
    FeedItem full = MakeItem("2024-01-01");
    full.msg_type = "type";
    full.msg_desc = "description";
    full.msg_categories = "cats";
    full.msg_id = "42";
    full.msg_top = "7";
    for (const char* date : {"b", "c", "a"}) ASSERT_TRUE(m_store->InsertItem(MakeItem(date)));
    ASSERT_TRUE(m_store->InsertItem(full));
    ASSERT_EQ(ListedDates(), (std::vector<std::string>{"2024-01-01", "a", "c", "b"}));

    FeedItem expected = full;
    expected.msg_type.clear();
    expected.msg_desc.clear();
    expected.msg_categories.clear();
    EXPECT_EQ(Listed().front(), expected)
        << "ID (4) never lands in a field; the three unstored ones stay empty";
}

TEST_F(OperationsTest, ChangesAboveATopAreWholeRowsAboveAndMarksBelow) {
    for (const char* date : {"d1", "d2", "d3"}) ASSERT_TRUE(m_store->InsertItem(MakeItem(date)));
    ASSERT_TRUE(m_store->MarkReadByUrl("http://deals.test/item/d1"));
    const auto rows = m_store->ListRows();
    const auto changes = m_store->ListChangesAbove(1);
    ASSERT_TRUE(rows && changes);
    ASSERT_EQ(changes->added.size(), 2u);
    EXPECT_EQ(changes->added[0].item, (*rows)[0].item);
    EXPECT_EQ(changes->added[1].item, (*rows)[1].item);
    ASSERT_EQ(changes->marks.size(), 1u);
    EXPECT_EQ(changes->marks[0].id, 1);
    EXPECT_EQ(changes->marks[0].top, "1");
}

TEST_F(OperationsTest, NullCellsListAsEmptyFields) {
    RawDb(RcdPath()).Exec("insert into items(msg_date) values('d1')");
    const auto items = Listed();
    ASSERT_EQ(items.size(), 1u);
    FeedItem expected;
    expected.msg_date = "d1";
    EXPECT_EQ(items.front(), expected);
}

TEST_F(OperationsTest, FailedListIsAbsentNotEmpty) {
    ASSERT_TRUE(m_store->ListItems().has_value());
    RawDb(RcdPath()).Exec("drop table items");
    EXPECT_FALSE(m_store->ListItems().has_value());
    EXPECT_FALSE(m_store->InsertItem(MakeItem("d1")));
    EXPECT_FALSE(m_store->IsDateUnseen("d1")) << "an unanswered count is not a new date";
    EXPECT_EQ(RawDb(RcdPath()).Scalar("select count(*) from itemdate"), "0");
}

// ---- values with any bytes ----

struct HostileCase {
    const char* name;
    std::string value;
};

class HostileValueTest : public ReadyStoreTest, public ::testing::WithParamInterface<HostileCase> {};

TEST_P(HostileValueTest, RoundTripsVerbatimAndHarmsNothing) {
    const std::string& value = GetParam().value;
    ASSERT_TRUE(m_store->InsertItem(MakeItem("before")));
    FeedItem item;
    item.msg_picurl = value + "p";
    item.msg_top = value + "t";
    item.msg_title = value;
    item.msg_date = value;
    item.msg_url = value + "u";
    item.msg_id = value + "i";
    item.msg_buyurl = value + "b";
    ASSERT_TRUE(m_store->InsertItem(item));
    EXPECT_FALSE(m_store->IsDateUnseen(value));
    EXPECT_FALSE(m_store->InsertItem(item));

    const auto items = Listed();
    ASSERT_EQ(items.size(), 2u) << "nothing deleted, nothing added";
    EXPECT_EQ(items[0], item);
    EXPECT_EQ(items[1], MakeItem("before"));

    RawDb db(RcdPath());
    EXPECT_EQ(db.Scalar("select msg_title from items where ID=2"), value)
        << "the file holds the bytes unescaped";
    EXPECT_EQ(db.Scalar("select typeof(msg_title) from items where ID=2"), "text");
    EXPECT_EQ(db.Scalar("select msg_date from itemdate"), value);
    EXPECT_EQ(db.Scalar("select count(*) from sqlite_master"), "3") << "schema untouched";

    EXPECT_TRUE(m_store->MarkReadByUrl(value + "b"));
    const auto marked = Listed();
    ASSERT_EQ(marked.size(), 2u);
    EXPECT_EQ(marked[0].msg_top, "1");
    EXPECT_EQ(marked[1].msg_top, "");
}

INSTANTIATE_TEST_SUITE_P(
    Values, HostileValueTest,
    ::testing::Values(
        HostileCase{"QuoteBreakout", "it's \"50%\" off'); delete from items; --"},
        HostileCase{"DoubleQuoteBreakout", "x\" or 1=1 --"},
        HostileCase{"DropTable", "'); drop table items; --"}, HostileCase{"FormatDirectives", "%s%n%d%%"},
        HostileCase{"ParameterMarkers", "? ?1 :a @b $c"}, HostileCase{"Backslashes", "C:\\Apps\\\\"},
        HostileCase{"GbkTitle", "\xc9\xcc\xc6\xb7\xb4\xd9\xcf\xfa"},
        HostileCase{"InvalidUtf8", "\xff\xfe\x80\xc0\xaf\xed\xa0\x80"},
        HostileCase{"EmbeddedNul", "before\0after\0"s}, HostileCase{"ControlCharacters", "\t\r\n\x01\x1b[0m"},
        HostileCase{"FourByteUtf8", "\xf0\x9f\x9b\x92 \xe5\x95\x86\xe5\x93\x81"},
        HostileCase{"LongerThanDeclared", std::string(100000, 'L') + "'"}),
    CaseName());

}  // namespace
}  // namespace storetest

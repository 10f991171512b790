// The list at any length: scrolling meets every entry once, and the incremental calls leave the page
// exactly as a full refresh of the same list would.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "PageFixture.h"

namespace {

// Titles of one to four lines, so that entries differ in height and estimates need correcting.
std::vector<PageItem> MixedItems(int count) {
    std::vector<PageItem> items;
    for (int n = count; n > 0; --n) {
        PageItem item = NumberedItem(n, n % 3 ? "0" : "1");
        for (int i = 0; i < n % 4; ++i) item.title += " 限时特价电饭煲限时特价电饭煲";
        items.push_back(item);
    }
    return items;
}

struct ScrollCase {
    const char* name;
    int count;
    int step;
};

class ScrollThrough : public PageTest, public testing::WithParamInterface<ScrollCase> {};

TEST_P(ScrollThrough, MeetsEveryEntryOnceInOrder) {
    const auto items = MixedItems(GetParam().count);
    Refresh(items);
    EXPECT_EQ(ShownEntries(GetParam().step), Expected(items));
    // The whole list was there, yet only a window of it is built.
    EXPECT_LT(EntryCount(), 30);
}

INSTANTIATE_TEST_SUITE_P(Lists, ScrollThrough,
                         testing::Values(ScrollCase{"TenThousand", 10000, 397},
                                         ScrollCase{"FortyInSmallSteps", 40, 53}),
                         [](const auto& row) { return std::string(row.param.name); });

// Dragging the scroll bar lands among entries never measured; scrolling back up measures those above the
// view, and the entries in view must move by exactly what was scrolled, however wrong the estimates were.
TEST_F(PageTest, CorrectedEstimatesDoNotMoveTheView) {
    Refresh(MixedItems(2000));
    EXPECT_EQ(Js(R"js((function () {
        var l = document.getElementById('all_notify'), out = [];
        function go(y) { l.scrollTop = y; l.dispatchEvent(new Event('scroll')); }
        function where() {
            var at = {}, top = l.getBoundingClientRect().top;
            [].forEach.call(l.querySelectorAll('[name=button_buy]'), function (b) {
                at[b.getAttribute('msg_id')] = b.getBoundingClientRect().top - top;
            });
            return at;
        }
        go(l.scrollHeight / 2);
        for (var i = 0; i < 30; i++) {
            var before = where();
            go(l.scrollTop - 60);
            var after = where();
            for (var id in before) {
                if (id in after && Math.abs(after[id] - before[id] - 60) > 0.5) out.push(id);
            }
        }
        return out.join(' ') || 'still';
    })())js"),
              "still");
}

// ---- PrependItem and SetItemTops ------------------------------------------------------------------

std::vector<PageItem> Start() { return MixedItems(40); }

std::string Prepend(int n) { return AddAllItemCall(NumberedItem(n).Values(), "PrependItem"); }

// `items` with the entries [first, first + count) given this read mark.
std::vector<PageItem> Marked(std::vector<PageItem> items, int first, int count, const std::string& top) {
    for (int i = first; i < first + count; ++i) items[i].top = top;
    return items;
}

std::vector<PageItem> WithTop(std::vector<int> newest, std::vector<PageItem> items) {
    for (const int n : newest) items.insert(items.begin(), NumberedItem(n));
    return items;
}

struct Change {
    const char* name;
    int scroll;                      // the list's offset before the change
    bool keepsOffset;                // new entries on top push the content down, the offset stays
    std::vector<std::string> texts;  // one task
    std::vector<bool> flags;
    std::vector<PageItem> after;  // the list a full refresh would bring
};

class IncrementalChange : public PageTest, public testing::WithParamInterface<Change> {};

TEST_P(IncrementalChange, ShowsWhatAFullRefreshShows) {
    Refresh(Start());
    Js("var l = document.getElementById('all_notify'); l.scrollTop = " + std::to_string(GetParam().scroll) +
       "; l.dispatchEvent(new Event('scroll')); 0");
    ASSERT_EQ(ShownEntries(), Expected(Start()));  // every height measured: no estimate left to correct
    const std::string offset = Js("document.getElementById('all_notify').scrollTop");
    EXPECT_EQ(Page().RunBatch(GetParam().texts), GetParam().flags);
    if (GetParam().keepsOffset) {
        EXPECT_EQ(Js("document.getElementById('all_notify').scrollTop"), offset);
    }
    EXPECT_EQ(ShownEntries(), Expected(GetParam().after));
    // The full refresh finds nothing to change: the rendered entries and the scroll extent are the same.
    Observe();
    Refresh(GetParam().after, false);
    EXPECT_EQ(Mutations(), "");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, IncrementalChange,
    testing::Values(
        Change{"OneNewItem", 0, true, {Prepend(100)}, {true}, WithTop({100}, Start())},
        Change{"NewItemsOldestFirstWhileScrolled",
               150,
               true,
               {Prepend(100), Prepend(101), Prepend(102)},
               {true, true, true},
               WithTop({100, 101, 102}, Start())},
        Change{"NewItemFarAbove", 2500, true, {Prepend(100)}, {true}, WithTop({100}, Start())},
        Change{"MarkAllRead", 0, true, {"SetItemTops([[0,40,'1']])"}, {true}, Marked(Start(), 0, 40, "1")},
        Change{"MarkAllReadScrolled",
               1800,
               false,
               {"SetItemTops([[0,40,1]])"},
               {true},
               Marked(Start(), 0, 40, "1")},
        Change{"RangesFarBelowTheView",
               0,
               true,
               {"SetItemTops([[2,1,'1'],[30,5,''],[37,1,0],[40,0,'1']])"},
               {true},
               Marked(Marked(Marked(Start(), 2, 1, "1"), 30, 5, ""), 37, 1, "0")},
        Change{"PositionsCountNewItems",
               0,
               true,
               {Prepend(100), Prepend(101), "SetItemTops([[0,1,'1'],[2,2,'1']])"},
               {true, true, true},
               Marked(Marked(WithTop({100, 101}, Start()), 0, 1, "1"), 2, 2, "1")},
        Change{
            "OutOfRangeChangesNothing",
            0,
            true,
            {"SetItemTops([[0,2,'1'],[39,2,'1']])", "SetItemTops([[-1,1,'1']])", "SetItemTops([[41,0,'1']])",
             "SetItemTops([[0.5,1,'1']])", "SetItemTops([[0,1,'1'],[1]])", "SetItemTops(3)"},
            {false, false, false, false, false, false},
            Start()}),
    [](const auto& row) { return std::string(row.param.name); });

}  // namespace

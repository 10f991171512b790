// A refresh every second must not rebuild the list: unchanged items cost no DOM mutation, changes touch
// only what differs, and the list always ends up exactly as the host's calls describe it.
#include <chrono>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "PageFixture.h"

namespace {

using namespace std::chrono_literals;

using PageRefresh = PageTest;

std::vector<PageItem> Items(int count, int first = 1) {
    std::vector<PageItem> items;
    for (int n = first; n < first + count; ++n) items.push_back(NumberedItem(n, n % 3 ? "0" : "1"));
    return items;
}

struct Transition {
    const char* name;
    std::vector<PageItem> before;
    std::vector<PageItem> after;
    const char* mutations;  // what the second refresh may do to the DOM, in order
};

class PageTransition : public PageRefresh, public testing::WithParamInterface<Transition> {};

TEST_P(PageTransition, ChangesOnlyWhatDiffers) {
    Refresh(GetParam().before);
    ASSERT_EQ(ShownEntries(), Expected(GetParam().before));
    Observe();
    Refresh(GetParam().after);
    EXPECT_EQ(Mutations(), GetParam().mutations);
    EXPECT_EQ(ShownEntries(), Expected(GetParam().after));
}

std::vector<PageItem> Modified(std::vector<PageItem> items, int index, std::string PageItem::*field,
                               const std::string& value) {
    items[index].*field = value;
    return items;
}

std::vector<PageItem> Without(std::vector<PageItem> items, int index) {
    items.erase(items.begin() + index);
    return items;
}

std::vector<PageItem> WithNewTop(std::vector<PageItem> items) {
    items.insert(items.begin(), NumberedItem(99));
    return items;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PageTransition,
    testing::Values(
        Transition{"Unchanged", Items(5), Items(5), ""}, Transition{"UnchangedEmpty", {}, {}, ""},
        Transition{"UnchangedAllEmptyValues", {PageItem{}, PageItem{}}, {PageItem{}, PageItem{}}, ""},
        Transition{"NewItemAtTheTop", Items(5), WithNewTop(Items(5)),
                   "childList:DIV+1 childList:DIV+1 childList:A+1-1"},
        Transition{"MarkedRead", Items(5), Modified(Items(5), 1, &PageItem::top, "1"),
                   "childList:H4-1 childList:H4-1 childList:A+1-1"},
        Transition{"MarkedUnread", Items(5), Modified(Items(5), 2, &PageItem::top, ""),
                   "childList:H4+1 childList:H4+1 childList:A+1-1"},
        Transition{"TitleChanged", Items(3), Modified(Items(3), 2, &PageItem::title, "新标题"),
                   "characterData:H4"},
        Transition{"PictureChanged", Items(3),
                   Modified(Items(3), 0, &PageItem::picurl, "http://img.test/1.png"), "attributes:IMG"},
        Transition{"PlaceholderSwapped", Items(3), Modified(Items(3), 0, &PageItem::picurl, "blank"), ""},
        Transition{"BuyLinkChanged", Items(3), Modified(Items(3), 1, &PageItem::buyurl, "http://shop.test/x"),
                   "attributes:BUTTON"},
        Transition{"LastRemoved", Items(4), Items(3), "childList:DIV-1 childList:DIV-1 childList:A+1-1"},
        Transition{"MiddleRemoved", Items(4), Without(Items(4), 1),
                   "childList:DIV-1 childList:DIV-1 childList:A+1-1"},
        Transition{"AllRemoved",
                   Items(2),
                   {},
                   "childList:DIV-1 childList:DIV-1 childList:DIV-1 childList:DIV-1 "
                   "childList:A+1-1"},
        Transition{"FirstRender", {}, Items(1), "childList:DIV+1 childList:DIV+1 childList:A+1-1"}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

// Random edits of a list, rendered one after the other, must always read back as the host's list.
TEST_F(PageRefresh, AnySequenceOfRefreshesShowsTheLatestList) {
    std::mt19937 random(20240506);
    std::vector<PageItem> items = Items(8);
    int next = 100;
    for (int round = 0; round < 40; ++round) {
        switch (random() % 6) {
            case 0:
                items.insert(items.begin(), NumberedItem(next++));
                break;
            case 1:
                if (!items.empty()) items.erase(items.begin() + random() % items.size());
                break;
            case 2:
                if (!items.empty()) items[random() % items.size()].top = "1";
                break;
            case 3:
                if (items.size() > 1)
                    std::swap(items[random() % items.size()], items[random() % items.size()]);
                break;
            case 4:
                if (!items.empty()) items[random() % items.size()].title += "+";
                break;
            default:
                items.push_back(NumberedItem(next++));
                break;
        }
        Refresh(items);
        ASSERT_EQ(ShownEntries(), Expected(items)) << "round " << round;
    }
}

// Marking all read clears twice in one task before the items come.
TEST_F(PageRefresh, RepeatedClearItemsInOneTaskStillReusesEntries) {
    const auto items = Items(4);
    Refresh(items);
    Observe();
    std::vector<std::string> texts{"ClearItems()", "ClearItems()"};
    for (const auto& item : items) texts.push_back(AddAllItemCall(item.Values()));
    ASSERT_EQ(Page().RunBatch(texts), std::vector<bool>(texts.size(), true));
    EXPECT_EQ(Mutations(), "");
    EXPECT_EQ(ShownEntries(), Expected(items));
}

// A host that sends ClearItems and the items in separate tasks gets a rebuilt list, never a stale one.
TEST_F(PageRefresh, ItemsInALaterTaskAreAppendedToTheClearedList) {
    Refresh(Items(3));
    ASSERT_EQ(Page().RunBatch({"ClearItems()"}), std::vector<bool>{true});
    std::vector<std::string> texts;
    for (const auto& item : Items(2, 7)) texts.push_back(AddAllItemCall(item.Values()));
    ASSERT_EQ(Page().RunBatch(texts), std::vector<bool>(2, true));
    EXPECT_EQ(ShownEntries(), Expected(Items(2, 7)));
}

// One failing text fails alone; the page still shows the others.
TEST_F(PageRefresh, BatchReportsOneFlagPerText) {
    const auto flags =
        Page().RunBatch({"ClearItems()", AddAllItemCall(NumberedItem(1).Values()), "AddAllItem(",
                         AddAllItemCall(NumberedItem(2).Values()), "NoSuchFunction()", "InitAllNum(2,2)"});
    EXPECT_EQ(flags, (std::vector<bool>{true, true, false, true, false, true}));
    EXPECT_EQ(ShownEntries(), Expected({NumberedItem(1), NumberedItem(2)}));
}

TEST_F(PageRefresh, UnchangedRefreshKeepsScrollAndFetchesNoPicture) {
    // Picture URLs of their own, so that no image cached by an earlier test can stand in.
    static int run = 0;
    std::vector<PageItem> items = Items(60);
    for (auto& item : items) item.picurl = "/23/pelmo128.png?" + std::to_string(++run);
    Page().ResetCounts();
    Refresh(items);
    auto pictures = [] {
        const auto found = Page().Served().find("/23/pelmo128.png");
        return found == Page().Served().end() ? 0 : found->second;
    };
    // Pictures load as they come near the view, not all sixty at once.
    for (auto waited = 0ms; waited < 5000ms && pictures() == 0; waited += 50ms) Page().Spin(50ms);
    Page().Spin(300ms);
    ASSERT_GT(pictures(), 0);
    EXPECT_LT(pictures(), 60);
    Js("document.getElementById('all_notify').scrollTop = 700; 0");
    ASSERT_EQ(Js("document.getElementById('all_notify').scrollTop"), "700");
    Page().Spin(300ms);  // the pictures scrolled into view
    Page().ResetCounts();
    for (int i = 0; i < 3; ++i) Refresh(items);
    Page().Spin(200ms);
    EXPECT_EQ(Js("document.getElementById('all_notify').scrollTop"), "700");
    EXPECT_TRUE(Page().Served().empty()) << "the refresh fetched " << Page().Served().begin()->first;
}

}  // namespace

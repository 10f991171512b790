#pragma once

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "PageHarness.h"

// One stored item as the host hands it to AddAllItem, in the call's argument order.
struct PageItem {
    std::string picurl, top, title, date, url, id, buyurl;

    std::vector<std::string> Values() const { return {picurl, top, title, date, url, id, buyurl}; }
};

inline PageItem NumberedItem(int n, const std::string& top = "0") {
    const std::string s = std::to_string(n);
    return {"",
            top,
            "标题 " + s,
            "2024-05-0" + std::to_string(n % 9 + 1) + " 10:00:" + s,
            "http://deals.test/item/" + s,
            s,
            "http://shop.test/buy/" + s};
}

// A fresh load of the popup page for every test, in one view shared by the whole run: a web process
// per test would cost seconds.
class PageTest : public testing::Test {
  protected:
    static PageHarness& Page() {
        static PageHarness* harness = new PageHarness();  // lives until exit, as the web process does
        return *harness;
    }

    void SetUp() override {
        Page().ResetCounts();
        ASSERT_TRUE(Page().Load()) << "the popup page did not load";
    }

    // The value of a page expression as text; "<threw>" when it threw.
    static std::string Js(const std::string& expression) {
        return Page().Eval(expression).value_or("<threw>");
    }

    // One refresh as the host sends it: ClearItems and the item calls in one task, then InitAllNum.
    static void Refresh(const std::vector<PageItem>& items, bool withCounts = true) {
        std::vector<std::string> texts{"ClearItems()"};
        int unread = 0;
        for (const auto& item : items) {
            texts.push_back(AddAllItemCall(item.Values()));
            if (item.top != "1") ++unread;
        }
        const auto flags = Page().RunBatch(texts);
        ASSERT_EQ(flags, std::vector<bool>(texts.size(), true));
        if (withCounts) {
            const auto counts = Page().RunBatch(
                {"InitAllNum(" + std::to_string(unread) + "," + std::to_string(items.size()) + ")"});
            ASSERT_EQ(counts, std::vector<bool>{true});
        }
    }

    // How many entries the list holds.
    static int EntryCount() {
        return std::stoi(Js("document.querySelectorAll('#all_notify > .row-fluid').length"));
    }
};

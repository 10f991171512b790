// Times the popup's refresh batch (ClearItems + N AddAllItem, then InitAllNum) in a real WebKit view:
// the first render, an unchanged re-render and a re-render with one new item at the top, and the web
// process's resident memory across repeated unchanged re-renders.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "PageHarness.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Item {
    std::vector<std::string> values;
    bool read;
};

Item MakeItem(int n) {
    const std::string s = std::to_string(n);
    const bool read = n % 4 == 0;
    return {{"", read ? "1" : "0", "商品标题 " + s + " 限时优惠", "Mon, 06 May 2024 10:" + s,
             "http://deals.test/item/" + s, s, "http://shop.test/buy/" + s},
            read};
}

struct Timing {
    double script;  // the batch's round trip, both calls
    double layout;  // forced style and layout afterwards
};

Timing RenderOnce(PageHarness& page, const std::vector<Item>& items) {
    std::vector<std::string> texts{"ClearItems()"};
    int unread = 0;
    for (const auto& item : items) {
        texts.push_back(AddAllItemCall(item.values));
        unread += item.read ? 0 : 1;
    }
    const auto start = Clock::now();
    const auto flags = page.RunBatch(texts);
    page.RunBatch({"InitAllNum(" + std::to_string(unread) + "," + std::to_string(items.size()) + ")"});
    const auto scripted = Clock::now();
    page.Eval("document.getElementById('all_notify').getBoundingClientRect().height");
    const auto laid = Clock::now();
    if (std::count(flags.begin(), flags.end(), true) != static_cast<long>(texts.size())) {
        std::fprintf(stderr, "bench-render: some calls failed\n");
        std::exit(1);
    }
    auto ms = [](auto d) { return std::chrono::duration<double, std::milli>(d).count(); };
    return {ms(scripted - start), ms(laid - scripted)};
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

void Report(const char* what, const std::vector<Timing>& runs) {
    std::vector<double> script, layout, total;
    for (const auto& run : runs) {
        script.push_back(run.script);
        layout.push_back(run.layout);
        total.push_back(run.script + run.layout);
    }
    std::printf("%-34s script %7.2f ms  layout %6.2f ms  total %7.2f ms  (median of %zu)\n", what,
                Median(script), Median(layout), Median(total), runs.size());
}

}  // namespace

int main(int argc, char** argv) {
    const int count = argc > 1 ? std::atoi(argv[1]) : 1000;
    PageHarness page;
    if (!page.Load()) {
        std::fprintf(stderr, "bench-render: the page did not load\n");
        return 1;
    }
    std::vector<Item> items;
    for (int n = count; n > 0; --n) items.push_back(MakeItem(n));

    std::printf("refresh batch of %d items\n", count);
    Report("first render", {RenderOnce(page, items)});
    page.Spin(std::chrono::milliseconds(500));

    std::vector<Timing> unchanged;
    for (int i = 0; i < 21; ++i) unchanged.push_back(RenderOnce(page, items));
    Report("unchanged re-render", unchanged);

    std::vector<Timing> newTop;
    for (int i = 0; i < 21; ++i) {
        items.insert(items.begin(), MakeItem(count + 1 + i));
        newTop.push_back(RenderOnce(page, items));
    }
    Report("re-render with one new item on top", newTop);

    const long before = page.WebProcessRssKiB();
    for (int i = 0; i < 100; ++i) RenderOnce(page, items);
    page.Spin(std::chrono::milliseconds(500));
    const long after = page.WebProcessRssKiB();
    std::printf("web process RSS: %ld KiB before, %ld KiB after 100 unchanged re-renders (%+ld KiB)\n",
                before, after, after - before);
    return 0;
}

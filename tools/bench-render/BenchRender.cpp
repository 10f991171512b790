// Times the popup's list through the host's own WebKit engine on the real page, on a fresh page per run:
// the first render of N items (ClearItems + N AddAllItem, then InitAllNum), an unchanged refresh, one
// new item and mark-all-read (PrependItem and SetItemTops where the page has them, else the full
// refresh), and the web process's PSS afterwards. Then the round trip of bare batches of 1, 100 and 1000
// texts, from RunScripts to its answer.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include <unistd.h>

#include <gtk/gtk.h>

#include "platform/WindowManager.h"
#include "popup/ScriptText.h"
#include "res/PageResources.h"
#include "tools/harness/desktop/PageScript.h"
#include "webhost/GtkStartup.h"
#include "webhost/ResourceScheme.h"
#include "webhost/WebKitEngine.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr const char* kExePath = "/opt/bench/notifier";

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

void Fail(const char* what) {
    std::fprintf(stderr, "bench-render: %s\n", what);
    std::exit(1);
}

// Iterates the loop (a tool may; the product never does) until `done` or the time limit.
bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = 30s) {
    const auto end = Clock::now() + limit;
    // Wakes the blocking iteration now and then so that the time limit is seen.
    const guint ticker = g_timeout_add(
        5, [](gpointer) -> gboolean { return G_SOURCE_CONTINUE; }, nullptr);
    bool met = true;
    while (!done()) {
        if (Clock::now() > end) {
            met = false;
            break;
        }
        g_main_context_iteration(nullptr, TRUE);
    }
    g_source_remove(ticker);
    return met;
}

void Spin(std::chrono::milliseconds duration) {
    RunUntil([] { return false; }, duration);
}

// Proportional memory of the view's web process in KiB (smaps_rollup), or -1 when it cannot be found.
long WebProcessPssKiB() {
    // The web process is a child of ours; WebKitGTK 4.1 does not tell its id. Each page has its own
    // context, so the newest child is this page's.
    const std::string self = std::to_string(getpid());
    long newest = -1;
    std::filesystem::path found;
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        std::ifstream stat(entry.path() / "stat");
        std::string pid, comm, state, ppid;
        if (!(stat >> pid >> comm >> state >> ppid) || ppid != self) continue;
        if (comm.find("WebKitWebProces") == std::string::npos) continue;
        const long id = std::strtol(pid.c_str(), nullptr, 10);
        if (id > newest) {
            newest = id;
            found = entry.path();
        }
    }
    std::ifstream rollup(found / "smaps_rollup");
    for (std::string line; std::getline(rollup, line);) {
        if (line.rfind("Pss:", 0) == 0) return std::strtol(line.c_str() + 4, nullptr, 10);
    }
    return -1;
}

// The popup's page in the host's engine, in a toplevel of its own.
class BenchPage : public platform::CMessageMap {
  public:
    BenchPage() {
        m_window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
        gtk_window_set_default_size(GTK_WINDOW(m_window), 515, 580);
        GtkWidget* fixed = gtk_fixed_new();
        gtk_container_add(GTK_CONTAINER(m_window), fixed);
        gtk_widget_show_all(m_window);
        m_host = platform::CreateWindow(this);
        platform::SetNativeWidget(m_host, fixed);
        if (!m_engine.Create(m_host, {1, 1, 514, 579})) Fail("the engine did not start");
        m_engine.Show(true);
        m_engine.Navigate(WebWindow::PageUrl(kExePath));
        if (!RunUntil([&] { return m_engine.HasDocument(); })) Fail("the page did not load");
    }

    ~BenchPage() override {
        m_engine.Close();
        platform::DestroyWindow(m_host);
        gtk_widget_destroy(m_window);
    }

    bool ProcessWindowMessage(platform::HWND, platform::UINT, platform::WPARAM, platform::LPARAM,
                              platform::LRESULT&, uint32_t) override {
        return false;
    }

    // Runs the batch and fails the tool unless every text ran.
    void Run(std::vector<std::string> texts) {
        const size_t count = texts.size();
        std::vector<bool> flags;
        bool answered = false;
        m_engine.RunScripts(std::move(texts), [&](std::vector<bool> f) {
            flags = std::move(f);
            answered = true;
        });
        if (!RunUntil([&] { return answered; })) Fail("a batch got no answer");
        if (flags != std::vector<bool>(count, true)) Fail("some calls failed");
    }

    std::string Eval(const std::string& js) {
        const std::optional<std::string> json = harness::EvaluateJson(m_engine.Widget(), js, 30s);
        if (!json) Fail("a script got no answer");
        return *json;
    }

  private:
    GtkWidget* m_window = nullptr;
    platform::HWND m_host = nullptr;
    WebWindow::WebKitEngine m_engine{PageResources(), kPageResourcePrefix, kExePath};
};

FeedItem MakeItem(int n) {
    const std::string s = std::to_string(n);
    FeedItem item;
    item.msg_top = std::to_string(n % 4 == 0 ? 1 : 0);
    item.msg_title = "商品标题 " + s + " 限时优惠";
    item.msg_date = "Mon, 06 May 2024 10:" + s;
    item.msg_url = "http://deals.test/item/" + s;
    item.msg_id = s;
    item.msg_buyurl = "http://shop.test/buy/" + s;
    return item;
}

std::vector<std::string> RefreshTexts(const std::vector<FeedItem>& items) {
    std::vector<std::string> texts{std::string(ScriptText::kClearItems)};
    for (const auto& item : items) texts.push_back(ScriptText::AddAllItem(item));
    return texts;
}

std::string CountsText(const std::vector<FeedItem>& items) {
    int64_t unread = 0;
    for (const auto& item : items) unread += item.msg_top == "1" ? 0 : 1;
    return ScriptText::InitAllNum(unread, static_cast<int64_t>(items.size()));
}

// The batches, then the counts, then forced style and layout: until the list could be painted.
double Timed(BenchPage& page, std::vector<std::vector<std::string>> batches) {
    const auto start = Clock::now();
    for (auto& batch : batches) page.Run(std::move(batch));
    page.Eval("document.getElementById('all_notify').getBoundingClientRect().height");
    return Ms(Clock::now() - start);
}

// Median and range, so that one figure never stands for a spread.
struct Spread {
    std::vector<double> values;
    void Add(double value) { values.push_back(value); }
    void Print(const char* what, const char* unit) const {
        std::vector<double> sorted = values;
        std::sort(sorted.begin(), sorted.end());
        std::printf("%-46s median %9.2f %s  (%.2f-%.2f, %zu runs)\n", what, sorted[sorted.size() / 2], unit,
                    sorted.front(), sorted.back(), sorted.size());
    }
};

struct Figures {
    Spread firstRender, unchanged, newItem, markAllRead, pss;
};

// One fresh page (and web process): the first render of `count` items, an unchanged refresh, one new
// item and mark-all-read, each the way the page supports: the incremental calls where it has them, else
// the full refresh the host sent before.
void OneRun(int count, Figures& figures) {
    BenchPage page;
    std::vector<FeedItem> items;
    for (int n = count; n > 0; --n) items.push_back(MakeItem(n));
    figures.firstRender.Add(Timed(page, {RefreshTexts(items), {CountsText(items)}}));
    Spin(300ms);
    figures.unchanged.Add(Timed(page, {RefreshTexts(items), {CountsText(items)}}));
    Spin(300ms);
    const bool incremental = page.Eval("typeof PrependItem + typeof SetItemTops") == "\"functionfunction\"";

    items.insert(items.begin(), MakeItem(count + 1));
    if (incremental) {
        const FeedItem& item = items.front();
        std::string call = ScriptText::AddAllItem(item);
        call.replace(0, call.find('('), "PrependItem");
        figures.newItem.Add(Timed(page, {{call}, {CountsText(items)}}));
    } else {
        figures.newItem.Add(Timed(page, {RefreshTexts(items), {CountsText(items)}}));
    }
    Spin(300ms);

    for (auto& item : items) item.msg_top = "1";
    if (incremental) {
        const std::string ranges = "[[0," + std::to_string(items.size()) + ",\"1\"]]";
        figures.markAllRead.Add(Timed(page, {{"SetItemTops(" + ranges + ")"}, {CountsText(items)}}));
    } else {
        figures.markAllRead.Add(Timed(page, {RefreshTexts(items), {CountsText(items)}}));
    }
    Spin(2s);  // the web process settles: pictures decoded, collections run
    figures.pss.Add(static_cast<double>(WebProcessPssKiB()) / 1024.0);
}

void RefreshFigures(int count, int runs) {
    Figures figures;
    for (int run = 0; run < runs; ++run) OneRun(count, figures);
    std::printf("list of %d items, one fresh page per run\n", count);
    figures.firstRender.Print("  first render (batch, counts, layout)", "ms");
    figures.unchanged.Print("  unchanged refresh", "ms");
    figures.newItem.Print("  one new item on top", "ms");
    figures.markAllRead.Print("  mark all read", "ms");
    figures.pss.Print("  web process PSS afterwards", "MiB");
}

void BatchRoundTripFigures(BenchPage& page) {
    for (const size_t size : {1u, 100u, 1000u}) {
        std::vector<double> times;
        for (int round = 0; round < 7; ++round) {
            page.Eval("window.n = 0");
            const auto start = Clock::now();
            page.Run(std::vector<std::string>(size, "window.n = (window.n || 0) + 1"));
            times.push_back(Ms(Clock::now() - start));
            if (page.Eval("window.n") != std::to_string(size)) Fail("a batch ran short");
        }
        std::sort(times.begin(), times.end());
        std::printf("RunScripts batch of %4zu texts: median %7.2f ms, best %7.2f ms\n", size,
                    times[times.size() / 2], times.front());
    }
}

}  // namespace

int main(int argc, char** argv) {
    // bench-render [runs [count...]]: by default 5 runs each of 20, 1,000 and 10,000 items.
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    std::vector<int> counts;
    for (int i = 2; i < argc; ++i) counts.push_back(std::atoi(argv[i]));
    if (counts.empty()) counts = {20, 1000, 10000};
    if (!WebWindow::StartGtk(&argc, &argv)) Fail("no X display");
    for (const int count : counts) RefreshFigures(count, runs);
    BenchPage page;
    BatchRoundTripFigures(page);
    return 0;
}

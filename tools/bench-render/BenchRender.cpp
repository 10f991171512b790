// Times the popup's refresh batch (ClearItems + N AddAllItem, then InitAllNum) through the host's own
// WebKit engine on the real page: the first render, an unchanged re-render, a re-render with one new
// item at the top, and the web process's resident memory across repeated unchanged re-renders. Then the
// round trip of bare batches of 1, 100 and 1000 texts, from RunScripts to its answer.
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
#include "tests/support/desktop/PageScript.h"
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

// Resident memory of the view's web process in KiB, or -1 when it cannot be found.
long WebProcessRssKiB() {
    // The web process is a child of ours; WebKitGTK 4.1 does not tell its id.
    const std::string self = std::to_string(getpid());
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        std::ifstream stat(entry.path() / "stat");
        std::string pid, comm, state, ppid;
        if (!(stat >> pid >> comm >> state >> ppid) || ppid != self) continue;
        if (comm.find("WebKitWebProces") == std::string::npos) continue;
        std::ifstream status(entry.path() / "status");
        for (std::string line; std::getline(status, line);) {
            if (line.rfind("VmRSS:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
        }
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
        const std::optional<std::string> json = test_support::EvaluateJson(m_engine.Widget(), js, 30s);
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

struct Timing {
    double script;  // the batch's round trip, both calls
    double layout;  // forced style and layout afterwards
};

Timing RenderOnce(BenchPage& page, const std::vector<FeedItem>& items) {
    std::vector<std::string> texts{std::string(ScriptText::kClearItems)};
    int64_t unread = 0;
    for (const auto& item : items) {
        texts.push_back(ScriptText::AddAllItem(item));
        unread += item.msg_top == "1" ? 0 : 1;
    }
    const auto start = Clock::now();
    page.Run(std::move(texts));
    page.Run({ScriptText::InitAllNum(unread, static_cast<int64_t>(items.size()))});
    const auto scripted = Clock::now();
    page.Eval("document.getElementById('all_notify').getBoundingClientRect().height");
    return {Ms(scripted - start), Ms(Clock::now() - scripted)};
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

void RefreshFigures(BenchPage& page, int count) {
    std::vector<FeedItem> items;
    for (int n = count; n > 0; --n) items.push_back(MakeItem(n));

    std::printf("refresh batch of %d items\n", count);
    Report("first render", {RenderOnce(page, items)});
    Spin(500ms);

    std::vector<Timing> unchanged;
    for (int i = 0; i < 21; ++i) unchanged.push_back(RenderOnce(page, items));
    Report("unchanged re-render", unchanged);

    std::vector<Timing> newTop;
    for (int i = 0; i < 21; ++i) {
        items.insert(items.begin(), MakeItem(count + 1 + i));
        newTop.push_back(RenderOnce(page, items));
    }
    Report("re-render with one new item on top", newTop);

    const long before = WebProcessRssKiB();
    for (int i = 0; i < 100; ++i) RenderOnce(page, items);
    Spin(500ms);
    const long after = WebProcessRssKiB();
    std::printf("web process RSS: %ld KiB before, %ld KiB after 100 unchanged re-renders (%+ld KiB)\n",
                before, after, after - before);
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
    const int count = argc > 1 ? std::atoi(argv[1]) : 1000;
    if (!WebWindow::StartGtk(&argc, &argv)) Fail("no X display");
    BenchPage page;
    RefreshFigures(page, count);
    BatchRoundTripFigures(page);
    return 0;
}

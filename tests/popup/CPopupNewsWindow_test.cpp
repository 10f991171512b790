#include "popup/CPopupNewsWindow.h"

#include <algorithm>
#include <array>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "PopupTestSupport.h"
#include "popup/WindowShape.h"
#include "store/ItemStore.h"
#include "tests/support/FakeEngine.h"
#include "tools/harness/MainLoop.h"
#include "tools/harness/RawDb.h"
#include "webhost/CDocumentEvents.h"
#include "webhost/ResourceScheme.h"

namespace {

using namespace std::chrono_literals;

using namespace popup_test;
using test_support::EngineLog;
using test_support::FakeEngine;
using WebWindow::EventSource;

const std::string kClear = "ClearItems()";

// Records what the popup asks of its toplevel; the popup owns it, the test keeps a pointer.
struct FakeSurface : IPopupSurface {
    void Create(platform::HWND hWnd, int w, int h) override {
        created = hWnd;
        width = w;
        height = h;
    }
    bool LoadSkin() override {
        ++skinLoads;
        return true;
    }
    void SetShape(const std::vector<ShapeRun>& runs) override { shape = runs; }
    void SetClipboardText(const std::string& utf8) override { clipboard.push_back(utf8); }
    void Show() override { shown = true; }
    void Focus() override { focused = true; }
    void Redraw() override {}
    platform::Rect WorkArea() const override { return workArea; }
    void Move(int x, int y) override { moves.emplace_back(x, y); }
    void Destroy() override { destroyed = true; }

    platform::HWND created = nullptr;
    int width = 0;
    int height = 0;
    int skinLoads = 0;
    std::vector<ShapeRun> shape;
    std::vector<std::string> clipboard;
    bool shown = false;
    bool focused = false;
    bool destroyed = false;
    platform::Rect workArea{0, 0, 1280, 1024};
    std::vector<std::pair<int, int>> moves;
};

// The popup with a fake engine and surface and a real store on disk, driven by its window messages and
// the events of the sinks it hands to the engine.
class PopupTest : public testing::Test {
  public:  // the case tables below drive it too
    PopupTest() : store(dir.ModuleDir()) {}

    void TearDown() override {
        popup.reset();
        Drain();
        g_hwndPopup = nullptr;
    }

    void MakePopup() {
        auto ownSurface = std::make_unique<FakeSurface>();
        surface = ownSurface.get();
        popup = std::make_unique<CPopupNewsWindow>(PopupServices{
            .store = store,
            .makeEngine = [log = engine] { return std::make_unique<FakeEngine>(log); },
            .surface = std::move(ownSurface),
            .startPolling = [this] { ++pollStarts; },
            .exePath = "/opt/deals/notifier",
            .openLink = [this](const std::string& url) { opened.push_back(url); },
        });
        hWnd = popup->Create({0, 0, CPopupNewsWindow::kWidth, CPopupNewsWindow::kHeight});
        ASSERT_NE(hWnd, nullptr);
    }

    // The popup with its page loaded.
    void Open() {
        MakePopup();
        LoadPage();
    }

    // A browser event, through the sink the popup gave the engine.
    void BrowserEvent(int dispid, const WebWindow::EventArgs& args = {}) {
        WebWindow::IEventSink* sink = engine->SinkFor(EventSource::Browser);
        ASSERT_NE(sink, nullptr);
        sink->Invoke(dispid, args);
    }

    // The page finishes loading: the browser reports it, and the popup hooks its sinks up.
    void LoadPage() {
        engine->hasDocument = true;
        BrowserEvent(WebWindow::DISPID_DOCUMENTCOMPLETE);
        Drain();
    }

    // A mouse press on the page element `id`.
    void Press(const std::string& id) {
        WebWindow::IEventSink* sink = engine->SinkFor(EventSource::Element, id);
        ASSERT_NE(sink, nullptr) << id;
        sink->Invoke(WebWindow::DISPID_MOUSEDOWN, {});
    }

    void Send(platform::UINT msg, platform::WPARAM wParam = 0) {
        platform::SendMessage(hWnd, msg, wParam, 0);
    }
    void Tick() { Send(platform::WM_TIMER, TIMER_REFRESH); }

    // Texts sent to the page from the `from`th on.
    std::vector<std::string> TextsFrom(size_t from) const {
        const auto all = engine->Texts();
        return {all.begin() + static_cast<std::ptrdiff_t>(std::min(from, all.size())), all.end()};
    }

    // One full refresh with the page taking every call; returns the texts it sent.
    std::vector<std::string> Refresh(const std::function<bool(const std::string&)>& ok = {}) {
        const size_t before = engine->Texts().size();
        Tick();
        engine->AnswerAll(ok);
        return TextsFrom(before);
    }

    void Insert(const std::string& date, const std::string& top, const std::string& url = "") {
        FeedItem item = StoredItem(date, url.empty() ? "http://127.0.0.1/" + date : url);
        item.msg_top = top;
        ASSERT_TRUE(store.InsertItem(item));
    }

    // The cookies of the document sink and the three element sinks connected now.
    std::vector<uint32_t> PageCookies() const {
        std::vector<uint32_t> cookies;
        for (const auto& [cookie, advised] : engine->sinks)
            if (advised.source != EventSource::Browser) cookies.push_back(cookie);
        return cookies;
    }

    TempDir dir;
    ItemStore store;
    std::shared_ptr<EngineLog> engine = std::make_shared<EngineLog>();
    FakeSurface* surface = nullptr;  // owned by the popup
    int pollStarts = 0;
    std::vector<std::string> opened;
    std::unique_ptr<CPopupNewsWindow> popup;
    platform::HWND hWnd = nullptr;
};

// ---- creation and the window ----

TEST_F(PopupTest, CreationBuildsTheWindowAndLoadsThePage) {
    MakePopup();
    EXPECT_EQ(g_hwndPopup, hWnd);
    EXPECT_EQ(surface->created, hWnd);
    EXPECT_EQ(surface->width, 515);
    EXPECT_EQ(surface->height, 580);
    EXPECT_EQ(engine->createdAt, (platform::Rect{1, 1, 514, 579})) << "the skin shows as a one-pixel frame";
    const std::string url = WebWindow::PageUrl("/opt/deals/notifier");
    EXPECT_EQ(engine->navigated, std::vector<std::string>{url});
    EXPECT_TRUE(url.starts_with("res://") && url.ends_with("/23/popup.html")) << url;
    EXPECT_EQ(surface->clipboard, std::vector<std::string>{url});
    EXPECT_EQ(engine->shown, true);
    EXPECT_EQ(surface->skinLoads, 1);
    EXPECT_TRUE(surface->shown);
    EXPECT_TRUE(surface->focused);
    EXPECT_EQ(surface->shape, WindowShape::RoundedRect(515, 580, 7, 7));
    EXPECT_TRUE(engine->batches.empty()) << "nothing runs in the page before the first tick";
}

TEST_F(PopupTest, WithoutAViewThePopupStillTicksAndStartsPollingOnce) {
    engine->createOk = false;
    MakePopup();
    EXPECT_TRUE(engine->navigated.empty());
    EXPECT_EQ(g_hwndPopup, hWnd);
    EXPECT_TRUE(surface->shown);
    EXPECT_TRUE(Refresh().empty()) << "no page, so nothing to run scripts in";
    EXPECT_EQ(pollStarts, 0);
    Send(platform::WM_TIMER, TIMER_START_POLLING);
    Send(platform::WM_TIMER, TIMER_START_POLLING);
    EXPECT_EQ(pollStarts, 1);
}

TEST_F(PopupTest, IsCentredInTheWorkArea) {
    MakePopup();
    surface->workArea = {0, 40, 1280, 1024};
    popup->CentreInWorkArea();
    EXPECT_EQ(surface->moves, (std::vector<std::pair<int, int>>{{383, 242}}));
}

struct TableCase {
    const char* name;
    platform::UINT msg;
    bool handled;
};

class MessageTable : public PopupTest, public testing::WithParamInterface<TableCase> {};

TEST_P(MessageTable, AnswersAndLeavesThePopupWhereItIs) {
    Open();
    platform::LRESULT result = 42;
    EXPECT_EQ(popup->ProcessWindowMessage(hWnd, GetParam().msg, 0, 0, result), GetParam().handled);
    if (GetParam().handled) {
        EXPECT_EQ(result, 0);
    }
    Drain();
    EXPECT_TRUE(platform::IsWindow(hWnd));
    EXPECT_TRUE(surface->moves.empty());
    EXPECT_FALSE(surface->destroyed);
    EXPECT_TRUE(engine->batches.empty());
}

INSTANTIATE_TEST_SUITE_P(Messages, MessageTable,
                         testing::Values(TableCase{"KillFocus", platform::WM_KILLFOCUS, true},
                                         TableCase{"ShowWindow", platform::WM_SHOWWINDOW, true},
                                         TableCase{"WindowPosChanged", platform::WM_WINDOWPOSCHANGED, true},
                                         TableCase{"Paint", platform::WM_PAINT, true},
                                         TableCase{"FocusLost", WM_POPUP_FOCUS_LOST, true},
                                         TableCase{"UnknownGoesToDefault", 4321, false},
                                         TableCase{"ActivateGoesToDefault", platform::WM_ACTIVATE, false}),
                         ByName);

struct CloseCase {
    const char* name;
    std::function<void(PopupTest&)> close;
};

class Closing : public PopupTest, public testing::WithParamInterface<CloseCase> {};

TEST_P(Closing, DestroysTheWindowAndEndsTheLoop) {
    Open();
    const uint32_t documentCookie = engine->SinkFor(EventSource::Document)->m_dwCookie;
    GetParam().close(*this);
    EXPECT_TRUE(platform::IsWindow(hWnd)) << "posted, not sent";
    Drain();
    EXPECT_FALSE(platform::IsWindow(hWnd));
    EXPECT_NE(std::find(engine->unadvised.begin(), engine->unadvised.end(), documentCookie),
              engine->unadvised.end())
        << "the document sink was not disconnected";
    EXPECT_EQ(g_hwndPopup, nullptr);
    EXPECT_EQ(engine->closes, 1);
    EXPECT_TRUE(engine->destroyed);
    EXPECT_TRUE(surface->destroyed);
    EXPECT_EQ(platform::RunMessageLoop(), 0) << "the quit message is waiting";
}

INSTANTIATE_TEST_SUITE_P(
    Ways, Closing,
    testing::Values(CloseCase{"ClosePopup",
                              [](PopupTest& f) { platform::PostMessage(f.hWnd, WM_CLOSE_POPUP); }},
                    CloseCase{"WindowManagerClose",
                              [](PopupTest& f) { platform::PostMessage(f.hWnd, platform::WM_CLOSE); }},
                    CloseCase{"CloseAnchor", [](PopupTest& f) { f.Press("button_close"); }}),
    ByName);

// ---- the page's sinks ----

// The page without the element named by the parameter ("": it has all three).
class PageSinks : public PopupTest, public testing::WithParamInterface<const char*> {};

TEST_P(PageSinks, DocumentCompleteConnectsTheDocumentAndEachElementThePageHas) {
    engine->elementIds.erase(GetParam());
    Open();
    const auto* document =
        dynamic_cast<const WebWindow::CDocumentEvents*>(engine->SinkFor(EventSource::Document));
    ASSERT_NE(document, nullptr);
    EXPECT_EQ(document->m_hWndTarget, hWnd);
    EXPECT_EQ(document->m_uMsg, WM_POPUP_FOCUS_LOST);
    // What each button does is pinned by the button tests below.
    for (const std::string id : {"all_notify_setread", "all_notify_remove", "button_close"}) {
        EXPECT_EQ(engine->SinkFor(EventSource::Element, id) != nullptr, id != GetParam()) << id;
    }
}

INSTANTIATE_TEST_SUITE_P(Missing, PageSinks, testing::Values("", "all_notify_remove"));

TEST_F(PopupTest, ASecondCompletionReplacesTheSinksOfTheFirst) {
    Open();
    const std::vector<uint32_t> first = PageCookies();
    ASSERT_EQ(first.size(), 4u);
    LoadPage();
    EXPECT_EQ(engine->unadvised, first);
    EXPECT_EQ(PageCookies().size(), 4u) << "only the new sinks stay connected";
}

TEST_F(PopupTest, ANewWindowMarksTheLinkReadAndOpensIt) {
    Insert("d1", "0", "http://127.0.0.1/a");
    Insert("d2", "0", "http://127.0.0.1/b");
    Open();
    BrowserEvent(WebWindow::DISPID_NEWWINDOW3, {u"http://127.0.0.1/a", {}});
    Drain();
    EXPECT_EQ(ReadMarks(store), (std::vector<std::string>{"0", "1"}));
    EXPECT_EQ(opened, std::vector<std::string>{"http://127.0.0.1/a"});
    EXPECT_TRUE(platform::IsWindow(hWnd)) << "WM_SHOWWINDOW leaves the popup as it is";
}

// ---- the refresh cycle ----

TEST_F(PopupTest, AnEmptyStoreClearsThePageAndCountsNothing) {
    Open();
    EXPECT_EQ(Refresh(), (std::vector<std::string>{kClear, "InitAllNum(0,0)"}));
    ASSERT_EQ(engine->batches.size(), 1u) << "the counts go with the list";
}

TEST_F(PopupTest, TwelveItemsThreeUnread) {
    for (int i = 0; i < 12; ++i) Insert("date" + std::to_string(100 + i), i % 4 == 0 ? "0" : "1");
    Open();
    const auto texts = Refresh();
    ASSERT_EQ(texts.size(), 14u);
    EXPECT_EQ(texts.front(), kClear);
    EXPECT_EQ(texts.back(), "InitAllNum(3,12)");
    EXPECT_EQ(engine->batches.size(), 1u) << "ClearItems, every item call and the counts go in one batch";
}

TEST_F(PopupTest, RowsGoNewestFirstAndCountOnlyWhatThePageTook) {
    Insert("C", "0");
    Insert("B", "1");
    Insert("A", "0");
    Open();
    // A call the page rejects counts in neither number, and the next tick tries the whole list again.
    auto texts = Refresh([](const std::string& t) { return t.find("\"A\"") == std::string::npos; });
    EXPECT_EQ(texts.back(), "InitAllNum(1,2)");
    texts = Refresh();
    ASSERT_EQ(texts.size(), 5u);
    EXPECT_EQ(texts[1], R"(AddAllItem("http://127.0.0.1/p.png","0","t","A","http://127.0.0.1/A","",""))");
    EXPECT_NE(texts[2].find(R"(,"1","t","B",)"), std::string::npos) << texts[2];
    EXPECT_NE(texts[3].find(R"("C")"), std::string::npos) << texts[3];
    EXPECT_EQ(texts[4], "InitAllNum(2,3)");
    EXPECT_TRUE(Refresh().empty()) << "the page shows the store as it is: an idle tick sends nothing";
}

struct WriteCase {
    const char* name;
    std::function<void(ItemStore& store, const std::string& dir)> write;
    const char* sent;  // a call among those sent: this program's own writes go as a difference
    size_t texts;
    const char* counts;
};

class AfterAWrite : public PopupTest, public testing::WithParamInterface<WriteCase> {};

TEST_P(AfterAWrite, TheNextTickShowsTheChange) {
    Insert("d1", "0", "http://127.0.0.1/a");
    Insert("d2", "0", "http://127.0.0.1/b");
    Open();
    ASSERT_EQ(Refresh().back(), "InitAllNum(2,2)");
    ASSERT_TRUE(Refresh().empty());
    GetParam().write(store, dir.ModuleDir());
    const auto texts = Refresh();
    ASSERT_FALSE(texts.empty());
    std::string joined;
    for (const auto& text : texts) joined += text + "\n";
    EXPECT_NE(joined.find(GetParam().sent), std::string::npos) << joined;
    EXPECT_EQ(texts.size(), GetParam().texts);
    EXPECT_EQ(texts.back(), GetParam().counts);
}

INSTANTIATE_TEST_SUITE_P(
    Writes, AfterAWrite,
    testing::Values(
        WriteCase{"NewItem",
                  [](ItemStore& s, auto&) { s.InsertItem(StoredItem("d3", "http://127.0.0.1/c")); },
                  "PrependItem(", 2, "InitAllNum(3,3)"},
        WriteCase{"MarkReadByLink", [](ItemStore& s, auto&) { s.MarkReadByUrl("http://127.0.0.1/a"); },
                  "SetItemTops([[1,1,\"1\"]])", 2, "InitAllNum(1,2)"},
        WriteCase{"NewItemAndReadMark",
                  [](ItemStore& s, auto&) {
                      s.InsertItem(StoredItem("d3", "http://127.0.0.1/c"));
                      s.MarkReadByUrl("http://127.0.0.1/a");
                  },
                  "SetItemTops([[2,1,\"1\"]])", 3, "InitAllNum(2,3)"},
        WriteCase{"MarkAllRead", [](ItemStore& s, auto&) { s.MarkAllRead(); }, "SetItemTops([[0,2,\"1\"]])",
                  2, "InitAllNum(0,2)"},
        WriteCase{"RemoveAll", [](ItemStore& s, auto&) { s.RemoveAllItems(); }, "ClearItems()", 2,
                  "InitAllNum(0,0)"},
        WriteCase{"AnotherConnection",
                  [](ItemStore&, const std::string& dir) {
                      ItemStore(dir).InsertItem(StoredItem("d3", "http://127.0.0.1/c"));
                  },
                  "ClearItems()", 5, "InitAllNum(3,3)"}),
    ByName);

TEST_F(PopupTest, AReloadedPageGetsTheWholeListAgain) {
    Insert("d1", "0");
    Open();
    ASSERT_EQ(Refresh().back(), "InitAllNum(1,1)");
    LoadPage();
    EXPECT_EQ(Refresh().back(), "InitAllNum(1,1)") << "a reloaded page starts empty";
}

struct MarkCase {
    const char* name;
    std::string mark;
    const char* expected;
};

class StoredMarks : public PopupTest, public testing::WithParamInterface<MarkCase> {};

TEST_P(StoredMarks, OnlyExactlyOneIsRead) {
    Insert("d", GetParam().mark);
    Open();
    EXPECT_EQ(Refresh().back(), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Marks, StoredMarks,
                         testing::Values(MarkCase{"One", "1", "InitAllNum(0,1)"},
                                         MarkCase{"Empty", "", "InitAllNum(1,1)"},
                                         MarkCase{"Zero", "0", "InitAllNum(1,1)"},
                                         MarkCase{"LeadingSpace", " 1", "InitAllNum(1,1)"},
                                         MarkCase{"LeadingZero", "01", "InitAllNum(1,1)"},
                                         MarkCase{"TrailingSpace", "1 ", "InitAllNum(1,1)"}),
                         ByName);

TEST_F(PopupTest, ARefreshBeforeThePageLoadsSendsNothingAndTheNextCatchesUp) {
    Insert("d1", "0");
    Insert("d2", "1");
    MakePopup();
    EXPECT_TRUE(Refresh().empty()) << "calls without a loaded page fail at once";
    LoadPage();
    Refresh();
    EXPECT_EQ(engine->Texts().back(), "InitAllNum(1,2)");

    // What an early tick listed is not sent once the store has changed.
    popup.reset();
    engine = std::make_shared<EngineLog>();
    MakePopup();
    EXPECT_TRUE(Refresh().empty());
    Insert("d3", "0");
    LoadPage();
    Refresh();
    EXPECT_EQ(engine->Texts().back(), "InitAllNum(2,3)");
}

TEST_F(PopupTest, OnlyOneRefreshIsInFlight) {
    Insert("d1", "0");
    Open();
    Tick();
    ASSERT_EQ(engine->Pending(), 1u);
    Tick();
    Tick();
    EXPECT_EQ(engine->batches.size(), 1u) << "ticks that find the last refresh unanswered send nothing";
    ASSERT_TRUE(engine->AnswerNext());  // the list and its counts
    Insert("d2", "0");
    Tick();
    EXPECT_EQ(engine->batches.size(), 2u);
    EXPECT_TRUE(engine->batches.back().texts.front().starts_with("PrependItem(")) << "the new row alone";
}

TEST_F(PopupTest, AGbkTitleReachesThePageAsUtf8) {
    FeedItem item = StoredItem("d", "http://127.0.0.1/x", "", "\xCC\xD8\xBC\xDB");  // GBK
    ASSERT_TRUE(store.InsertItem(item));
    Open();
    EXPECT_NE(Refresh()[1].find("\"\xE7\x89\xB9\xE4\xBB\xB7\""), std::string::npos);
}

// Timer-driven behaviour, on the real main loop.
TEST_F(PopupTest, ActivityBeforeTheFirstTickChangesNothing) {
    Open();
    BrowserEvent(WebWindow::DISPID_PROGRESSCHANGE);
    RunFor(700ms);  // the first tick is due at 300 ms
    EXPECT_FALSE(engine->batches.empty());
}

TEST_F(PopupTest, TheListGoesUpAsSoonAsALatePageLoads) {
    Insert("d1", "0");
    MakePopup();
    RunFor(500ms);  // the first tick finds no page
    ASSERT_TRUE(engine->batches.empty());
    LoadPage();  // its completion is browser activity too
    RunFor(300ms);
    ASSERT_FALSE(engine->batches.empty()) << "the list must not wait ten seconds for a late page";
    engine->AnswerAll();
    EXPECT_EQ(engine->Texts().back(), "InitAllNum(1,1)");

    // A later completion (a frame, a reload) is ordinary activity.
    const size_t before = engine->batches.size();
    LoadPage();
    RunFor(1500ms);
    EXPECT_EQ(engine->batches.size(), before);
}

TEST_F(PopupTest, ActivityHoldsTheNextTickBack) {
    Open();
    RunFor(500ms);
    engine->AnswerAll();
    const size_t afterFirst = engine->batches.size();
    ASSERT_GT(afterFirst, 0u);

    // Quiet page: the next tick comes about a second later.
    Insert("d1", "0");
    RunFor(1500ms);
    engine->AnswerAll();
    ASSERT_GT(engine->batches.size(), afterFirst);

    // Busy page: each event pushes the next tick out by ten seconds.
    const size_t beforeActivity = engine->batches.size();
    Insert("d2", "0");
    for (int i = 0; i < 4; ++i) {
        BrowserEvent(WebWindow::DISPID_STATUSTEXTCHANGE);
        RunFor(500ms);
    }
    EXPECT_EQ(engine->batches.size(), beforeActivity);
}

// How long the main loop would sleep now, in ms: -1 when only an event can wake it.
int MainLoopSleepMs() {
    GMainContext* context = g_main_context_default();
    g_main_context_acquire(context);
    gint priority = 0;
    gint timeout = 0;
    std::array<GPollFD, 64> fds{};
    g_main_context_prepare(context, &priority);
    const gint count = g_main_context_query(context, priority, &timeout, fds.data(), fds.size());
    g_main_context_check(context, priority, fds.data(), std::min<gint>(count, fds.size()));
    g_main_context_dispatch(context);
    g_main_context_release(context);
    return timeout;
}

TEST_F(PopupTest, ACurrentPageSleepsUntilTheStoreChanges) {
    MakePopup();
    LoadPage();
    RunFor(500ms);
    engine->AnswerAll();
    RunFor(5500ms);  // past the poll's start and a tick that finds the page current
    EXPECT_EQ(MainLoopSleepMs(), -1) << "no timer is left to wake the idle popup";
    const size_t before = engine->batches.size();
    harness::RawDb(dir.ModuleDir() + "rcd").Exec("insert into items(msg_date, msg_top) values('other', '0')");
    EXPECT_TRUE(harness::SpinUntil([&] { return engine->batches.size() > before; }, 5s))
        << "another program's write shows";
}

// ---- the page's buttons ----

TEST_F(PopupTest, MarkAllReadWithFiveRows) {
    for (int i = 0; i < 5; ++i) Insert("d" + std::to_string(i), i == 2 ? "1" : "0");
    Open();
    Press("all_notify_setread");
    EXPECT_EQ(ReadMarks(store), std::vector<std::string>(5, "1")) << "sent: the store is marked at the press";
    engine->AnswerAll();
    const auto texts = engine->Texts();
    ASSERT_EQ(texts.size(), 7u) << "a page that shows no list yet gets the whole list";
    EXPECT_EQ(texts[0], kClear);
    for (int i = 1; i < 6; ++i) {
        EXPECT_TRUE(texts[i].starts_with("AddAllItem(")) << texts[i];
        EXPECT_NE(texts[i].find(",\"1\","), std::string::npos) << texts[i];
    }
    EXPECT_EQ(texts[6], "InitAllNum(0,5)");
}

TEST_F(PopupTest, RemoveAllEmptiesTheStoreAndThePage) {
    Insert("d1", "0");
    Insert("d2", "1");
    Open();
    Refresh();
    const size_t before = engine->Texts().size();
    Press("all_notify_remove");
    EXPECT_EQ(store.ListItems()->size(), 0u) << "sent: the store is emptied at the press";
    engine->AnswerAll();
    EXPECT_EQ(TextsFrom(before), (std::vector<std::string>{kClear, "InitAllNum(0,0)"}));
    EXPECT_EQ(Refresh().back(), "InitAllNum(0,0)");
}

}  // namespace

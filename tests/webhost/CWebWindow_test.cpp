#include "webhost/CWebWindow.h"

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/WindowManager.h"

using namespace WebWindow;

namespace {

// What the window asked of its engine; outlives the engine so tests can read it after destruction.
struct EngineLog {
    bool startOk = true;
    bool hasDocument = false;
    std::vector<std::string> calls;
    Rect createdAt;
    platform::HWND createdIn = nullptr;
    std::vector<std::string> navigated;
    int shown = -1;
    bool destroyed = false;
};

class FakeEngine : public IBrowserEngine {
  public:
    explicit FakeEngine(EngineLog& log) : m_log(log) {}
    ~FakeEngine() override { m_log.destroyed = true; }

    bool Create(platform::HWND parent, const Rect& rc) override {
        m_log.calls.push_back("Create");
        m_log.createdIn = parent;
        m_log.createdAt = rc;
        return m_log.startOk;
    }
    void Navigate(const std::string& url) override { m_log.navigated.push_back(url); }
    void Show(bool visible) override { m_log.shown = visible; }
    bool HasDocument() const override { return m_log.hasDocument; }
    uint32_t Advise(EventSource source, const std::string&, IEventSink*) override {
        m_log.calls.push_back(source == EventSource::Browser ? "Advise browser" : "Advise other");
        return 77;
    }
    bool Unadvise(EventSource, uint32_t cookie) override {
        m_log.calls.push_back("Unadvise " + std::to_string(cookie));
        return true;
    }
    void RunScripts(std::vector<std::string>, ScriptDone) override {}
    void Close() override { m_log.calls.push_back("Close"); }

  private:
    EngineLog& m_log;
};

struct NullSink : IEventSink {
    void Invoke(int, const EventArgs&) override {}
};

struct ParentWindow : platform::CMessageMap {
    bool ProcessWindowMessage(platform::HWND, platform::UINT, platform::WPARAM, platform::LPARAM,
                              platform::LRESULT&, uint32_t) override {
        return false;
    }
};

struct Handler {};
using WebWindowUnderTest = CWebWindow<Handler>;

class CWebWindowTest : public ::testing::Test {
  protected:
    void SetUp() override { m_parent = platform::CreateWindow(&m_parentObject); }
    void TearDown() override {
        m_window.reset();
        platform::DestroyWindow(m_parent);
    }

    WebWindowUnderTest& Make() {
        m_window = std::make_unique<WebWindowUnderTest>(&m_sink, std::make_unique<FakeEngine>(m_log));
        return *m_window;
    }

    EngineLog m_log;
    NullSink m_sink;
    ParentWindow m_parentObject;
    platform::HWND m_parent = nullptr;
    std::unique_ptr<WebWindowUnderTest> m_window;
};

TEST_F(CWebWindowTest, CreateKeepsTheRectanglesAndStartsTheEngineInTheParent) {
    auto& window = Make();
    ASSERT_TRUE(window.Create(m_parent, {1, 1, 514, 579}));
    EXPECT_EQ(window.m_rcWindow, (Rect{1, 1, 514, 579}));
    EXPECT_EQ(window.m_rcClient, (Rect{0, 0, 513, 578}));
    EXPECT_EQ(m_log.createdIn, m_parent);
    EXPECT_EQ(m_log.createdAt, (Rect{1, 1, 514, 579}));
    EXPECT_EQ(platform::GetParent(window.m_hWnd), m_parent);
    EXPECT_EQ(m_log.calls, (std::vector<std::string>{"Create", "Advise browser"}));
    EXPECT_EQ(m_sink.m_dwCookie, 77u);
}

TEST_F(CWebWindowTest, DocumentOnlyWhileTheEngineHoldsALoadedPage) {
    auto& window = Make();
    EXPECT_EQ(window.GetDocument(), nullptr);  // before Create
    window.Create(m_parent, {0, 0, 10, 10});
    EXPECT_EQ(window.GetDocument(), nullptr);  // before the load finished
    window.Navigate("res:///x/23/popup.html");
    EXPECT_EQ(m_log.navigated, (std::vector<std::string>{"res:///x/23/popup.html"}));
    m_log.hasDocument = true;
    EXPECT_NE(window.GetDocument(), nullptr);
}

TEST_F(CWebWindowTest, FailedEngineStartLeavesAWindowWithoutBrowser) {
    m_log.startOk = false;
    m_log.hasDocument = true;
    auto& window = Make();
    EXPECT_TRUE(window.Create(m_parent, {0, 0, 10, 10}));
    window.Navigate("res:///x/23/popup.html");
    window.ShowWindow(true);
    EXPECT_TRUE(m_log.navigated.empty());
    EXPECT_EQ(m_log.shown, -1);
    EXPECT_EQ(window.GetDocument(), nullptr);
    EXPECT_EQ(m_sink.m_dwCookie, 0u);
}

TEST_F(CWebWindowTest, CloseHidesWithoutDestroying) {
    auto& window = Make();
    window.Create(m_parent, {0, 0, 10, 10});
    window.ShowWindow(true);
    EXPECT_EQ(m_log.shown, 1);
    EXPECT_EQ(platform::SendMessage(window.m_hWnd, platform::WM_CLOSE), 0);
    EXPECT_EQ(m_log.shown, 0);
    EXPECT_TRUE(platform::IsWindow(window.m_hWnd));
    EXPECT_FALSE(m_log.destroyed);
}

TEST_F(CWebWindowTest, MessageAnswers) {
    auto& window = Make();
    window.Create(m_parent, {0, 0, 10, 10});
    EXPECT_EQ(platform::SendMessage(window.m_hWnd, platform::WM_ERASEBKGND), 1);
    platform::LRESULT result = 5;
    EXPECT_FALSE(window.ProcessWindowMessage(window.m_hWnd, platform::WM_CLOSE, 0, 0, result, 1));
    EXPECT_EQ(result, 5);
    EXPECT_TRUE(platform::IsWindow(window.m_hWnd));
}

// Destroying the child (directly, with its parent, or through the object) disconnects the browser sink
// and closes the engine, once.
enum class Teardown { DestroyChildWindow, DestroyParentWindow, DeleteObject };

class CWebWindowTeardownTest : public CWebWindowTest, public ::testing::WithParamInterface<Teardown> {};

TEST_P(CWebWindowTeardownTest, DisconnectsTheSinkThenClosesTheEngine) {
    auto& window = Make();
    window.Create(m_parent, {0, 0, 10, 10});
    m_log.calls.clear();
    switch (GetParam()) {
        case Teardown::DestroyChildWindow:
            platform::DestroyWindow(window.m_hWnd);
            break;
        case Teardown::DestroyParentWindow:
            platform::DestroyWindow(m_parent);
            break;
        case Teardown::DeleteObject:
            m_window.reset();
            break;
    }
    EXPECT_EQ(m_log.calls, (std::vector<std::string>{"Unadvise 77", "Close"}));
    EXPECT_EQ(m_sink.m_dwCookie, 0u);
    EXPECT_TRUE(m_log.destroyed);
    if (m_window) {
        EXPECT_EQ(m_window->GetDocument(), nullptr);
        m_window->Navigate("res:///late");
        EXPECT_TRUE(m_log.navigated.empty());
    }
    m_window.reset();
    EXPECT_EQ(m_log.calls.size(), 2u);
}

INSTANTIATE_TEST_SUITE_P(Ways, CWebWindowTeardownTest,
                         ::testing::Values(Teardown::DestroyChildWindow, Teardown::DestroyParentWindow,
                                           Teardown::DeleteObject));

TEST_F(CWebWindowTest, ObjectNeverCreatedStillClosesItsEngine) {
    Make();
    m_window.reset();
    EXPECT_EQ(m_log.calls, (std::vector<std::string>{"Close"}));
    EXPECT_TRUE(m_log.destroyed);
}

}  // namespace

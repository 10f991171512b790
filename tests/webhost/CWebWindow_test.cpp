#include "webhost/CWebWindow.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/WindowManager.h"
#include "tests/support/FakeEngine.h"

using namespace WebWindow;
using test_support::EngineLog;
using test_support::FakeEngine;

namespace {

struct NullSink : IEventSink {
    void Invoke(int, const EventArgs&) override {}
};

struct ParentWindow : platform::CMessageMap {
    bool ProcessWindowMessage(platform::HWND, platform::UINT, platform::WPARAM, platform::LPARAM,
                              platform::LRESULT&, uint32_t) override {
        return false;
    }
};

class CWebWindowTest : public ::testing::Test {
  protected:
    void SetUp() override { m_parent = platform::CreateWindow(&m_parentObject); }
    void TearDown() override {
        m_window.reset();
        platform::DestroyWindow(m_parent);
    }

    CWebWindow& Make() {
        m_window = std::make_unique<CWebWindow>(&m_sink, std::make_unique<FakeEngine>(m_log));
        return *m_window;
    }

    std::shared_ptr<EngineLog> m_log = std::make_shared<EngineLog>();
    NullSink m_sink;
    ParentWindow m_parentObject;
    platform::HWND m_parent = nullptr;
    std::unique_ptr<CWebWindow> m_window;
};

TEST_F(CWebWindowTest, CreateKeepsTheRectanglesAndStartsTheEngineInTheParent) {
    auto& window = Make();
    ASSERT_TRUE(window.Create(m_parent, {1, 1, 514, 579}));
    EXPECT_EQ(window.m_rcWindow, (platform::Rect{1, 1, 514, 579}));
    EXPECT_EQ(m_log->createdIn, m_parent);
    EXPECT_EQ(m_log->createdAt, (platform::Rect{1, 1, 514, 579}));
    EXPECT_EQ(platform::GetParent(window.m_hWnd), m_parent);
    // The fake takes no sink before its view exists, so this also pins Create before Advise.
    EXPECT_EQ(m_log->SinkFor(EventSource::Browser), &m_sink);
    EXPECT_EQ(m_log->sinks.size(), 1u);
    EXPECT_NE(m_sink.m_dwCookie, 0u);
}

TEST_F(CWebWindowTest, DocumentOnlyWhileTheEngineHoldsALoadedPage) {
    auto& window = Make();
    EXPECT_EQ(window.GetDocument(), nullptr);  // before Create
    window.Create(m_parent, {0, 0, 10, 10});
    EXPECT_EQ(window.GetDocument(), nullptr);  // before the load finished
    window.Navigate("res:///x/23/popup.html");
    EXPECT_EQ(m_log->navigated, (std::vector<std::string>{"res:///x/23/popup.html"}));
    m_log->hasDocument = true;
    EXPECT_NE(window.GetDocument(), nullptr);
}

TEST_F(CWebWindowTest, FailedEngineStartLeavesAWindowWithoutBrowser) {
    m_log->createOk = false;
    m_log->hasDocument = true;
    auto& window = Make();
    EXPECT_TRUE(window.Create(m_parent, {0, 0, 10, 10}));
    window.Navigate("res:///x/23/popup.html");
    window.ShowWindow(true);
    EXPECT_TRUE(m_log->navigated.empty());
    EXPECT_EQ(m_log->shown, std::nullopt);
    EXPECT_EQ(window.GetDocument(), nullptr);
    EXPECT_EQ(m_sink.m_dwCookie, 0u);
}

// A WM_CLOSE sent to the window hides the view; the window stays and the engine lives on.
TEST_F(CWebWindowTest, MessageAnswersAndCloseHidesWithoutDestroying) {
    auto& window = Make();
    window.Create(m_parent, {0, 0, 10, 10});
    EXPECT_EQ(platform::SendMessage(window.m_hWnd, platform::WM_ERASEBKGND), 1);
    platform::LRESULT result = 5;
    EXPECT_FALSE(window.ProcessWindowMessage(window.m_hWnd, platform::WM_CLOSE, 0, 0, result, 1));
    EXPECT_EQ(result, 5);
    window.ShowWindow(true);
    EXPECT_EQ(m_log->shown, true);
    EXPECT_EQ(platform::SendMessage(window.m_hWnd, platform::WM_CLOSE), 0);
    EXPECT_EQ(m_log->shown, false);
    EXPECT_TRUE(platform::IsWindow(window.m_hWnd));
    EXPECT_FALSE(m_log->destroyed);
}

// Destroying the child (directly, with its parent, or through the object) disconnects the browser sink
// and closes the engine, once. The fake refuses an Unadvise after Close, so the cookie left at 0 also
// pins that order.
enum class Teardown { DestroyChildWindow, DestroyParentWindow, DeleteObject };

class CWebWindowTeardownTest : public CWebWindowTest, public ::testing::WithParamInterface<Teardown> {};

TEST_P(CWebWindowTeardownTest, DisconnectsTheSinkThenClosesTheEngine) {
    auto& window = Make();
    window.Create(m_parent, {0, 0, 10, 10});
    const uint32_t cookie = m_sink.m_dwCookie;
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
    EXPECT_EQ(m_log->unadvised, std::vector<uint32_t>{cookie});
    EXPECT_EQ(m_sink.m_dwCookie, 0u);
    EXPECT_EQ(m_log->closes, 1);
    EXPECT_TRUE(m_log->destroyed);
    if (m_window) {
        EXPECT_EQ(m_window->GetDocument(), nullptr);
        m_window->Navigate("res:///late");
        EXPECT_TRUE(m_log->navigated.empty());
    }
    m_window.reset();
    EXPECT_EQ(m_log->unadvised.size(), 1u);
    EXPECT_EQ(m_log->closes, 1);
}

INSTANTIATE_TEST_SUITE_P(Ways, CWebWindowTeardownTest,
                         ::testing::Values(Teardown::DestroyChildWindow, Teardown::DestroyParentWindow,
                                           Teardown::DeleteObject));

TEST_F(CWebWindowTest, ObjectNeverCreatedStillClosesItsEngine) {
    Make();
    m_window.reset();
    EXPECT_TRUE(m_log->unadvised.empty());
    EXPECT_EQ(m_log->closes, 1);
    EXPECT_TRUE(m_log->destroyed);
}

}  // namespace

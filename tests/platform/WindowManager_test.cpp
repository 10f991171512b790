#include <algorithm>
#include <deque>
#include <functional>
#include <iterator>
#include <map>
#include <thread>
#include <vector>

#include <glib.h>
#include <gtest/gtest.h>

#include "platform/WindowManager.h"

using namespace platform;

namespace {

constexpr UINT WM_TEST = WM_USER + 1;
constexpr UINT WM_QUIT_TEST = WM_USER + 99;  // handlers answer it by ending the loop

struct Delivery {
    HWND hWnd;
    UINT uMsg;
    WPARAM wParam;
    bool operator==(const Delivery&) const = default;
};

// A window that logs every message into a log shared by the test's windows, and lets a test choose
// which messages it handles, what they answer and what else happens on them.
class RecordingWindow : public CMessageMap {
  public:
    explicit RecordingWindow(std::vector<Delivery>& log) : m_log(log) {}

    bool ProcessWindowMessage(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM, LRESULT& lResult,
                              uint32_t) override {
        m_log.push_back({hWnd, uMsg, wParam});
        if (auto it = m_actions.find(uMsg); it != m_actions.end()) it->second(hWnd, wParam);
        if (uMsg == WM_QUIT_TEST) PostQuitMessage(static_cast<int>(wParam));
        if (auto it = m_answers.find(uMsg); it != m_answers.end()) {
            lResult = it->second;
            return true;
        }
        return false;
    }

    std::map<UINT, LRESULT> m_answers;  // handled messages and their results
    std::map<UINT, std::function<void(HWND, WPARAM)>> m_actions;

  private:
    std::vector<Delivery>& m_log;
};

class WindowManagerTest : public ::testing::Test {
  protected:
    void TearDown() override {
        for (HWND hWnd : m_created) DestroyWindow(hWnd);
    }

    HWND Make(RecordingWindow& object, HWND parent = nullptr) {
        HWND hWnd = CreateWindow(&object, parent);
        if (hWnd != nullptr) m_created.push_back(hWnd);
        return hWnd;
    }

    // Runs the loop until a quit message posted to `quitter` after `ms` milliseconds arrives.
    int RunFor(HWND quitter, uint32_t ms, int code = 0) {
        SetTimer(quitter, kQuitTimer, ms);
        m_quitCode = code;
        const int result = RunMessageLoop();
        KillTimer(quitter, kQuitTimer);
        return result;
    }

    std::vector<Delivery> Of(UINT uMsg) const {
        std::vector<Delivery> out;
        std::ranges::copy_if(m_log, std::back_inserter(out),
                             [uMsg](const Delivery& d) { return d.uMsg == uMsg; });
        return out;
    }

    void InstallQuitTimer(RecordingWindow& window) {
        window.m_actions[WM_TIMER] = [this](HWND, WPARAM id) {
            if (id == kQuitTimer) PostQuitMessage(m_quitCode);
        };
    }

    // Window objects outlive every handle: TearDown destroys the handles first.
    RecordingWindow& Obj() { return m_objects.emplace_back(m_log); }

    static constexpr uintptr_t kQuitTimer = 9999;
    std::vector<Delivery> m_log;
    std::deque<RecordingWindow> m_objects;
    std::vector<HWND> m_created;
    int m_quitCode = 0;
};

TEST_F(WindowManagerTest, PostedMessagesArriveInPostingOrderAcrossWindows) {
    RecordingWindow &a = Obj(), &b = Obj();
    HWND ha = Make(a), hb = Make(b);
    std::vector<Delivery> expected;
    for (WPARAM i = 0; i < 50; ++i) {
        HWND target = (i % 3 == 0) ? hb : ha;
        ASSERT_TRUE(PostMessage(target, WM_TEST, i));
        expected.push_back({target, WM_TEST, i});
    }
    PostMessage(ha, WM_QUIT_TEST, 0);
    EXPECT_EQ(RunMessageLoop(), 0);
    EXPECT_EQ(Of(WM_TEST), expected);
}

TEST_F(WindowManagerTest, MessagesPostedByAHandlerComeAfterThoseAlreadyQueued) {
    RecordingWindow& a = Obj();
    InstallQuitTimer(a);
    HWND ha = Make(a);
    a.m_actions[WM_TEST] = [](HWND hWnd, WPARAM i) {
        if (i == 1) PostMessage(hWnd, WM_TEST, 10);
    };
    PostMessage(ha, WM_TEST, 1);
    PostMessage(ha, WM_TEST, 2);
    PostMessage(ha, WM_TEST, 3);
    RunFor(ha, 30);
    EXPECT_EQ(Of(WM_TEST), (std::vector<Delivery>{
                               {ha, WM_TEST, 1}, {ha, WM_TEST, 2}, {ha, WM_TEST, 3}, {ha, WM_TEST, 10}}));
}

TEST_F(WindowManagerTest, PostsFromAnotherThreadKeepTheirOrderAndWakeTheLoop) {
    RecordingWindow& a = Obj();
    HWND ha = Make(a);
    std::thread poster([ha] {
        for (WPARAM i = 0; i < 200; ++i) PostMessage(ha, WM_TEST, i);
        PostMessage(ha, WM_QUIT_TEST, 5);
    });
    EXPECT_EQ(RunMessageLoop(), 5);  // only the posts can end it: no timer is running
    poster.join();
    const auto got = Of(WM_TEST);
    ASSERT_EQ(got.size(), 200u);
    for (WPARAM i = 0; i < got.size(); ++i) EXPECT_EQ(got[i].wParam, i);
}

enum class Loss { NullHandle, DestroyedBeforePost, DestroyedBeforeDelivery };

class LostMessageTest : public WindowManagerTest, public ::testing::WithParamInterface<Loss> {};

TEST_P(LostMessageTest, MessageToAMissingWindowIsDropped) {
    RecordingWindow &victim = Obj(), &keeper = Obj();
    InstallQuitTimer(keeper);
    HWND hv = CreateWindow(&victim);
    HWND hk = Make(keeper);
    switch (GetParam()) {
        case Loss::NullHandle:
            EXPECT_FALSE(PostMessage(nullptr, WM_TEST, 1));
            DestroyWindow(hv);
            break;
        case Loss::DestroyedBeforePost:
            DestroyWindow(hv);
            EXPECT_FALSE(PostMessage(hv, WM_TEST, 1));
            break;
        case Loss::DestroyedBeforeDelivery:
            EXPECT_TRUE(PostMessage(hv, WM_TEST, 1));
            DestroyWindow(hv);
            break;
    }
    PostMessage(hk, WM_TEST, 2);
    RunFor(hk, 20);
    EXPECT_EQ(Of(WM_TEST), (std::vector<Delivery>{{hk, WM_TEST, 2}}));
    EXPECT_EQ(SendMessage(hv, WM_TEST), 0);
}

INSTANTIATE_TEST_SUITE_P(Cases, LostMessageTest,
                         ::testing::Values(Loss::NullHandle, Loss::DestroyedBeforePost,
                                           Loss::DestroyedBeforeDelivery));

TEST_F(WindowManagerTest, DeadHandleGetsNoChildAndStaysDeadAfterNewWindowsAreCreated) {
    RecordingWindow &a = Obj(), &b = Obj();
    HWND old = CreateWindow(&a);
    DestroyWindow(old);
    EXPECT_EQ(Make(b, old), nullptr) << "a child of a dead parent";
    for (int i = 0; i < 5; ++i) Make(b);
    EXPECT_FALSE(IsWindow(old));
    EXPECT_FALSE(PostMessage(old, WM_TEST));
}

TEST_F(WindowManagerTest, SettingATimerAgainReplacesIt) {
    RecordingWindow& a = Obj();
    InstallQuitTimer(a);
    HWND ha = Make(a);
    ASSERT_TRUE(SetTimer(ha, 7, 60000));
    ASSERT_TRUE(SetTimer(ha, 7, 60000));
    ASSERT_TRUE(SetTimer(ha, 7, 5));  // the new interval takes effect
    a.m_actions[WM_TIMER] = [this](HWND, WPARAM id) {
        if (id == 7) PostQuitMessage(0);
    };
    RunFor(ha, 5000);
    ASSERT_FALSE(Of(WM_TIMER).empty());
    EXPECT_EQ(Of(WM_TIMER).front().wParam, 7u);

    // Only one timer of that id is left: killing it leaves no tick behind.
    m_log.clear();
    EXPECT_TRUE(KillTimer(ha, 7));
    EXPECT_FALSE(KillTimer(ha, 7));
    InstallQuitTimer(a);
    RunFor(ha, 60);
    for (const Delivery& d : Of(WM_TIMER)) EXPECT_EQ(d.wParam, kQuitTimer);
}

TEST_F(WindowManagerTest, TimersKeepTickingUntilKilled) {
    RecordingWindow& a = Obj();
    HWND ha = Make(a);
    int ticks = 0;
    a.m_actions[WM_TIMER] = [&ticks](HWND hWnd, WPARAM) {
        if (++ticks == 3) {
            KillTimer(hWnd, 1);
            PostMessage(hWnd, WM_QUIT_TEST, 0);
        }
    };
    SetTimer(ha, 1, 1);
    RunMessageLoop();
    EXPECT_EQ(ticks, 3);
    EXPECT_FALSE(KillTimer(ha, 1));
}

TEST_F(WindowManagerTest, TimersDieWithTheirWindowAndItsChildren) {
    RecordingWindow &parent = Obj(), &child = Obj(), &keeper = Obj();
    InstallQuitTimer(keeper);
    HWND hp = CreateWindow(&parent);
    HWND hc = CreateWindow(&child, hp);
    HWND hk = Make(keeper);
    SetTimer(hp, 1, 1);
    SetTimer(hc, 2, 1);
    DestroyWindow(hp);
    RunFor(hk, 40);
    for (const Delivery& d : Of(WM_TIMER)) EXPECT_EQ(d.hWnd, hk);
    EXPECT_FALSE(SetTimer(hp, 1, 1));
}

// A parent hears WM_DESTROY while its children still exist; then they go, parent before child.
TEST_F(WindowManagerTest, DestroyingAParentTellsItBeforeItsChildren) {
    RecordingWindow &parent = Obj(), &child = Obj(), &grandchild = Obj();
    HWND hp = CreateWindow(&parent);
    HWND hc = CreateWindow(&child, hp);
    HWND hg = CreateWindow(&grandchild, hc);
    EXPECT_EQ(GetParent(hg), hc);
    EXPECT_EQ(GetParent(hc), hp);
    EXPECT_EQ(GetParent(hp), nullptr);
    bool childrenAlive = false;
    parent.m_actions[WM_DESTROY] = [&](HWND, WPARAM) { childrenAlive = IsWindow(hc) && IsWindow(hg); };

    EXPECT_TRUE(DestroyWindow(hp));
    EXPECT_TRUE(childrenAlive);
    EXPECT_EQ(Of(WM_DESTROY),
              (std::vector<Delivery>{{hp, WM_DESTROY, 0}, {hc, WM_DESTROY, 0}, {hg, WM_DESTROY, 0}}));
    EXPECT_FALSE(IsWindow(hp) || IsWindow(hc) || IsWindow(hg));
    EXPECT_FALSE(DestroyWindow(hp));
}

TEST_F(WindowManagerTest, DestroyingAChildDetachesItFromItsParent) {
    RecordingWindow &parent = Obj(), &child = Obj();
    HWND hp = Make(parent);
    HWND hc = CreateWindow(&child, hp);
    DestroyWindow(hc);
    m_log.clear();
    DestroyWindow(hp);
    EXPECT_EQ(Of(WM_DESTROY), (std::vector<Delivery>{{hp, WM_DESTROY, 0}}));
}

TEST_F(WindowManagerTest, CreateSendsWmCreateAndRefusalDestroysTheWindow) {
    RecordingWindow &accepting = Obj(), &refusing = Obj();
    refusing.m_answers[WM_CREATE] = -1;
    HWND ok = Make(accepting);
    ASSERT_NE(ok, nullptr);
    EXPECT_EQ(m_log.front(), (Delivery{ok, WM_CREATE, 0}));

    m_log.clear();
    EXPECT_EQ(Make(refusing), nullptr);
    ASSERT_EQ(m_log.size(), 2u);
    EXPECT_EQ(m_log[0].uMsg, WM_CREATE);
    EXPECT_EQ(m_log[1].uMsg, WM_DESTROY);
    EXPECT_FALSE(IsWindow(m_log[0].hWnd));
}

TEST_F(WindowManagerTest, UnhandledCloseDestroysWhenDeliveredAndHandledCloseDoesNot) {
    RecordingWindow &plain = Obj(), &keeping = Obj(), &posted = Obj();
    InstallQuitTimer(keeping);
    keeping.m_answers[WM_CLOSE] = 0;
    HWND hPlain = Make(plain), hKeeping = Make(keeping), hPosted = Make(posted);

    SendMessage(hPlain, WM_CLOSE);
    SendMessage(hKeeping, WM_CLOSE);
    EXPECT_FALSE(IsWindow(hPlain));
    EXPECT_TRUE(IsWindow(hKeeping));
    EXPECT_EQ(Of(WM_DESTROY), (std::vector<Delivery>{{hPlain, WM_DESTROY, 0}}));

    PostMessage(hPosted, WM_CLOSE);
    EXPECT_TRUE(IsWindow(hPosted));
    RunFor(hKeeping, 10);
    EXPECT_FALSE(IsWindow(hPosted));
}

TEST_F(WindowManagerTest, SendMessageReturnsTheHandlersResultSynchronously) {
    RecordingWindow& a = Obj();
    a.m_answers[WM_TEST] = 42;
    HWND ha = Make(a);
    EXPECT_EQ(SendMessage(ha, WM_TEST, 3), 42);
    EXPECT_EQ(Of(WM_TEST), (std::vector<Delivery>{{ha, WM_TEST, 3}}));  // before any loop ran
    EXPECT_EQ(SendMessage(ha, WM_TEST + 1), 0);                         // default processing
}

TEST_F(WindowManagerTest, QuitCodeComesBackFromTheLoop) {
    PostQuitMessage(4);
    EXPECT_EQ(RunMessageLoop(), 4) << "a quit before the loop ends it at once";
    RecordingWindow& a = Obj();
    InstallQuitTimer(a);
    HWND ha = Make(a);
    EXPECT_EQ(RunFor(ha, 1, 17), 17);
    PostMessage(ha, WM_QUIT_TEST, 3);
    EXPECT_EQ(RunMessageLoop(), 3);
}

TEST_F(WindowManagerTest, NativeWidgetIsKeptPerWindowAndGoesWithIt) {
    RecordingWindow &a = Obj(), &b = Obj();
    HWND ha = CreateWindow(&a), hb = Make(b);
    int widgetA = 0, widgetB = 0;
    EXPECT_EQ(GetNativeWidget(ha), nullptr);
    SetNativeWidget(ha, &widgetA);
    SetNativeWidget(hb, &widgetB);
    EXPECT_EQ(GetNativeWidget(ha), &widgetA);
    EXPECT_EQ(GetNativeWidget(hb), &widgetB);
    DestroyWindow(ha);
    EXPECT_EQ(GetNativeWidget(ha), nullptr);
}

}  // namespace

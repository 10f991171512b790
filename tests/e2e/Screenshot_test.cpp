// A picture of the running popup, kept as a test artifact, and what it must show: rounded corners
// through which the desktop shows, a painted frame and a painted page.
#include <iostream>

#include "NotifierFixture.h"

namespace e2e {
namespace {

TEST_F(NotifierTest, ScreenshotShowsTheRoundedFramedPopupWithItsList) {
    const auto before = m_runDir.parent_path() / (m_runDir.filename().string() + ".desktop-before.png");
    ASSERT_TRUE(XDesktop::Screenshot(before));
    Deal chinese = m_deals->Make(1);
    chinese.title = "今日好价 保温杯";
    m_deals->Add(chinese);
    m_deals->Add(m_deals->Make(2));
    StartAndWaitForList(2);

    const auto windows = XDesktop::VisibleWindowsOf(m_app->Pid());
    ASSERT_EQ(windows.size(), 1u);
    const ScreenRect w = windows.front();
    const auto shot = m_runDir / "popup.png";
    ASSERT_TRUE(XDesktop::Screenshot(shot));
    std::cout << "screenshot: " << shot.string() << "\n";

    struct Spot {
        const char* what;
        int dx, dy;
        bool desktopShows;
    };
    const Spot spots[] = {
        {"top-left corner", 0, 0, true},
        {"top-right corner", w.width - 1, 0, true},
        {"bottom-left corner", 0, w.height - 1, true},
        {"bottom-right corner", w.width - 1, w.height - 1, true},
        {"top frame", w.width / 2, 0, false},
        {"left frame", 0, w.height / 2, false},
        {"page middle", w.width / 2, w.height / 2, false},
    };
    for (const Spot& s : spots) {
        const int x = w.x + s.dx;
        const int y = w.y + s.dy;
        const std::string now = XDesktop::PixelOf(shot, x, y);
        const std::string desktop = XDesktop::PixelOf(before, x, y);
        ASSERT_FALSE(now.empty());
        if (s.desktopShows) {
            EXPECT_EQ(now, desktop) << s.what << " at " << x << "," << y << " is painted";
        } else {
            EXPECT_NE(now, desktop) << s.what << " at " << x << "," << y << " shows the desktop";
        }
    }
}

}  // namespace
}  // namespace e2e

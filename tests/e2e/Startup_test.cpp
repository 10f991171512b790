// Start-up of the real notifier: where its window goes, when it first polls, and how stored items
// reach the page.
#include <algorithm>

#include "NotifierFixture.h"

namespace e2e {
namespace {

constexpr int kWidth = 515;
constexpr int kHeight = 580;

// Titles as they show on the page, newest first, among all headings.
std::vector<std::string> ItemTitles(const std::vector<std::string>& headings,
                                    std::initializer_list<const char*> markers) {
    std::vector<std::string> titles;
    for (const auto& h : headings)
        if (std::ranges::any_of(markers, [&](const char* m) { return h.find(m) != std::string::npos; }))
            titles.push_back(h);
    return titles;
}

TEST_F(NotifierTest, WindowIs515By580AndCentredInTheWorkArea) {
    StartApp();
    const ScreenRect area = XDesktop::WorkArea();
    int x = area.x + area.width / 2 - kWidth / 2;
    int y = area.y + area.height / 2 - kHeight / 2;
    x = std::clamp(x, area.x, std::max(area.x, area.x + area.width - kWidth));
    y = std::clamp(y, area.y, std::max(area.y, area.y + area.height - kHeight));
    const ScreenRect expected{x, y, kWidth, kHeight};

    std::vector<ScreenRect> windows;
    const bool placed = WaitFor(
        [&] {
            windows = XDesktop::VisibleWindowsOf(m_app->Pid());
            return windows.size() == 1 && windows.front() == expected;
        },
        15s);
    ASSERT_TRUE(placed) << "expected one window at " << x << "," << y << "; found " << windows.size()
                        << (windows.empty() ? std::string()
                                            : " first at " + std::to_string(windows[0].x) + "," +
                                                  std::to_string(windows[0].y) + " size " +
                                                  std::to_string(windows[0].width) + "x" +
                                                  std::to_string(windows[0].height));
    // Placement happens once: the page loading afterwards must not move or resize it.
    ASSERT_TRUE(WaitForTab(0, 0, 15s));
    EXPECT_EQ(XDesktop::VisibleWindowsOf(m_app->Pid()), std::vector<ScreenRect>{expected});
    // The class names the program, as the menu entry's StartupWMClass does, whatever this copy's file is
    // called.
    EXPECT_EQ(RunCommand({"xdotool", "search", "--all", "--pid", std::to_string(m_app->Pid()), "--classname",
                          "^deals-notifier$"})
                  .exitCode,
              0);
}

// The program takes no command line, and GTK's own options do not act either: an unknown display
// would otherwise end the start-up.
TEST_F(NotifierTest, CommandLineChangesNothing) {
    StartApp({"--display=:12345", "--gtk-module=no-such-module", "--name=other", "stray"});
    EXPECT_TRUE(WaitForTab(0, 0, 15s)) << m_app->LogTail();
    EXPECT_TRUE(m_app->IsRunning());
}

TEST_F(NotifierTest, FirstPollComesAboutFiveSecondsAfterStartAndItsItemsReachStoreAndPage) {
    Deal chinese = m_deals->Make(1);
    chinese.title = "限时特价 电饭煲 Deal 1";
    m_deals->Add(chinese);
    m_deals->Add(m_deals->Make(2));
    m_deals->Add(m_deals->Make(3));
    StartApp();

    ASSERT_TRUE(m_server->WaitForFeedHits(1, 20s)) << "the notifier never asked for the feed";
    const double firstPoll =
        std::chrono::duration<double>(m_server->FeedHits().front() - m_app->StartedAt()).count();
    RecordProperty("seconds_to_first_poll", std::to_string(firstPoll));
    EXPECT_GE(firstPoll, 4.5) << "polled before the start-up delay";
    EXPECT_LE(firstPoll, 10.0) << "first poll far later than the start-up delay";

    ASSERT_TRUE(WaitForRows(3, 10s)) << "rows stored: " << Rows().size();
    const std::vector<RcdRow> rows = Rows();
    // The feed lists newest first and the oldest is stored first.
    const Deal expected[] = {chinese, m_deals->Make(2), m_deals->Make(3)};
    for (std::size_t i = 0; i < 3; ++i) {
        SCOPED_TRACE("row " + std::to_string(i + 1));
        EXPECT_EQ(rows[i].id, static_cast<int64_t>(i + 1));
        EXPECT_EQ(rows[i].msg_title, ToGbk(expected[i].title));
        EXPECT_EQ(rows[i].msg_date, expected[i].pubDate);
        EXPECT_EQ(rows[i].msg_url, expected[i].link);
        EXPECT_EQ(rows[i].msg_picurl, expected[i].pictureUrl);
        EXPECT_EQ(rows[i].msg_buyurl, expected[i].buyUrl);
        EXPECT_NE(rows[i].msg_top, "1");
    }

    ASSERT_TRUE(WaitForTab(3, 3, 10s));
    const auto titles = ItemTitles(Headings(), {"Deal "});
    ASSERT_EQ(titles.size(), 3u);
    // Newest first, each marked new, the GBK title readable on a UTF-8 desktop.
    EXPECT_NE(titles[0].find("Deal 3"), std::string::npos) << titles[0];
    EXPECT_NE(titles[1].find("Deal 2"), std::string::npos) << titles[1];
    EXPECT_NE(titles[2].find("限时特价 电饭煲 Deal 1"), std::string::npos) << titles[2];
    for (const auto& t : titles) {
        EXPECT_NE(t.find("新!"), std::string::npos) << t;
    }
}

TEST_F(NotifierTest, ItemAddedToTheFeedShowsWithinAPollAndASecond) {
    ServeItems(2);
    StartAndWaitForList(2);

    const Deal fresh = m_deals->Make(3, "Fresh");
    m_deals->Add(fresh);
    const auto added = std::chrono::steady_clock::now();
    const auto shown = m_probe->ByRole("heading", std::nullopt, 15s, fresh.title);
    const auto visibleAt = std::chrono::steady_clock::now();
    ASSERT_FALSE(shown.empty()) << "the new item never showed";

    const double sinceAdd = std::chrono::duration<double>(visibleAt - added).count();
    RecordProperty("seconds_from_feed_to_screen", std::to_string(sinceAdd));
    EXPECT_LE(sinceAdd, 5.0 + 1.0 + 2.5) << "poll pause plus one refresh, with room for a loaded machine";
    // Measured from the poll that carried it, the first one after it was added, only the refresh remains.
    for (const auto hit : m_server->FeedHits()) {
        if (hit >= added) {
            EXPECT_LE(std::chrono::duration<double>(visibleAt - hit).count(), 1.0 + 2.0);
            break;
        }
    }
    const auto titles = ItemTitles(Headings(), {"Deal ", "Fresh "});
    ASSERT_EQ(titles.size(), 3u);
    EXPECT_NE(titles[0].find(fresh.title), std::string::npos) << "the newest item leads the list";
    EXPECT_TRUE(WaitForTab(3, 3, 5s));
    EXPECT_EQ(Rows().size(), 3u);
}

}  // namespace
}  // namespace e2e

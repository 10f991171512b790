// Presses on the page of the real notifier and what they do to the store, the page and the desktop.
#include <algorithm>
#include <thread>

#include "NotifierFixture.h"

namespace e2e {
namespace {

bool AllRead(const std::vector<RcdRow>& rows) {
    return !rows.empty() &&
           std::all_of(rows.begin(), rows.end(), [](const RcdRow& r) { return r.msg_top == "1"; });
}

TEST_F(NotifierTest, MarkAllReadMarksEveryRowAndTheTabCountsNoneUnread) {
    ServeItems(4);
    StartAndWaitForList(4);

    ASSERT_TRUE(ClickId("all_notify_setread"));
    EXPECT_TRUE(WaitFor([&] { return AllRead(Rows()); }, 5s)) << "rows not all marked read";
    EXPECT_TRUE(WaitForTab(0, 4, 5s));
    const auto headings = Headings();
    EXPECT_TRUE(std::none_of(headings.begin(), headings.end(), [](const std::string& h) {
        return h.find("新!") != std::string::npos;
    })) << "a read item still carries the new badge";

    // Polls of the same feed leave the marks alone.
    const std::size_t hits = m_server->FeedHits().size();
    ASSERT_TRUE(m_server->WaitForFeedHits(hits + 1, 10s));
    const auto rows = Rows();
    EXPECT_EQ(rows.size(), 4u);
    EXPECT_TRUE(AllRead(rows));
}

TEST_F(NotifierTest, RemoveAllEmptiesItemsAndTheNextItemIsNumberedOne) {
    ServeItems(3);
    StartAndWaitForList(3);
    // Otherwise the next poll stores the same items again, as it should.
    m_deals->Clear();

    ASSERT_TRUE(ClickId("all_notify_remove"));
    EXPECT_TRUE(WaitFor([&] { return ReadRcd() && Rows().empty(); }, 5s)) << Rows().size() << " rows left";
    EXPECT_EQ(RawDb(m_app->RcdPath()).Scalar("select seq from sqlite_sequence where name='items'"), "0");
    EXPECT_TRUE(WaitForTab(0, 0, 5s));

    const Deal next = m_deals->Make(40, "After");
    m_deals->Add(next);
    ASSERT_TRUE(WaitForRows(1, 12s));
    EXPECT_EQ(Rows().front().id, 1);
    EXPECT_EQ(Rows().front().msg_url, next.link);
    // The click was browser activity: refreshes wait until 10 s after it.
    EXPECT_TRUE(WaitForTab(1, 1, 15s));
}

struct DetailLinkCase {
    const char* label;
    const char* scheme;  // of a link to the feed server; nullptr: file:///etc/hostname
    bool handedToDesktop;
};

void PrintTo(const DetailLinkCase& c, std::ostream* os) { *os << c.label; }

class DetailLinkTest : public NotifierTest, public ::testing::WithParamInterface<DetailLinkCase> {};

// The detail button of the newest item: that item (and only it) is marked read; only http and
// https links go to the desktop's browser, each exactly once.
TEST_P(DetailLinkTest, DetailButtonMarksItsItemReadAndOnlyWebLinksReachTheDesktop) {
    ServeItems(2);
    Deal target = m_deals->Make(3, "Target");
    target.link = GetParam().scheme ? std::string(GetParam().scheme) +
                                          "://127.0.0.1:" + std::to_string(m_server->Port()) + "/deal/77"
                                    : "file:///etc/hostname";
    m_deals->Add(target);
    StartAndWaitForList(3);

    const auto buttons = m_probe->ByRole("push button", "详情页面", 5s);
    ASSERT_EQ(buttons.size(), 3u);
    XDesktop::Click(buttons.front().CentreX(), buttons.front().CentreY());

    EXPECT_TRUE(WaitFor([&] { return RowWithUrl(target.link).value_or(RcdRow{}).msg_top == "1"; }, 5s))
        << "the clicked item was not marked read";
    for (const auto& row : Rows()) {
        if (row.msg_url != target.link) {
            EXPECT_NE(row.msg_top, "1") << row.msg_url << " was marked read too";
        }
    }

    if (GetParam().handedToDesktop) {
        EXPECT_TRUE(WaitFor([&] { return !m_app->OpenedUrls().empty(); }, 5s))
            << "nothing reached the desktop";
        // The handler may be slow to start; give a duplicate the chance to show.
        std::this_thread::sleep_for(1500ms);
        EXPECT_EQ(m_app->OpenedUrls(), std::vector<std::string>{target.link});
    } else {
        std::this_thread::sleep_for(2500ms);
        EXPECT_EQ(m_app->OpenedUrls(), std::vector<std::string>{}) << "a non-web link left the popup";
    }
    EXPECT_TRUE(m_app->IsRunning());
}

INSTANTIATE_TEST_SUITE_P(Schemes, DetailLinkTest,
                         ::testing::Values(DetailLinkCase{"http", "http", true},
                                           DetailLinkCase{"https", "https", true},
                                           DetailLinkCase{"ftp", "ftp", false},
                                           DetailLinkCase{"file", nullptr, false}),
                         [](const auto& row) { return std::string(row.param.label); });

}  // namespace
}  // namespace e2e

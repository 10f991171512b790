// The user's settings file as the real notifier reads it at start-up: the feed it polls, the home link
// its page opens, and the one stderr line for a value or file it cannot take.
#include <algorithm>
#include <sstream>

#include "NotifierFixture.h"
#include "res/PopupPage.h"
#include "tools/harness/TempDir.h"

namespace e2e {
namespace {

namespace fs = std::filesystem;

struct SettingsCase {
    const char* name;
    const char* file;       // nullptr: no file; "@FEED@" stands for the second feed server's URL
    bool polled;            // the file's feed is polled, not the built-in one
    const char* home;       // the link the home link opens; nullptr: the built-in one
    const char* complaint;  // in the stderr line, after the file's path; nullptr: no line
};
void PrintTo(const SettingsCase& c, std::ostream* os) { *os << c.name; }

class SettingsTest : public NotifierTest, public ::testing::WithParamInterface<SettingsCase> {};

std::vector<std::string> LinesNaming(const std::string& text, const std::string& part) {
    std::vector<std::string> found;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);)
        if (line.find(part) != std::string::npos) found.push_back(line);
    return found;
}

TEST_P(SettingsTest, ChooseTheFeedAndHomeLinkAndReportWhatTheyRefuse) {
    const SettingsCase& row = GetParam();
    FeedServer fileFeed;
    m_app = std::make_unique<AppProcess>(NOTIFIER_E2E_EXE, m_runDir);
    const fs::path folder = m_runDir / "xdg-config/deals-notifier";
    const fs::path path = folder / "settings.ini";
    if (row.file != nullptr) {
        std::string text = row.file;
        if (const auto at = text.find("@FEED@"); at != std::string::npos) text.replace(at, 6, fileFeed.Url());
        fs::create_directories(folder);
        WriteFile(path, text);
    }
    m_app->SetDebugLog(false);
    m_app->Start();
    m_probe.emplace(NOTIFIER_ATSPI_FIND, m_app->Pid());

    const auto links = m_probe->ByRole("link", "网站首页", 15s);
    ASSERT_EQ(links.size(), 1u);
    XDesktop::Click(links.front().CentreX(), links.front().CentreY());
    EXPECT_TRUE(WaitFor([&] { return !m_app->OpenedUrls().empty(); }, 5s)) << "the home link opened nothing";
    EXPECT_EQ(m_app->OpenedUrls(), std::vector<std::string>{row.home ? row.home : BuildHomeUrl()});

    FeedServer& polled = row.polled ? fileFeed : *m_server;
    EXPECT_TRUE(polled.WaitForFeedHits(1, 10s)) << "the chosen feed was not polled";
    EXPECT_TRUE((row.polled ? *m_server : fileFeed).FeedHits().empty()) << "the other feed was polled";

    const std::vector<std::string> lines = LinesNaming(m_app->LogTail(100000), "settings.ini");
    if (row.complaint == nullptr) {
        EXPECT_EQ(lines, std::vector<std::string>{});
    } else {
        ASSERT_EQ(lines.size(), 1u) << m_app->LogTail();
        EXPECT_TRUE(lines.front().starts_with("deals-notifier: " + path.string() + ": ")) << lines.front();
        EXPECT_NE(lines.front().find(row.complaint), std::string::npos) << lines.front();
    }
    // The program only reads its settings.
    const auto written = fs::exists(folder) ? std::distance(fs::directory_iterator(folder), {}) : 0;
    EXPECT_EQ(written, row.file ? 1 : 0);
}

constexpr const char* kHomeEscaped = "[page]\nhome=http://deals.test/?q=&lt;&b='2'\n";

INSTANTIATE_TEST_SUITE_P(
    Files, SettingsTest,
    ::testing::Values(
        SettingsCase{"NoFile", nullptr, false, nullptr, nullptr},
        SettingsCase{"FeedOnly", "[feed]\nurl=@FEED@\n", true, nullptr, nullptr},
        // An unescaped "&lt;" would reach the page as '<' and open "?q=%3C...".
        SettingsCase{"HomeOnly", kHomeEscaped, false, "http://deals.test/?q=&lt;&b=%272%27", nullptr},
        SettingsCase{"Both", "[feed]\nurl=@FEED@\n[page]\nhome=https://deals.test/both\n", true,
                     "https://deals.test/both", nullptr},
        SettingsCase{"Unparsable", "[feed\nurl=@FEED@\n", false, nullptr, "cannot be read: "},
        SettingsCase{"OtherScheme", "[feed]\nurl=ftp://127.0.0.1/\n[page]\nhome=https://deals.test/ok\n",
                     false, "https://deals.test/ok",
                     "[feed] url is not an http or https URL with a host; the built-in default is used"},
        SettingsCase{"Space", "[feed]\nurl=@FEED@\n[page]\nhome=http://deals.test/a b\n", true, nullptr,
                     "[page] home holds a character a URL must percent-encode (0x20); the built-in default "
                     "is used"},
        SettingsCase{"Quote", "[page]\nhome=http://deals.test/\"><b>x</b>\n", false, nullptr,
                     "[page] home holds a character a URL must percent-encode ('\"'); the built-in default "
                     "is used"},
        SettingsCase{"LessThan", "[page]\nhome=http://deals.test/<script>\n", false, nullptr,
                     "[page] home holds a character a URL must percent-encode ('<'); the built-in default is "
                     "used"},
        SettingsCase{"Empty", "[feed]\nurl=@FEED@\n[page]\nhome=\n", true, nullptr,
                     "[page] home is empty; the built-in default is used"}),
    [](const auto& row) { return std::string(row.param.name); });

}  // namespace
}  // namespace e2e

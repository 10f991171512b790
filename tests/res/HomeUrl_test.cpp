// The checks of a link, by the configure step and by the program, and its escape into the page's
// attribute value: both checks give the same verdict.
#include <string>

#include <gtest/gtest.h>

#include "platform/WebUrl.h"
#include "tools/harness/Command.h"

namespace {

struct HomeUrlCase {
    const char* name;
    const char* url;
    const char* attribute;  // nullptr: refused
};
void PrintTo(const HomeUrlCase& c, std::ostream* os) { *os << c.url; }

class HomeUrl : public testing::TestWithParam<HomeUrlCase> {};

TEST_P(HomeUrl, IsCheckedAndEscaped) {
    // The script reports with message(), to the error output.
    const harness::CommandResult run = harness::RunCommand(
        {CMAKE_COMMAND_PATH, std::string("-DNOTIFIER_HOME_URL=") + GetParam().url, "-P", HOME_URL_SCRIPT});
    const bool refused = GetParam().attribute == nullptr;
    EXPECT_EQ(run.exitCode == 0, !refused) << run.err;
    EXPECT_EQ(platform::WebUrlProblem(GetParam().url).has_value(), refused);
    if (!refused) {
        EXPECT_EQ(platform::WebUrlAttribute(GetParam().url), GetParam().attribute);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Urls, HomeUrl,
    testing::Values(HomeUrlCase{"SampleServer", "http://127.0.0.1:8088/home", "http://127.0.0.1:8088/home"},
                    HomeUrlCase{"QueryWithAmpersandAndApostrophe", "HTTPS://deals.test/?a=1&b='2'",
                                "HTTPS://deals.test/?a=1&amp;b=&#39;2&#39;"},
                    HomeUrlCase{"ChineseText", "https://商城.test/首页", "https://商城.test/首页"},
                    HomeUrlCase{"Semicolons", "http://deals.test/;a;b", "http://deals.test/;a;b"},
                    HomeUrlCase{"OtherScheme", "ftp://deals.test/", nullptr},
                    HomeUrlCase{"Script", "javascript:alert(1)", nullptr},
                    HomeUrlCase{"NoHost", "http:///home", nullptr}, HomeUrlCase{"Empty", "", nullptr},
                    HomeUrlCase{"Space", "http://deals.test/a b", nullptr},
                    HomeUrlCase{"Markup", "http://deals.test/\"><script>alert(1)</script>", nullptr},
                    HomeUrlCase{"Backslash", "http://deals.test\\@evil.test/", nullptr},
                    HomeUrlCase{"LineBreak", "http://deals.test/\nx", nullptr}),
    [](const auto& row) { return std::string(row.param.name); });

}  // namespace

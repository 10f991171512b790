#include "popup/PageText.h"

#include <ostream>

#include <gtest/gtest.h>

namespace {

// "特价" in GBK: the code points U+7279 and U+4EF7.
const std::string kGbkTitle = "\xCC\xD8\xBC\xDB";
const std::string kUtf8Title = "\xE7\x89\xB9\xE4\xBB\xB7";
const std::string kReplacement = "\xEF\xBF\xBD";

struct ConvertCase {
    const char* name;
    std::string input;
    std::string charset;
    std::string expected;
};
void PrintTo(const ConvertCase& c, std::ostream* os) { *os << c.name; }

class ToUtf8 : public testing::TestWithParam<ConvertCase> {};

TEST_P(ToUtf8, Converts) {
    const ConvertCase& c = GetParam();
    EXPECT_EQ(PageText::ToUtf8(c.input, c.charset), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ToUtf8,
    testing::Values(ConvertCase{"GbkTitle", "[" + kGbkTitle + "] 50%", "GBK", "[" + kUtf8Title + "] 50%"},
                    ConvertCase{"GbkAscii", "plain", "GBK", "plain"},
                    ConvertCase{"GbkBrokenByteGoesOn",
                                "\xCC\xD8\xFF"
                                "ab",
                                "GBK", "\xE7\x89\xB9" + kReplacement + "ab"},
                    ConvertCase{"GbkCutAtEnd", "ab\xCC", "GBK", "ab" + kReplacement},
                    ConvertCase{"Latin1Locale", "caf\xE9", "ISO-8859-1", "caf\xC3\xA9"},
                    ConvertCase{"Utf8Kept", kUtf8Title, "UTF-8", kUtf8Title},
                    ConvertCase{"Utf8Repaired", "a\xC3(b\xE7\x89", "UTF-8",
                                "a" + kReplacement + "(b" + kReplacement + kReplacement},
                    ConvertCase{"UnknownCharsetAsUtf8", "ok\xFF", "NO-SUCH-CHARSET", "ok" + kReplacement},
                    ConvertCase{"Empty", "", "GBK", ""}),
    [](const testing::TestParamInfo<ConvertCase>& p) { return std::string(p.param.name); });

TEST(PageText, ConvertsEachFieldFromItsOwnEncoding) {
    FeedItem stored;
    stored.msg_title = kGbkTitle;
    stored.msg_picurl = "http://h/caf\xE9.png";  // locale codeset Latin-1 here
    stored.msg_buyurl = "http://h/\xE9";
    stored.msg_url = "http://h/\xFF";  // the feed's bytes, broken
    stored.msg_date = "Mon, 07 Dec 2026";
    stored.msg_top = "1";
    stored.msg_id = "7";
    const FeedItem page = PageText::ForPage(stored, "ISO-8859-1");
    EXPECT_EQ(page.msg_title, kUtf8Title);
    EXPECT_EQ(page.msg_picurl, "http://h/caf\xC3\xA9.png");
    EXPECT_EQ(page.msg_buyurl, "http://h/\xC3\xA9");
    EXPECT_EQ(page.msg_url, "http://h/" + kReplacement);
    EXPECT_EQ(page.msg_date, stored.msg_date);
    EXPECT_EQ(page.msg_top, "1");
    EXPECT_EQ(page.msg_id, "7");
}

TEST(PageText, LinksInAUtf8LocaleStayAsTheyAre) {
    FeedItem stored;
    stored.msg_picurl = "http://h/" + kUtf8Title;
    stored.msg_title = kGbkTitle;
    const FeedItem page = PageText::ForPage(stored, "UTF-8");
    EXPECT_EQ(page.msg_picurl, stored.msg_picurl);
    EXPECT_EQ(page.msg_title, kUtf8Title);
}

}  // namespace

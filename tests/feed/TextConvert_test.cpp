#include "feed/TextConvert.h"

#include <string>

#include <gtest/gtest.h>

#include "platform/AnsiCodePage.h"
#include "tests/support/CaseName.h"
#include "tests/support/ScopedThreadLocale.h"

namespace {

using namespace std::string_literals;

struct CharsetCase {
    const char* name;
    std::string utf8;
    std::string gbk;
};

// GBK bytes written out by hand: 你好 C4E3 BAC3, 世界 CAC0 BDE7.
const CharsetCase kToGbk[] = {
    {"Empty", "", ""},
    {"Ascii", "Deal: 50% off, free shipping!", "Deal: 50% off, free shipping!"},
    {"Chinese", "你好世界", "\xC4\xE3\xBA\xC3\xCA\xC0\xBD\xE7"},
    {"ThirdCharacterHasNoGbkForm", "你好\xF0\x9F\x98\x80世界", "\xC4\xE3\xBA\xC3?\xCA\xC0\xBD\xE7"},
    {"EndsInsideMultiByteSequence", "ab\xE4\xB8", "ab?"},
    {"InvalidByteInTheMiddle",
     "a\xFF"
     "b你",
     "a?b\xC4\xE3"},
    {"StrayContinuationBytes", "x\x80\x80y", "x??y"},
    {"ReadUpToFirstZeroByte", "ab\0cd"s, "ab"},
};

class ConvertToGbk : public ::testing::TestWithParam<CharsetCase> {};

TEST_P(ConvertToGbk, ReplacesWhatGbkCannotHoldAndKeepsTheRest) {
    EXPECT_EQ(ConvertCharset(GetParam().utf8, "GBK", "UTF-8"), GetParam().gbk);
}

INSTANTIATE_TEST_SUITE_P(Titles, ConvertToGbk, ::testing::ValuesIn(kToGbk), test_support::CaseName());

TEST(ConvertCharset, RoundTripsRepresentableTextAndLongInput) {
    std::string text;
    for (int i = 0; i < 5000; ++i) text += "特价包邮 item " + std::to_string(i) + " ";
    std::string gbk = ConvertCharset(text, "GBK", "UTF-8");
    EXPECT_NE(gbk, text);
    EXPECT_EQ(ConvertCharset(gbk, "UTF-8", "GBK"), text);
}

TEST(ConvertCharset, UnknownCharsetGivesEmptyText) {
    EXPECT_EQ(ConvertCharset("abc", "NO-SUCH-CHARSET", "UTF-8"), "");
}

TEST(Utf8ToWide, DecodesSurrogatePairsAndReplacesInvalidInput) {
    EXPECT_EQ(Utf8ToWide(""), u"");
    EXPECT_EQ(Utf8ToWide("a你\xF0\x9F\x98\x80z"), u"a你\U0001F600z");
    EXPECT_EQ(Utf8ToWide("a\xC3"), u"a?");
    EXPECT_EQ(Utf8ToWide("a\xFFz"), u"a?z");
    EXPECT_EQ(Utf8ToWide("ab\0cd"s), u"ab");
}

struct AnsiCase {
    const char* name;
    std::string utf8;
    std::string underUtf8Locale;
    std::string underCLocale;
};

const AnsiCase kToAnsi[] = {
    {"Empty", "", "", ""},
    {"Ascii", "<img src=\"http://host/a.jpg\">", "<img src=\"http://host/a.jpg\">",
     "<img src=\"http://host/a.jpg\">"},
    {"Chinese", "价格 ok", "价格 ok", "?? ok"},
    {"EmojiIsOneCharacter", "a\xF0\x9F\x98\x80z", "a\xF0\x9F\x98\x80z", "a?z"},
    {"InvalidUtf8", "a\xFFz", "a?z", "a?z"},
};

class Utf8ToAnsiUnderLocale : public ::testing::TestWithParam<AnsiCase> {};

TEST_P(Utf8ToAnsiUnderLocale, Utf8Locale) {
    test_support::ScopedThreadLocale locale("C.UTF-8");
    ASSERT_EQ(platform::AnsiCodeset(), "UTF-8");
    EXPECT_EQ(Utf8ToAnsi(GetParam().utf8), GetParam().underUtf8Locale);
}

TEST_P(Utf8ToAnsiUnderLocale, CLocale) {
    test_support::ScopedThreadLocale locale("C");
    ASSERT_EQ(platform::AnsiCodeset(), "ANSI_X3.4-1968");
    EXPECT_EQ(Utf8ToAnsi(GetParam().utf8), GetParam().underCLocale);
}

INSTANTIATE_TEST_SUITE_P(Content, Utf8ToAnsiUnderLocale, ::testing::ValuesIn(kToAnsi),
                         test_support::CaseName());

TEST(WideToAnsi, LoneSurrogateAndZeroUnit) {
    test_support::ScopedThreadLocale locale("C.UTF-8");
    EXPECT_EQ(WideToAnsi(u"a\xD800z"), "a?z");
    EXPECT_EQ(WideToAnsi(u"ab\0cd"s), "ab");
    EXPECT_EQ(WideToAnsi(u"\U0001F600"), "\xF0\x9F\x98\x80");
}

}  // namespace

#include "platform/Unicode.h"

#include <string>

#include <gtest/gtest.h>

namespace {

using namespace std::string_literals;

TEST(ValidUtf8, KeepsZeroBytesOfValidText) { EXPECT_EQ(platform::ValidUtf8("a\0b"s), "a\0b"s); }

// A link that is not UTF-16 must not turn into some other link.
TEST(Utf16ToUtf8, RefusesLoneSurrogatesAndStopsAtZero) {
    EXPECT_EQ(platform::Utf16ToUtf8(u"a\U0001F600"), "a\xF0\x9F\x98\x80");
    EXPECT_EQ(platform::Utf16ToUtf8(u"a\xD800z"), std::nullopt);
    EXPECT_EQ(platform::Utf16ToUtf8(u"ab\0cd"s), "ab");
}

}  // namespace

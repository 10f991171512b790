#include "platform/ScriptLiteral.h"

#include <string>

#include <gtest/gtest.h>

namespace {

// What a value reaches the page through is pinned end to end by the AddAllItem and batch tests; these
// rows pin the escaper's exact text.
struct LiteralCase {
    const char* name;
    std::string value;
    std::string literal;
};

const LiteralCase kLiterals[] = {
    {"SlashAlone", "a/b", "\"a/b\""},
    {"ScriptClose", "a</b", "\"a<\\/b\""},
    {"LineSeparator", "\xE2\x80\xA8", "\"\\u2028\""},
    {"EllipsisIsPlainText", "\xE2\x80\xA6", "\"\xE2\x80\xA6\""},
    {"ZeroAndDelete", std::string("a\0\x7f", 3), "\"a\\u0000\\u007f\""},
    {"EachBadByteReplaced", "a\xFF\xE2\x80", "\"a\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\""},
};

TEST(ScriptLiteral, EscapesOnlyWhatMustBeEscaped) {
    for (const LiteralCase& c : kLiterals) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(platform::ScriptLiteral(c.value), c.literal);
    }
}

}  // namespace

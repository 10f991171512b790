#include "feed/MarkupGuard.h"

#include <string>

#include <gtest/gtest.h>

#include "tests/support/CaseName.h"
#include "tests/support/Rss.h"

namespace {

std::string Repeat(const std::string& part, size_t times) {
    std::string out;
    for (size_t i = 0; i < times; ++i) out += part;
    return out;
}

struct GuardCase {
    const char* name;
    std::string text;
    size_t safeLength;
};

const MarkupGuard::Limits kSmall{4, 3};
const std::string kDeep = Repeat("<a>", 6);

const GuardCase kGuard[] = {
    {"FlatDocumentWhole", "<r><a>x</a><a>y</a><b/></r>", 27},
    {"CutBeforeTheFifthLevel", kDeep, 4 * 3},
    {"ClosedLevelsDoNotCount", Repeat("<a></a>", 50) + "<b>", 50 * 7 + 3},
    {"SelfClosingDoesNotNest", "<r>" + Repeat("<br/>", 50), 3 + 50 * 5},
    {"QuotedGreaterThanAndSlash", Repeat("<a x=\"/>\" y='>'>", 5), 4 * 16},
    {"MarkupInsideCdataIsText", "<r><![CDATA[" + kDeep + "]]></r>", 3 + 9 + 18 + 7},
    {"MarkupInsideCommentIsText", "<r><!--" + kDeep + "--></r>", 3 + 4 + 18 + 7},
    {"EndTagInsideAttributeDoesNotClose", Repeat("<a t=\"</a>\">", 5), 4 * 12},
    {"HighBytesStartElements", Repeat("<\xE4\xBD\xA0>", 5), 4 * 5},
    {"LessThanWithoutNameIsNotNesting", "<r>" + Repeat("< a>", 10), 3 + 40},
    {"TooManyAttributes", "<r><x a=\"1\" b=\"2\" c=\"3\" d=\"4\"/></r>", 3},
    {"DeclarationWithQuotesInsideElement", "<r><?xml version=\"></r>\"?>" + kDeep, 3},
    {"DeclarationAtTopIsFine", "<?xml version=\"1.0\"?><r></r>", 28},
    {"StopsAtZeroByte", std::string("<r>ab\0<c>", 9), 5},
    {"MismatchedEndTagEndsTheScan", "<r></x>" + kDeep, 7 + 18},
};

class Guard : public ::testing::TestWithParam<GuardCase> {};

TEST_P(Guard, SafeLength) {
    EXPECT_EQ(MarkupGuard(kSmall).SafeLength(GetParam().text), GetParam().safeLength);
}

INSTANTIATE_TEST_SUITE_P(Texts, Guard, ::testing::ValuesIn(kGuard), test_support::CaseName());

TEST(Guard, DefaultLimitsKeepOrdinaryFeedsWhole) {
    std::string feed = test_support::Rss(
        std::vector<test_support::RssItem>{{"d1", "t", "http://l/", "<p><img src=\"http://i/\"><br/></p>"}});
    EXPECT_EQ(MarkupGuard().SafeLength(feed), feed.size());
    std::string deep = Repeat("<a>", 300);
    EXPECT_EQ(MarkupGuard().SafeLength(deep), 256u * 3);
}

}  // namespace

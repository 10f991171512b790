#include "feed/MarkupGuard.h"

#include <iterator>
#include <random>
#include <string>

#include <gtest/gtest.h>
#include <tinyxml.h>

#include "tests/support/CaseName.h"
#include "tools/harness/Rss.h"

namespace {

std::string Repeat(const std::string& part, size_t times) {
    std::string out;
    for (size_t i = 0; i < times; ++i) out += part;
    return out;
}

struct GuardCase {
    const char* name;
    std::string text;
    size_t length;     // what may be parsed
    size_t openAtEnd;  // elements whose end the parse of that never reaches
};

const MarkupGuard::Limits kSmall{4, 3};
const std::string kDeep = Repeat("<a>", 6);
const std::string kUtf8 = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>";

// `before` and then kDeep inside one open element: cut before the fourth <a>.
GuardCase DeepAfter(const char* name, const std::string& before, const std::string& after = "") {
    return {name, before + kDeep + after, before.size() + 3 * 3, 4};
}

const GuardCase kGuard[] = {
    {"FlatDocumentWhole", "<r><a>x</a><a>y</a><b/></r>", 27, 0},
    {"CutBeforeTheFifthLevel", kDeep, 4 * 3, 4},
    {"ClosedLevelsDoNotCount", Repeat("<a></a>", 50) + "<b>", 50 * 7 + 3, 1},
    {"SelfClosingDoesNotNest", "<r>" + Repeat("<br/>", 50), 3 + 50 * 5, 1},
    {"QuotedGreaterThanAndSlash", Repeat("<a x=\"/>\" y='>'>", 5), 4 * 16, 4},
    {"MarkupInsideCdataIsText", "<r><![CDATA[" + kDeep + "]]></r>", 3 + 9 + 18 + 7, 0},
    {"MarkupInsideCommentIsText", "<r><!--" + kDeep + "--></r>", 3 + 4 + 18 + 7, 0},
    {"EndTagInsideAttributeDoesNotClose", Repeat("<a t=\"</a>\">", 5), 4 * 12, 4},
    {"HighBytesStartElements", Repeat("<\xE4\xBD\xA0>", 5), 4 * 5, 4},
    {"LessThanWithoutNameIsNotNesting", "<r>" + Repeat("< a>", 10), 3 + 40, 1},
    {"TooManyAttributes", "<r><x a=\"1\" b=\"2\" c=\"3\" d=\"4\"/></r>", 3, 1},
    {"StopsAtZeroByte", std::string("<r>ab\0<c>", 9), 5, 1},
    {"MismatchedEndTagEndsTheParse", "<r></x>" + kDeep, 3, 1},
    {"RepeatedAttributeEndsTheParse", "<r><x a='1' a='2'>" + kDeep, 12, 2},
    {"EndTagMayHaveSpaceBeforeItsEnd", "<r><a></a ></r>", 15, 0},
    // Processing instructions: only an "<?xml" one (any case) reads quoted values, and only those of
    // version, encoding and standalone; everything else ends at its first '>'.
    {"StylesheetInsideAnElementIsWhole", "<r><?xml-stylesheet type=\"text/css\" href=\"s.css\"?><a>x</a></r>",
     62, 0},
    {"DeclarationAtTopIsFine", "<?xml version=\"1.0\"?><r></r>", 28, 0},
    {"EncodingValueMayHoldGreaterThan", "<?xml encoding='>'?><r></r>", 27, 0},
    DeepAfter("NestingInsideAVersionValueIsNoNesting", "<r><?xml version=\"></r>\"?>"),
    {"UpperCaseDeclarationReadsQuotedValues", "<r><?XML VERSION=\"" + kDeep + "\"?></r>", 43, 0},
    // Hostile: nesting that would be hidden if quotes counted where the parser does not read them.
    DeepAfter("NestingAfterAStylesheetHrefCounts", "<r><?xml-stylesheet href=\"<a>", "\"?></r>"),
    DeepAfter("NestingAfterOtherInstructionsCounts", "<r><?pi a=\">", "\"?></r>"),
    // Once the text reads as UTF-8, a lead byte takes the bytes of its sequence with it, quote or '<'
    // included; a character reference runs to the next ';'. Nesting hidden that way still counts.
    DeepAfter("LeadByteTakesTheClosingQuote", kUtf8 + "<r a=\"\xC3\"><b c='\">", "'/></r>"),
    DeepAfter("LeadByteTakesTheLessThan", kUtf8 + "<r>\xC3<b c='", "'/></r>"),
    DeepAfter("ByteOrderMarkBeforeANameIsSkipped", kUtf8 + "<\xEF\xBB\xBFx></x><r>"),
    DeepAfter("ReferenceRunsOverMarkup", "<r>&#x<b c='x41;", "'/></r>"),
    // A reference inside a declaration value whose check stepped over its '&' within a character.
    DeepAfter("BrokenReferenceInTheDeclarationValue", "\xEF\xBB\xBF<?xml version=\"\xE4&#x\"?><r>"),
    DeepAfter("UndeclaredTextReadsByBytes", "<r a=\"\xC3\">"),
    DeepAfter("LegacyTextReadsByBytes", "<?xml version=\"1.0\" encoding=\"GBK\"?><r a=\"\xC3\">"),
};

class Guard : public ::testing::TestWithParam<GuardCase> {};

TEST_P(Guard, Reads) {
    const MarkupGuard::Reading reading = MarkupGuard(kSmall).Read(GetParam().text);
    EXPECT_EQ(reading.length, GetParam().length);
    EXPECT_EQ(reading.openAtEnd, GetParam().openAtEnd);
}

INSTANTIATE_TEST_SUITE_P(Texts, Guard, ::testing::ValuesIn(kGuard), test_support::CaseName());

TEST(Guard, DefaultLimitsKeepOrdinaryFeedsWhole) {
    std::string feed = harness::Rss(
        std::vector<harness::RssItem>{{"d1", "t", "http://l/", "<p><img src=\"http://i/\"><br/></p>"}});
    EXPECT_EQ(MarkupGuard().SafeLength(feed), feed.size());
    std::string deep = Repeat("<a>", 300);
    EXPECT_EQ(MarkupGuard().SafeLength(deep), 256u * 3);
}

// What the parser built: whether it gave up, the deepest element and the most attributes on one.
struct Parsed {
    bool error = false;
    size_t depth = 0;
    size_t attributes = 0;
};

void Measure(const TiXmlNode& node, size_t depth, Parsed& parsed) {
    for (const TiXmlNode* child = node.FirstChild(); child; child = child->NextSibling()) {
        if (const TiXmlElement* element = child->ToElement()) {
            parsed.depth = std::max(parsed.depth, depth + 1);
            size_t attributes = 0;
            for (const TiXmlAttribute* a = element->FirstAttribute(); a; a = a->Next()) ++attributes;
            parsed.attributes = std::max(parsed.attributes, attributes);
            Measure(*child, depth + 1, parsed);
        }
    }
}

Parsed Parse(std::string text) {
    text.append(8, '\0');  // as the feed parser does: a sequence cut short stops at the end
    TiXmlDocument document;
    document.Parse(text.c_str(), nullptr, TIXML_ENCODING_UNKNOWN);
    Parsed parsed;
    parsed.error = document.Error();
    Measure(document, 0, parsed);
    return parsed;
}

// Random markup from the pieces where a reading could part from the parser's: quotes, lead bytes,
// references, declarations and the rest. Whatever the guard lets through stays within the limits, and
// what the parser reads whole within them is never cut.
TEST(Guard, AgreesWithTheParserOnRandomMarkup) {
    // clang-format off
    const char* const pieces[] = {
        "<a>", "</a>", "<b>", "</b>", "<c x='1'>", "</c>", "<d/>", "\xC3", "\xE4\xBD", "\xF0\x9F\x98", "'",
        "\"", "&#x", "41;", "&#", "12;", "&amp;", "<?xml version='", "<?xml encoding='latin1'?>", ">", "<!--",
        "-->", "<![CDATA[", "]]>", " ", "\xEF\xBB\xBF", "<?xml-stylesheet href=\"", "?>", "/>", "=", "y=",
        "<!DOCTYPE x>", "text", "<e y=\"", "</a >", "<a b='1' b='2'>", "<\357\273\277a>", "&#xZ;", "\n"};
    // clang-format on
    std::mt19937 random(20240611);
    for (int round = 0; round < 4000; ++round) {
        std::string text = round % 2 ? kUtf8 + "<r>" : "<r>";
        for (unsigned n = random() % 40; n > 0; --n) text += pieces[random() % std::size(pieces)];
        if (random() % 2) text += "</r>";
        const MarkupGuard::Reading reading = MarkupGuard(kSmall).Read(text);
        const Parsed cut = Parse(text.substr(0, reading.length));
        // A self-closing element may sit one level below the deepest open one.
        ASSERT_LE(cut.depth, kSmall.maxDepth + 1) << text;
        ASSERT_LE(cut.attributes, kSmall.maxAttributes) << text;
        if (!cut.error) {
            EXPECT_EQ(reading.openAtEnd, 0u) << text;
        }
        const Parsed whole = Parse(text);
        if (!whole.error && whole.depth <= kSmall.maxDepth && whole.attributes <= kSmall.maxAttributes) {
            EXPECT_EQ(reading.length, text.size()) << text;
        }
    }
}

}  // namespace

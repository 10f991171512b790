#include "feed/FeedParser.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <tinyxml.h>

#include "tests/support/CaseName.h"
#include "tests/support/ScopedThreadLocale.h"
#include "tests/support/StoreContents.h"
#include "tools/harness/Rss.h"

namespace {

using harness::Rss;
using harness::RssItem;
using test_support::Row;

// An item without content, and the row it gives.
RssItem Entry(const std::string& date, const std::string& title = "t") {
    return {date, title, "http://shop/" + date, ""};
}
Row Stored(const std::string& date, const std::string& title = "t") {
    return {date, "http://shop/" + date, title, "", ""};
}

struct DocumentCase {
    const char* name;
    std::string document;
    std::vector<Row> rowsNewestFirst;  // as the store lists them: the last one handed over comes first
};

const std::string kA = harness::ItemXml(Entry("A"));
const std::string kB = harness::ItemXml(Entry("B"));
const std::string kC = harness::ItemXml(Entry("C"));

const DocumentCase kWalk[] = {
    {"HandedOverLastToFirst", Rss(kA + kB + kC), {Stored("A"), Stored("B"), Stored("C")}},
    {"CommentNamedItemAfterLastStopsAtOnce", Rss(kA + kB + "<!--item-->"), {}},
    {"CommentNamedItemBetweenEndsTheWalk", Rss(kA + "<!--item-->" + kB + kC), {Stored("B"), Stored("C")}},
    {"OtherChildrenArePassedOver", Rss(kA + "<title>x</title><!--note-->" + kB), {Stored("A"), Stored("B")}},
    {"SecondChannelIgnored",
     "<rss><channel>" + kA + "</channel><channel>" + kB + "</channel></rss>",
     {Stored("A")}},
    {"SecondRssIgnored",
     "<rss><channel>" + kA + "</channel></rss><rss><channel>" + kB + "</channel></rss>",
     {Stored("A")}},
    {"ItemsOutsideChannelIgnored", "<rss>" + kA + "<channel>" + kB + "</channel></rss>", {Stored("B")}},
    {"NoRss", "<feed><channel>" + kA + "</channel></feed>", {}},
    {"NoChannel", "<rss>" + kA + "</rss>", {}},
    {"Empty", "", {}},
    {"SameDateKeptOnce",
     Rss(std::vector<RssItem>{Entry("D", "first"), Entry("D", "second")}),
     {Stored("D", "second")}},
};

struct FieldCase {
    const char* name;
    std::string itemXml;
    Row row;
};

std::string WithContent(const std::string& content) {
    return "<item><pubDate>d</pubDate><content:encoded><![CDATA[" + content + "]]></content:encoded></item>";
}
Row Links(const std::string& pic, const std::string& buy) { return {"d", "", "", pic, buy}; }

const FieldCase kFields[] = {
    {"PictureWithoutQuotes", WithContent("<img src=\"http://host/a.jpg\">"), Links("http://host/a.jpg", "")},
    {"PictureThenBuyLink", WithContent("<img src=\"http://host/a.jpg\"><a href=\"http://host/buy/1\">b</a>"),
     Links("http://host/a.jpg", "http://host/buy/1")},
    {"BuyLinkBeforeImage",
     WithContent("<p><a href=\"http://host/buy/1\">x</a><img src=\"http://host/a.jpg\" /></p>"),
     Links("http://host/a.jpg", "http://host/buy/1")},
    {"ImgClassBeforeSrc", WithContent("<img class=\"x\" src=\"http://host/a.jpg\"><a href=\"http://b/\">"),
     Links("", "")},
    {"HttpsPicture", WithContent("<img src=\"https://host/a.jpg\"><a href=\"http://host/buy\">"),
     Links("", "")},
    {"LeadingBlank", WithContent("<img src=\" http://host/a.jpg\">"), Links("http://host/a.jpg", "")},
    {"HttpInsidePath", WithContent("<img src=\"/cdn/http://host/a.jpg\">"), Links("http://host/a.jpg", "")},
    {"RelativeHref", WithContent("<img src=\"http://host/a.jpg\"><a href=\"/go/1\">x</a>"),
     Links("http://host/a.jpg", "")},
    {"HttpAfterClosingQuoteIsNotTaken", WithContent("<img src=\"/a.jpg\"> http://host/b.jpg \""),
     Links("", "")},
    {"NoImageNoBuyLink", WithContent("<a href=\"http://host/buy\">x</a>"), Links("", "")},
    {"UnclosedQuote", WithContent("<img src=\"http://host/a.jpg"), Links("", "")},
    {"EscapedMarkupContent",
     "<item><pubDate>d</pubDate><content:encoded>&lt;img src=&quot;http://host/e.jpg&quot;&gt;"
     "</content:encoded></item>",
     Links("http://host/e.jpg", "")},
    {"EmptyPubDate", "<item><pubDate/><link>u</link></item>", {"", "u", "", "", ""}},
    {"CdataTitle",
     "<item><pubDate>d</pubDate><title><![CDATA[你好 <b>]]></title></item>",
     {"d", "", "\xC4\xE3\xBA\xC3 <b>", "", ""}},
    {"ElementInsideTitle", "<item><pubDate>d</pubDate><title><b>x</b></title></item>", {"d", "", "", "", ""}},
    {"EmojiInTitleKeepsTheRest",
     "<item><pubDate>d</pubDate><title>世\xF0\x9F\x94\xA5界 deal</title></item>",
     {"d", "", "\xCA\xC0?\xBD\xE7 deal", "", ""}},
    {"EntityInTitle",
     "<item><pubDate>d</pubDate><title>A &amp; B &#x4F60;</title></item>",
     {"d", "", "A & B \xC4\xE3", "", ""}},
    {"TwoLinksFirstWins",
     "<item><pubDate>d</pubDate><link>http://one/</link><link>http://two/</link></item>",
     {"d", "http://one/", "", "", ""}},
    {"LinkSpreadOverLines",
     "<item><pubDate>d</pubDate><link>\n      http://host/x?id=1\n    </link></item>",
     {"d", "http://host/x?id=1", "", "", ""}},
    {"DateKeptAsGiven",
     "<item><pubDate>Mon, 07 Dec 2026 23:00:00 +0800</pubDate></item>",
     {"Mon, 07 Dec 2026 23:00:00 +0800", "", "", "", ""}},
};

// Each field case as a document of its one item.
std::vector<DocumentCase> FieldDocuments() {
    std::vector<DocumentCase> documents;
    for (const FieldCase& c : kFields) documents.push_back({c.name, Rss(c.itemXml), {c.row}});
    return documents;
}

class FeedDocument : public ::testing::TestWithParam<DocumentCase> {};

TEST_P(FeedDocument, StoresTheItemsTheWalkReachesByTheFieldRules) {
    // The links are cut from text in the locale's set; a UTF-8 locale keeps them byte for byte.
    test_support::ScopedThreadLocale locale("C.UTF-8");
    test_support::StoreOnDisk disk;
    ParseFeedDocument(GetParam().document, disk.store);
    EXPECT_EQ(test_support::StoredRows(disk.store), GetParam().rowsNewestFirst);
}

INSTANTIATE_TEST_SUITE_P(Documents, FeedDocument, ::testing::ValuesIn(kWalk), test_support::CaseName());
INSTANTIATE_TEST_SUITE_P(Items, FeedDocument, ::testing::ValuesIn(FieldDocuments()),
                         test_support::CaseName());

// Dates of the items the walk reaches, found by a forward pass written apart from the parser: every
// non-element child named "item" discards what came before it, and an item the text never closes
// (fewer "</item>" than items, the text breaking off in the last) does not count.
std::set<std::string> ReachableDates(const std::string& text) {
    TiXmlDocument document;
    document.Parse(text.c_str(), nullptr, TIXML_ENCODING_UNKNOWN);
    std::set<std::string> dates;
    TiXmlHandle channel = TiXmlHandle(&document).FirstChildElement("rss").FirstChildElement("channel");
    if (!channel.ToElement()) return dates;
    std::vector<std::string> reached;
    size_t items = 0;
    for (TiXmlNode* child = channel.ToElement()->FirstChild(); child; child = child->NextSibling()) {
        if (std::string(child->Value()) != "item") continue;
        if (child->Type() != TiXmlNode::TINYXML_ELEMENT) {
            reached.clear();
            continue;
        }
        TiXmlNode* date = child->FirstChild("pubDate");
        TiXmlNode* first = date ? date->FirstChild() : nullptr;
        reached.push_back(first && first->ToText() ? first->Value() : "");
        ++items;
    }
    size_t ends = 0;
    for (size_t at = text.find("</item>"); at != std::string::npos; at = text.find("</item>", at + 1)) ++ends;
    if (ends < items && !reached.empty()) reached.pop_back();
    dates.insert(reached.begin(), reached.end());
    return dates;
}

TEST(RealFeeds, StoreOneRowPerDistinctReachableDate) {
    // Set by CTest to the shared folder beside the checkout; without it the test skips.
    const char* shared = std::getenv("NOTIFIER_SHARED_DIR");
    const std::filesystem::path dir = std::filesystem::path(shared ? shared : "") / "feeds" / "real";
    if (!std::filesystem::is_directory(dir)) GTEST_SKIP() << "no real feeds at " << dir;
    size_t files = 0, rows = 0;
    for (const auto& file : std::filesystem::directory_iterator(dir)) {
        if (file.path().extension() != ".xml") continue;
        SCOPED_TRACE(file.path().filename().string());
        std::ifstream in(file.path(), std::ios::binary);
        std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        test_support::StoreOnDisk disk;
        ParseFeedDocument(text, disk.store);
        size_t stored = test_support::StoredRows(disk.store).size();
        EXPECT_EQ(stored, ReachableDates(text).size());
        ++files;
        rows += stored;
    }
    EXPECT_GT(files, 20u);
    EXPECT_GT(rows, 500u);  // the big feeds parse, so the comparison above is not between two zeros
}

}  // namespace

namespace {

// Documents meant to hurt the parser. None may crash; each stores the items that lie whole before the
// damage, and never the one the damage breaks off.
struct HostileCase {
    const char* name;
    std::string (*make)();
    std::vector<std::string> datesNewestFirst;
};

const std::string kGood = harness::ItemXml({"good", "t", "", ""});

std::string Nested(size_t depth, bool closed) {
    std::string text;
    text.reserve(depth * 7);
    for (size_t i = 0; i < depth; ++i) text += "<x>";
    if (closed)
        for (size_t i = 0; i < depth; ++i) text += "</x>";
    return text;
}

const HostileCase kHostile[] = {
    {"NestedDeepInsideAnItem",
     [] { return Rss(kGood + "<item><pubDate>deep</pubDate>" + Nested(100000, false)); },
     {"good"}},
    {"NestedDeepAndClosed",
     [] { return Rss(kGood + "<item><pubDate>deep</pubDate>" + Nested(100000, true) + "</item>"); },
     {"good"}},
    {"NestedDeepBeforeTheRss", [] { return Nested(100000, false) + Rss(kGood); }, {}},
    {"ManyAttributes",
     [] {
         std::string tag = "<x";
         for (int i = 0; i < 200000; ++i) tag += " a" + std::to_string(i) + "=\"v\"";
         return Rss(kGood + "<item>" + tag + "/></item>");
     },
     {"good"}},
    {"FiftyMegabytes",
     [] {
         return Rss(kGood + "<item><description>" + std::string(50u << 20, 'x') + "</description></item>");
     },
     {}},
    {"BinaryGarbage",
     [] {
         std::string text(1 << 20, '\0');
         unsigned state = 12345;
         for (char& c : text) c = static_cast<char>((state = state * 1103515245u + 12345u) >> 16);
         return text;
     },
     {}},
    {"GarbageAfterAGoodItem",
     [] { return Rss(kGood).substr(0, 400) + "\x01\xFF<<>>&&;<![CDATA[<"; },
     {"good"}},
    {"CutMidTag", [] { return Rss(kGood + "<item><pubDate>cut</pubDate><lin"); }, {"good"}},
    {"CutInsideCdata", [] { return Rss(kGood + "<item><pubDate>c</pubDate><title><![CDATA[abc"); }, {"good"}},
    {"CutInsideAStartTag", [] { return Rss(kGood + "<item a=\"1\""); }, {"good"}},
    {"CutRightAfterAnItem",
     [] {
         return Rss(kGood + harness::ItemXml({"after", "t", "", ""}));
     },
     {"good", "after"}},
    {"BadReferenceInsideAnItem",
     [] { return Rss(kGood + "<item><pubDate>ref</pubDate><title>AT&#T;</title></item>"); },
     {"good"}},
    {"WrongEndTagInsideAnItem",
     [] { return Rss(kGood + "<item><pubDate>end</pubDate><link>u</lnk></item>"); },
     {"good"}},
    {"RepeatedAttributeInsideAnItem",
     [] { return Rss(kGood + "<item><pubDate>rep</pubDate><link a='1' a='2'>u</link></item>"); },
     {"good"}},
};

class HostileFeed : public ::testing::TestWithParam<HostileCase> {
  protected:
    test_support::StoreOnDisk m_disk;
};

TEST_P(HostileFeed, StoresWhatLiesBeforeTheDamage) {
    std::string text = GetParam().make();
    // Cut the closing tags off the cases named "Cut...", so the document really breaks off.
    if (std::string(GetParam().name).starts_with("Cut")) text = text.substr(0, text.find("\n</channel>"));
    ParseFeedDocument(std::move(text), m_disk.store);
    std::vector<std::string> dates;
    for (const Row& row : test_support::StoredRows(m_disk.store)) dates.push_back(std::get<0>(row));
    EXPECT_EQ(dates, GetParam().datesNewestFirst);
}

INSTANTIATE_TEST_SUITE_P(Documents, HostileFeed, ::testing::ValuesIn(kHostile), test_support::CaseName());

// After a UTF-8 lead byte the parser steps over the whole sequence. Cut short by the end of the text,
// that step must not carry it past the end into whatever the buffer holds there: here a closing of the
// cut item and a whole item more, which would be stored.
TEST(HostileFeed, SequenceCutShortByTheEndStopsThere) {
    const std::string ghost = "   </pubDate></item><item><pubDate>ghost</pubDate></item></channel></rss>";
    for (const char* tail : {"x\xF4",
                             "x\xF4"
                             "d",
                             "&lt\xF4"
                             "d",
                             "x\xE4\xB8"}) {
        SCOPED_TRACE(tail);
        const std::string document = Rss(kGood + "<item><link>u</link><pubDate>" + tail);
        const size_t end = document.find("\n</channel>");
        std::string text(64 * 1024, ' ');
        text.replace(end + 1, ghost.size(), ghost);
        text.replace(0, end, document, 0, end);
        text.resize(end);  // keeps the buffer and the ghost after the end
        std::vector<std::string> dates;
        for (const FeedItem& item : CollectFeedItems(text)) dates.push_back(item.msg_date);
        EXPECT_EQ(dates, std::vector<std::string>{"good"});
    }
}

TEST(HostileFeed, EveryPrefixOfAFeedParses) {
    std::string feed = Rss(std::vector<RssItem>{{"d1", "t1", "http://a/", "<img src=\"http://i/1\">"},
                                                {"d2", "t2", "http://b/", ""}});
    for (size_t cut = 0; cut <= feed.size(); cut += 2) {
        test_support::StoreOnDisk disk;
        ParseFeedDocument(feed.substr(0, cut), disk.store);
        ASSERT_LE(test_support::StoredRows(disk.store).size(), 2u) << "cut at " << cut;
    }
}

}  // namespace

#pragma once

// Hostile feeds with what the store must hold afterwards and what the page must show. Shared by the
// download-path tests and the browser tests.
//
// Payloads that would run script call fetch() on "http://<host>/exec/<case>/<field>", spelled
// 'ht'+'tp://' so that the picture rule (which cuts from "http://") never turns a payload into a
// picture address. Markup that loads without script uses upper-case "HTTP://" in content for the same
// reason. Pictures point at "/pic/...", which the page legitimately fetches.

#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "tests/support/StoreContents.h"
#include "tools/harness/Rss.h"

namespace hostile {

using namespace harness;
using namespace test_support;

// What the page shows for one row: picture src, title, date, detail link, buy link, all UTF-8.
using Shown = std::tuple<std::string, std::string, std::string, std::string, std::string>;

struct Expected {
    Row stored;
    Shown shown;
};

struct Feed {
    std::string document;
    std::vector<Expected> rows;  // newest first, as ListItems gives them
};

struct HostileCase {
    const char* name;
    std::function<Feed(const std::string& host)> make;  // host is "127.0.0.1:<port>"
};

inline void PrintTo(const HostileCase& row, std::ostream* out) { *out << row.name; }

inline const std::string kDefaultPicture = "pelmo128.png";

// A row whose text is the same in the store and on the page (ASCII titles, valid UTF-8 elsewhere).
inline Expected Plain(const std::string& date, const std::string& url, const std::string& title,
                      const std::string& pic = "", const std::string& buy = "") {
    return {{date, url, title, pic, buy}, {pic.empty() ? kDefaultPicture : pic, title, date, url, buy}};
}

inline Expected WithTitles(Expected row, const std::string& storedTitle, const std::string& shownTitle) {
    std::get<2>(row.stored) = storedTitle;
    std::get<1>(row.shown) = shownTitle;
    return row;
}

class Payload {
  public:
    Payload(std::string host, std::string name) : m_host(std::move(host)), m_name(std::move(name)) {}
    // Script that would reach the trap if it ever ran.
    std::string Fetch(const std::string& field) const {
        return "fetch('ht'+'tp://" + m_host + "/exec/" + m_name + "/" + field + "')";
    }
    // An address that markup would load.
    std::string Exec(const std::string& field, const std::string& scheme = "http") const {
        return scheme + "://" + m_host + "/exec/" + m_name + "/" + field;
    }
    std::string Pic(const std::string& name) const { return "http://" + m_host + "/pic/" + name; }

  private:
    std::string m_host;
    std::string m_name;
};

inline std::string Repeat(const std::string& unit, size_t times) {
    std::string out;
    out.reserve(unit.size() * times);
    for (size_t i = 0; i < times; ++i) out += unit;
    return out;
}

inline Feed SqlBreakers(const std::string& host) {
    const Payload p(host, "sql");
    const std::vector<RssItem> items = {
        {"Tue, 01 Jan 2030 00:00:00 ' OR '1'='1", "Robert'); DROP TABLE items;--",
         "http://deals.test/a?id=1'; DELETE FROM items; --",
         "<p><img src=\"" + p.Pic("a'b.jpg") +
             "\"><a href=\"http://shop.test/'); DROP TABLE itemdate; --\">x</a></p>"},
        {"x\" OR \"\"=\"", "\"; UPDATE items SET msg_top=1; --", "http://deals.test/b\"", ""},
        {"%s%n%x'||char(0)||'", "%s %s %n", "http://deals.test/c?'||(select sqlite_version())||'", ""},
    };
    return {Rss(items),
            {Plain(items[0].date, items[0].link, items[0].title, p.Pic("a'b.jpg"),
                   "http://shop.test/'); DROP TABLE itemdate; --"),
             Plain(items[1].date, items[1].link, items[1].title),
             Plain(items[2].date, items[2].link, items[2].title)}};
}

inline Feed ScriptBreakers(const std::string& host) {
    const Payload p(host, "script");
    const std::string ls = "\xE2\x80\xA8", ps = "\xE2\x80\xA9";
    const std::string pic = p.Pic("\\');" + p.Fetch("pic") + ";//");
    const std::string buy = "http://shop.test/</script><script>" + p.Fetch("buy") + "</script>";
    const std::vector<RssItem> items = {
        {"\\'); " + p.Fetch("date") + "; //\\", "\"); " + p.Fetch("title") + "; (\"",
         "</script><script>" + p.Fetch("link") + "</script>",
         "<img src=\"" + pic + "\"><a href=\"" + buy + "\">"},
        {"d" + ls + p.Fetch("date2") + ps, "line" + ls + "sep" + ps + "end",
         "http://deals.test/" + ls + "');" + p.Fetch("link2") + ";('", ""},
        {"tail\\", "\\", "http://deals.test/x\\u0022\\", ""},
        // Spliced between plain double quotes this is valid script that calls fetch.
        {"d4", "\"+" + p.Fetch("concat") + "+\"", "http://deals.test/4", ""},
    };
    return {Rss(items),
            {Plain(items[0].date, items[0].link, items[0].title, pic, buy),
             // GBK has no line or paragraph separator: the title keeps '?' in their place.
             Plain(items[1].date, items[1].link, "line?sep?end"),
             Plain(items[2].date, items[2].link, items[2].title),
             Plain(items[3].date, items[3].link, items[3].title)}};
}

inline Feed MarkupBreakers(const std::string& host) {
    const Payload p(host, "markup");
    const std::string buy = "http://shop.test/x' onmouseover='" + p.Fetch("buy") + "' y='";
    const std::vector<RssItem> items = {
        {"\"><script>" + p.Fetch("date") + "</script>", "<img src=x onerror=\"" + p.Fetch("title") + "\">",
         "\"><img src=\"" + p.Exec("link") + "\">",
         "<img src=\"" + p.Pic("m.png") + "\" onerror=\"" + p.Fetch("picerror") + "\"><a href=\"" + buy +
             "\">"},
        {"<svg/onload=" + p.Fetch("date2") + ">",
         "<b>bold</b><iframe src=\"" + p.Exec("frame") + "\"></iframe>",
         "http://deals.test/'><script>" + p.Fetch("link2") + "</script>",
         "<iframe src=\"" + p.Exec("contentframe", "HTTP") + "\"></iframe>"},
    };
    return {Rss(items),
            {Plain(items[0].date, items[0].link, items[0].title, p.Pic("m.png"), buy),
             Plain(items[1].date, items[1].link, items[1].title)}};
}

inline Feed SchemeLinks(const std::string& host) {
    const Payload p(host, "schemes");
    const std::vector<RssItem> items = {
        // No "http://" anywhere: neither picture nor buy link.
        {"s1", "javascript link", "javascript:" + p.Fetch("link"),
         "<img src=\"data:image/svg+xml,<svg xmlns='HTTP://www.w3.org/2000/svg' onload='" + p.Fetch("svg") +
             "'/>\"><a href=\"javascript:" + p.Fetch("href") + "\">"},
        // The only "http://" lies after the picture's closing quote.
        {"s2", "file link", "file:///etc/passwd",
         "<img src=\"file:///etc/passwd\"><a href=\"http://shop.test/b\">"},
        // The picture is cut from "http://"; a data: href gives no buy link.
        {"s3", "data link", "data:text/html,<script>" + p.Fetch("datalink") + "</script>",
         "<img src=\"javascript:x//" + p.Pic("c.png") + "\"><a href=\"data:text/html;base64,PHNjcmlwdD4=\">"},
        {"s4", "mixed case", "JavaScript:" + p.Fetch("link4"),
         "<img src=\"" + p.Pic("d.png") + "\"><a href=\"javascript:void('http://shop.test/hb')\">"},
    };
    return {Rss(items),
            {Plain("s1", items[0].link, "javascript link"), Plain("s2", "file:///etc/passwd", "file link"),
             Plain("s3", items[2].link, "data link", p.Pic("c.png")),
             Plain("s4", items[3].link, "mixed case", p.Pic("d.png"), "http://shop.test/hb')")}};
}

inline Feed MegabyteFields(const std::string&) {
    const std::string zhong = "\xE4\xB8\xAD";  // one CJK character, D6 D0 in GBK
    const size_t count = 349'526;              // just over 1 MiB of UTF-8
    const std::string link = "http://deals.test/" + Repeat("q", 1 << 20);
    const std::string date = Repeat("D", 1 << 20);
    return {Rss(std::vector<RssItem>{{date, Repeat(zhong, count), link, ""}}),
            {WithTitles(Plain(date, link, ""), Repeat("\xD6\xD0", count), Repeat(zhong, count))}};
}

inline Feed TenThousandItems(const std::string&) {
    std::vector<RssItem> items;
    Feed feed;
    for (int i = 0; i < 10'000; ++i) {
        const std::string n = std::to_string(i);
        items.push_back({"Mon, 01 Jan 2029 00:00:00 +0000 #" + n, "item " + n, "http://deals.test/" + n, ""});
        // Items are stored last first, so the listing (newest first) is document order.
        feed.rows.push_back(Plain(items.back().date, items.back().link, items.back().title));
    }
    feed.document = Rss(items);
    return feed;
}

inline Feed SameDateTenThousandTimes(const std::string&) {
    std::vector<RssItem> items;
    for (int i = 0; i < 10'000; ++i) {
        const std::string n = std::to_string(i);
        items.push_back({"Mon, 01 Jan 2029 00:00:00 +0000", "same " + n, "http://deals.test/s/" + n, ""});
    }
    // The walk goes last item first, so the last one in the document is the one kept.
    return {Rss(items), {Plain(items.back().date, items.back().link, items.back().title)}};
}

inline Feed NulBytes(const std::string&) {
    const std::string items =
        "<item><title>a&#0;b</title><link>http://deals.test/1</link><pubDate>d1</pubDate></item>\n"
        "<item><pubDate>d2</pubDate><title>be" +
        std::string(1, '\0') + "fore</title><link>http://deals.test/2</link></item>\n" +
        ItemXml({"d3", "t3", "http://deals.test/3", ""});
    // Text ends at the first zero byte: the character reference cuts one title, the raw zero byte cuts
    // the whole document inside the second item, which is then left out.
    return {Rss(items), {Plain("d1", "http://deals.test/1", "a")}};
}

inline Feed InvalidUtf8(const std::string& host) {
    const Payload p(host, "utf8");
    // Every bad byte is followed by a few ASCII bytes: the parser steps over a declared multi-byte
    // character whole, which is a case of its own below.
    const std::vector<RssItem> items = {
        {"d\xFF\xFE-tail", "a\xFF\xFE-tail", "http://deals.test/\xC3\x28-tail", ""},
        {"d2", "t2", "http://deals.test/2",
         "<img src=\"" + p.Pic("\xFF\xFE-tail.png") + "\"><a href=\"http://shop.test/\xE4\xB8-tail\">"},
        // Overlong forms of '<' and '>' and an encoded surrogate must never turn into what they spell.
        {"\xED\xA0\x80-tail", "x\xC0\xBCscript\xC0\xBE-tail", "http://deals.test/\xC0\xAF-tail", ""},
    };
    const std::string fffd = "\xEF\xBF\xBD";
    Expected first = WithTitles(Plain(items[0].date, items[0].link, ""), "a?\?-tail", "a?\?-tail");
    first.shown = {kDefaultPicture, "a?\?-tail", "d" + fffd + fffd + "-tail",
                   "http://deals.test/" + fffd + "(-tail", ""};
    // Link text of the content is brought to the locale's set (ASCII here): each bad byte is a '?'.
    Expected third =
        WithTitles(Plain(items[2].date, items[2].link, ""), "x??script?\?-tail", "x??script?\?-tail");
    third.shown = {kDefaultPicture, "x??script?\?-tail", fffd + fffd + fffd + "-tail",
                   "http://deals.test/" + fffd + fffd + "-tail", ""};
    return {
        Rss(items),
        {first, Plain("d2", "http://deals.test/2", "t2", p.Pic("?\?-tail.png"), "http://shop.test/?\?-tail"),
         third}};
}

inline Feed LeadByteSwallowsEndTag(const std::string&) {
    // In a document declared UTF-8 the parser takes E4 as the start of a three-byte character and so
    // reads "</" as part of the title; the title runs on to the next '<' and the document breaks off
    // inside that item, which is left out.
    const std::string items =
        ItemXml({"first", "t1", "http://deals.test/1", ""}) +
        "<item><title>ab\xE4</title><link>http://deals.test/e</link><pubDate>de</pubDate></item>\n" +
        ItemXml({"third", "t3", "http://deals.test/3", ""});
    return {Rss(items), {Plain("first", "http://deals.test/1", "t1")}};
}

inline Feed ManyEntities(const std::string&) {
    const std::string title = Repeat("&", 100'000) + "<>";
    return {Rss(std::vector<RssItem>{{"e1", title, "http://deals.test/e?a=1&b=2", ""}}),
            {Plain("e1", "http://deals.test/e?a=1&b=2", title)}};
}

inline Feed DeepNesting(const std::string&) {
    const size_t depth = 100'000;
    const std::string items = ItemXml({"d1", "t1", "http://deals.test/1", ""}) +
                              "<item><pubDate>d2</pubDate><title>t2</title><description>" +
                              Repeat("<x>", depth) + "y" + Repeat("</x>", depth) +
                              "</description><link>http://deals.test/2</link></item>\n" +
                              ItemXml({"d3", "t3", "http://deals.test/3", ""});
    // The document is cut before the tag that nests too deep; the items whole before the cut are kept.
    return {Rss(items), {Plain("d1", "http://deals.test/1", "t1")}};
}

inline std::vector<HostileCase> HostileCases() {
    return {
        {"SqlBreakers", SqlBreakers},
        {"ScriptBreakers", ScriptBreakers},
        {"MarkupBreakers", MarkupBreakers},
        {"SchemeLinks", SchemeLinks},
        {"MegabyteFields", MegabyteFields},
        {"TenThousandItems", TenThousandItems},
        {"SameDateTenThousandTimes", SameDateTenThousandTimes},
        {"NulBytes", NulBytes},
        {"InvalidUtf8", InvalidUtf8},
        {"LeadByteSwallowsEndTag", LeadByteSwallowsEndTag},
        {"ManyEntities", ManyEntities},
        {"DeepNesting", DeepNesting},
    };
}

}  // namespace hostile

#include "popup/ScriptText.h"

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include <glib.h>
#include <gtest/gtest.h>

namespace {

// Reads back a call f("a","b",...) the way a script engine would read its string literals, so the
// test does not trust the escaper's own idea of what it wrote.
struct ParsedCall {
    std::string name;
    std::vector<std::string> args;
};

std::optional<std::string> ReadLiteral(const std::string& s, size_t& i) {
    if (i >= s.size() || s[i] != '"') return std::nullopt;
    std::string value;
    for (++i; i < s.size(); ++i) {
        const char c = s[i];
        if (c == '"') {
            ++i;
            return value;
        }
        if (c == '\n' || c == '\r') return std::nullopt;  // a raw line break ends the literal badly
        if (s.compare(i, 3, "\xE2\x80\xA8") == 0 || s.compare(i, 3, "\xE2\x80\xA9") == 0) return std::nullopt;
        if (c != '\\') {
            value += c;
            continue;
        }
        if (++i >= s.size()) return std::nullopt;
        static const std::string kEscapes = "nrtbfv0", kMeanings("\n\r\t\b\f\v\0", 7);
        if (const size_t k = kEscapes.find(s[i]); k != std::string::npos) {
            value += kMeanings[k];
        } else if (s[i] == 'u') {
            if (i + 4 >= s.size()) return std::nullopt;
            const auto unit = static_cast<gunichar>(std::stoul(s.substr(i + 1, 4), nullptr, 16));
            char utf8[6];
            value.append(utf8, g_unichar_to_utf8(unit, utf8));
            i += 4;
        } else {
            value += s[i];  // \" \\ \/ and friends stand for themselves
        }
    }
    return std::nullopt;
}

std::optional<ParsedCall> ParseCall(const std::string& text) {
    ParsedCall call;
    const size_t open = text.find('(');
    if (open == std::string::npos || text.back() != ')') return std::nullopt;
    call.name = text.substr(0, open);
    size_t i = open + 1;
    while (i < text.size() - 1) {
        auto arg = ReadLiteral(text, i);
        if (!arg) return std::nullopt;
        call.args.push_back(*arg);
        if (text[i] == ',') {
            ++i;
        } else if (i != text.size() - 1) {
            return std::nullopt;
        }
    }
    return i == text.size() - 1 ? std::optional(call) : std::nullopt;
}

// Fields the page never sees (desc, type, categories) must not leak into the call.
FeedItem Item(std::string pic, std::string top, std::string title, std::string date, std::string url,
              std::string id, std::string buy) {
    // In FeedItem's order: picurl, url, type, id, title, desc, date, categories, buyurl, top.
    return {pic, url, "type", id, title, "desc", date, "cat", buy, top};
}

TEST(AddAllItem, PlainValuesGiveTheExactCall) {
    EXPECT_EQ(ScriptText::AddAllItem(Item("p", "0", "T", "D", "U", "I", "B")),
              R"(AddAllItem("p","0","T","D","U","I","B"))");
    EXPECT_EQ(ScriptText::AddAllItem(Item("", "", "", "", "", "", "")),
              R"(AddAllItem("","","","","","",""))");
    EXPECT_EQ(ScriptText::AddAllItem(Item("http://127.0.0.1/a.png", "1", "特价 50% off",
                                          "Mon, 07 Dec 2026 10:00:00 +0800", "http://x/y?a=1&b=2", "",
                                          "https://buy/z")),
              "AddAllItem(\"http://127.0.0.1/a.png\",\"1\",\"特价 50% off\",\"Mon, 07 Dec 2026 10:00:00 "
              "+0800\",\"http://x/y?a=1&b=2\",\"\",\"https://buy/z\")");
}

struct HostileCase {
    const char* name;
    std::string value;
};
void PrintTo(const HostileCase& c, std::ostream* os) { *os << c.name; }

class HostileValue : public testing::TestWithParam<HostileCase> {};

TEST_P(HostileValue, ReachesThePageFunctionUnchanged) {
    const std::string& v = GetParam().value;
    const FeedItem item = Item(v, v + "1", "t" + v, v, v + v, "", "<" + v);
    const std::string text = ScriptText::AddAllItem(item);
    EXPECT_EQ(text.find("</"), std::string::npos) << text;
    const auto call = ParseCall(text);
    ASSERT_TRUE(call) << text;
    EXPECT_EQ(call->name, "AddAllItem");
    const std::vector<std::string> expected{item.msg_picurl, item.msg_top, item.msg_title, item.msg_date,
                                            item.msg_url,    item.msg_id,  item.msg_buyurl};
    EXPECT_EQ(call->args, expected);
}

INSTANTIATE_TEST_SUITE_P(
    Values, HostileValue,
    testing::Values(HostileCase{"Quote", R"(say "hi")"}, HostileCase{"QuoteThenParen", R"(");alert(1);(")"},
                    HostileCase{"Backslash", R"(C:\path\"x)"}, HostileCase{"TrailingBackslash", "end\\"},
                    HostileCase{"LineFeed", "a\nb"}, HostileCase{"CarriageReturn", "a\r\nb"},
                    HostileCase{"LineSeparator",
                                "a\xE2\x80\xA8"
                                "b"},
                    HostileCase{"ParagraphSeparator",
                                "a\xE2\x80\xA9"
                                "b"},
                    HostileCase{"ScriptClose", "</script><script>alert(1)</script>"},
                    HostileCase{"ControlBytes", std::string("a\x01\x1f\x7f\tb", 7)},
                    HostileCase{"NulByte", std::string("a\0b", 3)}, HostileCase{"Unicode", "价格 ✓ 😀"}),
    [](const testing::TestParamInfo<HostileCase>& p) { return std::string(p.param.name); });

TEST(InitAllNum, WritesBothCountsWhole) {
    EXPECT_EQ(ScriptText::InitAllNum(0, 0), "InitAllNum(0,0)");
    EXPECT_EQ(ScriptText::InitAllNum(3, 12), "InitAllNum(3,12)");
    EXPECT_EQ(ScriptText::InitAllNum(999999999, 1000000000), "InitAllNum(999999999,1000000000)");
    EXPECT_EQ(ScriptText::InitAllNum(5000000000, 9000000000), "InitAllNum(5000000000,9000000000)");
}

}  // namespace

#include "popup/ScriptText.h"

#include <array>
#include <cstdio>

namespace {

void AppendUnicodeEscape(std::string& out, unsigned code) {
    std::array<char, 7> buffer{};
    std::snprintf(buffer.data(), buffer.size(), "\\u%04x", code);
    out += buffer.data();
}

}  // namespace

std::string ScriptText::Literal(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size() + 2);
    out += '"';
    for (size_t i = 0; i < utf8.size(); ++i) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        switch (c) {
            case '"':
                out += "\\\"";
                continue;
            case '\\':
                out += "\\\\";
                continue;
            case '\n':
                out += "\\n";
                continue;
            case '\r':
                out += "\\r";
                continue;
            case '\t':
                out += "\\t";
                continue;
            default:
                break;
        }
        if (c < 0x20 || c == 0x7f) {
            AppendUnicodeEscape(out, c);
        } else if (c == '/' && i > 0 && utf8[i - 1] == '<') {
            // "</script>" and friends must never appear as such in text that may land in markup.
            out += "\\/";
        } else if (c == 0xe2 && i + 2 < utf8.size() && static_cast<unsigned char>(utf8[i + 1]) == 0x80 &&
                   (static_cast<unsigned char>(utf8[i + 2]) == 0xa8 ||
                    static_cast<unsigned char>(utf8[i + 2]) == 0xa9)) {
            // U+2028 and U+2029 end a line in older script engines.
            AppendUnicodeEscape(out, static_cast<unsigned char>(utf8[i + 2]) == 0xa8 ? 0x2028 : 0x2029);
            i += 2;
        } else {
            out += static_cast<char>(c);
        }
    }
    out += '"';
    return out;
}

std::string ScriptText::AddAllItem(const FeedItem& item) {
    std::string text = "AddAllItem(";
    const std::string* const values[] = {&item.msg_picurl, &item.msg_top, &item.msg_title, &item.msg_date,
                                         &item.msg_url,    &item.msg_id,  &item.msg_buyurl};
    bool first = true;
    for (const std::string* value : values) {
        if (!first) text += ',';
        first = false;
        text += Literal(*value);
    }
    text += ')';
    return text;
}

std::string ScriptText::InitAllNum(int64_t unread, int64_t total) {
    return "InitAllNum(" + std::to_string(unread) + "," + std::to_string(total) + ")";
}

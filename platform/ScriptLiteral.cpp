#include "platform/ScriptLiteral.h"

#include <array>
#include <cstdio>

#include "platform/Unicode.h"

namespace platform {
namespace {

void AppendUnicodeEscape(std::string& out, unsigned code) {
    std::array<char, 7> buffer{};
    std::snprintf(buffer.data(), buffer.size(), "\\u%04x", code);
    out += buffer.data();
}

const char* ShortEscape(unsigned char c) {
    switch (c) {
        case '"':
            return "\\\"";
        case '\\':
            return "\\\\";
        case '\n':
            return "\\n";
        case '\r':
            return "\\r";
        case '\t':
            return "\\t";
        default:
            return nullptr;
    }
}

// U+2028 or U+2029 at `i`, which end a line in older script engines; else 0.
unsigned LineSeparatorAt(const std::string& text, size_t i) {
    if (text.compare(i, 3, "\xE2\x80\xA8") == 0) return 0x2028;
    if (text.compare(i, 3, "\xE2\x80\xA9") == 0) return 0x2029;
    return 0;
}

}  // namespace

std::string ScriptLiteral(std::string_view utf8) {
    const std::string text = ValidUtf8(utf8);
    std::string out;
    out.reserve(text.size() + 2);
    out += '"';
    for (size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (const char* escape = ShortEscape(c)) {
            out += escape;
        } else if (c < 0x20 || c == 0x7f) {
            AppendUnicodeEscape(out, c);
        } else if (c == '/' && i > 0 && text[i - 1] == '<') {
            out += "\\/";
        } else if (const unsigned separator = c == 0xe2 ? LineSeparatorAt(text, i) : 0) {
            AppendUnicodeEscape(out, separator);
            i += 2;
        } else {
            out += static_cast<char>(c);
        }
    }
    out += '"';
    return out;
}

}  // namespace platform

#include "feed/MarkupGuard.h"

#include <vector>

namespace {

bool StartsElement(unsigned char c) {
    // The parser takes any byte above 126 as a letter.
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c >= 127;
}

bool IsNameChar(unsigned char c) {
    return StartsElement(c) || (c >= '0' && c <= '9') || c == '-' || c == '.' || c == ':';
}

// Skips to just after `terminator`; npos when it never comes.
size_t SkipPast(std::string_view text, size_t from, std::string_view terminator) {
    size_t at = text.find(terminator, from);
    return at == std::string_view::npos ? at : at + terminator.size();
}

struct Tag {
    size_t end = std::string_view::npos;  // just after '>'
    bool selfClosing = false;
    size_t attributes = 0;
};

// Reads an opening tag from its '<'; quoted attribute values may hold '>' and '/'.
Tag ReadOpeningTag(std::string_view text, size_t at) {
    Tag tag;
    char quote = 0;
    for (size_t i = at + 1; i < text.size(); ++i) {
        char c = text[i];
        if (quote != 0) {
            if (c == quote) {
                quote = 0;
            }
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == '=') {
            ++tag.attributes;
        } else if (c == '>') {
            tag.end = i + 1;
            tag.selfClosing = text[i - 1] == '/';
            return tag;
        }
    }
    return tag;
}

}  // namespace

size_t MarkupGuard::SafeLength(std::string_view text) const {
    text = text.substr(0, text.find('\0'));
    constexpr auto npos = std::string_view::npos;
    std::vector<std::string_view> open;
    size_t pos = 0;
    size_t nodes = 0;
    while ((pos = text.find('<', pos)) != npos) {
        std::string_view rest = text.substr(pos);
        if (!rest.starts_with("</") && ++nodes > m_limits.maxNodes) {
            return pos;
        }
        size_t next;
        if (rest.starts_with("<!--")) {
            next = SkipPast(text, pos + 4, "-->");
        } else if (rest.starts_with("<![CDATA[")) {
            next = SkipPast(text, pos + 9, "]]>");
        } else if (rest.starts_with("<?")) {
            next = SkipPast(text, pos, ">");
            // The parser reads quoted values of a declaration, so its end may lie past the first '>'
            // and hide end tags from this scan. Inside an element such a text is not trusted.
            std::string_view body = text.substr(pos, next == npos ? npos : next - pos);
            if (!open.empty() && body.find_first_of("\"'") != npos) {
                return pos;
            }
        } else if (rest.starts_with("</")) {
            size_t nameEnd = pos + 2;
            while (nameEnd < text.size() && IsNameChar(static_cast<unsigned char>(text[nameEnd]))) {
                ++nameEnd;
            }
            std::string_view name = text.substr(pos + 2, nameEnd - pos - 2);
            if (open.empty()) {
                next = SkipPast(text, pos, ">");  // read as an unknown node at the top
            } else if (name == open.back()) {
                open.pop_back();
                next = SkipPast(text, nameEnd, ">");
            } else {
                return text.size();  // a mismatched end tag ends the parse here anyway
            }
        } else if (rest.size() > 1 && StartsElement(static_cast<unsigned char>(rest[1]))) {
            Tag tag = ReadOpeningTag(text, pos);
            if (tag.attributes > m_limits.maxAttributes) {
                return pos;
            }
            if (!tag.selfClosing) {
                if (open.size() >= m_limits.maxDepth) {
                    return pos;
                }
                size_t nameEnd = pos + 1;
                while (nameEnd < text.size() && IsNameChar(static_cast<unsigned char>(text[nameEnd]))) {
                    ++nameEnd;
                }
                open.push_back(text.substr(pos + 1, nameEnd - pos - 1));
            }
            next = tag.end;
        } else {
            next = SkipPast(text, pos, ">");  // "<!DOCTYPE ...>" and other unknown nodes
        }
        if (next == npos) {
            break;
        }
        pos = next;
    }
    return text.size();
}

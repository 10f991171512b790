#include "feed/MarkupGuard.h"

#include <algorithm>
#include <cctype>
#include <optional>
#include <string>
#include <vector>

namespace {

// Every reader below follows the parser step for step; where the parser gives up, it answers kFail.
constexpr size_t kFail = std::string_view::npos;

constexpr std::string_view kByteOrderMarks[] = {"\xEF\xBB\xBF", "\xEF\xBF\xBE", "\xEF\xBF\xBF"};

struct NamedEntity {
    std::string_view text;
    char value;
};
constexpr NamedEntity kNamedEntities[] = {
    {"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&apos;", '\''}};

// The parser's character classes. They follow the C library, and so the thread's locale, as the
// parser's own do.
bool IsWhiteSpace(char c) { return std::isspace(static_cast<unsigned char>(c)) || c == '\n' || c == '\r'; }
bool IsAlpha(unsigned char c) { return c < 127 ? std::isalpha(c) != 0 : true; }
bool IsAlphaNum(unsigned char c) { return c < 127 ? std::isalnum(c) != 0 : true; }
bool IsNameChar(unsigned char c) { return IsAlphaNum(c) || c == '_' || c == '-' || c == '.' || c == ':'; }
bool IsHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Bytes the parser takes for one character after this lead byte, once it reads the text as UTF-8.
size_t SequenceLength(unsigned char lead) {
    if (lead >= 0xC2 && lead <= 0xDF) return 2;
    if (lead >= 0xE0 && lead <= 0xEF) return 3;
    if (lead >= 0xF0 && lead <= 0xF4) return 4;
    return 1;
}

// The document's text as the parser walks it: its encoding (which decides how it steps over
// characters), the elements it is inside, and how many nodes it has made.
class MarkupReader {
  public:
    MarkupReader(std::string_view text, const MarkupGuard::Limits& limits)
        : m_text(text.substr(0, text.find('\0'))), m_limits(limits) {}

    MarkupGuard::Reading Run();

  private:
    enum class Encoding { Unknown, Utf8, Legacy };
    enum class Node { Declaration, Comment, Cdata, Unknown, Element };
    // One state of the walk: where the walk goes on, or what it ended with.
    struct Step {
        size_t next = 0;
        std::optional<MarkupGuard::Reading> end;
    };
    static Step Next(size_t p) { return {p, std::nullopt}; }
    static Step Stop(MarkupGuard::Reading reading) { return {0, reading}; }

    bool Utf8() const { return m_encoding == Encoding::Utf8; }
    char At(size_t i) const { return i < m_text.size() ? m_text[i] : '\0'; }
    bool AtEnd(size_t i) const { return i >= m_text.size(); }
    MarkupGuard::Reading Ended(size_t at) const { return {at, m_open.size(), false}; }
    MarkupGuard::Reading Limited(size_t at) const { return {at, m_open.size(), true}; }
    // The parser gives up inside a start tag: that element, too, is left unfinished.
    MarkupGuard::Reading EndedInTag(size_t at) const { return {at, m_open.size() + 1, false}; }

    int Lower(char c) const;
    bool Equal(size_t at, std::string_view tag, bool ignoreCase = false) const;
    size_t SkipWhiteSpace(size_t p) const;
    size_t ReadName(size_t p) const;
    size_t ReadEntity(size_t p) const;
    size_t ReadChar(size_t p) const;
    size_t ReadQuoted(size_t p) const;
    size_t ReadAttribute(size_t p, std::string_view& name, std::string* value) const;
    size_t ReadText(size_t p, size_t& failedAt) const;
    size_t ReadEndTag(size_t p) const;
    size_t ReadDeclaration(size_t p, std::string& encoding, size_t& failedAt) const;
    Node Identify(size_t p) const;
    std::string Decode(size_t from, size_t to) const;
    static Encoding EncodingNamed(std::string name);

    Step OnMarkup(size_t p);
    Step OnText(size_t p) const;
    Step OnEndTag(size_t p);
    Step OnDeclaration(size_t p);
    Step OnSkipped(size_t from, std::string_view terminator) const;
    Step OnStartTag(size_t start);
    Step OnOpened(size_t start, std::string_view name, size_t after);

    std::string_view m_text;
    MarkupGuard::Limits m_limits;
    Encoding m_encoding = Encoding::Unknown;
    std::vector<std::string_view> m_open;  // names of the elements the parser is inside
    size_t m_nodes = 0;
};

int MarkupReader::Lower(char c) const {
    const int v = c;
    if (Utf8()) return v < 128 ? std::tolower(v) : v;
    return std::tolower(v);
}

bool MarkupReader::Equal(size_t at, std::string_view tag, bool ignoreCase) const {
    for (size_t i = 0; i < tag.size(); ++i) {
        if (AtEnd(at + i)) return false;
        const char c = m_text[at + i];
        if (ignoreCase ? Lower(c) != Lower(tag[i]) : c != tag[i]) return false;
    }
    return true;
}

// Read as UTF-8, the byte-order mark and two non-characters count as white space.
size_t MarkupReader::SkipWhiteSpace(size_t p) const {
    while (!AtEnd(p)) {
        if (Utf8() && std::any_of(std::begin(kByteOrderMarks), std::end(kByteOrderMarks),
                                  [&](std::string_view mark) { return Equal(p, mark); })) {
            p += 3;
        } else if (IsWhiteSpace(m_text[p])) {
            ++p;
        } else {
            break;
        }
    }
    return p;
}

size_t MarkupReader::ReadName(size_t p) const {
    if (AtEnd(p)) return kFail;
    const auto first = static_cast<unsigned char>(m_text[p]);
    if (!IsAlpha(first) && first != '_') return kFail;
    while (!AtEnd(p) && IsNameChar(static_cast<unsigned char>(m_text[p]))) ++p;
    return p;
}

// A character reference runs to the next ';' and is good when what lies between that ';' and the last
// 'x' (or '#') before it is all digits; whatever stands before that is skipped unread, markup included.
size_t MarkupReader::ReadEntity(size_t p) const {
    if (At(p + 1) == '#' && At(p + 2) != '\0') {
        const bool hex = At(p + 2) == 'x';
        if (hex && At(p + 3) == '\0') return kFail;
        const size_t semicolon = m_text.find(';', p + (hex ? 3 : 2));
        if (semicolon == std::string_view::npos) return kFail;
        for (size_t k = semicolon - 1; m_text[k] != (hex ? 'x' : '#'); --k) {
            if (hex ? !IsHexDigit(m_text[k]) : !IsDigit(m_text[k])) return kFail;
        }
        return semicolon + 1;
    }
    for (const NamedEntity& entity : kNamedEntities) {
        if (Equal(p, entity.text)) return p + entity.text.size();
    }
    return p + 1;
}

// One character of text or of a quoted value. As UTF-8 a lead byte takes its whole sequence, whatever
// bytes follow it (a quote or '<' included).
size_t MarkupReader::ReadChar(size_t p) const {
    const size_t length = Utf8() ? SequenceLength(static_cast<unsigned char>(m_text[p])) : 1;
    if (length > 1) return p + length;
    return m_text[p] == '&' ? ReadEntity(p) : p + 1;
}

// From the opening quote to just after the closing one, which must not end the text.
size_t MarkupReader::ReadQuoted(size_t p) const {
    const char quote = m_text[p++];
    while (!AtEnd(p) && m_text[p] != quote) {
        p = ReadChar(p);
        if (p == kFail) return kFail;
    }
    if (AtEnd(p) || AtEnd(p + 1)) return kFail;
    return p + 1;
}

size_t MarkupReader::ReadAttribute(size_t p, std::string_view& name, std::string* value) const {
    p = SkipWhiteSpace(p);
    const size_t nameEnd = ReadName(p);
    if (nameEnd == kFail || AtEnd(nameEnd)) return kFail;
    name = m_text.substr(p, nameEnd - p);
    p = SkipWhiteSpace(nameEnd);
    if (At(p) != '=') return kFail;
    p = SkipWhiteSpace(p + 1);
    if (AtEnd(p)) return kFail;
    if (m_text[p] == '"' || m_text[p] == '\'') {
        const size_t end = ReadQuoted(p);
        if (end != kFail && value != nullptr) *value = Decode(p + 1, end - 1);
        return end;
    }
    const size_t start = p;
    while (!AtEnd(p) && !IsWhiteSpace(m_text[p]) && m_text[p] != '/' && m_text[p] != '>') {
        if (m_text[p] == '"' || m_text[p] == '\'') return kFail;
        ++p;
    }
    if (value != nullptr) value->assign(m_text.substr(start, p - start));
    return p;
}

// Text inside an element, up to the '<' that ends it (or the end of the text). On failure, `failedAt` is
// the reference the parser gave up on.
size_t MarkupReader::ReadText(size_t p, size_t& failedAt) const {
    while (!AtEnd(p) && m_text[p] != '<') {
        failedAt = p;
        p = IsWhiteSpace(m_text[p]) ? p + 1 : ReadChar(p);
        if (p == kFail) return kFail;
    }
    return p;
}

// "</name", white space, '>', for the innermost open element.
size_t MarkupReader::ReadEndTag(size_t p) const {
    const std::string_view name = m_open.back();
    if (!Equal(p + 2, name)) return kFail;
    p = SkipWhiteSpace(p + 2 + name.size());
    return At(p) == '>' ? p + 1 : kFail;
}

// "<?xml" in any case. Quoted values are read only after version, encoding or standalone (names that
// begin so, in any case), so only there can the declaration go on past a '>'. On failure, `failedAt` is
// where the value the parser gave up on begins, or the end of the text.
size_t MarkupReader::ReadDeclaration(size_t p, std::string& encoding, size_t& failedAt) const {
    p += 5;
    failedAt = m_text.size();
    while (!AtEnd(p)) {
        if (m_text[p] == '>') return p + 1;
        p = SkipWhiteSpace(p);
        if (AtEnd(p)) return kFail;
        failedAt = p;
        const bool isEncoding = !Equal(p, "version", true) && Equal(p, "encoding", true);
        if (isEncoding || Equal(p, "version", true) || Equal(p, "standalone", true)) {
            std::string_view name;
            std::string value;
            p = ReadAttribute(p, name, &value);
            if (p == kFail) return kFail;
            if (isEncoding) encoding = std::move(value);
        } else {
            while (!AtEnd(p) && m_text[p] != '>' && !IsWhiteSpace(m_text[p])) ++p;
        }
        failedAt = m_text.size();
    }
    return kFail;
}

MarkupReader::Node MarkupReader::Identify(size_t p) const {
    if (Equal(p, "<?xml", true)) return Node::Declaration;
    if (Equal(p, "<!--")) return Node::Comment;
    if (Equal(p, "<![CDATA[")) return Node::Cdata;
    if (Equal(p, "<!")) return Node::Unknown;
    const auto next = static_cast<unsigned char>(At(p + 1));
    return IsAlpha(next) || next == '_' ? Node::Element : Node::Unknown;
}

// A quoted value as the parser stores it; only needed for the declared encoding, which is read before
// the text counts as UTF-8, so one byte is one character.
std::string MarkupReader::Decode(size_t from, size_t to) const {
    std::string out;
    for (size_t p = from; p < to;) {
        if (m_text[p] != '&') {
            out += m_text[p++];
            continue;
        }
        const size_t next = ReadEntity(p);
        // A reference the parser cannot read ends the value: in UTF-8 text the value's check stepped
        // over this '&' inside a character, so here it may run to the end of the text.
        if (next == kFail) break;
        if (At(p + 1) == '#' && next > p + 1) {
            const bool hex = At(p + 2) == 'x';
            unsigned long code = 0;
            unsigned multiplier = 1;
            for (size_t k = next - 2; m_text[k] != (hex ? 'x' : '#'); --k) {
                const char c = m_text[k];
                const unsigned digit = IsDigit(c) ? c - '0' : (c | 0x20) - 'a' + 10;
                code += multiplier * digit;
                multiplier *= hex ? 16 : 10;
            }
            out += static_cast<char>(code);
        } else {
            for (const NamedEntity& entity : kNamedEntities) {
                if (next - p == entity.text.size() && Equal(p, entity.text)) out += entity.value;
            }
            // An unknown '&' is dropped.
        }
        p = next;
    }
    return out;
}

// The parser keeps the value as a C string, so it ends at a zero byte, and compares it before it knows
// the encoding, a byte at a time.
MarkupReader::Encoding MarkupReader::EncodingNamed(std::string name) {
    name.resize(std::min(name.size(), name.find('\0')));
    if (name.empty()) return Encoding::Utf8;
    const auto startsWith = [&name](std::string_view prefix) {
        if (name.size() < prefix.size()) return false;
        for (size_t i = 0; i < prefix.size(); ++i) {
            if (std::tolower(static_cast<int>(name[i])) != std::tolower(static_cast<int>(prefix[i])))
                return false;
        }
        return true;
    };
    return startsWith("UTF-8") || startsWith("UTF8") ? Encoding::Utf8 : Encoding::Legacy;
}

MarkupGuard::Reading MarkupReader::Run() {
    if (Equal(0, kByteOrderMarks[0])) m_encoding = Encoding::Utf8;
    Step step;
    while (!step.end) step = OnMarkup(SkipWhiteSpace(step.next));
    return *step.end;
}

MarkupReader::Step MarkupReader::OnMarkup(size_t p) {
    if (AtEnd(p)) return Stop(Ended(m_text.size()));
    if (m_text[p] != '<') return OnText(p);
    if (!m_open.empty() && Equal(p, "</")) return OnEndTag(p);
    if (++m_nodes > m_limits.maxNodes) return Stop(Limited(p));
    switch (Identify(p)) {
        case Node::Declaration:
            return OnDeclaration(p);
        case Node::Comment:
            return OnSkipped(p + 4, "-->");
        case Node::Cdata:
            return OnSkipped(p + 9, "]]>");
        case Node::Unknown:
            return OnSkipped(p + 1, ">");
        case Node::Element:
            break;
    }
    return OnStartTag(p);
}

MarkupReader::Step MarkupReader::OnText(size_t p) const {
    // Outside the root the parser reads no text: it stops there.
    if (m_open.empty()) return Stop(Ended(p));
    size_t failedAt = p;
    const size_t end = ReadText(p, failedAt);
    return end == kFail ? Stop(Ended(failedAt)) : Next(end);
}

MarkupReader::Step MarkupReader::OnEndTag(size_t p) {
    const size_t end = ReadEndTag(p);
    if (end == kFail) return Stop(Ended(p));
    m_open.pop_back();
    return Next(end);
}

MarkupReader::Step MarkupReader::OnDeclaration(size_t p) {
    std::string encoding;
    size_t failedAt = p;
    const size_t end = ReadDeclaration(p, encoding, failedAt);
    if (end == kFail) return Stop(Ended(failedAt));
    if (m_open.empty() && m_encoding == Encoding::Unknown) m_encoding = EncodingNamed(encoding);
    return Next(end);
}

// Comments, CDATA sections and unknown markup run to the end of the text when their terminator never
// comes.
MarkupReader::Step MarkupReader::OnSkipped(size_t from, std::string_view terminator) const {
    const size_t at = m_text.find(terminator, from);
    return at == std::string_view::npos ? Stop(Ended(m_text.size())) : Next(at + terminator.size());
}

// The parser looks each attribute up among the earlier ones, and a repeated name ends the parse.
MarkupReader::Step MarkupReader::OnStartTag(size_t start) {
    const size_t nameStart = SkipWhiteSpace(start + 1);
    const size_t nameEnd = ReadName(nameStart);
    if (nameEnd == kFail) return Stop(Ended(start));
    // A name cut by the end of the text still makes the element, which the parse leaves open.
    if (AtEnd(nameEnd)) return Stop(EndedInTag(nameEnd));
    std::vector<std::string_view> attributes;
    for (size_t p = nameEnd;;) {
        p = SkipWhiteSpace(p);
        if (AtEnd(p)) return Stop(EndedInTag(m_text.size()));
        if (m_text[p] == '/') return At(p + 1) == '>' ? Next(p + 2) : Stop(EndedInTag(p));
        if (m_text[p] == '>') return OnOpened(start, m_text.substr(nameStart, nameEnd - nameStart), p + 1);
        if (attributes.size() >= m_limits.maxAttributes) return Stop(Limited(start));
        const size_t attributeStart = p;
        std::string_view name;
        p = ReadAttribute(p, name, nullptr);
        if (p == kFail || AtEnd(p) ||
            std::find(attributes.begin(), attributes.end(), name) != attributes.end()) {
            return Stop(EndedInTag(attributeStart));
        }
        attributes.push_back(name);
    }
}

MarkupReader::Step MarkupReader::OnOpened(size_t start, std::string_view name, size_t after) {
    if (m_open.size() >= m_limits.maxDepth) return Stop(Limited(start));
    m_open.push_back(name);
    return Next(after);
}

}  // namespace

MarkupGuard::Reading MarkupGuard::Read(std::string_view text) const {
    return MarkupReader(text, m_limits).Run();
}

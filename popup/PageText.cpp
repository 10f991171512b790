#include "popup/PageText.h"

#include <cerrno>

#include <glib.h>

#include "feed/IconvDescriptor.h"

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

bool IsUtf8Name(const std::string& charset) {
    return g_ascii_strcasecmp(charset.c_str(), "UTF-8") == 0 ||
           g_ascii_strcasecmp(charset.c_str(), "UTF8") == 0;
}

}  // namespace

std::string PageText::ValidUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    const char* p = text.data();
    const char* const end = text.data() + text.size();
    while (p < end) {
        const char* validEnd = nullptr;
        if (g_utf8_validate_len(p, static_cast<gsize>(end - p), &validEnd)) {
            out.append(p, end);
            break;
        }
        out.append(p, validEnd);
        // A NUL is valid text here; g_utf8_validate stops at it.
        if (validEnd < end && *validEnd == '\0') {
            out += '\0';
        } else {
            out += kReplacement;
        }
        p = validEnd + 1;
    }
    return out;
}

std::string PageText::ToUtf8(std::string_view text, const std::string& fromCharset) {
    if (IsUtf8Name(fromCharset)) return ValidUtf8(text);
    IconvDescriptor& cd = IconvDescriptor::ForThread("UTF-8", fromCharset);
    if (!cd.IsValid()) return ValidUtf8(text);

    std::string out;
    out.reserve(text.size() * 3 / 2 + 4);
    std::string chunk(256, '\0');
    char* in = const_cast<char*>(text.data());
    size_t inLeft = text.size();
    while (inLeft > 0) {
        char* outPtr = chunk.data();
        size_t outLeft = chunk.size();
        const size_t rc = iconv(cd.Get(), &in, &inLeft, &outPtr, &outLeft);
        const int err = errno;
        out.append(chunk.data(), chunk.size() - outLeft);
        if (rc != static_cast<size_t>(-1)) continue;
        if (err == E2BIG) continue;
        // Illegal or truncated sequence: one replacement for the byte, then go on after it.
        out += kReplacement;
        ++in;
        --inLeft;
        cd.Reset();
    }
    return out;
}

FeedItem PageText::ForPage(const FeedItem& stored, const std::string& localeCodeset) {
    FeedItem page;
    page.msg_picurl = ToUtf8(stored.msg_picurl, localeCodeset);
    page.msg_top = ValidUtf8(stored.msg_top);
    page.msg_title = ToUtf8(stored.msg_title, "GBK");
    page.msg_date = ValidUtf8(stored.msg_date);
    page.msg_url = ValidUtf8(stored.msg_url);
    page.msg_id = ValidUtf8(stored.msg_id);
    page.msg_buyurl = ToUtf8(stored.msg_buyurl, localeCodeset);
    return page;
}

#include "popup/PageText.h"

#include <glib.h>

#include "platform/Charset.h"
#include "platform/Unicode.h"

namespace {

bool IsUtf8Name(const std::string& charset) {
    return g_ascii_strcasecmp(charset.c_str(), "UTF-8") == 0 ||
           g_ascii_strcasecmp(charset.c_str(), "UTF8") == 0;
}

}  // namespace

std::string PageText::ToUtf8(std::string_view text, const std::string& fromCharset) {
    if (IsUtf8Name(fromCharset)) return platform::ValidUtf8(text);
    // U+FFFD for each byte that does not decode, a cut-off last character included.
    static constexpr platform::Substitute kPerByte{"\xEF\xBF\xBD", 1, true};
    if (auto utf8 = platform::ConvertText(text, "UTF-8", fromCharset, kPerByte)) return std::move(*utf8);
    return platform::ValidUtf8(text);
}

FeedItem PageText::ForPage(const FeedItem& stored, const std::string& localeCodeset) {
    FeedItem page;
    page.msg_picurl = ToUtf8(stored.msg_picurl, localeCodeset);
    page.msg_top = platform::ValidUtf8(stored.msg_top);
    page.msg_title = ToUtf8(stored.msg_title, "GBK");
    page.msg_date = platform::ValidUtf8(stored.msg_date);
    page.msg_url = platform::ValidUtf8(stored.msg_url);
    page.msg_id = platform::ValidUtf8(stored.msg_id);
    page.msg_buyurl = ToUtf8(stored.msg_buyurl, localeCodeset);
    return page;
}

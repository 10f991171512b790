#pragma once

#include <string>
#include <string_view>

#include "store/FeedItem.h"

// Brings stored item text to the page's UTF-8. Each field keeps its own encoding in the store:
// titles GBK, picture and buy links the locale's codeset, date and link the feed's own bytes.
class PageText {
  public:
    // `text` read in `fromCharset`, as UTF-8. Bytes that do not decode become U+FFFD and the rest of
    // the text goes on; an unknown charset is treated as UTF-8.
    static std::string ToUtf8(std::string_view text, const std::string& fromCharset);
    // The seven fields the page shows, each converted from its stored encoding; `localeCodeset` is the
    // codeset of the picture and buy links.
    static FeedItem ForPage(const FeedItem& stored, const std::string& localeCodeset);
};

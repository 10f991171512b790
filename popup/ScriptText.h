#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "store/FeedItem.h"

// The exact texts the host runs in its page. Every text is UTF-8.
class ScriptText {
  public:
    static constexpr std::string_view kClearItems = "ClearItems()";

    // A double-quoted JavaScript string literal holding `utf8` unchanged. Quote, backslash, control
    // characters, U+2028/U+2029 and "</" are escaped; everything else is copied byte for byte, so a
    // plain value p gives "p".
    static std::string Literal(std::string_view utf8);
    // AddAllItem("picurl","top","title","date","url","id","buyurl") with each field already in UTF-8.
    static std::string AddAllItem(const FeedItem& utf8Item);
    // InitAllNum(unread,total) in plain decimal, however many digits.
    static std::string InitAllNum(int64_t unread, int64_t total);
};

#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "store/FeedItem.h"

// The exact texts the host runs in its page. Every text is UTF-8.
class ScriptText {
  public:
    static constexpr std::string_view kClearItems = "ClearItems()";

    // AddAllItem("picurl","top","title","date","url","id","buyurl") with each field already in UTF-8,
    // every one a platform::ScriptLiteral.
    static std::string AddAllItem(const FeedItem& utf8Item);
    // InitAllNum(unread,total) in plain decimal, however many digits.
    static std::string InitAllNum(int64_t unread, int64_t total);
};

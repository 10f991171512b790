#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "store/FeedItem.h"

// The exact texts the host runs in its page. Every text is UTF-8.
class ScriptText {
  public:
    static constexpr std::string_view kClearItems = "ClearItems()";

    // AddAllItem("picurl","top","title","date","url","id","buyurl") with each field already in UTF-8,
    // every one a platform::ScriptLiteral.
    static std::string AddAllItem(const FeedItem& utf8Item);
    // PrependItem(...) with the same arguments as AddAllItem: the item goes on top of the page's list.
    static std::string PrependItem(const FeedItem& utf8Item);
    // Read marks of `count` entries from position `first` (0 is the top) set to `top`, UTF-8.
    struct TopRun {
        int64_t first = 0;
        int64_t count = 0;
        std::string top;
    };
    // SetItemTops([[first,count,"top"],...]).
    static std::string SetItemTops(const std::vector<TopRun>& runs);
    // InitAllNum(unread,total) in plain decimal, however many digits.
    static std::string InitAllNum(int64_t unread, int64_t total);
};

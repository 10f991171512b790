#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include <tinyxml.h>

#include "store/FeedItem.h"

class ItemStore;

// Largest feed text that is parsed; a larger one is refused whole rather than cut and parsed.
inline constexpr size_t kMaxFeedBytes = 16u * 1024 * 1024;

// Parses `text` as an RSS document and hands every item the walk reaches to the store, last item first.
// Only the first "channel" of the first "rss" element counts. The walk goes backwards over the
// channel's children named "item" and stops at one that is not an element. An item whose end the parse
// never reaches (the text breaks off or goes wrong inside it) is passed over. The new items of one
// document are committed together.
void ParseFeedDocument(std::string_view text, ItemStore& store);

// The records of every item the walk reaches, in the order ParseFeedDocument hands them over.
std::vector<FeedItem> CollectFeedItems(std::string_view text);

// Builds the record of one <item> and offers it to the store (which keeps it when its date is new).
void ExtractFeedItem(const TiXmlElement& item, ItemStore& store);

// The two halves of the above, apart so that each can be measured and checked on its own.
// ForEachFeedItem walks the items in the order ParseFeedDocument hands them over.
void ForEachFeedItem(std::string_view text, const std::function<void(const TiXmlElement&)>& visit);
FeedItem BuildFeedItem(const TiXmlElement& item);

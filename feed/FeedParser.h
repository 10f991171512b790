#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

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

// The records of every item the walk reaches, in the order ParseFeedDocument hands them over: the parse
// and the field rules without the store, so that each can be measured and checked on its own.
// `guarded` false hands the parser the whole text (up to its first zero byte), not what MarkupGuard lets
// through: only for texts the guard found within its limits, as the fuzz target's reference.
std::vector<FeedItem> CollectFeedItems(std::string_view text, bool guarded = true);

#include "feed/FeedParser.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include <tinyxml.h>

#include "platform/DebugLog.h"
#include "feed/MarkupGuard.h"
#include "feed/TextConvert.h"
#include "store/ItemStore.h"

namespace {

// Longest UTF-8 sequence the parser may step over, plus the terminator.
constexpr size_t kParserSlack = 8;

// The element's text: its first child when that is a text node (CDATA included), else empty.
std::string ChildText(const TiXmlElement& parent, const char* name) {
    const TiXmlElement* child = parent.FirstChildElement(name);
    const char* text = child ? child->GetText() : nullptr;
    return text ? text : "";
}

// From the first double quote at or after `from`: the part of the quoted value that starts at "http://".
std::optional<std::string> CutHttpValue(const std::string& content, size_t from) {
    size_t open = content.find('"', from);
    if (open == std::string::npos) {
        return std::nullopt;
    }
    size_t close = content.find('"', open + 1);
    if (close == std::string::npos) {
        return std::nullopt;
    }
    size_t http = content.find("http://", open);
    if (http == std::string::npos || http > close) {
        return std::nullopt;
    }
    return content.substr(http, close - http);
}

// The picture comes from the first "img src=", the buy link from the first "href" anywhere in the
// content, and only when a picture was found.
void CutLinks(const std::string& content, FeedItem& record) {
    size_t image = content.find("img src=");
    if (image == std::string::npos) {
        return;
    }
    std::optional<std::string> picture = CutHttpValue(content, image);
    if (!picture) {
        return;
    }
    record.msg_picurl = std::move(*picture);
    size_t href = content.find("href");
    if (href == std::string::npos) {
        return;
    }
    if (std::optional<std::string> buy = CutHttpValue(content, href)) {
        record.msg_buyurl = std::move(*buy);
    }
}

// Walks the items in the order ParseFeedDocument hands them over. Unguarded, the parser gets the whole
// text instead of what the guard lets through.
void ForEachFeedItem(std::string_view body, bool guarded,
                     const std::function<void(const TiXmlElement&)>& visit) {
    if (body.size() > kMaxFeedBytes) {
        platform::DebugLog("feed", "feed of " + std::to_string(body.size()) + " bytes refused");
        return;
    }
    const MarkupGuard::Reading reading = MarkupGuard().Read(body);
    if (reading.overLimit) {
        platform::DebugLog("feed", "feed cut at byte " + std::to_string(reading.length) +
                                       ": nested too deep, too many attributes or too many nodes");
    }
    // TinyXML steps over a whole UTF-8 sequence once it has read a lead byte, so a sequence cut short by
    // the end of the text would carry it past the terminator. Zero bytes after the text stop it there.
    // The text ends at its first zero byte, as the guard reads it: unguarded too, since the parser would
    // step over one that follows a lead byte.
    const std::string_view parsed = body.substr(0, guarded ? reading.length : body.find('\0'));
    std::string text;
    text.reserve(parsed.size() + kParserSlack);
    text.append(parsed).append(kParserSlack, '\0');

    TiXmlDocument document;
    document.Parse(text.c_str(), nullptr, TIXML_ENCODING_UNKNOWN);
    if (document.Error()) {
        platform::DebugLog("feed", std::string("feed parse error: ") + document.ErrorDesc());
    }
    const TiXmlElement* rss = document.FirstChildElement("rss");
    const TiXmlElement* channel = rss ? rss->FirstChildElement("channel") : nullptr;
    if (!channel) {
        return;
    }
    // The parse broke off inside the elements still open where it ended: the last child at each level.
    // An item among them holds only what came before the break, and since newness goes by date it
    // would never be stored whole; it is left for a poll that brings it complete.
    const TiXmlNode* unfinished = nullptr;
    if (reading.openAtEnd >= 3 && document.Error() && document.LastChild() == rss &&
        rss->LastChild() == channel) {
        unfinished = channel->LastChild();
    }
    for (const TiXmlNode* node = channel->LastChild("item"); node; node = node->PreviousSibling("item")) {
        const TiXmlElement* item = node->ToElement();
        if (!item) {
            break;
        }
        if (node == unfinished) {
            platform::DebugLog("feed", "the last item breaks off; left for a later poll");
            continue;
        }
        visit(*item);
    }
}

// The record of one <item>, by the field rules.
FeedItem ExtractFeedItem(const TiXmlElement& item) {
    FeedItem record;
    record.msg_date = ChildText(item, "pubDate");
    if (item.FirstChildElement("content:encoded")) {
        CutLinks(Utf8ToAnsi(ChildText(item, "content:encoded")), record);
    }
    record.msg_url = ChildText(item, "link");
    if (item.FirstChildElement("title")) {
        record.msg_title = ConvertCharset(ChildText(item, "title"), "GBK", "UTF-8");
    }
    return record;
}

}  // namespace

std::vector<FeedItem> CollectFeedItems(std::string_view text, bool guarded) {
    std::vector<FeedItem> items;
    ForEachFeedItem(text, guarded,
                    [&items](const TiXmlElement& item) { items.push_back(ExtractFeedItem(item)); });
    return items;
}

void ParseFeedDocument(std::string_view text, ItemStore& store) {
    // Parsed and converted before the store is touched, so its lock is held for the writes alone.
    store.InsertNewItems(CollectFeedItems(text));
}

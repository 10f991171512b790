#pragma once

#include <string>
#include <vector>

namespace harness {

// One <item> of a test feed.
struct RssItem {
    std::string date;
    std::string title;
    std::string link;
    std::string content;  // goes into content:encoded as CDATA
};

// Text made safe for XML character data.
std::string XmlText(const std::string& text);
// The item's XML; an empty field is left out.
std::string ItemXml(const RssItem& item);
// An RSS 2.0 document whose channel holds `channelBody` after the channel's own fields.
std::string Rss(const std::string& channelBody);
std::string Rss(const std::vector<RssItem>& items);

}  // namespace harness

#include "tools/harness/Rss.h"

namespace harness {

std::string XmlText(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

std::string ItemXml(const RssItem& item) {
    std::string xml = "<item>";
    if (!item.title.empty()) xml += "<title>" + XmlText(item.title) + "</title>";
    if (!item.link.empty()) xml += "<link>" + XmlText(item.link) + "</link>";
    if (!item.date.empty()) xml += "<pubDate>" + XmlText(item.date) + "</pubDate>";
    if (!item.content.empty()) xml += "<content:encoded><![CDATA[" + item.content + "]]></content:encoded>";
    return xml + "</item>";
}

std::string Rss(const std::string& channelBody) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<rss version=\"2.0\" xmlns:content=\"http://purl.org/rss/1.0/modules/content/\">\n"
           "<channel><title>Deals</title><link>http://deals.test/</link><description>d</description>\n" +
           channelBody + "\n</channel></rss>\n";
}

std::string Rss(const std::vector<RssItem>& items) {
    std::string body;
    for (const RssItem& item : items) body += ItemXml(item) + "\n";
    return Rss(body);
}

}  // namespace harness

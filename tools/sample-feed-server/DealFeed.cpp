#include "DealFeed.h"

#include <ctime>
#include <utility>

#include <glib.h>

namespace {

// Chinese, emoji and plain ASCII titles; the '&' and '<' check that the writer escapes.
const char* const kTitles[] = {
    "【历史低价】无线静音鼠标 ￥49",
    "🔥 65W 氮化镓快充充电器 限时秒杀",
    "Noise-cancelling headphones, $59.99 (save 40%)",
    "坚果礼盒 1.5kg 满199减100 🎁",
    "27\" 4K IPS monitor & free shipping",
    "不锈钢保温杯 500ml 第二件半价",
    "USB-C hub 7-in-1 <today only>",
    "😀 儿童积木 1000 片 领券立减 ￥30",
};

std::string EscapeXml(const std::string& text) {
    char* escaped = g_markup_escape_text(text.data(), static_cast<gssize>(text.size()));
    std::string out(escaped);
    g_free(escaped);
    return out;
}

std::string Rfc822(DealFeed::TimePoint when) {
    std::time_t seconds = std::chrono::system_clock::to_time_t(when);
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    char text[64];
    std::strftime(text, sizeof text, "%a, %d %b %Y %H:%M:%S +0000", &utc);
    return text;
}

}  // namespace

DealFeed::DealFeed(std::string origin, TimePoint first, std::chrono::seconds interval, unsigned keep)
    : m_origin(std::move(origin)), m_first(first), m_interval(interval), m_keep(keep) {}

unsigned long DealFeed::Published(TimePoint now) const {
    if (now < m_first) return 0;
    return static_cast<unsigned long>((now - m_first) / m_interval) + 1;
}

std::string DealFeed::ItemXml(unsigned long k) const {
    std::string number = std::to_string(k);
    std::string title = "#" + number + " " + kTitles[k % std::size(kTitles)];
    std::string picture = m_origin + "/img/" + std::to_string(k % kPictures) + ".png";
    std::string content = "<p><img src=\"" + picture + "\" alt=\"\" /></p><p>" + EscapeXml(title) +
                          "</p><p><a href=\"" + m_origin + "/buy/" + number + "\">去购买</a></p>";
    return "  <item>\n"
           "    <title>" +
           EscapeXml(title) +
           "</title>\n"
           "    <link>" +
           m_origin + "/deal/" + number +
           "</link>\n"
           "    <pubDate>" +
           Rfc822(m_first + k * m_interval) +
           "</pubDate>\n"
           "    <guid isPermaLink=\"false\">deal-" +
           number +
           "</guid>\n"
           "    <content:encoded><![CDATA[" +
           content +
           "]]></content:encoded>\n"
           "  </item>\n";
}

std::string DealFeed::Render(TimePoint now) const {
    std::string xml =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<rss version=\"2.0\" xmlns:content=\"http://purl.org/rss/1.0/modules/content/\">\n"
        "<channel>\n"
        "  <title>Sample deals</title>\n"
        "  <link>" +
        m_origin +
        "/</link>\n"
        "  <description>A local feed for trying the notifier</description>\n";
    unsigned long published = Published(now);
    unsigned long oldest = published > m_keep ? published - m_keep : 0;
    for (unsigned long k = published; k > oldest; --k) xml += ItemXml(k - 1);
    return xml + "</channel>\n</rss>\n";
}

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

// 2026-12-01 00:00:00 UTC, the day made deals are dated in.
const DealFeed::TimePoint kMadeDay = std::chrono::system_clock::from_time_t(1'796'083'200);

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

std::string Element(const std::string& name, const std::string& text) {
    return "    <" + name + ">" + text + "</" + name + ">\n";
}

std::string ItemXml(const Deal& deal) {
    const std::string content = "<p><img src=\"" + deal.pictureUrl + "\" alt=\"\" /></p><p>" +
                                EscapeXml(deal.title) + "</p><p><a href=\"" + deal.buyUrl +
                                "\">去购买</a></p>";
    return "  <item>\n" + Element("title", EscapeXml(deal.title)) + Element("link", EscapeXml(deal.link)) +
           Element("pubDate", EscapeXml(deal.pubDate)) + "    <guid isPermaLink=\"false\">" +
           EscapeXml(deal.guid) + "</guid>\n" + Element("content:encoded", "<![CDATA[" + content + "]]>") +
           "  </item>\n";
}

}  // namespace

DealFeed::DealFeed(std::string origin, Publisher publish)
    : m_origin(std::move(origin)), m_publish(std::move(publish)) {
    Publish();
}

DealFeed DealFeed::AsOf(std::string origin, TimePoint first, std::chrono::seconds interval, TimePoint now,
                        unsigned keep) {
    DealFeed feed(std::move(origin));
    const unsigned long published =
        now < first ? 0 : static_cast<unsigned long>((now - first) / interval) + 1;
    for (unsigned long k = published > keep ? published - keep : 0; k < published; ++k) {
        const std::string title = "#" + std::to_string(k) + " " + kTitles[k % std::size(kTitles)];
        feed.m_deals.push_back(feed.At(k, title, first + k * interval));
    }
    return feed;
}

Deal DealFeed::At(unsigned long n, std::string title, TimePoint date) const {
    const std::string number = std::to_string(n);
    return Deal{std::move(title),
                m_origin + "/deal/" + number,
                Rfc822(date),
                m_origin + "/img/" + std::to_string(n % kPictures) + ".png",
                m_origin + "/buy/" + number,
                "deal-" + number};
}

Deal DealFeed::Make(unsigned long n, const std::string& prefix) const {
    return At(n, prefix + " " + std::to_string(n), kMadeDay + std::chrono::seconds(n));
}

void DealFeed::Add(Deal deal) {
    m_deals.push_back(std::move(deal));
    Publish();
}

void DealFeed::AddRange(unsigned long first, unsigned long last, const std::string& prefix) {
    for (unsigned long n = first; n <= last; ++n) m_deals.push_back(Make(n, prefix));
    Publish();
}

void DealFeed::Clear() {
    m_deals.clear();
    Publish();
}

std::string DealFeed::Render() const {
    std::string xml =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<rss version=\"2.0\" xmlns:content=\"http://purl.org/rss/1.0/modules/content/\">\n"
        "<channel>\n"
        "  <title>Sample deals</title>\n"
        "  <link>" +
        m_origin +
        "/</link>\n"
        "  <description>A local feed for trying the notifier</description>\n";
    for (auto it = m_deals.rbegin(); it != m_deals.rend(); ++it) xml += ItemXml(*it);
    return xml + "</channel>\n</rss>\n";
}

void DealFeed::Publish() const {
    if (m_publish) m_publish(Render());
}

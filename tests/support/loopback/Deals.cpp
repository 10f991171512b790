#include "tests/support/loopback/Deals.h"

#include <cstdio>

#include "tests/support/Rss.h"
#include "tests/support/loopback/FeedServer.h"

namespace test_support {

DealList::DealList(FeedServer& server) : m_server(server) { Serve(); }

Deal DealList::Make(int n, const std::string& prefix) const {
    char date[64];
    std::snprintf(date, sizeof date, "Tue, 01 Dec 2026 %02d:%02d:%02d +0800", (n / 3600) % 24, (n / 60) % 60,
                  n % 60);
    const std::string base = m_server.Url();
    const std::string number = std::to_string(n);
    return Deal{prefix + " " + number, base + "deal/" + number, date, base + "img/" + number + ".png",
                base + "buy/" + number};
}

void DealList::Add(Deal deal) {
    m_deals.push_back(std::move(deal));
    Serve();
}

void DealList::AddRange(int first, int last, const std::string& prefix) {
    for (int n = first; n <= last; ++n) m_deals.push_back(Make(n, prefix));
    Serve();
}

void DealList::Clear() {
    m_deals.clear();
    Serve();
}

void DealList::Serve() {
    std::vector<RssItem> items;
    for (auto it = m_deals.rbegin(); it != m_deals.rend(); ++it) {
        std::string content = "<p>";
        if (!it->buyUrl.empty()) content += "<a href=\"" + it->buyUrl + "\">buy</a>";
        if (!it->pictureUrl.empty()) content += "<img src=\"" + it->pictureUrl + "\" />";
        items.push_back({it->pubDate, it->title, it->link, content + "</p>"});
    }
    m_server.SetBody(Rss(items));
}

}  // namespace test_support

#pragma once

#include <string>
#include <vector>

namespace test_support {

class FeedServer;

// A deal as the runs of the real program serve it. Empty picture or buy links leave the <img> or <a>
// out of the content.
struct Deal {
    std::string title;  // UTF-8
    std::string link;
    std::string pubDate;
    std::string pictureUrl;
    std::string buyUrl;
};

// The deals a FeedServer serves, listed the last added first as a site lists them; the feed is written
// again whenever the list changes.
class DealList {
  public:
    explicit DealList(FeedServer& server);

    // Deal n: title "<prefix> n", detail, picture and buy links on the server, a pubDate of its own.
    Deal Make(int n, const std::string& prefix = "Deal") const;
    void Add(Deal deal);
    // Adds deals first..last.
    void AddRange(int first, int last, const std::string& prefix = "Deal");
    void Clear();
    std::size_t Count() const { return m_deals.size(); }

  private:
    void Serve();

    FeedServer& m_server;
    std::vector<Deal> m_deals;
};

}  // namespace test_support

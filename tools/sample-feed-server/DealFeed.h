#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

// One item of the feed; the picture and buy links go into its content.
struct Deal {
    std::string title;  // UTF-8
    std::string link;
    std::string pubDate;
    std::string pictureUrl;
    std::string buyUrl;
    std::string guid;
};

// The deals feed of a site at `origin` ("http://127.0.0.1:PORT"), which has deal N's pages at /deal/N and
// /buy/N and its picture at /img/<N mod kPictures>.png. The deals are listed the last added first, as a
// site lists them. The sample server serves it; the tests and benchmarks serve and parse it too.
class DealFeed {
  public:
    using TimePoint = std::chrono::system_clock::time_point;
    // Gets the document again after every change.
    using Publisher = std::function<void(std::string rss)>;

    // How many pictures the deals cycle through (/img/0.png ... /img/N-1.png).
    static constexpr unsigned kPictures = 8;

    // An empty feed; `publish`, when given, gets it at once.
    explicit DealFeed(std::string origin, Publisher publish = {});

    // The sample site at `now`: deal k, titled "#k" and one of a few sample titles, is dated
    // `first + k * interval` and listed once that date has come; the last `keep` of those are listed.
    static DealFeed AsOf(std::string origin, TimePoint first, std::chrono::seconds interval, TimePoint now,
                         unsigned keep = 30);

    // Deal n titled "<prefix> n", dated n seconds into a day of its own.
    Deal Make(unsigned long n, const std::string& prefix = "Deal") const;
    void Add(Deal deal);
    // Adds deals first..last.
    void AddRange(unsigned long first, unsigned long last, const std::string& prefix = "Deal");
    void Clear();
    std::size_t Count() const { return m_deals.size(); }

    // The RSS 2.0 document.
    std::string Render() const;

  private:
    Deal At(unsigned long n, std::string title, TimePoint date) const;
    void Publish() const;

    std::string m_origin;
    Publisher m_publish;
    std::vector<Deal> m_deals;
};

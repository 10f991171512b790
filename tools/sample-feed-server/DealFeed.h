#pragma once

#include <chrono>
#include <string>

// The sample deals feed: items appear one per interval, the newest first, the last `keep` of them
// listed. Item k is dated `first + k * interval`; items dated up to `now` are listed.
class DealFeed {
  public:
    using TimePoint = std::chrono::system_clock::time_point;

    DealFeed(std::string origin, TimePoint first, std::chrono::seconds interval, unsigned keep = 30);

    // The RSS 2.0 document as it stands at `now`.
    std::string Render(TimePoint now) const;
    // Number of items published up to `now`.
    unsigned long Published(TimePoint now) const;
    // How many pictures the items cycle through (served as /img/0.png ... /img/N-1.png).
    static constexpr unsigned kPictures = 8;

  private:
    std::string ItemXml(unsigned long k) const;

    std::string m_origin;  // "http://127.0.0.1:PORT"
    TimePoint m_first;
    std::chrono::seconds m_interval;
    unsigned m_keep;
};

// Hostile feeds through the real download path into a real store: the process stays up, the store
// holds exactly what the field rules give, and it keeps working afterwards.
#include <malloc.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "HostileFeeds.h"
#include "feed/FeedDownload.h"
#include "feed/FeedPoller.h"
#include "tests/support/CaseName.h"
#include "tools/harness/ProcessStatus.h"
#include "tools/harness/RawDb.h"
#include "tools/harness/loopback/FeedServer.h"

namespace hostile {
namespace {

std::string Brief(const std::string& value) {
    std::ostringstream out;
    out << value.size() << " bytes: ";
    for (unsigned char c : value.substr(0, 80)) {
        if (c < 0x20 || c >= 0x7f)
            out << "\\x" << std::hex << static_cast<int>(c) << std::dec;
        else
            out << c;
    }
    return out.str();
}

// Date, link, title, picture and buy link, each briefly.
std::string Brief(const Row& row) {
    return std::apply([](const auto&... field) { return ((Brief(field) + "\n    ") + ...); }, row);
}

// Row by row, printing only the first few differences: some rows hold megabytes.
void ExpectRows(const std::vector<Row>& actual, const std::vector<Expected>& expected) {
    ASSERT_EQ(actual.size(), expected.size());
    for (size_t i = 0, reported = 0; i < actual.size() && reported < 5; ++i) {
        if (actual[i] == expected[i].stored) continue;
        ++reported;
        ADD_FAILURE() << "row " << i << "\n  stored:\n    " << Brief(actual[i]) << "\n  expected:\n    "
                      << Brief(expected[i].stored);
    }
}

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitized = true;  // their allocators keep freed memory resident on purpose
#else
constexpr bool kSanitized = false;
#endif

// Peak resident memory from now on, in KiB. Freed memory goes back to the system first and the peak
// is reset to the current size, so earlier tests do not hide or inflate the figure.
class PeakMemory {
  public:
    PeakMemory() {
        malloc_trim(0);
        std::ofstream("/proc/self/clear_refs") << "5";
        m_start = StatusField("VmRSS:");
    }
    long GrowthKiB() const { return StatusField("VmHWM:") - m_start; }
    // The figure is checked only where the allocator returns memory.
    void ExpectBelowMiB(long limit) const {
        const long growth = GrowthKiB();
        std::printf("peak memory growth: %ld KiB\n", growth);
        if (!kSanitized) {
            EXPECT_LT(growth, limit * 1024);
        }
    }

  private:
    long m_start = 0;
};

class HostileFeed : public testing::TestWithParam<HostileCase> {
  protected:
    void Poll() { m_poller.PollOnce({}); }

    FeedServer m_server;
    TempDir m_dir{TempDir::Backing::Memory};
    ItemStore m_store{m_dir.ModuleDir()};
    FeedPoller m_poller{m_server.Url(), m_store};
};

TEST_P(HostileFeed, StoresExactlyWhatTheRulesGiveAndKeepsWorking) {
    ASSERT_TRUE(m_store.IsReady());
    const Feed feed = GetParam().make(m_server.Host());
    m_server.SetBody(feed.document);

    Poll();
    ExpectRows(StoredRows(m_store), feed.rows);

    // The same feed again adds nothing.
    Poll();
    ExpectRows(StoredRows(m_store), feed.rows);

    // Tables and counters survived whatever the values held: an ordinary item still goes in on top.
    m_server.SetBody(Rss(std::vector<RssItem>{{"after", "after", "http://deals.test/after", ""}}));
    Poll();
    const auto rows = StoredRows(m_store);
    ASSERT_EQ(rows.size(), feed.rows.size() + 1);
    EXPECT_EQ(rows.front(), Row("after", "http://deals.test/after", "after", "", ""));

    RawDb raw(m_dir.Rcd());
    EXPECT_EQ(raw.Scalar("PRAGMA integrity_check"), "ok");
    EXPECT_EQ(raw.Scalar("select count(*) from itemdate"), "1");
    EXPECT_EQ(raw.Scalar("select msg_date from itemdate"), "after");
    EXPECT_EQ(raw.Scalar("select max(ID) from items"), std::to_string(feed.rows.size() + 1));
    EXPECT_EQ(raw.Scalar("select count(*) from items where msg_top <> ''"), "0");
}

INSTANTIATE_TEST_SUITE_P(Payloads, HostileFeed, testing::ValuesIn(HostileCases()), CaseName());

// The XML parser has no entity definitions of its own beyond the five predefined ones and stops at an
// internal DTD subset, so neither kind of bomb can grow anything.
class EntityBomb : public HostileFeed {};

std::string LaughsDtd() {
    std::string dtd = "<!DOCTYPE rss [\n<!ENTITY lol0 \"lol\">\n";
    for (int i = 1; i <= 9; ++i) {
        std::string refs;
        for (int j = 0; j < 10; ++j) refs += "&lol" + std::to_string(i - 1) + ";";
        dtd += "<!ENTITY lol" + std::to_string(i) + " \"" + refs + "\">\n";
    }
    return dtd + "]>\n";
}

TEST_F(EntityBomb, DeclaredBombStoresNothingAndGrowsNothing) {
    const PeakMemory peak;
    const std::string items = "<item><title>&lol9;</title><link>&lol9;</link><pubDate>bomb</pubDate></item>";
    m_server.SetBody("<?xml version=\"1.0\"?>\n" + LaughsDtd() + Rss(items).substr(Rss(items).find("<rss")));
    Poll();
    EXPECT_EQ(StoredRows(m_store).size(), 0u);
    // Expanded, the title alone would be 3 GB.
    peak.ExpectBelowMiB(256);

    m_server.SetBody(Rss(std::vector<RssItem>{{"after", "after", "http://deals.test/after", ""}}));
    Poll();
    EXPECT_EQ(StoredRows(m_store).size(), 1u);
}

TEST_F(EntityBomb, UndeclaredReferencesStayShort) {
    const std::string refs = Repeat("&lol9;", 10'000);
    const std::string items =
        "<item><title>" + refs + "</title><link>x" + refs + "</link><pubDate>bomb</pubDate></item>";
    m_server.SetBody(Rss(items));
    Poll();
    const auto rows = StoredRows(m_store);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(std::get<0>(rows[0]), "bomb");
    EXPECT_LE(std::get<1>(rows[0]).size(), refs.size() + 1);
    EXPECT_LE(std::get<2>(rows[0]).size(), refs.size());
    EXPECT_EQ(std::get<2>(rows[0]).find("lollol"), std::string::npos);
}

// A body just under the size cap made of nothing but tiny markup: the parser spends a few hundred
// bytes on every node, so unchecked this costs the better part of a gigabyte every poll.
struct FloodCase {
    const char* name;
    const char* unit;
};

class MarkupFlood : public testing::TestWithParam<FloodCase> {};

TEST_P(MarkupFlood, ParsesInBoundedMemoryAndKeepsWhatCameBefore) {
    FeedServer server;
    TempDir dir(TempDir::Backing::Memory);
    ItemStore store(dir.ModuleDir());
    const std::string head = ItemXml({"d1", "t1", "http://deals.test/1", ""}) +
                             "<item><pubDate>d2</pubDate><title>t2</title><description>";
    const std::string tail = "</description><link>http://deals.test/2</link></item>\n" +
                             ItemXml({"d3", "t3", "http://deals.test/3", ""});
    const std::string unit = GetParam().unit;
    const size_t room = kMaxFeedBytes - Rss(head + tail).size();
    server.SetBody(Rss(head + Repeat(unit, room / unit.size()) + tail));

    const PeakMemory peak;
    FeedPoller(server.Url(), store).PollOnce({});
    peak.ExpectBelowMiB(256);
    // Cut inside the flood: the first item whole; the second breaks off there and is left out.
    EXPECT_EQ(StoredRows(store), (std::vector<Row>{{"d1", "http://deals.test/1", "t1", "", ""}}));
}

INSTANTIATE_TEST_SUITE_P(Units, MarkupFlood,
                         testing::Values(FloodCase{"EmptyElements", "<a/>"},
                                         FloodCase{"Elements", "<a>x</a>"}, FloodCase{"Comments", "<!---->"},
                                         FloodCase{"Declarations", "<?x?>"}, FloodCase{"Unknown", "<!x>"},
                                         FloodCase{"Cdata", "<![CDATA[]]>"}),
                         CaseName());

}  // namespace
}  // namespace hostile

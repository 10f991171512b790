// Stopping the poll worker while a transfer hangs: Stop returns promptly, the half-received feed is
// never handed to the store, and nothing reaches the store once Stop has returned.
#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "feed/FeedPoller.h"
#include "popup/PollWorker.h"
#include "store/ItemStore.h"
#include "tests/support/CaseName.h"
#include "tools/harness/RawDb.h"
#include "tools/harness/Rss.h"
#include "tools/harness/TempDir.h"
#include "tools/harness/loopback/FeedServer.h"

namespace hostile {
namespace {

using namespace harness;
using namespace test_support;

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

struct StopCase {
    const char* name;
    bool stalled;  // the server hangs mid-body; otherwise the worker is in its pause
};

class WorkerStop : public testing::TestWithParam<StopCase> {
  protected:
    TempDir m_dir{TempDir::Backing::Memory};
    FeedServer m_server;
    ItemStore m_store{m_dir.ModuleDir()};
    std::atomic<int> m_pollsStarted{0};
    std::atomic<int> m_pollsEnded{0};
};

TEST_P(WorkerStop, ReturnsPromptlyAndTouchesNothingAfterwards) {
    ASSERT_TRUE(m_store.IsReady());
    m_server.SetBody(Rss(std::vector<RssItem>{{"d1", "t1", "http://deals.test/1", ""}}));
    m_server.SetStalled(GetParam().stalled);
    // Production limits: only the stop can end a stalled transfer within the test's time.
    FeedPoller poller(m_server.Url(), m_store);
    PollWorker worker(
        [&](std::stop_token stop) {
            ++m_pollsStarted;
            poller.PollOnce(stop);
            ++m_pollsEnded;
        },
        std::chrono::milliseconds(60'000));
    worker.Start();
    if (GetParam().stalled) {
        ASSERT_TRUE(m_server.WaitUntilStalling(10s));
        std::this_thread::sleep_for(300ms);
        ASSERT_EQ(m_pollsEnded.load(), 0) << "the transfer did not hang";
    } else {
        while (m_pollsEnded == 0) std::this_thread::sleep_for(1ms);
    }

    const auto start = Clock::now();
    worker.Stop();
    const auto took = std::chrono::duration<double>(Clock::now() - start).count();
    std::printf("Stop() took %.3f s\n", took);
    // The transfer is checked for a stop about once a second; far more than that means it was not.
    EXPECT_LT(took, 5.0);
    EXPECT_EQ(m_pollsStarted.load(), m_pollsEnded.load());

    // The store can go at once, as it does at shutdown; a late poll would crash or write here.
    const std::size_t requests = m_server.FeedHits().size();
    m_server.SetStalled(false);
    m_store.Close();
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(m_server.FeedHits().size(), requests);
    EXPECT_EQ(m_pollsStarted.load(), 1);
    RawDb raw(m_dir.Rcd());
    EXPECT_EQ(raw.Scalar("select count(*) from items"), GetParam().stalled ? "0" : "1");
}

INSTANTIATE_TEST_SUITE_P(Moments, WorkerStop,
                         testing::Values(StopCase{"DuringStalledTransfer", true},
                                         StopCase{"DuringPause", false}),
                         CaseName());

}  // namespace
}  // namespace hostile

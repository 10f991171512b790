#include "popup/PollWorker.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <fstream>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "feed/CurlGlobal.h"
#include "feed/FeedPoller.h"
#include "store/ItemStore.h"
#include "tools/harness/TempDir.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

const CurlGlobal kCurl;  // before any thread, as main() does

// Records when each poll starts and ends; a poll can be made to last a while.
class PollLog {
  public:
    explicit PollLog(std::chrono::milliseconds duration = 0ms) : m_duration(duration) {}

    PollWorker::PollFunction Function() {
        return [this](std::stop_token stop) {
            Clock::time_point start = Clock::now();
            {
                std::lock_guard lock(m_mutex);
                ++m_running;
                m_maxRunning = std::max(m_maxRunning, m_running);
            }
            if (m_duration > 0ms) {
                std::mutex idle;
                std::unique_lock lock(idle);
                m_sleep.wait_for(lock, stop, m_duration, [] { return false; });
            }
            std::lock_guard lock(m_mutex);
            --m_running;
            m_polls.push_back({start, Clock::now(), stop.stop_requested()});
            m_changed.notify_all();
        };
    }

    bool WaitForPolls(size_t count, std::chrono::milliseconds limit = 10s) {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, limit, [&] { return m_polls.size() >= count; });
    }

    struct Poll {
        Clock::time_point start, end;
        bool sawStop;
    };
    std::vector<Poll> Polls() {
        std::lock_guard lock(m_mutex);
        return m_polls;
    }
    int MaxRunning() {
        std::lock_guard lock(m_mutex);
        return m_maxRunning;
    }

  private:
    std::chrono::milliseconds m_duration;
    std::condition_variable_any m_sleep;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<Poll> m_polls;
    int m_running = 0;
    int m_maxRunning = 0;
};

TEST(PollWorker, PauseRunsFromTheEndOfOnePollToTheStartOfTheNext) {
    constexpr auto kPollTime = 120ms;
    constexpr auto kPause = 150ms;
    PollLog log(kPollTime);
    PollWorker worker(log.Function(), kPause);
    worker.Start();
    ASSERT_TRUE(log.WaitForPolls(3));
    worker.Stop();
    std::vector<PollLog::Poll> polls = log.Polls();
    for (size_t i = 1; i < polls.size(); ++i) {
        if (polls[i].sawStop) break;
        EXPECT_GE(polls[i].start - polls[i - 1].end, kPause) << "poll " << i;
        // A pause counted from the start of a poll would give only kPause here.
        EXPECT_GE(polls[i].start - polls[i - 1].start, kPollTime + kPause) << "poll " << i;
    }
}

TEST(PollWorker, FirstPollStartsAtOnceAndStopEndsThePause) {
    PollLog log;
    PollWorker worker(log.Function(), 1h);
    worker.Start();
    ASSERT_TRUE(log.WaitForPolls(1));
    Clock::time_point start = Clock::now();
    worker.Stop();
    EXPECT_LT(Clock::now() - start, 2s);
    EXPECT_EQ(log.Polls().size(), 1u);
}

TEST(PollWorker, StopAndTheDestructorReachThePollInProgress) {
    for (const bool destroy : {false, true}) {
        SCOPED_TRACE(destroy ? "destructor" : "Stop");
        PollLog log(1h);
        std::optional<PollWorker> worker(std::in_place, log.Function(), destroy ? 1h : 0ms);
        worker->Start();
        std::this_thread::sleep_for(50ms);
        destroy ? worker.reset() : worker->Stop();
        ASSERT_EQ(log.Polls().size(), 1u);
        EXPECT_TRUE(log.Polls()[0].sawStop);
    }
}

TEST(PollWorker, StartsOnceAndStopsIdempotently) {
    PollLog log(20ms);
    {
        PollWorker worker(log.Function(), 10ms);
        worker.Start();
        worker.Start();
        ASSERT_TRUE(log.WaitForPolls(5));
        worker.Stop();
        size_t polls = log.Polls().size();
        worker.Stop();
        worker.Start();  // a stopped worker stays stopped
        std::this_thread::sleep_for(100ms);
        EXPECT_EQ(log.Polls().size(), polls);
    }
    EXPECT_EQ(log.MaxRunning(), 1);

    PollLog never;
    PollWorker unstarted(never.Function(), 10ms);
    unstarted.Stop();
    unstarted.Start();
    std::this_thread::sleep_for(50ms);
    EXPECT_TRUE(never.Polls().empty());
}

// The address space in use now, in bytes.
rlim_t AddressSpaceInUse() {
    std::ifstream statm("/proc/self/statm");
    rlim_t pages = 0;
    statm >> pages;
    return pages * static_cast<rlim_t>(sysconf(_SC_PAGESIZE));
}

// Starts a worker with no room left for a thread's stack and ends the process with 0 when it went on
// without polling.
[[noreturn]] void StartWithoutRoomForAThread() {
    std::atomic<int> polls = 0;
    PollWorker worker([&polls](std::stop_token) { ++polls; }, 10ms);
    const rlimit limit{AddressSpaceInUse() + (1 << 20), RLIM_INFINITY};
    setrlimit(RLIMIT_AS, &limit);
    worker.Start();
    std::this_thread::sleep_for(100ms);
    std::_Exit(polls == 0 ? 0 : 1);
}

// A thread that cannot be made means no polling, and the process goes on.
TEST(PollWorkerDeathTest, NoThreadMeansNoPollingAndNoEnd) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "the sanitizers' own reservations leave no room to limit the address space";
#endif
    GTEST_FLAG_SET(death_test_style, "threadsafe");  // a fresh process, with no thread stacks cached
    EXPECT_EXIT(StartWithoutRoomForAThread(), testing::ExitedWithCode(0), "");
}

// A loopback port that accepts connections (the kernel does) but never answers a request.
class SilentPort {
  public:
    SilentPort() : m_fd(socket(AF_INET, SOCK_STREAM, 0)) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (m_fd < 0 || bind(m_fd, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
            listen(m_fd, 8) != 0 || getsockname(m_fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
            throw std::runtime_error("cannot open a loopback port");
        }
        m_port = ntohs(address.sin_port);
    }
    ~SilentPort() { close(m_fd); }
    SilentPort(const SilentPort&) = delete;
    SilentPort& operator=(const SilentPort&) = delete;
    std::string Url() const { return "http://127.0.0.1:" + std::to_string(m_port) + "/"; }

  private:
    int m_fd;
    int m_port = 0;
};

TEST(PollWorker, StopAbortsAStalledDownloadBeforeTheStoreCloses) {
    harness::TempDir dir;
    SilentPort server;
    ItemStore store(dir.ModuleDir());
    std::atomic<bool> polling = false;
    FeedPoller poller(server.Url(), store);  // production limits: a minute in total
    PollWorker worker(
        [&](std::stop_token stop) {
            polling = true;
            poller.PollOnce(stop);
        },
        1h);
    worker.Start();
    for (auto waited = 0ms; !polling && waited < 5s; waited += 1ms) std::this_thread::sleep_for(1ms);
    ASSERT_TRUE(polling);
    std::this_thread::sleep_for(300ms);
    Clock::time_point start = Clock::now();
    worker.Stop();
    auto took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
    std::printf("worker stop during a stalled download: %lld ms\n", static_cast<long long>(took.count()));
    EXPECT_LT(took, 2500ms);
    store.Close();
    EXPECT_FALSE(store.IsReady());
}

}  // namespace

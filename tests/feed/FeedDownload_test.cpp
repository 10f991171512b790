#include "feed/FeedDownload.h"

#include <chrono>
#include <functional>
#include <future>
#include <mutex>
#include <stop_token>
#include <string>
#include <thread>

#include <gtest/gtest.h>
#include <httplib.h>

#include "feed/CurlGlobal.h"
#include "feed/FeedPoller.h"
#include "tests/support/CaseName.h"
#include "tools/harness/Rss.h"
#include "tests/support/StoreContents.h"
#include "tools/harness/loopback/LoopbackServer.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

const CurlGlobal kCurl;  // before any thread, as the program does in main()

const std::string kFeed = harness::Rss(
    std::vector<harness::RssItem>{{"Mon, 07 Dec 2026 10:00:00 +0800", "一", "http://shop/1", ""},
                                  {"Mon, 07 Dec 2026 09:00:00 +0800", "two", "http://shop/2", ""},
                                  {"Mon, 07 Dec 2026 08:00:00 +0800", "三", "http://shop/3", ""}});
// The feed with a zero byte right after its first item.
const std::string kZeroFeed = [] {
    std::string body = kFeed;
    body.insert(body.find("</item>") + 7, 1, '\0');
    return body;
}();

// Short limits, so that the failure cases end quickly.
DownloadOptions Quick() {
    DownloadOptions options;
    options.connectTimeout = 2s;
    options.totalTimeout = 3s;
    options.lowSpeedTime = 2s;
    return options;
}

class FeedServer : public ::testing::Test {
  protected:
    void SetUp() override {
        auto& http = m_server.Http();
        http.Get("/feed", [this](const httplib::Request& req, httplib::Response& res) {
            const std::lock_guard lock(m_mutex);
            m_feedPorts.push_back(req.remote_port);
            res.set_content(kFeed, "application/rss+xml");
        });
        http.Get("/empty",
                 [](const httplib::Request&, httplib::Response& res) { res.set_content("", "text/xml"); });
        // Error pages that hold a perfectly good feed: only the status keeps them from the store.
        http.Get("/missing", [](const httplib::Request&, httplib::Response& res) {
            res.status = 404;
            res.set_content(kFeed, "text/html");
        });
        http.Get("/broken", [](const httplib::Request&, httplib::Response& res) {
            res.status = 500;
            res.set_content(kFeed, "text/xml");
        });
        http.Get("/moved",
                 [](const httplib::Request&, httplib::Response& res) { res.set_redirect("/feed"); });
        http.Get("/chunks", [](const httplib::Request&, httplib::Response& res) {
            res.set_chunked_content_provider("text/xml", [](size_t offset, httplib::DataSink& sink) {
                if (offset < kFeed.size()) {
                    size_t n = std::min<size_t>(3, kFeed.size() - offset);
                    sink.write(kFeed.data() + offset, n);
                } else {
                    sink.done();
                }
                return true;
            });
        });
        http.Get("/zero", [](const httplib::Request&, httplib::Response& res) {
            res.set_content(kZeroFeed, "text/xml");
        });
        // Promises the whole feed, sends the part holding the first two items, then closes.
        http.Get("/cut", [](const httplib::Request&, httplib::Response& res) {
            res.set_content_provider(kFeed.size(), "text/xml",
                                     [](size_t offset, size_t, httplib::DataSink& sink) {
                                         if (offset > 0) return false;
                                         size_t part = kFeed.rfind("<item>");
                                         sink.write(kFeed.data(), part);
                                         return true;
                                     });
        });
        http.Get("/stall", [this](const httplib::Request&, httplib::Response& res) {
            m_server.WaitForStop(60s);
            res.set_content(kFeed, "text/xml");
        });
        http.Get("/drip", [this](const httplib::Request&, httplib::Response& res) {
            res.set_chunked_content_provider("text/xml", [this](size_t, httplib::DataSink& sink) {
                sink.write("<", 1);
                return !m_server.WaitForStop(200ms);
            });
        });
        http.Get("/large", [this](const httplib::Request& req, httplib::Response& res) {
            size_t size = std::stoul(req.get_param_value("bytes"));
            if (req.has_param("chunked")) {
                res.set_chunked_content_provider(
                    "text/plain", [size](size_t offset, httplib::DataSink& sink) {
                        if (offset >= size) {
                            sink.done();
                            return true;
                        }
                        std::string block(std::min<size_t>(size - offset, 64 * 1024), 'x');
                        sink.write(block.data(), block.size());
                        return true;
                    });
            } else {
                res.set_content(std::string(size, 'x'), "text/plain");
            }
        });
        m_server.Listen();
    }

    std::string Url(const std::string& path) const { return m_server.Url(path); }

    std::vector<int> FeedPorts() {
        const std::lock_guard lock(m_mutex);
        return m_feedPorts;
    }

    harness::LoopbackServer m_server;
    std::mutex m_mutex;
    std::vector<int> m_feedPorts;  // the client's port of each /feed request
};

struct PollCase {
    const char* name;
    std::string path;
    bool ok;
    long status;
    size_t rowsStored;
    const std::string* body;  // the whole body downloaded, byte for byte; nullptr: not checked
};

const PollCase kPolls[] = {
    {"Feed", "/feed", true, 200, 3, &kFeed},
    {"ManyTinyChunks", "/chunks", true, 200, 3, &kFeed},
    {"EmptyOk", "/empty", true, 200, 0, nullptr},
    {"NotFoundPage", "/missing", false, 404, 0, nullptr},
    {"ServerError", "/broken", false, 500, 0, nullptr},
    {"RedirectNotFollowed", "/moved", false, 302, 0, nullptr},
    {"ClosedMidBody", "/cut", false, 200, 0, nullptr},
    {"ZeroByteKeptInTheBodyEndsTheText", "/zero", true, 200, 1, &kZeroFeed},
    {"OverTheCapWithLength", "/large?bytes=5000", false, 200, 0, nullptr},
    {"OverTheCapChunked", "/large?bytes=5000&chunked=1", false, 200, 0, nullptr},
    {"AtTheCap", "/large?bytes=4096", true, 200, 0, nullptr},
};

class Poll : public FeedServer, public ::testing::WithParamInterface<PollCase> {};

TEST_P(Poll, OnlyACompleteSuccessfulBodyIsStored) {
    DownloadOptions options = Quick();
    options.maxBodyBytes = 4096;
    ASSERT_LT(kFeed.size(), options.maxBodyBytes);
    DownloadResult result = DownloadFeed(Url(GetParam().path), {}, options);
    EXPECT_EQ(result.ok, GetParam().ok) << result.error;
    EXPECT_EQ(result.httpStatus, GetParam().status);
    EXPECT_EQ(result.ok, result.error.empty());
    if (GetParam().body) {
        EXPECT_EQ(result.body, *GetParam().body);
    }

    test_support::StoreOnDisk disk;
    FeedPoller(Url(GetParam().path), disk.store, options).PollOnce({});
    EXPECT_EQ(test_support::StoredRows(disk.store).size(), GetParam().rowsStored);
}

INSTANTIATE_TEST_SUITE_P(Responses, Poll, ::testing::ValuesIn(kPolls), test_support::CaseName());

// The same body polled again after the store changed is stored again: a deletion here or in another
// process must not leave the feed's items out.
struct ChangeCase {
    const char* name;
    std::function<void(ItemStore& store, const std::string& dir)> change;
};

class UnchangedBody : public FeedServer, public ::testing::WithParamInterface<ChangeCase> {};

TEST_P(UnchangedBody, IsStoredAgainAfterTheStoreChanged) {
    test_support::StoreOnDisk disk;
    FeedPoller poller(Url("/feed"), disk.store, Quick());
    poller.PollOnce({});
    const auto stored = test_support::StoredRows(disk.store);
    ASSERT_EQ(stored.size(), 3u);
    GetParam().change(disk.store, disk.dir.ModuleDir());
    poller.PollOnce({});
    EXPECT_EQ(test_support::StoredRows(disk.store), stored);
}

INSTANTIATE_TEST_SUITE_P(Changes, UnchangedBody,
                         ::testing::Values(ChangeCase{"RemoveAll", [](ItemStore& store,
                                                                      auto&) { store.RemoveAllItems(); }},
                                           ChangeCase{"RemovedByAnotherConnection",
                                                      [](ItemStore&, const std::string& dir) {
                                                          ItemStore(dir).RemoveAllItems();
                                                      }}),
                         test_support::CaseName());

TEST_F(FeedServer, ADownloaderKeepsItsConnectionAndOutlivesAFailedTransfer) {
    FeedDownloader downloader(Quick());
    std::vector<bool> ok;
    for (const char* path : {"/feed", "/feed", "/cut", "/feed", "/large?bytes=52428800", "/feed"})
        ok.push_back(downloader.Download(Url(path), {}).ok);
    EXPECT_EQ(ok, (std::vector<bool>{true, true, false, true, false, true}));
    const std::vector<int> ports = FeedPorts();
    ASSERT_EQ(ports.size(), 4u);
    EXPECT_EQ(ports[0], ports[1]) << "the second download came on the first one's connection";
}

TEST_F(FeedServer, FiftyMegabytesAreRefusedWithTheDefaultCap) {
    DownloadResult result = DownloadFeed(Url("/large?bytes=52428800&chunked=1"), {});
    EXPECT_FALSE(result.ok);
    EXPECT_LE(result.body.size(), kMaxFeedBytes);
}

struct TimedCase {
    const char* name;
    std::string path;
    DownloadOptions options;
};

DownloadOptions TotalLimit() {
    DownloadOptions options = Quick();
    options.totalTimeout = 700ms;
    return options;
}
DownloadOptions LowSpeedLimit() {
    DownloadOptions options = Quick();
    options.totalTimeout = 30s;
    options.lowSpeedBytes = 1000;
    options.lowSpeedTime = 1s;
    return options;
}

const TimedCase kTimed[] = {
    {"NeverAnswersHitsTheTotalLimit", "/stall", TotalLimit()},
    {"TrickleHitsTheLowSpeedLimit", "/drip", LowSpeedLimit()},
};

class Limits : public FeedServer, public ::testing::WithParamInterface<TimedCase> {};

TEST_P(Limits, StalledServerIsGivenUp) {
    Clock::time_point start = Clock::now();
    DownloadResult result = DownloadFeed(Url(GetParam().path), {}, GetParam().options);
    auto took = Clock::now() - start;
    EXPECT_FALSE(result.ok);
    EXPECT_FALSE(result.error.empty());
    // The server would hold on for 60 s; anything near the limit shows the limit worked.
    EXPECT_LT(took, 10s);
}

INSTANTIATE_TEST_SUITE_P(Stalls, Limits, ::testing::ValuesIn(kTimed), test_support::CaseName());

TEST_F(FeedServer, StopDuringAStalledTransferReturnsPromptly) {
    std::stop_source stop;
    auto download =
        std::async(std::launch::async, [&] { return DownloadFeed(Url("/stall"), stop.get_token()); });
    ASSERT_EQ(download.wait_for(300ms), std::future_status::timeout);
    Clock::time_point requested = Clock::now();
    stop.request_stop();
    DownloadResult result = download.get();
    auto took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - requested);
    std::printf("stop to return: %lld ms\n", static_cast<long long>(took.count()));
    EXPECT_FALSE(result.ok);
    EXPECT_LT(took, 2500ms);
}

TEST_F(FeedServer, StopBeforeTheDownloadStoresNothing) {
    std::stop_source stop;
    stop.request_stop();
    test_support::StoreOnDisk disk;
    FeedPoller(Url("/feed"), disk.store, Quick()).PollOnce(stop.get_token());
    EXPECT_TRUE(test_support::StoredRows(disk.store).empty());
}

TEST(FeedDownload, RefusesOtherSchemesAndUnreachableHosts) {
    for (const char* url : {"https://127.0.0.1:1/", "file:///etc/hostname", "http://127.0.0.1:1/"}) {
        DownloadResult result = DownloadFeed(url, {}, Quick());
        EXPECT_FALSE(result.ok) << url;
        EXPECT_FALSE(result.error.empty()) << url;
    }
}

}  // namespace

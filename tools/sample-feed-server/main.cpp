// sample-feed-server [port] [seconds-between-items]
// Serves a deals feed at "/" on 127.0.0.1 (port 8088 by default; 0 picks a free one), its pictures at
// /img/N.png, small deal pages at /deal/N and /buy/N, and a home page at /home. A new item appears every
// 20 s by default. Stops on SIGINT or SIGTERM.

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include <httplib.h>

#include "DealFeed.h"
#include "PngImage.h"
#include "WebServerSettings.h"

namespace {

constexpr unsigned kSeedItems = 5;

bool ParseNumber(const char* text, long low, long high, long& value) {
    char* end = nullptr;
    value = std::strtol(text, &end, 10);
    return end != text && *end == '\0' && value >= low && value <= high;
}

// The feed as it stands at each request, its first item dated `first`.
void ServeFeed(httplib::Server& server, const std::string& origin, DealFeed::TimePoint first,
               std::chrono::seconds step) {
    server.Get("/", [origin, first, step](const httplib::Request&, httplib::Response& res) {
        res.set_content(DealFeed::AsOf(origin, first, step, std::chrono::system_clock::now()).Render(),
                        "application/rss+xml; charset=utf-8");
    });
}

void ServePictures(httplib::Server& server, const std::vector<std::string>& pictures) {
    server.Get(R"(/img/(\d+)\.png)", [&pictures](const httplib::Request& req, httplib::Response& res) {
        size_t index = std::stoul(req.matches[1].str()) % pictures.size();
        res.set_content(pictures[index], "image/png");
    });
}

void ServeDealPages(httplib::Server& server) {
    server.Get(R"(/(deal|buy)/(\d+))", [](const httplib::Request& req, httplib::Response& res) {
        std::string number = req.matches[2].str();
        res.set_content("<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>Deal " + number +
                            "</title></head><body><h1>Deal #" + number + "</h1><p>A sample " +
                            req.matches[1].str() + " page.</p></body></html>",
                        "text/html; charset=utf-8");
    });
}

// The site's home page, which the popup page links to ("/" is the feed).
void ServeHomePage(httplib::Server& server) {
    server.Get("/home", [](const httplib::Request&, httplib::Response& res) {
        res.set_content(
            "<!DOCTYPE html><html lang=\"zh-CN\"><head><meta charset=\"utf-8\"><title>优惠提醒</title>"
            "</head><body><h1>优惠提醒</h1><p>每日精选好价: a sample deals site whose feed "
            "lists a new deal now and then.</p></body></html>",
            "text/html; charset=utf-8");
    });
}

}  // namespace

int main(int argc, char** argv) {
    long port = 8088;
    long interval = 20;
    if ((argc > 1 && !ParseNumber(argv[1], 0, 65535, port)) ||
        (argc > 2 && !ParseNumber(argv[2], 1, 86400, interval)) || argc > 3) {
        std::fprintf(stderr, "usage: %s [port] [seconds-between-items]\n", argv[0]);
        return 2;
    }

    // Signals are taken by one thread with sigwait, so every other thread must block them first.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    httplib::Server server;
    ServeLikeAWebServer(server);
    int bound =
        port == 0 ? server.bind_to_any_port("127.0.0.1")
                  : (server.bind_to_port("127.0.0.1", static_cast<int>(port)) ? static_cast<int>(port) : -1);
    if (bound <= 0) {
        std::fprintf(stderr, "sample-feed-server: cannot listen on 127.0.0.1:%ld\n", port);
        return 1;
    }

    const std::string origin = "http://127.0.0.1:" + std::to_string(bound);
    const auto step = std::chrono::seconds(interval);
    const auto now = std::chrono::time_point_cast<std::chrono::seconds>(std::chrono::system_clock::now());
    std::vector<std::string> pictures;
    for (unsigned i = 0; i < DealFeed::kPictures; ++i) pictures.push_back(PngImage::Tile(i));

    ServeFeed(server, origin, now - (kSeedItems - 1) * step, step);
    ServePictures(server, pictures);
    ServeDealPages(server);
    ServeHomePage(server);

    std::atomic<bool> listenEnded = false;
    std::thread signalWaiter([&server, &stopSignals, &listenEnded] {
        int signal = 0;
        sigwait(&stopSignals, &signal);
        // A signal that comes before listening has begun would find nothing to stop; try until it ends.
        while (!listenEnded) {
            server.stop();
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    });

    std::printf("sample-feed-server: serving %s/ (a new item every %ld s)\n", origin.c_str(), interval);
    std::fflush(stdout);
    bool listened = server.listen_after_bind();
    listenEnded = true;
    // Wakes the waiter when listening ended for another reason than a signal.
    kill(getpid(), SIGTERM);
    signalWaiter.join();
    return listened ? 0 : 1;
}

// Figures for the whole notifier, measured from outside as a user would see them, on the executable
// given with --exe (by default the copy built beside this benchmark), so that an older and a newer
// build can be measured in one session with the same stores:
//   start   process start to the first list entry on screen and to the tab counting the whole list,
//           at each stored size;
//   pss     PSS of each kind of process (UI, web, network, a launcher) after idling, in the same runs;
//   change  CPU over all processes and change-to-screen of one new item, one link marked read and
//           mark all read;
//   idle    CPU of all processes with 1,000 stored items and an unchanged 1,000-item feed, without the
//           accessibility bridge, per process kind and per thread name;
//   insert  a new feed item: from the poll that carried it, and from the server, to the screen;
//   memory  resident memory of the UI and web processes while the feed gains an item every 20 s.
// Prints figures only; the aims are for a reader to compare against.
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "DealFeed.h"
#include "ProcFigures.h"
#include "ScreenWatch.h"
#include "feed/FeedParser.h"
#include "store/ItemStore.h"
#include "tools/harness/Command.h"
#include "tools/harness/RawDb.h"
#include "tools/harness/desktop/AppProcess.h"
#include "tools/harness/desktop/PageProbe.h"
#include "tools/harness/desktop/XDesktop.h"
#include "tools/harness/loopback/FeedServer.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using namespace harness;
using Clock = std::chrono::steady_clock;

namespace {

const std::vector<std::string> kSections{"start", "pss", "change", "idle", "insert", "memory"};

struct Options {
    fs::path exe = NOTIFIER_BENCH_EXE;
    std::vector<int> sizes{20, 1000, 5000, 10000};
    std::vector<int> changeSizes{10000, 1000};
    int runs = 5;
    int items = 1000;  // stored for insert, idle and memory
    double pssAfter = 40;
    int changeWindow = 20;
    int settleSeconds = 10;
    int idleAfter = 20;
    int idleSeconds = 60;
    std::vector<std::string> locales{"C.UTF-8", "C"};
    bool idleAllCases = false;
    double memoryMinutes = 10;
    int sampleSeconds = 30;
    int feedEverySeconds = 20;
    int feedItems = 20;  // what the feed carries while the store holds more
    int timeout = 180;   // for one list to show
    fs::path workDir = fs::temp_directory_path() / "bench-e2e";
    std::set<std::string> only{kSections.begin(), kSections.end()};
    bool Runs(const std::string& section) const { return only.contains(section); }
};

void Usage() {
    std::cerr
        << "usage: bench-e2e [--exe PATH] [--sizes N,N,..] [--runs N] [--pss-after S]\n"
           "                 [--change-items N,N,..] [--change-window S] [--settle S]\n"
           "                 [--items N] [--idle-after S] [--idle-seconds S] [--locales L,L,..] "
           "[--idle-cases feed|all]\n"
           "                 [--memory-minutes M] [--sample-seconds N] [--feed-every N] [--feed-items N]\n"
           "                 [--timeout S] [--workdir DIR] [--only start,pss,change,idle,insert,memory]\n";
}

std::vector<std::string> Split(const std::string& text) {
    std::vector<std::string> parts;
    std::istringstream in(text);
    for (std::string part; std::getline(in, part, ',');) {
        if (!part.empty()) parts.push_back(part);
    }
    return parts;
}

std::vector<int> Numbers(const std::string& text) {
    std::vector<int> n;
    for (const auto& p : Split(text)) n.push_back(std::stoi(p));
    return n;
}

Options Parse(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto next = [&]() -> std::string {
            if (i + 1 >= argc) {
                Usage();
                std::exit(2);
            }
            return argv[++i];
        };
        if (a == "--exe")
            o.exe = fs::absolute(next());
        else if (a == "--sizes")
            o.sizes = Numbers(next());
        else if (a == "--change-items")
            o.changeSizes = Numbers(next());
        else if (a == "--runs")
            o.runs = std::stoi(next());
        else if (a == "--items")
            o.items = std::stoi(next());
        else if (a == "--pss-after")
            o.pssAfter = std::stod(next());
        else if (a == "--change-window")
            o.changeWindow = std::stoi(next());
        else if (a == "--settle")
            o.settleSeconds = std::stoi(next());
        else if (a == "--idle-after")
            o.idleAfter = std::stoi(next());
        else if (a == "--idle-seconds")
            o.idleSeconds = std::stoi(next());
        else if (a == "--locales")
            o.locales = Split(next());
        else if (a == "--idle-cases")
            o.idleAllCases = next() == "all";
        else if (a == "--memory-minutes")
            o.memoryMinutes = std::stod(next());
        else if (a == "--sample-seconds")
            o.sampleSeconds = std::stoi(next());
        else if (a == "--feed-every")
            o.feedEverySeconds = std::stoi(next());
        else if (a == "--feed-items")
            o.feedItems = std::stoi(next());
        else if (a == "--timeout")
            o.timeout = std::stoi(next());
        else if (a == "--workdir")
            o.workDir = next();
        else if (a == "--only") {
            o.only.clear();
            for (const auto& s : Split(next())) {
                if (std::find(kSections.begin(), kSections.end(), s) == kSections.end()) {
                    Usage();
                    std::exit(2);
                }
                o.only.insert(s);
            }
        } else {
            Usage();
            std::exit(2);
        }
    }
    if (!fs::is_regular_file(o.exe)) {
        std::cerr << "bench-e2e: no executable at " << o.exe << "\n";
        std::exit(2);
    }
    return o;
}

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

// "median M (min-max, n runs)" of a figure, or "no runs".
std::string Spread(std::vector<double> v, const char* format = "%.3f") {
    if (v.empty()) return "no runs";
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    const double median = n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
    auto f = [&](double x) {
        char b[32];
        std::snprintf(b, sizeof b, format, x);
        return std::string(b);
    };
    return f(median) + " (" + f(v.front()) + "-" + f(v.back()) + ", " + std::to_string(n) + " runs)";
}

void Load(const std::string& section, const char* when) {
    std::printf("[%s %s] load average %s\n", section.c_str(), when, LoadAverage().c_str());
    std::fflush(stdout);
}

// --- stores -------------------------------------------------------------------------------------------

std::string Comparable(const std::vector<RcdRow>& rows) {
    std::string s;
    for (const auto& r : rows) {
        s += std::to_string(r.id) + "|" + r.msg_picurl + "|" + r.msg_top + "|" + r.msg_title + "|" +
             r.msg_date + "|" + r.msg_url + "|" + r.msg_id + "|" + r.msg_buyurl + "\n";
    }
    return s;
}

// Stores of deals 1..count, made once and copied into every run. They are written by the store code
// and the feed rules of this build, as one poll of the whole feed would (oldest first, so the newest
// has the highest ID); the smallest is also stored by the executable under test, through a real poll,
// and the two are compared.
fs::path Seed(const Options& o, int count) {
    static std::map<int, fs::path> seeded;
    if (const auto it = seeded.find(count); it != seeded.end()) return it->second;
    const fs::path dir = o.workDir / ("store-" + std::to_string(count));
    fs::remove_all(dir);
    fs::create_directories(dir);
    FeedServer server(NOTIFIER_BENCH_PORT);
    DealFeed deals = server.Deals();
    {
        DealFeed all("http://" + server.Host());
        all.AddRange(1, count, "Bench");
        ItemStore store(dir.string() + "/");
        ParseFeedDocument(all.Render(), store);
    }
    const fs::path rcd = dir / "rcd";
    const auto rows = RawDb(rcd, RawDb::Mode::ReadOnly).Items();
    if (!rows || rows->size() != std::size_t(count)) {
        throw std::runtime_error("writing a store of " + std::to_string(count) + " items failed");
    }
    if (seeded.empty()) {
        const int check = std::min(count, 20);
        deals.AddRange(1, check, "Bench");
        AppProcess app(o.exe, o.workDir / "seed-check");
        app.SetDebugLog(false);
        app.Start();
        const bool stored = WaitFor(
            [&] {
                const auto r = RawDb(app.RcdPath(), RawDb::Mode::ReadOnly).Items();
                return r && r->size() == std::size_t(check);
            },
            60s, 200ms);
        app.Signal(SIGTERM);
        app.WaitExit(10s);
        const auto byApp = RawDb(app.RcdPath(), RawDb::Mode::ReadOnly).Items();
        std::vector<RcdRow> mine(rows->begin(), rows->begin() + check);
        if (!stored) {
            std::printf(
                "stores: %s never stored the feed of 127.0.0.1:%d: was it built with "
                "NOTIFIER_BENCH_PORT=%d?\n",
                o.exe.c_str(), NOTIFIER_BENCH_PORT, NOTIFIER_BENCH_PORT);
        } else {
            std::printf(
                "stores: rows written directly %s what the notifier stores from the same feed (%d items)\n",
                byApp && Comparable(*byApp) == Comparable(mine) ? "match" : "DO NOT MATCH", check);
        }
    }
    seeded[count] = rcd;
    return rcd;
}

// --- the notifier -------------------------------------------------------------------------------------

// A copy of the executable under test in o.workDir/name with a copy of `rcd`. AppProcess passes no
// NO_AT_BRIDGE on; without the bridge, a script in its place sets it and replaces itself with the real
// copy beside it, so the process keeps the script's pid.
std::unique_ptr<AppProcess> Launch(const Options& o, const std::string& name, const fs::path* rcd,
                                   bool atBridge, const std::string& locale = "C.UTF-8") {
    const fs::path dir = o.workDir / name;
    std::unique_ptr<AppProcess> app;
    if (atBridge) {
        app = std::make_unique<AppProcess>(o.exe, dir);
    } else {
        const std::string real = o.exe.filename().string() + ".real";
        const fs::path script = o.workDir / "no-at-bridge" / o.exe.filename();
        fs::create_directories(script.parent_path());
        std::ofstream(script) << "#!/bin/sh\nNO_AT_BRIDGE=1 exec \"$(dirname \"$0\")/" << real
                              << "\" \"$@\"\n";
        fs::permissions(script, fs::perms::owner_all, fs::perm_options::replace);
        app = std::make_unique<AppProcess>(script, dir);
        fs::copy_file(o.exe, dir / real, fs::copy_options::overwrite_existing);
    }
    app->SetDebugLog(false);
    app->SetLocale(locale);
    if (rcd) fs::copy_file(*rcd, app->RcdPath(), fs::copy_options::overwrite_existing);
    app->Start();
    return app;
}

void Stop(AppProcess& app) {
    app.Signal(SIGTERM);
    if (!app.WaitExit(10s)) app.Signal(SIGKILL);
    app.WaitExit(5s);
}

// When the page probe saw a match: the attempt that saw it ran from `begin` to `end`, so the change
// on screen came before `end`; end - begin is the probe's resolution.
struct Sighting {
    Clock::time_point begin;
    Clock::time_point end;
};

Clock::time_point FromSeconds(double s) {
    return Clock::time_point(std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(s)));
}

std::optional<Sighting> SeenAt(pid_t pid, std::vector<std::string> query, double timeout,
                               double interval = 0.02) {
    std::vector<std::string> argv{
        "/usr/bin/python3", NOTIFIER_ATSPI_FIND,     "--pid",      std::to_string(pid),
        "--timeout",        std::to_string(timeout), "--interval", std::to_string(interval),
        "--stamp"};
    argv.insert(argv.end(), query.begin(), query.end());
    const CommandResult r = RunCommand(argv);
    double begin = 0;
    double end = 0;
    if (r.exitCode != 0 || r.out.empty() || r.out[0] != '@' ||
        std::sscanf(r.out.c_str(), "@%lf %lf", &begin, &end) != 2) {
        return std::nullopt;
    }
    return Sighting{FromSeconds(begin), FromSeconds(end)};
}

std::vector<std::string> TabQuery(std::size_t unread, std::size_t total) {
    return {"--id", "all_notify_tab", "--expect",
            "所有提醒 (" + std::to_string(unread) + "/" + std::to_string(total) + ")"};
}

// The popup's window once it stands where it stays (it maps at 0,0 first, then moves).
std::optional<ScreenRect> PlacedWindow(const AppProcess& app, std::chrono::seconds timeout = 60s) {
    std::optional<ScreenRect> found;
    WaitFor(
        [&] {
            const auto windows = XDesktop::VisibleWindowsOf(app.Pid());
            if (windows.size() == 1 && (windows[0].x != 0 || windows[0].y != 0)) found = windows[0];
            return found.has_value();
        },
        timeout, 5ms);
    return found;
}

// Where the first list entry and its title row show, inside the popup.
ScreenRect FirstEntry(const ScreenRect& w) { return {w.x + 10, w.y + 130, 440, 110}; }
ScreenRect FirstTitleRow(const ScreenRect& w) { return {w.x + 120, w.y + 140, 340, 40}; }
constexpr int kRedOfOneEntry = 200;  // badge and buy button

// Where, relative to the window, the first entry's "new" badge, its detail button and the mark-all-read
// button are: read once over AT-SPI from a run of the same executable with a short list.
struct Layout {
    ScreenRect badge;  // the left end of the first heading, where the badge is
    int detailX = 0, detailY = 0;
    int markAllX = 0, markAllY = 0;
};

ScreenRect Offset(const ScreenRect& r, const ScreenRect& w) {
    return {w.x + r.x, w.y + r.y, r.width, r.height};
}

std::optional<Layout> Calibrate(const Options& o) {
    const fs::path rcd = Seed(o, std::min(20, *std::min_element(o.changeSizes.begin(), o.changeSizes.end())));
    const auto app = Launch(o, "calibrate", &rcd, true);
    const auto window = PlacedWindow(*app);
    if (!window) return std::nullopt;
    const PageProbe probe(NOTIFIER_ATSPI_FIND, app->Pid());
    const auto headings = probe.ByRole("heading", std::nullopt, 60s, "新!");
    const auto details = probe.ByRole("push button", "详情页面", 30s);
    const auto markAll = probe.ById("all_notify_setread", 30s);
    XDesktop::Screenshot(o.workDir / "calibrate.png");
    Stop(*app);
    std::printf("layout: window %d,%d %dx%d", window->x, window->y, window->width, window->height);
    for (const auto& e : headings) {
        if (e.text.find("新!") == std::string::npos) continue;
        std::printf(", first entry's heading %d,%d %dx%d \"%s\"", e.x, e.y, e.width, e.height,
                    e.text.c_str());
        break;
    }
    if (!details.empty())
        std::printf(", detail button %d,%d", details.front().CentreX(), details.front().CentreY());
    if (markAll) std::printf(", mark all read %d,%d", markAll->CentreX(), markAll->CentreY());
    std::printf(" (screen; picture in %s)\n", (o.workDir / "calibrate.png").c_str());
    const auto entry = std::find_if(headings.begin(), headings.end(), [](const PageElement& e) {
        return e.text.find("新!") != std::string::npos;
    });
    if (entry == headings.end() || details.empty() || !markAll) return std::nullopt;
    Layout l;
    const auto& h = *entry;
    l.badge = {h.x - window->x, h.y - window->y, std::min(h.width, 48), std::min(h.height, 28)};
    l.detailX = details.front().CentreX() - window->x;
    l.detailY = details.front().CentreY() - window->y;
    l.markAllX = markAll->CentreX() - window->x;
    l.markAllY = markAll->CentreY() - window->y;
    return l;
}

// --- start and pss -------------------------------------------------------------------------------------

struct Pss {
    std::map<std::string, double> byKind;  // MiB
    double all = 0;
};

Pss ReadPss(const AppProcess& app) {
    Pss p;
    for (const auto& proc : NotifierProcesses(app)) {
        const long kib = PssKiB(proc.pid);
        if (kib < 0) continue;
        p.byKind[proc.kind] += kib / 1024.0;
        p.all += kib / 1024.0;
    }
    return p;
}

void BenchStartAndPss(const Options& o) {
    const bool pss = o.Runs("pss");
    const std::string name = pss && o.Runs("start") ? "start+pss" : pss ? "pss" : "start";
    Load(name, "begin");
    ScreenWatch screen;
    for (int count : o.sizes) {
        const fs::path rcd = Seed(o, count);
        FeedServer server(NOTIFIER_BENCH_PORT);
        server.Deals().AddRange(std::max(1, count - o.feedItems + 1), count, "Bench");
        std::vector<double> firstEntry, listComplete, resolution;
        std::map<std::string, std::vector<double>> pssByKind;
        std::vector<double> pssAll;
        std::printf("%d stored items (the feed carries the newest %d, unchanged):\n", count,
                    std::min(count, o.feedItems));
        for (int r = 0; r < o.runs; ++r) {
            auto app = Launch(o, "start-" + std::to_string(count), &rcd, true);
            // The tab is watched from the start, beside the screen.
            std::optional<Sighting> tab;
            std::thread finder([&] { tab = SeenAt(app->Pid(), TabQuery(count, count), o.timeout, 0.05); });
            const auto window = PlacedWindow(*app, std::chrono::seconds(o.timeout));
            const auto shown = window ? screen.WaitForRed(FirstEntry(*window), kRedOfOneEntry,
                                                          std::chrono::seconds(o.timeout))
                                      : std::nullopt;
            finder.join();
            const double firstAt =
                shown ? Seconds(shown.value_or(Clock::time_point{}) - app->StartedAt()) : -1;
            const double tabAt = tab ? Seconds(tab->end - app->StartedAt()) : -1;
            if (firstAt >= 0) firstEntry.push_back(firstAt);
            if (tab) {
                listComplete.push_back(tabAt);
                resolution.push_back(Seconds(tab->end - tab->begin));
            }
            auto text = [](double t) { return t < 0 ? std::string("never") : std::to_string(t); };
            std::printf("  run %d: first entry %s s, tab \"所有提醒 (%d/%d)\" %s s", r + 1,
                        text(firstAt).c_str(), count, count, text(tabAt).c_str());
            if (pss && tab) {
                std::this_thread::sleep_until(tab->end + std::chrono::duration_cast<Clock::duration>(
                                                             std::chrono::duration<double>(o.pssAfter)));
                const Pss p = ReadPss(*app);
                std::printf(", PSS");
                for (const auto& [kind, mib] : p.byKind) {
                    pssByKind[kind].push_back(mib);
                    std::printf(" %s %.1f", kind.c_str(), mib);
                }
                pssAll.push_back(p.all);
                std::printf(" all %.1f MiB", p.all);
            }
            std::printf("\n");
            std::fflush(stdout);
            Stop(*app);
        }
        std::printf("start to first entry on screen, %d stored: %s s\n", count, Spread(firstEntry).c_str());
        std::printf("start to list complete (tab %d/%d), %d stored: %s s (probe resolution %s s)\n", count,
                    count, count, Spread(listComplete).c_str(), Spread(resolution).c_str());
        if (pss) {
            for (const auto& [kind, v] : pssByKind) {
                std::printf("PSS %.0f s after the list, %d stored, %s: %s MiB\n", o.pssAfter, count,
                            kind.c_str(), Spread(v, "%.1f").c_str());
            }
            std::printf("PSS %.0f s after the list, %d stored, all processes: %s MiB\n", o.pssAfter, count,
                        Spread(pssAll, "%.1f").c_str());
        }
        std::fflush(stdout);
    }
    Load(name, "end");
}

// --- change --------------------------------------------------------------------------------------------

// Sleeps until `phase` after the next poll, so that a window of a multiple of the poll pause holds as
// many polls as the one before it and starts far from one.
void AlignToPoll(const FeedServer& server, Clock::duration phase) {
    const std::size_t hits = server.FeedHits().size();
    server.WaitForFeedHits(hits + 1, 15s);
    std::this_thread::sleep_until(server.FeedHits().back() + phase);
}

struct ChangeFigures {
    std::vector<double> cpuMs, cpuTicksMs, toScreen, baselineMs;
    int late = 0;  // the screen changed too near the window's end
    int ended = 0;
};

// Where a change's CPU went: the threads whose time grew most over the idle window's.
void PrintGrownThreads(const CpuReading& busy, const CpuReading& idle) {
    std::vector<std::pair<double, std::string>> grown;
    for (const auto& [thread, ns] : busy.nsByThread) {
        const auto before = idle.nsByThread.find(thread);
        grown.emplace_back((ns - (before == idle.nsByThread.end() ? 0 : before->second)) / 1e6, thread);
    }
    std::sort(grown.rbegin(), grown.rend());
    grown.resize(std::min<size_t>(grown.size(), 5));
    std::printf("      most grown:");
    for (const auto& [ms, thread] : grown) std::printf(" %s %+.1f ms;", thread.c_str(), ms);
    std::printf("\n");
}

// One change: an idle window of `window` just before, then the same length from the change on.
// `act` makes the change and returns when it did; `shown` waits for the screen and returns when;
// `from` is the instant change-to-screen counts from (given when the change was made).
void MeasureChange(CpuMeter& meter, const FeedServer& server, std::chrono::seconds window, ChangeFigures& f,
                   const std::function<Clock::time_point()>& act,
                   const std::function<std::optional<Clock::time_point>(Clock::time_point deadline)>& shown,
                   const std::function<std::optional<Clock::time_point>(Clock::time_point changed)>& from) {
    AlignToPoll(server, 2500ms);
    const CpuReading r0 = meter.Now();
    std::this_thread::sleep_for(window);
    const CpuReading r1 = meter.Now();
    const Clock::time_point changed = act();
    const auto seen = shown(changed + window);
    std::this_thread::sleep_until(changed + window);
    const CpuReading r2 = meter.Now();
    const CpuReading idle = r1 - r0;
    const CpuReading busy = r2 - r1;
    const long hz = sysconf(_SC_CLK_TCK);
    f.cpuMs.push_back((busy.ns - idle.ns) / 1e6);
    f.cpuTicksMs.push_back(1000.0 * double(busy.ticks - idle.ticks) / double(hz));
    f.baselineMs.push_back(idle.ns / 1e6);
    f.ended += busy.threadsEnded + idle.threadsEnded;
    const auto start = from(changed);
    if (seen && start) {
        f.toScreen.push_back(Seconds(*seen - *start));
        if (*seen > changed + window - 2s) ++f.late;
    }
    std::printf("    cpu %.1f ms (window %.1f - idle %.1f; ticks %+.0f ms), to screen %s s\n", f.cpuMs.back(),
                busy.ns / 1e6, idle.ns / 1e6, f.cpuTicksMs.back(),
                seen && start ? std::to_string(Seconds(*seen - *start)).c_str() : "never");
    PrintGrownThreads(busy, idle);
    std::fflush(stdout);
}

void PrintChange(const char* what, int count, const ChangeFigures& f, int windowSeconds) {
    std::printf(
        "%s, %d stored: CPU over all processes %s ms (stat ticks %s ms; idle window %s ms), "
        "to screen %s s\n",
        what, count, Spread(f.cpuMs, "%.1f").c_str(), Spread(f.cpuTicksMs, "%.0f").c_str(),
        Spread(f.baselineMs, "%.1f").c_str(), Spread(f.toScreen).c_str());
    if (f.late)
        std::printf("  (%d runs showed less than 2 s before the %d s window ended: raise --change-window)\n",
                    f.late, windowSeconds);
    if (f.ended)
        std::printf(
            "  (%d threads ended inside the windows; what they ran after the last 200 ms sample is not "
            "counted)\n",
            f.ended);
    std::fflush(stdout);
}

// Waits for the list to show and the start to die down: CPU under 20 ms a second over a whole second.
bool Settle(const Options& o, AppProcess& app, ScreenWatch& screen, ScreenRect& window) {
    const auto w = PlacedWindow(app, std::chrono::seconds(o.timeout));
    if (!w || !screen.WaitForRed(FirstEntry(*w), kRedOfOneEntry, std::chrono::seconds(o.timeout)))
        return false;
    window = *w;
    std::this_thread::sleep_for(std::chrono::seconds(o.settleSeconds));
    CpuMeter meter(app, 200ms);
    for (int i = 0; i < o.timeout; ++i) {
        const CpuReading a = meter.Now();
        std::this_thread::sleep_for(1s);
        if ((meter.Now() - a).ns < 20e6) return true;
    }
    return true;
}

bool RedGone(const ScreenWatch& screen, const ScreenRect& r, int before) {
    return screen.RedPixels(r) * 4 < before;
}

std::optional<Clock::time_point> WaitRedGone(const ScreenWatch& screen, const ScreenRect& r, int before,
                                             Clock::time_point deadline) {
    while (Clock::now() < deadline) {
        if (RedGone(screen, r, before)) return Clock::now();
        std::this_thread::sleep_for(5ms);
    }
    return std::nullopt;
}

void BenchChange(const Options& o) {
    Load("change", "begin");
    const auto layout = Calibrate(o);
    if (!layout) {
        std::printf("change: the first entry's badge and buttons were not found over AT-SPI\n");
        return;
    }
    const auto window = std::chrono::seconds(o.changeWindow);
    ScreenWatch screen;
    for (int count : o.changeSizes) {
        const fs::path rcd = Seed(o, count);
        FeedServer server(NOTIFIER_BENCH_PORT);
        DealFeed deals = server.Deals();
        deals.AddRange(std::max(1, count - o.feedItems + 1), count, "Bench");
        ChangeFigures added, read, allRead, plain;
        std::printf("%d stored items, no accessibility bridge, windows of %d s:\n", count, o.changeWindow);
        {
            auto app = Launch(o, "change-" + std::to_string(count), &rcd, false);
            ScreenRect w;
            if (!Settle(o, *app, screen, w)) {
                std::printf("change: the list of %d never showed\n", count);
                continue;
            }
            const ScreenRect title = FirstTitleRow(w);
            const ScreenRect badge = Offset(layout->badge, w);
            CpuMeter meter(*app, 200ms);
            for (int k = 1; k <= o.runs; ++k) {
                std::printf("  new item %d:\n", k);
                uint64_t before = 0;
                MeasureChange(
                    meter, server, window, added,
                    [&] {
                        before = screen.Hash(title);
                        deals.Add(deals.Make(count + k, "Change"));
                        return Clock::now();
                    },
                    [&](Clock::time_point deadline) {
                        return screen.WaitForChange(
                            title, before,
                            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()));
                    },
                    [&](Clock::time_point changed) -> std::optional<Clock::time_point> {
                        for (const auto hit : server.FeedHits()) {
                            if (hit >= changed) return hit;
                        }
                        return std::nullopt;
                    });
                const auto rows = RawDb(app->RcdPath(), RawDb::Mode::ReadOnly).Items();
                if (!rows || rows->size() != std::size_t(count + k))
                    std::printf("    (the store does not hold the new item)\n");

                std::printf("  link marked read %d:\n", k);
                XDesktop::MovePointer(0, 0);
                int red = 0;
                MeasureChange(
                    meter, server, window, read,
                    [&] {
                        red = screen.RedPixels(badge);
                        XDesktop::Click(w.x + layout->detailX, w.y + layout->detailY);
                        const auto t = Clock::now();
                        XDesktop::MovePointer(0, 0);
                        return t;
                    },
                    [&](Clock::time_point deadline) { return WaitRedGone(screen, badge, red, deadline); },
                    [&](Clock::time_point changed) -> std::optional<Clock::time_point> { return changed; });
                const auto newest = RawDb(app->RcdPath(), RawDb::Mode::ReadOnly).Items();
                if (!newest || newest->empty() || newest->back().msg_top != "1")
                    std::printf("    (the store did not mark the item read)\n");

                // What any click costs the engine, to set the link's figure against.
                std::printf("  plain click %d:\n", k);
                MeasureChange(
                    meter, server, window, plain,
                    [&] {
                        XDesktop::Click(badge.x + 250, badge.y + badge.height / 2);
                        const auto t = Clock::now();
                        XDesktop::MovePointer(0, 0);
                        return t;
                    },
                    [](Clock::time_point) -> std::optional<Clock::time_point> { return std::nullopt; },
                    [](Clock::time_point) -> std::optional<Clock::time_point> { return std::nullopt; });
            }
            std::printf("  links handed to the desktop: %zu\n", app->OpenedUrls().size());
            Stop(*app);
        }
        for (int k = 1; k <= o.runs; ++k) {
            std::printf("  mark all read %d (a fresh copy of the store):\n", k);
            auto app = Launch(o, "change-all-" + std::to_string(count), &rcd, false);
            ScreenRect w;
            if (!Settle(o, *app, screen, w)) {
                std::printf("    the list never showed\n");
                continue;
            }
            const ScreenRect badge = Offset(layout->badge, w);
            CpuMeter meter(*app, 200ms);
            XDesktop::MovePointer(0, 0);
            int red = 0;
            MeasureChange(
                meter, server, window, allRead,
                [&] {
                    red = screen.RedPixels(badge);
                    XDesktop::Click(w.x + layout->markAllX, w.y + layout->markAllY);
                    const auto t = Clock::now();
                    XDesktop::MovePointer(0, 0);
                    return t;
                },
                [&](Clock::time_point deadline) { return WaitRedGone(screen, badge, red, deadline); },
                [&](Clock::time_point changed) -> std::optional<Clock::time_point> { return changed; });
            const std::string unread = RawDb(app->RcdPath(), RawDb::Mode::ReadOnly)
                                           .Scalar("select count(*) from items where msg_top is not '1'");
            if (unread != "0") std::printf("    (%s rows left unread)\n", unread.c_str());
            Stop(*app);
        }
        PrintChange("a new item (to screen from the poll that carried it)", count, added, o.changeWindow);
        PrintChange("a link marked read (to screen from the click)", count, read, o.changeWindow);
        PrintChange("mark all read (to screen from the click)", count, allRead, o.changeWindow);
        PrintChange("a click on the first entry's title, which changes nothing", count, plain,
                    o.changeWindow);
    }
    Load("change", "end");
}

// --- idle ----------------------------------------------------------------------------------------------

struct IdleCase {
    const char* name;
    bool stored;    // the seeded store of `items`, else an empty one
    bool serverUp;  // serving the same items, unchanged
};

void BenchIdle(const Options& o) {
    Load("idle", "begin");
    const fs::path rcd = Seed(o, o.items);
    const long hz = sysconf(_SC_CLK_TCK);
    std::vector<IdleCase> cases{{"stored, the same items served unchanged", true, true}};
    if (o.idleAllCases) {
        cases.push_back({"stored, server down", true, false});
        cases.push_back({"nothing stored, server down", false, false});
    }
    for (const std::string& locale : o.locales) {
        for (const IdleCase& c : cases) {
            std::map<std::string, std::vector<double>> byKind, byThreadMs, byThreadWakeups;
            std::vector<double> all, allNs;
            std::printf("idle, %d %s, LANG=%s, NO_AT_BRIDGE=1, from %d s after start over %d s:\n", o.items,
                        c.name, locale.c_str(), o.idleAfter, o.idleSeconds);
            for (int r = 0; r < o.runs; ++r) {
                std::optional<FeedServer> server;
                if (c.serverUp) {
                    server.emplace(NOTIFIER_BENCH_PORT);
                    server->Deals().AddRange(1, o.items, "Bench");
                }
                auto app = Launch(o, "idle", c.stored ? &rcd : nullptr, false, locale);
                std::this_thread::sleep_until(app->StartedAt() + std::chrono::seconds(o.idleAfter));
                // One sample a second is plenty: no change is expected.
                CpuMeter meter(*app, 1000ms);
                const auto t0 = Clock::now();
                const CpuReading r0 = meter.Now();
                std::this_thread::sleep_for(std::chrono::seconds(o.idleSeconds));
                const CpuReading d = meter.Now() - r0;
                const double wall = Seconds(Clock::now() - t0);
                const bool bridgeOff = HasEnvironment(app->Pid(), "NO_AT_BRIDGE=1");
                std::printf("  run %d:", r + 1);
                for (const auto& [kind, ticks] : d.ticksByKind) {
                    const double pct = 100.0 * double(ticks) / double(hz) / wall;
                    byKind[kind].push_back(pct);
                    std::printf(" %s %.2f %%", kind.c_str(), pct);
                }
                all.push_back(100.0 * double(d.ticks) / double(hz) / wall);
                allNs.push_back(100.0 * d.ns / 1e9 / wall);
                std::printf(" all %.2f %% (schedstat %.3f %%)%s\n", all.back(), allNs.back(),
                            bridgeOff ? "" : " NO_AT_BRIDGE NOT SET");
                for (const auto& [key, ns] : d.nsByThread) {
                    byThreadMs[key].push_back(ns / 1e6 / wall);
                    byThreadWakeups[key].push_back(double(d.runsByThread.at(key)) / wall);
                }
                // The list is checked on the screen only afterwards.
                const auto w = PlacedWindow(*app, 5s);
                ScreenWatch screen;
                if (c.stored && (!w || !screen.WaitForRed(FirstEntry(*w), kRedOfOneEntry, 2s))) {
                    std::printf("  (run %d: the list was not on screen)\n", r + 1);
                }
                Stop(*app);
            }
            for (const auto& [kind, v] : byKind) {
                std::printf("idle CPU (stat ticks), %s, LANG=%s, %s: %s %% of one core\n", c.name,
                            locale.c_str(), kind.c_str(), Spread(v, "%.3f").c_str());
            }
            std::printf(
                "idle CPU (stat ticks), %s, LANG=%s, all processes: %s %% of one core  aim <= 0.1 %%\n",
                c.name, locale.c_str(), Spread(all, "%.3f").c_str());
            std::printf("idle CPU (schedstat ns), %s, LANG=%s, all processes: %s %% of one core\n", c.name,
                        locale.c_str(), Spread(allNs, "%.3f").c_str());
            std::printf("  per thread (schedstat), median ms a second and wake-ups a second:\n");
            std::vector<std::pair<double, std::string>> order;
            for (const auto& [key, v] : byThreadMs) {
                std::vector<double> s = v;
                std::sort(s.begin(), s.end());
                order.emplace_back(-s[s.size() / 2], key);
            }
            std::sort(order.begin(), order.end());
            for (const auto& [negative, key] : order) {
                const auto& wake = byThreadWakeups[key];
                if (-negative < 0.001 && *std::max_element(wake.begin(), wake.end()) < 0.05) continue;
                std::printf("    %-40s %s ms/s, %s wake-ups/s\n", key.c_str(),
                            Spread(byThreadMs[key], "%.3f").c_str(), Spread(wake, "%.2f").c_str());
            }
            std::fflush(stdout);
        }
    }
    Load("idle", "end");
}

// --- insert and memory ---------------------------------------------------------------------------------

void BenchInsert(const Options& o) {
    Load("insert", "begin");
    const fs::path rcd = Seed(o, o.items);
    FeedServer server(NOTIFIER_BENCH_PORT);
    DealFeed deals = server.Deals();
    deals.AddRange(std::max(1, o.items - o.feedItems + 1), o.items, "Bench");
    auto app = Launch(o, "insert", &rcd, true);
    const auto window = PlacedWindow(*app);
    if (!window || !SeenAt(app->Pid(), TabQuery(o.items, o.items), o.timeout)) {
        std::printf("insert: the list never showed\n");
        return;
    }
    ScreenWatch screen;
    std::vector<double> fromServer, fromPoll;
    for (int k = 1; k <= o.runs; ++k) {
        std::this_thread::sleep_for(1500ms);  // let the last refresh settle
        const uint64_t before = screen.Hash(FirstTitleRow(*window));
        deals.Add(deals.Make(o.items + k, "Insert"));
        const auto added = Clock::now();
        const auto shown = screen.WaitForChange(FirstTitleRow(*window), before, 30s);
        if (!shown) {
            std::printf("  insert %d never showed\n", k);
            continue;
        }
        fromServer.push_back(Seconds(*shown - added));
        for (const auto hit : server.FeedHits()) {
            if (hit >= added) {
                fromPoll.push_back(Seconds(*shown - hit));
                break;
            }
        }
        const std::size_t total = o.items + k;
        if (!SeenAt(app->Pid(), TabQuery(total, total), 30)) {
            std::printf("  insert %d: the tab never counted %zu items\n", k, total);
        }
    }
    std::printf(
        "insert to screen, %d stored items: from the poll that carried it %s s, from the server %s s "
        "(that includes the 5 s poll pause)\n",
        o.items, Spread(fromPoll).c_str(), Spread(fromServer).c_str());
    Stop(*app);
    Load("insert", "end");
}

void BenchMemory(const Options& o) {
    Load("memory", "begin");
    const fs::path rcd = Seed(o, o.items);
    FeedServer server(NOTIFIER_BENCH_PORT);
    DealFeed deals = server.Deals();
    deals.AddRange(std::max(1, o.items - o.feedItems + 1), o.items, "Bench");
    auto app = Launch(o, "memory", &rcd, true);
    if (!SeenAt(app->Pid(), TabQuery(o.items, o.items), o.timeout)) {
        std::printf("memory: the list never showed\n");
        return;
    }
    const auto web = app->ChildNamed("WebKitWebProces");
    const auto t0 = Clock::now();
    const auto end = t0 + std::chrono::duration<double>(o.memoryMinutes * 60);
    auto nextFeed = t0 + std::chrono::seconds(o.feedEverySeconds);
    auto nextSample = t0;
    int added = 0;
    std::printf(
        "memory (RSS and PSS of all processes, MiB), %d stored items, a new feed item every %d s:\n"
        "   t(s)   feed  UI RSS  web RSS  all PSS\n",
        o.items, o.feedEverySeconds);
    std::vector<std::pair<long, long>> samples;
    auto rss = [](pid_t pid) {
        std::ifstream in("/proc/" + std::to_string(pid) + "/status");
        for (std::string line; std::getline(in, line);) {
            if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
        }
        return -1L;
    };
    while (Clock::now() < end && app->IsRunning()) {
        const auto now = Clock::now();
        if (now >= nextFeed) {
            deals.Add(deals.Make(o.items + ++added, "Memory"));
            nextFeed += std::chrono::seconds(o.feedEverySeconds);
        }
        if (now >= nextSample) {
            const long ui = rss(app->Pid());
            const long wp = web ? rss(*web) : -1;
            samples.emplace_back(ui, wp);
            std::printf(" %6.0f  %5zu  %6.1f  %7.1f  %7.1f\n", Seconds(now - t0), deals.Count(), ui / 1024.0,
                        wp / 1024.0, ReadPss(*app).all);
            std::fflush(stdout);
            nextSample += std::chrono::seconds(o.sampleSeconds);
        }
        std::this_thread::sleep_for(200ms);
    }
    if (samples.size() >= 2) {
        std::printf("memory: UI %.1f -> %.1f MiB, web %.1f -> %.1f MiB over %.1f min  aim: flat\n",
                    samples.front().first / 1024.0, samples.back().first / 1024.0,
                    samples.front().second / 1024.0, samples.back().second / 1024.0, o.memoryMinutes);
    }
    Stop(*app);
    Load("memory", "end");
}

}  // namespace

int main(int argc, char** argv) {
    const Options o = Parse(argc, argv);
    if (!XDesktop::HasDisplay()) {
        std::cerr << "bench-e2e needs an X server and a session bus: run it under\n"
                     "  xvfb-run -a -s \"-screen 0 1280x1024x24 -noreset\" dbus-run-session -- bench-e2e\n";
        return 2;
    }
    unsetenv("NO_AT_BRIDGE");
    fs::create_directories(o.workDir);
    XDesktop::MovePointer(0, 0);
    std::printf("bench-e2e: %s, %d runs, %ld cores\n", o.exe.c_str(), o.runs, sysconf(_SC_NPROCESSORS_ONLN));
    std::fflush(stdout);
    try {
        if (o.Runs("start") || o.Runs("pss")) BenchStartAndPss(o);
        if (o.Runs("change")) BenchChange(o);
        if (o.Runs("idle") && o.idleSeconds > 0) BenchIdle(o);
        if (o.Runs("insert")) BenchInsert(o);
        if (o.Runs("memory") && o.memoryMinutes > 0) BenchMemory(o);
    } catch (const std::exception& e) {
        std::cerr << "bench-e2e: " << e.what() << "\n";
        return 1;
    }
    return 0;
}

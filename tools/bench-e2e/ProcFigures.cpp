#include "ProcFigures.h"

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "tools/harness/desktop/AppProcess.h"

namespace fs = std::filesystem;

namespace {

std::string FirstLine(const fs::path& file) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    return line;
}

// Fields of a stat line after "pid (comm)"; comm may hold blanks, so split after the last ')'.
std::vector<std::string> StatFields(const fs::path& file) {
    const std::string line = FirstLine(file);
    const auto close = line.rfind(')');
    if (close == std::string::npos || close + 2 > line.size()) return {};
    std::istringstream rest(line.substr(close + 2));
    return {std::istream_iterator<std::string>(rest), {}};
}

std::string KindOf(const std::string& comm) {
    if (comm.rfind("WebKitWebProces", 0) == 0) return "web";
    if (comm.rfind("WebKitNetworkPr", 0) == 0) return "network";
    if (comm.rfind("WebKitGPUProces", 0) == 0) return "gpu";
    return comm;
}

bool Counted(const std::string& kind) {
    return kind == "UI" || kind == "web" || kind == "network" || kind == "gpu";
}

}  // namespace

std::vector<NotifierProcess> NotifierProcesses(const harness::AppProcess& app) {
    std::vector<NotifierProcess> found{{app.Pid(), "UI"}};
    for (const auto& [pid, comm] : app.Children()) found.push_back({pid, KindOf(comm)});
    return found;
}

long long StatTicks(pid_t pid) {
    const auto f = StatFields("/proc/" + std::to_string(pid) + "/stat");
    // state is field 3 of the line; utime is 14 and stime 15.
    return f.size() > 12 ? std::stoll(f[11]) + std::stoll(f[12]) : -1;
}

long PssKiB(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/smaps_rollup");
    long sum = -1;
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("Pss:", 0) == 0) sum = std::max(sum, 0L) + std::stol(line.substr(4));
    }
    return sum;
}

std::string LoadAverage() {
    std::istringstream in(FirstLine("/proc/loadavg"));
    std::string a, b, c;
    in >> a >> b >> c;
    return a + " " + b + " " + c;
}

bool HasEnvironment(pid_t pid, const std::string& entry) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/environ", std::ios::binary);
    for (std::string e; std::getline(in, e, '\0');) {
        if (e == entry) return true;
    }
    return false;
}

CpuReading CpuReading::operator-(const CpuReading& earlier) const {
    CpuReading d = *this;
    d.ns -= earlier.ns;
    d.ticks -= earlier.ticks;
    d.threadsEnded -= earlier.threadsEnded;
    for (const auto& [k, v] : earlier.nsByKind) d.nsByKind[k] -= v;
    for (const auto& [k, v] : earlier.ticksByKind) d.ticksByKind[k] -= v;
    for (const auto& [k, v] : earlier.nsByThread) d.nsByThread[k] -= v;
    for (const auto& [k, v] : earlier.runsByThread) d.runsByThread[k] -= v;
    return d;
}

CpuMeter::CpuMeter(const harness::AppProcess& app, std::chrono::milliseconds period)
    : m_app(app), m_period(period) {
    {
        const std::lock_guard lock(m_mutex);
        Sample(true);
    }
    m_thread = std::thread([this] { Run(); });
}

CpuMeter::~CpuMeter() {
    {
        const std::lock_guard lock(m_mutex);
        m_bStop = true;
    }
    m_wake.notify_all();
    m_thread.join();
}

CpuReading CpuMeter::Now() {
    const std::lock_guard lock(m_mutex);
    Sample(true);
    return m_total;
}

void CpuMeter::Run() {
    auto nextScan = std::chrono::steady_clock::now();
    std::unique_lock lock(m_mutex);
    while (!m_wake.wait_for(lock, m_period, [this] { return m_bStop; })) {
        // Looking for new processes walks all of /proc: once a second is enough.
        const bool rescan = std::chrono::steady_clock::now() >= nextScan;
        if (rescan) nextScan = std::chrono::steady_clock::now() + std::chrono::seconds(1);
        Sample(rescan);
    }
}

void CpuMeter::Sample(bool rescan) {
    if (rescan) {
        for (const auto& p : NotifierProcesses(m_app)) {
            if (m_tracked.contains(p.pid) || m_ignored.contains(p.pid)) continue;
            if (!m_bFirst && !Counted(p.kind)) {
                m_ignored.insert(p.pid);
                continue;
            }
            // Counted from zero: a process that appears after the first sample started since then.
            m_tracked[p.pid].kind = p.kind;
        }
    }
    for (auto it = m_tracked.begin(); it != m_tracked.end();) {
        const pid_t pid = it->first;
        Tracked& t = it->second;
        const fs::path task = "/proc/" + std::to_string(pid) + "/task";
        std::error_code ec;
        std::map<pid_t, unsigned long long> ns, runs;
        std::map<pid_t, std::string> names;
        for (const auto& entry : fs::directory_iterator(task, ec)) {
            const pid_t tid = std::stoi(entry.path().filename());
            std::istringstream s(FirstLine(entry.path() / "schedstat"));
            unsigned long long onCpu = 0, waited = 0, timeslices = 0;
            if (!(s >> onCpu >> waited >> timeslices)) continue;
            ns[tid] = onCpu;
            runs[tid] = timeslices;
            names[tid] = FirstLine(entry.path() / "comm");
        }
        const long long ticks = StatTicks(pid);
        if (ec || ticks < 0) {  // the process has ended
            m_total.threadsEnded += static_cast<int>(t.threadNs.size());
            it = m_tracked.erase(it);
            continue;
        }
        for (const auto& [tid, value] : ns) {
            const auto before = t.threadNs.find(tid);
            // A thread seen for the first time is counted from its start, except at the first sample.
            const unsigned long long base =
                before != t.threadNs.end() ? before->second : (m_bFirst ? value : 0);
            const unsigned long long baseRuns =
                before != t.threadNs.end() ? t.threadRuns[tid] : (m_bFirst ? runs[tid] : 0);
            const double grown = static_cast<double>(value - std::min(base, value));
            const std::string key = t.kind + "/" + names[tid];
            m_total.ns += grown;
            m_total.nsByKind[t.kind] += grown;
            m_total.nsByThread[key] += grown;
            m_total.runsByThread[key] += static_cast<long long>(runs[tid] - std::min(baseRuns, runs[tid]));
        }
        for (const auto& [tid, value] : t.threadNs) {
            if (!ns.contains(tid)) ++m_total.threadsEnded;
        }
        const long long baseTicks = m_bFirst ? ticks : t.ticks;
        m_total.ticks += ticks - baseTicks;
        m_total.ticksByKind[t.kind] += ticks - baseTicks;
        t.ticks = ticks;
        t.threadNs = std::move(ns);
        t.threadRuns = std::move(runs);
        ++it;
    }
    m_bFirst = false;
}

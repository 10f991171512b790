#pragma once

// What the notifier's processes cost, read from /proc from outside: CPU time per process and per
// thread, and proportional memory (PSS).
#include <sys/types.h>

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace harness {
class AppProcess;
}

// The UI process and every process it started (two generations by parent pid, so a sandbox
// launcher between them does not hide them), each with its kind: "UI", "web", "network", or the
// command name of anything else.
struct NotifierProcess {
    pid_t pid;
    std::string kind;
};
std::vector<NotifierProcess> NotifierProcesses(const harness::AppProcess& app);

// utime + stime of /proc/PID/stat in clock ticks (threads that have ended included); -1 when gone.
long long StatTicks(pid_t pid);
// Sum of the Pss lines of /proc/PID/smaps_rollup, KiB; -1 when unreadable.
long PssKiB(pid_t pid);
// "1.23 0.98 0.75" from /proc/loadavg.
std::string LoadAverage();
// Whether NAME=VALUE is in the process's environment.
bool HasEnvironment(pid_t pid, const std::string& entry);

// CPU used since a start point, over all the notifier's processes.
struct CpuReading {
    double ns = 0;         // schedstat: nanoseconds on a CPU, summed over threads
    long long ticks = 0;   // stat: utime + stime, clock ticks
    int threadsEnded = 0;  // threads that ended between two samples (their last moments are lost)
    std::map<std::string, double> nsByKind;
    std::map<std::string, long long> ticksByKind;
    // "kind/thread name": ns and the number of times the threads were put on a CPU (wake-ups).
    std::map<std::string, double> nsByThread;
    std::map<std::string, long long> runsByThread;

    CpuReading operator-(const CpuReading& earlier) const;
};

// Samples every thread of the notifier's processes from a thread of its own. CPU is counted per
// thread as the growth of the first field of /proc/PID/task/TID/schedstat (ns on a CPU) between
// samples; a thread or process that appears is counted from its start. A thread that ends between
// two samples loses only what it ran after the last one, which is why the sample period is short.
// The stat ticks of each process (which keep ended threads) are counted alongside as a cross-check.
// Processes other than UI, web and network that first appear after the start (the desktop's URL
// handler a link click launches) are not counted.
class CpuMeter {
  public:
    CpuMeter(const harness::AppProcess& app, std::chrono::milliseconds period);
    ~CpuMeter();
    CpuMeter(const CpuMeter&) = delete;
    CpuMeter& operator=(const CpuMeter&) = delete;

    // Samples now and returns the totals since the meter started.
    CpuReading Now();

  private:
    struct Tracked {
        std::string kind;
        std::map<pid_t, unsigned long long> threadNs;
        std::map<pid_t, unsigned long long> threadRuns;
        long long ticks = 0;
    };

    void Sample(bool rescan);
    void Run();

    const harness::AppProcess& m_app;
    std::chrono::milliseconds m_period;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::map<pid_t, Tracked> m_tracked;
    std::set<pid_t> m_ignored;
    CpuReading m_total;
    bool m_bFirst = true;
    bool m_bStop = false;
    std::thread m_thread;
};

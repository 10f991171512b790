#pragma once

#include <ostream>
#include <string>

namespace harness {

// Many polls of an unchanged feed from a loopback server against a large store, watching the process
// for growth and leaks. Used by the bench-soak tool and, shortened, by a unit test.
struct SoakOptions {
    int polls = 2000;
    int warmupPolls = 50;   // memory is measured from here on
    int feedItems = 100;    // stored by the first poll, unchanged afterwards
    int storeRows = 10000;  // rows already in the store before the first poll
    std::string directory;  // holds rcd; must exist and end in '/'
};

struct SoakFigures {
    int polls = 0;
    long rssAfterWarmupKiB = -1;
    long rssEndKiB = -1;
    int fdsBefore = -1;
    int fdsAfter = -1;
    int threadsBefore = -1;
    int threadsAfter = -1;
    double msPerPoll = 0;
    double slowestPollMs = 0;
    long long storedRows = -1;  // rows after the last poll
    int feedRequests = 0;       // as counted by the server
};

SoakFigures RunSoak(const SoakOptions& options);
void PrintFigures(std::ostream& out, const SoakFigures& figures);

}  // namespace harness

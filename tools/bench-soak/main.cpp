// bench-soak [polls] [directory]: many polls of an unchanged 100-item feed from a loopback server into a
// store of 10,000 rows; prints memory, descriptor and thread figures and the time per poll.
#include <cstdlib>
#include <iostream>
#include <optional>
#include <string>

#include "tools/harness/TempDir.h"
#include "tools/harness/loopback/SoakRun.h"

int main(int argc, char** argv) {
    harness::SoakOptions options;
    if (argc > 1) options.polls = std::atoi(argv[1]);
    if (options.polls < 2 || options.warmupPolls >= options.polls) {
        std::cerr << "usage: bench-soak [polls > " << options.warmupPolls << "] [directory]\n";
        return 2;
    }
    std::optional<harness::TempDir> scratch;
    if (argc > 2) {
        options.directory = argv[2];
        if (!options.directory.ends_with('/')) options.directory += '/';
    } else {
        options.directory = scratch.emplace().ModuleDir();
    }
    const harness::SoakFigures figures = harness::RunSoak(options);
    std::cout << "store in " << options.directory << "\n";
    harness::PrintFigures(std::cout, figures);
    return 0;
}

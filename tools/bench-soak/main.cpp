// bench-soak [polls] [directory]: many polls of an unchanged 100-item feed from a loopback server into a
// store of 10,000 rows; prints memory, descriptor and thread figures and the time per poll.
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <iostream>
#include <string>

#include "SoakRun.h"

int main(int argc, char** argv) {
    SoakOptions options;
    if (argc > 1) options.polls = std::atoi(argv[1]);
    std::string directory;
    if (argc > 2) {
        directory = argv[2];
    } else {
        std::string pattern = (std::filesystem::temp_directory_path() / "bench-soak-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) {
            std::perror("mkdtemp");
            return 1;
        }
        directory = pattern;
    }
    if (directory.back() != '/') directory += '/';
    options.directory = directory;
    if (options.polls < 2 || options.warmupPolls >= options.polls) {
        std::cerr << "usage: bench-soak [polls > " << options.warmupPolls << "] [directory]\n";
        return 2;
    }
    const SoakFigures figures = RunSoak(options);
    std::cout << "store in " << directory << "\n";
    PrintFigures(std::cout, figures);
    if (argc <= 2) std::filesystem::remove_all(directory);
    return 0;
}

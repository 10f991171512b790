#include "tools/harness/ProcessStatus.h"

#include <filesystem>
#include <fstream>

namespace harness {

int OpenDescriptors() {
    int count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) ++count;
    return count - 1;  // the iterator's own
}

long StatusField(const std::string& key) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.starts_with(key)) return std::stol(line.substr(key.size()));
    }
    return -1;
}

}  // namespace harness

#include "platform/ExecutablePath.h"

#include <unistd.h>

#include <climits>

namespace platform {

std::string ExecutablePath() {
    char buffer[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer);
    if (n <= 0 || static_cast<size_t>(n) >= sizeof buffer) return {};
    return std::string(buffer, static_cast<size_t>(n));
}

std::string DirectoryOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return (slash == std::string::npos ? std::string() : path.substr(0, slash)) + "/";
}

}  // namespace platform

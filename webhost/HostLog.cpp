#include "webhost/HostLog.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace WebWindow {

void HostLog(std::string_view message) {
    static const bool enabled = [] {
        const char* value = std::getenv("NOTIFIER_DEBUG");
        return value != nullptr && *value != '\0' && std::string(value) != "0";
    }();
    if (enabled) std::fprintf(stderr, "[webhost] %.*s\n", static_cast<int>(message.size()), message.data());
}

}  // namespace WebWindow

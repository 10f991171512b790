#include "feed/DebugLog.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace feed {

namespace {
bool DebugEnabled() {
    static const bool enabled = [] {
        const char* value = std::getenv("NOTIFIER_DEBUG");
        return value != nullptr && *value != '\0' && std::string(value) != "0";
    }();
    return enabled;
}
}  // namespace

void DebugLog(std::string_view message) {
    if (DebugEnabled()) {
        std::fprintf(stderr, "[feed] %.*s\n", static_cast<int>(message.size()), message.data());
    }
}

}  // namespace feed

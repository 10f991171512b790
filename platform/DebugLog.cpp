#include "platform/DebugLog.h"

#include <cstdio>
#include <cstdlib>

namespace platform {

namespace {

bool DebugEnabled() {
    static const bool enabled = [] {
        const char* value = std::getenv("NOTIFIER_DEBUG");
        return value != nullptr && *value != '\0' && std::string_view(value) != "0";
    }();
    return enabled;
}

}  // namespace

void DebugLog(std::string_view area, std::string_view message) {
    if (!DebugEnabled()) return;
    std::fprintf(stderr, "[%.*s] %.*s\n", static_cast<int>(area.size()), area.data(),
                 static_cast<int>(message.size()), message.data());
}

}  // namespace platform

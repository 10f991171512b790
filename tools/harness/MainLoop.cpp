#include "tools/harness/MainLoop.h"

#include <glib.h>

namespace harness {

bool SpinUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        if (!g_main_context_iteration(nullptr, FALSE)) g_usleep(1000);
    }
    return true;
}

void RunFor(std::chrono::milliseconds duration) {
    SpinUntil([] { return false; }, duration);
}

}  // namespace harness

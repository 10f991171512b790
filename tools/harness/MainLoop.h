#pragma once

#include <chrono>
#include <functional>

namespace harness {

// Runs the default GLib main context until `done` holds or `limit` has passed; whether it held.
bool SpinUntil(const std::function<bool()>& done, std::chrono::milliseconds limit);
// Runs the default main context for `duration`.
void RunFor(std::chrono::milliseconds duration);

}  // namespace harness

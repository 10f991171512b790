#pragma once

#include <string_view>

namespace platform {

// Writes "[area] message" to stderr when the environment variable NOTIFIER_DEBUG is set and not "0".
// Failures stay silent to the user; this is where a developer sees them.
void DebugLog(std::string_view area, std::string_view message);

}  // namespace platform

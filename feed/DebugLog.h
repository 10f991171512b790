#pragma once

#include <string_view>

namespace feed {

// Writes one line to stderr when the environment variable NOTIFIER_DEBUG is set and not "0".
// Failures of the feed path stay silent to the user; this is where a developer sees them.
void DebugLog(std::string_view message);

}  // namespace feed

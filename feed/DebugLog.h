#pragma once

#include <string_view>

#include "platform/DebugLog.h"

namespace feed {

// The feed path's failures, for a developer (see platform::DebugLog).
inline void DebugLog(std::string_view message) { platform::DebugLog("feed", message); }

}  // namespace feed

#pragma once

#include <string_view>

#include "platform/DebugLog.h"

namespace WebWindow {

// The browser host's silent failures (404s, failed loads, refused navigations, failed script batches),
// for a developer (see platform::DebugLog).
inline void HostLog(std::string_view message) { platform::DebugLog("webhost", message); }

}  // namespace WebWindow

#pragma once

#include <string_view>

namespace WebWindow {

// One line to stderr when NOTIFIER_DEBUG is set and not "0": the browser host's silent failures
// (404s, failed loads, refused navigations, failed script batches) stay visible to a developer.
void HostLog(std::string_view message);

}  // namespace WebWindow

#pragma once

#include <chrono>
#include <optional>
#include <string>

#include <gtk/gtk.h>

namespace harness {

// Runs `js` in the page's own world of the web view `view` (a WebKitWebView), spinning the default main
// context until the answer comes: its value as JSON text ("null" for undefined, "" when it threw or
// there is no view), or
// none when no answer came within `limit`.
std::optional<std::string> EvaluateJson(GtkWidget* view, const std::string& js,
                                        std::chrono::milliseconds limit = std::chrono::seconds(10));

}  // namespace harness

#pragma once

#include <string>

class ItemStore;

// The whole program after static construction: locale, curl, GTK, the popup
// centred on screen, the message loop, and the shutdown order (popup gone, then
// the poll worker joined). Returns the exit code. `store` is the process's one
// item store; it is closed by its owner after this returns. `feedUrl` is polled and `homeUrl`, which
// passed platform::WebUrlProblem, is the page's home link.
int RunNotifier(ItemStore& store, const std::string& feedUrl, const std::string& homeUrl, int argc,
                char** argv);

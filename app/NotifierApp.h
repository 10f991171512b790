#pragma once

#include <string>

class ItemStore;

// The whole program after static construction: locale, curl, GTK, the popup
// centred on screen, the message loop, and the shutdown order (popup gone, then
// the poll worker joined). Returns the exit code. `store` is the process's one
// item store; it is closed by its owner after this returns.
int RunNotifier(ItemStore& store, const std::string& feedUrl, int argc, char** argv);

#pragma once

namespace WebWindow {

// Starts GTK the way the web view needs it: X11 backend (window shape and placement rely on it) and
// overlay scrolling off (with it on, the web process burns seconds of CPU after every content change).
// Call once, on the GUI thread, before any other GTK call. False when no display can be opened.
bool StartGtk(int* argc, char*** argv);
// The same with an argument vector holding only `programName` (may be null): the program takes no
// command line, so GTK's own options (--display, --gtk-module, ...) must not act either.
bool StartGtk(const char* programName);

}  // namespace WebWindow

#pragma once

namespace WebWindow {

// Starts GTK the way the web view needs it: X11 backend (window shape and placement rely on it) and
// overlay scrolling off (with it on, the web process burns seconds of CPU after every content change).
// Call once, on the GUI thread, before any other GTK call. False when no display can be opened.
bool StartGtk(int* argc, char*** argv);

}  // namespace WebWindow

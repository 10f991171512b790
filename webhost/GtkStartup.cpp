#include "webhost/GtkStartup.h"

#include <string>

#include <gtk/gtk.h>

namespace WebWindow {

bool StartGtk(int* argc, char*** argv) {
    g_setenv("GTK_OVERLAY_SCROLLING", "0", TRUE);
    // WebKit's system memory monitor wakes a thread every 1-5 s to parse /proc/meminfo and the cgroup
    // files one byte per read, and has the web process parse its whole /proc/self/smaps every 30 s: most
    // of what the idle notifier costs. Without it WebKit frees no caches when the system runs short of
    // memory, which matters little for one local page.
    g_setenv("WEBKIT_DISABLE_MEMORY_PRESSURE_MONITOR", "1", FALSE);
    gdk_set_allowed_backends("x11");
    return gtk_init_check(argc, argv) != FALSE;
}

bool StartGtk(const char* programName) {
    std::string name = programName != nullptr ? programName : "";
    char* arguments[] = {name.data(), nullptr};
    int count = programName != nullptr ? 1 : 0;
    char** vector = arguments;
    return StartGtk(&count, &vector);
}

}  // namespace WebWindow

#include "webhost/GtkStartup.h"

#include <string>

#include <gtk/gtk.h>

namespace WebWindow {

bool StartGtk(int* argc, char*** argv) {
    g_setenv("GTK_OVERLAY_SCROLLING", "0", TRUE);
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

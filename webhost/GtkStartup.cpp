#include "webhost/GtkStartup.h"

#include <gtk/gtk.h>

namespace WebWindow {

bool StartGtk(int* argc, char*** argv) {
    g_setenv("GTK_OVERLAY_SCROLLING", "0", TRUE);
    gdk_set_allowed_backends("x11");
    return gtk_init_check(argc, argv) != FALSE;
}

}  // namespace WebWindow

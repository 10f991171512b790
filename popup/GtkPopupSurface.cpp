#include "popup/GtkPopupSurface.h"

#include <utility>

#include "platform/WindowManager.h"

GtkPopupSurface::GtkPopupSurface(GResource* resources, std::string skinPath)
    : m_pResources(resources), m_strSkinPath(std::move(skinPath)) {}

GtkPopupSurface::~GtkPopupSurface() { Destroy(); }

void GtkPopupSurface::Create(platform::HWND hWnd, int width, int height) {
    m_hWnd = hWnd;
    m_pWindow = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_title(GTK_WINDOW(m_pWindow), "");
    gtk_window_set_decorated(GTK_WINDOW(m_pWindow), FALSE);
    gtk_window_set_resizable(GTK_WINDOW(m_pWindow), FALSE);
    gtk_window_set_default_size(GTK_WINDOW(m_pWindow), width, height);
    gtk_widget_set_size_request(m_pWindow, width, height);
    gtk_window_move(GTK_WINDOW(m_pWindow), 0, 0);

    m_pFixed = gtk_fixed_new();
    gtk_container_add(GTK_CONTAINER(m_pWindow), m_pFixed);
    // The skin goes under the children: the fixed draws its children in its default handler, after ours.
    g_signal_connect(m_pFixed, "draw", G_CALLBACK(OnDrawSkin), this);
    g_signal_connect(m_pWindow, "delete-event", G_CALLBACK(OnDeleteEvent), this);
    platform::SetNativeWidget(hWnd, m_pFixed);
}

bool GtkPopupSurface::LoadSkin() {
    if (!m_pResources) return false;
    g_autoptr(GBytes) bytes =
        g_resource_lookup_data(m_pResources, m_strSkinPath.c_str(), G_RESOURCE_LOOKUP_FLAGS_NONE, nullptr);
    if (!bytes) return false;
    g_autoptr(GInputStream) stream = g_memory_input_stream_new_from_bytes(bytes);
    g_autoptr(GdkPixbuf) skin = gdk_pixbuf_new_from_stream(stream, nullptr, nullptr);
    if (!skin) return false;
    m_pSkin.reset(gdk_cairo_surface_create_from_pixbuf(skin, 1, nullptr));
    Redraw();
    return true;
}

void GtkPopupSurface::SetShape(const std::vector<ShapeRun>& runs) {
    if (!m_pWindow) return;
    const std::unique_ptr<cairo_region_t, decltype(&cairo_region_destroy)> region(cairo_region_create(),
                                                                                  &cairo_region_destroy);
    for (const ShapeRun& run : runs) {
        const cairo_rectangle_int_t rect{run.left, run.y, run.right - run.left, 1};
        cairo_region_union_rectangle(region.get(), &rect);
    }
    gtk_widget_shape_combine_region(m_pWindow, region.get());
}

void GtkPopupSurface::SetClipboardText(const std::string& utf8) {
    GtkClipboard* clipboard = gtk_clipboard_get(GDK_SELECTION_CLIPBOARD);
    if (clipboard) gtk_clipboard_set_text(clipboard, utf8.c_str(), static_cast<gint>(utf8.size()));
}

void GtkPopupSurface::Show() {
    if (!m_pWindow) return;
    gtk_widget_show(m_pFixed);
    gtk_widget_show(m_pWindow);
}

void GtkPopupSurface::Focus() {
    if (m_pWindow) gtk_window_present(GTK_WINDOW(m_pWindow));
}

void GtkPopupSurface::Redraw() {
    if (m_pFixed) gtk_widget_queue_draw(m_pFixed);
}

platform::Rect GtkPopupSurface::WorkArea() const {
    GdkDisplay* display = gdk_display_get_default();
    if (!display) return {};
    GdkMonitor* monitor = gdk_display_get_primary_monitor(display);
    if (!monitor) monitor = gdk_display_get_monitor(display, 0);
    if (!monitor) return {};
    GdkRectangle area{};
    gdk_monitor_get_workarea(monitor, &area);
    return {area.x, area.y, area.x + area.width, area.y + area.height};
}

void GtkPopupSurface::Move(int x, int y) {
    if (m_pWindow) gtk_window_move(GTK_WINDOW(m_pWindow), x, y);
}

void GtkPopupSurface::Destroy() {
    if (!m_pWindow) return;
    g_signal_handlers_disconnect_by_data(m_pFixed, this);
    g_signal_handlers_disconnect_by_data(m_pWindow, this);
    gtk_widget_destroy(m_pWindow);
    m_pWindow = nullptr;
    m_pFixed = nullptr;
}

gboolean GtkPopupSurface::OnDeleteEvent(GtkWidget*, GdkEvent*, gpointer self) {
    // The window manager's close is the plain WM_CLOSE; its default processing destroys the popup.
    platform::PostMessage(static_cast<GtkPopupSurface*>(self)->m_hWnd, platform::WM_CLOSE, 0, 0);
    return TRUE;
}

gboolean GtkPopupSurface::OnDrawSkin(GtkWidget*, cairo_t* cr, gpointer self) {
    cairo_surface_t* skin = static_cast<GtkPopupSurface*>(self)->m_pSkin.get();
    if (skin) {
        // Only the area GTK clipped to is painted: usually the part of the page that changed.
        cairo_set_source_surface(cr, skin, 0, 0);
        cairo_paint(cr);
    }
    return FALSE;
}

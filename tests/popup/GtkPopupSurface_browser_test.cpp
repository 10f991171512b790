#include "popup/GtkPopupSurface.h"

#include <memory>
#include <string>

#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include "PopupTestSupport.h"
#include "res/PageResources.h"
#include "webhost/GtkStartup.h"

namespace {

using namespace std::chrono_literals;

using namespace popup_test;

class GtkSurface : public testing::Test {
  protected:
    static void SetUpTestSuite() {
        ASSERT_TRUE(WebWindow::StartGtk(nullptr, nullptr)) << "needs an X display";
    }

    GtkSurface() : surface(PageResources(), std::string(kPageResourcePrefix) + "/png/133") {
        surface.Create(window.hWnd, 515, 580);
    }
    ~GtkSurface() override {
        surface.Destroy();
        Drain();
    }

    GtkWidget* Fixed() const { return static_cast<GtkWidget*>(platform::GetNativeWidget(window.hWnd)); }
    GtkWindow* Toplevel() const { return GTK_WINDOW(gtk_widget_get_toplevel(Fixed())); }

    // What the container paints, children included, as 0xAARRGGBB pixels.
    cairo_surface_t* Paint() const {
        cairo_surface_t* image = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 515, 580);
        cairo_t* cr = cairo_create(image);
        gtk_widget_draw(Fixed(), cr);
        cairo_destroy(cr);
        cairo_surface_flush(image);
        return image;
    }
    static uint32_t Pixel(cairo_surface_t* image, int x, int y) {
        const unsigned char* row =
            cairo_image_surface_get_data(image) + y * cairo_image_surface_get_stride(image);
        return reinterpret_cast<const uint32_t*>(row)[x];
    }

    RecordingWindow window;
    GtkPopupSurface surface;
};

TEST_F(GtkSurface, IsAnUndecoratedFixedSizeTopLevelWithAContainer) {
    ASSERT_NE(Fixed(), nullptr);
    EXPECT_TRUE(GTK_IS_FIXED(Fixed()));
    EXPECT_FALSE(gtk_window_get_decorated(Toplevel()));
    EXPECT_FALSE(gtk_window_get_resizable(Toplevel()));
    surface.Show();
    surface.Move(100, 60);
    RunFor(300ms);
    GtkAllocation allocation{};
    gtk_widget_get_allocation(GTK_WIDGET(Toplevel()), &allocation);
    EXPECT_EQ(allocation.width, 515);
    EXPECT_EQ(allocation.height, 580);
    int x = 0, y = 0;
    gdk_window_get_origin(gtk_widget_get_window(GTK_WIDGET(Toplevel())), &x, &y);
    EXPECT_EQ(x, 100);
    EXPECT_EQ(y, 60);
}

TEST_F(GtkSurface, PaintsTheSkinBehindTheChildren) {
    surface.Show();
    RunFor(200ms);
    cairo_surface_t* before = Paint();
    const uint32_t interiorBefore = Pixel(before, 257, 290);
    cairo_surface_destroy(before);

    ASSERT_TRUE(surface.LoadSkin());
    cairo_surface_t* image = Paint();
    EXPECT_EQ(Pixel(image, 257, 0), 0xFFA0A0A0u) << "the one-pixel frame";
    EXPECT_EQ(Pixel(image, 0, 290), 0xFFA0A0A0u);
    EXPECT_EQ(Pixel(image, 257, 290), 0xFFFFFFFFu);
    cairo_surface_destroy(image);

    // A child where the view goes covers everything but the frame.
    GtkWidget* child = gtk_drawing_area_new();
    gtk_widget_set_size_request(child, 513, 578);
    g_signal_connect(child, "draw", G_CALLBACK(+[](GtkWidget*, cairo_t* cr, gpointer) -> gboolean {
                         cairo_set_source_rgb(cr, 1, 0, 0);
                         cairo_paint(cr);
                         return TRUE;
                     }),
                     nullptr);
    gtk_fixed_put(GTK_FIXED(Fixed()), child, 1, 1);
    gtk_widget_show(child);
    RunFor(200ms);
    image = Paint();
    EXPECT_EQ(Pixel(image, 257, 0), 0xFFA0A0A0u);
    EXPECT_EQ(Pixel(image, 257, 1), 0xFFFF0000u);
    EXPECT_EQ(Pixel(image, 257, 290), 0xFFFF0000u);
    EXPECT_EQ(Pixel(image, 514, 290), 0xFFA0A0A0u);
    cairo_surface_destroy(image);
    EXPECT_EQ(interiorBefore, 0u) << "nothing was painted before the skin loaded";
}

TEST_F(GtkSurface, PutsTextOnTheClipboard) {
    surface.SetClipboardText("res:///opt/deals/notifier/23/popup.html");
    g_autofree gchar* text = gtk_clipboard_wait_for_text(gtk_clipboard_get(GDK_SELECTION_CLIPBOARD));
    ASSERT_NE(text, nullptr);
    EXPECT_STREQ(text, "res:///opt/deals/notifier/23/popup.html");
}

TEST_F(GtkSurface, AWindowManagerCloseBecomesWmClose) {
    surface.Show();
    RunFor(200ms);
    window.messages.clear();
    GdkEvent* event = gdk_event_new(GDK_DELETE);
    event->any.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(GTK_WIDGET(Toplevel()))));
    gtk_main_do_event(event);
    gdk_event_free(event);
    Drain();
    EXPECT_EQ(window.Numbers(), std::vector<platform::UINT>{platform::WM_CLOSE});
    EXPECT_TRUE(gtk_widget_get_visible(GTK_WIDGET(Toplevel()))) << "the popup decides, not GTK";
}

}  // namespace

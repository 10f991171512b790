#pragma once

#include <memory>
#include <string>

#include <gdk-pixbuf/gdk-pixbuf.h>
#include <gio/gio.h>
#include <gtk/gtk.h>

#include "popup/IPopupSurface.h"

// The popup as a GTK top-level window with a GtkFixed inside, on the X11 backend.
class GtkPopupSurface : public IPopupSurface {
  public:
    // The skin is the PNG at `skinPath` in `resources` (not owned, must outlive the surface).
    GtkPopupSurface(GResource* resources, std::string skinPath);
    ~GtkPopupSurface() override;
    GtkPopupSurface(const GtkPopupSurface&) = delete;
    GtkPopupSurface& operator=(const GtkPopupSurface&) = delete;

    void Create(platform::HWND hWnd, int width, int height) override;
    bool LoadSkin() override;
    void SetShape(const std::vector<ShapeRun>& runs) override;
    void SetClipboardText(const std::string& utf8) override;
    void Show() override;
    void Focus() override;
    void Redraw() override;
    platform::Rect WorkArea() const override;
    void Move(int x, int y) override;
    void Destroy() override;

  private:
    static gboolean OnDeleteEvent(GtkWidget*, GdkEvent*, gpointer self);
    static gboolean OnDrawSkin(GtkWidget*, cairo_t* cr, gpointer self);

    GResource* m_pResources;
    std::string m_strSkinPath;
    platform::HWND m_hWnd = nullptr;
    GtkWidget* m_pWindow = nullptr;  // owned through GTK's top-level list until Destroy
    GtkWidget* m_pFixed = nullptr;
    // Converted for cairo once: converting the picture at every draw cost more than drawing the page.
    std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)> m_pSkin{nullptr,
                                                                               &cairo_surface_destroy};
};

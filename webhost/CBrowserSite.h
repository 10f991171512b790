#pragma once

#include <webkit2/webkit2.h>

namespace WebWindow {

// The container's answers to the web view: no context menu, no dialogs of any kind (script dialogs,
// permission prompts, file and colour choosers, printing), no hardware acceleration, no windows opened
// by script on its own, no developer tools. The page's external object does not exist because the
// host's message channel lives in an isolated script world (see PageChannel).
class CBrowserSite {
  public:
    explicit CBrowserSite(WebKitWebView* view);
    ~CBrowserSite();
    CBrowserSite(const CBrowserSite&) = delete;
    CBrowserSite& operator=(const CBrowserSite&) = delete;

    // Settings for a view's creation; to be applied before the view exists.
    static void ApplySettings(WebKitSettings* settings);

  private:
    static gboolean OnContextMenu(WebKitWebView*, WebKitContextMenu*, GdkEvent*, WebKitHitTestResult*,
                                  gpointer);
    static gboolean OnScriptDialog(WebKitWebView*, WebKitScriptDialog* dialog, gpointer);
    static gboolean OnPermissionRequest(WebKitWebView*, WebKitPermissionRequest* request, gpointer);
    static gboolean OnSwallow(WebKitWebView*, gpointer, gpointer);

    WebKitWebView* m_view;  // not owned; the engine destroys the site before the view
};

}  // namespace WebWindow

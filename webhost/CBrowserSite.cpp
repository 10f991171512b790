#include "webhost/CBrowserSite.h"

#include <initializer_list>

namespace WebWindow {

CBrowserSite::CBrowserSite(WebKitWebView* view) : m_view(view) {
    g_signal_connect(m_view, "context-menu", G_CALLBACK(OnContextMenu), this);
    g_signal_connect(m_view, "script-dialog", G_CALLBACK(OnScriptDialog), this);
    g_signal_connect(m_view, "permission-request", G_CALLBACK(OnPermissionRequest), this);
    for (const char* signal : {"run-file-chooser", "run-color-chooser", "print", "show-notification"}) {
        g_signal_connect(m_view, signal, G_CALLBACK(OnSwallow), this);
    }
}

CBrowserSite::~CBrowserSite() { g_signal_handlers_disconnect_by_data(m_view, this); }

void CBrowserSite::ApplySettings(WebKitSettings* settings) {
    webkit_settings_set_hardware_acceleration_policy(settings, WEBKIT_HARDWARE_ACCELERATION_POLICY_NEVER);
    webkit_settings_set_javascript_can_open_windows_automatically(settings, FALSE);
    webkit_settings_set_enable_developer_extras(settings, FALSE);
    webkit_settings_set_enable_write_console_messages_to_stdout(settings, FALSE);
    webkit_settings_set_allow_file_access_from_file_urls(settings, FALSE);
    webkit_settings_set_allow_universal_access_from_file_urls(settings, FALSE);
}

gboolean CBrowserSite::OnContextMenu(WebKitWebView*, WebKitContextMenu*, GdkEvent*, WebKitHitTestResult*,
                                     gpointer) {
    return TRUE;
}

// Silent mode: nothing is shown, and a confirm() answers false.
gboolean CBrowserSite::OnScriptDialog(WebKitWebView*, WebKitScriptDialog* dialog, gpointer) {
    if (webkit_script_dialog_get_dialog_type(dialog) == WEBKIT_SCRIPT_DIALOG_CONFIRM) {
        webkit_script_dialog_confirm_set_confirmed(dialog, FALSE);
    }
    return TRUE;
}

gboolean CBrowserSite::OnPermissionRequest(WebKitWebView*, WebKitPermissionRequest* request, gpointer) {
    webkit_permission_request_deny(request);
    return TRUE;
}

gboolean CBrowserSite::OnSwallow(WebKitWebView*, gpointer, gpointer) { return TRUE; }

}  // namespace WebWindow

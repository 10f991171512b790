#include "webhost/DesktopBrowser.h"

#include <string>

#include <gio/gio.h>
#include <glib.h>

#include "platform/DebugLog.h"

namespace WebWindow {
namespace {

void OnLaunched(GObject*, GAsyncResult* result, gpointer data) {
    g_autofree gchar* url = static_cast<gchar*>(data);
    g_autoptr(GError) error = nullptr;
    // gtk_show_uri reports success even when nothing opens; the async launcher tells the truth.
    if (!g_app_info_launch_default_for_uri_finish(result, &error)) {
        platform::DebugLog("webhost",
                           std::string("could not open ") + url + ": " + (error ? error->message : "?"));
    }
}

}  // namespace

bool DesktopBrowser::IsWebLink(std::string_view url) {
    const std::string text(url);
    g_autofree gchar* scheme = g_uri_parse_scheme(text.c_str());
    if (!scheme) return false;
    // The scheme alone is not enough: "http:foo" has no host to go to.
    const std::string_view rest = url.substr(std::string_view(scheme).size() + 1);
    return (g_ascii_strcasecmp(scheme, "http") == 0 || g_ascii_strcasecmp(scheme, "https") == 0) &&
           rest.starts_with("//") && rest.size() > 2;
}

void DesktopBrowser::Open(const std::string& url) {
    if (!IsWebLink(url)) return;
    g_app_info_launch_default_for_uri_async(url.c_str(), nullptr, nullptr, OnLaunched, g_strdup(url.c_str()));
}

}  // namespace WebWindow

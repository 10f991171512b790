#pragma once

#include <map>
#include <memory>
#include <string>

#include <gio/gio.h>
#include <webkit2/webkit2.h>

namespace WebWindow {

// The page address the popup navigates to: "res://" + the escaped executable path + "/23/popup.html".
std::string PageUrl(const std::string& exePath);

// Serves the "res" URI scheme from a GResource bundle. A request path is percent-unescaped, loses the
// executable path when it starts with it, is lower-cased and looked up under `prefix`; so
// "res:///opt/app/notifier/23/POPUP.HTML" and "res:///png/134" both resolve inside the bundle. A key
// found in `overrides` is answered with its bytes instead of the bundle's: files completed at run time.
class ResourceScheme {
  public:
    struct Answer {
        int status = 404;
        std::string mimeType;          // empty for a 404
        std::shared_ptr<GBytes> body;  // null for a 404
    };
    using Overrides = std::map<std::string, std::shared_ptr<GBytes>>;

    ResourceScheme(GResource* resources, std::string prefix, std::string exePath, Overrides overrides = {});

    // The bundle path a request path names, or "" when the path cannot be unescaped.
    std::string KeyFor(const std::string& requestPath) const;
    // What a request for `requestPath` (percent-encoded, as WebKit hands it over) is answered with.
    Answer Lookup(const std::string& requestPath) const;

    // Installs a copy of this handler as the "res" scheme of `context`; the context owns the copy.
    void Register(WebKitWebContext* context) const;

  private:
    static void HandleRequest(WebKitURISchemeRequest* request, gpointer self);

    std::shared_ptr<GResource> m_resources;
    std::string m_prefix;
    std::string m_exePath;
    Overrides m_overrides;
};

// The MIME type for a resource name, from its extension, else sniffed from its bytes.
std::string MimeTypeFor(const std::string& name, GBytes* data);

}  // namespace WebWindow

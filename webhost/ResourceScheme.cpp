#include "webhost/ResourceScheme.h"

#include <array>
#include <utility>

#include "platform/DebugLog.h"

namespace WebWindow {
namespace {

struct KnownType {
    const char* extension;
    const char* mimeType;
};

// The types the page uses, named here so that they do not depend on the desktop's MIME database.
constexpr std::array<KnownType, 10> kKnownTypes{{
    {".html", "text/html; charset=utf-8"},
    {".htm", "text/html; charset=utf-8"},
    {".js", "text/javascript; charset=utf-8"},
    {".css", "text/css; charset=utf-8"},
    {".json", "application/json"},
    {".png", "image/png"},
    {".gif", "image/gif"},
    {".jpg", "image/jpeg"},
    {".jpeg", "image/jpeg"},
    {".svg", "image/svg+xml"},
}};

bool EndsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

}  // namespace

std::string PageUrl(const std::string& exePath) {
    g_autofree gchar* escaped = g_uri_escape_string(exePath.c_str(), "/", FALSE);
    return "res://" + std::string(escaped) + "/23/popup.html";
}

std::string MimeTypeFor(const std::string& name, GBytes* data) {
    g_autofree gchar* lowered = g_ascii_strdown(name.c_str(), -1);
    const std::string lower = lowered;
    for (const KnownType& known : kKnownTypes) {
        if (EndsWith(lower, known.extension)) return known.mimeType;
    }
    gsize size = 0;
    const auto* bytes = data == nullptr ? nullptr : static_cast<const guchar*>(g_bytes_get_data(data, &size));
    g_autofree gchar* contentType = g_content_type_guess(nullptr, bytes, size, nullptr);
    g_autofree gchar* mime = g_content_type_get_mime_type(contentType);
    return mime ? mime : "application/octet-stream";
}

ResourceScheme::ResourceScheme(GResource* resources, std::string prefix, std::string exePath,
                               Overrides overrides)
    : m_resources(g_resource_ref(resources), g_resource_unref),
      m_prefix(std::move(prefix)),
      m_exePath(std::move(exePath)),
      m_overrides(std::move(overrides)) {}

std::string ResourceScheme::KeyFor(const std::string& requestPath) const {
    g_autofree gchar* unescaped = g_uri_unescape_string(requestPath.c_str(), nullptr);
    if (!unescaped) return {};
    std::string path = unescaped;
    if (!m_exePath.empty() && path.size() > m_exePath.size() && path.starts_with(m_exePath) &&
        path[m_exePath.size()] == '/') {
        path.erase(0, m_exePath.size());
    }
    if (!path.starts_with("/")) path.insert(0, "/");
    g_autofree gchar* lower = g_ascii_strdown(path.c_str(), -1);
    return m_prefix + lower;
}

ResourceScheme::Answer ResourceScheme::Lookup(const std::string& requestPath) const {
    const std::string key = KeyFor(requestPath);
    if (key.empty()) return {};
    Answer answer;
    if (const auto it = m_overrides.find(key); it != m_overrides.end()) {
        answer.body = it->second;
    } else {
        GBytes* data =
            g_resource_lookup_data(m_resources.get(), key.c_str(), G_RESOURCE_LOOKUP_FLAGS_NONE, nullptr);
        if (data == nullptr) return {};
        answer.body.reset(data, g_bytes_unref);
    }
    answer.status = 200;
    answer.mimeType = MimeTypeFor(key, answer.body.get());
    return answer;
}

void ResourceScheme::Register(WebKitWebContext* context) const {
    webkit_web_context_register_uri_scheme(context, "res", HandleRequest, new ResourceScheme(*this),
                                           [](gpointer p) { delete static_cast<ResourceScheme*>(p); });
}

void ResourceScheme::HandleRequest(WebKitURISchemeRequest* request, gpointer self) {
    const char* path = webkit_uri_scheme_request_get_path(request);
    const Answer answer = static_cast<const ResourceScheme*>(self)->Lookup(path == nullptr ? "" : path);
    if (answer.status != 200) {
        platform::DebugLog("webhost", std::string("res: 404 ") + webkit_uri_scheme_request_get_uri(request));
        // An error, not an empty page: images fire onerror and a missing page raises load-failed.
        g_autoptr(GError) error = g_error_new(G_IO_ERROR, G_IO_ERROR_NOT_FOUND, "404 Not Found");
        webkit_uri_scheme_request_finish_error(request, error);
        return;
    }
    g_autoptr(GInputStream) stream = g_memory_input_stream_new_from_bytes(answer.body.get());
    g_autoptr(WebKitURISchemeResponse) response =
        webkit_uri_scheme_response_new(stream, static_cast<gint64>(g_bytes_get_size(answer.body.get())));
    webkit_uri_scheme_response_set_status(response, 200, "OK");
    webkit_uri_scheme_response_set_content_type(response, answer.mimeType.c_str());
    // Scripts see only headers (fetch, blob types), not the content type above.
    SoupMessageHeaders* headers = soup_message_headers_new(SOUP_MESSAGE_HEADERS_RESPONSE);
    soup_message_headers_replace(headers, "Content-Type", answer.mimeType.c_str());
    webkit_uri_scheme_response_set_http_headers(response, headers);  // takes ownership
    webkit_uri_scheme_request_finish_with_response(request, response);
}

}  // namespace WebWindow

#include "platform/WebUrl.h"

#include <cstdio>

#include <glib.h>

namespace platform {
namespace {

constexpr std::string_view kMustEncode = "\"<>\\^`{|}";

// The character as a reader can see it in a one-line message: quoted, or as a hex byte when it is
// a control.
std::string Shown(char c) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte <= 0x20 || byte == 0x7f) {
        char hex[8];
        std::snprintf(hex, sizeof hex, "0x%02x", byte);
        return hex;
    }
    return std::string("'") + c + "'";
}

}  // namespace

std::optional<std::string> WebUrlProblem(std::string_view url) {
    if (url.empty()) return "is empty";
    for (const char c : url) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 || byte == 0x7f || kMustEncode.find(c) != std::string_view::npos)
            return "holds a character a URL must percent-encode (" + Shown(c) + ")";
    }
    const std::string text(url);
    g_autoptr(GError) error = nullptr;
    g_autoptr(GUri) uri = g_uri_parse(text.c_str(), G_URI_FLAGS_NONE, &error);
    if (!uri) return std::string("is not a URL: ") + error->message;
    const char* scheme = g_uri_get_scheme(uri);
    const char* host = g_uri_get_host(uri);
    if ((g_ascii_strcasecmp(scheme, "http") != 0 && g_ascii_strcasecmp(scheme, "https") != 0) ||
        host == nullptr || *host == '\0')
        return "is not an http or https URL with a host";
    return std::nullopt;
}

std::string WebUrlAttribute(std::string_view url) {
    std::string text;
    text.reserve(url.size());
    for (const char c : url) {
        if (c == '&') {
            text += "&amp;";
        } else if (c == '\'') {
            text += "&#39;";
        } else {
            text += c;
        }
    }
    return text;
}

}  // namespace platform

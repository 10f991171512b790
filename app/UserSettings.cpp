#include "app/UserSettings.h"

#include <cstdio>
#include <optional>

#include <glib.h>

#include "platform/DebugLog.h"
#include "platform/WebUrl.h"

namespace app {
namespace {

constexpr const char* kProgramFolder = "deals-notifier";

bool IsAbsolute(const char* path) { return path != nullptr && path[0] == '/'; }

// The key's value when it is set and good; otherwise nothing, and a line for a bad one.
std::optional<std::string> CheckedValue(GKeyFile* file, const char* group, const char* key,
                                        const std::string& where,
                                        const std::function<void(std::string_view)>& report) {
    if (!g_key_file_has_key(file, group, key, nullptr)) return std::nullopt;
    g_autoptr(GError) error = nullptr;
    g_autofree gchar* value = g_key_file_get_string(file, group, key, &error);
    std::optional<std::string> problem;
    if (value == nullptr) {
        problem = std::string("cannot be read: ") + error->message;
    } else {
        problem = platform::WebUrlProblem(value);
    }
    if (!problem) return std::string(value);
    report(where + ": [" + group + "] " + key + " " + *problem + "; the built-in default is used");
    return std::nullopt;
}

}  // namespace

std::string SettingsFilePath(const char* xdgConfigHome, const char* home) {
    // An empty or relative XDG_CONFIG_HOME is invalid and counts as unset.
    std::string base;
    if (IsAbsolute(xdgConfigHome)) {
        base = xdgConfigHome;
    } else if (IsAbsolute(home)) {
        base = std::string(home) + "/.config";
    } else {
        return {};
    }
    return base + "/" + kProgramFolder + "/settings.ini";
}

Links ReadSettings(const std::string& path, Links defaults,
                   const std::function<void(std::string_view)>& report) {
    if (path.empty()) return defaults;
    g_autoptr(GKeyFile) file = g_key_file_new();
    g_autoptr(GError) error = nullptr;
    if (!g_key_file_load_from_file(file, path.c_str(), G_KEY_FILE_NONE, &error)) {
        // No file is the usual case: the build's links, silently.
        if (!g_error_matches(error, G_FILE_ERROR, G_FILE_ERROR_NOENT))
            report(path + ": cannot be read: " + error->message + "; the built-in defaults are used");
        return defaults;
    }
    Links links = std::move(defaults);
    if (auto feed = CheckedValue(file, "feed", "url", path, report)) links.feedUrl = std::move(*feed);
    if (auto home = CheckedValue(file, "page", "home", path, report)) links.homeUrl = std::move(*home);
    return links;
}

Links LoadUserSettings(Links defaults) {
    const std::string path = SettingsFilePath(g_getenv("XDG_CONFIG_HOME"), g_get_home_dir());
    Links links = ReadSettings(path, std::move(defaults), [](std::string_view line) {
        std::fprintf(stderr, "deals-notifier: %.*s\n", static_cast<int>(line.size()), line.data());
    });
    platform::DebugLog("app", "settings " + path + ": feed " + links.feedUrl + ", home " + links.homeUrl);
    return links;
}

}  // namespace app

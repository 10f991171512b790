#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace app {

// The links the notifier runs with: the feed it polls and the page's home link.
struct Links {
    std::string feedUrl;
    std::string homeUrl;
};

// Where the user's settings file is: "<config home>/deals-notifier/settings.ini", the config home being
// `xdgConfigHome` when that is an absolute path, else "<home>/.config". Empty without either.
std::string SettingsFilePath(const char* xdgConfigHome, const char* home);

// `defaults` with what the GLib key file at `path` sets: "[feed] url" and "[page] home", each optional.
// A value that fails platform::WebUrlProblem, or a file that exists but cannot be parsed, is told to
// `report` in one line naming the file, the key and why, and the default stays. The file is only read.
Links ReadSettings(const std::string& path, Links defaults,
                   const std::function<void(std::string_view)>& report);

// The settings of this process: its environment's file, problems on stderr. Read once at start-up.
Links LoadUserSettings(Links defaults);

}  // namespace app

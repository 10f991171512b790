#include "app/ModuleDirectory.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include <glib.h>
#include <glib/gstdio.h>

#include "platform/DebugLog.h"
#include "platform/ExecutablePath.h"

namespace app {
namespace {

constexpr const char* kProgramFolder = "deals-notifier";

bool IsAbsolute(const char* path) { return path != nullptr && path[0] == '/'; }

// SQLite writes its journal beside rcd, so the folder itself must take new files; an rcd that is
// there already must also be writable, or every insert would fail into a store that looks open.
bool CanWriteFilesIn(const std::string& dir) {
    std::string probe = dir + ".deals-notifier-XXXXXX";
    const int fd = g_mkstemp_full(probe.data(), O_RDWR, 0600);
    if (fd < 0) return false;
    const bool written = write(fd, "", 1) == 1;
    close(fd);
    g_unlink(probe.c_str());
    if (!written) return false;
    const std::string rcd = dir + "rcd";
    return faccessat(AT_FDCWD, rcd.c_str(), F_OK, AT_EACCESS) != 0 ||
           faccessat(AT_FDCWD, rcd.c_str(), R_OK | W_OK, AT_EACCESS) == 0;
}

}  // namespace

std::string ChooseModuleDirectory(const std::string& exeDir, const char* xdgDataHome, const char* home) {
    if (!exeDir.empty() && CanWriteFilesIn(exeDir)) return exeDir;
    // An empty or relative XDG_DATA_HOME is invalid and counts as unset.
    std::string base;
    if (IsAbsolute(xdgDataHome)) {
        base = xdgDataHome;
    } else if (IsAbsolute(home)) {
        base = std::string(home) + "/.local/share";
    } else {
        platform::DebugLog("app", "no absolute data home or home folder for the store");
        return {};
    }
    const std::string dir = base + "/" + kProgramFolder;
    if (g_mkdir_with_parents(dir.c_str(), 0700) != 0) {
        platform::DebugLog("app", "cannot create " + dir + ": " + g_strerror(errno));
        return {};
    }
    return dir + "/";
}

std::string ModuleDirectory() {
    const std::string exe = platform::ExecutablePath();
    const std::string exeDir = exe.empty() ? std::string() : platform::DirectoryOf(exe);
    const std::string dir = ChooseModuleDirectory(exeDir, g_getenv("XDG_DATA_HOME"), g_get_home_dir());
    platform::DebugLog("app", "store folder: " + dir);
    return dir;
}

}  // namespace app

#pragma once

#include <pwd.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

namespace desktoptest {

// Root writes into any folder, so whatever must meet a folder it cannot write runs as "nobody" when the
// tests run as root; an ordinary user is unprivileged already.
inline bool RunsAsRoot() { return geteuid() == 0; }

// `argv` run as the unprivileged user, with an empty environment but `env` ("NAME=value") and the
// working folder `cwd`.
inline std::vector<std::string> AsOtherUser(const std::filesystem::path& cwd,
                                            const std::vector<std::string>& env,
                                            const std::vector<std::string>& argv) {
    std::vector<std::string> command;
    if (RunsAsRoot()) {
        const passwd* nobody = getpwnam("nobody");
        command = {"setpriv", "--reuid=" + std::to_string(nobody ? nobody->pw_uid : 65534),
                   "--regid=" + std::to_string(nobody ? nobody->pw_gid : 65534), "--clear-groups", "--"};
    }
    command.insert(command.end(), {"env", "-i", "-C", cwd.string()});
    command.insert(command.end(), env.begin(), env.end());
    command.insert(command.end(), argv.begin(), argv.end());
    return command;
}

// Hands a folder and everything in it to the unprivileged user (nothing to do when that is us).
inline void HandOver(const std::filesystem::path& root) {
    if (!RunsAsRoot()) return;
    const passwd* nobody = getpwnam("nobody");
    const uid_t uid = nobody ? nobody->pw_uid : 65534;
    const gid_t gid = nobody ? nobody->pw_gid : 65534;
    if (lchown(root.c_str(), uid, gid) != 0) return;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root))
        if (lchown(entry.path().c_str(), uid, gid) != 0) return;
}

}  // namespace desktoptest

#pragma once

#include <string>

namespace platform {

// Full path of the running executable (/proc/self/exe); empty when it cannot be read.
std::string ExecutablePath();
// The directory part of a path, before its last '/', with a trailing '/' ("" + "/" when there is none).
std::string DirectoryOf(const std::string& path);

}  // namespace platform

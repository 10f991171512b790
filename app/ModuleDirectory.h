#pragma once

#include <string>

namespace app {

// Where rcd and Image go. Beside the executable when this process can create and write files there
// (a build folder, a portable copy); otherwise "<data home>/deals-notifier/", the place an installed copy
// in a folder its user cannot write needs. The data home is `xdgDataHome` when that is an absolute path,
// else "<home>/.local/share". The data folder is created with its missing parents, mode 0700, when it
// is the one chosen. Results end in '/'; empty when the data folder cannot be created either.
std::string ChooseModuleDirectory(const std::string& exeDir, const char* xdgDataHome, const char* home);

// The decision for this process: its executable's folder, $XDG_DATA_HOME and the user's home. Made
// once at start-up; an rcd found in one place is never moved or copied to the other.
std::string ModuleDirectory();

}  // namespace app

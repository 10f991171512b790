#pragma once

#include <sys/types.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace harness {

struct ScreenRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    bool operator==(const ScreenRect&) const = default;
};

// The X server the tests run in, driven with the usual command-line tools.
namespace XDesktop {

bool HasDisplay();
void MovePointer(int x, int y);
// Presses and releases a mouse button (1 primary, 2 middle, 3 secondary) at a root position.
void Click(int x, int y, int button = 1);
// Mapped top-level windows of a process, in absolute root coordinates.
std::vector<ScreenRect> VisibleWindowsOf(pid_t pid);
// Asks each visible window of the process to close, as a window manager's close button does
// (WM_DELETE_WINDOW). False when there was no window to ask.
bool RequestClose(pid_t pid);
ScreenRect RootArea();
// _NET_WORKAREA of the first desktop when a window manager publishes one, else the whole root window.
ScreenRect WorkArea();
bool Screenshot(const std::filesystem::path& png);
// "#RRGGBB" of one pixel of a saved picture, or "" when it cannot be read.
std::string PixelOf(const std::filesystem::path& png, int x, int y);

}  // namespace XDesktop
}  // namespace harness

#include "tools/harness/desktop/XDesktop.h"

#include <cstdio>
#include <cstdlib>
#include <regex>
#include <sstream>

#include <X11/Xlib.h>

#include "tools/harness/Command.h"

namespace harness::XDesktop {
namespace {

std::vector<std::string> VisibleWindowIds(pid_t pid) {
    std::vector<std::string> ids;
    const CommandResult r = RunCommand({"xdotool", "search", "--onlyvisible", "--pid", std::to_string(pid)});
    std::istringstream lines(r.out);
    for (std::string id; std::getline(lines, id);) {
        ids.push_back(id);
    }
    return ids;
}

std::optional<ScreenRect> Geometry(const std::string& windowArg) {
    std::vector<std::string> argv{"xwininfo"};
    if (windowArg == "root") {
        argv.push_back("-root");
    } else {
        argv.insert(argv.end(), {"-id", windowArg});
    }
    const CommandResult r = RunCommand(argv);
    if (r.exitCode != 0) {
        return std::nullopt;
    }
    auto field = [&](const char* label) {
        const std::regex re(std::string(label) + R"(:\s*(-?\d+))");
        std::smatch m;
        return std::regex_search(r.out, m, re) ? std::stoi(m[1]) : -1;
    };
    return ScreenRect{field("Absolute upper-left X"), field("Absolute upper-left Y"), field("Width"),
                      field("Height")};
}

}  // namespace

bool HasDisplay() {
    const char* display = std::getenv("DISPLAY");
    return display && *display;
}

void MovePointer(int x, int y) { RunCommand({"xdotool", "mousemove", std::to_string(x), std::to_string(y)}); }

void Click(int x, int y, int button) {
    RunCommand(
        {"xdotool", "mousemove", std::to_string(x), std::to_string(y), "click", std::to_string(button)});
}

std::vector<ScreenRect> VisibleWindowsOf(pid_t pid) {
    std::vector<ScreenRect> windows;
    for (const auto& id : VisibleWindowIds(pid)) {
        if (auto g = Geometry(id)) {
            windows.push_back(*g);
        }
    }
    return windows;
}

bool RequestClose(pid_t pid) {
    const auto ids = VisibleWindowIds(pid);
    Display* display = XOpenDisplay(nullptr);
    if (!display || ids.empty()) {
        if (display) {
            XCloseDisplay(display);
        }
        return false;
    }
    for (const auto& id : ids) {
        XEvent event{};
        event.xclient.type = ClientMessage;
        event.xclient.window = std::stoul(id);
        event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
        event.xclient.format = 32;
        event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
        event.xclient.data.l[1] = CurrentTime;
        XSendEvent(display, event.xclient.window, False, NoEventMask, &event);
    }
    XFlush(display);
    XCloseDisplay(display);
    return true;
}

ScreenRect RootArea() { return Geometry("root").value_or(ScreenRect{}); }

ScreenRect WorkArea() {
    const CommandResult r = RunCommand({"xprop", "-root", "_NET_WORKAREA"});
    int x, y, w, h;
    const auto eq = r.out.find('=');
    if (r.exitCode == 0 && eq != std::string::npos &&
        std::sscanf(r.out.c_str() + eq + 1, " %d , %d , %d , %d", &x, &y, &w, &h) == 4) {
        return ScreenRect{x, y, w, h};
    }
    return RootArea();
}

bool Screenshot(const std::filesystem::path& png) {
    std::filesystem::create_directories(png.parent_path());
    return RunCommand({"import", "-window", "root", png.string()}).exitCode == 0 &&
           std::filesystem::exists(png);
}

std::string PixelOf(const std::filesystem::path& png, int x, int y) {
    const CommandResult r =
        RunCommand({"convert", png.string(), "-crop", "1x1+" + std::to_string(x) + "+" + std::to_string(y),
                    "-depth", "8", "txt:-"});
    const std::regex re("#[0-9A-Fa-f]{6}");
    std::smatch m;
    return std::regex_search(r.out, m, re) ? m.str() : std::string();
}

}  // namespace harness::XDesktop

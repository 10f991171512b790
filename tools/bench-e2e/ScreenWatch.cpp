#include "ScreenWatch.h"

#include <stdexcept>
#include <thread>

#include <X11/Xlib.h>
#include <X11/Xutil.h>

ScreenWatch::ScreenWatch() : m_display(XOpenDisplay(nullptr)) {
    if (!m_display) {
        throw std::runtime_error("cannot open the X display");
    }
}

ScreenWatch::~ScreenWatch() { XCloseDisplay(m_display); }

template <class PixelFn>
void ScreenWatch::ForEachPixel(const harness::ScreenRect& r, PixelFn fn) const {
    XImage* image =
        XGetImage(m_display, DefaultRootWindow(m_display), r.x, r.y, r.width, r.height, AllPlanes, ZPixmap);
    if (!image) {
        return;
    }
    for (int y = 0; y < r.height; ++y) {
        for (int x = 0; x < r.width; ++x) {
            const unsigned long p = XGetPixel(image, x, y);
            fn(static_cast<int>((p >> 16) & 0xff), static_cast<int>((p >> 8) & 0xff),
               static_cast<int>(p & 0xff));
        }
    }
    XDestroyImage(image);
}

int ScreenWatch::RedPixels(const harness::ScreenRect& r) const {
    int count = 0;
    ForEachPixel(r, [&](int red, int green, int blue) {
        if (red > 150 && green < 110 && blue < 110) {
            ++count;
        }
    });
    return count;
}

uint64_t ScreenWatch::Hash(const harness::ScreenRect& r) const {
    uint64_t h = 1469598103934665603ull;  // FNV-1a
    ForEachPixel(r, [&](int red, int green, int blue) {
        h = (h ^ static_cast<uint64_t>((red << 16) | (green << 8) | blue)) * 1099511628211ull;
    });
    return h;
}

std::optional<ScreenWatch::Clock::time_point> ScreenWatch::WaitForRed(
    const harness::ScreenRect& r, int count, std::chrono::milliseconds timeout) const {
    const auto deadline = Clock::now() + timeout;
    while (Clock::now() < deadline) {
        if (RedPixels(r) >= count) {
            return Clock::now();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return std::nullopt;
}

std::optional<ScreenWatch::Clock::time_point> ScreenWatch::WaitForChange(
    const harness::ScreenRect& r, uint64_t baseline, std::chrono::milliseconds timeout) const {
    const auto deadline = Clock::now() + timeout;
    while (Clock::now() < deadline) {
        if (Hash(r) != baseline) {
            return Clock::now();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return std::nullopt;
}

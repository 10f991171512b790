#pragma once

#include <chrono>
#include <cstdint>
#include <optional>

#include "tools/harness/desktop/XDesktop.h"

using Display = struct _XDisplay;

// Watches a rectangle of the screen by reading it straight from the X server, every few
// milliseconds, so that "on screen" is timed by what the screen shows.
class ScreenWatch {
  public:
    using Clock = std::chrono::steady_clock;

    ScreenWatch();
    ~ScreenWatch();
    ScreenWatch(const ScreenWatch&) = delete;
    ScreenWatch& operator=(const ScreenWatch&) = delete;

    // Pixels of the rectangle that are clearly red (the list's "new" badges and buy buttons).
    int RedPixels(const harness::ScreenRect& r) const;
    uint64_t Hash(const harness::ScreenRect& r) const;

    // When the rectangle first held at least `count` red pixels.
    std::optional<Clock::time_point> WaitForRed(const harness::ScreenRect& r, int count,
                                                std::chrono::milliseconds timeout) const;
    // When the rectangle first differed from `baseline`.
    std::optional<Clock::time_point> WaitForChange(const harness::ScreenRect& r, uint64_t baseline,
                                                   std::chrono::milliseconds timeout) const;

  private:
    template <class PixelFn>
    void ForEachPixel(const harness::ScreenRect& r, PixelFn fn) const;

    Display* m_display;
};

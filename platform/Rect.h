#pragma once

namespace platform {

// A rectangle in window coordinates; right and bottom lie just outside it.
struct Rect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    bool operator==(const Rect&) const = default;
};

}  // namespace platform

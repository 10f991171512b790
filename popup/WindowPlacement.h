#pragma once

#include "webhost/IBrowserEngine.h"

// Where the popup goes on screen.
struct WindowPlacement {
    int x = 0;
    int y = 0;
    bool operator==(const WindowPlacement&) const = default;

    // Centres a window of width x height on `workArea`, keeping it inside; when the area is smaller
    // than the window its left and top edges win. Integer halves truncate toward zero, as the
    // window code always did, so an odd sum lands half a pixel left or up.
    static WindowPlacement CentreInWorkArea(int width, int height, const platform::Rect& workArea);
};

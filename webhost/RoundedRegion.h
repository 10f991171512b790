#pragma once

#include <cairo.h>

namespace WebWindow {

// The area (0, 0)-(width, height) with its four corners rounded by an ellipse of
// ellipseWidth x ellipseHeight, as one rectangle per row inside the corner bands. Caller owns the result.
cairo_region_t* RoundedRectRegion(int width, int height, int ellipseWidth, int ellipseHeight);

}  // namespace WebWindow

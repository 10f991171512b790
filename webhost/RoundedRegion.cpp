#include "webhost/RoundedRegion.h"

#include <algorithm>
#include <cmath>

namespace WebWindow {
namespace {

// How far row `y` of a corner band lies inside the rectangle's edge.
int RowInset(int y, double rx, double ry) {
    const double dy = ry - (y + 0.5);
    const double t = std::max(0.0, 1.0 - (dy * dy) / (ry * ry));
    return static_cast<int>(std::lround(rx - rx * std::sqrt(t)));
}

}  // namespace

cairo_region_t* RoundedRectRegion(int width, int height, int ellipseWidth, int ellipseHeight) {
    cairo_region_t* region = cairo_region_create();
    if (width <= 0 || height <= 0) return region;
    const double rx = std::min(ellipseWidth, width) / 2.0;
    const double ry = std::min(ellipseHeight, height) / 2.0;
    const int band = static_cast<int>(std::ceil(ry));
    for (int y = 0; y < height; ++y) {
        int inset = 0;
        if (ry > 0 && y < band) {
            inset = RowInset(y, rx, ry);
        } else if (ry > 0 && y >= height - band) {
            inset = RowInset(height - 1 - y, rx, ry);
        }
        const cairo_rectangle_int_t row{inset, y, std::max(0, width - 2 * inset), 1};
        cairo_region_union_rectangle(region, &row);
    }
    return region;
}

}  // namespace WebWindow

#include "popup/WindowShape.h"

#include <algorithm>
#include <cmath>

namespace {

// How many pixels the corner ellipse cuts from the start of row `row` (counted from the nearer edge).
int CornerInset(int row, double rx, double ry) {
    const double dy = ry - (row + 0.5);
    if (dy <= 0.0) return 0;
    const double t = dy / ry;
    const double edge = rx - rx * std::sqrt(std::max(0.0, 1.0 - t * t));
    return std::max(0, static_cast<int>(std::ceil(edge - 0.5)));
}

}  // namespace

std::vector<ShapeRun> WindowShape::RoundedRect(int width, int height, int ellipseWidth, int ellipseHeight) {
    std::vector<ShapeRun> runs;
    if (width <= 0 || height <= 0) return runs;
    const double rx = std::min(ellipseWidth, width) / 2.0;
    const double ry = std::min(ellipseHeight, height) / 2.0;
    runs.reserve(static_cast<size_t>(height));
    for (int y = 0; y < height; ++y) {
        const int fromEdge = std::min(y, height - 1 - y);
        const int inset = rx > 0.0 && ry > 0.0 ? CornerInset(fromEdge, rx, ry) : 0;
        if (width - 2 * inset > 0) runs.push_back({y, inset, width - inset});
    }
    return runs;
}

bool WindowShape::Contains(const std::vector<ShapeRun>& runs, int x, int y) {
    return std::any_of(runs.begin(), runs.end(),
                       [&](const ShapeRun& r) { return r.y == y && x >= r.left && x < r.right; });
}

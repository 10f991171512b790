#pragma once

#include <vector>

// The popup's outline as one horizontal run of pixels per row: a width x height rectangle whose
// corners are cut by the quarters of an ellipseWidth x ellipseHeight ellipse. A pixel belongs to the
// shape when its centre lies inside.
struct ShapeRun {
    int y = 0;
    int left = 0;   // first pixel inside
    int right = 0;  // one past the last pixel inside
    bool operator==(const ShapeRun&) const = default;
};

class WindowShape {
  public:
    static std::vector<ShapeRun> RoundedRect(int width, int height, int ellipseWidth, int ellipseHeight);
    // Whether the pixel (x, y) lies inside the runs.
    static bool Contains(const std::vector<ShapeRun>& runs, int x, int y);
};

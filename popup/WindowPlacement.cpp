#include "popup/WindowPlacement.h"

namespace {

int CentreOnAxis(int low, int high, int extent) {
    int pos = (low + high) / 2 - extent / 2;
    if (pos < low) {
        pos = low;
    } else if (pos + extent > high) {
        pos = high - extent;
    }
    return pos;
}

}  // namespace

WindowPlacement WindowPlacement::CentreInWorkArea(int width, int height, const platform::Rect& workArea) {
    return {CentreOnAxis(workArea.left, workArea.right, width),
            CentreOnAxis(workArea.top, workArea.bottom, height)};
}

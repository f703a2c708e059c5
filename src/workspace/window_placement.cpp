#include "workspace/window_placement.h"

#include <algorithm>

namespace orv {

namespace {
// One axis: position and size inside [start, start + length).
void FitAxis(int& position, int& size, int start, int length, int minimum) {
    if (length <= 0) return;
    size = std::clamp(size, 1, length);
    position = std::max(position, start);
    const int end = start + length;
    if (position + size <= end) return;
    const int left = end - position;   // what remains from the position on
    if (left >= std::min(size, std::max(minimum, 1)))
        size = left;
    else
        position = end - size;
}
} // namespace

ScreenRect FitOnScreen(ScreenRect window, const ScreenRect& area, int minWidth, int minHeight) {
    FitAxis(window.Left, window.Width, area.Left, area.Width, minWidth);
    FitAxis(window.Top, window.Height, area.Top, area.Height, minHeight);
    return window;
}

bool Inside(const ScreenRect& inner, const ScreenRect& outer) {
    return inner.Left >= outer.Left && inner.Top >= outer.Top && inner.Right() <= outer.Right() &&
           inner.Bottom() <= outer.Bottom();
}

} // namespace orv

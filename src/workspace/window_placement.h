#pragma once
// Where a window goes on the screen: wholly inside the area the desktop
// leaves to windows, at the position the program asked for while it fits.

namespace orv {

// A rectangle of screen pixels (a window's outer frame, or the screen's
// available area).
struct ScreenRect {
    int Left = 0;
    int Top = 0;
    int Width = 0;
    int Height = 0;
    int Right() const { return Left + Width; }    // one past the last column
    int Bottom() const { return Top + Height; }   // one past the last row
    bool operator==(const ScreenRect&) const = default;
};

// `window` placed inside `area`. A window that fits stays as it is. One that
// runs past the right or bottom edge keeps its position and gives up what
// lies beyond, unless that would leave it smaller than `minWidth` x
// `minHeight` (or than itself, when it is smaller): then it moves back
// instead. A window above or left of the area moves into it, and one larger
// than the area is shrunk to it.
ScreenRect FitOnScreen(ScreenRect window, const ScreenRect& area, int minWidth, int minHeight);

// Whether `inner` lies wholly inside `outer`.
bool Inside(const ScreenRect& inner, const ScreenRect& outer);

} // namespace orv

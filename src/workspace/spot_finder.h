#pragma once
// The "Find reflections tool": finds single-crystal spots that stand out of
// the Debye rings (a pixel that is the largest of its column and row
// segments and, unless absolute intensities are asked for, stands far
// enough above the local background), outlines them on the frame and can
// mask them. The spots found are kept in memory until the next search and
// can be masked any number of times.

#include <cstdint>
#include <string>
#include <vector>

#include "base/frame_plane.h"

namespace orv {

class Host;
struct Workspace;

// A spot: its pixel, the half-widths it was found with, and the pixels it
// covers (cut to the frame it was found on).
struct FoundSpot {
    int32_t Column = 0, Row = 0;
    int32_t HalfX = 0, HalfY = 0;
    int32_t X1 = 0, X2 = 0, Y1 = 0, Y2 = 0;
    bool operator==(const FoundSpot&) const = default;
};

// "Find reflections tool"
struct TForm36 {
    std::string Eintensity = "1000";   // "Intensity Threshold"
    std::string Epixels = "5";         // "Window Size (pixels)"
    bool CheckBox1 = false;            // "Auto"
    bool RadioButton1 = true;          // "Above background"
    bool RadioButton2 = false;         // "Absolute Intensity"
    bool BMaskspotsEnabled = false;    // "Mask spots" can be clicked
    bool AutoMode = false;             // set by "Auto" at each search
    std::vector<FoundSpot> Spots;      // the last search's spots
};

// The largest half-width the window size box accepts.
constexpr int32_t MaxSpotWindow = 100;

// What IsSpotMaximum finds for pixel (c, r).
struct SpotTest {
    bool IsMaximum = false;
    int64_t LocalBackground = 0;
    int32_t HalfX = 0, HalfY = 0;   // as given, or the auto half-widths
};

// Looks at column c's rows r-hy..r+hy and row r's columns c-hx..c+hx (cut
// to the frame; masked pixels take no part): the pixel is a maximum when it
// is the first largest value of both segments; the local background is the
// mean (truncated) of the two segments' smallest values. In auto mode the
// half-widths become half the distance between the lowest value up to the
// pixel and the lowest value after it, in each direction.
SpotTest IsSpotMaximum(const FramePlane<int32_t>& pixels, int32_t width, int32_t height, int32_t c, int32_t r,
                       int32_t hx, int32_t hy, bool autoMode);

// Every spot of the frame, row by row: pixels above `threshold` that are a
// maximum and, unless `absolute`, stand at least `threshold` above their
// local background.
std::vector<FoundSpot> FindSpots(const FramePlane<int32_t>& pixels, int32_t width, int32_t height,
                                 double threshold, int32_t window, bool autoMode, bool absolute);

// The window size the tool proposes for a frame of this size.
std::string ProposedSpotWindow(int32_t frameSize, const std::string& current);
// The half-width "Auto" uses for a frame of this size.
int32_t AutoSpotWindow(int32_t frameSize);

// TForm36.FormShow: the proposed window size.
void TForm36FormShow(Workspace& ws);
// "Find spots": reads the boxes (a box that is not a number, or a window
// outside 1..MaxSpotWindow, is answered with a message and changes
// nothing), redraws the frame, outlines every spot found, keeps the spots
// and logs their number. Returns the number found, or -1 when refused.
int32_t TForm36BFindClick(Workspace& ws, Host& host);
// "Mask spots": masks the kept spots' pixels that lie in the frame in
// force, then redraws and scans. Returns the pixels newly masked.
int64_t TForm36BMaskspotsClick(Workspace& ws, Host& host);

} // namespace orv

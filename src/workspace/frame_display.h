#pragma once
// The frame window's pictures: the palette, the display scale, rendering the
// frame into RGB buffers at any display width, the 100-pixel thumbnail and
// the zoom window's magnified neighbourhood. The windows only show these
// buffers.
//
// Colours given to these functions are 0x00BBGGRR (red in the low byte), the
// layout the palette and the overlay callers use; the buffers hold display
// words 0xFFRRGGBB that a window can wrap without converting.

#include <cstdint>
#include <string>
#include <vector>

namespace orv {

class Host;
struct Workspace;

constexpr int PaletteLength = 4001;       // entries 0..4000
constexpr int PaletteRampLength = 766;    // black, red, yellow, white
constexpr int PaletteWhiteIndex = 700;    // scaled indices from here on draw white
constexpr uint32_t MaskedColor = 0xF0CAA6;   // light blue (red A6, green CA, blue F0)
constexpr uint32_t WhiteColor = 0xFFFFFF;
constexpr uint32_t BlueColor = 0xFF0000;
constexpr uint32_t YellowColor = 0x00FFFF;

constexpr uint32_t MakeColor(int r, int g, int b) {
    return static_cast<uint32_t>((r & 0xFF) | ((g & 0xFF) << 8) | ((b & 0xFF) << 16));
}
// A 0x00BBGGRR colour as a display word 0xFFRRGGBB.
constexpr uint32_t DisplayWord(uint32_t c) {
    return 0xFF000000u | ((c & 0xFFu) << 16) | (c & 0xFF00u) | ((c >> 16) & 0xFFu);
}
constexpr uint32_t ColorOfDisplayWord(uint32_t w) { return DisplayWord(w) & 0xFFFFFFu; }

// A picture as rows of display words (0xFFRRGGBB), top row first.
struct RgbImage {
    int32_t Width = 0;
    int32_t Height = 0;
    std::vector<uint32_t> Pixels;

    // New size, every pixel `color` (0x00BBGGRR).
    void Reset(int32_t width, int32_t height, uint32_t color = WhiteColor);
    bool Contains(int64_t x, int64_t y) const { return x >= 0 && y >= 0 && x < Width && y < Height; }
    uint32_t* Row(int32_t y) { return Pixels.data() + static_cast<size_t>(y) * static_cast<size_t>(Width); }
    const uint32_t* Row(int32_t y) const {
        return Pixels.data() + static_cast<size_t>(y) * static_cast<size_t>(Width);
    }
    // Sets one pixel when it lies in the picture (0x00BBGGRR).
    void Set(int64_t x, int64_t y, uint32_t color) {
        if (Contains(x, y)) Pixels[static_cast<size_t>(y) * Width + static_cast<size_t>(x)] = DisplayWord(color);
    }
    // The pixel as 0x00BBGGRR; white outside the picture.
    uint32_t Get(int64_t x, int64_t y) const {
        return Contains(x, y) ? ColorOfDisplayWord(Pixels[static_cast<size_t>(y) * Width + static_cast<size_t>(x)])
                              : WhiteColor;
    }
};

// "Frame": the visible picture with the sector and the tool marks (Image1),
// and the stored copy with the sector only (Image2) that marks are drawn
// over afresh.
struct TForm1 {
    RgbImage Image1;
    RgbImage Image2;
    std::string Caption = "Frame";
    // Image1 was drawn by the core and is waiting to be shown; a notice of a
    // changed frame without a new picture makes the window redraw it itself.
    bool PicturePending = false;
};

// "Zoom": the magnified neighbourhood of the mouse and its read-outs.
constexpr int ZoomImageSize = 127;
struct TForm21 {
    RgbImage Image2;
    std::string Panel1;   // 2-theta and psi
    std::string Panel4;   // position and intensity
};

// The main window's mouse tools and the keys held over the frame window,
// kept here so the frame window works before and without the main window.
struct FrameToolState {
    bool SBPoint = true;          // "Point"
    bool SBSelectRect = false;    // "Select rectangle"
    bool SBSelectAng = false;     // angular select
    bool SBEraser = false;        // "Eraser"
    int32_t EraserSize = 2;       // screen pixels: 1, 2, 4 or 8 ("Size 2" ticked)
    // Keys held (shared with the scan, line-scan and series windows).
    bool KeyHeld = false;
    bool KeyAHeld = false;
    bool KeySHeld = false;
    bool KeyCHeld = false;
    bool KeyZHeld = false;
    bool MouseHeld = false;
    bool Erased = false;          // the eraser changed pixels while the button was held
    int32_t SectorClicks = 0;     // clicks made towards a four-click sector, 0..3
    int32_t SectorX1 = 0, SectorY1 = 0, SectorX2 = 0, SectorY2 = 0;
    // The angles of the clicks so far; the sector in force changes only
    // with the fourth click.
    float ClickTwoTheta1 = 0, ClickTwoTheta2 = 0, ClickPsi1 = 0, ClickPsi2 = 0;
    bool ClickRectangle = false;  // the clicks so far are for a rectangle
    int32_t ZoomX = 0, ZoomY = 0; // zoom centre, frame column and row
};

// A ring point handed to the circle fit, in flat-plane pixels.
struct CentrePoint {
    int32_t X = 0;
    int32_t Y = 0;
};
constexpr int MaxCentrePoints = 500;   // CentrePoints[1..500]

// ---- Palette and scale ----------------------------------------------------

// The base ramp in entries 0..765 of a 4001-entry table (PaletteBackup), and
// the palette resampled from it.
std::vector<uint32_t> MakePaletteRamp();
std::vector<uint32_t> MakePalette();
// Fills Palette (4001 entries) and PaletteBackup (the 766-colour base ramp).
void BuildPalette(Workspace& ws);
// Brightness / MaxIntensity; a frame without a positive maximum is scaled as
// if its maximum were 1.
double DisplayScale(const Workspace& ws);
// The colour (0x00BBGGRR) of an intensity at display scale `scale`: masked
// for negative intensities, white from scaled index 700 on, else the palette.
uint32_t IntensityColor(const std::vector<uint32_t>& palette, double scale, int32_t intensity);
// The brightness of a track-bar position 0..100.
int32_t BrightnessFromTrackBar(int position);

// ---- Rendering ------------------------------------------------------------

// The columns and rows of FramePixels in use (FrameWidth, FrameHeight kept
// inside the allocation).
int32_t UsedColumns(const Workspace& ws);
int32_t UsedRows(const Workspace& ws);
// The shown height of the frame at the current display width.
int32_t DisplayHeight(const Workspace& ws);
// Frame to display scale (frame pixels per screen pixel, single precision).
float DisplayPixelScale(const Workspace& ws);
// The frame index Round(scale x k) for k = first .. first + count - 1, or -1
// where it falls outside lo..hi.
std::vector<int32_t> DisplaySources(float scale, int32_t first, int32_t count, int32_t lo, int32_t hi);
// Draws FramePixels into `image`: (DisplayWidth + 1) x (DisplayHeight + 1)
// pixels, white where no frame pixel is drawn.
void RenderFrameInto(const Workspace& ws, RgbImage& image);
// RenderFrame: the frame into Form1.Image1.
void RenderFrame(Workspace& ws);
// The 100-pixel-wide thumbnail of the frame into `target` (grown when small).
void RenderFrameToImage(const Workspace& ws, RgbImage& target);
// The current sector over Image1, then Image2 := Image1.
void DrawSectorOverlay(Workspace& ws, Host& host);
// RenderFrame then DrawSectorOverlay, and the window is told.
void RedrawFrame(Workspace& ws, Host& host);
// The same picture work without the notice (for the window itself).
void RedrawFramePicture(Workspace& ws, Host& host);
// RenderFrame, the sector, the copy, then the 2-theta scan of the sector.
void RedrawSectorThenScan(Workspace& ws, Host& host);
// Tells the frame window that Image1 holds a new picture.
void ShowFramePicture(Workspace& ws, Host& host);
// A frame picture of white only (no frame loaded yet).
void BlankFramePicture(Workspace& ws, int32_t width, int32_t height);
// A blue cross of 11 x 11 screen pixels about (x, y) on Image1.
void DrawCross(Workspace& ws, int32_t x, int32_t y);

// ---- Zoom and read-outs ---------------------------------------------------

// The zoom window's picture around the zoom centre.
void DrawZoom(Workspace& ws);
// The zoom's own colour of an intensity at display scale `scale`.
uint32_t ZoomColor(double scale, int32_t intensity);
// The frame pixel shown at zoom-image pixel (x, y) (not clamped).
void ZoomSource(const Workspace& ws, int32_t x, int32_t y, int32_t& column, int32_t& row);

// ---- Brightness window ----------------------------------------------------

// TForm1.TrackBar1Change: Brightness from Form22.TrackBar1, then a redraw
// (nothing without a frame).
void TrackBar1Change(Workspace& ws, Host& host);
// TForm22.TrackBar1Change: the track bar moved to `position`.
void Form22TrackBar1Change(Workspace& ws, Host& host, int position);

} // namespace orv

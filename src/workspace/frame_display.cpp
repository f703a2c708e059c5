#include "workspace/frame_display.h"
#include "workspace/frame_display_pass.h"

#include <algorithm>
#include <cmath>

#include "workspace/host.h"
#include "base/numbers.h"
#include "workspace/sector_overlay.h"
#include "workspace/sector_scan.h"
#include "workspace/workspace.h"

namespace orv {

// ---- RgbImage ---------------------------------------------------------------

void RgbImage::Reset(int32_t width, int32_t height, uint32_t color) {
    Width = std::max(0, width);
    Height = std::max(0, height);
    Pixels.assign(static_cast<size_t>(Width) * static_cast<size_t>(Height), DisplayWord(color));
}

// ---- Palette and scale ----------------------------------------------------------

std::vector<uint32_t> MakePaletteRamp() {
    std::vector<uint32_t> ramp(PaletteLength, 0);
    for (int i = 0; i < PaletteRampLength; ++i) {
        if (i <= 255)
            ramp[i] = MakeColor(i, 0, 0);
        else if (i <= 511)
            ramp[i] = MakeColor(255, std::min(i - 255, 255), 0);   // 511 would carry into blue
        else
            ramp[i] = MakeColor(255, 255, i - 511);
    }
    return ramp;
}

std::vector<uint32_t> MakePalette() {
    const std::vector<uint32_t> ramp = MakePaletteRamp();
    std::vector<uint32_t> palette(PaletteLength);
    for (int i = 0; i < PaletteLength; ++i) {
        int entry;
        if (i <= 64)
            entry = 8 * i;
        else if (i <= 1023)
            entry = 512 + static_cast<int>(RoundHalfEven(i / 768.0 * 256.0));
        else {
            palette[i] = WhiteColor;
            continue;
        }
        // Entries 761..1023 would point past the ramp: they take its last colour.
        palette[i] = ramp[std::min(entry, PaletteRampLength - 1)];
    }
    return palette;
}

void BuildPalette(Workspace& ws) {
    ws.PaletteBackup = MakePaletteRamp();
    ws.Palette = MakePalette();
}

double DisplayScale(const Workspace& ws) {
    return static_cast<double>(ws.Brightness) / (ws.MaxIntensity > 0 ? ws.MaxIntensity : 1);
}

FrameColors::FrameColors(const std::vector<uint32_t>& palette, double scale)
    : scale_(scale), white_(DisplayWord(WhiteColor)), masked_(DisplayWord(MaskedColor)) {
    for (int k = 0; k < PaletteWhiteIndex; ++k)
        words_[k] = DisplayWord(k < static_cast<int>(palette.size()) ? palette[k] : WhiteColor);
}

uint32_t IntensityColor(const std::vector<uint32_t>& palette, double scale, int32_t intensity) {
    return ColorOfDisplayWord(FrameColors(palette, scale)(intensity));
}

int32_t BrightnessFromTrackBar(int p) {
    int32_t b = p >= 50 ? TruncToInt((7400.0 * p - 370000.0) / 50.0) + 600 : TruncToInt(590.0 * p / 100.0) + 10;
    const bool doubles[] = {p > 75, p > 80, p > 85, p > 87, p >= 90, p > 92, p > 94, p > 96, p > 98};
    for (bool d : doubles)
        if (d) b *= 2;
    return b;
}

// ---- Rendering --------------------------------------------------------------------

int32_t UsedColumns(const Workspace& ws) { return std::max(0, std::min(ws.FrameWidth, ws.FramePixels.width())); }
int32_t UsedRows(const Workspace& ws) { return std::max(0, std::min(ws.FrameHeight, ws.FramePixels.height())); }

int32_t DisplayHeight(const Workspace& ws) {
    if (ws.FrameWidth <= 0 || ws.FrameHeight <= 0) return 0;
    // A display of more than about 2^27 pixels is not drawn in full.
    const int64_t limit = (int64_t{1} << 27) / (std::max(1, ws.DisplayWidth) + 1);
    const int32_t h = RoundToInt(static_cast<double>(std::max(1, ws.DisplayWidth)) * ws.FrameHeight / ws.FrameWidth);
    return static_cast<int32_t>(std::min<int64_t>(h, limit));
}

float DisplayPixelScale(const Workspace& ws) {
    return static_cast<float>(ws.FrameWidth) / static_cast<float>(std::max(1, ws.DisplayWidth));
}

std::vector<int32_t> DisplaySources(float scale, int32_t first, int32_t count, int32_t lo, int32_t hi) {
    std::vector<int32_t> sources(static_cast<size_t>(std::max(0, count)));
    for (int32_t k = 0; k < count; ++k) {
        const double v = std::nearbyint(static_cast<double>(scale) * (first + k));
        sources[k] = v >= lo && v <= hi ? static_cast<int32_t>(v) : -1;
    }
    return sources;
}

void RenderFrameInto(const Workspace& ws, RgbImage& image) {
    DrawDisplayPixels(ws, image, true, NoOverlay{}, 0);
}

void RenderFrame(Workspace& ws) {
    RenderFrameInto(ws, ws.Form1.Image1);
    ws.Form1.PicturePending = true;
}

void RenderFrameToImage(const Workspace& ws, RgbImage& target) {
    if (ws.FrameWidth <= 0 || ws.FrameHeight <= 0 || ws.FramePixels.empty()) return;
    const int32_t n = std::min(RoundToInt(ws.FrameHeight * 100.0 / ws.FrameWidth), 100000);
    if (target.Width < 101 || target.Height < n + 1) {
        RgbImage grown;
        grown.Reset(std::max(target.Width, 101), std::max(target.Height, n + 1), WhiteColor);
        for (int32_t y = 0; y < target.Height; ++y)
            std::copy(target.Row(y), target.Row(y) + target.Width, grown.Row(y));
        target = std::move(grown);
    }
    const FrameColors colors(ws);
    const double step = ws.FrameWidth / 100.0;
    const int32_t width = UsedColumns(ws), height = UsedRows(ws);
    uint32_t word = DisplayWord(WhiteColor);
    for (int32_t i = 1; i <= n; ++i) {
        const int32_t row = TruncToInt(step * i + 1);
        for (int32_t j = 1; j <= 100; ++j) {
            const int32_t col = TruncToInt(step * j + 1);
            // Outside the frame the previous colour is repeated.
            if (col > 0 && col < width && row > 0 && row < height)
                word = colors(ws.FramePixels.Intensity[col][row]);
            target.Row(i)[j] = word;
        }
    }
}

void DrawSectorOverlay(Workspace& ws, Host& host) {
    if (ws.RectangularSector)
        DrawSectorRectangle(ws, host);
    else
        DrawAngularSector(ws, ws.SectorTwoTheta1, ws.SectorPsi1, ws.SectorTwoTheta2, ws.SectorPsi2);
    ws.Form1.Image2 = ws.Form1.Image1;
    ws.Form1.PicturePending = true;
}

void RedrawFramePicture(Workspace& ws, Host& host) {
    RenderFrameWithSector(ws, host);
    ws.Form1.Image2 = ws.Form1.Image1;
}

void ShowFramePicture(Workspace& ws, Host& host) {
    ws.Form1.PicturePending = true;
    host.changed(View::Frame);
}

void RedrawFrame(Workspace& ws, Host& host) {
    RedrawFramePicture(ws, host);
    ShowFramePicture(ws, host);
}

void RedrawSectorThenScan(Workspace& ws, Host& host) {
    RedrawFrame(ws, host);
    N2ThetaScan1Click(ws, host);
}

void BlankFramePicture(Workspace& ws, int32_t width, int32_t height) {
    ws.Form1.Image1.Reset(width, height, WhiteColor);
    ws.Form1.Image2 = ws.Form1.Image1;
    ws.Form1.PicturePending = true;
}

void DrawCross(Workspace& ws, int32_t x, int32_t y) {
    for (int32_t d = -5; d <= 5; ++d) {
        ws.Form1.Image1.Set(static_cast<int64_t>(x) + d, y, BlueColor);
        ws.Form1.Image1.Set(x, static_cast<int64_t>(y) + d, BlueColor);
    }
}

// ---- Zoom -----------------------------------------------------------------------------

uint32_t ZoomColor(double scale, int32_t intensity) {
    if (intensity < 0) return MaskedColor;
    const double v = intensity * scale;
    if (!(v < 768)) return WhiteColor;
    const int t = v > 0 ? static_cast<int>(std::trunc(v)) : 0;
    // Each step of the ramp is capped at 255 so that no component carries
    // into the next one.
    if (t <= 32) return MakeColor(std::min(8 * t, 255), 0, 0);
    if (t <= 64) return MakeColor(255, std::min(8 * t - 256, 255), 0);
    return MakeColor(255, 255, std::min(22 + (t - 64) / 3, 255));
}

void ZoomSource(const Workspace& ws, int32_t x, int32_t y, int32_t& column, int32_t& row) {
    const int32_t cx = ws.FrameTools.ZoomX, cy = ws.FrameTools.ZoomY;
    if (ws.FrameSize <= 512) {
        column = x / 2 + cx - 32;
        row = y / 2 + cy - 32;
    } else {
        column = x + cx - 63;
        row = y + cy - 63;
    }
}

void DrawZoom(Workspace& ws) {
    RgbImage& image = ws.Form21.Image2;
    image.Reset(ZoomImageSize, ZoomImageSize, WhiteColor);
    const double scale = DisplayScale(ws);
    const int32_t width = ws.FrameWidth, height = ws.FrameHeight;
    for (int32_t i = 1; i <= 126; ++i) {
        for (int32_t j = 1; j <= 126; ++j) {
            int32_t col = 0, row = 0;
            ZoomSource(ws, j, i, col, row);
            if (col < 0 || col > width || row < 0 || row > height || !ws.FramePixels.contains(col, row)) continue;
            image.Set(j, i, ZoomColor(scale, ws.FramePixels.Intensity[col][row]));
        }
    }
    const bool bright = image.Get(63, 63) == WhiteColor || image.Get(55, 63) == YellowColor;
    const uint32_t cross = bright ? BlueColor : WhiteColor;
    for (int32_t k = 1; k <= 127; ++k) {
        image.Set(k, 63, cross);
        image.Set(63, k, cross);
    }
}

// ---- Brightness -------------------------------------------------------------------

void TrackBar1Change(Workspace& ws, Host& host) {
    if (!ws.FrameIsLoaded()) return;
    ws.Brightness = BrightnessFromTrackBar(ws.Form22.TrackBar1);
    RedrawFrame(ws, host);
}

void Form22TrackBar1Change(Workspace& ws, Host& host, int position) {
    ws.Form22.TrackBar1 = std::clamp(position, 0, 100);
    ws.Form22.Edit1 = std::to_string(ws.Form22.TrackBar1);
    TrackBar1Change(ws, host);
}

} // namespace orv

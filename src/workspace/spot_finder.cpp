#include "workspace/spot_finder.h"

#include <algorithm>
#include <limits>

#include "base/numbers.h"
#include "base/parallel.h"
#include "workspace/frame_display.h"
#include "workspace/host.h"
#include "workspace/workspace.h"

namespace orv {

namespace {

// One segment through the pixel: its first largest value, its smallest value
// and where the lowest values before and after the pixel lie. Masked pixels
// are skipped; the minima start above every intensity, so high-count frames
// are measured as they are.
struct Segment {
    int32_t MaxAt = 0;        // 0: no unmasked pixel
    int32_t MaxValue = 0;
    int32_t MinValue = std::numeric_limits<int32_t>::max();
    int32_t LowBeforeAt = 0, LowAfterAt = 0;
};

template <typename Value>
Segment ScanSegment(int32_t lo, int32_t hi, int32_t centre, Value value) {
    Segment s;
    s.LowBeforeAt = s.LowAfterAt = hi;
    int32_t lowBefore = std::numeric_limits<int32_t>::max(), lowAfter = lowBefore;
    for (int32_t k = lo; k <= hi; ++k) {
        const int32_t v = value(k);
        if (v == MaskedIntensity) continue;
        if (s.MaxAt == 0 || v > s.MaxValue) {
            s.MaxValue = v;
            s.MaxAt = k;
        }
        s.MinValue = std::min(s.MinValue, v);
        if (k <= centre) {
            if (v < lowBefore) {
                lowBefore = v;
                s.LowBeforeAt = k;
            }
        } else if (v < lowAfter) {
            lowAfter = v;
            s.LowAfterAt = k;
        }
    }
    return s;
}

// A Windows-style rectangle outline: columns left..right-1, rows top..bottom-1.
void DrawOutline(RgbImage& image, int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t color) {
    const int32_t left = std::min(x1, x2), right = std::max(x1, x2) - 1;
    const int32_t top = std::min(y1, y2), bottom = std::max(y1, y2) - 1;
    for (int32_t x = left; x <= right; ++x) {
        image.Set(x, top, color);
        image.Set(x, bottom, color);
    }
    for (int32_t y = top; y <= bottom; ++y) {
        image.Set(left, y, color);
        image.Set(right, y, color);
    }
}

} // namespace

SpotTest IsSpotMaximum(const FramePlane<int32_t>& pixels, int32_t width, int32_t height, int32_t c, int32_t r,
                       int32_t hx, int32_t hy, bool autoMode) {
    SpotTest t;
    t.HalfX = hx;
    t.HalfY = hy;
    width = std::min(width, pixels.width());
    height = std::min(height, pixels.height());
    if (c < 1 || r < 1 || c > width || r > height || pixels[c][r] == MaskedIntensity) return t;
    hx = std::max(hx, 0);
    hy = std::max(hy, 0);
    const int32_t* column = pixels[c];
    const Segment down = ScanSegment(std::max(r - hy, 1), std::min(r + hy, height), r,
                                     [column](int32_t y) { return column[y]; });
    const Segment across = ScanSegment(std::max(c - hx, 1), std::min(c + hx, width), c,
                                       [&pixels, r](int32_t x) { return pixels[x][r]; });
    t.IsMaximum = down.MaxAt == r && across.MaxAt == c;
    t.LocalBackground = (int64_t{down.MinValue} + across.MinValue) / 2;
    if (autoMode) {
        t.HalfX = (across.LowAfterAt - across.LowBeforeAt) / 2;
        t.HalfY = (down.LowAfterAt - down.LowBeforeAt) / 2;
    }
    return t;
}

std::vector<FoundSpot> FindSpots(const FramePlane<int32_t>& pixels, int32_t width, int32_t height,
                                 double threshold, int32_t window, bool autoMode, bool absolute) {
    width = std::max(0, std::min(width, pixels.width()));
    height = std::max(0, std::min(height, pixels.height()));
    const unsigned workers = ParallelWorkerCount(int64_t{width} * height, int64_t{1} << 17);
    std::vector<std::vector<FoundSpot>> found(workers);
    ParallelFor(1, width, workers, [&](unsigned worker, int32_t lo, int32_t hi) {
        for (int32_t c = lo; c <= hi; ++c) {
            const int32_t* column = pixels[c];
            for (int32_t r = 1; r <= height; ++r) {
                const int32_t v = column[r];
                if (v == MaskedIntensity || !(v > threshold)) continue;
                const SpotTest t = IsSpotMaximum(pixels, width, height, c, r, window, window, autoMode);
                if (!t.IsMaximum || !(absolute || double(int64_t{v} - t.LocalBackground) >= threshold)) continue;
                FoundSpot s;
                s.Column = c;
                s.Row = r;
                s.HalfX = t.HalfX;
                s.HalfY = t.HalfY;
                s.X1 = std::max(c - t.HalfX, 1);
                s.X2 = std::min(c + t.HalfX, width);
                s.Y1 = std::max(r - t.HalfY, 1);
                s.Y2 = std::min(r + t.HalfY, height);
                found[worker].push_back(s);
            }
        }
    });
    std::vector<FoundSpot> spots;
    for (auto& part : found) spots.insert(spots.end(), part.begin(), part.end());
    // Row by row, as the frame is searched.
    std::sort(spots.begin(), spots.end(), [](const FoundSpot& a, const FoundSpot& b) {
        return a.Row != b.Row ? a.Row < b.Row : a.Column < b.Column;
    });
    return spots;
}

std::string ProposedSpotWindow(int32_t frameSize, const std::string& current) {
    std::string text = current;
    if (frameSize < 1000) text = "4";
    if (frameSize > 1000) text = "8";
    if (frameSize > 2000) text = "16";
    return text;
}

int32_t AutoSpotWindow(int32_t frameSize) {
    int32_t w = 6;
    if (frameSize > 1000) w = 10;
    if (frameSize > 2000) w = 16;
    return w;
}

void TForm36FormShow(Workspace& ws) { ws.Form36.Epixels = ProposedSpotWindow(ws.FrameSize, ws.Form36.Epixels); }

int32_t TForm36BFindClick(Workspace& ws, Host& host) {
    TForm36& f = ws.Form36;
    if (!ws.FrameIsLoaded()) {
        host.message("Need to open a file first");
        return -1;
    }
    double threshold = 0;
    int32_t window = 0;
    try {
        threshold = ParseNumber(f.Eintensity);
        // "Auto" chooses the window itself; the box is not read then.
        if (!f.CheckBox1) window = ParseInteger(f.Epixels);
    } catch (const ConversionError& e) {
        host.message(e.what());
        return -1;
    }
    if (f.CheckBox1) {
        window = AutoSpotWindow(ws.FrameSize);
    } else if (window < 1 || window > MaxSpotWindow) {
        host.message("Window Size (pixels) must be a whole number from 1 to " + std::to_string(MaxSpotWindow));
        return -1;
    }
    f.AutoMode = f.CheckBox1;

    const int32_t width = UsedColumns(ws), height = UsedRows(ws);
    f.Spots = FindSpots(ws.FramePixels.Intensity, width, height, threshold, window, f.AutoMode, f.RadioButton2);

    RedrawFramePicture(ws, host);
    const double s = DisplayPixelScale(ws);
    if (s > 0) {
        for (const FoundSpot& spot : f.Spots)
            DrawOutline(ws.Form1.Image1, RoundToInt((spot.Column - spot.HalfX) / s),
                        RoundToInt((spot.Row - spot.HalfY) / s), RoundToInt((spot.Column + spot.HalfX) / s),
                        RoundToInt((spot.Row + spot.HalfY) / s), MaskedColor);
    }
    ShowFramePicture(ws, host);
    f.BMaskspotsEnabled = true;
    ws.LLog.Append(std::to_string(f.Spots.size()) + " single crystal spots found");
    host.changed(View::Logbook);
    return static_cast<int32_t>(f.Spots.size());
}

int64_t TForm36BMaskspotsClick(Workspace& ws, Host& host) {
    // The spots may come from a frame of another size: only pixels of the
    // frame in force are written.
    const int32_t width = UsedColumns(ws), height = UsedRows(ws);
    FramePlane<int32_t>& pixels = ws.FramePixels.Intensity;
    int64_t masked = 0;
    for (const FoundSpot& spot : ws.Form36.Spots) {
        const int32_t x1 = std::max(spot.X1, 1), x2 = std::min(spot.X2, width);
        const int32_t y1 = std::max(spot.Y1, 1), y2 = std::min(spot.Y2, height);
        for (int32_t x = x1; x <= x2; ++x)
            for (int32_t y = y1; y <= y2; ++y) {
                if (pixels[x][y] != MaskedIntensity) ++masked;
                pixels[x][y] = MaskedIntensity;
            }
    }
    if (ws.FrameIsLoaded()) RedrawSectorThenScan(ws, host);
    return masked;
}

} // namespace orv

#pragma once
// The one pass over the display pixels of the frame picture that rendering
// and the overlays share (used by frame_display.cpp and sector_overlay.cpp).
//
// Picture pixel (x, y) shows frame pixel (Round(g x), Round(g y)), g =
// FrameWidth / DisplayWidth. The frame is rendered into x < DisplayWidth,
// y < DisplayHeight (border cells included, as they stand); an overlay marks
// pixels with x, y >= 1 whose frame pixel lies inside the frame.

#include <algorithm>
#include <cstdint>
#include <type_traits>
#include <vector>

#include "workspace/frame_display.h"
#include "base/parallel.h"
#include "workspace/workspace.h"

namespace orv {

// No overlay.
struct NoOverlay {
    bool operator()(float, float) const { return false; }
};

// Colours of the rendered frame as display words.
class FrameColors {
public:
    FrameColors(const std::vector<uint32_t>& palette, double scale);
    explicit FrameColors(const Workspace& ws) : FrameColors(ws.Palette, DisplayScale(ws)) {}
    uint32_t operator()(int32_t intensity) const {
        if (intensity < 0) return masked_;
        const double v = scale_ * intensity;
        if (!(v < PaletteWhiteIndex - 0.5)) return white_;   // Round(699.5) = 700 draws white too
        if (v <= 0) return words_[0];
        // 0 < v < 699.5: adding and removing 1.5 x 2^52 rounds to the nearest
        // whole number with halves to even (the default rounding), as
        // nearbyint does, without a library call per pixel.
        constexpr double Shift = 6755399441055744.0;
        return words_[static_cast<int32_t>((v + Shift) - Shift)];
    }

private:
    double scale_;
    uint32_t white_, masked_;
    uint32_t words_[PaletteWhiteIndex];
};

// Renders the frame into `image` (when `render`; the picture is then sized
// afresh) and paints `overlayColor` (0x00BBGGRR) where `overlay` holds. Works
// in strips of columns, so that the column-wise frame and the row-wise
// picture are both read and written close together.
template <typename Overlay>
void DrawDisplayPixels(const Workspace& ws, RgbImage& image, bool render, const Overlay& overlay,
                       uint32_t overlayColor) {
    const int32_t w = std::max(1, ws.DisplayWidth);
    const int32_t h = DisplayHeight(ws);
    // A picture of the same size is not filled first: the pass writes every
    // pixel of it (white where no frame pixel is shown).
    const bool refill = render && (image.Width != w + 1 || image.Height != h + 1 || ws.FramePixels.empty() || h <= 0);
    if (refill) image.Reset(w + 1, h + 1, WhiteColor);
    if (ws.FramePixels.empty() || h <= 0) return;
    const uint32_t white = DisplayWord(WhiteColor);
    const bool whiten = render && !refill;
    if (whiten) {
        // The last column and row lie beyond the rendered picture.
        std::fill(image.Row(h), image.Row(h) + image.Width, white);
        for (int32_t y = 0; y < h; ++y) image.Row(y)[w] = white;
    }
    const float g = DisplayPixelScale(ws);
    const int32_t lastX = std::min(w, image.Width - 1), lastY = std::min(h, image.Height - 1);
    if (lastX < 0 || lastY < 0) return;
    const std::vector<int32_t> cols = DisplaySources(g, 0, lastX + 1, 0, ws.FramePixels.width() + 1);
    const std::vector<int32_t> rows = DisplaySources(g, 0, lastY + 1, 0, ws.FramePixels.height() + 1);
    const int32_t usedCols = UsedColumns(ws), usedRows = UsedRows(ws);
    const FrameColors colors(ws);
    const uint32_t mark = DisplayWord(overlayColor);
    constexpr bool hasOverlay = !std::is_same_v<Overlay, NoOverlay>;
    constexpr int32_t Strip = 16;
    constexpr int32_t PrefetchRows = 32;
    const int32_t strips = (lastX + Strip) / Strip;
    // Strips of columns are independent: workers take runs of them.
    const bool angles = ws.FramePixels.HasGeometry();
    ParallelFor(0, strips - 1, ParallelWorkerCount(strips, 4), [&](unsigned, int32_t lo, int32_t hi) {
        const int32_t* columns[Strip];
        const float* twoTheta[Strip];
        const float* psi[Strip];
        bool inside[Strip];
        for (int32_t x0 = lo * Strip; x0 <= std::min(lastX, hi * Strip + Strip - 1); x0 += Strip) {
            const int32_t n = std::min(Strip, lastX + 1 - x0);
            for (int32_t k = 0; k < n; ++k) {
                const int32_t c = cols[x0 + k];
                columns[k] = c >= 0 ? ws.FramePixels.Intensity[c] : nullptr;
                twoTheta[k] = c >= 0 && angles ? ws.FramePixels.TwoTheta[c] : nullptr;
                psi[k] = c >= 0 && angles ? ws.FramePixels.Psi[c] : nullptr;
                inside[k] = x0 + k >= 1 && c >= 1 && c <= usedCols;
            }
            for (int32_t y = 0; y <= lastY; ++y) {
                const int32_t r = rows[y];
                const bool renderRow = render && y < h;
                if (r < 0) {
                    if (whiten && renderRow)
                        for (int32_t k = 0; k < n && x0 + k < w; ++k) image.Row(y)[x0 + k] = white;
                    continue;
                }
                const bool rowInside = y >= 1 && r >= 1 && r <= usedRows;
                uint32_t* out = image.Row(y) + x0;
                // The frame pixels of a strip lie far apart: fetch those some
                // rows ahead (two cache lines of a column at full size) while
                // this row is worked.
                if (y + PrefetchRows <= lastY && rows[y + PrefetchRows] >= 0) {
                    const int32_t ahead = rows[y + PrefetchRows];
                    for (int32_t k = 0; k < n; ++k) {
                        if (!columns[k]) continue;
                        __builtin_prefetch(columns[k] + ahead);
                        if constexpr (hasOverlay)
                            if (twoTheta[k]) {
                                __builtin_prefetch(twoTheta[k] + ahead);
                                __builtin_prefetch(psi[k] + ahead);
                            }
                    }
                }
                for (int32_t k = 0; k < n; ++k) {
                    if (!columns[k]) {
                        if (whiten && renderRow && x0 + k < w) out[k] = white;
                        continue;
                    }
                    if (renderRow && x0 + k < w) out[k] = colors(columns[k][r]);
                    if constexpr (hasOverlay)
                        if (rowInside && inside[k] &&
                            overlay(twoTheta[k] ? twoTheta[k][r] : 0.0f, psi[k] ? psi[k][r] : 0.0f))
                            out[k] = mark;
                }
            }
        }
    });
}

} // namespace orv

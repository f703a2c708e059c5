#include <algorithm>

#include "base/parallel.h"
#include "formats/reader.h"
#include "workspace/workspace.h"

namespace orv {

namespace {
void Compare(int32_t& a, int32_t& b) {
    // Differences are taken in 64 bits: two 32-bit counts may be far apart.
    if (std::llabs(static_cast<int64_t>(a) - static_cast<int64_t>(b)) > 10000) {
        int32_t smaller = std::min(a, b);
        a = smaller;
        b = smaller;
    }
}
} // namespace

void RemoveEdgeSpikes(FramePlane<int32_t>& pixels, int32_t width, int32_t height) {
    if (width < 2 || height < 1) return;
    // Rows are independent of each other: in parallel over rows when there are many.
    ParallelFor(1, height, ParallelWorkerCount(height, int64_t{1} << 16), [&](unsigned, int32_t lo, int32_t hi) {
        for (int32_t y = lo; y <= hi; ++y) {
            // Left edge, each pixel against its right neighbour; on narrow
            // frames the comparisons stay inside the row.
            for (int32_t x = 1; x <= 5 && x + 1 <= width; ++x)
                Compare(pixels[x][y], pixels[x + 1][y]);
            // Right edge, each pixel against its left neighbour.
            for (int32_t x = std::max(width - 5, 2); x <= width; ++x)
                Compare(pixels[x][y], pixels[x - 1][y]);
        }
    });
}

void RemoveEdgeSpikes(Workspace& ws) { RemoveEdgeSpikes(ws.FramePixels.Intensity, ws.FrameWidth, ws.FrameHeight); }

} // namespace orv

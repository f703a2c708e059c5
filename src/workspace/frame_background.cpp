#include "workspace/frame_background.h"

#include <algorithm>
#include <exception>
#include <limits>
#include <vector>

#include "base/numbers.h"
#include "base/parallel.h"
#include "workspace/frame_display.h"
#include "workspace/geometry.h"
#include "workspace/host.h"
#include "workspace/integration.h"
#include "workspace/run_report.h"
#include "workspace/workspace.h"

// The minima below are straight loops over whole columns; GCC at -O2
// vectorizes only the cheapest loops, and these gain almost twice.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC optimize("tree-vectorize")
#endif

namespace orv {

namespace {

// The minima are taken over keys that order like the intensities and leave
// room above them for "no pixel": -1 (masked) never is an intensity, so the
// intensities from 0 up move one down into its place and the largest key
// stays free.
constexpr int32_t NoPixel = std::numeric_limits<int32_t>::max();

inline int32_t KeyOf(int32_t v) {
    if (v == MaskedIntensity) return NoPixel;
    return v >= 0 ? v - 1 : v;
}
inline int64_t IntensityOf(int32_t key) { return key >= -1 ? int64_t{key} + 1 : key; }

// Output columns handled together: their window columns' vertical minima fit
// in the cache.
constexpr int32_t BlockColumns = 64;

// Per worker: the keys of one column with h sentinel cells at each end, and
// the vertical minima of the block's window columns.
struct Scratch {
    std::vector<int32_t> Keys;
    std::vector<int32_t> Upper;   // per window column: rows r-h..r
    std::vector<int32_t> Lower;   // per window column: rows r+1..r+h
    std::vector<int32_t> Q[4];    // one output column's quadrant minima
};

// The vertical minima of column `column` into up[1..height] (rows r-h..r)
// and down[1..height] (rows r+1..r+h); rows outside the frame hold no pixel.
void ColumnMinima(const int32_t* column, int32_t height, int32_t h, Scratch& s, int32_t* up, int32_t* down) {
    int32_t* keys = s.Keys.data() + h;   // keys[1 - h .. height + h]
    for (int32_t r = 1; r <= height; ++r) keys[r] = KeyOf(column[r]);
    std::fill(keys + 1 - h, keys + 1, NoPixel);
    std::fill(keys + height + 1, keys + height + 1 + h, NoPixel);
    std::copy(keys + 1, keys + height + 1, up + 1);
    std::fill(down + 1, down + height + 1, NoPixel);
    // Straight passes over contiguous memory: with half-widths of a few
    // pixels they beat the bookkeeping of running minima.
    for (int32_t k = 1; k <= h; ++k) {
        const int32_t* above = keys - k;
        const int32_t* below = keys + k;
        for (int32_t r = 1; r <= height; ++r) {
            up[r] = std::min(up[r], above[r]);
            down[r] = std::min(down[r], below[r]);
        }
    }
}

void BackgroundOfBlock(const FramePlane<int32_t>& pixels, int32_t width, int32_t height, int32_t h,
                       int32_t first, int32_t last, Scratch& s, FramePlane<int32_t>& background) {
    const int32_t from = std::max(1, first - h), to = std::min(width, last + h);
    const size_t stride = static_cast<size_t>(height) + 1;   // rows 1..height of each window column
    const size_t cells = static_cast<size_t>(to - from + 1) * stride;
    if (s.Upper.size() < cells) {
        s.Upper.resize(cells);
        s.Lower.resize(cells);
    }
    auto up = [&](int32_t i) { return s.Upper.data() + static_cast<size_t>(i - from) * stride; };
    auto down = [&](int32_t i) { return s.Lower.data() + static_cast<size_t>(i - from) * stride; };
    for (int32_t i = from; i <= to; ++i) ColumnMinima(pixels[i], height, h, s, up(i), down(i));

    for (auto& q : s.Q) q.resize(stride);
    int32_t* q1 = s.Q[0].data();   // columns c-h..c, rows r-h..r
    int32_t* q2 = s.Q[1].data();   // columns c-h..c, rows r+1..r+h
    int32_t* q3 = s.Q[2].data();   // columns c+1..c+h, rows r-h..r
    int32_t* q4 = s.Q[3].data();   // columns c+1..c+h, rows r+1..r+h
    for (int32_t c = first; c <= last; ++c) {
        std::fill(q1 + 1, q1 + height + 1, NoPixel);
        std::fill(q2 + 1, q2 + height + 1, NoPixel);
        std::fill(q3 + 1, q3 + height + 1, NoPixel);
        std::fill(q4 + 1, q4 + height + 1, NoPixel);
        for (int32_t i = std::max(1, c - h); i <= c; ++i) {
            const int32_t* u = up(i);
            const int32_t* d = down(i);
            for (int32_t r = 1; r <= height; ++r) {
                q1[r] = std::min(q1[r], u[r]);
                q2[r] = std::min(q2[r], d[r]);
            }
        }
        for (int32_t i = c + 1; i <= std::min(width, c + h); ++i) {
            const int32_t* u = up(i);
            const int32_t* d = down(i);
            for (int32_t r = 1; r <= height; ++r) {
                q3[r] = std::min(q3[r], u[r]);
                q4[r] = std::min(q4[r], d[r]);
            }
        }
        int32_t* out = background[c];
        for (int32_t r = 1; r <= height; ++r) {
            const int32_t keys[4] = {q1[r], q2[r], q3[r], q4[r]};
            int64_t sum = 0;
            int n = 0;
            for (const int32_t key : keys) {
                const bool held = key != NoPixel;
                sum += held ? IntensityOf(key) : 0;
                n += held;
            }
            // The mean of the quadrants that hold pixels, truncated like an
            // integer division (it lies between their minima, so in range);
            // divisions by constants, as nearly every pixel has four.
            const int64_t mean = n == 4 ? sum / 4 : n == 3 ? sum / 3 : n == 2 ? sum / 2 : sum;
            out[r] = static_cast<int32_t>(mean);
        }
    }
}

int32_t Saturate(int64_t v) {
    return static_cast<int32_t>(std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(),
                                                    std::numeric_limits<int32_t>::max()));
}

// The whole-frame profile again after the background went: the bins keep
// their 2-theta, every unmasked pixel adds to the bin of its 2-theta, and
// both rows get the counts (per pixel when 1/count is ticked).
void RebinFrameProfile(Workspace& ws) {
    if (!ws.FramePixels.HasGeometry()) return;
    const int32_t last = std::clamp(ws.ScanPoints, 0, ProfileLength - 1);
    IntegrationRequest request;
    request.LastColumn = std::min(ws.FrameWidth, ws.FramePixels.width());
    request.LastRow = std::min(ws.FrameHeight, ws.FramePixels.height());
    request.Grid = ScanGrid{ws.MinTwoTheta, ws.TwoThetaStep, last};
    const ScanBins bins = std::move(IntegrateFrame(ws.FramePixels, request)[0]);
    const bool perPixel = ws.FSetup.CB2thetaLorentz;
    for (int32_t k = 0; k <= last; ++k) {
        ProfilePoint& p = ws.FrameProfile[static_cast<size_t>(k)];
        const ScanBin& b = bins[static_cast<size_t>(k)];
        p.Intensity = static_cast<float>(perPixel && b.Count >= 1 ? b.Sum / double(b.Count) : b.Sum);
        p.Count = static_cast<int32_t>(std::min<int64_t>(b.Count, std::numeric_limits<int32_t>::max()));
    }
    ws.FrameProfileCopy = ws.FrameProfile;
}

void SetProgress(Workspace& ws, Host& host, int value) {
    ws.Form20.ProgressBar1 = value;
    host.changed(View::Progress);
}

} // namespace

void WindowMinimumBackground(const FramePlane<int32_t>& pixels, int32_t width, int32_t height, int32_t h,
                             FramePlane<int32_t>& background) {
    width = std::max(width, 0);
    height = std::max(height, 0);
    h = std::max(h, 0);
    background.resize(width, height);
    if (width == 0 || height == 0) return;
    const int64_t perColumn = int64_t{height} * (4 * int64_t{h} + 2);
    const unsigned workers = ParallelWorkerCount(int64_t{width} * perColumn, int64_t{1} << 21);
    std::vector<Scratch> scratch(workers);
    ParallelFor(1, width, workers, [&](unsigned worker, int32_t lo, int32_t hi) {
        Scratch& s = scratch[worker];
        s.Keys.resize(static_cast<size_t>(height) + 2 * static_cast<size_t>(h) + 1);
        for (int32_t first = lo; first <= hi; first += BlockColumns)
            BackgroundOfBlock(pixels, width, height, h, first, std::min(hi, first + BlockColumns - 1), s, background);
    });
}

BackgroundRemoval SubtractPixelBackground(FramePlane<int32_t>& pixels, int32_t width, int32_t height,
                                          const FramePlane<int32_t>& background) {
    BackgroundRemoval total;
    if (width < 1 || height < 1) return total;
    const unsigned workers = ParallelWorkerCount(int64_t{width} * height, int64_t{1} << 18);
    std::vector<BackgroundRemoval> sums(workers);
    ParallelFor(1, width, workers, [&](unsigned worker, int32_t lo, int32_t hi) {
        BackgroundRemoval& sum = sums[worker];
        for (int32_t c = lo; c <= hi; ++c) {
            int32_t* column = pixels[c];
            const int32_t* b = background[c];
            for (int32_t r = 1; r <= height; ++r) {
                const int32_t v = column[r];
                if (v == MaskedIntensity) continue;
                const int32_t removed = std::min(b[r], v);
                column[r] = Saturate(int64_t{v} - removed);
                sum.PeakCounts += column[r];
                sum.BackgroundCounts += removed;
            }
        }
    });
    // Whole numbers: the same totals whatever the split.
    for (const BackgroundRemoval& s : sums) {
        total.PeakCounts += s.PeakCounts;
        total.BackgroundCounts += s.BackgroundCounts;
    }
    return total;
}

BackgroundRemoval SubtractWindowMinimumBackground(FramePlane<int32_t>& pixels, int32_t width, int32_t height,
                                                  int32_t h) {
    FramePlane<int32_t> background;
    WindowMinimumBackground(pixels, width, height, h, background);
    return SubtractPixelBackground(pixels, width, height, background);
}

void LogBackgroundRemoval(Workspace& ws, Host& host, const BackgroundRemoval& removal) {
    ws.LLog.Append("Background of Frame removed");
    ws.LLog.Append("Peak counts = " + FormatNumber(double(removal.PeakCounts), 7, 0) +
                   " Background counts = " + FormatNumber(double(removal.BackgroundCounts), 7, 0));
    host.changed(View::Logbook);
}

void RemoveFrameBackgroundStep(Workspace& ws, Host& host) {
    const int32_t width = UsedColumns(ws), height = UsedRows(ws);
    LogBackgroundRemoval(ws, host,
                         SubtractWindowMinimumBackground(ws.FramePixels.Intensity, width, height,
                                                         FrameBackgroundHalfWidth));
}

void SetUpFrameBackground(Workspace& ws) { ws.Batch.RemoveFrameBackground = RemoveFrameBackgroundStep; }

bool T2DBackThread::Execute(Workspace& ws, Host& host) {
    FramePlane<int32_t> pixels;
    int32_t width = 0, height = 0;
    bool started = false;
    host.sync([&] {
        if (!ws.FrameIsLoaded()) return;
        width = UsedColumns(ws);
        height = UsedRows(ws);
        pixels = ws.FramePixels.Intensity;
        started = true;
        SetProgress(ws, host, 10);
    });
    if (!started) return false;

    FramePlane<int32_t> background;
    WindowMinimumBackground(pixels, width, height, FrameBackgroundHalfWidth, background);
    pixels.clear();

    bool removed = false;
    host.sync([&] {
        SetProgress(ws, host, 50);
        // Nothing else may replace the frame meanwhile; should it have
        // changed size all the same, its pixels are left alone.
        if (UsedColumns(ws) != width || UsedRows(ws) != height) {
            ws.LLog.Append("The frame changed while its background was computed; nothing was removed");
            host.changed(View::Logbook);
            SetProgress(ws, host, 100);
            return;
        }
        const BackgroundRemoval removal = SubtractPixelBackground(ws.FramePixels.Intensity, width, height, background);
        removed = true;
        RebinFrameProfile(ws);
        SetProgress(ws, host, 70);
        RedrawSectorThenScan(ws, host);
        LogBackgroundRemoval(ws, host, removal);
        SetProgress(ws, host, 100);
        UpdateProfileExtrema(ws);
    });
    return removed;
}

T2DBackThread::T2DBackThread(Workspace& ws, Host& host, std::function<void()> onFinished)
    : ws_(ws), host_(host), onFinished_(std::move(onFinished)) {
    worker_.Start(
        host_, [this] { Execute(ws_, host_); },
        [this](const std::string& reason) {
            ReportRunProblem(ws_, host_, RunProblem::Command, "Background removal stopped: " + reason);
        },
        onFinished_);
}

T2DBackThread::~T2DBackThread() = default;

}  // namespace orv

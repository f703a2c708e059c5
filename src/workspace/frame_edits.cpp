#include "workspace/frame_edits.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <stdexcept>
#include <vector>

#include "base/file_bytes.h"
#include "base/numbers.h"
#include "base/parallel.h"
#include "formats/binary_io.h"
#include "formats/mask_files.h"
#include "workspace/frame_display.h"
#include "workspace/geometry.h"
#include "workspace/host.h"
#include "workspace/run_report.h"
#include "workspace/sector_scan.h"
#include "workspace/text_files.h"
#include "workspace/workspace.h"

namespace orv {

namespace {

// Below this many pixels per thread a pass is not worth splitting.
constexpr int64_t MinPixelsPerWorker = 1 << 16;

unsigned WorkersFor(int32_t width, int32_t height) {
    return ParallelWorkerCount(int64_t{width} * height, MinPixelsPerWorker);
}

// Runs `edit(column)` on columns 1..width of the plane, in parallel.
template <typename Edit>
void ForColumns(FramePlane<int32_t>& pixels, int32_t width, int32_t height, const Edit& edit) {
    ParallelFor(1, width, WorkersFor(width, height), [&](unsigned, int32_t lo, int32_t hi) {
        for (int32_t x = lo; x <= hi; ++x) edit(pixels[x]);
    });
}

void CheckArea(const FramePlane<int32_t>& pixels, int32_t width, int32_t height) {
    if (width < 0 || height < 0 || width > pixels.width() || height > pixels.height())
        throw std::invalid_argument("frame edit outside the plane");
}

} // namespace

// ---- Edits of a plane -------------------------------------------------------------

int64_t MaskByValue(FramePlane<int32_t>& pixels, int32_t width, int32_t height, double threshold, MaskSide side) {
    CheckArea(pixels, width, height);
    const unsigned workers = WorkersFor(width, height);
    std::vector<int64_t> counts(workers, 0);
    ParallelFor(1, width, workers, [&](unsigned worker, int32_t lo, int32_t hi) {
        int64_t n = 0;
        for (int32_t x = lo; x <= hi; ++x) {
            int32_t* column = pixels[x];
            for (int32_t y = 1; y <= height; ++y) {
                const int32_t v = column[y];
                if (v == MaskedIntensity) continue;
                if (side == MaskSide::Above ? v > threshold : v < threshold) {
                    column[y] = MaskedIntensity;
                    ++n;
                }
            }
        }
        counts[worker] += n;
    });
    int64_t total = 0;
    for (int64_t n : counts) total += n;
    return total;
}

void ScaleIntensities(FramePlane<int32_t>& pixels, int32_t width, int32_t height, float factor) {
    CheckArea(pixels, width, height);
    const double f = factor;
    ForColumns(pixels, width, height, [&](int32_t* column) {
        for (int32_t y = 1; y <= height; ++y)
            if (column[y] != MaskedIntensity) column[y] = UnmaskedResult(RoundToInt(f * column[y]));
    });
}

void AddToIntensities(FramePlane<int32_t>& pixels, int32_t width, int32_t height, int64_t value) {
    CheckArea(pixels, width, height);
    ForColumns(pixels, width, height, [&](int32_t* column) {
        for (int32_t y = 1; y <= height; ++y)
            if (column[y] != MaskedIntensity) column[y] = UnmaskedResult(SaturateToInt32(column[y] + value));
    });
}

int32_t LargestIntensity(const FramePlane<int32_t>& pixels, int32_t width, int32_t height, int32_t none) {
    CheckArea(pixels, width, height);
    const unsigned workers = WorkersFor(width, height);
    std::vector<int32_t> largest(workers, none);
    ParallelFor(1, width, workers, [&](unsigned worker, int32_t lo, int32_t hi) {
        int32_t m = largest[worker];
        for (int32_t x = lo; x <= hi; ++x) {
            const int32_t* column = pixels[x];
            for (int32_t y = 1; y <= height; ++y) m = std::max(m, column[y]);
        }
        largest[worker] = m;
    });
    return *std::max_element(largest.begin(), largest.end());
}

FramePlane<int32_t> CropPlane(const FramePlane<int32_t>& pixels, int32_t x1, int32_t x2, int32_t y1, int32_t y2) {
    if (x1 < 1 || y1 < 1 || x2 < x1 || y2 < y1 || x2 > pixels.width() || y2 > pixels.height())
        throw std::invalid_argument("crop rectangle outside the plane");
    const int32_t w = x2 - x1 + 1, h = y2 - y1 + 1;
    FramePlane<int32_t> out;
    out.resize(w, h);
    ParallelFor(1, w, WorkersFor(w, h), [&](unsigned, int32_t lo, int32_t hi) {
        for (int32_t i = lo; i <= hi; ++i)
            std::memcpy(out[i] + 1, pixels[x1 + i - 1] + y1, static_cast<size_t>(h) * sizeof(int32_t));
    });
    return out;
}

FramePlane<int32_t> TransposePlane(const FramePlane<int32_t>& pixels, int32_t width, int32_t height) {
    CheckArea(pixels, width, height);
    FramePlane<int32_t> out;
    out.resize(height, width);
    // Square tiles, so that both the columns read and the columns written
    // stay in the cache.
    constexpr int32_t Tile = 64;
    const int32_t tiles = (height + Tile - 1) / Tile;   // over the new columns
    ParallelFor(0, tiles - 1, WorkersFor(width, height), [&](unsigned, int32_t lo, int32_t hi) {
        for (int32_t t = lo; t <= hi; ++t) {
            const int32_t j1 = t * Tile + 1, j2 = std::min(height, j1 + Tile - 1);
            for (int32_t i1 = 1; i1 <= width; i1 += Tile) {
                const int32_t i2 = std::min(width, i1 + Tile - 1);
                for (int32_t j = j1; j <= j2; ++j) {
                    int32_t* to = out[j];
                    for (int32_t i = i1; i <= i2; ++i) to[i] = pixels[i][j];
                }
            }
        }
    });
    return out;
}

void SmoothPlane(FramePlane<int32_t>& pixels, int32_t width, int32_t height, int32_t windowWidth) {
    if (windowWidth < 1 || windowWidth > MaxSmoothingWidth)
        throw std::invalid_argument("smoothing width outside 1.." + std::to_string(MaxSmoothingWidth));
    CheckArea(pixels, width, height);
    if (width == 0 || height == 0) return;
    const int32_t a = windowWidth / 2, r = (windowWidth + 1) / 2;
    const int32_t taps = a + r + 1;
    // weight(dx, dy) = g(dx) g(dy), offsets -a..r at g[d + a].
    std::vector<double> g(static_cast<size_t>(taps));
    for (int32_t d = -a; d <= r; ++d) g[static_cast<size_t>(d + a)] = std::exp(-double(d) * d / (double(r) * r));

    FramePlane<int32_t> out(pixels);
    const size_t rows = static_cast<size_t>(height);
    ParallelFor(1, width, WorkersFor(width, height), [&](unsigned, int32_t lo, int32_t hi) {
        // One column of values and of weights (0 for masked pixels), with
        // `taps` zeros on each side: a window reaching past the frame's edge
        // then sums only the pixels inside it.
        const size_t pad = static_cast<size_t>(taps);
        std::vector<double> values(rows + 2 * pad, 0.0), present(rows + 2 * pad, 0.0);
        // The down-the-column sums of the source columns in use, in a ring
        // of `taps` columns (source column s in slot s mod taps).
        std::vector<double> sums(2 * rows * pad);
        auto sumColumn = [&](int32_t s) { return &sums[2 * rows * static_cast<size_t>(s % taps)]; };
        auto fillColumn = [&](int32_t s) {
            const int32_t* column = pixels[s];
            for (size_t y = 0; y < rows; ++y) {
                const int32_t v = column[y + 1];
                const bool on = v != MaskedIntensity;
                values[pad + y] = on ? v : 0.0;
                present[pad + y] = on ? 1.0 : 0.0;
            }
            double* num = sumColumn(s);
            double* den = num + rows;
            std::fill(num, num + 2 * rows, 0.0);
            for (int32_t d = -a; d <= r; ++d) {
                const double w = g[static_cast<size_t>(d + a)];
                const double* v = &values[pad + d];
                const double* p = &present[pad + d];
                for (size_t y = 0; y < rows; ++y) {
                    num[y] += w * v[y];
                    den[y] += w * p[y];
                }
            }
        };
        std::vector<double> num(rows), den(rows);
        int32_t filled = std::max(1, lo - a) - 1;   // the last source column summed
        for (int32_t x = lo; x <= hi; ++x) {
            const int32_t first = std::max(1, x - a), last = std::min(width, x + r);
            while (filled < last) fillColumn(++filled);
            std::fill(num.begin(), num.end(), 0.0);
            std::fill(den.begin(), den.end(), 0.0);
            for (int32_t s = first; s <= last; ++s) {
                const double w = g[static_cast<size_t>(s - x + a)];
                const double* sn = sumColumn(s);
                const double* sd = sn + rows;
                for (size_t y = 0; y < rows; ++y) {
                    num[y] += w * sn[y];
                    den[y] += w * sd[y];
                }
            }
            const int32_t* source = pixels[x];
            int32_t* target = out[x];
            for (size_t y = 0; y < rows; ++y) {
                // A masked pixel stays masked; any other has its own weight in den.
                if (source[y + 1] == MaskedIntensity || den[y] <= 0) continue;
                target[y + 1] = RoundToInt(num[y] / den[y]);
            }
        }
    });
    pixels.swap(out);
}

// ---- Commands ---------------------------------------------------------------------

namespace {

const char* const NeedFrame = "Need to open a file first";
const char* const OutOfRange = "Value out of range!";

bool HasFrame(const Workspace& ws) { return ws.FrameIsLoaded() && UsedColumns(ws) > 0 && UsedRows(ws) > 0; }

bool RequireFrame(const Workspace& ws, Host& host) {
    if (HasFrame(ws)) return true;
    host.message(NeedFrame);
    return false;
}

bool IsBlank(const std::string& text) { return text.find_first_not_of(" \t") == std::string::npos; }

// The typed number, or nothing after telling the user it is not one.
std::optional<double> TypedNumber(Host& host, const std::string& text) {
    double v = 0;
    if (TryParseNumber(text, v)) return v;
    host.message(ConversionError(text).what());
    return std::nullopt;
}

void Log(Workspace& ws, Host& host, const std::string& line) {
    ws.LLog.Append(line);
    host.changed(View::Logbook);
}

// The frame's geometry follows its pixels when they move: kept pixel (i, j)
// of the old frame is now (i - dx, j - dy), or (j, i) when transposed. The
// frame's own centre moves with them and a flat detector keeps its pixel
// size (DSize spans FrameSize pixels), so every kept pixel keeps its place
// and its 2-theta. The Detector Settings boxes that impose the centre or
// the size take the moved values, so that neither the geometry step nor an
// Apply puts the old ones back; a curved detector's length is the user's
// and stays as typed, which the logbook then says.
void MoveGeometryWithPixels(Workspace& ws, Host& host, int32_t dx, int32_t dy, bool transposed, int32_t newWidth,
                            int32_t newHeight) {
    TForm32& f = ws.Form32;
    const bool fileSettings = ws.Form20.CBFSettings;
    const double xo = ws.Xo, yo = ws.Yo;
    ws.Xo = transposed ? yo : xo - dx;
    ws.Yo = transposed ? xo : yo - dy;
    const int32_t oldSize = ws.FrameSize > 0 ? ws.FrameSize : ws.FrameHeight;
    const int32_t newSize = std::max(newWidth, newHeight);
    const bool curved = f.RCylindrical || f.RSphere;
    // A curved detector's length spans the frame's width, a flat one's size FrameSize.
    const bool scaleChanges = curved ? newWidth != ws.FrameWidth : newSize != oldSize;
    if (!curved && oldSize > 0 && ws.DSize > 0) ws.DSize = ws.DSize * newSize / oldSize;
    ws.Form23.EXo = FormatNumber(ws.Xo);
    ws.Form23.EYo = FormatNumber(ws.Yo);
    ws.Form23.EDSizemm = FormatNumber(ws.DSize);
    host.changed(View::FrameInfo);

    std::string shown;
    if (f.CBXo || fileSettings) {
        f.EXoM = FormatExactNumber(ws.Xo);
        shown += " Xo = " + f.EXoM;
    }
    if (f.CBYo || fileSettings) {
        f.EYoM = FormatExactNumber(ws.Yo);
        shown += " Yo = " + f.EYoM;
    }
    // With the pixel size ticked the geometry step derives the size itself.
    if (!curved && !f.CBPixSize && (f.CBDSize || (fileSettings && f.RFlat))) {
        f.EDSize = FormatExactNumber(ws.DSize);
        shown += " Detector size = " + f.EDSize;
    }
    if (!shown.empty()) {
        host.changed(View::Settings);
        Log(ws, host, "Detector Settings follow the frame:" + shown);
    }
    if (curved && scaleChanges && !f.CBPixSize)
        Log(ws, host, "The Detector Settings set the detector length; the new frame's angles follow it as typed");
}

} // namespace

void ShowFrameSizeAndMaximum(Workspace& ws, Host& host) {
    const int32_t largest =
        LargestIntensity(ws.FramePixels.Intensity, UsedColumns(ws), UsedRows(ws), -10000000);
    ws.Form23.Panel2 = std::to_string(ws.FrameWidth) + " x " + std::to_string(ws.FrameHeight) +
                       " Max = " + std::to_string(largest);
    host.changed(View::FrameInfo);
}

bool CropFrame(Workspace& ws, Host& host) {
    if (!RequireFrame(ws, host)) return false;
    if (!ws.RectangularSector) {
        host.message("Please select a rectangular mask");
        return false;
    }
    TFMask& m = ws.FMask;
    // The corners as typed, in order, must meet the frame.
    std::array<int32_t, 4> typed{};
    const std::array<const std::string*, 4> boxes{&m.EX1, &m.Ex2, &m.EY1, &m.EY2};
    for (size_t k = 0; k < boxes.size(); ++k)
        if (!TryParseInteger(*boxes[k], typed[k])) {
            host.message(ConversionError(*boxes[k]).what());
            return false;
        }
    const int32_t width = UsedColumns(ws), height = UsedRows(ws);
    if (std::max(typed[0], typed[1]) < 1 || std::min(typed[0], typed[1]) > width ||
        std::max(typed[2], typed[3]) < 1 || std::min(typed[2], typed[3]) > height) {
        host.message("The rectangle " + m.EX1 + ", " + m.EY1 + ", " + m.Ex2 + ", " + m.EY2 +
                     " lies outside the frame of " + std::to_string(width) + " x " + std::to_string(height) +
                     " pixels");
        return false;
    }
    std::array<int32_t, 4> r = ReadSectorRectangle(ws);   // clamped; the boxes show it
    if (r[1] < r[0]) std::swap(r[0], r[1]);
    if (r[3] < r[2]) std::swap(r[2], r[3]);
    r = {std::min(r[0], width), std::min(r[1], width), std::min(r[2], height), std::min(r[3], height)};
    ws.LLog.Append("Rectangular Sector = " + m.EX1 + ", " + m.EY1 + ", " + m.Ex2 + ", " + m.EY2);

    FramePlane<int32_t> cut = CropPlane(ws.FramePixels.Intensity, r[0], r[1], r[2], r[3]);
    const int32_t newWidth = cut.width(), newHeight = cut.height();
    // A merged frame's columns keep their detector angles and source
    // columns (which its centre refers to): its table is cut instead.
    const bool merged = ws.MergedFrame && ws.MergeColumnTable.size() > static_cast<size_t>(r[1]);
    MoveGeometryWithPixels(ws, host, merged ? 0 : r[0] - 1, r[2] - 1, false, newWidth, newHeight);
    if (merged) {
        const auto first = ws.MergeColumnTable.begin() + r[0];
        std::vector<MergeColumn> kept(1);
        kept.insert(kept.end(), first, first + newWidth);
        ws.MergeColumnTable = std::move(kept);
    }
    ws.FramePixels.Intensity = std::move(cut);
    ws.FramePixels.SetGeometry(nullptr);
    ws.FrameWidth = newWidth;
    ws.FrameHeight = newHeight;
    ws.FrameSize = std::max(newWidth, newHeight);
    m.EX1 = m.EY1 = "1";
    m.Ex2 = std::to_string(newWidth);
    m.EY2 = std::to_string(newHeight);
    ws.CropRect = {1, newWidth, 1, newHeight};
    ShowFrameSizeAndMaximum(ws, host);
    host.changed(View::Sector);
    host.changed(View::Logbook);
    try {
        ComputeFrameGeometry(ws, host);
    } catch (const ConversionError& e) {
        host.message(e.what());
    }
    RedrawSectorThenScan(ws, host);
    return true;
}

namespace {
// The typed value when it is a number of at most `limit` in size; else the
// user is told and nothing is returned.
std::optional<double> TypedValue(Host& host, const std::string& text, double limit) {
    const std::optional<double> value = TypedNumber(host, text);
    if (value && std::fabs(*value) > limit) {
        host.message(OutOfRange);
        return std::nullopt;
    }
    return value;
}

// After a value command: Frame Info, the logbook, the picture and the scan.
void ValueCommandDone(Workspace& ws, Host& host, const std::string& logLine) {
    ShowFrameSizeAndMaximum(ws, host);
    Log(ws, host, logLine);
    RedrawSectorThenScan(ws, host);
}
} // namespace

bool MaskPixelsByValue(Workspace& ws, Host& host, const std::string& text, MaskSide side) {
    if (!RequireFrame(ws, host) || IsBlank(text)) return false;
    const std::optional<double> threshold = TypedNumber(host, text);
    if (!threshold) return false;
    const int64_t count = MaskByValue(ws.FramePixels.Intensity, UsedColumns(ws), UsedRows(ws), *threshold, side);
    ValueCommandDone(ws, host,
                     std::string(side == MaskSide::Above ? "n of pixels masked above " : "n of pixels masked below ") +
                         text + " was " + std::to_string(count));
    return true;
}

bool MultiplyFrame(Workspace& ws, Host& host, const std::string& text) {
    if (!RequireFrame(ws, host) || IsBlank(text)) return false;
    const std::optional<double> factor = TypedValue(host, text, 10);
    if (!factor) return false;
    ScaleIntensities(ws.FramePixels.Intensity, UsedColumns(ws), UsedRows(ws), static_cast<float>(*factor));
    ValueCommandDone(ws, host, "frame multiplied by " + text);
    return true;
}

bool AddConstantToFrame(Workspace& ws, Host& host, const std::string& text) {
    if (!RequireFrame(ws, host) || IsBlank(text)) return false;
    const std::optional<double> value = TypedValue(host, text, 1000);
    if (!value) return false;
    AddToIntensities(ws.FramePixels.Intensity, UsedColumns(ws), UsedRows(ws), RoundToInt(*value));
    ValueCommandDone(ws, host, "frame added a constant value of  " + text);
    return true;
}

bool SmoothFrame(Workspace& ws, Host& host, const std::string& text) {
    if (!RequireFrame(ws, host) || IsBlank(text)) return false;
    int32_t width = 0;
    if (!TryParseInteger(text, width)) {
        host.message(ConversionError(text).what());
        return false;
    }
    if (width < 1 || width > MaxSmoothingWidth) {
        host.message(OutOfRange);
        return false;
    }
    SmoothPlane(ws.FramePixels.Intensity, UsedColumns(ws), UsedRows(ws), width);
    Log(ws, host, "Smoothed data");
    RedrawSectorThenScan(ws, host);
    return true;
}

namespace {
// Writes the frame with `write` and logs `logText` and the file's name.
bool SaveFrameAs(Workspace& ws, Host& host, const std::string& name,
                 void (*write)(const std::string&, const Workspace&), const std::string& logText) {
    if (!RequireFrame(ws, host)) return false;
    try {
        RefuseFrameOverwrite(ws, name);
        write(name, ws);
    } catch (const FileError& e) {
        host.message(e.what());
        return false;
    }
    Log(ws, host, logText + FileNameOnly(name));
    return true;
}
} // namespace

bool LoadMaskCommand(Workspace& ws, Host& host, const std::string& path) {
    if (!RequireFrame(ws, host)) return false;
    if (!HasExactExtension(path, ".msk")) {
        host.message("Invalid Mask file !");
        return false;
    }
    MaskRecords records;
    try {
        records = ReadMaskFile(path);
    } catch (const FileError& e) {
        host.message(e.what());
        return false;
    }
    ws.FSetup.EMask = path;
    ws.FSetup.CBMask = true;
    host.changed(View::Settings);
    ApplyMask(ws.FramePixels.Intensity, UsedColumns(ws), UsedRows(ws), records);
    Log(ws, host, "New Mask loaded from " + FileNameOnly(path));
    if (!records.empty()) RedrawSectorThenScan(ws, host);
    return true;
}

bool SaveMaskCommand(Workspace& ws, Host& host, const std::string& path) {
    return SaveFrameAs(ws, host, WithExtension(path, ".msk"), WriteMaskFile, "New Mask save to ");
}

bool LoadBackgroundCommand(Workspace& ws, Host& host, const std::string& path) {
    BackgroundFrame background;
    try {
        background = ReadBackgroundFile(path);
    } catch (const FileError& e) {
        host.message(e.what());
        return false;
    }
    const bool frame = HasFrame(ws);
    if (frame && !SubtractBackground(ws.FramePixels.Intensity, UsedColumns(ws), UsedRows(ws), background)) {
        host.message("Wrong Background File!");
        return false;
    }
    ws.FSetup.EBack = path;
    ws.FSetup.CBBack = true;
    host.changed(View::Settings);
    if (!frame) return true;
    Log(ws, host, "Background substracted " + FileNameOnly(path));
    RedrawSectorThenScan(ws, host);
    return true;
}

bool SaveBackgroundCommand(Workspace& ws, Host& host, const std::string& path) {
    return SaveFrameAs(ws, host, WithExtension(path, ".bck"), WriteBackgroundFile, "New Background saved to ");
}

// ---- Transposition ----------------------------------------------------------------

std::string TransposeRefusal(const Workspace& ws) {
    if (!HasFrame(ws)) return NeedFrame;
    // Its columns stand for detector angles; turned, they would stand for none.
    if (ws.MergedFrame) return "A merged frame cannot be rotated";
    return {};
}

void InstallTransposedFrame(Workspace& ws, Host& host, FramePlane<int32_t>&& transposed) {
    const int32_t newWidth = transposed.width(), newHeight = transposed.height();
    MoveGeometryWithPixels(ws, host, 0, 0, true, newWidth, newHeight);
    ws.FramePixels.Intensity = std::move(transposed);
    ws.FramePixels.SetGeometry(nullptr);
    ws.FrameWidth = newWidth;
    ws.FrameHeight = newHeight;
    ws.FrameSize = std::max(newWidth, newHeight);
    Log(ws, host, "Frame rotated 90 deg: " + std::to_string(newWidth) + " x " + std::to_string(newHeight));
    ShowFrameSizeAndMaximum(ws, host);
    try {
        ComputeFrameGeometry(ws, host);
    } catch (const ConversionError& e) {
        host.message(e.what());
    }
}

namespace {
void SetProgress(Workspace& ws, Host& host, int percent) {
    ws.Form20.ProgressBar1 = percent;
    host.changed(View::Progress);
}
} // namespace

bool Rotate90::Execute(Workspace& ws, Host& host) {
    FramePlane<int32_t> frame;
    int32_t width = 0, height = 0;
    host.sync([&] {
        if (const std::string refusal = TransposeRefusal(ws); !refusal.empty()) {
            host.message(refusal);
            return;
        }
        SetProgress(ws, host, 10);
        width = UsedColumns(ws);
        height = UsedRows(ws);
        frame = ws.FramePixels.Intensity;   // the worker's own copy
    });
    if (width == 0 || height == 0) return false;
    FramePlane<int32_t> turned = TransposePlane(frame, width, height);
    frame.clear();
    host.sync([&] { SetProgress(ws, host, 50); });
    bool done = false;
    host.sync([&] {
        InstallTransposedFrame(ws, host, std::move(turned));
        SetProgress(ws, host, 80);
        RedrawFrame(ws, host);
        SetProgress(ws, host, 90);
        N2ThetaScan1Click(ws, host);
        SetProgress(ws, host, 100);
        done = true;
    });
    return done;
}

Rotate90::Rotate90(Workspace& ws, Host& host, std::function<void()> onFinished)
    : ws_(ws), host_(host), onFinished_(std::move(onFinished)) {
    worker_.Start(
        host_, [this] { Execute(ws_, host_); },
        [this](const std::string& reason) { host_.message("The frame was not rotated: " + reason); }, onFinished_);
}

Rotate90::~Rotate90() = default;

} // namespace orv

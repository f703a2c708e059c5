#include "formats/frame_merge.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <numeric>

#include "base/numbers.h"
#include "formats/batch_worker.h"
#include "workspace/frame_display.h"
#include "workspace/geometry.h"
#include "workspace/host.h"
#include "workspace/main_commands.h"
#include "workspace/run_report.h"
#include "workspace/text_files.h"
#include "workspace/workspace.h"

namespace orv {

namespace {

constexpr double RadPerDeg = std::numbers::pi / 180.0;
// The rows left out at the top and bottom of the row-shift sums.
constexpr int32_t RowShiftMargin = 21;

std::string SizeText(const NewFrame& f) {
    return std::to_string(f.FrameWidth) + " x " + std::to_string(f.FrameHeight);
}

// How far from the centre column the middle of the overlap with a frame
// `gap` degrees away lies, in pixels.
double HalfGapPixels(double gap, double k) { return std::tan(gap / 2 * RadPerDeg) * k; }

} // namespace

MergePlan PlanMerge(const std::vector<MergeSource>& sources) {
    MergePlan plan;
    if (sources.empty()) {
        plan.Refusal = "No frame to merge";
        return plan;
    }
    const NewFrame& first = sources.front().Frame;
    for (const MergeSource& s : sources) {
        if (s.Frame.FrameWidth != first.FrameWidth || s.Frame.FrameHeight != first.FrameHeight) {
            plan.Refusal = "Frames of different sizes cannot be merged: " + FileNameOnly(s.Path) + " is " +
                           SizeText(s.Frame) + ", " + FileNameOnly(sources.front().Path) + " is " + SizeText(first);
            return plan;
        }
    }

    std::vector<size_t> order(sources.size());
    std::iota(order.begin(), order.end(), size_t{0});
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        return sources[a].Frame.TwoThetaD > sources[b].Frame.TwoThetaD;
    });

    const NewFrame& last = sources.back().Frame;
    const int32_t w = last.FrameWidth;
    const double k = last.Distance / last.DSize * w;
    const double xo = last.Xo;
    int64_t width = 1;
    for (size_t i = 0; i < order.size(); ++i) {
        const double d = sources[order[i]].Frame.TwoThetaD;
        MergeCut cut;
        cut.Source = order[i];
        cut.Left = 1;
        cut.Right = w;
        if (i > 0) cut.Left = RoundToInt(xo - HalfGapPixels(std::fabs(sources[order[i - 1]].Frame.TwoThetaD - d), k));
        if (i + 1 < order.size())
            cut.Right = RoundToInt(xo + HalfGapPixels(std::fabs(d - sources[order[i + 1]].Frame.TwoThetaD), k));
        if (cut.Left < 1 || cut.Left > w || cut.Right <= 0 || cut.Right > w || cut.Left > cut.Right) {
            plan.Refusal = "Frames do not overlap!";
            plan.Cuts.clear();
            return plan;
        }
        width += cut.Right - cut.Left;
        plan.Cuts.push_back(cut);
    }
    if (width > MaxMergedWidth) {
        plan.Refusal = "The merged frame would be " + std::to_string(width) + " columns wide; at most " +
                       std::to_string(MaxMergedWidth) + " columns can be merged";
        plan.Cuts.clear();
        return plan;
    }
    plan.Width = static_cast<int32_t>(width);
    return plan;
}

int32_t RowShift(const FramePlane<int32_t>& pixels, int32_t height, int32_t column) {
    height = std::min(height, pixels.height());
    if (column < 1 || column + 1 > pixels.width()) return 0;
    const int32_t* a = pixels[column];
    const int32_t* b = pixels[column + 1];
    unsigned __int128 best = 0;
    int32_t shift = 0;
    for (int32_t t = -MaxRowShift; t <= MaxRowShift; ++t) {
        // Products of two 32-bit intensities need 64 bits, their sum more.
        unsigned __int128 sum = 0;
        for (int32_t y = RowShiftMargin; y <= height - RowShiftMargin; ++y) {
            const int32_t u = a[y], v = b[y + t];
            if (u == MaskedIntensity || v == MaskedIntensity) continue;
            const int64_t product = int64_t{u} * v;
            sum += static_cast<uint64_t>(product < 0 ? -product : product);
        }
        if (sum > best) {
            best = sum;
            shift = t;
        }
    }
    return shift;
}

MergeResult StitchFrames(const std::vector<MergeSource>& sources, const MergePlan& plan) {
    MergeResult result;
    if (plan.Cuts.empty()) return result;
    const NewFrame& last = sources[plan.Cuts.back().Source].Frame;
    const int32_t height = last.FrameHeight;
    NewFrame& merged = result.Frame;
    AllocateFrame(merged, plan.Width, height);
    result.Table.assign(static_cast<size_t>(plan.Width) + 1, MergeColumn{});

    int32_t offset = 0;
    for (const MergeCut& cut : plan.Cuts) {
        const NewFrame& part = sources[cut.Source].Frame;
        for (int32_t c = cut.Left; c <= cut.Right; ++c) {
            const int32_t* from = part.Intensity[c];
            std::copy(from + 1, from + height + 1, merged.Intensity[offset + c - cut.Left + 1] + 1);
        }
        // The previous frame's last column of its own against this frame's first.
        if (offset >= 2) result.RowShifts.push_back(RowShift(merged.Intensity, height, offset));
        for (int32_t a = 1; a <= cut.Right - cut.Left; ++a)
            result.Table[static_cast<size_t>(offset + a)] = MergeColumn{part.TwoThetaD, cut.Left + a - 1};
        offset += cut.Right - cut.Left;
    }
    // The last column belongs to the last frame too.
    result.Table[static_cast<size_t>(plan.Width)] = MergeColumn{last.TwoThetaD, plan.Cuts.back().Right};

    // The geometry is that of the last frame laid down; the pixel scale stays
    // that of one frame.
    merged.FrameSize = last.FrameSize;
    merged.Landa = last.Landa;
    merged.TwoThetaD = last.TwoThetaD;
    merged.Distance = last.Distance;
    merged.DSize = last.DSize;
    merged.Xo = last.Xo;
    merged.Yo = last.Yo;
    merged.PixelAspect = last.PixelAspect;
    merged.ReaderName = "merge";
    merged.MaxIntensity = DisplayMaximum(merged);
    return result;
}

bool MergeFrames(Workspace& ws, Host& host, std::vector<MergeSource> sources) {
    if (sources.empty()) return false;
    const MergePlan plan = PlanMerge(sources);
    if (!plan.Refusal.empty()) {
        host.message(plan.Refusal);
        return false;
    }
    MergeResult merged;
    try {
        merged = StitchFrames(sources, plan);
    } catch (const FrameReadError& e) {
        host.message(std::string("The frames cannot be merged: ") + e.what());
        return false;
    }

    std::vector<std::string> paths;
    for (const MergeSource& s : sources) paths.push_back(s.Path);
    sources.clear();   // their memory goes before the geometry needs its own

    InstallFrame(ws, std::move(merged.Frame));
    ws.MergedFrame = 1;
    ws.MergeColumnTable = std::move(merged.Table);
    for (int32_t shift : merged.RowShifts) ws.Form20.EScript = std::to_string(shift) + " " + ws.Form20.EScript;
    // A merge with nothing opened before lists its files, so that the
    // merged frame counts as loaded.
    if (!ws.SomethingOpened()) {
        OpenFiles(ws, paths);
        host.changed(View::FileList);
    }
    ws.CurrentFile = paths.front();
    ws.Form1.Caption = FileNameOnly(ws.CurrentFile);
    ws.FrameTools.SectorClicks = 0;
    host.changed(View::Settings);
    host.changed(View::FrameInfo);
    try {
        if (!ComputeFrameGeometry(ws, host)) {
            RedrawFrame(ws, host);
            return true;
        }
    } catch (const ConversionError& e) {
        host.message(e.what());
        RedrawFrame(ws, host);
        return true;
    }
    RedrawSectorThenScan(ws, host);
    return true;
}

bool MergeFrameFiles(Workspace& ws, Host& host, const std::vector<std::string>& files) {
    if (files.empty()) return false;
    if (files.size() > MaxMergeFrames) {
        host.message("At most " + std::to_string(MaxMergeFrames) + " frames can be merged at once; " +
                     std::to_string(files.size()) + " were chosen");
        return false;
    }
    if (ws.FrameJobRunning) {
        host.message("A frame is still being loaded or changed; the merge was not started");
        return false;
    }
    std::vector<MergeSource> sources;
    std::vector<std::string> skipped;
    for (const std::string& path : files) {
        if (const std::string problem = FileProblem(path); !problem.empty()) {
            skipped.push_back(path + " could not be read: " + problem + "; not merged");
            continue;
        }
        ChainResult chain = RunReaderChain(ws, host, ReaderChain::Merge, path);
        if (chain.Read) {
            sources.push_back(MergeSource{path, std::move(chain.Frame)});
        } else if (chain.Error.empty() || chain.Error == "no reader recognises " + path) {
            skipped.push_back(path + " is not a frame the merge reads; not merged");
        } else {
            skipped.push_back(path + " could not be read: " + chain.Error + "; not merged");
        }
    }
    if (!skipped.empty()) {
        std::string text;
        for (const std::string& line : skipped) {
            ws.LLog.Append(line);
            text += (text.empty() ? "" : "\n") + line;
        }
        host.changed(View::Logbook);
        host.message(text);
    }
    return MergeFrames(ws, host, std::move(sources));
}

bool Merge1Click(Workspace& ws, Host& host) {
    return MergeFrameFiles(ws, host, host.askOpenFileNames("All files (*.*)|*.*", true));
}

} // namespace orv

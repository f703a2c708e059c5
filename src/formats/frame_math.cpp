#include "formats/frame_math.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <stdexcept>

#include "base/numbers.h"
#include "base/parallel.h"
#include "formats/binary_io.h"
#include "formats/reader.h"
#include "workspace/frame_display.h"
#include "workspace/frame_edits.h"
#include "workspace/geometry.h"
#include "workspace/host.h"
#include "workspace/sector_scan.h"
#include "workspace/workspace.h"

namespace orv {

namespace {

template <typename Combine>
void CombineColumns(FramePlane<int32_t>& result, const FramePlane<int32_t>& other, int32_t width, int32_t height,
                    const Combine& combine) {
    ParallelFor(1, width, ParallelWorkerCount(int64_t{width} * height, int64_t{1} << 16),
                [&](unsigned, int32_t lo, int32_t hi) {
                    for (int32_t x = lo; x <= hi; ++x) {
                        int32_t* a = result[x];
                        const int32_t* b = other[x];
                        for (int32_t y = 1; y <= height; ++y) a[y] = combine(a[y], b[y]);
                    }
                });
}

// A pixel masked in either frame is masked in the result, and only such a pixel.
template <typename Op>
auto Masked(const Op& op) {
    return [op](int32_t a, int32_t b) {
        if (a == MaskedIntensity || b == MaskedIntensity) return MaskedIntensity;
        return UnmaskedResult(SaturateToInt32(op(int64_t{a}, int64_t{b})));
    };
}

void SetProgress(Workspace& ws, Host& host, int percent) {
    ws.Form20.ProgressBar1 = percent;
    host.changed(View::Progress);
}

} // namespace

void CombineFrames(FramePlane<int32_t>& result, const FramePlane<int32_t>& other, int32_t width, int32_t height,
                   FrameOperation op) {
    if (width < 0 || height < 0 || width > result.width() || height > result.height() || width > other.width() ||
        height > other.height())
        throw std::invalid_argument("frames smaller than the area combined");
    switch (op) {
    case FrameOperation::Add: CombineColumns(result, other, width, height, Masked(std::plus<int64_t>())); break;
    case FrameOperation::Subtract: CombineColumns(result, other, width, height, Masked(std::minus<int64_t>())); break;
    case FrameOperation::Multiply:
        CombineColumns(result, other, width, height, Masked(std::multiplies<int64_t>()));
        break;
    case FrameOperation::Divide:
        CombineColumns(result, other, width, height, [](int32_t a, int32_t b) {
            return a == MaskedIntensity || b <= 0 ? a : UnmaskedResult(a / b);
        });
        break;
    }
}

std::string FrameMathRefusal(const Workspace& ws) {
    if (ws.FrameSize == 0 || !ws.FrameIsLoaded() || UsedColumns(ws) == 0 || UsedRows(ws) == 0)
        return "Need a file to add first!";
    return {};
}

const char* FrameMathStepText(FrameOperation op) {
    switch (op) {
    case FrameOperation::Add: return " frame added";
    case FrameOperation::Subtract: return " frame substracted";
    case FrameOperation::Multiply: return " data multiplied by this frame";
    case FrameOperation::Divide: return " data divided by this frame";
    }
    return "";
}

FrameMathRun TMathThread::Execute(Workspace& ws, Host& host, FrameOperation op, const std::vector<std::string>& files) {
    FrameMathRun run;
    const int count = static_cast<int>(files.size());
    if (count == 0) return run;
    ws.BatchRunning = 1;

    // The running result starts as a copy of the frame on screen.
    FramePlane<int32_t> result;
    int32_t width = 0, height = 0;
    double twoTheta = 0;
    host.sync([&] {
        if (const std::string refusal = FrameMathRefusal(ws); !refusal.empty()) {
            host.message(refusal);
            return;
        }
        SetProgress(ws, host, 0);
        width = UsedColumns(ws);
        height = UsedRows(ws);
        result = CropPlane(ws.FramePixels.Intensity, 1, width, 1, height);
        twoTheta = ws.TwoThetaD;
    });
    if (width == 0 || height == 0) return run;

    NewFrame last;   // the last file read, without its pixels
    int k = 0;
    for (; k < count; ++k) {
        if (ws.BatchRunning == 0) {
            ws.BatchRunning = 1;
            break;
        }
        const std::string& file = files[static_cast<size_t>(k)];
        ChainResult read = RunReaderChain(ws, host, ReaderChain::Arithmetic, file);
        if (!read.Read) {
            std::string text = "Can not open this file format\n" + file;
            if (!read.Error.empty() && read.Error.find(file) == std::string::npos) text += ": " + read.Error;
            host.sync([&] { host.message(text); });
            break;
        }
        NewFrame& frame = read.Frame;
        if (std::fabs(twoTheta - frame.TwoThetaD) > 0.05)
            host.sync([&] { host.message("WARNING: You are adding frames collected diferent 2Theta angles"); });
        if (frame.FrameWidth != width || frame.FrameHeight != height || !frame.Intensity.contains(width, height)) {
            const std::string text = "Can not add frames of different sizes!\n" + file + " is " +
                                     std::to_string(frame.FrameWidth) + " x " + std::to_string(frame.FrameHeight) +
                                     ", the frame " + std::to_string(width) + " x " + std::to_string(height);
            host.sync([&] { host.message(text); });
            break;
        }
        CombineFrames(result, frame.Intensity, width, height, op);
        twoTheta = frame.TwoThetaD;
        frame.Intensity.clear();
        last = std::move(frame);
        ++run.Combined;
        host.sync([&] {
            SetProgress(ws, host, count == 1 ? 50 : RoundToInt((k + 0.5) * 100.0 / count));
            ws.LLog.Append(file + FrameMathStepText(op));
            host.changed(View::Logbook);
        });
    }
    run.Completed = run.Combined == count;
    if (run.Combined == 0) return run;

    host.sync([&] {
        last.Intensity = std::move(result);
        last.FrameWidth = width;
        last.FrameHeight = height;
        InstallFrame(ws, std::move(last));
        if (!run.Completed)
            ws.LLog.Append("Frame arithmetic ended after " + std::to_string(run.Combined) + " of " +
                           std::to_string(count) + " files");
        try {
            ComputeFrameGeometry(ws, host);
        } catch (const ConversionError& e) {
            host.message(e.what());
        }
        ws.MaxIntensity = LargestIntensity(ws.FramePixels.Intensity, UsedColumns(ws), UsedRows(ws), -10);
        ws.Form23.Panel2 = std::to_string(ws.FrameWidth) + " x " + std::to_string(ws.FrameHeight) +
                           " Max = " + std::to_string(ws.MaxIntensity);
        host.changed(View::FrameInfo);
        host.changed(View::Logbook);
        RedrawFrame(ws, host);
        UpdateProfileExtrema(ws);
        N2ThetaScan1Click(ws, host);
        SetProgress(ws, host, count == 1 ? 100 : RoundToInt(run.Combined * 100.0 / count));
    });
    return run;
}

TMathThread::TMathThread(Workspace& ws, Host& host, FrameOperation op, std::vector<std::string> files,
                         std::function<void()> onFinished)
    : ws_(ws), host_(host), op_(op), files_(std::move(files)), onFinished_(std::move(onFinished)) {
    ws_.BatchRunning = 1;
    worker_.Start(
        host_, [this] { Execute(ws_, host_, op_, files_); },
        [this](const std::string& reason) { host_.message("Frame arithmetic stopped: " + reason); }, onFinished_);
}

TMathThread::~TMathThread() = default;

} // namespace orv

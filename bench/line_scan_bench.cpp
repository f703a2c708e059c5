// The line-scan calibrations on strips rendered by pyFAI from a known
// geometry (rendered_frames.h): the line scan through the centre, the
// standard's sticks dropped 2 or 3 pixels off their rings and snapped
// ("Fit Std"), then the straight-line fits of "Distance", "Size", "xo" and
// "Angle" with the other settings as rendered. The counters are the errors.

#include <benchmark/benchmark.h>

#include <cmath>
#include <numbers>
#include <string>

#include "base/numbers.h"
#include "rendered_frames.h"
#include "scans/line_scan_tool.h"
#include "scans/mineral_list.h"
#include "scans/standard_overlay.h"
#include "workspace/host.h"
#include "workspace/sector_reductions.h"
#include "workspace/workspace.h"

using namespace orv;

namespace {

double TwoThetaOf(double d, double landa) { return 2 * std::asin(landa / (2 * d)) * 180 / std::numbers::pi; }

// Where the pixels' 2-theta along the line cross `t`, beyond the pixel
// nearest the beam (interpolated linearly); NaN when they do not.
double Crossing(const Workspace& ws, bool alongX, int index, double t) {
    const int n = alongX ? ws.FrameWidth : ws.FrameHeight;
    auto angle = [&](int k) -> double {
        return alongX ? ws.FramePixels.TwoTheta[k][index] : ws.FramePixels.TwoTheta[index][k];
    };
    int nearest = 1;
    for (int k = 2; k <= n; ++k)
        if (angle(k) < angle(nearest)) nearest = k;
    for (int k = std::max(nearest, 1); k < n; ++k) {
        const double a = angle(k) - t, b = angle(k + 1) - t;
        if ((a <= 0) != (b <= 0)) return k + a / (a - b);
    }
    return std::nan("");
}

void LineScanAccuracy(benchmark::State& state, const std::string& prefix) {
    const bench::Rendered* r = bench::FindRendered(prefix);
    if (!r) {
        state.SkipWithError("no such frame");
        return;
    }
    Workspace ws;
    RecordingHost host;
    bench::LoadRendered(ws, host, *r);
    const bool alongX = r->Width > r->Height;
    ws.Form32.EXoM = FormatNumber(r->Xo);
    ws.Form32.EYoM = FormatNumber(r->Yo);
    const std::vector<double> d = bench::RenderedRings(*r);
    MineralRecord& pattern = ws.MineralTable[1];
    pattern.Name = "standard";
    pattern.LineCount = static_cast<int32_t>(std::min<size_t>(d.size(), MaxMineralLines));
    for (int32_t k = 0; k < pattern.LineCount; ++k) pattern.Line[static_cast<size_t>(k)] = {"", d[static_cast<size_t>(k)], 100};
    ws.MineralCount = 1;
    ShowAllMinerals(ws);
    SelectMineralRow(ws, 0);
    ws.Form34.Visible = true;

    LineScanFit fit, angle;
    int sticks = 0;
    for (auto _ : state) {
        if (!LineScanCommand(ws, host, alongX, std::string("1")).Made) {
            state.SkipWithError("no line scan");
            return;
        }
        ws.StandardLinePixels[0] = 1;
        sticks = 0;
        for (int32_t k = 1; k <= pattern.LineCount; ++k) {
            const double c = Crossing(ws, alongX, ws.LineScanIndex, TwoThetaOf(d[static_cast<size_t>(k - 1)], r->Landa));
            ws.StandardLinePixels[static_cast<size_t>(k)] = std::isnan(c) ? NoStandardLinePixel : c + (k % 2 ? 3 : -2);
            sticks += !std::isnan(c);
        }
        SnapStandardLines(ws);
        fit = LineScanCalibrationFit(ws, 1);
        angle = DetectorAngleFit(ws, 1);
    }
    if (!fit.Ok) {
        state.SkipWithError(fit.Reason.c_str());
        return;
    }
    const int32_t n = std::max(r->Width, r->Height);
    state.counters["lines"] = sticks;
    state.counters["centre_px"] = fit.Intercept - (alongX ? r->Xo : r->Yo);
    state.counters["distance_pct"] = 100 * (r->DSize * std::abs(fit.Slope) / n / r->Distance - 1);
    state.counters["size_pct"] = 100 * (n * r->Distance / std::abs(fit.Slope) / r->DSize - 1);
    if (r->TwoThetaD != 0 && angle.Ok)
        state.counters["angle_deg"] = (angle.Slope > 0 ? -angle.Intercept : angle.Intercept) - r->TwoThetaD;
}

void RegisterLineScans() {
    for (const char* frame : {"line_flat_1", "line_flat_2", "line_htilt", "line_column", "line_vtilt", "line_flat_noisy"})
        benchmark::RegisterBenchmark(("LineScanAccuracy/" + std::string(frame)).c_str(),
                                     [=](benchmark::State& s) { LineScanAccuracy(s, frame); })
            ->Unit(benchmark::kMillisecond);
}

const int Registered = (RegisterLineScans(), 0);

} // namespace

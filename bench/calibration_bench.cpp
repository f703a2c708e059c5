// The detector-geometry calibration on a large frame: collecting the ring
// points, the search, and the whole "Start". How exactly the fit recovers a
// geometry, beside pyFAI, is measured by bench/calibration_accuracy.py.

#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <numbers>
#include <random>

#include "base/numbers.h"
#include "base/parallel.h"
#include "scans/calibration_fit.h"
#include "scans/mineral_database.h"
#include "scans/mineral_list.h"
#include "workspace/geometry.h"
#include "workspace/host.h"
#include "workspace/sector_scan.h"
#include "workspace/workspace.h"

namespace {

using namespace orv;

// A 2048 x 2048 flat detector 0.1 mm pixels, 200 mm from the sample, swung
// by 10 degrees, with the LaB6 rings of the shipped pattern (Mo K-alpha)
// over a background with counting noise; the geometry in force is 3 per cent
// too far and 5 pixels off, LaB6 selected, the fit boxes as FITTOSTD sets
// them for Xo, Yo, the angle and the distance.
std::unique_ptr<Workspace> MakeCalibrationFrame(Host& host) {
    auto ws = std::make_unique<Workspace>();
    const int32_t size = 2048;
    ws->FramePixels.Intensity.assign(size, size, 0);
    ws->FrameWidth = ws->FrameHeight = ws->FrameSize = size;
    ws->LastFileIndex = 0;
    ws->Landa = 0.7093;
    ws->Xo = 700;
    ws->Yo = 1024;
    ws->Distance = 200;
    ws->DSize = 204.8;
    ws->TwoThetaD = 10;
    ComputeFrameGeometry(*ws, host);

    const MineralFile file = ParseMineralFile(ShippedMineralBytes());
    for (size_t i = 0; i < file.Records.size(); ++i) ws->MineralTable[i + 1] = file.Records[i];
    ws->MineralCount = static_cast<int32_t>(file.Records.size());
    ShowAllMinerals(*ws);
    for (int row = 0; row < ws->VisibleMineralCount; ++row)
        if (ws->MineralTable[static_cast<size_t>(ws->VisibleMinerals[static_cast<size_t>(row)])].Formula == "LaB6")
            SelectMineralRow(*ws, row);
    const MineralRecord& lab6 = ws->MineralTable[static_cast<size_t>(SelectedStandard(*ws))];
    std::vector<std::pair<double, double>> rings;
    for (int32_t k = 0; k < lab6.LineCount; ++k) {
        double t = 0;
        if (MineralLineTwoTheta(ws->Landa, lab6.Line[static_cast<size_t>(k)].D, 0.5, t))
            rings.emplace_back(t, lab6.Line[static_cast<size_t>(k)].Intensity);
    }
    std::mt19937 noise(3);
    for (int32_t i = 1; i <= size; ++i)
        for (int32_t j = 1; j <= size; ++j) {
            const double t = ws->FramePixels.TwoTheta[i][j];
            double counts = 50;
            for (const auto& [centre, height] : rings) {
                const double x = (t - centre) / 0.03;
                if (std::abs(x) < 8) counts += 20 * height * std::exp(-x * x / 2);
            }
            ws->FramePixels.Intensity[i][j] =
                static_cast<int32_t>(counts + (double(noise()) / 4294967296.0 - 0.5) * 3.4 * std::sqrt(counts));
        }
    ws->Distance *= 1.03;
    ws->Xo += 5;
    ws->Yo -= 5;
    ComputeFrameGeometry(*ws, host);
    N2ThetaScan1Click(*ws, host);
    OpenFitTool(*ws, host);
    TForm41Fit& f = ws->Form41Fit;
    f.CBXo = f.CBYo = f.CB2theta = f.CBdistance = f.CBPK = f.cbbck = true;
    return ws;
}

Workspace& SharedFrame() {
    static RecordingHost host;
    static std::unique_ptr<Workspace> ws = MakeCalibrationFrame(host);
    return *ws;
}

// Argument: threads (0 = all cores).
void BM_CollectRingPoints(benchmark::State& state) {
    Workspace& ws = SharedFrame();
    ScopedParallelThreadLimit limit(static_cast<unsigned>(state.range(0)));
    RecordingHost host;
    CalibrationSetup setup = *PrepareCalibration(ws, host).Setup;
    for (auto _ : state) {
        CollectRingPoints(ws.FramePixels, setup.Detector, ws.FrameWidth, ws.FrameHeight, ws.SectorTwoTheta1, ws.SectorTwoTheta2,
                          ParseNumber(ws.Form41Fit.EBackground), ParseNumber(ws.Form41Fit.EPeakwidth), setup.Rings);
        benchmark::DoNotOptimize(setup.Rings.data());
    }
    state.counters["points"] = setup.PointCount();
    state.counters["threads"] = ParallelThreadCount();
}
BENCHMARK(BM_CollectRingPoints)->ArgName("threads")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// The five passes over Xo, the angle and the distance (Yo from the circles):
// 15 x 15 x 15 trials a pass, the first pass run again while its best lies
// on the grid's edge; then the least squares over Xo, Yo, the angle and the
// distance. Argument: threads (0 = all cores).
void BM_FitDetectorGeometry(benchmark::State& state) {
    Workspace& ws = SharedFrame();
    ScopedParallelThreadLimit limit(static_cast<unsigned>(state.range(0)));
    RecordingHost host;
    const CalibrationSetup setup = *PrepareCalibration(ws, host).Setup;
    int64_t trials = 0;
    for (auto _ : state) trials = FitDetectorGeometry(setup).Trials;
    state.counters["points"] = setup.PointCount();
    state.counters["trials"] = double(trials);
    state.counters["point evaluations"] = double(trials) * setup.PointCount();
    state.counters["threads"] = ParallelThreadCount();
}
BENCHMARK(BM_FitDetectorGeometry)->ArgName("threads")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// "Start" as FITTOSTD runs it: the Auto boxes, the rings and their points,
// the search and the report.
void BM_StartCalibration(benchmark::State& state) {
    Workspace& ws = SharedFrame();
    RecordingHost host;
    const TForm41Fit boxes = ws.Form41Fit;
    for (auto _ : state) {
        ws.Form41Fit = boxes;
        benchmark::DoNotOptimize(StartCalibration(ws, host));
    }
    // Where one Start lands (true: 200 mm, Xo 700, Yo 1024, 10 degrees).
    state.counters["distance mm"] = ParseNumber(ws.Form41Fit.EDistancemm);
    state.counters["Xo"] = ParseNumber(ws.Form41Fit.EXo);
    state.counters["Yo"] = ParseNumber(ws.Form41Fit.EYo);
    state.counters["angle"] = ParseNumber(ws.Form41Fit.E2theta);
    state.counters["threads"] = ParallelThreadCount();
}
BENCHMARK(BM_StartCalibration)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

// The pole-figure generator on a series of 72 frames of 1024 x 1024 pixels
// (16-bit TIFF, a whole turn in steps of 5 degrees of phi): a textured ring
// at 2-theta 10..20 degrees over a weak background with counting noise, on
// a flat untilted detector 1024 pixels from the sample, the beam at the
// middle. The frames are written once into ORV_POLE_FRAMES when that names
// a folder (bench/pole_series_peer.py reads the same ones), else into a
// temporary folder removed at the end.

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <unistd.h>

#include "../tools/format_fixture_writers.h"
#include "formats/reader.h"
#include "polefig/pole_worker.h"
#include "workspace/geometry.h"
#include "workspace/host.h"
#include "workspace/text_files.h"
#include "workspace/workspace.h"

using namespace orv;

namespace {

namespace fs = std::filesystem;

constexpr int Side = 1024;
constexpr int Frames = 72;
constexpr double Beam = 512.5, Distance = 1024;   // pixels
constexpr double Deg = 3.14159265358979323846 / 180;

std::string FrameName(int m) {
    char name[32];
    std::snprintf(name, sizeof name, "pole.%03d", m);
    return name;
}

// A fibre texture turned by the frame's phi: poles at tilt 0 and 55 degrees.
double Texture(double tilt, double phi) {
    const double a = std::exp(-tilt * tilt / 200);
    const double b = std::exp(-std::pow(tilt - 55, 2) / 150) * (1 + 0.8 * std::cos(3 * (phi + tilt) * Deg));
    return 0.1 + a + b;
}

void WriteSeries(const fs::path& folder) {
    std::mt19937 random(7);
    std::normal_distribution<double> unit;
    // The angles of every pixel, once.
    std::vector<float> twoTheta(static_cast<size_t>(Side) * Side), psi(twoTheta.size());
    for (int r = 0; r < Side; ++r)
        for (int c = 0; c < Side; ++c) {
            const double dx = c + 1 - Beam, up = Beam - (r + 1);
            const size_t k = static_cast<size_t>(r) * Side + static_cast<size_t>(c);
            twoTheta[k] = static_cast<float>(std::atan(std::hypot(dx, up) / Distance) / Deg);
            double p = std::atan2(up, dx) / Deg;
            psi[k] = static_cast<float>(p < 0 ? p + 360 : p);
        }
    for (int m = 0; m < Frames; ++m) {
        fixtures::Image img{Side, Side, std::vector<int64_t>(twoTheta.size())};
        for (size_t k = 0; k < twoTheta.size(); ++k) {
            double v = 20;
            if (twoTheta[k] > 10 && twoTheta[k] < 20) v += 800 * Texture(std::fmod(psi[k] + 360 - 144.7, 360), 5.0 * m);
            img.Values[k] = std::max<int64_t>(0, std::lround(v + std::sqrt(v) * unit(random)));
        }
        WriteFileAtomically((folder / FrameName(m)).string(), fixtures::WriteTiff(img, 16, 1, Side));
    }
}

struct Series {
    fs::path Folder;
    bool Temporary = false;
    ~Series() {
        std::error_code ec;
        if (Temporary) fs::remove_all(Folder, ec);
    }
};

const Series& TheSeries() {
    static Series series = [] {
        Series s;
        if (const char* folder = std::getenv("ORV_POLE_FRAMES")) {
            s.Folder = folder;
            fs::create_directories(s.Folder);
        } else {
            s.Folder = fs::temp_directory_path() / ("orv_pole_bench_" + std::to_string(::getpid()));
            fs::create_directories(s.Folder);
            s.Temporary = true;
        }
        if (!fs::exists(s.Folder / FrameName(Frames - 1))) WriteSeries(s.Folder);
        return s;
    }();
    return series;
}

// The generator's boxes for the series; the detector from the settings.
void SetUp(Workspace& ws) {
    ws.Form32.EXoM = ws.Form32.EYoM = "512.5";
    ws.Form32.EDistance = ws.Form32.EDSize = "100";   // 1024 pixels span 100 mm
    ws.Form16.Edit1 = TheSeries().Folder.string() + "/";
    ws.Form16.Memo1.clear();
    for (int m = 0; m < Frames; ++m) ws.Form16.Memo1.push_back(FrameName(m));
    ws.Form16.Edit2 = std::to_string(Frames);
    ws.Form16.Edit3 = "10";
    ws.Form16.edit4 = "20";
    ws.Form16.Edit6 = "20";
    ws.Form16.Edit7 = "22";
    ws.Form16.edit5 = "bench";
    ws.Form16.CheckBox2 = false;
}

// The whole run: 72 frames into a slice file; `Apply` (range 1) also sums
// and subtracts the background window.
void PoleSeries72(benchmark::State& state) {
    Workspace ws;
    RecordingHost host;
    SetUp(ws);
    ws.Form16.CheckBox1 = state.range(0) != 0;
    const std::string output = PoleOutputPath(ws.Form16);
    for (auto _ : state) {
        std::remove(output.c_str());
        const PoleRunResult run = TPoleThread::Execute(ws, host);
        if (run.LinesWritten != Frames) state.SkipWithError("not every frame was written");
    }
    std::remove(output.c_str());
    state.counters["frames_per_second"] =
        benchmark::Counter(static_cast<double>(Frames) * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(PoleSeries72)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// The floor of a run: reading the 72 frames through the pole chain alone,
// each frame's memory serving the next as in the run.
void PoleSeriesReadOnly(benchmark::State& state) {
    Workspace ws;
    RecordingHost host;
    SetUp(ws);
    BeginFrameRecycling();
    for (auto _ : state)
        for (int m = 0; m < Frames; ++m) {
            ChainResult r = RunReaderChain(ws, host, ReaderChain::Pole, ws.Form16.Edit1 + FrameName(m));
            benchmark::DoNotOptimize(r.Read);
            RecycleFramePixels(std::move(r.Frame.Intensity));
        }
    ReleaseRecycledFramePixels();
    state.counters["frames_per_second"] =
        benchmark::Counter(static_cast<double>(Frames) * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(PoleSeriesReadOnly)->Unit(benchmark::kMillisecond)->UseRealTime();

// One frame read and mapped, for the per-frame steps.
Workspace& MappedFrame() {
    static std::unique_ptr<Workspace> ws;
    if (ws) return *ws;
    ws = std::make_unique<Workspace>();
    RecordingHost host;
    SetUp(*ws);
    ChainResult r = RunReaderChain(*ws, host, ReaderChain::Pole, ws->Form16.Edit1 + FrameName(0));
    InstallFrame(*ws, std::move(r.Frame));
    ComputeFrameGeometry(*ws, host);
    return *ws;
}

// A frame's slices: the reflection window, with "Apply" (range 1) the
// background window too.
void PoleFrameSlices1024(benchmark::State& state) {
    Workspace& ws = MappedFrame();
    PoleWindows w;
    w.Reflection1 = 10;
    w.Reflection2 = 20;
    w.Background1 = 20;
    w.Background2 = 22;
    w.Subtract = state.range(0) != 0;
    for (auto _ : state) benchmark::DoNotOptimize(IntegratePoleSlices(ws.FramePixels, Side, Side, w, {}));
}
BENCHMARK(PoleFrameSlices1024)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// What reusing the series' geometry saves each frame: the mapping of a
// frame worked out afresh (range 0) against the cached one (range 1); both
// bin the frame's 2-theta profile.
void PoleFrameGeometry1024(benchmark::State& state) {
    Workspace& ws = MappedFrame();
    RecordingHost host;
    for (auto _ : state) {
        if (state.range(0) == 0) ws.GeometryCache.Clear();
        ComputeFrameGeometry(ws, host);
    }
}
BENCHMARK(PoleFrameGeometry1024)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

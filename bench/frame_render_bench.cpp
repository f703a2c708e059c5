// Frame display: rendering a frame through the palette into the 1024-wide
// frame picture, the angular-sector outline over it, and both together (the
// redraw that follows nearly every command).

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <memory>

#include "workspace/frame_display.h"
#include "workspace/host.h"
#include "base/parallel.h"
#include "workspace/sector_overlay.h"
#include "workspace/workspace.h"

namespace {

// The planes of one pixel, for setting up frames by hand.
struct FramePixelRef {
    int32_t& Intensity;
    float& TwoTheta;
    float& Psi;
};

using namespace orv;

// A square flat frame with rings, 2-theta and psi filled in.
std::unique_ptr<Workspace> MakeBenchFrame(int32_t size) {
    auto ws = std::make_unique<Workspace>();
    ws->FramePixels.Blank(size, size);
    ws->FrameWidth = ws->FrameHeight = ws->FrameSize = size;
    ws->LastFileIndex = 0;
    ws->DisplayWidth = 1024;
    ws->MaxIntensity = 20000;
    ws->Brightness = 600;
    const double c = size / 2.0 + 0.5, d = size * 1.0;
    constexpr double Deg = 180.0 / 3.14159265358979323846;
    float largest = 0;
    for (int32_t i = 1; i <= size; ++i) {
        for (int32_t j = 1; j <= size; ++j) {
            FrameGeometry& g = ws->FramePixels.OwnGeometry();
            FramePixelRef p{ws->FramePixels.Intensity[i][j], g.TwoTheta[i][j], g.Psi[i][j]};
            const double dx = i - c, up = c - j, r = std::hypot(dx, up);
            p.TwoTheta = static_cast<float>(std::atan(r / d) * Deg);
            double psi = std::atan2(up, dx) * Deg;
            p.Psi = static_cast<float>(psi < 0 ? psi + 360 : psi);
            p.Intensity = static_cast<int32_t>(1000 + 19000 * std::pow(std::cos(r * 0.05), 8)) - (i % 97 == 0);
            largest = std::max(largest, p.TwoTheta);
        }
    }
    ws->MinTwoTheta = 0;
    ws->MaxTwoTheta = largest;
    ws->TwoThetaStep = 0.02f;
    ws->ScanPoints = static_cast<int32_t>(largest / 0.02f) + 1;
    for (int32_t k = 0; k <= ws->ScanPoints; ++k) ws->FrameProfileCopy[k].TwoTheta = k * 0.02f;
    ws->SectorTwoTheta1 = 10;
    ws->SectorTwoTheta2 = 30;
    ws->SectorPsi1 = 300;
    ws->SectorPsi2 = 60;
    return ws;
}

Workspace& Frame(int32_t size) {
    static std::unique_ptr<Workspace> frames[2];
    auto& slot = frames[size > 2048 ? 1 : 0];
    if (!slot || slot->FrameWidth != size) slot = MakeBenchFrame(size);
    return *slot;
}

void BM_RenderFrame(benchmark::State& state) {
    Workspace& ws = Frame(static_cast<int32_t>(state.range(0)));
    const ScopedParallelThreadLimit threads(static_cast<unsigned>(state.range(1)));
    for (auto _ : state) {
        RenderFrame(ws);
        benchmark::DoNotOptimize(ws.Form1.Image1.Pixels.data());
    }
}

void BM_DrawAngularSector(benchmark::State& state) {
    Workspace& ws = Frame(static_cast<int32_t>(state.range(0)));
    const ScopedParallelThreadLimit threads(static_cast<unsigned>(state.range(1)));
    RenderFrame(ws);
    for (auto _ : state) {
        DrawAngularSector(ws, ws.SectorTwoTheta1, ws.SectorPsi1, ws.SectorTwoTheta2, ws.SectorPsi2);
        benchmark::DoNotOptimize(ws.Form1.Image1.Pixels.data());
    }
}

void BM_RedrawFrameWithSector(benchmark::State& state) {
    Workspace& ws = Frame(static_cast<int32_t>(state.range(0)));
    const ScopedParallelThreadLimit threads(static_cast<unsigned>(state.range(1)));
    RecordingHost host;
    for (auto _ : state) {
        RedrawFramePicture(ws, host);
        benchmark::DoNotOptimize(ws.Form1.Image2.Pixels.data());
    }
}

// Arguments: frame size, threads (0 = all cores, 1 = serial).
#define FRAME_SIZES ->Args({2048, 0})->Args({4096, 0})->Args({2048, 1})->Args({4096, 1})->Unit(benchmark::kMillisecond)->UseRealTime()
BENCHMARK(BM_RenderFrame) FRAME_SIZES;
BENCHMARK(BM_DrawAngularSector) FRAME_SIZES;
BENCHMARK(BM_RedrawFrameWithSector) FRAME_SIZES;

} // namespace

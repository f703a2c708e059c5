// Sector scans on large frames, against a plain pass over the same pixels.
// The scans read every pixel's 24 bytes once; the plain pass reads them and
// does nothing else, so it is the memory-bound floor of any scan.

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <numbers>

#include "formats/batch_worker.h"
#include "workspace/host.h"
#include "workspace/sector_scan.h"
#include "workspace/workspace.h"

using namespace orv;

namespace {

class QuietHost : public Host {
public:
    void message(const std::string&) override {}
    bool confirm(const std::string&) override { return true; }
    void sync(const std::function<void()>& step) override { step(); }
    void changed(View) override {}
};

// A flat, untilted frame of n x n pixels with the beam in its middle and
// the detector n pixels from the sample; angles as the geometry step
// stores them (computed in double, kept in single precision).
// The planes of one pixel, for setting up frames by hand.
struct FramePixelRef {
    int32_t& Intensity;
    float& TwoTheta;
    float& Psi;
};

Workspace& Frame(int n) {
    static std::map<int, std::unique_ptr<Workspace>> frames;
    auto& slot = frames[n];
    if (slot) return *slot;
    slot = std::make_unique<Workspace>();
    Workspace& ws = *slot;
    ws.FramePixels.Blank(n, n);
    ws.FrameWidth = ws.FrameHeight = ws.FrameSize = n;
    ws.LastFileIndex = 0;
    ws.CurrentFile = "bench.orv";
    const double xo = n / 2.0 + 0.5, yo = n / 2.0 + 0.5, d = n;
    float maxTwoTheta = 0;
    for (int i = 1; i <= n; ++i)
        for (int j = 1; j <= n; ++j) {
            const double x = xo - i, y = d, z = j - yo;
            const double r = std::sqrt(x * x + y * y + z * z);
            FrameGeometry& g = ws.FramePixels.OwnGeometry();
            FramePixelRef p{ws.FramePixels.Intensity[i][j], g.TwoTheta[i][j], g.Psi[i][j]};
            p.TwoTheta = static_cast<float>(std::acos(y / r) * 180 / std::numbers::pi);
            double psi = z != 0 ? std::atan2(-x, z) * 180 / std::numbers::pi + 180 : (x > 0 ? 180 : 0);
            if (z != 0) psi = psi < 270 ? psi + 90 : psi - 270;
            p.Psi = static_cast<float>(psi >= 360 ? 0 : psi);
            p.Intensity = static_cast<int32_t>((i * 7 + j * 13) % 1000);
            maxTwoTheta = std::max(maxTwoTheta, p.TwoTheta);
        }
    // The laboratory coordinates the flat-detector weight reads.
    FrameGeometry& g = ws.FramePixels.OwnGeometry();
    g.Key.Width = g.Key.Height = n;
    g.Mapping.Mapper = DetectorMapping::Kind::Flat;
    g.Mapping.Xo = xo;
    g.Mapping.Yo = yo;
    g.Mapping.D = d;
    // The bounds of the angles a mapped geometry keeps.
    g.Bounds.resize(g.BoundsBlocks() * static_cast<size_t>(g.TwoTheta.width()));
    for (int i = 1; i <= g.TwoTheta.width(); ++i) g.BoundColumn(i);
    ws.MinTwoTheta = 0;
    ws.MaxTwoTheta = maxTwoTheta;
    ws.TwoThetaStep = 0.01f;
    ws.ScanPoints = static_cast<int32_t>(maxTwoTheta / 0.01f) + 1;
    ws.ShowScanResults = 0;
    ws.SectorTwoTheta1 = 0;
    ws.SectorTwoTheta2 = 180;
    return ws;
}

// state.range(0): frame side; state.range(1): 1 for the full circle, 0 for
// a 30-degree sector.
void SetSector(Workspace& ws, const benchmark::State& state) {
    if (state.range(1)) {
        ws.SectorPsi1 = -1;
        ws.SectorPsi2 = 361;
    } else {
        ws.SectorPsi1 = 75;
        ws.SectorPsi2 = 105;
    }
}

void Pixels(benchmark::State& state) {
    state.SetItemsProcessed(state.iterations() * state.range(0) * state.range(0));
    state.SetBytesProcessed(state.iterations() * state.range(0) * state.range(0) *
                            static_cast<int64_t>(sizeof(FramePixel)));
}

void BM_TwoThetaScan(benchmark::State& state) {
    Workspace& ws = Frame(static_cast<int>(state.range(0)));
    SetSector(ws, state);
    QuietHost host;
    for (auto _ : state) {
        N2ThetaScan1Click(ws, host);
        benchmark::DoNotOptimize(ws.SectorScan[1].Intensity);
    }
    Pixels(state);
}

// The psi limits do not select pixels of a psi scan; the 30-degree variant
// uses a 2-theta band holding about a twelfth of the frame instead.
void BM_PsiScan(benchmark::State& state) {
    Workspace& ws = Frame(static_cast<int>(state.range(0)));
    SetSector(ws, state);
    if (!state.range(1)) {
        ws.SectorTwoTheta1 = 10;
        ws.SectorTwoTheta2 = 14;
    }
    QuietHost host;
    for (auto _ : state) {
        PsiScan1Click(ws, host);
        benchmark::DoNotOptimize(ws.PsiScanData[1]);
    }
    ws.SectorTwoTheta1 = 0;
    ws.SectorTwoTheta2 = 180;
    Pixels(state);
}

// Reads every byte of the three planes a scan reads (intensity, 2-theta,
// psi) once, as 64-bit words, and sums them: the memory-bound floor.
void BM_PlainPass(benchmark::State& state) {
    Workspace& ws = Frame(static_cast<int>(state.range(0)));
    const FrameStore& f = ws.FramePixels;
    const std::pair<const void*, size_t> planes[] = {{f.Intensity.data(), f.Intensity.cellCount() * 4},
                                                     {f.TwoTheta.plane().data(), f.TwoTheta.plane().cellCount() * 4},
                                                     {f.Psi.plane().data(), f.Psi.plane().cellCount() * 4}};
    for (auto _ : state) {
        uint64_t sum = 0;
        for (const auto& [data, size] : planes) {
            const auto* bytes = static_cast<const unsigned char*>(data);
            for (size_t w = 0; w + sizeof(uint64_t) <= size; w += sizeof(uint64_t)) {
                uint64_t v;
                std::memcpy(&v, bytes + w, sizeof v);
                sum += v;
            }
        }
        benchmark::DoNotOptimize(sum);
    }
    Pixels(state);
}

// The ".SEC" file: 36 sectors of 10 degrees from one pass over the frame,
// then the sector in force scanned again (as the batch output does).
void BM_SectorScansFile(benchmark::State& state) {
    Workspace& ws = Frame(static_cast<int>(state.range(0)));
    const std::string saved = ws.CurrentFile;
    ws.CurrentFile = (std::filesystem::temp_directory_path() / "orv_scan_bench.orv").string();
    ws.SectorPsi1 = 75;
    ws.SectorPsi2 = 105;
    QuietHost host;
    for (auto _ : state) benchmark::DoNotOptimize(WriteSectorScans(ws, host));
    ws.CurrentFile = saved;
    Pixels(state);
}

} // namespace

BENCHMARK(BM_PlainPass)->Args({2048, 1})->Args({4096, 1})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SectorScansFile)->Args({2048, 1})->Unit(benchmark::kMillisecond)->UseRealTime();
// Wall-clock time: large frames are scanned by several threads.
BENCHMARK(BM_TwoThetaScan)
    ->Args({2048, 1})->Args({2048, 0})->Args({4096, 1})->Args({4096, 0})
    ->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PsiScan)
    ->Args({2048, 1})->Args({2048, 0})->Args({4096, 1})->Args({4096, 0})
    ->Unit(benchmark::kMillisecond)->UseRealTime();

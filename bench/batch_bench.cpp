// A batch run from a list file: every frame read, mapped, scanned and its
// 2-theta scan written, as `orvantide list.lst` with "2Theta Scan" ticked.
// Besides the whole run, the stages one frame goes through are timed alone.

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <random>

#include "formats/batch_worker.h"
#include "formats/native_frame.h"
#include "formats/reader.h"
#include "workspace/detector_settings.h"
#include "workspace/geometry.h"
#include "workspace/host.h"
#include "workspace/main_commands.h"
#include "workspace/scan_writers.h"
#include "workspace/sector_scan.h"
#include "workspace/startup.h"
#include "workspace/text_files.h"
#include "workspace/workspace.h"

namespace {

namespace fs = std::filesystem;

// Ten distinct frames of a size, written once per process; a list names
// them over and over (they are read from the page cache).
struct FrameSet {
    fs::path dir;
    std::vector<std::string> files;
    explicit FrameSet(int size) {
        dir = fs::temp_directory_path() / ("orv-batch-bench-" + std::to_string(size));
        fs::create_directories(dir / "out");
        std::mt19937 random(size);
        for (int f = 0; f < 10; ++f) {
            const std::string path = (dir / ("frame" + std::to_string(f) + ".orv")).string();
            files.push_back(path);
            if (fs::exists(path)) continue;
            orv::Workspace ws;
            ws.FrameWidth = ws.FrameHeight = ws.FrameSize = size;
            ws.FramePixels.Blank(size, size);
            ws.Landa = 0.7093;
            ws.Distance = 60;
            ws.DSize = 60;
            ws.Xo = ws.Yo = size / 2.0;
            std::poisson_distribution<int> noise(50);
            for (int x = 1; x <= size; ++x)
                for (int y = 1; y <= size; ++y) {
                    const double r = std::hypot(x - ws.Xo, y - ws.Yo) / size;
                    ws.FramePixels.Intensity[x][y] = noise(random) + (std::fabs(r - 0.3) < 0.004 ? 800 : 0);
                }
            orv::WriteNativeFrame(ws, path);
        }
    }
    std::string List(int frames) const {
        std::vector<std::string> lines;
        for (int k = 0; k < frames; ++k) lines.push_back("FILE " + files[k % files.size()]);
        const std::string path = (dir / ("run" + std::to_string(frames) + ".lst")).string();
        orv::WriteTextLines(path, lines);
        return path;
    }
};

const FrameSet& Frames(int size) {
    static FrameSet f1024(1024);
    static FrameSet f2048(2048);
    return size == 1024 ? f1024 : f2048;
}

void Prepare(orv::Workspace& ws, const FrameSet& set) {
    ws.OutputDir = (set.dir / "out").string();
    ws.FSetup.CB2ThScan = true;
}

void BatchRun(benchmark::State& state) {
    const int size = static_cast<int>(state.range(0));
    const int frames = static_cast<int>(state.range(1));
    const FrameSet& set = Frames(size);
    const std::string list = set.List(frames);
    for (auto _ : state) {
        orv::Workspace ws;
        orv::RecordingHost host;
        Prepare(ws, set);
        orv::ReadListFile(ws, list);
        if (orv::TBatchThread::Execute(ws, host) != frames) state.SkipWithError("a frame was not read");
    }
    state.counters["frames/s"] = benchmark::Counter(frames, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BatchRun)->Args({1024, 100})->Args({2048, 20})->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(3);

// The stages of one frame, each alone.
void Stage(benchmark::State& state) {
    const int size = static_cast<int>(state.range(0));
    const int stage = static_cast<int>(state.range(1));
    const FrameSet& set = Frames(size);
    orv::Workspace ws;
    orv::RecordingHost host;
    Prepare(ws, set);
    orv::OpenFiles(ws, {set.files[0]});
    auto read = [&] {
        orv::ChainResult r = orv::RunReaderChain(ws, host, orv::ReaderChain::Load, set.files[0]);
        orv::InstallFrame(ws, std::move(r.Frame));
    };
    read();
    orv::ComputeFrameGeometry(ws, host);
    orv::N2ThetaScan1Click(ws, host);
    const std::string base = (set.dir / "out" / "stage").string();
    for (auto _ : state) {
        switch (stage) {
        case 0: read(); break;
        case 1: orv::ComputeFrameGeometry(ws, host); break;
        case 2: orv::N2ThetaScan1Click(ws, host); break;
        case 3: orv::WriteTwoThetaScan(ws, base, orv::ScanSource::Sector); break;
        }
    }
    static const char* names[] = {"read", "geometry", "scan", "write"};
    state.SetLabel(names[stage]);
}
BENCHMARK(Stage)
    ->ArgsProduct({{1024, 2048}, {0, 1, 2, 3}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The list of the whole-process benchmark (tools/make_bench_frames, 50
// TIFF frames with a script each) through the core pipeline alone, without
// windows; registered when ORV_BENCH_FRAMES names the folder it was written to.
void BatchRunBenchList(benchmark::State& state, const std::string& folder) {
    for (auto _ : state) {
        orv::Workspace ws;
        orv::RecordingHost host;
        orv::LoadSettingsFile(ws, host, folder + "/bench1024.set");
        orv::ProcessCommandLine(ws, host, {folder + "/run50.lst"});
        ws.CommandLineRun = 0;
        if (orv::TBatchThread::Execute(ws, host) != 50) state.SkipWithError("a frame was not read");
    }
    state.counters["frames/s"] = benchmark::Counter(50, benchmark::Counter::kIsIterationInvariantRate);
}
const bool BenchListRegistered = [] {
    if (const char* folder = std::getenv("ORV_BENCH_FRAMES"))
        benchmark::RegisterBenchmark("BatchRunBenchList", BatchRunBenchList, std::string(folder))
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime()
            ->Iterations(1)
            ->Repetitions(5);
    return true;
}();

} // namespace

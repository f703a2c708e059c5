// File > Merge of ten 1024 x 1024 keyword-record frames taken 5 degrees
// apart: reading them through the merge chain, stitching, and the whole
// command (reading, stitching, geometry, profile and scan).
//
// ORV_MERGE_FRAMES=FOLDER merges the "*.sfrm" files of FOLDER instead (for
// example those bench/merge_read_peer.py writes and reads with fabio).

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "../tools/format_fixture_writers.h"
#include "formats/frame_merge.h"
#include "formats/reader.h"
#include "workspace/host.h"
#include "workspace/workspace.h"

namespace {

using namespace orv;
namespace fx = orv::fixtures;

const std::vector<std::string>& MergeFiles() {
    static const std::vector<std::string> files = [] {
        std::vector<std::string> out;
        if (const char* folder = std::getenv("ORV_MERGE_FRAMES")) {
            for (const auto& e : std::filesystem::directory_iterator(folder))
                if (e.path().extension() == ".sfrm") out.push_back(e.path().string());
            std::sort(out.begin(), out.end());
            return out;
        }
        const auto folder = std::filesystem::temp_directory_path() / "orv_merge_bench";
        std::filesystem::create_directories(folder);
        for (int k = 0; k < 10; ++k) {
            const fx::Image img = fx::Pattern(1024, 1024, 60000, 11 + k);
            fx::KeywordGeometry g;
            g.TwoTheta = 10 + 5 * k;
            g.Xo = 512;
            g.Yo = 512;
            g.DistanceCm = 10;
            const std::string bytes = fx::WriteFormat86(img, 4, g);
            const std::string path = (folder / ("frame" + std::to_string(k) + ".sfrm")).string();
            std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
            out.push_back(path);
        }
        return out;
    }();
    return files;
}

void BM_MergeReadFrames(benchmark::State& state) {
    Workspace ws;
    RecordingHost host;
    for (auto _ : state)
        for (const std::string& f : MergeFiles()) {
            ChainResult r = RunReaderChain(ws, host, ReaderChain::Merge, f);
            if (!r.Read) state.SkipWithError(("not read: " + f).c_str());
            benchmark::DoNotOptimize(r.Frame.Intensity.data());
        }
    state.counters["frames"] = static_cast<double>(MergeFiles().size());
}
BENCHMARK(BM_MergeReadFrames)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_MergeStitch(benchmark::State& state) {
    Workspace ws;
    RecordingHost host;
    std::vector<MergeSource> sources;
    for (const std::string& f : MergeFiles()) sources.push_back({f, RunReaderChain(ws, host, ReaderChain::Merge, f).Frame});
    int32_t width = 0;
    for (auto _ : state) {
        const MergePlan plan = PlanMerge(sources);
        MergeResult merged = StitchFrames(sources, plan);
        width = merged.Frame.FrameWidth;
        benchmark::DoNotOptimize(merged.Frame.Intensity.data());
    }
    state.counters["width"] = width;
}
BENCHMARK(BM_MergeStitch)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_MergeFrameFiles(benchmark::State& state) {
    Workspace ws;
    RecordingHost host;
    for (auto _ : state) {
        ws.MergedFrame = 0;
        if (!MergeFrameFiles(ws, host, MergeFiles())) state.SkipWithError("not merged");
    }
    state.counters["width"] = ws.FrameWidth;
}
BENCHMARK(BM_MergeFrameFiles)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

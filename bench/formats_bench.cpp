// Reading 2048 x 2048 frames of the main format families from the page
// cache, beside a plain read() of the same bytes.

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>

#include "../tools/format_fixture_writers.h"
#include "formats/binary_io.h"
#include "base/file_bytes.h"
#include "base/little_endian.h"
#include "base/parallel.h"
#include "formats/frame_readers.h"
#include "formats/reader.h"
#include "workspace/host.h"
#include "workspace/text_files.h"
#include "workspace/workspace.h"

namespace {

namespace fx = orv::fixtures;
constexpr int32_t Side = 2048;

struct BenchFile {
    std::string Path;
    orv::ReaderFunction Reader;
    orv::TForm32 Form;
};

const std::map<std::string, BenchFile>& Files() {
    static const std::map<std::string, BenchFile> files = [] {
        const auto folder = std::filesystem::temp_directory_path() / "orv_formats_bench";
        std::filesystem::create_directories(folder);
        const fx::Image img = fx::Pattern(Side, Side, 60000, 7);
        fx::Image bytes = fx::Pattern(Side, Side, 250, 7);
        bytes.at(10, 10) = 70000;   // a few overflow entries
        bytes.at(20, 20) = 400;
        auto write = [&](const std::string& name, const std::string& content) {
            const std::string path = (folder / name).string();
            std::ofstream(path, std::ios::binary).write(content.data(), static_cast<std::streamsize>(content.size()));
            return path;
        };
        orv::TForm32 raw;
        raw.EDSizeX = raw.EDSizeY = std::to_string(Side);
        std::map<std::string, BenchFile> out;
        out["tiff16"] = {write("frame.tif", fx::WriteTiff(img, 16, 1, Side)), orv::ReadTiffFrame, {}};
        out["keyword100"] = {write("frame.sfrm", fx::WriteFormat100(bytes, 1, 0, {}, "204")),
                             orv::ReadFormat100Frame, {}};
        out["delta"] = {write("frame.img", fx::WriteSapphire(img, true, {})), orv::ReadSapphireFrame, {}};
        out["raw16"] = {write("frame.b16", fx::WriteRaw(img, 4096, 2)), orv::ReadRawFrame, raw};
        // The program's own format: 32-bit pixels after a 36-byte header.
        std::string own;
        for (int32_t v : {12345, 7093, 0, 600000, 600000, Side, Side, 10240000, 10240000}) orv::PutI32(own, v);
        for (int64_t v : img.Values) orv::PutI32(own, static_cast<int32_t>(v));
        out["own"] = {write("frame.orv", own), orv::ReadNativeFrame, {}};
        return out;
    }();
    return files;
}

void PlainRead(benchmark::State& state, const std::string& family) {
    const BenchFile& file = Files().at(family);
    std::string buffer(std::filesystem::file_size(file.Path), '\0');
    for (auto _ : state) {
        const int fd = ::open(file.Path.c_str(), O_RDONLY);
        size_t done = 0;
        while (done < buffer.size()) {
            const ssize_t n = ::read(fd, buffer.data() + done, buffer.size() - done);
            if (n <= 0) break;
            done += static_cast<size_t>(n);
        }
        ::close(fd);
        benchmark::DoNotOptimize(buffer.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(buffer.size()));
}

// The whole read as the chain does it: the file's bytes (one sized read),
// then the reader into a new frame. `reuse`: the frame's memory is that of
// the frame before, as in a run of many frames; otherwise fresh memory, as
// for the first frame.
void ReadFrame(benchmark::State& state, const std::string& family, bool reuse) {
    const BenchFile& file = Files().at(family);
    const orv::ScopedParallelThreadLimit threads(static_cast<unsigned>(state.range(0)));
    const auto size = static_cast<int64_t>(std::filesystem::file_size(file.Path));
    if (reuse) orv::BeginFrameRecycling();
    for (auto _ : state) {
        const orv::FileBytes bytes = orv::FileBytes::Read(file.Path, orv::MaxFrameFileBytes);
        orv::ReaderContext context;
        context.Bytes = bytes.view();
        context.Form32 = file.Form;
        orv::NewFrame frame;
        if (file.Reader(context, file.Path, frame) != orv::ReadOutcome::Read) state.SkipWithError("not read");
        benchmark::DoNotOptimize(frame.Intensity.data());
        if (reuse) orv::RecycleFramePixels(std::move(frame.Intensity));
    }
    if (reuse) orv::ReleaseRecycledFramePixels();
    state.SetBytesProcessed(state.iterations() * size);
}

// The read as the loading worker makes it: the load chain from the file's
// name (the own format is read straight into its plane, band by band),
// with the memory of the frame before.
void ReadFrameChain(benchmark::State& state, const std::string& family) {
    const BenchFile& file = Files().at(family);
    const orv::ScopedParallelThreadLimit threads(static_cast<unsigned>(state.range(0)));
    orv::Workspace ws;
    orv::RecordingHost host;
    ws.Form32 = file.Form;
    orv::BeginFrameRecycling();
    for (auto _ : state) {
        orv::ChainResult r = orv::RunReaderChain(ws, host, orv::ReaderChain::Load, file.Path);
        if (!r.Read) state.SkipWithError("not read");
        benchmark::DoNotOptimize(r.Frame.Intensity.data());
        orv::RecycleFramePixels(std::move(r.Frame.Intensity));
    }
    orv::ReleaseRecycledFramePixels();
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(std::filesystem::file_size(file.Path)));
}

// The decoding alone: 16-bit rows into a frame allocated once.
void FillRows(benchmark::State& state) {
    const orv::ScopedParallelThreadLimit threads(static_cast<unsigned>(state.range(0)));
    const std::string bytes = orv::ReadWholeFile(Files().at("raw16").Path);
    orv::NewFrame frame;
    orv::AllocateFrame(frame, Side, Side);
    const orv::ByteView file(bytes);
    for (auto _ : state) {
        orv::FillFrameRows(frame, file, 4096, 2 * Side, 2, 1, Side, 1, orv::DecodeU16);
        benchmark::DoNotOptimize(frame.Intensity.data());
    }
    state.SetBytesProcessed(state.iterations() * 2 * Side * Side);
}

// The part of every read that is the frame's own memory (4 bytes a pixel,
// pages handed out when first written).
void AllocateFrame(benchmark::State& state) {
    for (auto _ : state) {
        orv::NewFrame frame;
        orv::AllocateFrame(frame, Side, Side);
        benchmark::DoNotOptimize(frame.Intensity.data());
    }
}

} // namespace

BENCHMARK(AllocateFrame)->Unit(benchmark::kMillisecond);
// Argument: threads (0 all cores, 1 the calling thread alone).
BENCHMARK(FillRows)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
#define ORV_READ_BENCH(family)                                                                              \
    BENCHMARK_CAPTURE(PlainRead, family, std::string(#family))->Unit(benchmark::kMillisecond);              \
    BENCHMARK_CAPTURE(ReadFrame, family##_fresh, std::string(#family), false)                              \
        ->Arg(0)                                                                                           \
        ->Unit(benchmark::kMillisecond)                                                                    \
        ->UseRealTime();                                                                                   \
    BENCHMARK_CAPTURE(ReadFrame, family##_reused, std::string(#family), true)                              \
        ->Arg(0)                                                                                           \
        ->Arg(1)                                                                                           \
        ->Unit(benchmark::kMillisecond)                                                                    \
        ->UseRealTime();                                                                                   \
    BENCHMARK_CAPTURE(ReadFrameChain, family##_chain, std::string(#family))                                \
        ->Arg(0)                                                                                           \
        ->Arg(1)                                                                                           \
        ->Unit(benchmark::kMillisecond)                                                                    \
        ->UseRealTime();
ORV_READ_BENCH(own)
ORV_READ_BENCH(tiff16)
ORV_READ_BENCH(raw16)
ORV_READ_BENCH(keyword100)
ORV_READ_BENCH(delta)

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
#include "formats/frame_readers.h"
#include "workspace/text_files.h"

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

// The whole read as the chain does it: the file's bytes, then the reader.
void ReadFrame(benchmark::State& state, const std::string& family) {
    const BenchFile& file = Files().at(family);
    const auto size = static_cast<int64_t>(std::filesystem::file_size(file.Path));
    for (auto _ : state) {
        const std::string bytes = orv::ReadWholeFile(file.Path);
        orv::ReaderContext context;
        context.Bytes = bytes;
        context.Form32 = file.Form;
        orv::NewFrame frame;
        if (file.Reader(context, file.Path, frame) != orv::ReadOutcome::Read) state.SkipWithError("not read");
        benchmark::DoNotOptimize(frame.Intensity.data());
    }
    state.SetBytesProcessed(state.iterations() * size);
}

// The decoding alone: 16-bit rows into a frame allocated once.
void FillRows(benchmark::State& state) {
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

// The part of every read that is the frame's own memory (24 bytes a pixel).
void AllocateFrame(benchmark::State& state) {
    for (auto _ : state) {
        orv::NewFrame frame;
        orv::AllocateFrame(frame, Side, Side);
        benchmark::DoNotOptimize(frame.Intensity.data());
    }
}

} // namespace

BENCHMARK(AllocateFrame)->Unit(benchmark::kMillisecond);
BENCHMARK(FillRows)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(PlainRead, tiff16, std::string("tiff16"))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(ReadFrame, tiff16, std::string("tiff16"))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(PlainRead, keyword100, std::string("keyword100"))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(ReadFrame, keyword100, std::string("keyword100"))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(PlainRead, delta, std::string("delta"))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(ReadFrame, delta, std::string("delta"))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(PlainRead, raw16, std::string("raw16"))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(ReadFrame, raw16, std::string("raw16"))->Unit(benchmark::kMillisecond);

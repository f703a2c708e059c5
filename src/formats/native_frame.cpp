#include "formats/native_frame.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "formats/binary_io.h"
#include "formats/frame_readers.h"
#include "base/numbers.h"
#include "workspace/run_report.h"
#include "workspace/text_files.h"
#include "workspace/workspace.h"

namespace orv {

namespace {
constexpr uint64_t HeaderBytes = 36;

int32_t Scaled(double v) { return RoundToInt(v * 10000.0); }
} // namespace

void WriteNativeFrame(const Workspace& ws, const std::string& path) {
    RefuseFrameOverwrite(ws, path);
    const int32_t w = ws.FrameWidth, h = ws.FrameHeight;
    if (w > 0 && h > 0 && !ws.FramePixels.contains(w, h))
        throw FileError("Cannot write file " + path + ": the frame holds fewer pixels than its size");
    std::string out;
    out.reserve(HeaderBytes + 4ull * static_cast<uint64_t>(std::max(w, 0)) * static_cast<uint64_t>(std::max(h, 0)));
    PutI32(out, NativeFrameMagic);
    PutI32(out, Scaled(ws.Landa));
    PutI32(out, Scaled(ws.TwoThetaD));
    PutI32(out, Scaled(ws.Distance));
    PutI32(out, Scaled(ws.DSize));
    PutI32(out, w);
    PutI32(out, h);
    PutI32(out, Scaled(ws.Xo));
    PutI32(out, Scaled(ws.Yo));
    // Rows out of columns, in bands of columns so that both stay close.
    const size_t start = out.size();
    out.resize(start + 4ull * static_cast<uint64_t>(std::max(w, 0)) * static_cast<uint64_t>(std::max(h, 0)));
    auto* pixels = reinterpret_cast<unsigned char*>(out.data() + start);
    constexpr int32_t Band = 16;
    for (int32_t x0 = 1; x0 <= w; x0 += Band) {
        const int32_t x1 = std::min(w, x0 + Band - 1);
        for (int32_t y = 1; y <= h; ++y) {
            unsigned char* p = pixels + 4ull * (static_cast<uint64_t>(y - 1) * w + (x0 - 1));
            for (int32_t x = x0; x <= x1; ++x, p += 4) StoreI32(p, ws.FramePixels.Intensity[x][y]);
        }
    }
    WriteFileAtomically(path, out);
}

namespace {

// The header's size, when it is one a frame can have.
bool SoundSize(const ByteView& file, int64_t& width, int64_t& height) {
    width = file.i32(20);
    height = file.i32(24);
    return width >= 1 && height >= 1 && width <= NativeFrameMaxRow;
}

uint64_t FileBytesOf(int64_t width, int64_t height) {
    return HeaderBytes + 4ull * static_cast<uint64_t>(width) * static_cast<uint64_t>(height);
}

std::string ShorterText(int64_t width, int64_t height) {
    return "frame file shorter than its " + std::to_string(width) + " x " + std::to_string(height) + " pixels";
}

// The frame's size and geometry from the header.
void TakeHeader(const ByteView& file, int64_t width, int64_t height, NewFrame& frame) {
    AllocateFrame(frame, width, height);
    frame.Landa = file.i32(4) / 10000.0;
    frame.TwoThetaD = file.i32(8) / 10000.0;
    frame.Distance = file.i32(12) / 10000.0;
    frame.DSize = file.i32(16) / 10000.0;
    frame.Xo = file.i32(28) / 10000.0;
    frame.Yo = file.i32(32) / 10000.0;
    frame.RunsSettingsStep = false;
    frame.FrameInfo = FrameInfoTexts{FormatGeneral(frame.Xo),       FormatGeneral(frame.Yo),
                                     FormatGeneral(frame.TwoThetaD), FormatGeneral(frame.Landa),
                                     FormatGeneral(frame.Distance),  FormatGeneral(frame.DSize)};
}

// Closes the file on every way out.
struct OpenFile {
    int fd = -1;
    ~OpenFile() {
        if (fd >= 0) ::close(fd);
    }
};

} // namespace

ReadOutcome ReadNativeFrame(const ReaderContext& context, const std::string&, NewFrame& frame) {
    ByteView file(context.Bytes);
    if (!file.has(0, 4) || file.i32(0) != NativeFrameMagic) return ReadOutcome::NotMine;
    if (!file.has(0, HeaderBytes)) throw FrameReadError("truncated frame header");

    int64_t width = 0, height = 0;
    if (!SoundSize(file, width, height))
        throw FrameReadError("impossible frame size " + std::to_string(width) + " x " + std::to_string(height));
    if (file.size() < FileBytesOf(width, height)) throw FrameReadError(ShorterText(width, height));

    TakeHeader(file, width, height, frame);
    // The file holds rows, the frame columns: FillFrameRows turns them in
    // bands that keep reads and writes close together.
    FillFrameRows(frame, file, HeaderBytes, 4ull * static_cast<uint64_t>(width), 4, 1, frame.FrameHeight, 1,
                  DecodeI32);
    return ReadOutcome::Read;
}

bool ReadNativeFrameFile(const std::string& path, const FileBytes& head, NewFrame& frame) {
    const ByteView start(head.view());
    int64_t width = 0, height = 0;
    if (!start.has(0, HeaderBytes) || start.i32(0) != NativeFrameMagic || !SoundSize(start, width, height) ||
        head.fileSize() < FileBytesOf(width, height))
        return false;
    OpenFile file;
    do {
        file.fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    } while (file.fd < 0 && errno == EINTR);
    struct stat info {};
    if (file.fd < 0 || ::fstat(file.fd, &info) != 0 || !S_ISREG(info.st_mode) ||
        static_cast<uint64_t>(info.st_size) < FileBytesOf(width, height))
        return false;

    NewFrame read;
    TakeHeader(start, width, height, read);
    // Bands of rows, each read into a buffer of its thread that stays in the
    // cache while its rows are turned into the frame's columns: the file's
    // bytes are read once, by every thread at its own place.
    const uint64_t rowBytes = 4ull * static_cast<uint64_t>(width);
    // Half a megabyte a band (a band is turned by its own thread alone).
    const int32_t bandRows = static_cast<int32_t>(std::max<int64_t>(4, (int64_t{1} << 17) / width / 4 * 4));
    const int32_t bands = static_cast<int32_t>((height + bandRows - 1) / bandRows);
    const unsigned workers = ParallelWorkerCount(width * height, int64_t{1} << 18);
    std::vector<std::vector<unsigned char>> buffers(workers);
    ParallelFor(0, bands - 1, workers, [&](unsigned worker, int32_t lo, int32_t hi) {
        std::vector<unsigned char>& buffer = buffers[worker];
        buffer.resize(rowBytes * static_cast<uint64_t>(bandRows));
        for (int32_t band = lo; band <= hi; ++band) {
            const int32_t first = band * bandRows;
            const int32_t rows = static_cast<int32_t>(std::min<int64_t>(bandRows, height - first));
            const uint64_t bytes = rowBytes * static_cast<uint64_t>(rows);
            uint64_t done = 0;
            while (done < bytes) {
                const ssize_t n = ::pread(file.fd, buffer.data() + done, bytes - done,
                                          static_cast<off_t>(HeaderBytes + rowBytes * static_cast<uint64_t>(first) + done));
                if (n < 0 && errno == EINTR) continue;
                if (n <= 0) throw FrameReadError(ShorterText(width, height));
                done += static_cast<uint64_t>(n);
            }
            const std::string_view view(reinterpret_cast<const char*>(buffer.data()), bytes);
            FillFrameRows(read, ByteView(view), 0, rowBytes, 4, first + 1, rows, 1, DecodeI32);
        }
    });
    frame = std::move(read);
    return true;
}

} // namespace orv

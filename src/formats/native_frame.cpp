#include "formats/native_frame.h"

#include <algorithm>

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

ReadOutcome ReadNativeFrame(const ReaderContext& context, const std::string&, NewFrame& frame) {
    ByteView file(context.Bytes);
    if (!file.has(0, 4) || file.i32(0) != NativeFrameMagic) return ReadOutcome::NotMine;
    if (!file.has(0, HeaderBytes)) throw FrameReadError("truncated frame header");

    const int64_t width = file.i32(20), height = file.i32(24);
    if (width < 1 || height < 1 || width > NativeFrameMaxRow)
        throw FrameReadError("impossible frame size " + std::to_string(width) + " x " + std::to_string(height));
    const uint64_t expected = HeaderBytes + 4ull * static_cast<uint64_t>(width) * static_cast<uint64_t>(height);
    if (file.size() < expected)
        throw FrameReadError("frame file shorter than its " + std::to_string(width) + " x " +
                             std::to_string(height) + " pixels");

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

    // The file holds rows, the frame columns: FillFrameRows turns them in
    // bands that keep reads and writes close together.
    FillFrameRows(frame, file, HeaderBytes, 4ull * static_cast<uint64_t>(width), 4, 1, frame.FrameHeight, 1,
                  DecodeI32);
    return ReadOutcome::Read;
}

} // namespace orv

// Frames whose geometry, if any, sits in binary header fields: the
// "OD SAPPHIRE" frames (plain or delta-compressed bytes), ".mccd" frames,
// "R-AXIS" frames binned 2 x 2 and ".IM" frames.

#include <cmath>
#include <string>

#include "formats/binary_io.h"
#include "formats/frame_readers.h"
#include "base/numbers.h"
#include "workspace/text_files.h"

namespace orv {

namespace {

// A binary real that is not a number would poison every angle computed from
// it; such a field counts as missing.
double FiniteOr(double v, double fallback) { return std::isfinite(v) ? v : fallback; }

} // namespace

ReadOutcome ReadSapphireFrame(const ReaderContext& context, const std::string&, NewFrame& frame) {
    ByteView file(context.Bytes);
    if (!StartsWith(context.Bytes, "OD SAPPHIRE ")) return ReadOutcome::NotMine;
    const std::vector<std::string_view> lines = LeadingLines(context.Bytes.substr(0, 4096), 5);
    if (lines.size() < 2) return ReadOutcome::NotMine;
    const std::string_view compression = Chars(lines[1], 13, 15);
    const bool delta = compression == "TY1";
    if (!delta && compression != " NO") return ReadOutcome::NotMine;
    if (lines.size() < 5) throw FrameReadError("truncated frame header");

    const int32_t side = ParseInteger(Chars(lines[2], 4, 7));
    ParseInteger(Chars(lines[2], 12, 15));
    const int32_t overflows16 = ParseInteger(Chars(lines[2], 20, 26));
    const int32_t overflows32 = ParseInteger(Chars(lines[2], 31, 37));
    const int32_t headerBytes = ParseInteger(Chars(lines[3], 9, 15));
    for (size_t first : {20, 31, 42}) ParseInteger(Chars(lines[3], first, first + 6));
    ParseInteger(Chars(lines[4], 13, 19));

    const int16_t binning = file.i16(256);
    const double pixelSize = file.f64(1336);
    const int32_t angleFactor = file.i32(1824);
    const double angle = file.f64(1912);
    frame.Landa = FiniteOr(file.f64(2104), 0.711);
    const double beamX = FiniteOr(file.f64(2200), 0);
    const double beamY = FiniteOr(file.f64(2208), 0);
    frame.Distance = FiniteOr(file.f64(2248), 42);
    frame.DSize = FiniteOr(side * pixelSize + 0.1, 0);
    frame.TwoThetaD = FiniteOr(-57.29577951308232 * angleFactor * angle, 0);
    frame.Xo = binning >= 1 ? beamX / binning : beamX;
    frame.Yo = side - (binning >= 1 ? beamY / binning : beamY);

    const uint64_t pixelBytes = PixelBlockBytes(side, side, 1);
    const int64_t pixels = static_cast<int64_t>(side) * side;
    if (headerBytes < 0 || overflows16 < 0 || overflows32 < 0 || overflows16 > pixels || overflows32 > pixels)
        throw FrameReadError("impossible header length or overflow counts");
    const uint64_t table16 = static_cast<uint64_t>(headerBytes) + pixelBytes;
    const uint64_t table32 = table16 + 2ull * static_cast<uint64_t>(overflows16);
    file.require(table32, 4ull * static_cast<uint64_t>(overflows32));

    AllocateFrame(frame, side, side);
    if (!delta) {
        // The image is stored bottom row first.
        FillFrameRows(frame, file, headerBytes, side, 1, side, side, -1, DecodeU8);
        return ReadOutcome::Read;
    }

    // Each byte is a step from the previous pixel in file order; the
    // running value carries over from row to row. Sums are kept in 64 bits.
    const unsigned char* p = file.at(headerBytes, pixelBytes);
    int64_t running = 0;
    int32_t next16 = 0, next32 = 0;
    for (int32_t y = side; y >= 1; --y) {
        for (int32_t x = 1; x <= side; ++x, ++p) {
            const unsigned char c = *p;
            if (c < 254) {
                running += static_cast<int64_t>(c) - 127;
            } else if (c == 254) {
                if (next16 >= overflows16) throw FrameReadError("more 16-bit steps than table entries");
                running += file.i16(table16 + 2ull * static_cast<uint64_t>(next16++));
            } else {
                if (next32 >= overflows32) throw FrameReadError("more 32-bit steps than table entries");
                running += file.i32(table32 + 4ull * static_cast<uint64_t>(next32++));
            }
            frame.Intensity[x][y] = SaturateToInt32(running);
        }
    }
    return ReadOutcome::Read;
}

ReadOutcome ReadMccdFrame(const ReaderContext& context, const std::string& path, NewFrame& frame) {
    ByteView file(context.Bytes);
    if (FileExtension(path) != ".mccd" || file.size() > 12000000) return ReadOutcome::NotMine;
    // The side follows from the file size alone.
    int32_t side = 0;
    if (file.size() > 500000) side = 512;
    if (file.size() > 2000000) side = 1024;
    if (file.size() > 8000000) side = 2048;
    if (side == 0) throw FrameReadError("file too small for an mccd frame");
    constexpr uint64_t HeaderBytes = 4096;
    file.require(HeaderBytes, PixelBlockBytes(side, side, 2));

    frame.Distance = file.u32(1664) / 1000.0;
    // Beam centre and detector angle may be negative: signed fields.
    frame.Xo = file.i32(1668) / 1000.0;
    frame.Yo = file.i32(1672) / 1000.0;
    frame.TwoThetaD = file.i32(1692) / 1000.0;
    frame.DSize = static_cast<double>(static_cast<uint64_t>(side) * file.u32(1796)) / 1000000.0;
    frame.Landa = file.u32(1932) / 100000.0;   // femtometres

    AllocateFrame(frame, side, side);
    FillFrameRows(frame, file, HeaderBytes, 2ull * side, 2, 1, side, 1, DecodeU16);
    return ReadOutcome::Read;
}

ReadOutcome ReadRaxisFrame(const ReaderContext& context, const std::string&, NewFrame& frame) {
    ByteView file(context.Bytes);
    if (!StartsWith(context.Bytes, "R-AXIS")) return ReadOutcome::NotMine;
    constexpr int32_t Words = 4600, Rows = 2560;
    constexpr uint64_t RowBytes = 2ull * Words;
    // The data are read from the start of the file, header included.
    const unsigned char* data = file.at(0, RowBytes * Rows);
    GeometryFromDetectorSettings(context.Form32, frame);

    AllocateFrame(frame, Words / 2, Rows / 2);
    // A word with the top bit set counts eight times its low 15 bits.
    auto count = [](const unsigned char* p) -> int64_t {
        const uint16_t w = LoadU16(p);
        return (w & 0x8000) ? static_cast<int64_t>(w & 0x7fff) * 8 : w;
    };
    // The first pair of rows is the bottom row of the frame.
    for (int32_t pair = 0; pair < Rows / 2; ++pair) {
        const unsigned char* upper = data + RowBytes * (2ull * pair);
        const unsigned char* lower = upper + RowBytes;
        const int32_t y = Rows / 2 - pair;
        for (int32_t x = 1; x <= Words / 2; ++x) {
            const uint64_t at = 4ull * (x - 1);
            frame.Intensity[x][y] = SaturateToInt32(count(upper + at) + count(upper + at + 2) +
                                                                count(lower + at) + count(lower + at + 2));
        }
    }
    return ReadOutcome::Read;
}

ReadOutcome ReadImFrame(const ReaderContext& context, const std::string& path, NewFrame& frame) {
    ByteView file(context.Bytes);
    if (ToLower(FileExtension(path)) != ".im") return ReadOutcome::NotMine;
    constexpr int32_t Side = 1500;
    constexpr uint64_t HeaderBytes = 3000;
    file.require(HeaderBytes, PixelBlockBytes(Side, Side, 2));

    GeometryFromDetectorSettings(context.Form32, frame);
    frame.TwoThetaD += ParseNumber(context.Form32.Eth2offset);
    AllocateFrame(frame, Side, Side);
    FillFrameRows(frame, file, HeaderBytes, 2ull * Side, 2, 1, Side, 1, DecodeU16);

    // No settings step: the reader fills Frame Info itself.
    frame.RunsSettingsStep = false;
    frame.FrameInfo = FrameInfoTexts{FormatNumber(frame.Xo),       FormatNumber(frame.Yo),
                                     FormatNumber(frame.TwoThetaD), FormatNumber(frame.Landa),
                                     FormatNumber(frame.Distance),  FormatNumber(frame.DSize)};
    return ReadOutcome::Read;
}

} // namespace orv

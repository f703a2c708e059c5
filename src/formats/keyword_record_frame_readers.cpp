// Square frames whose header is 96 fixed-width text records of 80
// characters ("FORMAT :" and "FORMAT :100"), pixels from byte 7680 followed
// by the tables of values that did not fit the stored pixel.

#include <charconv>
#include <cstring>
#include <string>
#include <vector>

#include "formats/binary_io.h"
#include "formats/frame_readers.h"
#include "base/numbers.h"

namespace orv {

namespace {

constexpr uint64_t RecordBytes = 80;
constexpr uint64_t HeaderBytes = 96 * RecordBytes;

// Characters first..last of record `record` (both counted from 1).
std::string_view RecordChars(const ByteView& file, int record, size_t first, size_t last) {
    const std::string_view header = file.bytes().substr(0, HeaderBytes);
    return Chars(header.substr((record - 1) * RecordBytes, RecordBytes), first, last);
}

double RecordNumber(const ByteView& file, int record, size_t first, size_t last) {
    return ParseNumber(RecordChars(file, record, first, last));
}
int32_t RecordInteger(const ByteView& file, int record, size_t first, size_t last) {
    return ParseInteger(RecordChars(file, record, first, last));
}

// A table count field: its digits (and minus signs where kept) joined in
// order; no digit gives 0.
int64_t JoinedCount(std::string_view field, bool keepMinus) {
    std::string kept;
    for (char c : field)
        if ((c >= '0' && c <= '9') || (keepMinus && c == '-')) kept += c;
    if (kept.empty()) return 0;
    int64_t v = 0;
    auto [ptr, ec] = std::from_chars(kept.data(), kept.data() + kept.size(), v);
    if (ec == std::errc::result_out_of_range) throw FrameReadError("impossible table count " + PrintableExcerpt(kept));
    if (ec != std::errc() || ptr != kept.data() + kept.size()) throw ConversionError(kept);
    return v;
}

// A table of `count` entries of `entryBytes` padded to 16 bytes.
uint64_t PaddedTableBytes(uint64_t count, uint64_t entryBytes) {
    const uint64_t bytes = count * entryBytes;
    return bytes % 16 == 0 ? bytes : bytes + 16 - bytes % 16;
}

void CheckCount(int64_t count, int64_t pixels, const char* what) {
    if (count < 0 || count > pixels)
        throw FrameReadError(std::string("impossible ") + what + " count " + std::to_string(count));
}

// The numbers of the pixels stored as 0 or as `marker` (all bits set), in
// file order: one list per chunk of pixels, the chunks searched in
// parallel. Eight bytes at a time are passed over while none of their
// pixels is either: most of a frame needs no table.
std::vector<std::vector<int64_t>> MarkedPixels(const unsigned char* data, int64_t pixels, int32_t bytesPerPixel,
                                               uint32_t marker) {
    constexpr int64_t ChunkPixels = int64_t{1} << 16;   // a multiple of 8
    const int64_t chunks = (pixels + ChunkPixels - 1) / ChunkPixels;
    std::vector<std::vector<int64_t>> found(static_cast<size_t>(chunks));
    const uint64_t ones = bytesPerPixel == 1 ? 0x0101010101010101ull : 0x0001000100010001ull;
    const uint64_t highs = ones << (8 * bytesPerPixel - 1);
    auto hasZero = [&](uint64_t v) { return ((v - ones) & ~v & highs) != 0; };
    ParallelFor(0, static_cast<int32_t>(chunks - 1), ParallelWorkerCount(pixels, int64_t{1} << 19),
                [&](unsigned, int32_t lo, int32_t hi) {
        for (int32_t c = lo; c <= hi; ++c) {
            std::vector<int64_t>& list = found[static_cast<size_t>(c)];
            const int64_t end = std::min(pixels, (c + 1) * ChunkPixels);
            for (int64_t n = c * ChunkPixels; n < end; ++n) {
                const unsigned char* p = data + n * bytesPerPixel;
                if ((n % 8) == 0 && n + 8 <= end) {
                    // Whole words only: n counts pixels, a word holds 8 / bytesPerPixel.
                    bool plain = true;
                    for (int32_t part = 0; part < bytesPerPixel && plain; ++part) {
                        uint64_t word;
                        std::memcpy(&word, p + 8 * part, 8);
                        plain = !hasZero(word) && !hasZero(~word);
                    }
                    if (plain) {
                        n += 7;
                        continue;
                    }
                }
                const uint32_t stored = bytesPerPixel == 1 ? *p : LoadU16(p);
                if (stored == 0 || stored == marker) list.push_back(n);
            }
        }
    });
    return found;
}

} // namespace

ReadOutcome ReadFormatFrame(const ReaderContext& context, const std::string&, NewFrame& frame) {
    ByteView file(context.Bytes);
    if (!StartsWith(context.Bytes, "FORMAT :")) return ReadOutcome::NotMine;
    if (!file.has(0, HeaderBytes)) throw FrameReadError("truncated frame header");

    const int32_t overflows = RecordInteger(file, 21, 9, 18);
    double twoTheta = RecordNumber(file, 38, 9, 22);
    if (twoTheta > 180) twoTheta -= 360;
    const int32_t bytesPerPixel = RecordInteger(file, 40, 9, 18);
    const int32_t side = RecordInteger(file, 41, 9, 18);
    frame.Xo = RecordNumber(file, 55, 9, 22);
    frame.Yo = RecordNumber(file, 55, 23, 36);
    frame.Distance = RecordNumber(file, 56, 9, 22) * 10;
    frame.Landa = RecordNumber(file, 64, 9, 22);
    frame.TwoThetaD = twoTheta;
    // No detector size in this header: the settings step supplies it.

    const PixelDecoder decode = CommonPixelDecoder(bytesPerPixel);
    if (!decode) throw FrameReadError("unsupported bytes per pixel " + std::to_string(bytesPerPixel));
    const uint64_t pixelBytes = PixelBlockBytes(side, side, bytesPerPixel);
    const int64_t pixels = static_cast<int64_t>(side) * side;
    CheckCount(overflows, pixels, "overflow");
    const uint64_t tableStart = HeaderBytes + pixelBytes;
    file.require(tableStart, 16ull * static_cast<uint64_t>(overflows));

    AllocateFrame(frame, side, side);
    FillFrameRows(frame, file, HeaderBytes, pixelBytes / side, bytesPerPixel, 1, side, 1, decode);

    // Each entry: 9 characters of true value, 7 of pixel number counted
    // along rows from 0, as the writing programs number them. A later entry
    // for the same pixel wins; numbers outside the frame are skipped.
    for (int32_t i = 0; i < overflows; ++i) {
        const std::string entry = file.text(tableStart + 16ull * i, 16);
        const int32_t value = ParseInteger(Chars(entry, 1, 9));
        const int64_t pixel = ParseInteger(Chars(entry, 10, 16));
        if (pixel < 0 || pixel >= pixels) continue;
        frame.Intensity[static_cast<int32_t>(pixel % side) + 1][static_cast<int32_t>(pixel / side) + 1] =
            value;
    }
    return ReadOutcome::Read;
}

ReadOutcome ReadFormat100Frame(const ReaderContext& context, const std::string&, NewFrame& frame) {
    ByteView file(context.Bytes);
    if (!StartsWith(context.Bytes, "FORMAT :100")) return ReadOutcome::NotMine;
    if (!file.has(0, HeaderBytes)) throw FrameReadError("truncated frame header");

    int64_t underflows = JoinedCount(RecordChars(file, 21, 9, 28), true);
    if (underflows == -1) underflows = 0;
    const int64_t overflows2 = JoinedCount(RecordChars(file, 21, 29, 49), false);
    const int64_t overflows4 = JoinedCount(RecordChars(file, 21, 50, 80), false);
    double twoTheta = RecordNumber(file, 38, 9, 18);
    if (twoTheta > 180) twoTheta -= 360;
    if (twoTheta < -180) twoTheta += 360;
    const int32_t bytesPerPixel = RecordInteger(file, 40, 9, 9);
    const int32_t underflowBytes = RecordInteger(file, 40, 45, 45);
    int32_t side = RecordInteger(file, 41, 9, 11);
    if (side == 102) side = 1024;   // a four-digit side cut to three characters
    if (side == 204) side = 2048;
    frame.Xo = RecordNumber(file, 55, 9, 18);
    frame.Yo = RecordNumber(file, 55, 27, 36);
    frame.Distance = RecordNumber(file, 56, 9, 16) * 10;
    frame.Landa = RecordNumber(file, 64, 9, 16);
    frame.TwoThetaD = twoTheta;

    if (bytesPerPixel != 1 && bytesPerPixel != 2)
        throw FrameReadError("unsupported bytes per pixel " + std::to_string(bytesPerPixel));
    const uint64_t pixelBytes = PixelBlockBytes(side, side, bytesPerPixel);
    const int64_t pixels = static_cast<int64_t>(side) * side;
    CheckCount(underflows, pixels, "underflow");
    CheckCount(overflows2, pixels, "2-byte overflow");
    CheckCount(overflows4, pixels, "4-byte overflow");
    if (underflows > 0 && underflowBytes != 1 && underflowBytes != 2)
        throw FrameReadError("unsupported underflow entry size " + std::to_string(underflowBytes));
    const uint64_t underflowStart = HeaderBytes + pixelBytes;
    const uint64_t overflow2Start = underflowStart + PaddedTableBytes(underflows, underflows > 0 ? underflowBytes : 0);
    const uint64_t overflow4Start = overflow2Start + PaddedTableBytes(overflows2, 2);
    file.require(overflow4Start, 4ull * static_cast<uint64_t>(overflows4));

    AllocateFrame(frame, side, side);
    FillFrameRows(frame, file, HeaderBytes, pixelBytes / side, bytesPerPixel, 1, side, 1,
                  bytesPerPixel == 1 ? DecodeU8 : DecodeU16);
    if (underflows == 0 && overflows2 == 0 && overflows4 == 0) return ReadOutcome::Read;

    // The pixels that may take a table entry, in file order; each table's
    // cursor advances only when an entry is taken.
    int64_t nextUnder = 0, next2 = 0, next4 = 0;
    const uint32_t marker = bytesPerPixel == 1 ? 255 : 65535;
    const unsigned char* pixelData = file.at(HeaderBytes, pixelBytes);
    for (const std::vector<int64_t>& chunk : MarkedPixels(pixelData, pixels, bytesPerPixel, marker)) {
        for (const int64_t n : chunk) {
            const unsigned char* p = pixelData + n * bytesPerPixel;
            const uint32_t stored = bytesPerPixel == 1 ? *p : LoadU16(p);
            const auto x = static_cast<int32_t>(n % side) + 1, y = static_cast<int32_t>(n / side) + 1;
            int32_t& intensity = frame.Intensity[x][y];
            if (stored == 0) {
                if (nextUnder < underflows) {
                    const uint64_t at = underflowStart + static_cast<uint64_t>(nextUnder++) * underflowBytes;
                    intensity = -static_cast<int32_t>(underflowBytes == 1 ? file.u8(at) : file.u16(at));
                }
            } else {
                if (bytesPerPixel == 1 && next2 < overflows2) {
                    intensity = file.u16(overflow2Start + 2ull * static_cast<uint64_t>(next2++));
                    if (intensity != 65535) continue;
                }
                if (next4 < overflows4 && (bytesPerPixel == 2 || intensity == 65535))
                    intensity = file.i32(overflow4Start + 4ull * static_cast<uint64_t>(next4++));
            }
        }
    }
    return ReadOutcome::Read;
}

} // namespace orv

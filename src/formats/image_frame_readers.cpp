// General image files without detector geometry: uncompressed
// little-endian TIFF (8, 16 or 32 bits) and Windows bitmaps (8, 16 or 24
// bits). Both take the geometry from the Detector Settings.

#include <optional>
#include <string>
#include <vector>

#include "formats/binary_io.h"
#include "formats/frame_readers.h"

namespace orv {

namespace {

// One image-directory entry.
struct TiffEntry {
    uint16_t Type = 0;
    uint32_t Count = 0;
    uint32_t Value = 0;   // the value itself, or where the values are
    bool Present = false;
};

uint64_t TiffTypeBytes(uint16_t type) { return type == 3 ? 2 : type == 1 ? 1 : 4; }

// Value `index` of an entry: inside the entry when all values fit its four
// bytes, otherwise at the position it names. Nothing when outside the file.
std::optional<uint64_t> TiffValue(const ByteView& file, uint64_t entryValueAt, const TiffEntry& entry,
                                  uint64_t index) {
    const uint64_t size = TiffTypeBytes(entry.Type);
    const uint64_t at = static_cast<uint64_t>(entry.Count) * size <= 4 ? entryValueAt + index * size
                                                                        : entry.Value + index * size;
    if (!file.has(at, size)) return std::nullopt;
    return size == 2 ? file.u16(at) : size == 1 ? file.u8(at) : file.u32(at);
}

} // namespace

ReadOutcome ReadTiffFrame(const ReaderContext& context, const std::string&, NewFrame& frame) {
    ByteView file(context.Bytes);
    if (!file.has(0, 8) || file.u16(2) != 42) return ReadOutcome::NotMine;
    const uint64_t directory = file.u32(4);
    if (!file.has(directory, 2)) return ReadOutcome::NotMine;
    const uint64_t entries = file.u16(directory);
    if (!file.has(directory + 2, 12 * entries)) return ReadOutcome::NotMine;

    // Tags 256 width, 257 height, 258 bits, 259 compression, 273 strip
    // offsets, 277 samples per pixel, 278 rows per strip, 339 sample format;
    // a later entry of the same tag wins.
    TiffEntry width, height, bits, compression, strips, samples, rowsPerStrip, sampleFormat;
    uint64_t stripsValueAt = 0;
    for (uint64_t i = 0; i < entries; ++i) {
        const uint64_t at = directory + 2 + 12 * i;
        TiffEntry entry{file.u16(at + 2), file.u32(at + 4), file.u32(at + 8), true};
        // A short value sits in the low half of the value field.
        if (entry.Type == 3 && entry.Count == 1) entry.Value &= 0xffff;
        switch (file.u16(at)) {
        case 256: width = entry; break;
        case 257: height = entry; break;
        case 258: bits = entry; break;
        case 259: compression = entry; break;
        case 273: strips = entry; stripsValueAt = at + 8; break;
        case 277: samples = entry; break;
        case 278: rowsPerStrip = entry; break;
        case 339: sampleFormat = entry; break;
        default: break;
        }
    }

    const int64_t w = width.Value, h = height.Value;
    const int64_t side = std::max(w, h);
    const int64_t largest = context.Chain == ReaderChain::Load ? 12000 : 8000;
    const uint32_t depth = bits.Value;
    if (!width.Present || !height.Present || (compression.Present && compression.Value != 1) ||
        (depth != 8 && depth != 16 && depth != 32) || side < 256 || side > largest || w < 1 || h < 1)
        return ReadOutcome::NotMine;
    // Colour images and floating-point samples are not frames of counts.
    if ((samples.Present && samples.Value != 1) || (sampleFormat.Present && sampleFormat.Value == 3))
        return ReadOutcome::NotMine;
    const bool isSigned = depth == 32 || (sampleFormat.Present && sampleFormat.Value == 2);

    GeometryFromDetectorSettings(context.Form32, frame);
    const uint64_t pixelBytes = depth / 8;
    const uint64_t rowBytes = pixelBytes * static_cast<uint64_t>(w);
    const uint64_t imageBytes = PixelBlockBytes(w, h, static_cast<int64_t>(pixelBytes));

    PixelDecoder decode = CommonPixelDecoder(static_cast<int64_t>(pixelBytes));
    if (isSigned && depth == 8) decode = DecodeI8;
    if (isSigned && depth == 16) decode = DecodeI16;

    // Where the rows are: the image at the end of the file when the user
    // says so ("2"), otherwise where the strip offsets say. Strips are read
    // one by one from their own offsets when they cover the image, else the
    // rows run on from the first strip.
    const bool atEnd = context.FSetup.RBTIFF2 || !strips.Present || strips.Count == 0;
    if (atEnd && file.size() < imageBytes) throw FrameReadError("file too short for its pixels");
    const uint64_t stripRows =
        rowsPerStrip.Present && rowsPerStrip.Value >= 1 ? std::min<uint64_t>(rowsPerStrip.Value, h) : h;
    const uint64_t stripsNeeded = (static_cast<uint64_t>(h) + stripRows - 1) / stripRows;
    const bool perStrip = !atEnd && strips.Count >= stripsNeeded;

    struct Segment {
        uint64_t Offset;
        int32_t FirstRow, Rows;
    };
    // An offset outside the file fails the test below.
    auto stripOffset = [&](uint64_t s) -> uint64_t {
        return TiffValue(file, stripsValueAt, strips, s).value_or(UINT64_MAX);
    };
    std::vector<Segment> segments;
    if (atEnd) {
        segments.push_back({file.size() - imageBytes, 1, static_cast<int32_t>(h)});
    } else if (!perStrip) {
        segments.push_back({stripOffset(0), 1, static_cast<int32_t>(h)});
    } else {
        for (uint64_t s = 0; s < stripsNeeded; ++s) {
            const uint64_t first = s * stripRows, offset = stripOffset(s);
            const auto rows = static_cast<int32_t>(std::min<uint64_t>(stripRows, h - first));
            // Strips stored one after the other are one block of rows.
            if (!segments.empty() && segments.back().Offset <= UINT64_MAX - rowBytes * segments.back().Rows &&
                offset == segments.back().Offset + rowBytes * static_cast<uint64_t>(segments.back().Rows))
                segments.back().Rows += rows;
            else
                segments.push_back({offset, static_cast<int32_t>(first + 1), rows});
        }
    }
    for (const Segment& segment : segments)
        if (!file.has(segment.Offset, rowBytes * static_cast<uint64_t>(segment.Rows)))
            throw FrameReadError("file too short for its pixels");

    AllocateFrame(frame, w, h);
    for (const Segment& segment : segments)
        FillFrameRows(frame, file, segment.Offset, rowBytes, pixelBytes, segment.FirstRow, segment.Rows, 1, decode);
    return ReadOutcome::Read;
}

ReadOutcome ReadBmpFrame(const ReaderContext& context, const std::string&, NewFrame& frame) {
    ByteView file(context.Bytes);
    if (!file.has(0, 34) || !StartsWith(context.Bytes, "BM")) return ReadOutcome::NotMine;
    const int64_t width = file.i32(18), height = file.i32(22);
    const uint32_t bits = file.u16(28);
    const uint32_t compression = file.u32(30);
    int64_t maxWidth = 24000, maxHeight = 3511;
    if (context.Chain == ReaderChain::Pole) maxWidth = 8500, maxHeight = 259;
    if (context.Chain == ReaderChain::Arithmetic) maxWidth = 8500, maxHeight = 3599;
    if ((bits != 8 && bits != 16 && bits != 24) || width < 101 || width > maxWidth || height < 101 ||
        height > maxHeight || context.Chain == ReaderChain::Merge)
        return ReadOutcome::NotMine;
    // Run-length encoded rows are not a grid of pixels.
    if (compression != 0 && compression != 3) return ReadOutcome::NotMine;

    GeometryFromDetectorSettings(context.Form32, frame);
    const uint64_t pixelBytes = bits / 8;
    // Rows are padded to whole 4-byte words; the first row in the file goes
    // to frame row 1.
    const uint64_t stride = (static_cast<uint64_t>(width) * bits + 31) / 32 * 4;
    PixelBlockBytes(width, height, static_cast<int64_t>(pixelBytes));
    const uint64_t start = file.u32(10);
    file.require(start, stride * static_cast<uint64_t>(height - 1) + pixelBytes * static_cast<uint64_t>(width));
    AllocateFrame(frame, width, height);
    if (bits == 24)
        FillFrameRows(frame, file, start, stride, 3, 1, static_cast<int32_t>(height), 1,
                      [](const unsigned char* p) -> int32_t { return p[0] + p[1] + p[2]; });
    else
        FillFrameRows(frame, file, start, stride, pixelBytes, 1, static_cast<int32_t>(height), 1,
                      CommonPixelDecoder(static_cast<int64_t>(pixelBytes)));
    return ReadOutcome::Read;
}

} // namespace orv

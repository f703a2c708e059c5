// Files without a usable header, whose size comes from the Detector
// Settings boxes EDSizeX, EDSizeY, EHeader and EBytesPixel: comma-separated
// integers, 16-bit pixels at the end of any file, raw files of the user's
// layout and pairs of 1024 x 512 float images.

#include <cmath>
#include <string>

#include "formats/binary_io.h"
#include "formats/frame_readers.h"
#include "base/numbers.h"
#include "formats/frame_signatures.h"
#include "workspace/text_files.h"

namespace orv {

namespace {

struct BoxSize {
    int32_t Width, Height;
};
BoxSize SizeFromBoxes(const TForm32& form) {
    return {ParseInteger(form.EDSizeX), ParseInteger(form.EDSizeY)};
}

bool IsNumberChar(char c) { return (c >= '0' && c <= '9') || c == '-'; }

std::string CsvShortText(uint64_t found, int32_t lines, int32_t numbers, bool atMost) {
    return "the CSV file holds " + std::string(atMost ? "at most " : "") + std::to_string(found) +
           " numbers; its frame of " + std::to_string(numbers) + " x " + std::to_string(lines) + " needs " +
           std::to_string(static_cast<uint64_t>(lines) * static_cast<uint64_t>(numbers));
}

// A file that carries another family's signature, or its name, is a damaged
// frame of that family, not raw pixels: in the load chain, where the raw
// reader is the last resort, it is unreadable with that reason; elsewhere
// the chain goes on.
bool StepAsideForOtherFamily(const ReaderContext& context, const std::string& path) {
    std::string family = FrameFamilySignature(context.Bytes);
    if (family.empty()) family = FrameFamilyByName(path);
    if (family.empty()) return false;
    if (context.Chain == ReaderChain::Load)
        throw FrameReadError("a frame of the " + family + " family that its reader does not accept (damaged, or of a kind not read)");
    return true;
}

// The float rounded to a count (halves to even), saturated; not-a-number
// counts nothing.
int64_t RoundedCount(float v) { return RoundToInt(static_cast<double>(v)); }

} // namespace

ReadOutcome ReadCsvFrame(const ReaderContext& context, const std::string&, NewFrame& frame) {
    const BoxSize size = SizeFromBoxes(context.Form32);
    if (std::max(size.Width, size.Height) < 250) return ReadOutcome::NotMine;
    const std::string_view text = context.Bytes;
    const std::vector<std::string_view> first = LeadingLines(text.substr(0, 8), 1);
    if (first.empty() || first[0].find(',') == std::string_view::npos) return ReadOutcome::NotMine;

    // Line r of the file fills column r and its k-th number row width + 1 - k
    // (the picture turned a quarter), so the frame has one column per line
    // and one row per number of a line.
    const int32_t lines = size.Height, numbers = size.Width;
    PixelBlockBytes(lines, numbers, 1);
    // Every number takes at least one character: a file too short for the
    // size it claims is refused before the frame is allocated.
    const uint64_t wanted = static_cast<uint64_t>(lines) * static_cast<uint64_t>(numbers);
    if (text.size() + 1 < wanted) throw FrameReadError(CsvShortText(text.size() + 1, lines, numbers, true));
    GeometryFromDetectorSettings(context.Form32, frame);
    AllocateFrame(frame, lines, numbers);
    // Empty numbers leave pixels at 0.
    frame.Intensity.fill(0);

    size_t pos = 0;
    uint64_t positions = 0;
    for (int32_t r = 1; r <= lines && pos < text.size(); ++r) {
        for (int32_t k = 1; k <= numbers && pos < text.size(); ++k, ++positions) {
            // A number is a run of up to nine digits and minus signs; the
            // character that ends it is consumed (a CR LF pair as one), and
            // an empty number still takes its position.
            const size_t start = pos;
            while (pos < text.size() && pos - start < 9 && IsNumberChar(text[pos])) ++pos;
            const std::string_view number = text.substr(start, pos - start);
            if (pos < text.size() && !(number.size() == 9 && IsNumberChar(text[pos]))) {
                if (text[pos++] == '\r' && pos < text.size() && text[pos] == '\n') ++pos;
            }
            if (!number.empty()) frame.Intensity[r][numbers + 1 - k] = ParseInteger(number);
        }
    }
    // Missing numbers would be pixels of 0 that nobody was told about.
    if (positions < wanted) throw FrameReadError(CsvShortText(positions, lines, numbers, false));
    return ReadOutcome::Read;
}

ReadOutcome ReadRawFrame(const ReaderContext& context, const std::string& path, NewFrame& frame) {
    // Outside the load chain only ".b16" files are raw frames.
    if (context.Chain != ReaderChain::Load && ToLower(FileExtension(path)) != ".b16") return ReadOutcome::NotMine;
    if (StepAsideForOtherFamily(context, path)) return ReadOutcome::NotMine;
    ByteView file(context.Bytes);
    const BoxSize size = SizeFromBoxes(context.Form32);
    const uint64_t pixelBytes = PixelBlockBytes(size.Width, size.Height, 2);
    if (file.size() < pixelBytes) return ReadOutcome::NotMine;

    GeometryFromDetectorSettings(context.Form32, frame);
    AllocateFrame(frame, size.Width, size.Height);
    FillFrameRows(frame, file, file.size() - pixelBytes, 2ull * size.Width, 2, 1, size.Height, 1, DecodeU16);
    return ReadOutcome::Read;
}

ReadOutcome ReadCustomRawFrame(const ReaderContext& context, const std::string&, NewFrame& frame) {
    // Tried first: a file of another family goes on to that family's reader.
    // Only the contents count here: the user's raw files may have any name.
    if (!FrameFamilySignature(context.Bytes).empty()) return ReadOutcome::NotMine;
    ByteView file(context.Bytes);
    const BoxSize size = SizeFromBoxes(context.Form32);
    int64_t header = ParseInteger(context.Form32.EHeader);
    const int32_t bytesPerPixel = ParseInteger(context.Form32.EBytesPixel);
    const PixelDecoder decode = CommonPixelDecoder(bytesPerPixel);
    if (!decode) return ReadOutcome::NotMine;
    const uint64_t pixelBytes = PixelBlockBytes(size.Width, size.Height, bytesPerPixel);
    // A negative header length: the pixels end the file.
    if (header < 0) header = static_cast<int64_t>(file.size()) - static_cast<int64_t>(pixelBytes);
    if (header < 0 || !file.has(static_cast<uint64_t>(header), pixelBytes)) return ReadOutcome::NotMine;

    GeometryFromDetectorSettings(context.Form32, frame);
    AllocateFrame(frame, size.Width, size.Height);
    FillFrameRows(frame, file, static_cast<uint64_t>(header), static_cast<uint64_t>(bytesPerPixel) * size.Width,
                  bytesPerPixel, 1, size.Height, 1, decode);
    return ReadOutcome::Read;
}

ReadOutcome ReadFloatPairFrame(const ReaderContext& context, const std::string&, NewFrame& frame) {
    ByteView file(context.Bytes);
    const BoxSize size = SizeFromBoxes(context.Form32);
    const int32_t bytesPerPixel = ParseInteger(context.Form32.EBytesPixel);
    if ((bytesPerPixel != 0 && bytesPerPixel != 1 && bytesPerPixel != 2 && bytesPerPixel != 4) ||
        size.Width != 512 || size.Height != 1024)
        return ReadOutcome::NotMine;
    constexpr int32_t Columns = 1024, Rows = 512;
    constexpr uint64_t ImageBytes = 4ull * Columns * Rows;
    if (file.size() < 2 * ImageBytes) return ReadOutcome::NotMine;

    GeometryFromDetectorSettings(context.Form32, frame);
    AllocateFrame(frame, Columns, Rows);
    // Each run of 512 floats is one column; the second image is subtracted
    // from the first when EBytesPixel is not 0.
    const unsigned char* first = file.at(file.size() - 2 * ImageBytes, 2 * ImageBytes);
    const unsigned char* second = first + ImageBytes;
    for (int32_t x = 1; x <= Columns; ++x) {
        for (int32_t y = 1; y <= Rows; ++y, first += 4, second += 4) {
            int64_t value = RoundedCount(LoadF32(first));
            if (bytesPerPixel != 0) value -= RoundedCount(LoadF32(second));
            frame.Intensity[x][y] = SaturateToInt32(value);
        }
    }
    return ReadOutcome::Read;
}

} // namespace orv

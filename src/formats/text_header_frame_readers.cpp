// Frames whose header is text lines followed by binary pixels:
// "PIXEL_SIZE=" frames, keyed-line frames ("No" on line 1), "HeaderID"
// frames and PANalytical frames.

#include <algorithm>
#include <string>

#include "formats/binary_io.h"
#include "formats/frame_readers.h"
#include "base/numbers.h"
#include "workspace/detector_settings.h"
#include "workspace/workspace.h"

namespace orv {

namespace {

// Line `n` (counted from 1) of the header, or an empty line past its end.
std::string_view Line(const std::vector<std::string_view>& lines, size_t n) {
    return n >= 1 && n <= lines.size() ? lines[n - 1] : std::string_view();
}

// The header's text lines: never more than the first 64 KiB, so a binary
// file without line breaks is not searched to its end.
std::vector<std::string_view> HeaderLines(std::string_view bytes, size_t count) {
    return LeadingLines(bytes.substr(0, 65536), count);
}

// A value the header does not give: the Detector Settings box, or 0 (which
// the settings step repairs) when the box does not hold a number.
double BoxOrZero(const std::string& box) {
    double v = 0;
    return TryParseNumber(box, v) ? v : 0;
}

void DefaultGeometryFromBoxes(const TForm32& form, NewFrame& frame) {
    frame.Xo = BoxOrZero(form.EXoM);
    frame.Yo = BoxOrZero(form.EYoM);
    frame.TwoThetaD = BoxOrZero(form.E2thetaD);
    frame.Distance = BoxOrZero(form.EDistance);
    frame.DSize = BoxOrZero(form.EDSize);
    frame.Landa = BoxOrZero(form.ELanda);
}

} // namespace

ReadOutcome ReadPixelSizeFrame(const ReaderContext& context, const std::string&, NewFrame& frame) {
    ByteView file(context.Bytes);
    const std::vector<std::string_view> lines = HeaderLines(context.Bytes, 28);
    if (!StartsWith(Line(lines, 6), "PIXEL_SIZE=")) return ReadOutcome::NotMine;

    ParseInteger(Chars(Line(lines, 3), 5, 5));
    const double pixelSize = ParseNumber(Chars(Line(lines, 6), 12, 19));
    DefaultGeometryFromBoxes(context.Form32, frame);
    frame.Distance = ParseNumber(Chars(Line(lines, 12), 10, 15));
    frame.TwoThetaD = ParseNumber(Chars(Line(lines, 16), 10, 14));
    frame.Landa = ParseNumber(Chars(Line(lines, 18), 12, 17));
    const double beamX = ParseNumber(Chars(Line(lines, 19), 15, 21));
    const double beamY = ParseNumber(Chars(Line(lines, 20), 15, 21));
    const int32_t width = ParseInteger(Chars(Line(lines, 27), 7, 10));
    const int32_t height = ParseInteger(Chars(Line(lines, 28), 7, 10));

    constexpr uint64_t DataStart = 512;
    file.require(DataStart, PixelBlockBytes(width, height, 2));
    if (pixelSize > 0) {
        frame.Xo = beamX / pixelSize;
        frame.Yo = beamY / pixelSize;
    }
    frame.DSize = std::max(width, height) * pixelSize;

    AllocateFrame(frame, width, height);
    FillFrameRows(frame, file, DataStart, 2ull * width, 2, 1, height, 1, DecodeU16);
    return ReadOutcome::Read;
}

ReadOutcome ReadKeywordHeaderFrame(const ReaderContext& context, const std::string&, NewFrame& frame) {
    ByteView file(context.Bytes);
    if (!StartsWith(context.Bytes, "No")) return ReadOutcome::NotMine;
    constexpr size_t SearchLines = 40;
    const std::vector<std::string_view> lines = HeaderLines(context.Bytes, SearchLines + 1);

    // The line that begins with `key` among the first 40; the 40th line
    // when none does.
    auto keyLine = [&](std::string_view key) -> size_t {
        for (size_t n = 1; n <= SearchLines; ++n)
            if (StartsWith(Line(lines, n), key)) return n;
        return SearchLines;
    };
    // The first `count` characters after `skip`, keeping digits (and dots).
    auto kept = [](std::string_view line, size_t skip, size_t count, bool dots) {
        std::string value;
        for (char c : Chars(RestAfter(line, skip), 1, count))
            if ((c >= '0' && c <= '9') || (dots && c == '.')) value += c;
        return value;
    };
    auto keyed = [&](std::string_view key, size_t count, bool dots) {
        return kept(Line(lines, keyLine(key)), key.size(), count, dots);
    };
    // A value with no kept character leaves its variable as it was.
    auto assign = [](const std::string& value, double& target) {
        if (!value.empty()) target = ParseNumber(value);
    };

    DefaultGeometryFromBoxes(context.Form32, frame);
    double repeats = 0, width = 0, height = 0, pixelSize = -1;
    assign(keyed("Number of repeats =", 11, false), repeats);
    const std::string_view widthKey = "X dimension =";
    const size_t widthLine = keyLine(widthKey);
    assign(kept(Line(lines, widthLine), widthKey.size(), 7, false), width);
    assign(kept(Line(lines, widthLine + 1), 13, 7, false), height);
    if (std::string theta = keyed("Theta start =", 10, true); !theta.empty())
        frame.TwoThetaD = -2 * ParseNumber(theta);
    assign(keyed("Dx start =", 7, true), frame.Distance);
    assign(keyed("pixel X-size (um) =", 11, true), pixelSize);
    assign(keyed("Alpha1 =", 7, true), frame.Landa);
    if (width < 1 || height < 1) throw FrameReadError("no frame size in the header");

    const int64_t w = static_cast<int64_t>(width), h = static_cast<int64_t>(height);
    const uint64_t pixels = PixelBlockBytes(w, h, 1);
    const int32_t side = static_cast<int32_t>(std::max(w, h));
    if (pixelSize >= 0) frame.DSize = pixelSize * side / 1000;
    if (frame.DSize > 25 && frame.DSize < 50) frame.DSize *= 2;
    if (frame.DSize < 25) frame.DSize = ParseNumber(context.Form32.EDSize);
    frame.Xo = w / 2.0;
    frame.Yo = h / 2.0;

    // The depth follows from the size of what follows the header, shared
    // among the repeats.
    constexpr uint64_t DataStart = 4100;
    if (file.size() < DataStart) throw FrameReadError("file too short for its pixels");
    const double bytesPerPixel = RoundHalfEven(static_cast<double>(file.size() - DataStart) /
                                               (static_cast<double>(pixels) * (repeats + 1)));
    const PixelDecoder decode = bytesPerPixel >= 1 && bytesPerPixel <= 4
                                    ? CommonPixelDecoder(static_cast<int64_t>(bytesPerPixel))
                                    : nullptr;
    if (!decode) throw FrameReadError("pixel depth does not follow from the file size");
    const auto depth = static_cast<uint64_t>(bytesPerPixel);
    file.require(DataStart, pixels * depth);

    AllocateFrame(frame, w, h);
    FillFrameRows(frame, file, DataStart, depth * w, depth, 1, static_cast<int32_t>(h), 1, decode);
    return ReadOutcome::Read;
}

ReadOutcome ReadHeaderIdFrame(const ReaderContext& context, const std::string&, NewFrame& frame) {
    ByteView file(context.Bytes);
    const std::vector<std::string_view> lines = HeaderLines(context.Bytes, 2);
    if (!StartsWith(Line(lines, 2), "HeaderID       =")) return ReadOutcome::NotMine;
    constexpr int32_t Side = 512;
    const uint64_t pixelBytes = PixelBlockBytes(Side, Side, 2);
    if (file.size() < pixelBytes) throw FrameReadError("file too short for its pixels");

    GeometryFromDetectorSettings(context.Form32, frame);
    AllocateFrame(frame, Side, Side);
    FillFrameRows(frame, file, file.size() - pixelBytes, 2ull * Side, 2, 1, Side, 1, DecodeU16);
    return ReadOutcome::Read;
}

ReadOutcome ReadPANalyticalFrame(const ReaderContext& context, const std::string&, NewFrame& frame) {
    ByteView file(context.Bytes);
    const std::vector<std::string_view> lines = HeaderLines(context.Bytes, 23);
    if (Chars(Line(lines, 2), 10, 20) != "PANalytical") return ReadOutcome::NotMine;

    auto number = [&](size_t n, size_t skip) { return ParseNumber(RestAfter(Line(lines, n), skip)); };
    const double pixelWidth = number(5, 12);
    const double pixelHeight = number(6, 12);
    frame.Distance = number(7, 7);
    number(9, 11);
    number(10, 9);
    frame.TwoThetaD = number(16, 9);
    frame.Landa = number(18, 11);
    frame.Xo = number(19, 14);
    frame.Yo = number(20, 14);
    const int32_t width = ParseInteger(RestAfter(Line(lines, 22), 6));
    const int32_t height = ParseInteger(RestAfter(Line(lines, 23), 6));

    // Non-square pixels: every row is repeated k times at 1/k of its value.
    int32_t repeat = pixelWidth > 0 ? RoundToInt(pixelHeight / pixelWidth) : 1;
    const bool aspectSet = repeat != 1;
    if (repeat < 1 || repeat > 8) repeat = 1;

    const uint64_t pixelBytes = PixelBlockBytes(width, height, 4);
    if (file.size() < pixelBytes) throw FrameReadError("file too short for its pixels");

    DetectorSettingsTexts boxes;
    if (context.Form20.CBFSettings) {
        frame.DSize = ParseNumber(context.Form32.EPixSize) * width / 1000;
    } else {
        frame.DSize = width * pixelWidth / 1000;
        boxes.SetFileGeometry = true;
        boxes.EXoM = FormatNumber(frame.Xo);
        boxes.EYoM = FormatNumber(frame.Yo);
        boxes.ERadius = FormatNumber(frame.Distance);
        boxes.ELanda = FormatWavelength(frame.Landa);
        boxes.EPixSize = FormatNumber(pixelWidth);
    }
    boxes.ELength = FormatNumber(frame.DSize);
    boxes.EHeight = FormatNumber(height * frame.DSize / width);
    frame.DetectorSettings = boxes;
    frame.PixelAspectSet = aspectSet ? 1 : 0;
    frame.RunsSettingsStep = false;
    frame.FrameInfo = FrameInfoTexts{FormatGeneral(frame.Xo),       FormatGeneral(frame.Yo),
                                     FormatGeneral(frame.TwoThetaD), FormatGeneral(frame.Landa),
                                     FormatGeneral(frame.Distance),  FormatGeneral(frame.DSize)};

    AllocateFrame(frame, width, static_cast<int64_t>(height) * repeat);
    const unsigned char* p = file.at(file.size() - pixelBytes, pixelBytes);
    for (int32_t r = 0; r < height; ++r) {
        for (int32_t x = 1; x <= width; ++x, p += 4) {
            const int32_t value = static_cast<int32_t>(LoadU32(p)) / repeat;
            for (int32_t k = 1; k <= repeat; ++k) frame.Intensity[x][r * repeat + k] = value;
        }
    }
    frame.PixelAspect = 1;
    return ReadOutcome::Read;
}

void ApplyReaderSettings(Workspace& ws, const NewFrame& frame) {
    if (frame.PixelAspectSet) ws.PixelAspectSet = *frame.PixelAspectSet;
    if (!frame.DetectorSettings) return;
    const DetectorSettingsTexts& boxes = *frame.DetectorSettings;
    ws.Form32.ELength = boxes.ELength;
    ws.Form32.EHeight = boxes.EHeight;
    if (!boxes.SetFileGeometry) return;
    ws.Form32.SelectShape(2);
    ws.FlatDetector = 0;
    ws.Form32.EXoM = boxes.EXoM;
    ws.Form32.EYoM = boxes.EYoM;
    ws.Form32.ERadius = boxes.ERadius;
    ws.Form32.ELanda = boxes.ELanda;
    ws.Form32.EPixSize = boxes.EPixSize;
}

} // namespace orv

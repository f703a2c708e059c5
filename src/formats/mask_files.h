#pragma once
// Pixel masks (".msk": records of two unsigned 16-bit values, column and
// row, from 1) and background frames (".bck": 32-bit width and height, then
// the rows of 32-bit intensities).

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "formats/reader.h"
#include "workspace/frame_types.h"

namespace orv {

struct Workspace;

using MaskRecords = std::vector<std::pair<uint16_t, uint16_t>>;

// A mask holds one 4-byte record per masked pixel, of a frame at most as
// large as any reader accepts; a background frame is its 8-byte size and 4
// bytes a pixel of such a frame. Larger files are refused before they are
// read.
constexpr uint64_t MaxMaskFileBytes = 4 * static_cast<uint64_t>(MaxFramePixels);
constexpr uint64_t BackgroundHeaderBytes = 8;
constexpr uint64_t MaxBackgroundFileBytes = BackgroundHeaderBytes + 4 * static_cast<uint64_t>(MaxFramePixels);

// The records of a mask file's bytes. Throws FileError, naming `name`, when
// the bytes are not whole records (a truncated or foreign file).
MaskRecords ParseMaskRecords(std::string_view bytes, const std::string& name);
// Reads a mask file; throws FileError when it cannot be read, is larger
// than MaxMaskFileBytes or is not whole records.
MaskRecords ReadMaskFile(const std::string& path);
// Masks the pixels the records name; records outside the frame are skipped.
// Returns how many records lay inside the frame.
int64_t ApplyMask(FramePlane<int32_t>& pixels, int32_t width, int32_t height, const MaskRecords& records);
// Writes every masked pixel (intensity -1) row by row. Throws FileError,
// writing nothing, when a masked pixel lies beyond column or row 65535
// (the records cannot hold it).
void WriteMaskFile(const std::string& path, const Workspace& ws);

struct BackgroundFrame {
    int32_t Width = 0;
    int32_t Height = 0;
    std::vector<int32_t> Values;   // row by row
    int32_t at(int32_t x, int32_t y) const {
        return Values[static_cast<size_t>(y - 1) * static_cast<size_t>(Width) + static_cast<size_t>(x - 1)];
    }
};

// A background frame from a file's bytes; throws FileError, naming `name`,
// when their length is not exactly what the width and height say (a file
// cut short or with anything after its pixels is damaged).
BackgroundFrame ParseBackgroundFrame(std::string_view bytes, const std::string& name);
// Reads a background frame; throws FileError when the file cannot be read,
// is larger than MaxBackgroundFileBytes or is damaged.
BackgroundFrame ReadBackgroundFile(const std::string& path);
// Subtracts the background from the frame when the sizes agree (returns
// false and changes nothing otherwise). Masked pixels stay masked; results
// are kept inside the 32-bit range.
bool SubtractBackground(FramePlane<int32_t>& pixels, int32_t width, int32_t height, const BackgroundFrame& background);
// Writes the current frame as a background frame.
void WriteBackgroundFile(const std::string& path, const Workspace& ws);

// Whether a file name ends exactly in the given extension (".msk", ".bck").
bool HasExactExtension(const std::string& path, const std::string& extension);

} // namespace orv

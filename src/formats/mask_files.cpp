#include "formats/mask_files.h"

#include <algorithm>

#include "base/parallel.h"
#include "formats/binary_io.h"
#include "workspace/text_files.h"
#include "workspace/workspace.h"

namespace orv {

namespace {

// The frame's pixels that exist in its plane.
int32_t Columns(const Workspace& ws) { return std::max(0, std::min(ws.FrameWidth, ws.FramePixels.Intensity.width())); }
int32_t Rows(const Workspace& ws) { return std::max(0, std::min(ws.FrameHeight, ws.FramePixels.Intensity.height())); }

constexpr int32_t MaskTile = 64;   // columns walked together, so both layouts are read in order

} // namespace

MaskRecords ParseMaskRecords(std::string_view bytes, const std::string& name) {
    if (bytes.size() % 4 != 0)
        throw FileError("Mask file " + name + " is not a mask: " + std::to_string(bytes.size()) +
                        " bytes are not whole records of 4 bytes");
    ByteView file(bytes);
    MaskRecords records;
    records.reserve(bytes.size() / 4);
    for (uint64_t offset = 0; file.has(offset, 4); offset += 4)
        records.emplace_back(file.u16(offset), file.u16(offset + 2));
    return records;
}

MaskRecords ReadMaskFile(const std::string& path) {
    return ParseMaskRecords(FileBytes::Read(path, MaxMaskFileBytes).view(), path);
}

int64_t ApplyMask(FramePlane<int32_t>& pixels, int32_t width, int32_t height, const MaskRecords& records) {
    int64_t inside = 0;
    for (auto [x, y] : records) {
        if (x < 1 || y < 1 || x > width || y > height || !pixels.contains(x, y)) continue;
        pixels[x][y] = MaskedIntensity;
        ++inside;
    }
    return inside;
}

void WriteMaskFile(const std::string& path, const Workspace& ws) {
    const FramePlane<int32_t>& pixels = ws.FramePixels.Intensity;
    const int32_t width = Columns(ws), height = Rows(ws);
    std::string out;
    for (int32_t y = 1; y <= height; ++y)
        for (int32_t x = 1; x <= width; ++x) {
            if (pixels[x][y] != MaskedIntensity) continue;
            if (x > 65535 || y > 65535)
                throw FileError("Mask not saved: pixel " + std::to_string(x) + ", " + std::to_string(y) +
                                " lies beyond what a mask file can hold (65535)");
            out.push_back(static_cast<char>(x & 0xff));
            out.push_back(static_cast<char>(x >> 8));
            out.push_back(static_cast<char>(y & 0xff));
            out.push_back(static_cast<char>(y >> 8));
        }
    WriteFileAtomically(path, out);
}

BackgroundFrame ParseBackgroundFrame(std::string_view bytes, const std::string& name) {
    ByteView file(bytes);
    if (!file.has(0, BackgroundHeaderBytes)) throw FileError("Background file too short: " + name);
    BackgroundFrame b;
    b.Width = file.i32(0);
    b.Height = file.i32(4);
    if (b.Width < 1 || b.Height < 1)
        throw FileError("Background file " + name + " is damaged: it states a frame of " + std::to_string(b.Width) +
                        " x " + std::to_string(b.Height) + " pixels");
    const uint64_t n = static_cast<uint64_t>(b.Width) * static_cast<uint64_t>(b.Height);
    const uint64_t length = BackgroundHeaderBytes + 4 * n;
    if (bytes.size() != length)
        throw FileError("Background file " + name + " is damaged: its " + std::to_string(b.Width) + " x " +
                        std::to_string(b.Height) + " pixels take " + std::to_string(length) + " bytes, the file has " +
                        std::to_string(bytes.size()));
    b.Values.resize(static_cast<size_t>(n));
    for (size_t k = 0; k < n; ++k) b.Values[k] = file.i32(BackgroundHeaderBytes + 4 * k);
    return b;
}

BackgroundFrame ReadBackgroundFile(const std::string& path) {
    return ParseBackgroundFrame(FileBytes::Read(path, MaxBackgroundFileBytes).view(), path);
}

bool SubtractBackground(FramePlane<int32_t>& pixels, int32_t width, int32_t height, const BackgroundFrame& background) {
    if (background.Width != width || background.Height != height || !pixels.contains(width, height)) return false;
    // Tiles of columns: the frame is stored by columns, the background by rows.
    const int32_t tiles = (width + MaskTile - 1) / MaskTile;
    ParallelFor(0, tiles - 1, ParallelWorkerCount(int64_t{width} * height, int64_t{1} << 16),
                [&](unsigned, int32_t lo, int32_t hi) {
                    for (int32_t t = lo; t <= hi; ++t) {
                        const int32_t x1 = t * MaskTile + 1, x2 = std::min(width, x1 + MaskTile - 1);
                        for (int32_t y = 1; y <= height; ++y) {
                            const int32_t* row = &background.Values[static_cast<size_t>(y - 1) * width];
                            for (int32_t x = x1; x <= x2; ++x) {
                                int32_t& v = pixels[x][y];
                                if (v == MaskedIntensity) continue;
                                v = UnmaskedResult(SaturateToInt32(static_cast<int64_t>(v) - row[x - 1]));
                            }
                        }
                    }
                });
    return true;
}

void WriteBackgroundFile(const std::string& path, const Workspace& ws) {
    const FramePlane<int32_t>& pixels = ws.FramePixels.Intensity;
    const int32_t width = Columns(ws), height = Rows(ws);
    std::string out;
    out.reserve(8 + 4 * static_cast<size_t>(width) * static_cast<size_t>(height));
    PutI32(out, width);
    PutI32(out, height);
    for (int32_t y = 1; y <= height; ++y)
        for (int32_t x = 1; x <= width; ++x) PutI32(out, pixels[x][y]);
    WriteFileAtomically(path, out);
}

bool HasExactExtension(const std::string& path, const std::string& extension) {
    return FileExtension(path) == extension;
}

} // namespace orv

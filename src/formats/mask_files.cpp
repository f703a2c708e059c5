#include "formats/mask_files.h"

#include <algorithm>
#include <limits>

#include "formats/binary_io.h"
#include "workspace/text_files.h"
#include "workspace/workspace.h"

namespace orv {

MaskRecords ReadMaskFile(const std::string& path) {
    const std::string bytes = ReadWholeFile(path);
    ByteView file(bytes);
    MaskRecords records;
    records.reserve(bytes.size() / 4);
    for (uint64_t offset = 0; file.has(offset, 4); offset += 4)
        records.emplace_back(file.u16(offset), file.u16(offset + 2));
    return records;
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
    std::string out;
    for (int32_t y = 1; y <= ws.FrameHeight; ++y)
        for (int32_t x = 1; x <= ws.FrameWidth; ++x)
            if (ws.FramePixels.Intensity[x][y] == MaskedIntensity && x <= 65535 && y <= 65535) {
                out.push_back(static_cast<char>(x & 0xff));
                out.push_back(static_cast<char>(x >> 8));
                out.push_back(static_cast<char>(y & 0xff));
                out.push_back(static_cast<char>(y >> 8));
            }
    WriteFileAtomically(path, out);
}

BackgroundFrame ReadBackgroundFile(const std::string& path) {
    const std::string bytes = ReadWholeFile(path);
    ByteView file(bytes);
    if (!file.has(0, 8)) throw FileError("Background file too short: " + path);
    BackgroundFrame b;
    b.Width = file.i32(0);
    b.Height = file.i32(4);
    if (b.Width < 1 || b.Height < 1 ||
        static_cast<uint64_t>(b.Width) * static_cast<uint64_t>(b.Height) > (bytes.size() - 8) / 4)
        throw FileError("Background file does not hold its " + std::to_string(b.Width) + " x " +
                        std::to_string(b.Height) + " pixels: " + path);
    const size_t n = static_cast<size_t>(b.Width) * static_cast<size_t>(b.Height);
    b.Values.resize(n);
    for (size_t k = 0; k < n; ++k) b.Values[k] = file.i32(8 + 4 * k);
    return b;
}

bool SubtractBackground(FramePlane<int32_t>& pixels, int32_t width, int32_t height, const BackgroundFrame& background) {
    if (background.Width != width || background.Height != height || !pixels.contains(width, height)) return false;
    for (int32_t y = 1; y <= height; ++y)
        for (int32_t x = 1; x <= width; ++x) {
            int32_t& v = pixels[x][y];
            if (v == MaskedIntensity) continue;
            int64_t r = static_cast<int64_t>(v) - background.at(x, y);
            r = std::clamp<int64_t>(r, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max());
            v = static_cast<int32_t>(r);
        }
    return true;
}

void WriteBackgroundFile(const std::string& path, const Workspace& ws) {
    std::string out;
    PutI32(out, ws.FrameWidth);
    PutI32(out, ws.FrameHeight);
    for (int32_t y = 1; y <= ws.FrameHeight; ++y)
        for (int32_t x = 1; x <= ws.FrameWidth; ++x) PutI32(out, ws.FramePixels.Intensity[x][y]);
    WriteFileAtomically(path, out);
}

bool HasExactExtension(const std::string& path, const std::string& extension) {
    return FileExtension(path) == extension;
}

} // namespace orv

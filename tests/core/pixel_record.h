#pragma once
// Everything the frame store holds for one pixel, gathered for checks.

#include <cstdint>
#include <cstring>
#include <vector>

#include "workspace/workspace.h"

namespace orv::test {

struct PixelRecord {
    int32_t Intensity = 0;
    float X = 0, Y = 0, Z = 0;
    float TwoTheta = 0, Psi = 0;
};

inline PixelRecord PixelAt(const Workspace& ws, int32_t i, int32_t j) {
    const FramePixel p = ws.FramePixels.Pixel(i, j);
    const LabPoint lab = ws.FramePixels.Lab(i, j);
    return {p.Intensity, lab.X, lab.Y, lab.Z, p.TwoTheta, p.Psi};
}

// Every cell of the frame's planes (intensity, 2-theta, psi) as bytes, for
// comparing frames whole.
inline std::vector<unsigned char> PlaneBytes(const Workspace& ws) {
    std::vector<unsigned char> bytes;
    auto add = [&bytes](const void* data, size_t size) {
        const auto* p = static_cast<const unsigned char*>(data);
        bytes.insert(bytes.end(), p, p + size);
    };
    const FrameStore& f = ws.FramePixels;
    add(f.Intensity.data(), f.Intensity.cellCount() * sizeof(int32_t));
    add(f.TwoTheta.plane().data(), f.TwoTheta.plane().cellCount() * sizeof(float));
    add(f.Psi.plane().data(), f.Psi.plane().cellCount() * sizeof(float));
    return bytes;
}

} // namespace orv::test

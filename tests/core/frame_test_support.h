#pragma once
// Small frames with hand-made geometry for the frame display and sector
// tests.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>

#include "workspace/workspace.h"

namespace orv::test {

// A loaded frame of `width` x `height` pixels, all zero, shown 1:1.
inline void MakeFrame(Workspace& ws, int32_t width, int32_t height) {
    ws.FramePixels.Blank(width, height);
    ws.FrameWidth = width;
    ws.FrameHeight = height;
    ws.FrameSize = std::max(width, height);
    ws.DisplayWidth = width;
    ws.LastFileIndex = 0;
    ws.MaxIntensity = 1000;
    ws.Brightness = 1000;
}

// A frame of `width` x `height` pixels, all 0, with the geometry an own
// format file carries (Mo K-alpha 1), as a reader leaves it: ready for its
// pixels and WriteNativeFrame.
inline void StartOwnFormatFrame(Workspace& ws, int32_t width, int32_t height, double distance, double dsize,
                                double xo, double yo) {
    ws.FrameWidth = width;
    ws.FrameHeight = height;
    ws.FrameSize = std::max(width, height);
    ws.FramePixels.Blank(width, height);
    ws.Landa = 0.7093;
    ws.Distance = distance;
    ws.DSize = dsize;
    ws.Xo = xo;
    ws.Yo = yo;
}

// Flat untilted detector at `distance` pixels, beam at (xo, yo): 2-theta and
// psi worked out from the pixel's offset (psi 0 to the right of the centre,
// 90 above it), then 2-theta bins of `step` from 0.
inline void FlatGeometry(Workspace& ws, double xo, double yo, double distance, float step = 0.1f) {
    constexpr double Deg = 180.0 / 3.14159265358979323846;
    float largest = 0;
    FrameGeometry& g = ws.FramePixels.OwnGeometry();
    // Laboratory coordinates X = xo - i, Y = distance, Z = j - yo.
    g.Key.Width = ws.FrameWidth;
    g.Key.Height = ws.FrameHeight;
    g.Mapping.Mapper = DetectorMapping::Kind::Flat;
    g.Mapping.Xo = xo;
    g.Mapping.Yo = yo;
    g.Mapping.D = distance;
    for (int32_t i = 1; i <= ws.FrameWidth; ++i) {
        for (int32_t j = 1; j <= ws.FrameHeight; ++j) {
            const double dx = i - xo, up = yo - j;
            const float twoTheta = static_cast<float>(std::atan(std::hypot(dx, up) / distance) * Deg);
            g.TwoTheta[i][j] = twoTheta;
            double psi = std::atan2(up, dx) * Deg;
            if (psi < 0) psi += 360;
            g.Psi[i][j] = static_cast<float>(psi >= 360 ? 0 : psi);
            largest = std::max(largest, twoTheta);
        }
    }
    ws.FlatDistancePixels = static_cast<float>(distance);
    ws.MinTwoTheta = 0;
    ws.MaxTwoTheta = largest;
    ws.TwoThetaStep = step;
    int32_t k = 0;
    for (; k < ProfileLength - 1; ++k) {
        ws.FrameProfileCopy[k].TwoTheta = k * step;
        if (k * step > largest) break;
    }
    ws.ScanPoints = k;
}

// Whether the logbook holds `line`.
inline bool Logged(const Workspace& ws, const std::string& line) {
    const auto lines = ws.LLog.Lines();
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

} // namespace orv::test

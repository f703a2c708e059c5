#pragma once
// Frames and reference files for the geometry tests.

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "workspace/workspace.h"

namespace orv::test {

// A flat frame of width x height pixels of one intensity, its geometry set
// as a frame reader leaves it (no settings box ticked).
inline void SetUpFlatFrame(Workspace& ws, int32_t width, int32_t height, double xo, double yo,
                           double distance, double dsize, double twoThetaD = 0, int32_t intensity = 100) {
    ws.FramePixels.Blank(width, height);
    ws.FrameWidth = width;
    ws.FrameHeight = height;
    ws.FrameSize = std::max(width, height);
    ws.Xo = xo;
    ws.Yo = yo;
    ws.Distance = distance;
    ws.DSize = dsize;
    ws.TwoThetaD = twoThetaD;
    ws.LastFileIndex = 0;
    for (int32_t i = 1; i <= width; ++i)
        for (int32_t j = 1; j <= height; ++j) ws.FramePixels.Intensity[i][j] = intensity;
}

inline std::string GeometryData(const std::string& name) { return std::string(ORV_TEST_DATA) + "/geometry/" + name; }

// Rows of whitespace-separated numbers, '#' lines skipped.
inline std::vector<std::vector<double>> ReadNumberTable(const std::string& path) {
    std::ifstream in(path);
    if (!in) throw std::runtime_error("cannot open " + path);
    std::vector<std::vector<double>> rows;
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream fields(line);
        std::vector<double> row;
        double v;
        while (fields >> v) row.push_back(v);
        if (!row.empty()) rows.push_back(row);
    }
    return rows;
}

// Loads a raw little-endian int32 frame, rows of `width` values, into a
// frame set up as by SetUpFlatFrame.
inline void LoadI32Pixels(Workspace& ws, const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot open " + path);
    for (int32_t j = 1; j <= ws.FrameHeight; ++j)
        for (int32_t i = 1; i <= ws.FrameWidth; ++i) {
            unsigned char b[4];
            if (!in.read(reinterpret_cast<char*>(b), 4)) throw std::runtime_error("short file " + path);
            ws.FramePixels.Intensity[i][j] =
                static_cast<int32_t>(uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24);
        }
}

// The reference frames: geometry and what the step rule must give.
struct ReferenceFrame {
    const char* Name;
    int32_t Width, Height;
    double Distance, DSize, Xo, Yo, TwoThetaD;
    bool Vertical;
    float AutoStep, AutoMinTwoTheta;
    int32_t AutoScanPoints, AutoCountDiff;       // pixels in a neighbouring bin
    float FineMinTwoTheta;                       // with a fixed step of 0.01
    int32_t FineScanPoints, FineCountDiff;
};

inline const std::vector<ReferenceFrame>& ReferenceFrames() {
    static const std::vector<ReferenceFrame> frames = {
        {"flat384x256_offcentre", 384, 256, 50, 38.4, 150.4, 120.6, 0, false, 0.09f, 0.09f, 315, 12, 0.06f, 2831, 80},
        {"flat256x384_htilt-18", 256, 384, 90, 38.4, 140, 190.5, -18, false, 0.1f, 9.2f, 187, 0, 9.22f, 1867, 20},
        {"flat320_vtilt12", 320, 320, 45, 32, 160.5, 150.5, 12, true, 0.165f, 0.0f, 214, 2, 0.06f, 3509, 36},
    };
    return frames;
}

inline void LoadReferenceFrame(Workspace& ws, const ReferenceFrame& f) {
    SetUpFlatFrame(ws, f.Width, f.Height, f.Xo, f.Yo, f.Distance, f.DSize, f.TwoThetaD);
    ws.Form28.CBVertical = f.Vertical;
    LoadI32Pixels(ws, GeometryData(std::string(f.Name) + ".i32"));
}

} // namespace orv::test

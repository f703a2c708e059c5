#pragma once
// Ring frames for the centre search and the reductions: intensities made
// from the 2-theta that the program's own geometry gives every pixel, so
// that a centre or a d-spacing measured back can be compared with the one
// the frame was made with.

#include <cmath>
#include <cstdint>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "geometry_test_support.h"
#include "workspace/geometry.h"
#include "workspace/host.h"
#include "workspace/workspace.h"

namespace orv::test {

struct Ring {
    double TwoTheta;   // degrees
    double Height;     // counts at the top
};

struct RingFrame {
    int32_t Width = 384, Height = 256;
    double Xo = 150.4, Yo = 120.6;
    double Distance = 50, DSize = 38.4;   // mm: 500 pixels from the sample
    double TwoThetaD = 0;
    bool Vertical = false;
    std::vector<Ring> Rings{{12.988, 2000}, {21.286, 1104}, {25.015, 1680}};
    double Sigma = 0.08;                  // ring width, degrees
    bool Noise = false;                   // counting noise
    uint32_t Seed = 7;
    int32_t BeamStop = 0;                 // half-width of a masked strip from the centre to the right edge
};

// Background b0 + b1 exp(-2theta / b2) and gaussian rings.
inline double RingModel(const RingFrame& f, double twoTheta) {
    double v = 20 + 60 * std::exp(-twoTheta / 8);
    for (const Ring& r : f.Rings) {
        const double d = (twoTheta - r.TwoTheta) / f.Sigma;
        v += r.Height * std::exp(-0.5 * d * d);
    }
    return v;
}

// Makes the frame: geometry from the true centre, intensities from it, then
// the beam stop. The geometry stays that of the true centre.
inline void MakeRingFrame(Workspace& ws, Host& host, const RingFrame& f) {
    SetUpFlatFrame(ws, f.Width, f.Height, f.Xo, f.Yo, f.Distance, f.DSize, f.TwoThetaD);
    ws.Form28.CBVertical = f.Vertical;
    ComputeFrameGeometry(ws, host);
    std::mt19937 random(f.Seed);
    for (int32_t i = 1; i <= f.Width; ++i)
        for (int32_t j = 1; j <= f.Height; ++j) {
            const double model = RingModel(f, ws.FramePixels.TwoTheta[i][j]);
            ws.FramePixels.Intensity[i][j] = f.Noise ? static_cast<int32_t>(std::poisson_distribution<int32_t>(model)(random))
                                                     : static_cast<int32_t>(std::lround(model));
        }
    if (f.BeamStop > 0) {
        const int32_t row = static_cast<int32_t>(std::lround(f.Yo));
        for (int32_t i = static_cast<int32_t>(f.Xo) - f.BeamStop; i <= f.Width; ++i)
            for (int32_t j = row - f.BeamStop; j <= row + f.BeamStop; ++j)
                if (ws.FramePixels.Intensity.contains(i, j) && i >= 1 && j >= 1 && j <= f.Height)
                    ws.FramePixels.Intensity[i][j] = MaskedIntensity;
    }
    ComputeFrameGeometry(ws, host);
}

// A frame that pyFAI rendered from a known geometry
// (tests/data/centre/make_frames.py; its geometry in frames.txt).
struct RenderedFrame {
    std::string Name;
    int32_t Width = 0, Height = 0;
    double Landa = 0, Distance = 0, DSize = 0, Xo = 0, Yo = 0, TwoThetaD = 0;
    bool Vertical = false;
    double DistancePixels() const { return Distance * std::max(Width, Height) / DSize; }
};

inline RenderedFrame FindRenderedFrame(const std::string& name) {
    const std::string path = std::string(ORV_TEST_DATA) + "/centre/frames.txt";
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream f(line);
        RenderedFrame r;
        int vertical = 0;
        f >> r.Name >> r.Width >> r.Height >> r.Landa >> r.Distance >> r.DSize >> r.Xo >> r.Yo >> r.TwoThetaD >> vertical;
        r.Vertical = vertical != 0;
        if (f && r.Name == name) return r;
    }
    throw std::runtime_error("no frame " + name + " in " + path);
}

// The frame with the geometry it was rendered with, mapped.
inline void LoadRenderedFrame(Workspace& ws, Host& host, const RenderedFrame& r) {
    SetUpFlatFrame(ws, r.Width, r.Height, r.Xo, r.Yo, r.Distance, r.DSize, r.TwoThetaD);
    ws.Landa = r.Landa;
    ws.Form28.CBVertical = r.Vertical;
    ws.FileList = {r.Name + ".orv"};
    ws.CurrentFile = ws.FileList[0];
    LoadI32Pixels(ws, std::string(ORV_TEST_DATA) + "/centre/" + r.Name + ".i32");
    ComputeFrameGeometry(ws, host);
}

} // namespace orv::test

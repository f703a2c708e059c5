#pragma once
// Powder frames for the calibration tests: Debye rings of a standard drawn
// onto a frame through the program's own geometry, from d-spacings that come
// from outside the program (the pyFAI calibrant files in tests/data), with a
// background and reproducible noise.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <numbers>
#include <random>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/numbers.h"
#include "scans/mineral_database.h"
#include "scans/mineral_list.h"
#include "workspace/geometry.h"
#include "workspace/host.h"
#include "workspace/workspace.h"

namespace orv::test {

// The d-spacings of a calibrant file (tests/data/scans/standards/NAME.D).
inline std::vector<double> CalibrantSpacings(const std::string& name) {
    std::ifstream in(std::string(ORV_TEST_DATA) + "/scans/standards/" + name + ".D");
    if (!in) throw std::runtime_error("no calibrant " + name);
    std::vector<double> d;
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream fields(line);
        double v = 0;
        if (fields >> v) d.push_back(v);
    }
    return d;
}

// The patterns shipped with the program, loaded into the table and listed.
inline void LoadShippedPatterns(Workspace& ws) {
    const MineralFile file = ParseMineralFile(ShippedMineralBytes());
    for (size_t i = 0; i < file.Records.size(); ++i) ws.MineralTable[i + 1] = file.Records[i];
    ws.MineralCount = static_cast<int32_t>(file.Records.size());
    ShowAllMinerals(ws);
}

// Selects the first listed pattern of that formula; its index.
inline int32_t SelectPattern(Workspace& ws, const std::string& formula) {
    for (int row = 0; row < ws.VisibleMineralCount; ++row)
        if (ws.MineralTable[static_cast<size_t>(ws.VisibleMinerals[static_cast<size_t>(row)])].Formula == formula)
            return SelectMineralRow(ws, row);
    throw std::runtime_error("no pattern " + formula);
}

// The geometry a frame is drawn with, in the program's terms.
struct PowderGeometry {
    enum Shape { Flat, Cylinder, Sphere } Kind = Flat;
    int32_t Width = 512, Height = 512;
    double Landa = 0.7093;
    double Xo = 256, Yo = 256;
    double Distance = 60;        // mm (flat, sphere)
    double DSize = 51.2;         // mm along FrameSize (flat)
    double TwoThetaD = 0;        // degrees
    bool Vertical = false;
    double Length = 60, Radius = 50;   // curved detectors, mm
};

// Puts the geometry into the workspace as a frame reader would leave it
// (flat) or as the settings hold it (curved), without mapping it.
inline void SetPowderGeometry(Workspace& ws, const PowderGeometry& g) {
    ws.FrameWidth = g.Width;
    ws.FrameHeight = g.Height;
    ws.FrameSize = std::max(g.Width, g.Height);
    ws.Landa = g.Landa;
    ws.Xo = g.Xo;
    ws.Yo = g.Yo;
    ws.TwoThetaD = g.TwoThetaD;
    ws.Form28.CBVertical = g.Vertical;
    TForm32& f = ws.Form32;
    f.RFlat = g.Kind == PowderGeometry::Flat;
    f.RCylindrical = g.Kind == PowderGeometry::Cylinder;
    f.RSphere = g.Kind == PowderGeometry::Sphere;
    ws.FlatDetector = f.RFlat ? 1 : 0;
    f.ELength = FormatNumber(g.Length, 7, 4);
    f.ERadius = FormatNumber(g.Radius, 7, 4);
    ws.Distance = g.Kind == PowderGeometry::Cylinder ? g.Radius : g.Distance;
    ws.DSize = g.Kind == PowderGeometry::Flat ? g.DSize : g.Length;
}

// A frame of `g` showing the rings of `spacings` (the first `rings` of them
// that the frame can show, relative heights from `heights`, cycled) as
// Gaussians in 2-theta of standard deviation `sigma` degrees over a
// background of 40 counts, with noise of about the square root of the
// counts. The frame is mapped with `g`; it is left loaded.
inline void DrawPowderFrame(Workspace& ws, Host& host, const PowderGeometry& g, const std::vector<double>& spacings,
                            const std::vector<double>& heights, double sigma = 0.06, uint32_t seed = 7) {
    ws.FramePixels.Intensity.assign(g.Width, g.Height, 0);
    ws.LastFileIndex = 0;
    ws.FileList = {"powder.orv"};
    ws.CurrentFile = "powder.orv";
    SetPowderGeometry(ws, g);
    if (!ComputeFrameGeometry(ws, host)) throw std::runtime_error("geometry refused");
    std::vector<double> peaks;
    for (double d : spacings) {
        const double s = g.Landa / (2 * d);
        if (s < 1) peaks.push_back(2 * std::asin(s) * 180 / std::numbers::pi);
    }
    std::mt19937 noise(seed);
    for (int32_t i = 1; i <= g.Width; ++i)
        for (int32_t j = 1; j <= g.Height; ++j) {
            const double t = ws.FramePixels.TwoTheta[i][j];
            double counts = 40;
            for (size_t k = 0; k < peaks.size(); ++k) {
                const double x = (t - peaks[k]) / sigma;
                if (std::abs(x) < 8) counts += 2000 * heights[k % heights.size()] / 100 * std::exp(-x * x / 2);
            }
            // Uniform noise of the Poisson spread, from the generator's own bits.
            const double u = static_cast<double>(noise()) / 4294967296.0 - 0.5;
            ws.FramePixels.Intensity[i][j] = static_cast<int32_t>(std::lround(counts + u * 3.4 * std::sqrt(counts)));
        }
}

// The same geometry moved off: the distance (or the cylinder's radius) by
// `distanceFactor`, the centre by (dx, dy) pixels.
inline PowderGeometry Misplaced(PowderGeometry g, double distanceFactor, double dx, double dy) {
    g.Xo += dx;
    g.Yo += dy;
    if (g.Kind == PowderGeometry::Cylinder) g.Radius *= distanceFactor;
    else g.Distance *= distanceFactor;
    return g;
}

} // namespace orv::test

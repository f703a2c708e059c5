#pragma once
// Ring frames rendered by pyFAI from a known geometry
// (tests/data/centre/make_frames.py) for the centre and line-scan
// benchmarks. ORV_CENTRE_FRAMES names the folder the script wrote (its
// "bench" frames); without it the small frames of the tests are used.

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "workspace/geometry.h"
#include "workspace/host.h"
#include "workspace/workspace.h"

namespace orv::bench {

struct Rendered {
    std::string Name;
    int32_t Width = 0, Height = 0;
    double Landa = 0, Distance = 0, DSize = 0, Xo = 0, Yo = 0, TwoThetaD = 0;
    bool Vertical = false;
    double DistancePixels() const { return Distance * std::max(Width, Height) / DSize; }
};

inline std::string RenderedFolder() {
    if (const char* f = std::getenv("ORV_CENTRE_FRAMES")) return f;
    return std::string(ORV_SOURCE_DIR) + "/tests/data/centre";
}

// The first frame of frames.txt whose name begins with `prefix`, or none.
inline const Rendered* FindRendered(const std::string& prefix) {
    static const std::vector<Rendered> frames = [] {
        std::ifstream in(RenderedFolder() + "/frames.txt");
        std::vector<Rendered> all;
        std::string line;
        while (std::getline(in, line)) {
            if (line.empty() || line[0] == '#') continue;
            std::istringstream f(line);
            Rendered r;
            int vertical = 0;
            f >> r.Name >> r.Width >> r.Height >> r.Landa >> r.Distance >> r.DSize >> r.Xo >> r.Yo >> r.TwoThetaD >> vertical;
            r.Vertical = vertical != 0;
            if (f) all.push_back(r);
        }
        return all;
    }();
    for (const Rendered& r : frames)
        if (r.Name.rfind(prefix, 0) == 0) return &r;
    return nullptr;
}

// The d-spacings of the frame's rings (NAME.rings.txt).
inline std::vector<double> RenderedRings(const Rendered& r) {
    std::ifstream in(RenderedFolder() + "/" + r.Name + ".rings.txt");
    std::vector<double> d;
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        d.push_back(std::stod(line));
    }
    return d;
}

// The frame with the geometry it was rendered with, as a reader leaves it,
// shown 1:1.
inline void LoadRendered(Workspace& ws, Host& host, const Rendered& r) {
    ws.FramePixels.Blank(r.Width, r.Height);
    ws.FrameWidth = r.Width;
    ws.FrameHeight = r.Height;
    ws.FrameSize = std::max(r.Width, r.Height);
    ws.DisplayWidth = r.Width;
    ws.LastFileIndex = 0;
    ws.FileList = {r.Name + ".orv"};
    ws.CurrentFile = ws.FileList[0];
    ws.Landa = r.Landa;
    ws.Distance = r.Distance;
    ws.DSize = r.DSize;
    ws.Xo = r.Xo;
    ws.Yo = r.Yo;
    ws.TwoThetaD = r.TwoThetaD;
    ws.Form28.CBVertical = r.Vertical;
    std::ifstream in(RenderedFolder() + "/" + r.Name + ".i32", std::ios::binary);
    std::vector<int32_t> row(static_cast<size_t>(r.Width));
    for (int32_t j = 1; j <= r.Height; ++j) {
        if (!in.read(reinterpret_cast<char*>(row.data()), static_cast<std::streamsize>(row.size() * 4)))
            throw std::runtime_error("short frame " + r.Name);
        for (int32_t i = 1; i <= r.Width; ++i) ws.FramePixels.Intensity[i][j] = row[static_cast<size_t>(i - 1)];
    }
    ComputeFrameGeometry(ws, host);
}

} // namespace orv::bench

// The automatic centre search on ring frames rendered by pyFAI from a known
// geometry (tests/data/centre/make_frames.py): how often, how exactly and
// how fast "Auto" comes back from starts at several distances and
// directions. ORV_CENTRE_FRAMES names the folder the script wrote (its
// "bench" frames); without it the small frames of the tests are used.

#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <numbers>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/numbers.h"
#include "workspace/centre_search.h"
#include "workspace/geometry.h"
#include "workspace/host.h"
#include "workspace/workspace.h"

using namespace orv;

namespace {

struct Rendered {
    std::string Name;
    int32_t Width = 0, Height = 0;
    double Landa = 0, Distance = 0, DSize = 0, Xo = 0, Yo = 0, TwoThetaD = 0;
    bool Vertical = false;
    double DistancePixels() const { return Distance * std::max(Width, Height) / DSize; }
};

std::string Folder() {
    if (const char* f = std::getenv("ORV_CENTRE_FRAMES")) return f;
    return std::string(ORV_SOURCE_DIR) + "/tests/data/centre";
}

std::vector<Rendered> ReadFrameTable() {
    std::ifstream in(Folder() + "/frames.txt");
    std::vector<Rendered> frames;
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream f(line);
        Rendered r;
        int vertical = 0;
        f >> r.Name >> r.Width >> r.Height >> r.Landa >> r.Distance >> r.DSize >> r.Xo >> r.Yo >> r.TwoThetaD >> vertical;
        r.Vertical = vertical != 0;
        if (f) frames.push_back(r);
    }
    return frames;
}

// The frame with the geometry it was rendered with, as a reader leaves it.
void Load(Workspace& ws, Host& host, const Rendered& r) {
    ws.FramePixels.Blank(r.Width, r.Height);
    ws.FrameWidth = r.Width;
    ws.FrameHeight = r.Height;
    ws.FrameSize = std::max(r.Width, r.Height);
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
    std::ifstream in(Folder() + "/" + r.Name + ".i32", std::ios::binary);
    std::vector<int32_t> row(static_cast<size_t>(r.Width));
    for (int32_t j = 1; j <= r.Height; ++j) {
        if (!in.read(reinterpret_cast<char*>(row.data()), static_cast<std::streamsize>(row.size() * 4)))
            throw std::runtime_error("short frame " + r.Name);
        for (int32_t i = 1; i <= r.Width; ++i) ws.FramePixels.Intensity[i][j] = row[static_cast<size_t>(i - 1)];
    }
    ComputeFrameGeometry(ws, host);
}

const Rendered* FindFrame(const std::string& prefix) {
    static const std::vector<Rendered> frames = ReadFrameTable();
    for (const Rendered& r : frames)
        if (r.Name.rfind(prefix, 0) == 0) return &r;
    return nullptr;
}

void StartFrom(Workspace& ws, double x, double y) {
    TForm27& f = ws.Form27;
    f.EXoM = FormatNumber(x);
    f.EYoM = FormatNumber(y);
    f.CBInitPos = f.CBXo = f.CBYo = true;
    f.RAuto = true;
    f.RCircle = f.RSector = f.RGravity = f.RBDBeam = false;
}

// Starts at `percent` of the distance in pixels from the true centre in
// eight directions; counts centres found within 0.1 pixel, centres reported
// elsewhere ("wrong") and searches that found none (the start kept).
void CentreAccuracy(benchmark::State& state, const std::string& prefix, double percent) {
    const Rendered* r = FindFrame(prefix);
    if (!r) {
        state.SkipWithError("no such frame");
        return;
    }
    Workspace ws;
    RecordingHost host;
    Load(ws, host, *r);
    const double reach = percent / 100 * r->DistancePixels();
    int exact = 0, wrong = 0, none = 0;
    double worst = 0, sum = 0;
    const auto began = std::chrono::steady_clock::now();
    for (auto _ : state) {
        exact = wrong = none = 0;
        worst = sum = 0;
        for (int k = 0; k < 8; ++k) {
            const double a = (10 + 45 * k) * std::numbers::pi / 180;
            const double x = r->Xo + reach * std::cos(a), y = r->Yo + reach * std::sin(a);
            ws.Xo = r->Xo;
            ws.Yo = r->Yo;
            ComputeFrameGeometry(ws, host, ws.Xo, ws.Yo);
            StartFrom(ws, x, y);
            const std::string problem = FindCentre(ws, host, false);
            const double error = std::hypot(ws.Xo - r->Xo, ws.Yo - r->Yo);
            if (std::getenv("ORV_CENTRE_VERBOSE"))
                std::fprintf(stderr, "%s %g%% dir %d: %.3f px %s\n", r->Name.c_str(), percent, k, error, problem.c_str());
            if (!problem.empty()) {
                ++none;
            } else if (error <= 0.1) {
                ++exact;
                worst = std::max(worst, error);
                sum += error;
            } else {
                ++wrong;
                worst = std::max(worst, error);
            }
        }
    }
    state.counters["ms_per_search"] =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - began).count() / 8;
    state.counters["start_px"] = reach;
    state.counters["exact"] = exact;
    state.counters["wrong"] = wrong;
    state.counters["none"] = none;
    state.counters["worst_px"] = worst;
    state.counters["mean_exact_px"] = exact ? sum / exact : 0;
}

void RegisterAccuracy() {
    for (const char* frame : {"dense_mo", "textured", "vtilt_noisy", "htilt_noisy"})
        for (double percent : {1.0, 2.0, 3.0, 5.0, 8.0, 15.0})
            benchmark::RegisterBenchmark(("CentreAccuracy/" + std::string(frame) + "/" + FormatGeneral(percent) + "%").c_str(),
                                         [=](benchmark::State& s) { CentreAccuracy(s, frame, percent); })
                ->Iterations(1)
                ->Unit(benchmark::kMillisecond);
}

const int Registered = (RegisterAccuracy(), 0);

} // namespace

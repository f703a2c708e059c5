// The automatic centre search on ring frames rendered by pyFAI from a known
// geometry (tests/data/centre/make_frames.py): how often, how exactly and
// how fast "Auto" comes back from starts at several distances and
// directions (see rendered_frames.h for the frames used).

#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <numbers>
#include <string>

#include "base/numbers.h"
#include "rendered_frames.h"
#include "workspace/centre_search.h"
#include "workspace/geometry.h"
#include "workspace/host.h"
#include "workspace/workspace.h"

using namespace orv;

namespace {

using bench::FindRendered;
using bench::LoadRendered;
using bench::Rendered;

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
    const Rendered* r = FindRendered(prefix);
    if (!r) {
        state.SkipWithError("no such frame");
        return;
    }
    Workspace ws;
    RecordingHost host;
    LoadRendered(ws, host, *r);
    const double reach = percent / 100 * r->DistancePixels();
    int exact = 0, wrong = 0, none = 0;
    double worstExact = 0, worstWrong = 0;
    const auto began = std::chrono::steady_clock::now();
    for (auto _ : state) {
        exact = wrong = none = 0;
        worstExact = worstWrong = 0;
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
                worstExact = std::max(worstExact, error);
            } else {
                ++wrong;
                worstWrong = std::max(worstWrong, error);
            }
        }
    }
    state.counters["ms_per_search"] =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - began).count() / 8;
    state.counters["start_px"] = reach;
    state.counters["exact"] = exact;
    state.counters["wrong"] = wrong;
    state.counters["none"] = none;
    state.counters["worst_exact_px"] = worstExact;
    state.counters["worst_wrong_px"] = worstWrong;
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

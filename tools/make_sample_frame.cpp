// Makes the bundled sample frame: a synthetic powder pattern of silicon
// (cubic, a = 5.4309 A) on a flat, untilted 512 x 512 detector, written in
// the program's own ".orv" format. The geometry is documented in
// data/README.md. Usage: make_sample_frame [output.orv]
//
// The pattern is computed here from the diffraction formulas directly, so
// the program's own geometry code can be checked against it.

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>

#include "formats/native_frame.h"
#include "workspace/workspace.h"

namespace {

constexpr int Size = 512;
constexpr double Wavelength = 0.7093;      // Mo K-alpha 1, angstrom
constexpr double DistanceMm = 61.54;
constexpr double DetectorMm = 61.0;
constexpr double CentreX = 256.0, CentreY = 256.0;
constexpr double LatticeA = 5.4309;        // silicon, angstrom
constexpr double SigmaDeg = 0.08;          // ring width (Gaussian sigma)

struct Reflection {
    int h, k, l;
    double height;
};
constexpr Reflection Reflections[] = {
    {1, 1, 1, 2000}, {2, 2, 0, 1100}, {3, 1, 1, 700}, {4, 0, 0, 250}, {3, 3, 1, 380},
};

// A small deterministic generator, so that every run writes the same file.
uint64_t state = 0x9E3779B97F4A7C15ull;
double Uniform() {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    return ((state >> 11) + 0.5) / 9007199254740992.0;
}
// Poisson-like counts: a normal approximation is plenty for a display sample.
int32_t Noisy(double mean) {
    double u1 = Uniform(), u2 = Uniform();
    double n = std::sqrt(-2 * std::log(u1)) * std::cos(2 * M_PI * u2);
    double v = mean + n * std::sqrt(mean);
    return v < 0 ? 0 : static_cast<int32_t>(std::lround(v));
}

} // namespace

int main(int argc, char** argv) {
    const std::string out = argc > 1 ? argv[1] : "data/sample.orv";
    orv::Workspace ws;
    ws.FrameWidth = ws.FrameHeight = ws.FrameSize = Size;
    ws.FramePixels.Blank(Size, Size);
    ws.Landa = Wavelength;
    ws.TwoThetaD = 0;
    ws.Distance = DistanceMm;
    ws.DSize = DetectorMm;
    ws.Xo = CentreX;
    ws.Yo = CentreY;

    const double distancePixels = Size * DistanceMm / DetectorMm;
    double ringAngles[std::size(Reflections)];
    for (size_t r = 0; r < std::size(Reflections); ++r) {
        const auto& f = Reflections[r];
        double d = LatticeA / std::sqrt(f.h * f.h + f.k * f.k + f.l * f.l);
        ringAngles[r] = 2 * std::asin(Wavelength / (2 * d)) * 180 / M_PI;
    }
    for (int i = 1; i <= Size; ++i) {
        for (int j = 1; j <= Size; ++j) {
            double rho = std::hypot(CentreX - i, j - CentreY);
            double tth = std::atan2(rho, distancePixels) * 180 / M_PI;
            double mean = 40 + 120 * std::exp(-tth / 6);
            for (size_t r = 0; r < std::size(Reflections); ++r) {
                double x = (tth - ringAngles[r]) / SigmaDeg;
                mean += Reflections[r].height * std::exp(-0.5 * x * x);
            }
            ws.FramePixels.Intensity[i][j] = Noisy(mean);
        }
    }
    // A beam stop shadow over the centre, as on a real frame.
    for (int i = 1; i <= Size; ++i)
        for (int j = 1; j <= Size; ++j)
            if (std::hypot(CentreX - i, j - CentreY) < 12) ws.FramePixels.Intensity[i][j] = 5;

    orv::WriteNativeFrame(ws, out);
    std::printf("wrote %s: %d x %d, rings at", out.c_str(), Size, Size);
    for (double a : ringAngles) std::printf(" %.3f", a);
    std::printf(" degrees 2-theta\n");
    return 0;
}

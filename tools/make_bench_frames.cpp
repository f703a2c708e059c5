// Writes the frames, settings, scripts and list of the whole-process
// benchmarks (bench/whole_process.sh): a 2048 x 2048 frame and 50 frames of
// 1024 x 1024, uncompressed 16-bit TIFF that every program reads, silicon
// rings over a falling background with counting noise, on a flat untilted
// detector of 0.1 mm pixels 150 mm from the sample (Mo K-alpha 1); the same
// frames again in the program's own layout (".orv", the geometry in the
// header), with a list of their own.
// Usage: make_bench_frames FOLDER

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "format_fixture_writers.h"

namespace {

namespace fs = std::filesystem;
namespace fx = orv::fixtures;

constexpr double Wavelength = 0.7093;   // angstrom
constexpr double DistanceMm = 150;
constexpr double PixelMm = 0.1;
constexpr double LatticeA = 5.4309;     // silicon
constexpr double SigmaDeg = 0.05;

void WriteFile(const fs::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        std::exit(1);
    }
}

void WriteLines(const fs::path& path, const std::vector<std::string>& lines) {
    std::string text;
    for (const auto& l : lines) text += l + "\r\n";
    WriteFile(path, text);
}

// A single-strip 16-bit TIFF with every tag a baseline reader expects
// (the fixture writer leaves out the strip byte counts, which some readers
// then look for the slow way).
std::string Tiff16(const fx::Image& img) {
    std::string out = "II";
    fx::Put16(out, 42);
    fx::Put32(out, 8);
    for (int64_t v : img.Values) fx::Put16(out, static_cast<uint64_t>(v));
    const size_t directory = out.size();
    fx::Put32At(out, 4, directory);
    const uint32_t bytes = static_cast<uint32_t>(img.Values.size() * 2);
    const uint32_t entries[][4] = {{256, 4, 1, static_cast<uint32_t>(img.Width)},
                                   {257, 4, 1, static_cast<uint32_t>(img.Height)},
                                   {258, 3, 1, 16},
                                   {259, 3, 1, 1},
                                   {262, 3, 1, 1},
                                   {273, 4, 1, 8},
                                   {277, 3, 1, 1},
                                   {278, 4, 1, static_cast<uint32_t>(img.Height)},
                                   {279, 4, 1, bytes}};
    fx::Put16(out, std::size(entries));
    for (const auto& e : entries) {
        fx::Put16(out, e[0]);
        fx::Put16(out, e[1]);
        fx::Put32(out, e[2]);
        fx::Put32(out, e[3]);
    }
    fx::Put32(out, 0);
    return out;
}

// The frame in the program's own layout: nine 32-bit integers (the magic,
// the geometry scaled by 10000, the size), then the rows of 32-bit pixels.
std::string Orv(const fx::Image& img, double xo, double yo) {
    std::string out;
    auto scaled = [](double v) { return static_cast<uint64_t>(static_cast<int64_t>(std::nearbyint(v * 10000))); };
    for (uint64_t v : {uint64_t{12345}, scaled(Wavelength), scaled(0), scaled(DistanceMm), scaled(img.Width * PixelMm),
                       static_cast<uint64_t>(img.Width), static_cast<uint64_t>(img.Height), scaled(xo), scaled(yo)})
        fx::Put32(out, v);
    for (int64_t v : img.Values) fx::Put32(out, static_cast<uint64_t>(v));
    return out;
}

// The beam centre of a frame of `side` pixels (columns, rows from 1).
double CentreX(int side) { return side * 0.4933; }
double CentreY(int side) { return side * 0.5032; }

fx::Image Frame(int side, uint32_t seed) {
    const int reflections[][3] = {{1, 1, 1}, {2, 2, 0}, {3, 1, 1}, {4, 0, 0}, {3, 3, 1}, {4, 2, 2}, {5, 1, 1}};
    const double heights[] = {2000, 1100, 700, 250, 380, 300, 200};
    std::vector<double> rings;
    for (const auto& r : reflections) {
        const double d = LatticeA / std::sqrt(double(r[0] * r[0] + r[1] * r[1] + r[2] * r[2]));
        rings.push_back(2 * std::asin(Wavelength / (2 * d)) * 180 / M_PI);
    }
    std::mt19937 random(seed);
    fx::Image img{side, side, std::vector<int64_t>(static_cast<size_t>(side) * side)};
    const double distancePixels = DistanceMm / PixelMm;
    const double xo = CentreX(side), yo = CentreY(side);
    for (int row = 0; row < side; ++row)
        for (int col = 0; col < side; ++col) {
            const double rho = std::hypot(col + 1 - xo, row + 1 - yo);
            const double tth = std::atan2(rho, distancePixels) * 180 / M_PI;
            double mean = 40 + 120 * std::exp(-tth / 6);
            for (size_t k = 0; k < rings.size(); ++k) {
                const double x = (tth - rings[k]) / SigmaDeg;
                mean += heights[k] * std::exp(-0.5 * x * x);
            }
            std::poisson_distribution<int> counts(mean);
            img.at(row, col) = std::min(counts(random), 65535);
        }
    return img;
}

// The Detector Settings a TIFF frame takes its geometry from, as a
// settings file, and the program folder whose Settings.txt loads it.
void WriteSettings(const fs::path& folder, int side) {
    const std::string name = "bench" + std::to_string(side);
    const fs::path set = fs::absolute(folder / (name + ".set"));
    char xo[32], yo[32], dsize[32];
    std::snprintf(xo, sizeof xo, "%.3f", CentreX(side));
    std::snprintf(yo, sizeof yo, "%.3f", CentreY(side));
    std::snprintf(dsize, sizeof dsize, "%.3f", side * PixelMm);
    WriteLines(set, {xo, yo, "0.7093", "0.000", "0", "150.000", dsize, "bench", "bench", "0", "1", "466.0", "20.0",
                     "130.2", "0", "100", std::to_string(side), std::to_string(side), "0.000"});
    fs::create_directories(folder / ("home" + std::to_string(side)));
    WriteLines(folder / ("home" + std::to_string(side)) / "Settings.txt",
               {set.string(), fs::absolute(folder).string(), fs::absolute(folder).string()});
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: make_bench_frames FOLDER\n");
        return 2;
    }
    const fs::path folder = argv[1];
    fs::create_directories(folder / "frames1024");
    const fx::Image large = Frame(2048, 1);
    WriteFile(folder / "frame2048.tif", Tiff16(large));
    WriteFile(folder / "frame2048.orv", Orv(large, CentreX(2048), CentreY(2048)));
    // The smallest frame the TIFF reader takes: the program's memory without a large frame.
    WriteFile(folder / "frame256.tif", Tiff16(Frame(256, 2)));
    WriteSettings(folder, 2048);
    WriteSettings(folder, 1024);
    // The sector: 2-theta 5..40, psi 20..110; its 2-theta scan saved as ".xy".
    const std::vector<std::string> scan = {"SETANGRA 5 40 20 110", "SAVE2THS 1"};
    std::vector<std::string> last = scan;
    last.push_back("ENDAPPLI");
    WriteLines(folder / "scan.txt", last);
    WriteLines(folder / "scan_frame.txt", scan);
    WriteLines(folder / "scan_last.txt", last);
    std::vector<std::string> list, orvList;
    for (int k = 0; k < 50; ++k) {
        char name[32];
        std::snprintf(name, sizeof name, "frame_%02d", k);
        const fs::path path = fs::absolute(folder / "frames1024" / name);
        const fx::Image img = Frame(1024, 100 + k);
        WriteFile(path.string() + ".tif", Tiff16(img));
        WriteFile(path.string() + ".orv", Orv(img, CentreX(1024), CentreY(1024)));
        const std::string script = fs::absolute(folder / (k == 49 ? "scan_last.txt" : "scan_frame.txt")).string();
        for (auto [to, ext] : {std::pair{&list, ".tif"}, std::pair{&orvList, ".orv"}}) {
            to->push_back("FILE " + path.string() + ext);
            to->push_back("SCRT " + script);
        }
    }
    WriteLines(folder / "run50.lst", list);
    WriteLines(folder / "run50_orv.lst", orvList);
    // The first frame alone, with the script that ends the program: the
    // start and end of a run, for the cost of a frame after start-up.
    const std::string ending = "SCRT " + fs::absolute(folder / "scan_last.txt").string();
    WriteLines(folder / "run1.lst", {list[0], ending});
    WriteLines(folder / "run1_orv.lst", {orvList[0], ending});
    return 0;
}

// Writes the reference-pattern database shipped with the program
// (data/mineral.min; data/mineral.md says where every number comes from).
//
//   make_mineral_database OUT.min          writes the database
//   make_mineral_database --check FILE     exits 1 unless FILE holds exactly it
//
// Every line's d-spacing is computed from the phase's lattice constants; the
// relative intensities are those of the published powder pattern. Each
// published line is checked against the space group's reflection
// conditions, so a misprinted index cannot slip in, and the allowed
// reflections that the publication does not list (too weak to be seen) are
// reported on standard error.

#include <cmath>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "scans/mineral_database.h"
#include "workspace/text_files.h"

namespace {

using namespace orv;

enum class Lattice { Cubic, Tetragonal, Hexagonal };

struct Line {
    int h, k, l;
    double I;
};

struct Phase {
    const char* Name;
    const char* Formula;
    Lattice System;
    double a, c;                         // angstrom (c unused for cubic)
    bool (*Allowed)(int h, int k, int l);
    std::vector<Line> Lines;             // as published, strongest first not required
};

bool Even(int v) { return v % 2 == 0; }

// Reflection conditions of the space groups used.
bool Primitive(int, int, int) { return true; }                                       // Pm-3m
bool BodyCentred(int h, int k, int l) { return Even(h + k + l); }                     // Im-3m
bool FaceCentred(int h, int k, int l) { return Even(h + k) && Even(k + l); }          // Fm-3m
bool Diamond(int h, int k, int l) {                                                  // Fd-3m
    if (!FaceCentred(h, k, l)) return false;
    return !Even(h) || (h + k + l) % 4 == 0;
}
bool Corundum(int h, int k, int l) {                                                 // R-3c, hexagonal axes, obverse
    if ((-h + k + l) % 3 != 0) return false;
    return !(h == 0 || k == 0 || h + k == 0) || Even(l);
}
bool Wurtzite(int h, int k, int l) {                                                 // P6_3mc
    const int i = -(h + k);
    return !(h == k || k == i || h == i) || Even(l);
}
bool Rutile(int h, int k, int l) {                                                   // P4_2/mnm
    if (h == 0 && !Even(k + l)) return false;
    if (k == 0 && !Even(h + l)) return false;
    return true;
}
bool Anatase(int h, int k, int l) {                                                  // I4_1/amd
    if (!Even(h + k + l)) return false;
    if (l == 0 && !(Even(h) && Even(k))) return false;
    if (std::abs(h) == std::abs(k) && (2 * std::abs(h) + std::abs(l)) % 4 != 0) return false;
    return true;
}
bool Quartz(int h, int k, int l) { return !(h == 0 && k == 0) || l % 3 == 0; }       // P3_221

double Spacing(const Phase& p, int h, int k, int l) {
    double inv = 0;
    switch (p.System) {
    case Lattice::Cubic: inv = (h * h + k * k + l * l) / (p.a * p.a); break;
    case Lattice::Tetragonal: inv = (h * h + k * k) / (p.a * p.a) + l * l / (p.c * p.c); break;
    case Lattice::Hexagonal: inv = 4.0 / 3.0 * (h * h + h * k + k * k) / (p.a * p.a) + l * l / (p.c * p.c); break;
    }
    return 1 / std::sqrt(inv);
}

// The phases, their lattice constants and their published lines (hkl,
// relative intensity); sources in data/mineral.md. Each name begins with the
// formula, so that a script finds a pattern by the formula typed; a
// formula that begins another (Al, Al2O3) comes first.
std::vector<Phase> Phases() {
    return {
        {"Si silicon (SRM 640e)", "Si", Lattice::Cubic, 5.431179, 0, Diamond,
         {{1, 1, 1, 100}, {2, 2, 0, 55}, {3, 1, 1, 30}, {4, 0, 0, 6}, {3, 3, 1, 11}, {4, 2, 2, 12},
          {5, 1, 1, 6}, {4, 4, 0, 3}, {5, 3, 1, 7}, {6, 2, 0, 8}, {5, 3, 3, 3}}},
        {"LaB6 (SRM 660c)", "LaB6", Lattice::Cubic, 4.156826, 0, Primitive,
         {{1, 0, 0, 60}, {1, 1, 0, 100}, {1, 1, 1, 41}, {2, 0, 0, 23}, {2, 1, 0, 53}, {2, 1, 1, 24},
          {2, 2, 0, 11}, {3, 0, 0, 31}, {3, 1, 0, 16}, {3, 1, 1, 6}}},
        {"CeO2 ceria (SRM 674b)", "CeO2", Lattice::Cubic, 5.411651, 0, FaceCentred,
         {{1, 1, 1, 100}, {2, 0, 0, 29}, {2, 2, 0, 51}, {3, 1, 1, 44}, {2, 2, 2, 5}, {4, 0, 0, 5},
          {3, 3, 1, 15}, {4, 2, 0, 8}, {4, 2, 2, 12}, {5, 1, 1, 9}}},
        {"Al aluminium", "Al", Lattice::Cubic, 4.0494, 0, FaceCentred,
         {{1, 1, 1, 100}, {2, 0, 0, 47}, {2, 2, 0, 22}, {3, 1, 1, 24}, {2, 2, 2, 7}, {4, 0, 0, 2},
          {3, 3, 1, 8}, {4, 2, 0, 8}, {4, 2, 2, 8}}},
        {"Al2O3 corundum (SRM 676a)", "Al2O3", Lattice::Hexagonal, 4.759397, 12.99237, Corundum,
         {{0, 1, 2, 75}, {1, 0, 4, 90}, {1, 1, 0, 40}, {1, 1, 3, 100}, {0, 2, 4, 45}, {1, 1, 6, 80},
          {0, 1, 8, 8}, {2, 1, 4, 30}, {3, 0, 0, 50}, {1, 0, 10, 16}, {1, 1, 9, 8}}},
        {"ZnO zincite", "ZnO", Lattice::Hexagonal, 3.2498, 5.2066, Wurtzite,
         {{1, 0, 0, 57}, {0, 0, 2, 44}, {1, 0, 1, 100}, {1, 0, 2, 23}, {1, 1, 0, 32}, {1, 0, 3, 29},
          {2, 0, 0, 4}, {1, 1, 2, 23}, {2, 0, 1, 11}, {0, 0, 4, 2}, {2, 0, 2, 4}}},
        {"TiO2 rutile", "TiO2", Lattice::Tetragonal, 4.5933, 2.9592, Rutile,
         {{1, 1, 0, 100}, {1, 0, 1, 50}, {2, 0, 0, 8}, {1, 1, 1, 25}, {2, 1, 0, 10}, {2, 1, 1, 60},
          {2, 2, 0, 20}, {0, 0, 2, 10}, {3, 1, 0, 10}, {3, 0, 1, 20}, {1, 1, 2, 12}}},
        {"TiO2 anatase", "TiO2", Lattice::Tetragonal, 3.7852, 9.5139, Anatase,
         {{1, 0, 1, 100}, {1, 0, 3, 10}, {0, 0, 4, 20}, {1, 1, 2, 10}, {2, 0, 0, 35}, {1, 0, 5, 20},
          {2, 1, 1, 20}, {2, 1, 3, 4}, {2, 0, 4, 14}, {1, 1, 6, 6}, {2, 2, 0, 6}, {2, 1, 5, 10}}},
        {"NaCl halite", "NaCl", Lattice::Cubic, 5.6402, 0, FaceCentred,
         {{1, 1, 1, 13}, {2, 0, 0, 100}, {2, 2, 0, 55}, {3, 1, 1, 2}, {2, 2, 2, 15}, {4, 0, 0, 6},
          {3, 3, 1, 1}, {4, 2, 0, 11}, {4, 2, 2, 7}, {5, 1, 1, 1}, {4, 4, 0, 2}, {5, 3, 1, 1},
          {6, 0, 0, 3}, {6, 2, 0, 4}}},
        {"SiO2 quartz (alpha)", "SiO2", Lattice::Hexagonal, 4.913, 5.405, Quartz,
         {{1, 0, 0, 22}, {1, 0, 1, 100}, {1, 1, 0, 8}, {1, 0, 2, 8}, {1, 1, 1, 4}, {2, 0, 0, 6},
          {2, 0, 1, 4}, {1, 1, 2, 14}, {2, 0, 2, 4}, {2, 1, 1, 9}, {2, 1, 2, 6}, {2, 0, 3, 7},
          {3, 0, 1, 8}}},
        {"Au gold", "Au", Lattice::Cubic, 4.0786, 0, FaceCentred,
         {{1, 1, 1, 100}, {2, 0, 0, 52}, {2, 2, 0, 32}, {3, 1, 1, 36}, {2, 2, 2, 12}, {4, 0, 0, 6},
          {3, 3, 1, 23}, {4, 2, 0, 22}, {4, 2, 2, 23}}},
        {"Cu copper", "Cu", Lattice::Cubic, 3.6150, 0, FaceCentred,
         {{1, 1, 1, 100}, {2, 0, 0, 46}, {2, 2, 0, 20}, {3, 1, 1, 17}, {2, 2, 2, 5}, {4, 0, 0, 3},
          {3, 3, 1, 9}, {4, 2, 0, 8}}},
        {"Fe iron (alpha)", "Fe", Lattice::Cubic, 2.8664, 0, BodyCentred,
         {{1, 1, 0, 100}, {2, 0, 0, 20}, {2, 1, 1, 30}, {2, 2, 0, 10}, {3, 1, 0, 12}, {2, 2, 2, 6}}},
    };
}

std::string HklText(const Line& l) {
    return std::to_string(l.h) + " " + std::to_string(l.k) + " " + std::to_string(l.l);
}

// Allowed reflections down to the smallest published d that no published
// line accounts for, grouped by d (equal d within 1e-4 A).
void ReportUnlisted(const Phase& p, double minD) {
    std::map<long, std::string> allowed;
    const int n = 12;
    for (int h = -n; h <= n; ++h)
        for (int k = -n; k <= n; ++k)
            for (int l = -n; l <= n; ++l) {
                if ((h == 0 && k == 0 && l == 0) || !p.Allowed(h, k, l)) continue;
                const double d = Spacing(p, h, k, l);
                if (d < minD - 1e-4) continue;
                const long key = std::lround(d * 1e4);
                if (!allowed.count(key)) allowed[key] = std::to_string(h) + " " + std::to_string(k) + " " + std::to_string(l);
            }
    for (const Line& l : p.Lines) {
        const long key = std::lround(Spacing(p, l.h, l.k, l.l) * 1e4);
        for (long near = key - 1; near <= key + 1; ++near) allowed.erase(near);
    }
    for (auto it = allowed.rbegin(); it != allowed.rend(); ++it)
        std::fprintf(stderr, "  %s: allowed, not listed: d = %.4f (%s)\n", p.Name, it->first / 1e4, it->second.c_str());
}

std::vector<MineralRecord> Build(bool report) {
    std::vector<MineralRecord> records;
    for (const Phase& p : Phases()) {
        MineralRecord r;
        r.Name = p.Name;
        r.Formula = p.Formula;
        double minD = 1e9;
        for (const Line& l : p.Lines) {
            if (!p.Allowed(l.h, l.k, l.l)) {
                std::fprintf(stderr, "%s: %s is not an allowed reflection\n", p.Name, HklText(l).c_str());
                std::exit(2);
            }
            MineralLine& out = r.Line[static_cast<size_t>(r.LineCount++)];
            out.Hkl = HklText(l);
            out.D = std::round(Spacing(p, l.h, l.k, l.l) * 1e5) / 1e5;
            out.Intensity = l.I;
            minD = std::min(minD, out.D);
        }
        if (report) ReportUnlisted(p, minD);
        records.push_back(r);
    }
    return records;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "--check") {
        std::string expected;
        for (const MineralRecord& r : Build(false)) expected += PackMineralRecord(r);
        try {
            if (ReadWholeFile(argv[2]) == expected) return 0;
        } catch (const FileError& e) {
            std::fprintf(stderr, "%s\n", e.what());
            return 1;
        }
        std::fprintf(stderr, "%s differs from the generated database\n", argv[2]);
        return 1;
    }
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_mineral_database OUT.min | --check FILE\n");
        return 2;
    }
    try {
        WriteMineralFile(argv[1], Build(true), "");
    } catch (const FileError& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}

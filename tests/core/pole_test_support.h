#pragma once
// Slice and popLA files written the way other programs lay them out, for the
// pole-figure tests: every number through printf's own field formatting,
// never through the program's writers.

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "test_support.h"

namespace orv::test {

// A slice-file line: the name, a blank, 360 fields "%10lld".
inline std::string SliceLine(const std::string& name, const std::function<long long(int)>& slice) {
    std::string line = name + " ";
    char field[32];
    for (int d = 0; d < 360; ++d) {
        std::snprintf(field, sizeof field, "%10lld", slice(d));
        line += field;
    }
    return line;
}

// A slice file of frames "series.NNN" for the given frame numbers, frame m's
// slice d being value(m, d).
inline void WriteSliceFile(const std::string& path, const std::vector<int>& frames,
                           const std::function<long long(int, int)>& value) {
    std::string text = "2Theta integration range =10.000 to 11.000 Psi range = 0 to 360; SlicesWidth = 1.000\r\n";
    char name[32];
    for (int m : frames) {
        std::snprintf(name, sizeof name, "series.%03d", m);
        text += SliceLine(name, [&](int d) { return value(m, d); }) + "\r\n";
    }
    WriteBytes(path, text);
}

inline std::vector<int> FrameRange(int first, int last) {
    std::vector<int> v;
    for (int m = first; m <= last; ++m) v.push_back(m);
    return v;
}

// A popLA figure in the columns of the format's Fortran readers: the title,
// the header "(A5,4F5.1,5I2,2I5)", then per psi ring four lines of a blank
// and I4 fields (18, 18, 18, and `lastLine` = 18 or 19 values).
inline std::string PopLAText(const std::string& title, const std::function<int(int row, int ring)>& value,
                             int lastLine = 19, int factor = 100) {
    std::string text = title + "\r\n";
    char buf[64];
    std::snprintf(buf, sizeof buf, "%-5s%5.1f%5.1f%5.1f%5.1f%2d%2d%2d%2d%2d%5d%5d", "(111)", 5.0, 80.0, 5.0, 360.0, 1, 1,
                  2, -1, 3, 100, factor);
    text += std::string(buf) + "\r\n";
    for (int ring = 0; ring <= 18; ++ring) {
        for (int part = 0; part < 4; ++part) {
            std::string line = " ";
            const int count = part == 3 ? lastLine : 18;
            for (int k = 0; k < count; ++k) {
                std::snprintf(buf, sizeof buf, "%4d", value(part * 18 + k, ring));
                line += buf;
            }
            text += line + "\r\n";
        }
    }
    return text + "\r\n";
}

} // namespace orv::test

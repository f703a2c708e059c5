// Pole-figure files: the bytes as a slice file (5- and 10-degree grids, any
// phi axis) and as a popLA file. A parser may refuse them with a message;
// anything else (a crash, a sanitizer report, an exception) is a finding.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "polefig/pole_files.h"

namespace {

std::vector<std::string> Lines(const uint8_t* data, size_t size) {
    std::vector<std::string> lines;
    std::string line;
    for (size_t i = 0; i < size; ++i) {
        const char c = static_cast<char>(data[i]);
        if (c == '\n') {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            lines.push_back(line);
            line.clear();
        } else {
            line.push_back(c);
        }
    }
    if (!line.empty()) lines.push_back(line);
    return lines;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::vector<std::string> lines = Lines(data, size);
    std::string message;
    for (double phiStep : {5.0, 10.0, 2.0}) {
        std::vector<orv::SliceFileFrame> frames;
        if (!orv::ParseSliceFile(lines, orv::PoleRowCount(phiStep), frames, message)) continue;
        std::vector<int64_t> cells;
        for (int axis : {0, 145, 360}) orv::AssemblePoleGrid(frames, axis, phiStep, phiStep == 2.0 ? 0.25 : 5.0, cells);
    }
    orv::PoleGridArray grid;
    if (orv::ParsePopLA(lines, grid, message)) orv::FormatPopLAFigure(grid, "t", "100", grid.at(0, 0));
    return 0;
}

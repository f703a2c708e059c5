#include "polefig/pole_files.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <string_view>

#include "workspace/host.h"
#include "base/numbers.h"
#include "workspace/text_files.h"
#include "workspace/workspace.h"

namespace orv {

namespace {

const char* const FormatMessage = "Error, please check data format!";
const char* const ExtensionMessage = "Error, please check data format or file extension!";
const char* const PhiAxisMessage = "Error, PhiAxis angle outside range!";
constexpr int MinSliceLines = 6;
constexpr int SliceDataWidth = PoleSliceCount * SliceFieldWidth;

std::string_view TrimBlanks(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
    return s;
}

// A whole number of a fixed-width field, leading and trailing blanks
// allowed; throws ConversionError.
int64_t ParseField(std::string_view field) {
    std::string_view s = TrimBlanks(field);
    if (!s.empty() && s.front() == '+') s.remove_prefix(1);
    int64_t v = 0;
    auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), v, 10);
    if (s.empty() || ec != std::errc() || ptr != s.data() + s.size()) throw ConversionError(std::string(field));
    return v;
}

int32_t Saturate32(int64_t v) {
    return static_cast<int32_t>(std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(),
                                                    std::numeric_limits<int32_t>::max()));
}

// Row `row`, column `column` of the assembly's cells.
int64_t& Cell(std::vector<int64_t>& cells, int row, int column) {
    if (row < 0 || row >= PoleGridRows || column < 0 || column >= PoleGridColumns)
        throw std::out_of_range("pole grid cell outside the grid");
    return cells[static_cast<size_t>(row) * PoleGridColumns + static_cast<size_t>(column)];
}

// Records a failed load: the message, and the flag the callers test.
bool Fail(Workspace& ws, Host& host, const std::string& message) {
    ws.Poles.PoleFileLoaded = false;
    host.message(message);
    return false;
}

void RecordSlotMaximum(PoleGridBlock& p) {
    if (p.PoleSlot >= 1 && p.PoleSlot <= PoleViewerSlots) p.PoleSlotMax[static_cast<size_t>(p.PoleSlot)] = p.PoleMax;
    p.PoleFileLoaded = true;
}

} // namespace

// ---- Slice files ------------------------------------------------------------

std::string SliceFileHeader(double twoTheta1, double twoTheta2, double sliceWidth) {
    return "2Theta integration range =" + FormatFixed(twoTheta1, 3) + " to " + FormatFixed(twoTheta2, 3) +
           " Psi range = 0 to 360; SlicesWidth = " + FormatFixed(sliceWidth, 3);
}

std::string SliceFileLine(const std::string& frameName, const std::vector<int32_t>& sums) {
    std::string line = frameName + " ";
    line.reserve(line.size() + sums.size() * SliceFieldWidth);
    for (int32_t v : sums) line += FormatIntWidth(v, SliceFieldWidth);
    return line;
}

int SliceFrameRow(const std::string& frameName) {
    const auto dot = frameName.rfind('.');
    if (dot == std::string::npos || frameName.size() - dot != 4) return 0;
    const std::string_view digits = std::string_view(frameName).substr(dot + 1);
    if (digits[0] != '0' && digits[0] != '1') return 0;
    int number = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') return 0;
        number = number * 10 + (c - '0');
    }
    return number + 1;
}

bool ParseSliceFile(const std::vector<std::string>& lines, int rowCount, std::vector<SliceFileFrame>& frames,
                    std::string& message) {
    frames.clear();
    if (lines.empty() || lines[0].compare(0, 10, "2Theta int") != 0) {
        message = FormatMessage;
        return false;
    }
    for (size_t l = 1; l < lines.size() && static_cast<int>(frames.size()) < rowCount; ++l) {
        const std::string_view text = TrimBlanks(lines[l]);
        if (text.empty()) continue;
        // Name and fields: a name with blanks is recognised by the exact
        // width of the fields behind it; otherwise the name ends at its blank.
        std::string_view name;
        size_t data = 0;
        const std::string_view line = std::string_view(lines[l]).substr(0, lines[l].find_last_not_of(" \t\r") + 1);
        if (line.size() > static_cast<size_t>(SliceDataWidth) && line[line.size() - SliceDataWidth - 1] == ' ') {
            data = line.size() - SliceDataWidth;
            name = line.substr(0, data - 1);
        } else {
            const auto blank = line.find(' ');
            if (blank == std::string_view::npos) {
                message = FormatMessage;
                return false;
            }
            name = line.substr(0, blank);
            data = blank + 1;
        }
        SliceFileFrame frame;
        frame.Name = std::string(name);
        frame.Row = SliceFrameRow(frame.Name);
        if (frame.Row < 1 || frame.Row > rowCount) {
            message = ExtensionMessage;
            return false;
        }
        for (int k = 0; k < PoleSliceCount; ++k) {
            const size_t at = data + static_cast<size_t>(k) * SliceFieldWidth;
            if (at + SliceFieldWidth > line.size()) {
                message = FormatMessage;
                return false;
            }
            try {
                frame.Slices[static_cast<size_t>(k)] = ParseField(line.substr(at, SliceFieldWidth));
            } catch (const ConversionError& e) {
                message = e.what();
                return false;
            }
        }
        frames.push_back(std::move(frame));
    }
    if (static_cast<int>(frames.size()) < MinSliceLines) {
        message = FormatMessage;
        return false;
    }
    return true;
}

int64_t AssemblePoleGrid(const std::vector<SliceFileFrame>& frames, int phiAxis, double phiStep, double psiStep,
                         std::vector<int64_t>& cells) {
    cells.assign(static_cast<size_t>(PoleGridRows) * PoleGridColumns, 0);
    const int R = PoleRowCount(phiStep);
    const int C = PoleColumnCount(psiStep);
    const int K = RoundToInt(180.0 / phiStep);
    const int L = RoundToInt(180.0 / phiStep + 2);

    // Rows indexed by frame number, cleared: a frame missing from the file
    // leaves its row empty.
    std::vector<std::array<int64_t, 181>> halfRings(static_cast<size_t>(R) + 1);
    std::vector<bool> present(static_cast<size_t>(R) + 1, false);
    int span = 0;   // the highest frame row: how far round the frames go
    for (const SliceFileFrame& f : frames) {
        if (f.Row < 1 || f.Row > R) continue;
        auto& ring = halfRings[static_cast<size_t>(f.Row)];
        for (int i = 0; i <= 180; ++i) {
            int d = phiAxis + i - 90;
            if (d < 0) d += 360;
            if (d >= 360) d -= 360;
            ring[static_cast<size_t>(i)] = f.Slices[static_cast<size_t>(d)];
        }
        present[static_cast<size_t>(f.Row)] = true;
        span = std::max(span, f.Row);
    }

    if (span <= L) {
        // Half a turn: each half ring crosses the whole plot, its first half
        // at the frame's phi, its second half opposite.
        for (int j = 1; j <= std::min(span, K); ++j) {
            if (!present[static_cast<size_t>(j)]) continue;
            const auto& ring = halfRings[static_cast<size_t>(j)];
            for (int i = 0; i <= 180; ++i) {
                if (i < 90) Cell(cells, j - 1, RoundToInt((90 - i) / psiStep)) += ring[static_cast<size_t>(i)];
                else Cell(cells, K + j - 1, RoundToInt((i - 90) / psiStep)) += ring[static_cast<size_t>(i)];
            }
        }
    } else {
        // A whole turn: the second halves alone fill every phi.
        for (int j = 1; j <= span; ++j) {
            if (!present[static_cast<size_t>(j)]) continue;
            const auto& ring = halfRings[static_cast<size_t>(j)];
            int row = K + j - 1;
            if (row > R - 1) row -= R;
            for (int i = 90; i <= 180; ++i) Cell(cells, row, RoundToInt((i - 90) / psiStep)) += ring[static_cast<size_t>(i)];
        }
    }
    int64_t best = 0;
    for (int c = 0; c <= C; ++c) Cell(cells, R, c) = Cell(cells, 0, c);
    for (int r = 0; r <= R; ++r)
        for (int c = 0; c <= C; ++c) best = std::max(best, Cell(cells, r, c));
    return best;
}

std::string PhiAxisProblem(const std::string& text) {
    double axis = 0;
    if (!TryParseNumber(text, axis)) return ConversionError(text).what();
    const int phiAxis = RoundToInt(axis);
    if (phiAxis < 0 || phiAxis > 360) return PhiAxisMessage;
    return {};
}

bool BuildPoleGrid(Workspace& ws, Host& host, const std::string& path) {
    PoleGridBlock& p = ws.Poles;
    double phiStep = 0, psiStep = 0;
    try {
        phiStep = ParseNumber(ws.Form16.Eincph);
        psiStep = ParseNumber(ws.Form16.Eincps);
    } catch (const ConversionError& e) {
        return Fail(ws, host, e.what());
    }
    std::string why;
    if (!PoleStepsFit(phiStep, psiStep, why)) return Fail(ws, host, why);

    std::vector<std::string> lines;
    uint64_t fileSize = 0;
    try {
        lines = ReadStartTextLines(path, SliceFileReadBytes, fileSize);
    } catch (const FileError& e) {
        return Fail(ws, host, e.what());
    }
    const int R = PoleRowCount(phiStep);
    const int C = PoleColumnCount(psiStep);
    std::vector<SliceFileFrame> frames;
    const bool parsed = ParseSliceFile(lines, R, frames, why);
    // Fewer frames than the grid takes from a file that goes on: the lines
    // it would use do not fit in what a slice file can hold.
    if (fileSize > SliceFileReadBytes && static_cast<int>(frames.size()) < R)
        return Fail(ws, host, FileBytes::TooLarge(path, fileSize, SliceFileReadBytes).what());
    if (!parsed) return Fail(ws, host, why);

    if (const std::string problem = PhiAxisProblem(ws.Form14.EPhiAxis); !problem.empty())
        return Fail(ws, host, problem);
    const int phiAxis = RoundToInt(ParseNumber(ws.Form14.EPhiAxis));

    std::vector<int64_t> cells;
    const int64_t rawMax = AssemblePoleGrid(frames, phiAxis, phiStep, psiStep, cells);

    p.PolePhiStep = phiStep;
    p.PolePsiStep = psiStep;
    p.PoleGrid.Clear();
    // Scaled to at most 9999 (a popLA field), then mirrored in phi: the
    // plot's phi runs the other way round than the frames' rotation.
    for (int r = 0; r <= R; ++r) {
        for (int c = 0; c <= C; ++c) {
            int64_t v = Cell(cells, r, c);
            if (rawMax > PoleScaleLimit)
                v = static_cast<int64_t>(std::trunc(static_cast<double>(v) / static_cast<double>(rawMax) * PoleScaleLimit));
            p.PoleGrid.at(R - r, c) = Saturate32(v);
        }
    }
    p.PoleMax = Saturate32(rawMax);
    RecordSlotMaximum(p);
    return true;
}

// ---- popLA files ------------------------------------------------------------

bool IsPopLAPath(const std::string& path) {
    const std::string ext = ToLower(FileExtension(path));
    return ext == ".epf" || ext == ".wpf";
}

bool ParsePopLA(const std::vector<std::string>& lines, PoleGridArray& grid, std::string& message) {
    constexpr size_t linesPerRing = 4;
    if (lines.size() < 2 + linesPerRing * (FivePoleColumns + 1)) {
        message = FormatMessage;
        return false;
    }
    // A field of four characters; beyond the line's end it is blank, as in
    // the fixed-column reading of the format.
    auto field = [](const std::string& line, size_t at) {
        std::string f = at < line.size() ? line.substr(at, 4) : std::string();
        f.resize(4, ' ');
        return f;
    };
    auto value = [](const std::string& f) -> int32_t {
        if (TrimBlanks(f).empty()) return 0;
        return Saturate32(ParseField(f));
    };
    PoleGridArray read = grid;
    try {
        size_t l = 2;
        for (int c = 0; c <= FivePoleColumns; ++c) {
            for (size_t part = 0; part < linesPerRing; ++part, ++l) {
                const std::string& line = lines[l];
                for (int k = 0; k < 18; ++k)
                    read.at(static_cast<int>(part) * 18 + k, c) = value(field(line, 1 + 4 * static_cast<size_t>(k)));
                if (part == linesPerRing - 1) {
                    const std::string closing = field(line, 1 + 4 * 18);
                    read.at(FivePoleRows, c) = TrimBlanks(closing).empty() ? read.at(0, c) : value(closing);
                }
            }
        }
    } catch (const ConversionError& e) {
        message = e.what();
        return false;
    }
    grid = read;
    return true;
}

bool ReadPopLA(Workspace& ws, Host& host, const std::string& path) {
    PoleGridBlock& p = ws.Poles;
    std::string message;
    std::vector<std::string> lines;
    try {
        lines = ReadFirstTextLines(path, PopLAFigureLines, PopLAFileReadBytes);
    } catch (const FileError& e) {
        return Fail(ws, host, e.what());
    }
    PoleGridArray grid = p.PoleGrid;
    if (!ParsePopLA(lines, grid, message)) return Fail(ws, host, message);
    // A popLA figure is on 5-degree steps whatever slice file was read before.
    p.PolePhiStep = p.PolePsiStep = 5.0;
    p.PoleGrid = grid;
    p.PoleMax = PoleGridMaximum(grid, FivePoleRows, FivePoleColumns);
    RecordSlotMaximum(p);
    return true;
}

PopLAFigure FormatPopLAFigure(const PoleGridArray& grid, const std::string& title, const std::string& hkl,
                              int32_t slotMax) {
    PopLAFigure out;
    // The factor says how the written values relate to the measured ones
    // (100 when they are the same): the grid was scaled to 9999 when built.
    double factor = slotMax > PoleScaleLimit ? 999900.0 / slotMax : 100.0;
    const int32_t current = PoleGridMaximum(grid, FivePoleRows, FivePoleColumns);
    double scale = 1.0;
    if (current > PoleScaleLimit) {
        scale = static_cast<double>(PoleScaleLimit) / current;
        factor *= scale;
        out.Rescaled = true;
    }
    out.Factor = RoundToInt(factor);
    if (out.Factor < 1) {
        out.Factor = 1;
        out.FactorClamped = true;
    }
    out.Lines.push_back(title);
    out.Lines.push_back("(" + hkl + ")  5.0 80.0  5.0360.0 1 1 2-1 3  100" + FormatIntWidth(out.Factor, 5));
    auto value = [&](int r, int c) {
        const int32_t v = out.Rescaled ? TruncToInt(grid.at(r, c) * scale) : grid.at(r, c);
        return FormatIntWidth(std::max(v, -999), 4);   // negative values keep to the field too
    };
    for (int c = 0; c <= FivePoleColumns; ++c) {
        for (int part = 0; part < 4; ++part) {
            std::string line = " ";
            const int last = part == 3 ? FivePoleRows : part * 18 + 17;
            for (int r = part * 18; r <= last; ++r) line += value(r, c);
            out.Lines.push_back(line);
        }
    }
    out.Lines.emplace_back();
    return out;
}

// ---- Profile files ------------------------------------------------------------

std::vector<std::string> PsiProfileLines(const PoleGridArray& grid, const std::string& title, double clickPhi) {
    const int r = std::clamp(TruncToInt(clickPhi / 5.0), 0, FivePoleRows);
    std::vector<std::string> lines{title, "Pole figure Psi Profile at PHI = " + FormatFixedWidth(r * 5.0, 5, 3)};
    for (int i = 0; i <= FivePoleColumns; ++i)
        lines.push_back(FormatFixedWidth(i * 5.0, 5, 3) + "   " + FormatIntWidth(grid.at(r, i), 8));
    return lines;
}

std::vector<std::string> PhiProfileLines(const PoleGridArray& grid, const std::string& title, double clickPsi) {
    const int c = std::clamp(TruncToInt(clickPsi / 5.0), 0, FivePoleColumns);
    std::vector<std::string> lines{title, "Pole figure Phi Profile at PSI = " + FormatFixedWidth(c * 5.0, 5, 3)};
    for (int i = 0; i < FivePoleRows; ++i)
        lines.push_back(FormatFixedWidth(i * 5.0, 5, 3) + "   " + FormatIntWidth(grid.at(i, c), 8));
    return lines;
}

} // namespace orv

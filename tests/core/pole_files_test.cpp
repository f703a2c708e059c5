// Pole grids built from slice files and written as popLA files, checked
// against the geometry worked by hand and against a popLA parser that reads
// the format's fixed columns on its own.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <sstream>

#include "polefig/pole_files.h"
#include "polefig/pole_viewer.h"
#include "pole_test_support.h"
#include "workspace/host.h"
#include "workspace/text_files.h"
#include "workspace/workspace.h"

using namespace orv;
using namespace orv::test;

namespace {

// ---- A popLA parser of the test's own, by the format's columns --------------

struct ParsedFigure {
    std::string Title, Hkl;
    double Step1 = 0, Max1 = 0, Step2 = 0, Max2 = 0;
    int Flags[5] = {};
    int Scaling = 0, Factor = 0;
    int Values[19][73] = {};   // [ring][row]; row 72 only where the fourth line has 19 values
    int FourthLineCount[19] = {};
};

std::vector<ParsedFigure> ParsePopLAColumns(const std::string& path) {
    std::vector<std::string> lines;
    std::istringstream in(ReadBytes(path));
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    std::vector<ParsedFigure> figures;
    size_t l = 0;
    auto field = [](const std::string& s, size_t at, size_t width) { return s.substr(at, width); };
    while (l + 2 + 76 <= lines.size()) {
        ParsedFigure f;
        f.Title = lines[l];
        const std::string& h = lines[l + 1];
        f.Hkl = field(h, 0, 5);
        f.Step1 = std::stod(field(h, 5, 5));
        f.Max1 = std::stod(field(h, 10, 5));
        f.Step2 = std::stod(field(h, 15, 5));
        f.Max2 = std::stod(field(h, 20, 5));
        for (int k = 0; k < 5; ++k) f.Flags[k] = std::stoi(field(h, 25 + 2 * k, 2));
        f.Scaling = std::stoi(field(h, 35, 5));
        f.Factor = std::stoi(field(h, 40, 5));
        EXPECT_EQ(h.size(), 45u);
        l += 2;
        for (int ring = 0; ring <= 18; ++ring) {
            for (int part = 0; part < 4; ++part, ++l) {
                const std::string& s = lines[l];
                EXPECT_EQ(s[0], ' ');
                const int count = static_cast<int>((s.size() - 1) / 4);
                EXPECT_EQ((s.size() - 1) % 4, 0u) << s;
                if (part == 3) f.FourthLineCount[ring] = count;
                else EXPECT_EQ(count, 18);
                for (int k = 0; k < count; ++k) f.Values[ring][part * 18 + k] = std::stoi(field(s, 1 + 4 * k, 4));
            }
        }
        EXPECT_TRUE(lines[l].empty());
        ++l;
        figures.push_back(f);
    }
    return figures;
}

long long Wrap360(long long d) { return ((d % 360) + 360) % 360; }

// Slice values that tell the frame and the slice apart.
long long FrameSlice(int m, int d) { return 100LL * (m + 1) + d % 97; }

struct PoleFilesTest : ::testing::Test {
    Workspace ws;
    RecordingHost host;
    TempDir dir;

    bool Build(const std::string& path) {
        ws.Poles.PoleSlot = 1;
        return BuildPoleGrid(ws, host, path);
    }
};

} // namespace

TEST_F(PoleFilesTest, HalfTurnOfFramesFillsEachFramesRowAndTheOppositeOne) {
    // 37 frames at 5 degrees (.000 to .036) cover half a turn: frames .000 to
    // .035 are used, frame m giving row m (psi 90..1 on one side of the phi
    // axis) and row m + 36 (psi 0..90 on the other); the plot's phi runs the
    // other way round, so row r appears as 72 - r.
    ws.Form16.Eincps = "1";   // one slice per cell
    ws.Form14.EPhiAxis = "90";
    const std::string path = dir.file("half.slc");
    WriteSliceFile(path, FrameRange(0, 36), FrameSlice);
    ASSERT_TRUE(Build(path)) << (host.messages.empty() ? "" : host.messages[0]);

    PoleGridArray expected;
    for (int m = 0; m <= 35; ++m) {
        for (int i = 0; i <= 180; ++i) {
            const int d = static_cast<int>(Wrap360(90 + i - 90));
            if (i < 90) expected.at(72 - m, 90 - i) = static_cast<int32_t>(FrameSlice(m, d));
            else expected.at(72 - (36 + m), i - 90) = static_cast<int32_t>(FrameSlice(m, d));
        }
    }
    for (int c = 0; c <= 90; ++c) expected.at(0, c) = expected.at(72, c);
    EXPECT_TRUE(ws.Poles.PoleGrid == expected);
    EXPECT_EQ(ws.Poles.PoleMax, 3600 + 96);   // frame .036 takes no part
    EXPECT_EQ(ws.Poles.PoleSlotMax[1], 3696);
    EXPECT_EQ(ws.Poles.PolePsiStep, 1.0);

    // 38 frames (one step past half a turn) are still taken as half a turn.
    WriteSliceFile(dir.file("38.slc"), FrameRange(0, 37), FrameSlice);
    ASSERT_TRUE(Build(dir.file("38.slc")));
    EXPECT_TRUE(ws.Poles.PoleGrid == expected);
}

TEST_F(PoleFilesTest, WholeTurnUsesSecondHalvesAndAMissingFrameLeavesItsRowEmpty) {
    // 72 frames: frame m fills row (m + 36) mod 72 from its second half ring
    // only. With the phi axis at 0 that half ring runs from azimuth 0 to 90.
    ws.Form16.Eincps = "1";
    ws.Form14.EPhiAxis = "0";
    const std::string full = dir.file("full.slc");
    WriteSliceFile(full, FrameRange(0, 71), FrameSlice);
    ASSERT_TRUE(Build(full));
    PoleGridArray expected;
    for (int m = 0; m <= 71; ++m)
        for (int i = 90; i <= 180; ++i)
            expected.at(72 - (m + 36) % 72, i - 90) = static_cast<int32_t>(FrameSlice(m, i - 90));
    for (int c = 0; c <= 90; ++c) expected.at(0, c) = expected.at(72, c);
    EXPECT_TRUE(ws.Poles.PoleGrid == expected);

    // The phi axis at 360 is the same direction as 0.
    ws.Form14.EPhiAxis = "360";
    ASSERT_TRUE(Build(full));
    EXPECT_TRUE(ws.Poles.PoleGrid == expected);

    // The same series with frame .005 skipped: its row is empty, not what
    // the earlier file put there, and frame .071 still takes part.
    std::vector<int> frames = FrameRange(0, 71);
    frames.erase(frames.begin() + 5);
    const std::string gap = dir.file("gap.slc");
    WriteSliceFile(gap, frames, FrameSlice);
    ASSERT_TRUE(Build(gap));
    const int emptyRow = 72 - (5 + 36);
    for (int c = 0; c <= 90; ++c) {
        EXPECT_EQ(ws.Poles.PoleGrid.at(emptyRow, c), 0) << c;
        expected.at(emptyRow, c) = 0;
    }
    EXPECT_TRUE(ws.Poles.PoleGrid == expected);
}

TEST_F(PoleFilesTest, PsiStepOfTwoRoundsHalvesToEven) {
    // Column 0 collects psi 0 and 1, column 1 psi 2 only, column 2 psi 3, 4, 5.
    ws.Form16.Eincps = "2";
    ws.Form14.EPhiAxis = "0";
    WriteSliceFile(dir.file("two.slc"), FrameRange(0, 71), [](int m, int d) { return m == 36 && d <= 5 ? 1LL << d : 0LL; });
    ASSERT_TRUE(Build(dir.file("two.slc")));
    // Frame 36 lands in row 0 (and the closing row 72).
    EXPECT_EQ(ws.Poles.PoleGrid.at(0, 0), 1 + 2);
    EXPECT_EQ(ws.Poles.PoleGrid.at(72, 1), 4);
    EXPECT_EQ(ws.Poles.PoleGrid.at(0, 2), 8 + 16 + 32);
}

TEST_F(PoleFilesTest, BadSliceFilesAreRefusedAndLeaveTheGridAsItWas) {
    ws.Form14.EPhiAxis = "0";
    WriteSliceFile(dir.file("good.slc"), FrameRange(0, 71), FrameSlice);
    ASSERT_TRUE(Build(dir.file("good.slc")));
    const PoleGridArray before = ws.Poles.PoleGrid;

    const std::string header = "2Theta integration range =10.000 to 11.000 Psi range = 0 to 360; SlicesWidth = 1.000\r\n";
    auto lines = [&](int count, const std::string& extra = "") {
        std::string text = header;
        for (int m = 0; m < count; ++m)
            text += SliceLine("f." + std::string(m < 10 ? "00" : "0") + std::to_string(m), [](int) { return 7; }) + "\r\n";
        return text + extra;
    };
    const std::string format = "Error, please check data format!";
    const std::string extension = "Error, please check data format or file extension!";
    struct Case {
        const char* what;
        std::string text;
        std::string message;
    } cases[] = {
        {"header", "Theta range\r\n" + lines(8).substr(header.size()), format},
        {"five lines", lines(5), format},
        {"no frame number", lines(6, SliceLine("frame.tif", [](int) { return 1; }) + "\r\n"), extension},
        {"frame past the turn", lines(6, SliceLine("f.072", [](int) { return 1; }) + "\r\n"), extension},
        {"short line", lines(6, SliceLine("f.050", [](int) { return 1; }).substr(0, 3000) + "\r\n"), format},
        {"name only", lines(6, "f.050\r\n"), format},
        {"not a number", lines(6, "f.050 " + std::string(9, ' ') + "1       abc" + std::string(3580, '1') + "\r\n"),
         "'       abc' is not a valid number"},
    };
    for (const Case& c : cases) {
        host.messages.clear();
        WriteBytes(dir.file("bad.slc"), c.text);
        EXPECT_FALSE(Build(dir.file("bad.slc"))) << c.what;
        ASSERT_EQ(host.messages.size(), 1u) << c.what;
        EXPECT_EQ(host.messages[0], c.message) << c.what;
        EXPECT_FALSE(ws.Poles.PoleFileLoaded);
        EXPECT_TRUE(ws.Poles.PoleGrid == before) << c.what;
    }

    host.messages.clear();
    ws.Form14.EPhiAxis = "400";
    EXPECT_FALSE(Build(dir.file("good.slc")));
    EXPECT_EQ(host.messages, std::vector<std::string>{"Error, PhiAxis angle outside range!"});
    ws.Form14.EPhiAxis = "0";
    ws.Form16.Eincph = "1";   // 360 phi rows do not fit the grid
    EXPECT_FALSE(Build(dir.file("good.slc")));
    EXPECT_TRUE(ws.Poles.PoleGrid == before);

    // A phi step of 10 degrees: 36 rows, frames .000 to .035.
    ws.Form16.Eincph = "10";
    host.messages.clear();
    WriteSliceFile(dir.file("ten.slc"), FrameRange(0, 35), FrameSlice);
    EXPECT_TRUE(Build(dir.file("ten.slc")));
    EXPECT_EQ(ws.Poles.PolePhiStep, 10.0);
    WriteSliceFile(dir.file("ten36.slc"), FrameRange(30, 36), FrameSlice);
    EXPECT_FALSE(Build(dir.file("ten36.slc")));
    EXPECT_EQ(host.messages, std::vector<std::string>{extension});
}

TEST_F(PoleFilesTest, NamesWithBlanksAndTheProgramsOwnLinesAreRead) {
    std::vector<int32_t> sums(360);
    for (int d = 0; d < 360; ++d) sums[static_cast<size_t>(d)] = d * 1000;
    // The program's writer gives the layout the reader expects.
    const std::string own = SliceFileLine("a.000", sums);
    EXPECT_EQ(own, SliceLine("a.000", [](int d) { return d * 1000LL; }));
    EXPECT_EQ(SliceFileHeader(10, 11, 1), "2Theta integration range =10.000 to 11.000 Psi range = 0 to 360; SlicesWidth = 1.000");

    std::vector<std::string> lines{SliceFileHeader(10, 11, 1)};
    for (int m = 0; m < 6; ++m) lines.push_back(SliceLine("my frame." + std::string("00") + std::to_string(m), [](int d) {
                                      return d;
                                  }));
    lines.push_back("   ");
    std::vector<SliceFileFrame> frames;
    std::string message;
    ASSERT_TRUE(ParseSliceFile(lines, 72, frames, message)) << message;
    ASSERT_EQ(frames.size(), 6u);
    EXPECT_EQ(frames[3].Name, "my frame.003");
    EXPECT_EQ(frames[3].Row, 4);
    EXPECT_EQ(frames[3].Slices[359], 359);
    EXPECT_EQ(SliceFrameRow("x.012"), 13);
    EXPECT_EQ(SliceFrameRow("x.199"), 200);
    EXPECT_EQ(SliceFrameRow("x.200"), 0);
    EXPECT_EQ(SliceFrameRow("x.0a1"), 0);
}

TEST_F(PoleFilesTest, WrittenPopLAFiguresReadInTheFormatsColumnsAndRoundTrip) {
    // Two figures in, one with a 19th value on each ring's fourth line and
    // one with 18 (its closing row is then row 0).
    auto first = [](int row, int ring) { return (row * 37 + ring * 101) % 10000; };
    auto second = [](int row, int ring) { return row == 72 ? 0 : row * 100 + ring; };
    WriteBytes(dir.file("a.epf"), PopLAText("first figure", first, 19));
    WriteBytes(dir.file("b.WPF"), PopLAText("second", second, 18));
    OpenPoleFigures(ws, host, {dir.file("a.epf"), dir.file("b.WPF")});
    ASSERT_EQ(ws.Poles.PoleCount, 2) << (host.messages.empty() ? "" : host.messages[0]);
    ws.FPoleF.Ehkl[1] = "220";
    ASSERT_TRUE(SavePoleFigures(ws, host, dir.file("out.epf")));

    const auto figures = ParsePopLAColumns(dir.file("out.epf"));
    ASSERT_EQ(figures.size(), 2u);
    for (size_t k = 0; k < 2; ++k) {
        const ParsedFigure& f = figures[k];
        EXPECT_EQ(f.Title, k == 0 ? "a.epf" : "b.WPF");
        EXPECT_EQ(f.Hkl, k == 0 ? "(100)" : "(220)");
        EXPECT_EQ(f.Step1, 5.0);
        EXPECT_EQ(f.Max1, 80.0);
        EXPECT_EQ(f.Step2, 5.0);
        EXPECT_EQ(f.Max2, 360.0);
        EXPECT_EQ(std::vector<int>(f.Flags, f.Flags + 5), (std::vector<int>{1, 1, 2, -1, 3}));
        EXPECT_EQ(f.Scaling, 100);
        EXPECT_EQ(f.Factor, 100);   // values of popLA files never exceed 9999
        for (int ring = 0; ring <= 18; ++ring) {
            EXPECT_EQ(f.FourthLineCount[ring], 19);
            for (int row = 0; row <= 72; ++row) {
                const int want = k == 0 ? first(row, ring) : second(row == 72 ? 0 : row, ring);
                ASSERT_EQ(f.Values[ring][row], want) << k << " ring " << ring << " row " << row;
            }
        }
    }

    // Read back, the written file gives the same cells.
    const PoleGridArray written = ws.Poles.PoleFigure(2);
    OpenPoleFigures(ws, host, {dir.file("out.epf")});
    for (int row = 0; row <= 72; ++row)
        for (int ring = 0; ring <= 18; ++ring) ASSERT_EQ(ws.Poles.PoleFigure(1).at(row, ring), first(row, ring));
    EXPECT_EQ(written.at(72, 5), written.at(0, 5));
}

TEST_F(PoleFilesTest, ScaleFactorsFollowTheMaximumAndNeverReachZero) {
    // One frame's slice carries the maximum, another a second value; 5-degree
    // steps, phi axis 0 (slice d lands in psi column Round(d / 5)).
    ws.Form14.EPhiAxis = "0";
    struct Case {
        long long maximum;
        int factor;
        int other;   // what 5000 becomes
    } cases[] = {{9999, 100, 5000}, {10000, 100, 4999}, {20000, 50, 2499}, {2000000, 1, 24}};
    for (const Case& c : cases) {
        const std::string path = dir.file("m" + std::to_string(c.maximum) + ".slc");
        WriteSliceFile(path, FrameRange(0, 71), [&](int m, int d) {
            if (m == 36 && d == 45) return c.maximum;   // row 0, column 9
            if (m == 40 && d == 20) return 5000LL;      // column 4
            return 0LL;
        });
        ws.LLog.Clear();
        OpenPoleFigures(ws, host, {path});
        ASSERT_EQ(ws.Poles.PoleCount, 1);
        EXPECT_EQ(ws.Poles.PoleMax, c.maximum);
        EXPECT_EQ(ws.Poles.PoleFigure(1).at(0, 9), 9999) << c.maximum;
        ASSERT_TRUE(SavePoleFigures(ws, host, dir.file("m.epf")));
        const auto figures = ParsePopLAColumns(dir.file("m.epf"));
        ASSERT_EQ(figures.size(), 1u);
        EXPECT_EQ(figures[0].Factor, c.factor) << c.maximum;
        EXPECT_EQ(figures[0].Values[9][0], 9999);
        EXPECT_EQ(figures[0].Values[4][72 - 4], c.other) << c.maximum;   // frame 40: row (40 + 36) mod 72, mirrored
        const bool clamped = ws.LLog.Count() > 0 && ws.LLog.Last().find("raised from 0 to 1") != std::string::npos;
        EXPECT_EQ(clamped, c.maximum == 2000000);
    }
}

TEST_F(PoleFilesTest, CorrectedFiguresAreRescaledToFitTheFieldsWhenSaved) {
    // The rim ring of 9000 grows to 29124 with the correction; the file
    // holds 9999 there and a factor of 100 x 9999 / 29124.
    WriteBytes(dir.file("rim.epf"), PopLAText("rim", [](int, int ring) { return ring == 18 ? 9000 : 100; }));
    OpenPoleFigures(ws, host, {dir.file("rim.epf")});
    CorrectAbsorptionClick(ws, host);
    const int32_t rim = ws.Poles.PoleFigure(1).at(3, 18);
    EXPECT_EQ(rim, static_cast<int32_t>(std::nearbyint(9000 / std::cos(72 * std::numbers::pi / 180))));
    ASSERT_TRUE(SavePoleFigures(ws, host, dir.file("rim-out.epf")));
    const auto f = ParsePopLAColumns(dir.file("rim-out.epf"));
    ASSERT_EQ(f.size(), 1u);
    EXPECT_EQ(f[0].Values[18][3], 9999);
    EXPECT_EQ(f[0].Values[0][3], 100 * 9999 / rim);
    EXPECT_EQ(f[0].Factor, static_cast<int>(std::nearbyint(100.0 * 9999 / rim)));
}

TEST_F(PoleFilesTest, ProfileFilesOfTheClickedPole) {
    WriteBytes(dir.file("p.epf"), PopLAText("p", [](int row, int ring) { return row * 100 + ring; }));
    OpenPoleFigures(ws, host, {dir.file("p.epf")});
    ws.Poles.PoleSlot = 1;
    ws.FPoleF.PoleClickPhi = 93.4;   // row 18
    ws.FPoleF.PoleClickPsi = 47.9;   // column 9
    ASSERT_TRUE(SavePsiProfile(ws, host, dir.file("a.psp")));
    ASSERT_TRUE(SavePhiProfile(ws, host, dir.file("a.php")));
    const auto psp = ReadTextLines(dir.file("a.psp"));
    ASSERT_EQ(psp.size(), 2u + 19);
    EXPECT_EQ(psp[0], "p.epf");
    EXPECT_EQ(psp[1], "Pole figure Psi Profile at PHI = 90.000");
    EXPECT_EQ(psp[2], "0.000       1800");
    EXPECT_EQ(psp[20], "90.000       1818");
    const auto php = ReadTextLines(dir.file("a.php"));
    ASSERT_EQ(php.size(), 2u + 72);
    EXPECT_EQ(php[1], "Pole figure Phi Profile at PSI = 45.000");
    EXPECT_EQ(php[2], "0.000          9");
    EXPECT_EQ(php[73], "355.000       7109");
    EXPECT_EQ(ReadBytes(dir.file("a.php")).substr(0, 7), "p.epf\r\n");
}

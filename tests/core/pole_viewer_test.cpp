// The pole-figure viewer's arithmetic: the polar projection, the colour
// scale, the drawing measured back pixel by pixel, rotation, absorption
// correction, the angle between poles, picks on the profiles and the Open.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "polefig/pole_files.h"
#include "polefig/pole_viewer.h"
#include "pole_test_support.h"
#include "workspace/host.h"
#include "base/numbers.h"
#include "workspace/text_files.h"
#include "workspace/workspace.h"

using namespace orv;
using namespace orv::test;

namespace {

struct PoleViewerTest : ::testing::Test {
    Workspace ws;
    RecordingHost host;
    TempDir dir;

    // A popLA figure of the given cells loaded into panel 1.
    void Load(const std::function<int(int, int)>& value, const std::string& name = "f.epf") {
        WriteBytes(dir.file(name), PopLAText(name, value));
        OpenPoleFigures(ws, host, {dir.file(name)});
        ASSERT_EQ(ws.Poles.PoleCount, 1) << (host.messages.empty() ? "" : host.messages.back());
    }
};

// Row 72 repeats row 0, as in every pole grid.
int RowPsi(int row, int ring) { return (row % 72) * 100 + ring; }

} // namespace

TEST(PoleProjectionTest, PlotPixelsToPsiAndPhi) {
    double psi = 0, phi = 0;
    PixelToPsiPhi(150 + 10, 150, 300, psi, phi);   // right of the centre
    EXPECT_DOUBLE_EQ(phi, 360);
    EXPECT_DOUBLE_EQ(psi, 6);
    PixelToPsiPhi(150, 150 - 10, 300, psi, phi);   // up
    EXPECT_DOUBLE_EQ(phi, 90);
    PixelToPsiPhi(150 - 10, 150, 300, psi, phi);   // left
    EXPECT_DOUBLE_EQ(phi, 180);
    PixelToPsiPhi(150, 150 + 10, 300, psi, phi);   // down
    EXPECT_DOUBLE_EQ(phi, 270);
    PixelToPsiPhi(150 + 150, 150, 300, psi, phi);  // the rim
    EXPECT_DOUBLE_EQ(psi, 90);
    PixelToPsiPhi(150 + 30, 150 - 30, 300, psi, phi);
    EXPECT_NEAR(phi, 45, 1e-12);
}

TEST(PoleColourTest, PaletteAndIndicesStayInRange) {
    const auto palette = MakePolePalette();
    ASSERT_EQ(palette.size(), 1201u);
    EXPECT_EQ(palette[0], MakeColor(255, 255, 255));
    EXPECT_EQ(palette[256], MakeColor(0, 0, 255));
    EXPECT_EQ(palette[512], MakeColor(255, 0, 0));
    EXPECT_EQ(palette[767], MakeColor(255, 255, 0));
    EXPECT_EQ(palette[1022], MakeColor(255, 255, 255));
    EXPECT_EQ(palette[1023], MakeColor(255, 255, 255));   // 256 would wrap to 0 in a byte
    EXPECT_EQ(palette[1200], MakeColor(255, 255, 255));

    // Ten levels: the maximum is the top level (white), half of it pure red.
    EXPECT_EQ(PoleColorIndex(1800, 1800, true, false), 1126);
    EXPECT_EQ(PoleColorIndex(900, 1800, true, false), 512);
    EXPECT_EQ(PoleColorIndex(900, 1800, false, false), 512);
    EXPECT_EQ(PoleColorIndex(1800, 1800, false, false), 1024);
    // Log10 of small maxima and of negative cells stays inside the palette.
    for (double maximum : {1.0, 2.0, 3.0, 5.0})
        for (double value : {-5.0, -1.0, 0.0, 1.0, maximum})
            for (bool ten : {false, true}) {
                const int index = PoleColorIndex(value, maximum, ten, true);
                EXPECT_GE(index, 0);
                EXPECT_LE(index, 1200);
            }
    EXPECT_EQ(PoleColorIndex(-50, 100, false, false), 0);
}

TEST_F(PoleViewerTest, DrawingIsTheInterpolatedGridThroughThePalette) {
    // Cells grow with psi only: 100 per 5 degrees.
    Load([](int, int ring) { return ring * 100; });
    const RgbImage& image = ws.FPoleF.Image[0];
    ASSERT_EQ(image.Width, 303);
    // (186, 102): 60 pixels from the centre, psi 36, value 720 of 1800.
    const auto& palette = ws.FPoleF.PolePalette;
    EXPECT_EQ(image.Get(186, 102), palette[static_cast<size_t>(PoleColorIndex(720, 1800, true, false))]);
    ws.Form14.RadioButton1 = false;
    ws.Poles.PoleGrid = ws.Poles.PoleFigure(1);
    DrawPoleFigure(ws, ws.FPoleF.Image[0]);
    EXPECT_EQ(image.Get(186, 102), palette[720 * 1024 / 1800]);
    // The cross, the psi-30 circle, and white beyond psi 90.
    EXPECT_EQ(image.Get(150, 20), MakeColor(0, 0, 0));
    EXPECT_EQ(image.Get(200, 150), MakeColor(0, 0, 0));
    EXPECT_EQ(image.Get(150 + 50, 150 + 1), MakeColor(0, 0, 0));
    EXPECT_EQ(image.Get(5, 5), MakeColor(255, 255, 255));
    EXPECT_EQ(ws.FPoleF.panelout, "1800");

    // A grid whose largest value is 0 leaves the panel blank.
    ws.Poles.PoleGrid.Clear();
    DrawPoleFigure(ws, ws.FPoleF.Image[1]);
    for (uint32_t p : ws.FPoleF.Image[1].Pixels) ASSERT_EQ(p, DisplayWord(WhiteColor));

    // The interpolation between rows and columns.
    PoleGridArray grid;
    grid.at(2, 3) = 100;
    grid.at(3, 3) = 200;
    grid.at(2, 4) = 300;
    grid.at(3, 4) = 400;
    EXPECT_DOUBLE_EQ(PoleGridValue(grid, 12.5, 17.5, 5, 5), 250);
    EXPECT_DOUBLE_EQ(PoleGridValue(grid, 11, 15, 5, 5), 120);
}

TEST_F(PoleViewerTest, RotationsAreExactAndWrapAtRowZero) {
    Load(RowPsi);
    const PoleGridArray original = ws.Poles.PoleFigure(1);
    RotatePoleFigures(ws, host, +1);
    const PoleGridArray& turned = ws.Poles.PoleFigure(1);
    EXPECT_EQ(turned.at(0, 7), RowPsi(71, 7));   // new row 0 = old row 71
    EXPECT_EQ(turned.at(1, 7), RowPsi(0, 7));
    EXPECT_EQ(turned.at(72, 7), turned.at(0, 7));
    EXPECT_EQ(ws.FPoleF.Edit2, "5");
    RotatePoleFigures(ws, host, +1);
    RotatePoleFigures(ws, host, -1);
    RotatePoleFigures(ws, host, -1);
    EXPECT_TRUE(ws.Poles.PoleFigure(1) == original);
    EXPECT_EQ(ws.FPoleF.Edit2, "0");
    RotatePoleFigures(ws, host, -1);
    EXPECT_EQ(ws.Poles.PoleFigure(1).at(71, 3), RowPsi(0, 3));
    EXPECT_EQ(ws.FPoleF.Edit2, "-5");

    ws.FPoleF.Edit2 = "abc";
    RotatePoleFigures(ws, host, +1);
    EXPECT_EQ(host.messages.back(), "'abc' is not a valid number");
    EXPECT_EQ(ws.Poles.PoleFigure(1).at(71, 3), RowPsi(0, 3));
}

TEST_F(PoleViewerTest, AbsorptionCorrectionRaisesTheRimOnceAnOpen) {
    Load([](int, int) { return 1000; });
    CorrectAbsorptionClick(ws, host);
    EXPECT_EQ(ws.Poles.PoleFigure(1).at(10, 0), 1000);   // centre unchanged
    EXPECT_EQ(ws.Poles.PoleFigure(1).at(10, 18), 3236);  // 1000 / cos 72 degrees
    EXPECT_EQ(ws.Poles.PoleFigure(1).at(10, 9), static_cast<int>(std::nearbyint(1000 / std::cos(36 * std::numbers::pi / 180))));
    EXPECT_FALSE(ws.FPoleF.Button4Enabled);
    CorrectAbsorptionClick(ws, host);
    EXPECT_EQ(ws.Poles.PoleFigure(1).at(10, 18), 3236);
    OpenPoleFigures(ws, host, {dir.file("f.epf")});
    EXPECT_TRUE(ws.FPoleF.Button4Enabled);
    EXPECT_EQ(ws.Poles.PoleFigure(1).at(10, 18), 1000);
}

TEST_F(PoleViewerTest, FiveDegreeCommandsRefuseOtherSteps) {
    Load(RowPsi);
    const PoleGridArray before = ws.Poles.PoleFigure(1);
    ws.Poles.PolePhiStep = 10;
    host.messages.clear();
    RotatePoleFigures(ws, host, +1);
    CorrectAbsorptionClick(ws, host);
    EXPECT_FALSE(SavePoleFigures(ws, host, dir.file("x.epf")));
    EXPECT_FALSE(SavePsiProfile(ws, host, dir.file("x.psp")));
    EXPECT_FALSE(SavePhiProfile(ws, host, dir.file("x.php")));
    EXPECT_EQ(host.messages.size(), 5u);
    EXPECT_TRUE(ws.Poles.PoleFigure(1) == before);
    EXPECT_TRUE(ws.FPoleF.Button4Enabled);
    EXPECT_FALSE(FileExists(dir.file("x.epf")) || FileExists(dir.file("x.psp")) || FileExists(dir.file("x.php")));
}

TEST_F(PoleViewerTest, APopLAFigureOpensAfterASliceFileOfOtherSteps) {
    ws.Form16.Eincph = "10";
    WriteSliceFile(dir.file("ten.slc"), FrameRange(0, 17), [](int m, int d) { return 1000LL * m + d; });
    OpenPoleFigures(ws, host, {dir.file("ten.slc")});
    ASSERT_EQ(ws.Poles.PoleCount, 1);
    ASSERT_EQ(ws.Poles.PolePhiStep, 10);
    host.messages.clear();
    Load(RowPsi);
    EXPECT_TRUE(host.messages.empty());
    EXPECT_EQ(ws.Poles.PolePhiStep, 5);
    EXPECT_EQ(ws.Poles.PolePsiStep, 5);
    EXPECT_EQ(ws.Poles.PoleFigure(1).at(71, 18), RowPsi(71, 18));
    EXPECT_EQ(ws.Poles.PoleFigure(1).at(72, 3), RowPsi(0, 3));
    // The five-degree commands take it.
    EXPECT_TRUE(SavePoleFigures(ws, host, dir.file("back.epf")));
}

TEST_F(PoleViewerTest, AngleBetweenPolesIncludingTheExactCases) {
    auto angle = [&](const char* psi1, const char* phi1, const char* psi2, const char* phi2) {
        ws.FPoleF.EPSI = psi1;
        ws.FPoleF.EPHI = phi1;
        ws.FPoleF.EPSI3 = psi2;
        ws.FPoleF.EPHI3 = phi2;
        AngleClick(ws, host);
        return ws.FPoleF.Eangle;
    };
    EXPECT_EQ(angle("90", "0", "90", "180"), "0.0");   // one axis, both ends
    EXPECT_EQ(angle("0", "0", "45", "123"), "45.0");
    EXPECT_EQ(angle("0", "0", "90", "0"), "90.0");
    EXPECT_EQ(angle("90", "0", "90", "90"), "90.0");
    EXPECT_EQ(angle("60", "0", "60", "180"), "60.0");   // 120 between the directions
    EXPECT_NEAR(AngleBetweenPoles(0, 0, 90, 0), 90, 1e-12);
    EXPECT_NEAR(AngleBetweenPoles(90, 0, 90, 180), 0, 1e-12);
    EXPECT_FALSE(std::isnan(AngleBetweenPoles(37, 11, 37, 11)));
    ws.FPoleF.EPSI3.clear();
    ws.FPoleF.Eangle = "x";
    AngleClick(ws, host);
    EXPECT_EQ(ws.FPoleF.Eangle, "x");
}

TEST_F(PoleViewerTest, ClickMarksThePoleAndDrawsItsProfilesThenPeaksArePicked) {
    Load(RowPsi);
    // A click 36 px right and 48 px up: psi 36, phi 53.13.
    PolePanelMouseDown(ws, host, 1, 186, 102);
    TFPoleF& f = ws.FPoleF;
    EXPECT_EQ(f.EPSI, "36");
    EXPECT_EQ(f.EPHI, "53");
    EXPECT_EQ(f.LitPoint, 1);
    EXPECT_EQ(f.Image[0].Get(150 + 30, 150 - 40), MakeColor(255, 0, 0));   // on the marker's line
    // Phi profile at psi column 7: a move-to and 72 points.
    ASSERT_EQ(f.RChart2.ItemCount(), 73);
    EXPECT_EQ(f.RChart2.Item(5).X, 20);
    EXPECT_EQ(f.RChart2.Item(5).Y, RowPsi(4, 7));
    // Psi profile at phi row 10: a move-to and 19 points.
    ASSERT_EQ(f.RChart1.ItemCount(), 20);
    EXPECT_EQ(f.RChart1.Item(19).Y, RowPsi(10, 18));

    // A second click sets point 2; the edits change colour.
    PolePanelMouseDown(ws, host, 1, 150, 150 - 75);
    EXPECT_EQ(f.EPSI3, "45");
    EXPECT_EQ(f.EPHI3, "90");
    EXPECT_EQ(f.LitPoint, 2);
    EXPECT_EQ(f.PoleClickCount, 0);

    // Peak from psi 40 down to psi 20 on the psi chart: columns 4..8 of row 18.
    f.RChart1.SetBounds(0, 0, 400, 200);
    int x40 = 0, x20 = 0, y = 0;
    f.RChart1.WorldToPixel(1, 40, 0, x40, y);
    f.RChart1.WorldToPixel(1, 20, 0, x20, y);
    PoleProfileMouseDown(ws, host, true, x40, y);
    EXPECT_EQ(f.RChart1.Caption(), "Psi = 40");
    PoleProfileMouseDown(ws, host, true, x20, y);
    const int area = 5 * 1800 + 4 + 5 + 6 + 7 + 8;
    EXPECT_EQ(f.RChart1.Caption(), "IntMax = 1808 Area = " + std::to_string(area) + " FWHM = " +
                                       FormatFixed(5.0 * area / 1808, 1));
    EXPECT_EQ(ws.LLog.Last(), "Peak at PSI profile with " + f.RChart1.Caption());

    // Phi 102 to 92 on the phi chart (a pixel is about a degree): rows 18..20 of
    // the clicked psi column 9.
    f.RChart2.SetBounds(0, 0, 400, 200);
    int x90 = 0, x100 = 0;
    f.RChart2.WorldToPixel(1, 102, 0, x100, y);
    f.RChart2.WorldToPixel(1, 92, 0, x90, y);
    PoleProfileMouseDown(ws, host, false, x100, y);
    PoleProfileMouseDown(ws, host, false, x90, y);
    EXPECT_EQ(f.RChart2.Caption(), "IntMax = 2009 Area = 5727 FWHM = " + FormatFixed(5.0 * 5727 / 2009, 1));
    EXPECT_EQ(ws.LLog.Last(), "Peak at PHI Profile with " + f.RChart2.Caption());

    // On an empty figure IntMax is 1 and the width 0.
    ws.Poles.PoleScratch.Clear();
    PoleProfileMouseDown(ws, host, true, x40, y);
    PoleProfileMouseDown(ws, host, true, x20, y);
    EXPECT_EQ(f.RChart1.Caption(), "IntMax = 1 Area = 0 FWHM = 0.0");
}

TEST_F(PoleViewerTest, OpenFillsFourPanelsAtMostAndEmptiesFailedOnes) {
    WriteSliceFile(dir.file("s.slc"), FrameRange(0, 71), [](int m, int d) { return m * 10 + d; });
    WriteBytes(dir.file("bad.slc"), "not a slice file\r\n");
    WriteBytes(dir.file("u.EPF"), PopLAText("u", RowPsi));
    WriteBytes(dir.file("l.epf"), PopLAText("l", RowPsi, 18));
    WriteBytes(dir.file("fifth.epf"), PopLAText("5", RowPsi));
    // A first Open puts a figure in panel 2 ...
    OpenPoleFigures(ws, host, {dir.file("u.EPF"), dir.file("l.epf")});
    ASSERT_TRUE(ws.Poles.SlotHasFigure(2));
    // ... which a failed file of the next Open does not leave behind.
    host.messages.clear();
    ws.LLog.Clear();
    OpenPoleFigures(ws, host, {dir.file("s.slc"), dir.file("bad.slc"), dir.file("u.EPF"), dir.file("l.epf"),
                               dir.file("fifth.epf")});
    EXPECT_EQ(ws.Poles.PoleCount, 4);
    EXPECT_TRUE(ws.Poles.SlotHasFigure(1));
    EXPECT_FALSE(ws.Poles.SlotHasFigure(2));
    EXPECT_TRUE(ws.Poles.SlotHasFigure(3));   // ".EPF" is a popLA file too
    EXPECT_TRUE(ws.Poles.SlotHasFigure(4));
    EXPECT_EQ(ws.FPoleF.panelp[1], "");
    EXPECT_EQ(ws.FPoleF.panelp[2], "u.EPF");
    EXPECT_TRUE(ws.Poles.PoleFigure(2) == PoleGridArray());
    ASSERT_EQ(host.messages.size(), 2u);
    EXPECT_EQ(host.messages[0], "Error, please check data format!");
    EXPECT_EQ(host.messages[1], "Only four pole figures can be shown at a time; not opened: fifth.epf");
    EXPECT_EQ(ws.LLog.Count(), 3u);
    EXPECT_EQ(ws.LLog.Lines()[0], "pole figure s.slc displayed");

    // The empty panel takes no clicks; a click elsewhere still works.
    PolePanelMouseDown(ws, host, 2, 186, 102);
    EXPECT_EQ(ws.FPoleF.EPSI, "");
    PolePanelMouseMove(ws, host, 3, 160, 150);
    EXPECT_EQ(ws.FPoleF.panelout, "phi = 360 psi = 6 I = 1");

    // Saving skips the empty panel.
    ASSERT_TRUE(SavePoleFigures(ws, host, dir.file("all.epf")));
    EXPECT_EQ(ReadTextLines(dir.file("all.epf")).size(), 3u * (2 + 76 + 1));

    // When the only file of an Open fails, nothing is loaded.
    OpenPoleFigures(ws, host, {dir.file("bad.slc")});
    EXPECT_EQ(ws.Poles.PoleCount, 0);
}

TEST_F(PoleViewerTest, PreviewLeavesThePanelsAlone) {
    Load(RowPsi);
    const PoleGridArray panel = ws.Poles.PoleFigure(1);
    WriteSliceFile(dir.file("new.slc"), FrameRange(0, 71), [](int, int d) { return d; });
    ASSERT_TRUE(LoadPoleFigure(ws, host, 4, dir.file("new.slc")));
    EXPECT_EQ(ws.FPoleF.Preview.Width, PolePreviewPlotSize + 3);
    EXPECT_EQ(ws.FPoleF.PlotSize, PolePlotSize);
    EXPECT_TRUE(ws.Poles.PoleFigure(1) == panel);
    EXPECT_EQ(ws.Poles.PoleCount, 1);
    EXPECT_EQ(ws.FPoleF.panelp[0], "f.epf");
}

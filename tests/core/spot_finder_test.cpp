#include <gtest/gtest.h>

#include "frame_test_support.h"
#include "workspace/frame_display.h"
#include "workspace/host.h"
#include "workspace/spot_finder.h"
#include "workspace/workspace.h"

using namespace orv;

namespace {

// A loaded frame of `level` counts everywhere.
void Flat(Workspace& ws, int32_t w, int32_t h, int32_t level) {
    test::MakeFrame(ws, w, h);
    for (int32_t i = 1; i <= w; ++i)
        for (int32_t j = 1; j <= h; ++j) ws.FramePixels.Intensity[i][j] = level;
}

} // namespace

TEST(SpotFinderTest, OneIsolatedPeakGivesOneSpotClippedAtTheEdges) {
    Workspace ws;
    RecordingHost host;
    Flat(ws, 60, 40, 100);
    ws.FramePixels.Intensity[30][20] = 5000;
    ws.FramePixels.Intensity[2][39] = 4000;   // near the left and bottom edges
    ws.Form36.Epixels = "5";
    EXPECT_EQ(TForm36BFindClick(ws, host), 2);
    const auto& spots = ws.Form36.Spots;
    ASSERT_EQ(spots.size(), 2u);
    EXPECT_EQ(spots[0], (FoundSpot{30, 20, 5, 5, 25, 35, 15, 25}));
    EXPECT_EQ(spots[1], (FoundSpot{2, 39, 5, 5, 1, 7, 34, 40}));
    EXPECT_TRUE(ws.Form36.BMaskspotsEnabled);
    EXPECT_TRUE(test::Logged(ws, "2 single crystal spots found"));
    // Outlined in the masked colour on the picture (shown 1:1).
    EXPECT_EQ(ws.Form1.Image1.Get(25, 15), MaskedColor);
    EXPECT_EQ(ws.Form1.Image1.Get(34, 24), MaskedColor);
    EXPECT_NE(ws.Form1.Image1.Get(30, 20), MaskedColor);

    EXPECT_EQ(TForm36BMaskspotsClick(ws, host), 11 * 11 + 7 * 7);
    EXPECT_EQ(ws.FramePixels.Intensity[25][15], -1);
    EXPECT_EQ(ws.FramePixels.Intensity[24][15], 100);
    EXPECT_EQ(ws.FramePixels.Intensity[1][40], -1);
    // Masking again changes nothing more.
    EXPECT_EQ(TForm36BMaskspotsClick(ws, host), 0);
}

TEST(SpotFinderTest, AboveBackgroundOrAbsoluteAndWhatTakesNoPart) {
    Workspace ws;
    RecordingHost host;
    Flat(ws, 30, 30, 1000);
    ws.FramePixels.Intensity[10][10] = 1500;   // 500 above its background
    ws.FramePixels.Intensity[20][20] = 2600;   // 1600 above it
    ws.FramePixels.Intensity[21][20] = 2600;   // the same: only the first of the two counts
    ws.FramePixels.Intensity[20][21] = -1;     // masked: no part in the minima
    ws.Form36.Eintensity = "1000";
    EXPECT_EQ(TForm36BFindClick(ws, host), 1);
    EXPECT_EQ(ws.Form36.Spots[0].Column, 20);
    ws.Form36.RadioButton1 = false;
    ws.Form36.RadioButton2 = true;
    EXPECT_EQ(TForm36BFindClick(ws, host), 2);

    // A high-count frame: the background is measured, not capped.
    Flat(ws, 30, 30, 50000);
    ws.FramePixels.Intensity[15][15] = 50800;
    ws.Form36.RadioButton1 = true;
    ws.Form36.RadioButton2 = false;
    ws.Form36.Eintensity = "1000";
    EXPECT_EQ(TForm36BFindClick(ws, host), 0);
    const SpotTest t = IsSpotMaximum(ws.FramePixels.Intensity, 30, 30, 15, 15, 5, 5, false);
    EXPECT_TRUE(t.IsMaximum);
    EXPECT_EQ(t.LocalBackground, 50000);
}

TEST(SpotFinderTest, AutoWindowFollowsTheLowestPointsAroundThePeak) {
    Workspace ws;
    RecordingHost host;
    Flat(ws, 40, 40, 200);
    ws.FramePixels.Intensity[20][20] = 5000;
    ws.FramePixels.Intensity[17][20] = 10;   // lowest left of it, 3 columns away
    ws.FramePixels.Intensity[24][20] = 10;   // lowest right of it, 4 columns away
    ws.FramePixels.Intensity[20][18] = 10;
    ws.FramePixels.Intensity[20][25] = 10;
    ws.Form36.CheckBox1 = true;
    ws.Form36.Epixels = "not read with Auto";
    ASSERT_EQ(TForm36BFindClick(ws, host), 1);
    EXPECT_TRUE(ws.Form36.AutoMode);
    const FoundSpot& s = ws.Form36.Spots[0];
    EXPECT_EQ(s.HalfX, 3);   // (24 - 17) div 2
    EXPECT_EQ(s.HalfY, 3);   // (25 - 18) div 2
    EXPECT_EQ(s.X1, 17);
    EXPECT_EQ(s.Y2, 23);
}

TEST(SpotFinderTest, WindowSizesForTheFrameSize) {
    struct Case {
        int32_t size;
        std::string shown;
        int32_t automatic;
    };
    for (const Case& c : {Case{900, "4", 6}, Case{999, "4", 6}, Case{1000, "5", 6}, Case{1001, "8", 10},
                         Case{2000, "8", 10}, Case{2001, "16", 16}}) {
        Workspace ws;
        ws.FrameSize = c.size;
        TForm36FormShow(ws);
        EXPECT_EQ(ws.Form36.Epixels, c.shown) << c.size;
        EXPECT_EQ(AutoSpotWindow(c.size), c.automatic) << c.size;
    }
}

TEST(SpotFinderTest, BadBoxesAreRefusedAndChangeNothing) {
    Workspace ws;
    RecordingHost host;
    EXPECT_EQ(TForm36BFindClick(ws, host), -1);
    EXPECT_EQ(host.messages.back(), "Need to open a file first");
    Flat(ws, 20, 20, 100);
    ws.FramePixels.Intensity[10][10] = 5000;
    ASSERT_EQ(TForm36BFindClick(ws, host), 1);
    for (const auto& [intensity, pixels] : std::vector<std::pair<std::string, std::string>>{
             {"abc", "5"}, {"", "5"}, {"1000", "0"}, {"1000", "101"}, {"1000", "-3"}, {"1000", "2.5"}, {"1000", "x"}}) {
        ws.Form36.Eintensity = intensity;
        ws.Form36.Epixels = pixels;
        host.messages.clear();
        EXPECT_EQ(TForm36BFindClick(ws, host), -1) << intensity << " / " << pixels;
        ASSERT_EQ(host.messages.size(), 1u);
        EXPECT_EQ(ws.Form36.Spots.size(), 1u);
    }
    EXPECT_EQ(host.messages.back(), "'x' is not a valid number");
}

TEST(SpotFinderTest, MaskingAfterTheFrameShrankWritesOnlyInsideIt) {
    Workspace ws;
    RecordingHost host;
    Flat(ws, 100, 80, 100);
    ws.FramePixels.Intensity[95][75] = 9000;
    ws.FramePixels.Intensity[10][10] = 9000;
    ASSERT_EQ(TForm36BFindClick(ws, host), 2);
    Flat(ws, 50, 40, 100);   // a smaller frame in force
    EXPECT_EQ(TForm36BMaskspotsClick(ws, host), 11 * 11);
    EXPECT_EQ(ws.FramePixels.Intensity[5][5], -1);
    EXPECT_EQ(ws.FramePixels.Intensity[50][40], 100);
}

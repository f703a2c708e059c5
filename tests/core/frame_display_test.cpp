#include <climits>
#include <vector>

#include <gtest/gtest.h>

#include "frame_test_support.h"
#include "workspace/frame_display.h"
#include "workspace/frame_tools.h"
#include "workspace/host.h"
#include "workspace/sector_overlay.h"
#include "workspace/workspace.h"

namespace orv {
namespace {

constexpr uint32_t Rgb(int r, int g, int b) { return MakeColor(r, g, b); }

// ---- Palette -----------------------------------------------------------------

TEST(FramePalette, RampRunsBlackRedYellowWhite) {
    const std::vector<uint32_t> ramp = MakePaletteRamp();
    EXPECT_EQ(ramp[0], Rgb(0, 0, 0));
    EXPECT_EQ(ramp[100], Rgb(100, 0, 0));
    EXPECT_EQ(ramp[255], Rgb(255, 0, 0));
    EXPECT_EQ(ramp[256], Rgb(255, 1, 0));
    EXPECT_EQ(ramp[400], Rgb(255, 145, 0));
    EXPECT_EQ(ramp[510], Rgb(255, 255, 0));
    EXPECT_EQ(ramp[512], Rgb(255, 255, 1));
    EXPECT_EQ(ramp[765], Rgb(255, 255, 254));
    EXPECT_EQ(ramp.size(), static_cast<size_t>(PaletteLength));
}

TEST(FramePalette, EntriesAtTheSeams) {
    Workspace ws;
    BuildPalette(ws);
    const auto& p = ws.Palette;
    EXPECT_EQ(p[0], Rgb(0, 0, 0));
    EXPECT_EQ(p[1], Rgb(8, 0, 0));              // ramp 8
    EXPECT_EQ(p[31], Rgb(248, 0, 0));           // ramp 248
    EXPECT_EQ(p[32], Rgb(255, 1, 0));           // ramp 256
    EXPECT_EQ(p[64], Rgb(255, 255, 1));         // ramp 512
    EXPECT_EQ(p[65], Rgb(255, 255, 23));        // ramp 512 + Round(21.67) = 534
    EXPECT_EQ(p[699], Rgb(255, 255, 234));      // ramp 512 + 233 = 745
    EXPECT_EQ(p[760], Rgb(255, 255, 254));      // ramp 512 + Round(253.33) = 765, the last
    // 761..1023 would lie past the ramp: they keep its last colour.
    EXPECT_EQ(p[761], Rgb(255, 255, 254));
    EXPECT_EQ(p[1023], Rgb(255, 255, 254));
    EXPECT_EQ(p[1024], Rgb(255, 255, 255));
    EXPECT_EQ(p[4000], Rgb(255, 255, 255));
    EXPECT_EQ(ws.PaletteBackup[765], Rgb(255, 255, 254));
    EXPECT_EQ(ws.PaletteBackup[300], Rgb(255, 45, 0));
}

// ---- Scale and colour ------------------------------------------------------------

TEST(FrameBrightness, TrackBarPositions) {
    EXPECT_EQ(BrightnessFromTrackBar(50), 600);
    EXPECT_EQ(BrightnessFromTrackBar(100), 8000 * 512);   // doubled nine times
    EXPECT_EQ(BrightnessFromTrackBar(100), 4096000);
    EXPECT_EQ(BrightnessFromTrackBar(0), 10);
    EXPECT_EQ(BrightnessFromTrackBar(49), 299);           // trunc(289.1) + 10
    EXPECT_EQ(BrightnessFromTrackBar(75), 4300);          // 3700 + 600, not yet doubled
    EXPECT_EQ(BrightnessFromTrackBar(76), 2 * 4448);
    EXPECT_EQ(BrightnessFromTrackBar(91), 6668 * 32);     // five thresholds passed
}

TEST(FrameBrightness, TrackBarChangeNeedsAFrameAndRedraws) {
    Workspace ws;
    RecordingHost host;
    Form22TrackBar1Change(ws, host, 80);
    EXPECT_EQ(ws.Form22.Edit1, "80");
    EXPECT_EQ(ws.Brightness, 800);   // no frame: unchanged
    EXPECT_TRUE(host.changes.empty());
    test::MakeFrame(ws, 8, 8);
    Form22TrackBar1Change(ws, host, 0);
    EXPECT_EQ(ws.Brightness, 10);
    EXPECT_EQ(ws.Form1.Image1.Width, 9);
    ASSERT_FALSE(host.changes.empty());
    EXPECT_EQ(host.changes.back(), View::Frame);
    Form22TrackBar1Change(ws, host, 250);
    EXPECT_EQ(ws.Form22.TrackBar1, 100);
}

TEST(FrameColour, RoundingAtTheWhiteIndex) {
    const std::vector<uint32_t> p = MakePalette();
    // 0.1 x 6994 = 699.4 -> 699; 0.1 x 6996 = 699.6 -> 700, white.
    EXPECT_EQ(IntensityColor(p, 0.1, 6994), p[699]);
    EXPECT_EQ(IntensityColor(p, 0.1, 6996), WhiteColor);
    // Halves go to the even neighbour: 698.5 -> 698, 699.5 -> 700.
    EXPECT_EQ(IntensityColor(p, 0.5, 1397), p[698]);
    EXPECT_EQ(IntensityColor(p, 0.5, 1399), WhiteColor);
    EXPECT_EQ(IntensityColor(p, 0.5, 3), p[2]);           // 1.5 -> 2
    EXPECT_EQ(IntensityColor(p, 0.5, 5), p[2]);           // 2.5 -> 2
}

TEST(FrameColour, MaskedHugeAndStaleScales) {
    const std::vector<uint32_t> p = MakePalette();
    EXPECT_EQ(IntensityColor(p, 1.0, -1), MaskedColor);
    EXPECT_EQ(IntensityColor(p, 1.0, INT_MIN), MaskedColor);
    EXPECT_EQ(IntensityColor(p, 1.0, INT_MAX), WhiteColor);
    EXPECT_EQ(IntensityColor(p, 4096000.0, INT_MAX), WhiteColor);   // no integer overflow
    EXPECT_EQ(IntensityColor(p, 0.0, INT_MAX), p[0]);
    EXPECT_EQ(IntensityColor(p, 1e-12, 5), p[0]);
}

TEST(FrameColour, ScaleWithoutAMaximum) {
    Workspace ws;
    ws.Brightness = 600;
    ws.MaxIntensity = 1200;
    EXPECT_DOUBLE_EQ(DisplayScale(ws), 0.5);
    ws.MaxIntensity = 0;
    EXPECT_DOUBLE_EQ(DisplayScale(ws), 600.0);
    ws.MaxIntensity = -5;
    EXPECT_DOUBLE_EQ(DisplayScale(ws), 600.0);
}

// ---- Rendering -------------------------------------------------------------------------

// Intensity 8 x column + row (border included) at scale 1, so that the
// palette colour of a display pixel names the frame pixel it shows.
void NumberedFrame(Workspace& ws, int32_t width, int32_t height) {
    test::MakeFrame(ws, width, height);
    for (int32_t i = 0; i <= width + 1; ++i)
        for (int32_t j = 0; j <= height + 1; ++j) ws.FramePixels.Intensity[i][j] = 8 * i + j;
}

// The frame pixel (column, row) that a rendered pixel shows.
void Source(const Workspace& ws, const RgbImage& image, int x, int y, int& column, int& row) {
    const uint32_t c = image.Get(x, y);
    for (int k = 0; k < 64; ++k) {
        if (ws.Palette[k] == c) {
            column = k / 8;
            row = k % 8;
            return;
        }
    }
    column = row = -1;
}

TEST(FrameRender, ShrinkingSamplesEverySecondPixel) {
    Workspace ws;
    NumberedFrame(ws, 6, 6);
    ws.DisplayWidth = 3;   // g = 2
    RenderFrame(ws);
    const RgbImage& im = ws.Form1.Image1;
    ASSERT_EQ(im.Width, 4);
    ASSERT_EQ(im.Height, 4);
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 3; ++x) {
            int c = 0, r = 0;
            Source(ws, im, x, y, c, r);
            EXPECT_EQ(c, 2 * x) << x << "," << y;
            EXPECT_EQ(r, 2 * y) << x << "," << y;
        }
    }
    // The extra column and row stay white.
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(im.Get(3, k), WhiteColor);
        EXPECT_EQ(im.Get(k, 3), WhiteColor);
    }
    EXPECT_TRUE(ws.Form1.PicturePending);
}

TEST(FrameRender, EnlargingRepeatsPixelsRoundingHalvesToEven) {
    Workspace ws;
    NumberedFrame(ws, 6, 6);
    ws.DisplayWidth = 12;   // g = 0.5
    RenderFrame(ws);
    const RgbImage& im = ws.Form1.Image1;
    ASSERT_EQ(im.Width, 13);
    ASSERT_EQ(im.Height, 13);
    // Round(0.5 h): 0, 0, 1, 2, 2, 2, 3, 4, 4, 4, 5, 6.
    const int expected[12] = {0, 0, 1, 2, 2, 2, 3, 4, 4, 4, 5, 6};
    for (int k = 0; k < 12; ++k) {
        int c = 0, r = 0;
        Source(ws, im, k, 5, c, r);
        EXPECT_EQ(c, expected[k]) << k;
        Source(ws, im, 7, k, c, r);
        EXPECT_EQ(r, expected[k]) << k;
    }
}

TEST(FrameRender, WideFrameAtHalfWidthTakesEvenColumns) {
    Workspace ws;
    test::MakeFrame(ws, 2048, 16);
    for (int32_t i = 1; i <= 2048; ++i)
        for (int32_t j = 1; j <= 16; ++j) ws.FramePixels.Intensity[i][j] = i % 2 == 0 ? 100 : -1;
    ws.DisplayWidth = 1024;
    RenderFrame(ws);
    const RgbImage& im = ws.Form1.Image1;
    ASSERT_EQ(im.Width, 1025);
    ASSERT_EQ(im.Height, 9);   // Round(1024 x 16 / 2048) + 1
    // Display column h shows frame column 2h: only even columns, never masked
    // odd ones; column 0 is the border.
    for (int x = 1; x < 1024; ++x) EXPECT_EQ(im.Get(x, 4), ws.Palette[100]) << x;
    EXPECT_EQ(im.Get(0, 4), ws.Palette[0]);
}

TEST(FrameRender, MaskedPixelsAndNoFrame) {
    Workspace ws;
    RenderFrame(ws);
    EXPECT_EQ(ws.Form1.Image1.Width, 1025);
    EXPECT_EQ(ws.Form1.Image1.Height, 1);
    NumberedFrame(ws, 4, 4);
    ws.FramePixels.Intensity[2][3] = -1;
    RenderFrame(ws);
    EXPECT_EQ(ws.Form1.Image1.Get(2, 3), MaskedColor);
    EXPECT_EQ(DisplayWord(MaskedColor), 0xFFA6CAF0u);   // red A6, green CA, blue F0
}

TEST(FrameRender, FrameWiderThanItsAllocationStaysInside) {
    Workspace ws;
    NumberedFrame(ws, 4, 4);
    ws.FrameWidth = 400;   // a stale size: the picture reads only the allocation
    ws.FrameHeight = 400;
    ws.DisplayWidth = 100;
    RenderFrame(ws);
    EXPECT_EQ(ws.Form1.Image1.Get(99, 99), WhiteColor);
}

TEST(FrameRender, ARedrawOverAMarkedPictureEqualsAFreshRender) {
    // The picture is reused, not filled again: every pixel must still be
    // written, white where no frame pixel is shown (the stale size reads
    // only the allocation, so most of the picture is white).
    for (const int32_t allocated : {4, 40}) {
        Workspace ws, fresh;
        NumberedFrame(ws, allocated, allocated);
        NumberedFrame(fresh, allocated, allocated);
        for (Workspace* w : {&ws, &fresh}) {
            test::FlatGeometry(*w, 2, 2, 30);
            w->FrameWidth = w->FrameHeight = 40;
            w->DisplayWidth = 30;
            w->SectorTwoTheta1 = 10;
            w->SectorTwoTheta2 = 25;
            w->SectorPsi1 = 300;
            w->SectorPsi2 = 60;
        }
        RecordingHost host;
        RenderFrameWithSector(ws, host);
        for (uint32_t& p : ws.Form1.Image1.Pixels) p = 0x12345678;   // every pixel marked
        RenderFrameWithSector(ws, host);
        RenderFrameWithSector(fresh, host);
        EXPECT_EQ(ws.Form1.Image1.Pixels, fresh.Form1.Image1.Pixels) << allocated;
        RenderFrame(ws);
        RenderFrame(fresh);
        EXPECT_EQ(ws.Form1.Image1.Pixels, fresh.Form1.Image1.Pixels) << allocated;
    }
}

TEST(FrameThumbnail, HundredColumnsWithRepeatOutside) {
    Workspace ws;
    test::MakeFrame(ws, 200, 100);
    for (int32_t i = 1; i <= 200; ++i)
        for (int32_t j = 1; j <= 100; ++j) ws.FramePixels.Intensity[i][j] = (i + j) % 60;
    RgbImage thumb;
    RenderFrameToImage(ws, thumb);
    ASSERT_GE(thumb.Width, 101);
    ASSERT_GE(thumb.Height, 51);
    const double s = DisplayScale(ws);
    // Pixel (j, i) shows frame pixel (trunc(2 j + 1), trunc(2 i + 1)).
    EXPECT_EQ(thumb.Get(3, 4), IntensityColor(ws.Palette, s, (7 + 9) % 60));
    EXPECT_EQ(thumb.Get(40, 20), IntensityColor(ws.Palette, s, (81 + 41) % 60));
    // Column 100 would read column 201: it repeats column 99's colour.
    EXPECT_EQ(thumb.Get(100, 10), thumb.Get(99, 10));
    // Rows beyond 100 x height / width are not drawn.
    EXPECT_EQ(thumb.Get(10, 0), WhiteColor);
}

// ---- Zoom --------------------------------------------------------------------------------

TEST(FrameZoom, MagnifiesSmallFramesOnly) {
    Workspace ws;
    ws.FrameTools.ZoomX = 100;
    ws.FrameTools.ZoomY = 100;
    int32_t c = 0, r = 0;
    ws.FrameSize = 512;
    ZoomSource(ws, 10, 21, c, r);
    EXPECT_EQ(c, 5 + 100 - 32);
    EXPECT_EQ(r, 10 + 100 - 32);
    ws.FrameSize = 513;
    ZoomSource(ws, 10, 21, c, r);
    EXPECT_EQ(c, 10 + 100 - 63);
    EXPECT_EQ(r, 21 + 100 - 63);
}

TEST(FrameZoom, OwnRampWithoutCarries) {
    EXPECT_EQ(ZoomColor(1.0, 0), Rgb(0, 0, 0));
    EXPECT_EQ(ZoomColor(1.0, 10), Rgb(80, 0, 0));
    EXPECT_EQ(ZoomColor(1.0, 31), Rgb(248, 0, 0));
    EXPECT_EQ(ZoomColor(1.0, 32), Rgb(255, 0, 0));
    EXPECT_EQ(ZoomColor(1.0, 33), Rgb(255, 8, 0));     // 33 x 2048 - 65281
    EXPECT_EQ(ZoomColor(1.0, 40), Rgb(255, 64, 0));
    EXPECT_EQ(ZoomColor(1.0, 64), Rgb(255, 255, 0));
    EXPECT_EQ(ZoomColor(1.0, 65), Rgb(255, 255, 22));
    EXPECT_EQ(ZoomColor(1.0, 100), Rgb(255, 255, 34));  // 22 + trunc(36 / 3)
    EXPECT_EQ(ZoomColor(1.0, 767), Rgb(255, 255, 255));
    EXPECT_EQ(ZoomColor(1.0, 768), WhiteColor);
    EXPECT_EQ(ZoomColor(0.5, 21), Rgb(80, 0, 0));      // trunc(10.5)
    EXPECT_EQ(ZoomColor(1.0, -1), MaskedColor);
    EXPECT_EQ(ZoomColor(1e9, INT_MAX), WhiteColor);
}

TEST(FrameZoom, PictureOutsideIsWhiteAndCrossFollowsBrightness) {
    Workspace ws;
    test::MakeFrame(ws, 20, 20);   // magnified twice
    ws.FrameTools.ZoomX = 1;
    ws.FrameTools.ZoomY = 1;
    DrawZoom(ws);
    const RgbImage& im = ws.Form21.Image2;
    ASSERT_EQ(im.Width, ZoomImageSize);
    // Image pixel (10, 70) reads column 5 + 1 - 32 < 0: white.
    EXPECT_EQ(im.Get(10, 70), WhiteColor);
    // Image pixel (70, 70) reads pixel (4, 4): zero counts, black.
    EXPECT_EQ(im.Get(70, 70), Rgb(0, 0, 0));
    // The centre (63, 63) shows pixel (0, 0), a border cell (black): white cross.
    EXPECT_EQ(im.Get(63, 100), WhiteColor);
    for (int32_t i = 0; i <= 21; ++i)
        for (int32_t j = 0; j <= 21; ++j) ws.FramePixels.Intensity[i][j] = 100000;
    DrawZoom(ws);
    EXPECT_EQ(ws.Form21.Image2.Get(63, 100), BlueColor);
    EXPECT_EQ(ws.Form21.Image2.Get(100, 63), BlueColor);
}

TEST(FrameReadout, PanelsUnderTheMouse) {
    Workspace ws;
    RecordingHost host;
    test::MakeFrame(ws, 40, 40);
    test::FlatGeometry(ws, 20, 20, 30);
    ws.FramePixels.Intensity[30][20] = 77;
    Image1MouseMove(ws, host, 30, 20);
    EXPECT_EQ(ws.Form21.Panel4, "X= 30, Y= 20, I= 77");
    // atan(10 / 30) = 18.4349 degrees, psi 0 to the right of the centre.
    EXPECT_EQ(ws.Form21.Panel1, "2Theta= 18.435, Psi= 0");
    EXPECT_EQ(ws.FrameTools.ZoomX, 30);
    EXPECT_EQ(ws.FrameTools.ZoomY, 20);
    Image1MouseMove(ws, host, 20, 10);
    EXPECT_EQ(ws.Form21.Panel1, "2Theta= 18.435, Psi= 90");
    Image1MouseMove(ws, host, 41, 10);
    EXPECT_EQ(ws.Form21.Panel4, "");
    EXPECT_EQ(ws.Form21.Panel1, "");
    // The zoom image: magnified twice about (20, 10); pixel (84, 64) reads
    // column 42 + 20 - 32 = 30, row 32 + 10 - 32 = 10.
    ws.FramePixels.Intensity[30][10] = 5;
    ZoomImageMouseMove(ws, 84, 64);
    EXPECT_EQ(ws.Form21.Panel4, "x, y = 30,10, I = 5");
    EXPECT_EQ(ws.Form21.Panel1, "2Theta = 25.2, Psi = 45");
    // Far outside it is clamped to the frame's edge.
    ZoomImageMouseMove(ws, 126, 126);
    EXPECT_EQ(ws.Form21.Panel4.substr(0, 12), "x, y = 40,40");
}

} // namespace
} // namespace orv

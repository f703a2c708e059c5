#include <gtest/gtest.h>

#include "workspace/window_placement.h"

using namespace orv;

TEST(WindowPlacementTest, WindowsAreKeptOnTheScreenAtTheirPlaceWhereTheyCanBe) {
    const ScreenRect screen{0, 0, 1920, 1200};
    struct Row {
        const char* what;
        ScreenRect window;
        int minWidth, minHeight;
        ScreenRect placed;
    };
    const Row rows[] = {
        {"fits: unchanged", {100, 150, 800, 600}, 200, 200, {100, 150, 800, 600}},
        // 1028 + 900 runs 8 past the edge: it gives them up where it stands.
        {"past the right edge", {1028, 150, 900, 640}, 400, 300, {1028, 150, 892, 640}},
        // 1059 high from 150 runs 9 past the bottom.
        {"past the bottom", {0, 150, 1026, 1059}, 100, 60, {0, 150, 1026, 1050}},
        // Giving up what lies beyond would leave it below its least size: it moves back.
        {"a dialog that cannot shrink", {600, 900, 500, 400}, 300, 400, {600, 800, 500, 400}},
        {"above and left of the screen", {-40, -30, 300, 200}, 100, 100, {0, 0, 300, 200}},
        {"larger than the screen", {10, 10, 2500, 1500}, 100, 100, {10, 10, 1910, 1190}},
        {"a minimum larger than itself", {1800, 100, 200, 100}, 500, 50, {1720, 100, 200, 100}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        const ScreenRect placed = FitOnScreen(r.window, screen, r.minWidth, r.minHeight);
        EXPECT_EQ(placed, r.placed) << placed.Left << "," << placed.Top << " " << placed.Width << "x" << placed.Height;
        EXPECT_TRUE(Inside(placed, screen));
    }
    // An area that does not start at the origin (a panel above the windows).
    const ScreenRect below{0, 40, 1920, 1160};
    EXPECT_EQ(FitOnScreen({0, 0, 1268, 140}, below, 100, 100), (ScreenRect{0, 40, 1268, 140}));
}

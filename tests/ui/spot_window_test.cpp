#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include <gtest/gtest.h>

#include "../core/frame_test_support.h"
#include "windows_test_support.h"
#include "workspace/frame_display.h"
#include "workspace/ui/spot_window.h"
#include "workspace/workspace.h"

using namespace orv;
using namespace orv::test;

TEST(SpotWindowTest, FindsAndMasksSpotsFromItsBoxesAndAnswersBadInput) {
    Workspace ws;
    TestHost host;
    MakeFrame(ws, 300, 200);
    for (int32_t i = 1; i <= 300; ++i)
        for (int32_t j = 1; j <= 200; ++j) ws.FramePixels.Intensity[i][j] = 200;
    ws.FramePixels.Intensity[100][50] = 6000;
    ws.FramePixels.Intensity[250][150] = 3000;

    TForm36Window w(ws, host);
    EXPECT_EQ(w.windowTitle(), "Find reflections tool");
    w.show();
    // Shown for a frame under 1000 pixels: window 4.
    EXPECT_EQ(Find<QLineEdit>(&w, "Epixels")->text(), "4");
    EXPECT_TRUE(Find<QRadioButton>(&w, "RadioButton1")->isChecked());
    auto* mask = Find<QPushButton>(&w, "BMaskspots");
    EXPECT_FALSE(mask->isEnabled());

    for (const char* bad : {"abc", "0", "500"}) {
        Type(Find<QLineEdit>(&w, "Epixels"), bad);
        Find<QPushButton>(&w, "BFind")->click();
    }
    ASSERT_EQ(host.messages.size(), 3u);
    EXPECT_EQ(host.messages[0], "'abc' is not a valid number");
    EXPECT_EQ(host.messages[1], "Window Size (pixels) must be a whole number from 1 to 100");
    EXPECT_FALSE(mask->isEnabled());

    Type(Find<QLineEdit>(&w, "Epixels"), "3");
    Type(Find<QLineEdit>(&w, "Eintensity"), "5000");
    Find<QPushButton>(&w, "BFind")->click();
    ASSERT_EQ(ws.Form36.Spots.size(), 1u);   // 3000 is under the threshold
    EXPECT_TRUE(mask->isEnabled());
    mask->click();
    EXPECT_EQ(ws.FramePixels.Intensity[97][47], -1);
    EXPECT_EQ(ws.FramePixels.Intensity[96][47], 200);
    EXPECT_EQ(host.messages.size(), 3u);

    Find<QCheckBox>(&w, "CheckBox1")->click();
    EXPECT_TRUE(ws.Form36.CheckBox1);
    ExpectButtonHides(&w, "Button1");
}

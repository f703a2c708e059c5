#include <gtest/gtest.h>

#include <algorithm>

#include "workspace/detector_window_commands.h"
#include "workspace/host.h"
#include "workspace/workspace.h"

using namespace orv;

TEST(DetectorWindowCommandsTest, ShapeClicksTakeEffectAtOnceExceptSpherical) {
    Workspace ws;
    RecordingHost host;
    DetectorShapeClick(ws, host, 2);
    EXPECT_TRUE(ws.Form32.RCylindrical);
    EXPECT_FALSE(ws.Form32.RFlat);
    EXPECT_EQ(ws.FlatDetector, 0);

    DetectorShapeClick(ws, host, 1);
    EXPECT_TRUE(ws.Form32.RFlat);
    EXPECT_EQ(ws.FlatDetector, 1);

    DetectorShapeClick(ws, host, 3);
    EXPECT_TRUE(ws.Form32.RSphere);
    EXPECT_FALSE(ws.Form32.RFlat);
    EXPECT_EQ(ws.FlatDetector, 1);   // waits for OK
    DetectorSettingsOK(ws, host);
    EXPECT_EQ(ws.FlatDetector, 0);

    DetectorShapeClick(ws, host, 4);   // no such button
    EXPECT_TRUE(ws.Form32.RSphere);
    EXPECT_NE(std::find(host.changes.begin(), host.changes.end(), View::Settings), host.changes.end());
}

TEST(DetectorWindowCommandsTest, OkFollowsTheFlatButton) {
    Workspace ws;
    RecordingHost host;
    ws.FlatDetector = 0;
    DetectorSettingsOK(ws, host);   // "Flat" is ticked by default
    EXPECT_EQ(ws.FlatDetector, 1);
    ws.Form32.SelectShape(2);
    DetectorSettingsOK(ws, host);
    EXPECT_EQ(ws.FlatDetector, 0);
}

TEST(DetectorWindowCommandsTest, SelectAllTicksExactlyTheEightGeometryBoxes) {
    Workspace ws;
    RecordingHost host;
    DetectorSelectAll(ws, host);
    const TForm32& f = ws.Form32;
    for (bool ticked : {f.CBXo, f.CBYo, f.CBlanda, f.CBDSize, f.CBDistance, f.CB2thetaD, f.CBSlitDetector,
                        f.CBSampleOffset})
        EXPECT_TRUE(ticked);
    EXPECT_FALSE(f.CBPixSize);
    EXPECT_FALSE(f.CustomFile);
}

TEST(DetectorWindowCommandsTest, WavelengthPresets) {
    Workspace ws;
    RecordingHost host;
    const std::pair<const char*, const char*> presets[] = {
        {"Mo", "0.70926"}, {"Cu", "1.54060"}, {"Co", "1.78890"}, {"Fe", "1.93597"}, {"Cr", "2.28962"}};
    for (auto [anode, text] : presets) {
        WavelengthPresetClick(ws, host, anode);
        EXPECT_EQ(ws.Form19.Elanda, text) << anode;
    }
    WavelengthPresetClick(ws, host, "W");
    EXPECT_EQ(ws.Form19.Elanda, "2.28962");
    EXPECT_DOUBLE_EQ(ws.Landa, 0.7090);   // only OK stores the wavelength
}

#include <gtest/gtest.h>

#include <cmath>

#include "test_support.h"
#include "workspace/detector_settings.h"
#include "workspace/host.h"
#include "base/numbers.h"
#include "workspace/text_files.h"
#include "workspace/workspace.h"

using namespace orv;
using orv::test::TempDir;

namespace {

std::vector<std::string> NineteenTexts() {
    return {"250.5", "249", "1.54060", "-18.000", "144.7", "90", "38.4", "Rig A", "Jane Doe", "1", "3",
            "466.0", "256.0", "130.2", "160.0", "75", "2048", "1024", "0.250"};
}

void FillRecords(Workspace& ws, const std::vector<std::string>& t) {
    TForm32& f = ws.Form32;
    f.EXoM = t[0]; f.EYoM = t[1]; f.ELanda = t[2]; f.E2thetaD = t[3]; f.EPhiAxis = t[4];
    f.EDistance = t[5]; f.EDSize = t[6];
    ws.Form28.Ediffractometer = t[7]; ws.Form28.EUser = t[8]; ws.Form28.CBVertical = t[9] == "1";
    f.SelectShape(std::stoi(t[10]));
    f.ELength = t[11]; f.EHeight = t[12]; f.ERadius = t[13]; f.EAMax = t[14]; f.EPixSize = t[15];
    f.EDSizeX = t[16]; f.EDSizeY = t[17]; f.Eth2offset = t[18];
}

std::vector<std::string> RecordTexts(const Workspace& ws) {
    const TForm32& f = ws.Form32;
    return {f.EXoM, f.EYoM, f.ELanda, f.E2thetaD, f.EPhiAxis, f.EDistance, f.EDSize,
            ws.Form28.Ediffractometer, ws.Form28.EUser, ws.Form28.CBVertical ? "1" : "0",
            f.RFlat ? "1" : f.RCylindrical ? "2" : "3",
            f.ELength, f.EHeight, f.ERadius, f.EAMax, f.EPixSize, f.EDSizeX, f.EDSizeY, f.Eth2offset};
}

} // namespace

TEST(SettingsFileTest, SaveWritesNineteenLinesWithCrLfInBoxOrder) {
    TempDir dir;
    Workspace ws;
    FillRecords(ws, NineteenTexts());
    SaveSettingsFile(ws, dir.file("a.set"));
    std::string expected;
    for (const auto& t : NineteenTexts()) expected += t + "\r\n";
    EXPECT_EQ(test::ReadBytes(dir.file("a.set")), expected);
}

TEST(SettingsFileTest, SaveThenLoadRestoresEveryTextExactly) {
    TempDir dir;
    Workspace a;
    auto texts = NineteenTexts();
    texts[0] = "not a number";   // texts are kept as typed, numbers or not
    texts[7] = "  spaced  name ";
    FillRecords(a, texts);
    SaveSettingsFile(a, dir.file("a.set"));

    Workspace b;
    RecordingHost host;
    ASSERT_TRUE(LoadSettingsFile(b, host, dir.file("a.set")));
    EXPECT_EQ(RecordTexts(b), texts);
    EXPECT_EQ(b.Form27.EXoM, texts[0]);
    EXPECT_EQ(b.Form14.EPhiAxis, "144.7");
    EXPECT_EQ(b.Form16.EPhiAxis, "144.7");
    EXPECT_EQ(b.FlatDetector, 0);   // spherical
    EXPECT_EQ(b.LLog.Last(), "Loaded Settings a.set");
    EXPECT_TRUE(host.messages.empty());
}

TEST(SettingsFileTest, SixteenLinesAndEmptyOptionalLinesTakeDefaults) {
    TempDir dir;
    auto texts = NineteenTexts();
    std::vector<std::string> sixteen(texts.begin(), texts.begin() + 16);
    WriteTextLines(dir.file("short.set"), sixteen);
    Workspace ws;
    RecordingHost host;
    ASSERT_TRUE(LoadSettingsFile(ws, host, dir.file("short.set")));
    EXPECT_EQ(ws.Form32.EDSizeX, "512");
    EXPECT_EQ(ws.Form32.EDSizeY, "512");
    EXPECT_EQ(ws.Form32.Eth2offset, "0.000");

    auto withEmpty = texts;
    withEmpty[16] = "";   // line 17 empty, 18 and 19 given
    WriteTextLines(dir.file("empty17.set"), withEmpty);
    ASSERT_TRUE(LoadSettingsFile(ws, host, dir.file("empty17.set")));
    EXPECT_EQ(ws.Form32.EDSizeX, "512");
    EXPECT_EQ(ws.Form32.EDSizeY, "1024");
    EXPECT_EQ(ws.Form32.Eth2offset, "0.250");
}

TEST(SettingsFileTest, UnknownShapeLineLeavesShapeAlone) {
    TempDir dir;
    for (const char* shape : {"4", ""}) {
        auto texts = NineteenTexts();
        texts[10] = shape;
        WriteTextLines(dir.file("s.set"), texts);
        Workspace ws;
        ws.Form32.SelectShape(2);
        ws.FlatDetector = 0;
        RecordingHost host;
        ASSERT_TRUE(LoadSettingsFile(ws, host, dir.file("s.set")));
        EXPECT_TRUE(ws.Form32.RCylindrical) << shape;
        EXPECT_EQ(ws.FlatDetector, 0);
    }
}

TEST(SettingsFileTest, RefusedFilesChangeNothing) {
    TempDir dir;
    auto texts = NineteenTexts();
    WriteTextLines(dir.file("fifteen.set"), std::vector<std::string>(texts.begin(), texts.begin() + 15));
    test::WriteBytes(dir.file("binary.set"), std::string("\x01\x02\x00\x7f binary", 12) + std::string(100, '\n'));
    test::WriteBytes(dir.file("empty.set"), "");
    for (const char* name : {"fifteen.set", "binary.set", "empty.set", "missing.set"}) {
        Workspace ws;
        RecordingHost host;
        const auto before = RecordTexts(ws);
        EXPECT_FALSE(LoadSettingsFile(ws, host, dir.file(name))) << name;
        EXPECT_EQ(RecordTexts(ws), before) << name;
        EXPECT_EQ(host.messages.size(), 1u) << name;
        EXPECT_EQ(ws.LLog.Count(), 0u) << name;
    }
}

TEST(SettingsFileTest, LoadRecordsTheFileInSettingsTxt) {
    TempDir dir;
    Workspace ws;
    ws.InstallDir = dir.path().string();
    ws.WorkDir = "/data/work";
    ws.OutputDir = "/data/out";
    SaveSettingsFile(ws, dir.file("my.set"));
    RecordingHost host;
    ASSERT_TRUE(LoadSettingsFile(ws, host, dir.file("my.set")));
    EXPECT_EQ(test::ReadBytes(dir.file("Settings.txt")),
              dir.file("my.set") + "\r\n/data/work\r\n/data/out\r\n");
}

TEST(DetectorApplyTest, AValueOutOfRangeIsRefusedAndNothingChanges) {
    // Each ticked value out of its range, the others valid: the message names
    // the field and its range, and neither the geometry nor Frame Info moves.
    struct Case {
        const char *DSize, *Distance, *Angle, *Offset, *Field;
    };
    for (const Case& c : {Case{"9.9", "100", "10", "0", "Detector size"}, Case{"60", "5", "10", "0", "Distance"},
                          Case{"60", "100", "170", "15", "2Theta"}, Case{"60", "100", "-180", "0", "2Theta"}}) {
        Workspace ws;
        RecordingHost host;
        ws.TwoThetaD = 5;
        ws.Form23.EDistancemm = "61.54";
        ws.Form32.CBXo = ws.Form32.CBDSize = ws.Form32.CBDistance = ws.Form32.CB2thetaD = true;
        ws.Form32.EXoM = "300";
        ws.Form32.EDSize = c.DSize;
        ws.Form32.EDistance = c.Distance;
        ws.Form32.E2thetaD = c.Angle;
        ws.Form32.Eth2offset = c.Offset;
        const Workspace before;
        ApplyDetectorSettings(ws, host);
        ASSERT_EQ(host.messages.size(), 1u) << c.Field;
        EXPECT_EQ(host.messages[0].rfind("Value out of range !", 0), 0u);
        EXPECT_NE(host.messages[0].find(c.Field), std::string::npos) << host.messages[0];
        EXPECT_EQ(ws.Xo, before.Xo);
        EXPECT_EQ(ws.DSize, before.DSize);
        EXPECT_EQ(ws.Distance, before.Distance);
        EXPECT_EQ(ws.TwoThetaD, 5.0);
        EXPECT_EQ(ws.Form23.EDSizemm, before.Form23.EDSizemm);
        EXPECT_EQ(ws.Form23.EDistancemm, "61.54");
        EXPECT_EQ(ws.Form23.E2ThetaD, before.Form23.E2ThetaD);
    }
}

TEST(DetectorApplyTest, ValuesInsideTheirRangesAreAllApplied) {
    Workspace ws;
    RecordingHost host;
    ws.Form32.CBDSize = ws.Form32.CBDistance = ws.Form32.CB2thetaD = true;
    ws.Form32.EDSize = "500";
    ws.Form32.EDistance = "10";
    ws.Form32.E2thetaD = "-20";
    ws.Form32.Eth2offset = "1.5";
    ws.Form32.EPhiAxis = "90.5";
    ApplyDetectorSettings(ws, host);
    EXPECT_TRUE(host.messages.empty());
    EXPECT_DOUBLE_EQ(ws.DSize, 500);
    EXPECT_DOUBLE_EQ(ws.Distance, 10);
    EXPECT_EQ(ws.Form23.EDistancemm, "10.000");
    EXPECT_DOUBLE_EQ(ws.TwoThetaD, -18.5);
    EXPECT_EQ(ws.Form14.EPhiAxis, "90.5");
}

TEST(DetectorApplyTest, WavelengthOutOfRangeBecomes0711Silently) {
    Workspace ws;
    RecordingHost host;
    ws.Form32.CBlanda = true;
    ws.Form32.ELanda = "20";
    ApplyDetectorSettings(ws, host);
    EXPECT_TRUE(host.messages.empty());
    EXPECT_DOUBLE_EQ(ws.Landa, 0.711);
    EXPECT_EQ(ws.Form32.ELanda, "0.711");
    EXPECT_EQ(ws.Form23.EWaveLen, "0.711");
}

TEST(DetectorApplyTest, BoxThatIsNotANumberChangesNothing) {
    Workspace ws;
    RecordingHost host;
    ws.Form32.CBXo = ws.Form32.CBDistance = true;
    ws.Form32.EXoM = "300";
    ws.Form32.EDistance = "6o";
    const double xo = ws.Xo;
    EXPECT_THROW(ApplyDetectorSettings(ws, host), ConversionError);
    EXPECT_EQ(ws.Xo, xo);
}

TEST(WavelengthTest, PresetsAndOk) {
    EXPECT_EQ(WavelengthPreset("Cu"), "1.54060");
    EXPECT_EQ(WavelengthPreset("Cr"), "2.28962");
    Workspace ws;
    RecordingHost host;
    ws.Form19.Elanda = WavelengthPreset("Co");
    ApplyWavelength(ws, host);
    EXPECT_DOUBLE_EQ(ws.Landa, 1.7889);
    EXPECT_EQ(ws.Form32.ELanda, "1.7889");   // five significant digits kept
    ws.Form19.Elanda = "0.001";
    ApplyWavelength(ws, host);
    EXPECT_DOUBLE_EQ(ws.Landa, 0.711);
    EXPECT_EQ(ws.Form32.ELanda, "0.711");   // but never fewer than three decimals
}

TEST(Correct2ThetaTest, DistanceScalesByTheTangentRatio) {
    Workspace ws;
    RecordingHost host;
    ws.TwoThetaD = 0;
    ws.Distance = 100;
    ws.F2Theta.E2ThetaMeasured = "20";
    ws.F2Theta.E2ThetaCorrect = "20.5";
    Correct2ThetaOK(ws, host);
    const double expected = 100 * std::tan(20 * M_PI / 180) / std::tan(20.5 * M_PI / 180);
    EXPECT_NEAR(ws.Distance, expected, 1e-9);
    EXPECT_TRUE(ws.Form32.CBDistance);
    EXPECT_EQ(ws.Form32.EDistance, "97.348");
    ASSERT_FALSE(host.messages.empty());
    EXPECT_EQ(host.messages.front(), "IMPORTANT: Sample to Detector distance changed to 97.348");
    EXPECT_EQ(ws.LLog.Last(), "2Theta offset corrected = 0.500");
    EXPECT_EQ(ws.ScanStage, 4);
}

TEST(Correct2ThetaTest, PeakTooCloseToTheDetectorAngleIsRefused) {
    Workspace ws;
    RecordingHost host;
    ws.TwoThetaD = 20;
    ws.Distance = 100;
    ws.F2Theta.E2ThetaMeasured = "20.05";
    ws.F2Theta.E2ThetaCorrect = "22";
    Correct2ThetaOK(ws, host);
    EXPECT_EQ(host.messages, std::vector<std::string>{"Please selects a peak at larger 2Theta angles !"});
    EXPECT_EQ(ws.Distance, 100);
}

TEST(Correct2ThetaTest, DetectorSizeScalesByTheInverseRatio) {
    Workspace ws;
    RecordingHost host;
    ws.TwoThetaD = 0;
    ws.DSize = 60;
    ws.F2Theta.RBDistance = false;
    ws.F2Theta.RBDSize = true;
    ws.F2Theta.E2ThetaMeasured = "20";
    ws.F2Theta.E2ThetaCorrect = "20.5";
    Correct2ThetaOK(ws, host);
    EXPECT_NEAR(ws.DSize, 60 * std::tan(20.5 * M_PI / 180) / std::tan(20 * M_PI / 180), 1e-9);
    EXPECT_TRUE(ws.Form32.CBDSize);
    EXPECT_EQ(ws.Form32.EDSize, ws.Form23.EDSizemm);
    EXPECT_EQ(host.messages.front(), "IMPORTANT: Detector Size changed to " + ws.Form32.EDSize);
    // A cylindrical detector is not corrected; only the offset is logged.
    Workspace cyl;
    cyl.Form32.SelectShape(2);
    cyl.F2Theta.E2ThetaMeasured = "20";
    cyl.F2Theta.E2ThetaCorrect = "21";
    const double distance = cyl.Distance;
    Correct2ThetaOK(cyl, host);
    EXPECT_EQ(cyl.Distance, distance);
    EXPECT_EQ(cyl.LLog.Last(), "2Theta offset corrected = 1.000");
}

// Apply used to write the wavelength back with three decimals, so a saved
// ".set" held 1.541 for Cu K-alpha and shifted every d-spacing.
TEST(WavelengthTest, ApplyKeepsItsPrecisionThroughASettingsFile) {
    EXPECT_EQ(FormatWavelength(1.5406), "1.5406");
    EXPECT_EQ(FormatWavelength(0.70926), "0.70926");
    EXPECT_EQ(FormatWavelength(1.540562), "1.54056");
    EXPECT_EQ(FormatWavelength(0.711), "0.711");
    EXPECT_EQ(FormatWavelength(0.0123456), "0.012346");
    TempDir dir;
    Workspace ws;
    RecordingHost host;
    ws.Form32.ELanda = "1.5406";
    ws.Form32.CBlanda = true;
    ApplyDetectorSettings(ws, host);
    EXPECT_EQ(ws.Form32.ELanda, "1.5406");
    SaveSettingsFile(ws, dir.file("cu.set"));
    Workspace other;
    ASSERT_TRUE(LoadSettingsFile(other, host, dir.file("cu.set")));
    other.Form32.CBlanda = true;
    ApplyDetectorSettings(other, host);
    EXPECT_DOUBLE_EQ(other.Landa, 1.5406);
}

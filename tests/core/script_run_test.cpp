#include <gtest/gtest.h>

#include <climits>
#include <functional>

#include "scan_support.h"
#include "test_support.h"
#include "workspace/host.h"
#include "workspace/run_report.h"
#include "workspace/scan_writers.h"
#include "workspace/script.h"
#include "workspace/text_files.h"
#include "workspace/workspace.h"

using namespace orv;
using namespace orv::test;

namespace {

// A PANalytical frame file (text header of 23 lines, then rows of signed
// 32-bit pixels) of w x h pixels, value(i, j) at column i, row j;
// `cutBytes` leaves the file that much short.
void WritePANalyticalFile(const std::string& path, int w, int h, const std::function<int32_t(int, int)>& value,
                          size_t cutBytes = 0) {
    std::vector<std::string> l(23, "-");
    l[1] = "Producer PANalytical image";
    l[4] = "PixelWidth =0.1";
    l[5] = "PixelHeight=0.1";
    l[6] = "Radius=240.0";
    l[8] = "Exposure = 10";
    l[9] = "Frames = 1";
    l[15] = "2Theta = 35.5";
    l[17] = "Wavelength=1.5406";
    l[18] = "BeamCentre X =12.5";
    l[19] = "BeamCentre Y =14.75";
    l[21] = "Width=" + std::to_string(w);
    l[22] = "Heigh=" + std::to_string(h);
    std::string bytes;
    for (const std::string& line : l) bytes += line + "\r\n";
    for (int j = 1; j <= h; ++j)
        for (int i = 1; i <= w; ++i) {
            const uint32_t v = static_cast<uint32_t>(value(i, j));
            for (int b = 0; b < 4; ++b) bytes += static_cast<char>((v >> (8 * b)) & 0xFF);
        }
    bytes.resize(bytes.size() - cutBytes);
    WriteFileAtomically(path, bytes);
}

// A small frame with a scan to save, and a folder for the script.
struct ScriptRun : ::testing::Test {
    ScriptRun() {
        MakeScanFrame(ws, 20, 4, 1.0f, 20, 20.0f);
        for (int i = 1; i <= 20; ++i)
            for (int j = 1; j <= 4; ++j) SetPixel(ws, i, j, 100 + i, static_cast<float>(i - 1), 45.0f * j);
        ws.CurrentFile = dir.file("frame1.tif");
    }
    ScriptEnd Run(const std::vector<std::string>& lines) {
        WriteTextLines(dir.file("script.txt"), lines);
        return RunScriptFile(ws, host, dir.file("script.txt"));
    }
    TempDir dir;
    Workspace ws;
    RecordingHost host;
};

} // namespace

TEST_F(ScriptRun, SetAngleRangeScansTheSectorAndALastFieldEndsAtTheLineEnd) {
    // No blank after the last number: the next line is still read and run.
    EXPECT_EQ(Run({"SETANGRA 2.5 12 100 200", "SET2THST 0.02 "}), ScriptEnd::Completed);
    EXPECT_FLOAT_EQ(ws.SectorTwoTheta1, 2.5f);
    EXPECT_FLOAT_EQ(ws.SectorTwoTheta2, 12);
    EXPECT_FLOAT_EQ(ws.SectorPsi1, 100);
    EXPECT_FLOAT_EQ(ws.SectorPsi2, 200);
    EXPECT_EQ(ws.SectorScan[3].Count, 2);   // psi 135 and 180 of rows 3, 4
    EXPECT_EQ(ws.FSetup.Eth2step, "0.02");
    // The sector dialog's boxes stay as they were.
    EXPECT_EQ(ws.FMask.Eth1, "0");
}

TEST_F(ScriptRun, TwoThetaStepAtOrBelowTheFinestIsComputedPerFrame) {
    Run({"SET2THST 0.004 "});
    EXPECT_EQ(ws.FSetup.Eth2step, "0.005");
    EXPECT_FALSE(ws.FSetup.CBth2step);
    Run({"set2thst 0.02 "});
    EXPECT_EQ(ws.FSetup.Eth2step, "0.02");
    EXPECT_TRUE(ws.FSetup.CBth2step);
    Run({"SET2THST 0.005 "});
    EXPECT_EQ(ws.FSetup.Eth2step, "0.005");
    EXPECT_FALSE(ws.FSetup.CBth2step);
}

TEST_F(ScriptRun, FindCentreTakesACentreFieldOfZeroFromTheCentreInForce) {
    ws.Xo = 150.4;
    ws.Yo = 120.6;
    std::vector<bool> typed;
    ws.Hooks.FindCentre = [&](Workspace& w, Host&, bool typedCentre) {
        typed.push_back(typedCentre);
        EXPECT_EQ(w.Form27.EXoM, typedCentre ? "0.000" : "-5");
        w.Xo = 99;
        return std::string();
    };
    Run({"FINDCENT -5 0 2 1 0 1"});
    EXPECT_EQ(ws.Form27.EXoM, "-5");
    EXPECT_EQ(ws.Form27.EYoM, "120.600");
    EXPECT_TRUE(ws.Form27.CBXo);
    EXPECT_FALSE(ws.Form27.CBYo);
    EXPECT_TRUE(ws.Form27.CBInitPos);
    // Afterwards the automatic method is ticked again.
    EXPECT_TRUE(ws.Form27.RAuto);
    EXPECT_FALSE(ws.Form27.RGravity);
    ws.Xo = 0;
    Run({"FINDCENT 0 7 0 1 1 0"});
    EXPECT_EQ(typed, (std::vector<bool>{false, true}));
    EXPECT_TRUE(ws.Form27.RAuto);
}

TEST_F(ScriptRun, FindCentreWithoutTheSearchSetsTheBoxesAndSaysSo) {
    ws.Hooks.FindCentre = nullptr;
    Run({"FINDCENT 12 34 4 1 1 0", "SET2THST 0.3 "});
    EXPECT_EQ(ws.Form27.EXoM, "12");
    EXPECT_EQ(ws.Form27.EYoM, "34");
    EXPECT_EQ(ws.FSetup.Eth2step, "0.3");
    bool logged = false;
    for (const std::string& l : ws.LLog.Lines()) logged |= l == "FINDCENT: the centre search is not available";
    EXPECT_TRUE(logged);
    EXPECT_EQ(ws.CommandsFailed, 1);   // the script goes on, but the run did not get its centre
}

TEST_F(ScriptRun, WorkingFolderThatDoesNotExistEndsTheScript) {
    EXPECT_EQ(Run({"SETWORKD " + dir.file("missing"), "SET2THST 0.3 "}), ScriptEnd::Failed);
    EXPECT_EQ(ws.FSetup.Eth2step, "0.1");
    EXPECT_EQ(ws.ScriptFailed, 1);
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_NE(host.messages[0].find("missing"), std::string::npos);
    EXPECT_NE(host.messages[0].find("line 1"), std::string::npos);
    EXPECT_EQ(Run({"SETWORKD " + dir.path().string(), "SET2THST 0.3 "}), ScriptEnd::Completed);
    EXPECT_EQ(ws.FSetup.EWorkDir, dir.path().string());
}

TEST_F(ScriptRun, OutputFolderIsCreatedAndUsedAsAPath) {
    const std::string out = dir.file("out/deeper");
    EXPECT_EQ(Run({"SETOUTPD " + out}), ScriptEnd::Completed);
    EXPECT_TRUE(DirectoryExists(out));
    EXPECT_EQ(ws.OutputDir, out);
    EXPECT_EQ(ws.FSetup.EOutputdir, out);
    EXPECT_EQ(WritePsiScanFile(ws), out + "/frame1.tif.PSS");
    // A folder that cannot be made (a file is in the way) ends the script.
    WriteTextLines(dir.file("plain"), {"x"});
    EXPECT_EQ(Run({"SETOUTPD " + dir.file("plain/sub"), "SET2THST 0.3 "}), ScriptEnd::Failed);
    EXPECT_EQ(ws.OutputDir, out);
    EXPECT_EQ(ws.FSetup.Eth2step, "0.1");
}

TEST_F(ScriptRun, EndApplicationAsksTheHostToEndWithStatusZero) {
    EXPECT_EQ(Run({"ENDAPPLI", "SET2THST 0.3 "}), ScriptEnd::EndedProgram);
    EXPECT_EQ(host.exitStatus, 0);
    EXPECT_EQ(ws.FSetup.Eth2step, "0.1");
}

TEST_F(ScriptRun, AFailedScriptOfAnUnattendedRunReportsThroughTheHostAndEndsNonZero) {
    host.Unattended = true;
    EXPECT_EQ(Run({"SETANGRA 1 2 x 4 ", "SET2THST 0.3 "}), ScriptEnd::Failed);
    // One report, naming the reason and the line; the unattended host sends
    // it to standard error and the logbook instead of a box.
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_NE(host.messages[0].find("'' is not a valid number"), std::string::npos) << host.messages[0];
    EXPECT_NE(host.messages[0].find("line 1"), std::string::npos);
    EXPECT_EQ(ws.CommandsFailed, 1);
    EXPECT_EQ(ws.FSetup.Eth2step, "0.1");
    EXPECT_FLOAT_EQ(ws.SectorTwoTheta1, 0);   // nothing of the line was applied
    // The next frame's script ends the program: the status tells of the failure.
    EXPECT_EQ(Run({"ENDAPPLI"}), ScriptEnd::EndedProgram);
    EXPECT_EQ(host.exitStatus, 1);
}

TEST_F(ScriptRun, SaveTwoThetaScanWritesTheSectorScanInEveryFormat) {
    ws.FromThetaScan = 0;
    ws.ScanPoints = 20;
    for (int k = 0; k <= 20; ++k) ws.FrameProfileCopy[k].Intensity = -7;   // not what is saved
    Run({"SETANGRA 0 20 0 360 ", "SAVE2THS 4", "SAVE2THS 1 rest", "save2ths 5", "SAVE2THS 2", "SAVE2THS 3",
         "SAVE2THS x"});
    EXPECT_TRUE(ws.Form13.RBBruker);   // "x" left the last choice
    for (const char* ext : {".ths", ".xy", ".plv", ".mdi", ".uxd"}) {
        const std::string name = ws.CurrentFile + ext;
        ASSERT_TRUE(FileExists(name)) << ext;
        EXPECT_EQ(ReadWholeFile(name).find("-7.0"), std::string::npos) << ext;
    }
    CheckScanFormat(ws.Form13, ScanFormat::Xy);
    EXPECT_EQ(ReadWholeFile(ws.CurrentFile + ".xy"),
              ReadWholeFile(WriteTwoThetaScan(ws, dir.file("direct"), ScanSource::Sector)));
}

TEST_F(ScriptRun, FitToStandardSetsTheFitBoxesWithTheirExclusions) {
    std::string selected;
    std::vector<std::pair<bool, int>> fits;
    ws.Hooks.SelectStandard = [&](Workspace&, Host&, const std::string& name) {
        selected = name;
        return name == "Silicon";
    };
    ws.Hooks.FitToStandard = [&](Workspace&, Host&, bool autoAdjust, int rounds) {
        fits.emplace_back(autoAdjust, rounds);
        return true;
    };
    //            Xo Yo 2t di DS XO YO PK bk  rounds auto
    Run({"FITTOSTD Silicon  1 1 1 1 1 0 1 1 0 3 1"});
    EXPECT_EQ(selected, "Silicon");
    const TForm41Fit& fit = ws.Form41Fit;
    EXPECT_FALSE(fit.CBXo);          // the Y offset unticks both centre boxes
    EXPECT_FALSE(fit.CBYo);
    EXPECT_TRUE(fit.CB2theta);
    EXPECT_FALSE(fit.CBdistance);    // the detector size unticks the distance
    EXPECT_TRUE(fit.CBDSize);
    EXPECT_FALSE(fit.CBXOffset);
    EXPECT_TRUE(fit.CBYoffset);
    EXPECT_TRUE(fit.CBPK);
    EXPECT_FALSE(fit.cbbck);
    EXPECT_EQ(fits, (std::vector<std::pair<bool, int>>{{true, 3}}));

    // A name that matches no pattern stops the script; nothing is fitted.
    EXPECT_EQ(Run({"FITTOSTD Quartzzz 0 0 0 0 0 0 0 0 0 1 0", "SET2THST 0.3 "}), ScriptEnd::Failed);
    EXPECT_EQ(fits.size(), 1u);
    EXPECT_TRUE(fit.CB2theta);
    EXPECT_EQ(ws.FSetup.Eth2step, "0.1");
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_NE(host.messages[0].find("No standard pattern matches 'Quartzzz'"), std::string::npos);
}

TEST_F(ScriptRun, FitToStandardWithoutTheFitSetsTheBoxesAndSaysSo) {
    EXPECT_EQ(Run({"FITTOSTD Si       0 0 0 1 0 0 0 0 1 0 0"}), ScriptEnd::Completed);
    EXPECT_TRUE(ws.Form41Fit.CBdistance);
    EXPECT_TRUE(ws.Form41Fit.cbbck);
    EXPECT_EQ(ws.LLog.Last(), "FITTOSTD: the standard fit is not available");
    EXPECT_EQ(Run({"FITTOSTD Si       0 0 0 1 0 0 0 0 1 x 0"}), ScriptEnd::Failed);
}

TEST_F(ScriptRun, AddFrameThatAddsNothingFailsTheRunAndChangesNothing) {
    WriteTextLines(dir.file("other.txt"), {"line one", "not the right maker", "3"});
    WritePANalyticalFile(dir.file("wide.txt"), 21, 4, [](int, int) { return 1; });
    WritePANalyticalFile(dir.file("short.txt"), 20, 4, [](int, int) { return 1; }, 6);
    struct Case {
        std::string file, reason;
    };
    const std::vector<Case> cases{
        {dir.file("other.txt"), "not a PANalytical frame"},
        // The program's own format is not added either.
        {DataFile("geometry/flat384x256_offcentre.orv"), "not a PANalytical frame"},
        {dir.file("wide.txt"), "is 21 x 4, the current frame 20 x 4"},
        {dir.file("short.txt"), "file too short"},
        {dir.file("none.tif"), "Cannot open file"},
    };
    host.Unattended = true;
    const int32_t before = ws.FramePixels.Intensity[5][2];
    const TForm32 settings = ws.Form32;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        host.messages.clear();
        ws.ScriptFailed = 0;
        EXPECT_EQ(Run({"ADDFRAME 0 " + c.file, "SET2THST 0.3 "}), ScriptEnd::Failed);
        // Said once, through the unattended host (standard error and the
        // logbook), and the run's status tells of it.
        ASSERT_EQ(host.messages.size(), 1u);
        EXPECT_NE(host.messages[0].find(c.reason), std::string::npos) << host.messages[0];
        EXPECT_NE(host.messages[0].find("line 1"), std::string::npos);
        EXPECT_EQ(RunExitStatus(ws), 1);
        EXPECT_EQ(ws.FramePixels.Intensity[5][2], before);
        EXPECT_EQ(ws.Form32.EXoM, settings.EXoM);
        EXPECT_EQ(ws.FSetup.Eth2step, "0.1");   // the later line did not run
    }
}

TEST_F(ScriptRun, SavesNeverReplaceTheFrameNorAFrameOfTheList) {
    const std::string frameBytes = "frame bytes that must stay";
    WriteBytes(ws.CurrentFile, frameBytes);
    WriteBytes(dir.file("frame2.tif"), frameBytes);
    WriteBytes(dir.file("scan.xy"), frameBytes);
    ws.FileList = {ws.CurrentFile, dir.file("frame2.tif"), dir.file("scan.xy")};
    host.Unattended = true;
    const std::vector<std::vector<std::string>> scripts{
        {"SAVESETF " + ws.CurrentFile},
        // Another spelling of a listed frame is the same file.
        {"SAVESETF " + dir.path().string() + "/./frame2.tif"},
        // A frame named like a scan file: its scan would be the frame itself.
        {"SAVE2THS 1"},
    };
    for (const auto& lines : scripts) {
        SCOPED_TRACE(lines[0]);
        if (lines[0] == "SAVE2THS 1") ws.CurrentFile = dir.file("scan.xy");
        host.messages.clear();
        ws.ScriptFailed = 0;
        std::vector<std::string> script = lines;
        script.push_back("SET2THST 0.3 ");
        EXPECT_EQ(Run(script), ScriptEnd::Failed);
        ASSERT_EQ(host.messages.size(), 1u);
        EXPECT_NE(host.messages[0].find("Not saved"), std::string::npos) << host.messages[0];
        EXPECT_EQ(RunExitStatus(ws), 1);
        EXPECT_EQ(ws.FSetup.Eth2step, "0.1");
    }
    for (const std::string& frame : ws.FileList) EXPECT_EQ(ReadBytes(frame), frameBytes) << frame;
    // Any other name is written.
    EXPECT_EQ(Run({"SAVESETF " + dir.file("frame1.set")}), ScriptEnd::Completed);
    EXPECT_EQ(ReadTextLines(dir.file("frame1.set")).size(), 19u);
}

TEST_F(ScriptRun, AddFrameAddsAndSubtractsAFrameOfTheSameSize) {
    WritePANalyticalFile(dir.file("add.txt"), 20, 4, [](int i, int j) { return i == 2 && j == 2 ? -1 : i * j; });
    ws.FramePixels.Intensity[3][1] = MaskedIntensity;
    ws.FramePixels.Intensity[20][4] = INT32_MAX - 10;
    const TForm32 settings = ws.Form32;
    const TForm23 info = ws.Form23;
    EXPECT_EQ(Run({"ADDFRAME 0 " + dir.file("add.txt")}), ScriptEnd::Completed);
    EXPECT_EQ(ws.FramePixels.Intensity[5][3], 105 + 15);
    EXPECT_EQ(ws.FramePixels.Intensity[1][1], 101 + 1);
    EXPECT_EQ(ws.FramePixels.Intensity[3][1], MaskedIntensity);   // masked stays masked
    EXPECT_EQ(ws.FramePixels.Intensity[2][2], MaskedIntensity);   // masked in the added frame
    EXPECT_EQ(ws.FramePixels.Intensity[20][4], INT32_MAX);        // saturated, not wrapped
    // The file's geometry is not taken over; the scan was made again.
    EXPECT_EQ(ws.Form32.EXoM, settings.EXoM);
    EXPECT_EQ(ws.Form32.RCylindrical, settings.RCylindrical);
    EXPECT_EQ(ws.Form23.EXo, info.EXo);
    EXPECT_EQ(ws.LLog.Last(), "2Theta scan calculated and displayed ");
    EXPECT_EQ(Run({"addframe 1 " + dir.file("add.txt")}), ScriptEnd::Completed);
    EXPECT_EQ(ws.FramePixels.Intensity[5][3], 105);
    EXPECT_EQ(ws.FramePixels.Intensity[1][1], 101);
    EXPECT_EQ(ws.FramePixels.Intensity[3][1], MaskedIntensity);
}

TEST_F(ScriptRun, SettingsLinesSetTheFileSettingsBoxAndStopOnAFileThatCannotBeRead) {
    EXPECT_EQ(Run({"SAVESETF " + dir.file("saved.set")}), ScriptEnd::Completed);
    EXPECT_TRUE(FileExists(dir.file("saved.set")));
    EXPECT_EQ(Run({"LOADSETF 1 " + dir.file("saved.set")}), ScriptEnd::Completed);
    EXPECT_TRUE(ws.Form20.CBFSettings);
    EXPECT_EQ(Run({"LOADSETF 0 " + dir.file("nothing.set"), "SET2THST 0.3 "}), ScriptEnd::Failed);
    EXPECT_FALSE(ws.Form20.CBFSettings);
    EXPECT_EQ(ws.FSetup.Eth2step, "0.1");
    EXPECT_EQ(Run({"SAVESETF " + dir.file("no/such/folder.set"), "SET2THST 0.3 "}), ScriptEnd::Failed);
}

TEST_F(ScriptRun, MissingScriptRunsNothing) {
    EXPECT_EQ(RunScriptFile(ws, host, dir.file("none.txt")), ScriptEnd::Missing);
    EXPECT_TRUE(host.messages.empty());
    EXPECT_EQ(ws.LLog.Count(), 0u);
}

TEST_F(ScriptRun, RunScriptNeedsOpenedFilesAndAnExistingScript) {
    WriteTextLines(dir.file("s.txt"), {"SET2THST 0.3 "});
    ws.Form20.EScript = dir.file("missing.txt");
    RunScriptCommand(ws, host);
    EXPECT_EQ(host.messages, std::vector<std::string>{"Please select a script file to process !"});
    EXPECT_EQ(ws.ScriptLoaded, 0);
    ws.Form20.EScript = dir.file("s.txt");
    RunScriptCommand(ws, host);
    EXPECT_EQ(ws.ScriptLoaded, 1);
    EXPECT_EQ(ws.FSetup.Eth2step, "0.3");
    Workspace empty;
    empty.Form20.EScript = dir.file("s.txt");
    RunScriptCommand(empty, host);
    EXPECT_EQ(empty.FSetup.Eth2step, "0.1");
    EXPECT_EQ(host.messages.size(), 1u);
}

TEST_F(ScriptRun, LoadScriptMakesTheChosenFileCurrent) {
    ws.ScriptLoaded = 1;
    LoadScriptCommand(ws, host);   // cancelled
    EXPECT_EQ(ws.ScriptLoaded, 0);
    EXPECT_TRUE(ws.ScriptFile.empty());
    host.openFileAnswer = {dir.file("s.txt")};
    LoadScriptCommand(ws, host);
    EXPECT_EQ(ws.ScriptLoaded, 1);
    EXPECT_EQ(ws.ScriptFile, dir.file("s.txt"));
    EXPECT_EQ(ws.Form20.EScript, dir.file("s.txt"));
}

TEST_F(ScriptRun, EachListEntryRunsItsOwnScript) {
    WriteTextLines(dir.file("a.txt"), {"SET2THST 0.3 "});
    WriteTextLines(dir.file("b.txt"), {"SET2THST 0.4 "});
    ws.ScriptLoaded = 1;
    ws.ScriptList = {dir.file("a.txt"), "", dir.file("b.txt"), dir.file("gone.txt")};
    SelectFrameScript(ws, 0);
    EXPECT_EQ(RunFrameScript(ws, host), ScriptEnd::Completed);
    EXPECT_EQ(ws.FSetup.Eth2step, "0.3");
    SelectFrameScript(ws, 1);   // no script of its own: the last one runs again
    EXPECT_EQ(ws.ScriptFile, dir.file("a.txt"));
    SelectFrameScript(ws, 2);
    EXPECT_EQ(ws.Form20.EScript, dir.file("b.txt"));
    RunFrameScript(ws, host);
    EXPECT_EQ(ws.FSetup.Eth2step, "0.4");
    SelectFrameScript(ws, 3);
    SelectFrameScript(ws, 9);
    EXPECT_EQ(ws.ScriptFile, dir.file("b.txt"));
}

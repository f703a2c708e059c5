#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "test_support.h"
#include "workspace/detector_settings.h"
#include "workspace/host.h"
#include "workspace/startup.h"
#include "workspace/text_files.h"
#include "workspace/workspace.h"

using namespace orv;
using orv::test::TempDir;

TEST(ListFileTest, FilesAndScriptsInListOrder) {
    TempDir dir;
    for (const char* eol : {"\n", "\r\n"}) {
        test::WriteBytes(dir.file("a.lst"), std::string("FILE a.tif") + eol + "SCRT s.txt" + eol + "FILE=b.tif" + eol);
        Workspace ws;
        ReadListFile(ws, dir.file("a.lst"));
        EXPECT_EQ(ws.FileList, (std::vector<std::string>{"a.tif", "b.tif", ""}));
        EXPECT_EQ(ws.ScriptList[0], "s.txt");
        EXPECT_EQ(ws.ScriptFile, "s.txt");
        EXPECT_EQ(ws.Form20.EScript, "s.txt");
        EXPECT_EQ(ws.ScriptLoaded, 1);
        EXPECT_EQ(ws.LastFileIndex, 1);
        EXPECT_EQ(ws.FileToOpen, "a.tif");
        EXPECT_EQ(ws.SingleFileMode, 0);
    }
}

TEST(ListFileTest, ScriptFirstAndOtherLines) {
    TempDir dir;
    WriteTextLines(dir.file("b.lst"), {"SCRT /s/first.txt", "# a comment", "file x.tif", "FILE /d/c.tif",
                                       "SCRT /s/second.txt"});
    Workspace ws;
    ws.FileToOpen = "untouched";
    ReadListFile(ws, dir.file("b.lst"));
    EXPECT_EQ(ws.ScriptList[0], "/s/second.txt");   // both name entry 0; the later wins
    EXPECT_EQ(ws.FileToOpen, "untouched");          // the first line is not a FILE line
    EXPECT_EQ(ws.FileList[0], "/d/c.tif");
    EXPECT_EQ(ws.ScriptFile, "/s/second.txt");
    EXPECT_EQ(ws.LastFileIndex, 0);
}

TEST(CommandLineTest, FrameArgumentStartsASingleLoad) {
    TempDir dir;
    test::WriteBytes(dir.file("f.orv"), "x");
    test::WriteBytes(dir.file("s.txt"), "ENDAPPLI\n");
    Workspace ws;
    RecordingHost host;
    EXPECT_EQ(ProcessCommandLine(ws, host, {dir.file("f.orv"), dir.file("s.txt")}), LoadRequest::StartLoading);
    EXPECT_EQ(ws.SingleFileMode, 1);
    EXPECT_EQ(ws.FileToOpen, dir.file("f.orv"));
    EXPECT_EQ(ws.ScriptLoaded, 1);
    EXPECT_EQ(ws.Form20.EScript, dir.file("s.txt"));

    // A script that cannot be run refuses the whole command line: nothing
    // would process the frame.
    for (const std::string& script : {dir.file("missing.txt"), dir.path().string(), dir.file("f.orv")}) {
        Workspace noScript;
        RecordingHost unattended;
        unattended.Unattended = true;
        test::WriteBytes(dir.file("f.orv"), std::string("x\0y", 3));
        EXPECT_EQ(ProcessCommandLine(noScript, unattended, {dir.file("s.txt"), script}), LoadRequest::Refused)
            << script;
        EXPECT_EQ(noScript.ScriptLoaded, 0);
        ASSERT_EQ(unattended.messages.size(), 1u);
        EXPECT_NE(unattended.messages[0].find(script), std::string::npos);
        EXPECT_EQ(noScript.SetupProblems, 1);
    }

    Workspace missing;
    EXPECT_EQ(ProcessCommandLine(missing, host, {dir.file("nothing.orv")}), LoadRequest::MissingFile);
    EXPECT_TRUE(host.messages.empty());
    EXPECT_EQ(missing.LastFileIndex, -1);
}

TEST(CommandLineTest, SettingsFileInCapitalsLoadsSettingsAndNoFrame) {
    TempDir dir;
    Workspace src;
    src.Form32.EXoM = "321";
    SaveSettingsFile(src, dir.file("MY.SET"));
    Workspace ws;
    RecordingHost host;
    EXPECT_EQ(ProcessCommandLine(ws, host, {dir.file("MY.SET")}), LoadRequest::None);
    EXPECT_EQ(ws.Form32.EXoM, "321");
    EXPECT_EQ(ws.LastFileIndex, -1);
    EXPECT_FALSE(ws.FrameIsLoaded());
}

TEST(CommandLineTest, ListArgumentReadsTheList) {
    TempDir dir;
    WriteTextLines(dir.file("run.LST"), {"FILE " + dir.file("a.orv"), "FILE " + dir.file("b.orv")});
    Workspace ws;
    RecordingHost host;
    EXPECT_EQ(ProcessCommandLine(ws, host, {dir.file("run.LST")}), LoadRequest::StartLoading);
    EXPECT_EQ(ws.LastFileIndex, 1);
    EXPECT_EQ(ws.SingleFileMode, 0);
}

TEST(DropFilesTest, ListsAllLoadsTheFirst) {
    Workspace ws;
    RecordingHost host;
    ws.SeriesMaxIntensity = 5000;   // drawn by an earlier run
    ws.ProfileTopIntensity = 700;
    EXPECT_EQ(DropFiles(ws, host, {"/a/1.tif", "/a/2.tif", "/b/3.tif"}), LoadRequest::StartLoading);
    EXPECT_EQ(ws.SeriesMaxIntensity, 0);
    EXPECT_EQ(ws.ProfileTopIntensity, 0);
    EXPECT_EQ(ws.FileList.size(), 3u);
    EXPECT_EQ(ws.LastFileIndex, 2);
    EXPECT_EQ(ws.FileToOpen, "/a/1.tif");
    EXPECT_EQ(ws.SingleFileMode, 1);
    EXPECT_EQ(ws.FrameFolder, "/b/");
}

TEST(ProgramFolderTest, ChosenFromTheEnvironmentAndCreatedWithItsMarker) {
    TempDir dir;
    const char* old = std::getenv("ORVANTIDE_HOME");
    std::string saved = old ? old : "";
    setenv("ORVANTIDE_HOME", dir.file("home").c_str(), 1);
    EXPECT_EQ(DefaultProgramFolder(), dir.file("home") + "/");
    unsetenv("ORVANTIDE_HOME");
    setenv("XDG_DATA_HOME", dir.path().c_str(), 1);
    EXPECT_EQ(DefaultProgramFolder(), dir.file("Orvantide") + "/");
    if (old) setenv("ORVANTIDE_HOME", saved.c_str(), 1);

    Workspace ws;
    RecordingHost host;
    ASSERT_TRUE(PrepareProgramFolder(ws, host, dir.file("home")));
    EXPECT_TRUE(FileExists(dir.file("home/didediver.set")));
    EXPECT_TRUE(DirectoryExists(dir.file("home/Data")));
    EXPECT_EQ(ws.InstallDir, dir.file("home") + "/");
}

TEST(RunTimeSetupTest, WithoutSettingsTxtUsesDefaultsAndTheDataFolder) {
    TempDir dir;
    Workspace ws;
    RecordingHost host;
    ASSERT_TRUE(PrepareProgramFolder(ws, host, dir.path().string()));
    ws.Form32.EDSize = "99";
    ws.FMask.Eth2 = "30";
    RunTimeSetup(ws, host);
    EXPECT_EQ(ws.Form32.EDSize, "61.00");
    EXPECT_EQ(ws.FSetup.EWorkDir, dir.path().string() + "/Data/");
    EXPECT_EQ(ws.Form23.EWorDir, ws.FSetup.EWorkDir);
    EXPECT_FLOAT_EQ(ws.SectorTwoTheta2, 30);
    EXPECT_EQ(ws.Brightness, 800);
}

TEST(RunTimeSetupTest, SettingsTxtLoadsItsSettingsFileOrReportsItMissing) {
    TempDir dir;
    Workspace ws;
    RecordingHost host;
    ASSERT_TRUE(PrepareProgramFolder(ws, host, dir.path().string()));
    Workspace src;
    src.Form32.EDistance = "123.4";
    SaveSettingsFile(src, dir.file("lab.set"));
    WriteTextLines(dir.file("Settings.txt"), {dir.file("lab.set"), "/work", "/out"});
    RunTimeSetup(ws, host);
    EXPECT_EQ(ws.Form32.EDistance, "123.4");
    EXPECT_EQ(ws.WorkDir, "/work");
    EXPECT_EQ(ws.FSetup.EOutputdir, "/out");

    Workspace ws2;
    ASSERT_TRUE(PrepareProgramFolder(ws2, host, dir.path().string()));
    WriteTextLines(dir.file("Settings.txt"), {dir.file("gone.set"), "/work", "/out"});
    host.messages.clear();
    RunTimeSetup(ws2, host);
    EXPECT_TRUE(host.messages.empty());
    EXPECT_EQ(ws2.LLog.Last(), "Settings file not found: " + dir.file("gone.set"));
    EXPECT_EQ(ws2.Form32.EDistance, "61.54");
    EXPECT_EQ(ws2.Brightness, 800);
}

#include <QApplication>
#include <cstdlib>
#include <filesystem>

#include <gtest/gtest.h>

#include "formats/native_frame.h"
#include "windows_test_support.h"
#include "workspace/ui/application.h"
#include "workspace/ui/frame_edit_dialogs.h"
#include "workspace/ui/main_window.h"
#include "workspace/workspace.h"

using namespace orv;

namespace {

// Answers the open dialogs too.
class DialogHost : public test::TestHost {
public:
    std::vector<std::string> askOpenFileNames(const std::string& filter, bool multiple) override {
        openRequests.push_back({filter, multiple});
        return openAnswer;
    }
    std::vector<std::pair<std::string, bool>> openRequests;
    std::vector<std::string> openAnswer;
};

struct Fixture {
    Workspace ws;
    DialogHost host;
    MainWindow main{ws, host};
    std::vector<bool> jobs;   // what the program was told: a worker started (true) or ended
    FrameEditCommands edits{ws, host, main, [this](bool running) {
                                jobs.push_back(running);
                                for (CommandId id : FrameEditCommands::FrameChangingCommands())
                                    main.setCommandEnabled(id, !running);
                            }};
    std::vector<std::string> asked;   // the prompts of the input boxes
    std::optional<std::string> answer;

    Fixture() {
        edits.install();
        edits.askText = [this](const std::string&, const std::string& prompt, const std::string& text) {
            asked.push_back(prompt + "|" + text);
            return answer;
        };
    }
    void frame(int32_t w, int32_t h, int32_t value) {
        ws.FramePixels.Blank(w, h);
        ws.FrameWidth = w;
        ws.FrameHeight = h;
        ws.FrameSize = std::max(w, h);
        ws.LastFileIndex = 0;
        ws.DisplayWidth = w;
        for (int32_t x = 1; x <= w; ++x)
            for (int32_t y = 1; y <= h; ++y) ws.FramePixels.Intensity[x][y] = value + x;
    }
};

std::string TempFolder() {
    const auto dir = std::filesystem::temp_directory_path() / ("orv-edits-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    return dir.string();
}

} // namespace

TEST(FrameEditCommandsTest, InputBoxesAskThenEditOrExplain) {
    Fixture f;
    for (CommandId id : FrameEditCommands::FrameChangingCommands()) EXPECT_TRUE(f.main.commandEnabled(id));
    // Without a frame the command says so before asking anything.
    EXPECT_TRUE(f.main.trigger(CommandId::AddConstant));
    EXPECT_TRUE(f.asked.empty());
    EXPECT_EQ(f.host.messages, std::vector<std::string>{"Need to open a file first"});

    f.frame(6, 4, 10);
    f.answer = "5";
    f.main.trigger(CommandId::AddConstant);
    EXPECT_EQ(f.ws.FramePixels.Intensity[1][1], 16);
    f.answer = "abc";
    f.main.trigger(CommandId::MultiplyByConstant);
    f.answer = "25";
    f.main.trigger(CommandId::SmoothFrame);
    f.answer.reset();   // cancelled
    f.main.trigger(CommandId::MaskAbove);
    EXPECT_EQ(f.asked, (std::vector<std::string>{"Input value to add (-1000 to 1000)|", "Input value (-10.0 to 10.0)|",
                                                 "Smoothing Window Width (0-20 pixels)|3",
                                                 "Input minimum intensity value|"}));
    EXPECT_EQ(f.host.messages, (std::vector<std::string>{"Need to open a file first", "'abc' is not a valid number",
                                                         "Value out of range!"}));
    EXPECT_EQ(f.ws.FramePixels.Intensity[1][1], 16);
}

TEST(FrameEditCommandsTest, AddFramesRunsTheWorkerWithOtherFrameCommandsDisabled) {
    Fixture f;
    const std::string folder = TempFolder();
    Workspace other;
    other.FramePixels.Blank(6, 4);
    other.FrameWidth = 6;
    other.FrameHeight = 4;
    for (int32_t x = 1; x <= 6; ++x)
        for (int32_t y = 1; y <= 4; ++y) other.FramePixels.Intensity[x][y] = 100;
    const std::string file = folder + "/other.orv";
    WriteNativeFrame(other, file);

    f.main.trigger(CommandId::AddFrames);
    EXPECT_EQ(f.host.messages, std::vector<std::string>{"Need a file to add first!"});
    f.frame(6, 4, 10);
    f.host.openAnswer = {file};
    f.main.trigger(CommandId::AddFrames);
    ASSERT_EQ(f.host.openRequests.size(), 1u);
    EXPECT_TRUE(f.host.openRequests[0].second);   // several files may be chosen
    EXPECT_TRUE(f.ws.FrameJobRunning);
    EXPECT_FALSE(f.main.commandEnabled(CommandId::Rotate90));
    EXPECT_FALSE(f.main.commandEnabled(CommandId::SubtractFrames));
    f.edits.waitForWorkers();
    EXPECT_EQ(f.jobs, (std::vector<bool>{true, false}));
    EXPECT_FALSE(f.ws.FrameJobRunning);
    EXPECT_TRUE(f.main.commandEnabled(CommandId::Rotate90));
    EXPECT_EQ(f.ws.FramePixels.Intensity[2][3], 112);
    std::filesystem::remove_all(folder);
}

TEST(FrameEditCommandsTest, MaskFilesGoThroughTheDialogsInTheProgramFolder) {
    Fixture f;
    const std::string folder = TempFolder();
    f.ws.InstallDir = folder;
    f.frame(5, 3, 0);
    f.ws.FramePixels.Intensity[2][2] = -1;
    f.host.saveAnswer = folder + "/mine";
    f.main.trigger(CommandId::SaveMask);
    ASSERT_TRUE(std::filesystem::exists(folder + "/mine.msk"));
    EXPECT_EQ(f.host.saveRequests.back().second, "Mask files (*.msk)|*.msk|All files (*.*)|*.*");

    f.frame(5, 3, 0);
    f.host.openAnswer = {folder + "/mine.msk"};
    f.main.trigger(CommandId::LoadMask);
    EXPECT_EQ(f.ws.FramePixels.Intensity[2][2], -1);
    EXPECT_TRUE(f.ws.FSetup.CBMask);
    f.host.openAnswer = {folder + "/mine.txt"};
    f.main.trigger(CommandId::LoadMask);
    EXPECT_EQ(f.host.messages.back(), "Invalid Mask file !");
    std::filesystem::remove_all(folder);
}

TEST(FrameEditCommandsTest, TheProgramDisablesFrameCommandsWhileTheFrameTurns) {
    const auto home = std::filesystem::temp_directory_path() / ("orv-edits-home-" + std::to_string(::getpid()));
    std::filesystem::create_directories(home);
    setenv("ORVANTIDE_HOME", home.c_str(), 1);
    {
        Application app({std::string(ORV_TEST_DATA) + "/../../data/sample.orv"});
        app.firstShowSetup();
        app.waitForLoading();
        Workspace& ws = app.workspace();
        ASSERT_TRUE(ws.FrameIsLoaded());
        const int32_t corner = ws.FramePixels.Intensity[ws.FrameWidth][1];
        ASSERT_TRUE(app.mainWindow().trigger(CommandId::Rotate90));
        EXPECT_FALSE(app.mainWindow().commandEnabled(CommandId::FileOpen));
        EXPECT_FALSE(app.mainWindow().commandEnabled(CommandId::AddFrames));
        EXPECT_TRUE(app.mainWindow().commandEnabled(CommandId::StopBatch));
        EXPECT_FALSE(app.startLoading());
        app.frameEdits().waitForWorkers();
        EXPECT_TRUE(app.mainWindow().commandEnabled(CommandId::FileOpen));
        EXPECT_TRUE(app.mainWindow().commandEnabled(CommandId::SmoothFrame));
        EXPECT_EQ(ws.FramePixels.Intensity[1][ws.FrameHeight], corner);
        EXPECT_EQ(ws.Form20.ProgressBar1, 100);
    }
    std::filesystem::remove_all(home);
}

#include <QPushButton>
#include <QRadioButton>
#include <filesystem>

#include <gtest/gtest.h>

#include "windows_test_support.h"
#include "workspace/text_files.h"
#include "workspace/ui/file_format_window.h"
#include "workspace/workspace.h"

using namespace orv;

TEST(FileFormatWindowTest, TheCheckedLayoutIsWrittenUnderTheChosenName) {
    Workspace ws;
    test::TestHost host;
    TForm13Window window(ws, host);
    window.show();
    // The defaults: ".xy" checked.
    EXPECT_TRUE(window.findChild<QRadioButton*>("RB2Column")->isChecked());
    window.findChild<QRadioButton*>("RB3Column")->click();
    EXPECT_TRUE(ws.Form13.RB3Column);
    EXPECT_FALSE(ws.Form13.RB2Column);

    const auto dir = std::filesystem::temp_directory_path() / ("orv-ff-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    ws.CurrentFile = "/frames/a.tif";
    ws.FromThetaScan = 1;
    host.saveAnswer = (dir / "out.xy").string();
    window.findChild<QPushButton*>("Button1")->click();
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(ws.FromThetaScan, 0);
    // The extension of the checked layout is appended to the name as typed.
    const auto lines = ReadTextLines((dir / "out.xy.ths").string());
    ASSERT_GE(lines.size(), 5u);
    EXPECT_EQ(lines[4], "DATA");
    std::filesystem::remove_all(dir);
}

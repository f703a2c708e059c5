// Bad values typed into the boxes of the analysis windows, on the sample
// frame: each is refused with a message, and the frame, its geometry and the
// settings the refusal must not touch stay as they were.
#include <QAbstractButton>
#include <QApplication>
#include <QLineEdit>
#include <QTemporaryDir>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <unistd.h>

#include <gtest/gtest.h>

#include "polefig/pole_files.h"
#include "polefig/pole_viewer.h"
#include "scans/calibration_fit.h"
#include "scans/mineral_list.h"
#include "windows_test_support.h"
#include "workspace/sector_reductions.h"
#include "workspace/text_files.h"
#include "workspace/ui/application.h"
#include "workspace/workspace.h"

using namespace orv;
using namespace orv::test;

namespace {

// What a refused input must leave alone: the frame's pixels, size and
// geometry, and the Detector Settings' boxes.
struct Kept {
    FramePlane<int32_t> Pixels;
    int32_t Width, Height;
    std::vector<double> Geometry;
    TForm32 Settings;

    explicit Kept(const Workspace& ws)
        : Pixels(ws.FramePixels.Intensity), Width(ws.FrameWidth), Height(ws.FrameHeight),
          Geometry(GeometryOf(ws)), Settings(ws.Form32) {}

    static std::vector<double> GeometryOf(const Workspace& ws) {
        std::vector<double> g{ws.Xo, ws.Yo, ws.Distance, ws.DSize, ws.TwoThetaD, ws.Landa};
        for (int32_t i = 1; i <= ws.FrameWidth; i += 37)
            for (int32_t j = 1; j <= ws.FrameHeight; j += 41) g.push_back(ws.FramePixels.TwoTheta[i][j]);
        return g;
    }

    void expectSame(const Workspace& ws, const std::string& what) const {
        ASSERT_EQ(ws.FrameWidth, Width) << what;
        ASSERT_EQ(ws.FrameHeight, Height) << what;
        bool pixels = true;
        for (int32_t i = 1; i <= Width && pixels; ++i)
            for (int32_t j = 1; j <= Height && pixels; ++j) pixels = ws.FramePixels.Intensity[i][j] == Pixels[i][j];
        EXPECT_TRUE(pixels) << what;
        EXPECT_EQ(GeometryOf(ws), Geometry) << what;
        const TForm32& s = ws.Form32;
        EXPECT_EQ(std::tie(s.EXoM, s.EYoM, s.EDistance, s.EDSize, s.E2thetaD, s.EPhiAxis, s.CBXo, s.CBYo,
                           s.CBDistance, s.CBDSize, s.CB2thetaD),
                  std::tie(Settings.EXoM, Settings.EYoM, Settings.EDistance, Settings.EDSize, Settings.E2thetaD,
                           Settings.EPhiAxis, Settings.CBXo, Settings.CBYo, Settings.CBDistance, Settings.CBDSize,
                           Settings.CB2thetaD))
            << what;
        EXPECT_EQ(ws.Form16.EPhiAxis, Settings.EPhiAxis) << what;
    }
};

QWidget* Window(const char* name) {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == name) return w;
    throw std::runtime_error(std::string("no window ") + name);
}

// Types `value` into the window's box and clicks its button.
std::function<void(Application&)> TypeAndClick(const char* window, const char* box, const char* value,
                                               const char* button) {
    return [=](Application&) {
        QWidget* w = Window(window);
        w->show();
        Type(Find<QLineEdit>(w, box), value);
        Find<QAbstractButton>(w, button)->click();
    };
}

// A new pattern of one line typed into the New Pattern dialog, then Save.
std::function<void(Application&)> NewPatternLine(const char* d, const char* intensity) {
    return [=](Application& app) {
        StartNewPattern(app.workspace());
        QWidget* w = Window("TForm29");
        w->show();
        Type(Find<QLineEdit>(w, "EName"), "tour");
        Type(Find<QLineEdit>(w, "Edhkl"), d);
        Type(Find<QLineEdit>(w, "EIhkl"), intensity);
        Find<QAbstractButton>(w, "BAdd")->click();
        Find<QAbstractButton>(w, "BSave")->click();
    };
}

} // namespace

TEST(BadInputTourTest, RefusedValuesLeaveFrameAndSettingsAsTheyWere) {
    const std::filesystem::path home =
        std::filesystem::temp_directory_path() / ("orv-bad-input-" + std::to_string(::getpid()));
    std::filesystem::create_directories(home);
    setenv("ORVANTIDE_HOME", home.c_str(), 1);
    {
        Application app({std::string(ORV_TEST_DATA) + "/../../data/sample.orv"});
        app.firstShowSetup();
        app.waitForLoading();
        app.host().setUnattended(true);   // messages go to the logbook instead of a box
        Workspace& ws = app.workspace();
        ASSERT_TRUE(ws.FrameIsLoaded());
        ASSERT_TRUE(ws.FramePixels.HasGeometry());
        ReadMineralDatabase(ws, app.host());
        ASSERT_GT(SelectMineralRow(ws, 0), 0);
        OpenFitTool(ws, app.host());
        ws.Form41Fit.CBXo = ws.Form41Fit.CBYo = true;   // something to fit

        struct Row {
            const char* what;
            std::function<void(Application&)> act;
            std::string message;   // the start of the message given
        };
        const Row rows[] = {
            // The fitting tool's Apply hands its boxes to the Detector Settings:
            // a refused one must not stay in their boxes.
            {"fit Xo abc", TypeAndClick("TForm41Fit", "EXo", "abc", "BApply"), "'abc' is not a valid number"},
            {"fit Yo nan", TypeAndClick("TForm41Fit", "EYo", "nan", "BApply"), "'nan' is not a valid number"},
            {"fit distance empty", TypeAndClick("TForm41Fit", "EDistancemm", "", "BApply"),
             "'' is not a valid number"},
            {"fit distance 0", TypeAndClick("TForm41Fit", "EDistancemm", "0", "BApply"), "Value out of range !"},
            {"fit size -1e9", TypeAndClick("TForm41Fit", "EDSizemm", "-1e9", "BApply"), "Value out of range !"},
            {"fit size 99999999999", TypeAndClick("TForm41Fit", "EDSizemm", "99999999999", "BApply"),
             "Value out of range !"},
            // Its Start refuses a start geometry those settings would refuse.
            {"fit start distance 99999999999",
             [](Application& a) {
                 a.workspace().Form41Fit.EDistancemm = "99999999999";
                 StartCalibration(a.workspace(), a.host());
             },
             "Value out of range !\nDistance: 99999999999 mm"},
            {"fit start angle 1e9",
             [](Application& a) {
                 a.workspace().Form41Fit.E2theta = "1e9";
                 StartCalibration(a.workspace(), a.host());
             },
             "Value out of range !\n2Theta of the detector: "},
            // Too few frames for a pole figure: said, not silently ignored.
            {"generator number 0", TypeAndClick("TForm16", "Edit2", "0", "Button1"), "Select at least 6 frames"},
            {"generator number -0", TypeAndClick("TForm16", "Edit2", "-0", "Button1"), "Select at least 6 frames"},
            {"generator number 5", TypeAndClick("TForm16", "Edit2", " 5 ", "Button1"), "Select at least 6 frames"},
            // The pole settings' phi axis would go on to the Detector Settings.
            {"pole settings phi axis abc", TypeAndClick("TForm14", "EPhiAxis", "abc", "Button1"),
             "'abc' is not a valid number"},
            {"pole settings phi axis nan", TypeAndClick("TForm14", "EPhiAxis", "nan", "Button1"),
             "'nan' is not a valid number"},
            {"pole settings phi axis -1e9", TypeAndClick("TForm14", "EPhiAxis", "-1e9", "Button1"),
             "Error, PhiAxis angle outside range!"},
            {"pole settings phi axis 99999999999", TypeAndClick("TForm14", "EPhiAxis", "99999999999", "Button1"),
             "Error, PhiAxis angle outside range!"},
            // A line of a new reference pattern with an impossible spacing or
            // intensity does not reach the database.
            {"new pattern dhkl 0", NewPatternLine("0", "50"), "Line 1: dhkl 0 is not greater than 0"},
            {"new pattern dhkl -0", NewPatternLine("-0", "50"), "Line 1: dhkl -0 is not greater than 0"},
            {"new pattern dhkl -1e9", NewPatternLine("-1e9", "50"), "Line 1: dhkl -1e9 is not greater than 0"},
            {"new pattern Ihkl -1e9", NewPatternLine("2.1", "-1e9"), "Line 1: Ihkl -1e9 is below 0"},
            // The line scan's width (its box only forwards the text).
            {"line scan width 99999999999",
             [](Application& a) { LineScanCommand(a.workspace(), a.host(), true, std::string("99999999999")); },
             "Width (pixels): 99999999999 is more than the frame's 512 rows"},
        };
        for (const Row& row : rows) {
            // Boxes of earlier rows back to numbers the windows accept.
            ws.Form41Fit.EXo = ws.Form41Fit.EYo = "256";
            ws.Form41Fit.EDistancemm = ws.Form41Fit.EDSizemm = "60";
            ws.Form41Fit.E2theta = "0";
            ws.Form16.edit5 = "tour";
            ws.Form14.EPhiAxis = ws.Form32.EPhiAxis;
            const Kept kept(ws);
            const std::vector<double> scan = ws.LineScanData;
            const int32_t patterns = ws.MineralCount;
            ws.LLog.Append("-");
            row.act(app);
            EXPECT_EQ(ws.LLog.Last().rfind(row.message, 0), 0u) << row.what << ": " << ws.LLog.Last();
            kept.expectSame(ws, row.what);
            EXPECT_EQ(ws.LineScanData, scan) << row.what;
            EXPECT_FALSE(ws.PoleRunning) << row.what;
            EXPECT_EQ(ws.MineralCount, patterns) << row.what;
        }

        // The rotation's running total is a whole number the user may type:
        // its largest value still turns by five.
        QTemporaryDir dir;
        std::vector<std::string> lines{SliceFileHeader(10, 11, 1)};
        for (int m = 0; m < 72; ++m)
            lines.push_back(SliceFileLine("s.0" + std::string(m < 10 ? "0" : "") + std::to_string(m),
                                          std::vector<int32_t>(360, 10 + m)));
        WriteTextLines(dir.filePath("series.slc").toStdString(), lines);
        ws.Form14.EPhiAxis = ws.Form32.EPhiAxis;
        Window("TFPoleF")->show();   // showing the viewer empties it
        OpenPoleFigures(ws, app.host(), {dir.filePath("series.slc").toStdString()});
        ASSERT_GE(ws.Poles.PoleCount, 1);
        TypeAndClick("TFPoleF", "Edit2", "2147483647", "Button2")(app);
        EXPECT_EQ(ws.FPoleF.Edit2, "2147483652") << ws.LLog.Last();
    }
    std::filesystem::remove_all(home);
}

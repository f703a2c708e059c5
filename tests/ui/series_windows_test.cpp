#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QListWidget>
#include <QTemporaryDir>
#include <cmath>
#include <cstdlib>

#include <gtest/gtest.h>

#include "chart/ui/chart_widget.h"
#include "scans/series_windows.h"
#include "scans/ui/series_windows.h"
#include "windows_test_support.h"
#include "workspace/text_files.h"
#include "workspace/workspace.h"

using namespace orv;
using namespace orv::test;

namespace {

void Screenshot(QWidget& w, const char* name) {
    if (const char* dir = std::getenv("ORV_SCREENSHOT_DIR")) w.grab().save(QString(dir) + "/" + name);
}

// Frames of a heating run: the lines move to lower angles frame by frame.
void LoadHeatingRun(Workspace& ws, int frames) {
    ws.Landa = 0.7093;
    ws.TwoThetaStep = 0.02f;
    ws.ScanPoints = 1500;   // 5..35 degrees
    ws.SectorScanPoints = ws.ScanPoints;
    for (int k = 0; k <= ws.ScanPoints; ++k) ws.FrameProfileCopy[static_cast<size_t>(k)].TwoTheta = 5 + 0.02f * k;
    for (int n = 1; n <= frames; ++n) {
        ws.CurrentFile = "/data/heating/run_" + std::to_string(n) + ".tif";
        ws.FramesLoaded = n;
        for (int k = 0; k <= ws.ScanPoints; ++k) {
            const double t = 5 + 0.02 * k;
            double v = 150 + 500 * std::exp(-t / 8);
            for (double line : {12.98, 21.28, 24.99, 30.30})
                v += 2500 * std::exp(-std::pow((t - line * (1 - 0.002 * n)) / 0.07, 2));
            ws.SectorScan[static_cast<size_t>(k)] = {static_cast<float>(v), static_cast<float>(t), 1};
        }
        AddScanToSeries(ws);
    }
}

} // namespace

TEST(SeriesWindowsTest, SeriesWindowListsTheScansStepsThroughThemAndSavesTheTable) {
    Workspace ws;
    TestHost host;
    LoadHeatingRun(ws, 6);
    TForm9Window window(ws, host);
    window.show();
    QApplication::processEvents();
    auto* list = Find<QListWidget>(&window, "LPWD");
    ASSERT_EQ(list->count(), 6);
    EXPECT_EQ(list->item(5)->text(), "/data/heating/run_6.tif");
    // Showing scales the chart to the profile's range and the series' top.
    EXPECT_NEAR(ws.Form9.RChart1.ScaleX(1).RangeLow(), 5.02, 1e-5);
    EXPECT_NEAR(ws.Form9.RChart1.ScaleX(1).RangeHigh(), 35, 1e-5);
    EXPECT_NEAR(ws.Form9.RChart1.ScaleY(1).RangeHigh(), 1.05 * ws.Form9.SeriesMax, 1e-6);

    // Arrow keys over the chart step through the list; a row click selects.
    TRChartWidget* chart = window.chart();
    chart->setFocus();
    SendKey(chart, Qt::Key_Up, QString());
    EXPECT_EQ(ws.Form9.ItemIndex, 5);
    EXPECT_EQ(list->currentRow(), 5);
    SendKey(chart, Qt::Key_Down, QString());
    EXPECT_EQ(ws.Form9.ItemIndex, 0);
    list->setCurrentRow(2);
    EXPECT_EQ(ws.Form9.ItemIndex, 2);
    QApplication::processEvents();
    Screenshot(window, "series_window.png");

    QTemporaryDir dir;
    host.saveAnswer = dir.filePath("series.txt").toStdString();
    ASSERT_NE(window.action("File/SaveScanToFile"), nullptr);
    window.action("File/SaveScanToFile")->trigger();
    EXPECT_EQ(ReadTextLines(*host.saveAnswer), SeriesTableLines(ws));
    EXPECT_EQ(ReadWholeFile(*host.saveAnswer).substr(0, 2), "\r\n");
}

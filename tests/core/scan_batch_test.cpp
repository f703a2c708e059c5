#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>

#include "formats/batch_worker.h"
#include "formats/native_frame.h"
#include "scans/theta_scan_window.h"
#include "test_support.h"
#include "workspace/host.h"
#include "workspace/main_commands.h"
#include "workspace/text_files.h"
#include "workspace/workspace.h"

using namespace orv;
using orv::test::TempDir;

namespace {

// A flat frame with two rings, in the own format.
void WriteRingFrame(const std::string& path, int32_t level) {
    Workspace ws;
    const int w = 96, h = 96;
    ws.FrameWidth = w;
    ws.FrameHeight = h;
    ws.FrameSize = w;
    ws.FramePixels.Blank(w, h);
    ws.Landa = 0.7093;
    ws.Distance = 60;
    ws.DSize = 30;
    ws.Xo = ws.Yo = 48;
    for (int x = 1; x <= w; ++x)
        for (int y = 1; y <= h; ++y) {
            const double r = std::hypot(x - ws.Xo, y - ws.Yo);
            ws.FramePixels.Intensity[x][y] = level + static_cast<int32_t>(
                3000 * std::exp(-std::pow((r - 18) / 1.5, 2)) + 1500 * std::exp(-std::pow((r - 33) / 1.5, 2)));
        }
    WriteNativeFrame(ws, path);
}

} // namespace

TEST(ScanBatchTest, BatchPeakListsEqualTheWindowsForTheSameScanAndSettings) {
    TempDir dir;
    WriteRingFrame(dir.file("a.orv"), 100);
    WriteRingFrame(dir.file("b.orv"), 300);
    Workspace ws;
    RecordingHost host;
    ASSERT_TRUE(OpenFiles(ws, {dir.file("a.orv"), dir.file("b.orv")}));
    ws.SingleFileMode = 0;
    ws.OutputDir = dir.path().string();
    TFSetup& s = ws.FSetup;
    s.CBBackground = s.CB2ThScanPeaks = s.CBPsiScanPeaks = s.PSSPSummary = true;
    s.EPWidth = "0.50";   // what the FindPeaks dialog takes up after every use
    ws.Form6.EPWidth = "0.50";
    ASSERT_EQ(TBatchThread::Execute(ws, host), 2);
    for (const std::string& line : ws.LLog.Lines()) EXPECT_EQ(line.find("not available"), std::string::npos) << line;
    EXPECT_TRUE(host.messages.empty());

    for (const char* name : {"a.orv.TPK", "b.orv.TPK", "a.orv.PPK", "b.orv.PPK"})
        EXPECT_TRUE(FileExists(dir.file(name))) << name;
    const std::string batchList = test::ReadBytes(dir.file("b.orv.TPK"));
    EXPECT_GE(ReadTextLines(dir.file("b.orv.TPK")).size(), 5u);   // the header and at least one peak
    // The window's "Find peaks" on the scan the batch left: the same list.
    std::filesystem::remove(dir.file("b.orv.TPK"));
    FindThetaPeaks(ws, host, ws.Form6);
    EXPECT_EQ(test::ReadBytes(dir.file("b.orv.TPK")), batchList);

    const std::vector<std::string> summary = ReadTextLines(dir.file("Exp1.PSU"));
    ASSERT_EQ(summary.size(), 4u);   // one header, one line per frame
    EXPECT_EQ(summary[2].rfind("a.orv", 0), 0u);
    EXPECT_EQ(summary[3].rfind("b.orv", 0), 0u);
    EXPECT_EQ(ReadTextLines(dir.file("intensities.out")).size(), 2u);
}

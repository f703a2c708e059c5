// Runs nobody watches: what a batch leaves for later (display maximum,
// series redraws) and the scans it does not make twice, against the same
// run made with somebody at the screen.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>

#include "formats/batch_worker.h"
#include "formats/native_frame.h"
#include "scans/series_windows.h"
#include "frame_test_support.h"
#include "test_support.h"
#include "workspace/host.h"
#include "workspace/startup.h"
#include "workspace/text_files.h"
#include "workspace/workspace.h"

using namespace orv;
using orv::test::TempDir;

namespace {

// A flat frame with a ring, a few masked pixels and one hot pixel that
// brings the display maximum down (the hot pixel's height differs per frame).
void WriteFrame(const std::string& path, int32_t hot) {
    Workspace ws;
    const int w = 80, h = 60;
    test::StartOwnFormatFrame(ws, w, h, 60, 30, 41, 29);
    for (int x = 1; x <= w; ++x)
        for (int y = 1; y <= h; ++y) {
            const double r = std::hypot(x - ws.Xo, y - ws.Yo);
            ws.FramePixels.Intensity[x][y] = 100 + x % 7 + (std::fabs(r - 18) < 1.5 ? 400 : 0);
        }
    ws.FramePixels.Intensity[20][30] = MaskedIntensity;
    ws.FramePixels.Intensity[50][10] = hot;
    WriteNativeFrame(ws, path);
}

struct Outcome {
    int32_t MaxIntensity;
    std::string Panel2;
    std::vector<ChartItem> Series;
    std::vector<std::string> Scans;   // the files each frame's script wrote
    int64_t ScansMade;
};

// A list of `frames` frames, each with a script that scans the batch's own
// sector again and then another, saving both.
Outcome RunList(const TempDir& dir, int frames, bool unattended) {
    const std::string script = dir.file("script.txt");
    WriteTextLines(script, {"SETANGRA 5 40 20 110 ", "SAVE2THS 1", "SETANGRA 5 40 200 300 ", "SAVE2THS 4"});
    std::vector<std::string> list;
    for (int k = 0; k < frames; ++k) {
        const std::string frame = dir.file("f" + std::to_string(k) + ".orv");
        if (!std::filesystem::exists(frame)) WriteFrame(frame, 300000 + 1000 * k);
        list.push_back("FILE " + frame);
        list.push_back("SCRT " + script);
    }
    WriteTextLines(dir.file("run.lst"), list);
    Workspace ws;
    RecordingHost host;
    host.Unattended = unattended;
    ReadListFile(ws, dir.file("run.lst"));
    ws.SectorTwoTheta1 = 5;
    ws.SectorTwoTheta2 = 40;
    ws.SectorPsi1 = 20;
    ws.SectorPsi2 = 110;
    const int64_t before = ws.FrameScans.Made();
    EXPECT_EQ(TBatchThread::Execute(ws, host), frames);
    Outcome o{ws.MaxIntensity, ws.Form23.Panel2, ws.Form9.RChart1.Items(), {}, ws.FrameScans.Made() - before};
    for (int k = 0; k < frames; ++k)
        for (const char* ext : {".xy", ".ths"}) {
            // From the first line break on (the ".ths" header names the file).
            const std::string scan = test::ReadBytes(dir.file("f" + std::to_string(k) + ".orv" + ext));
            o.Scans.push_back(scan.substr(std::min(scan.size(), scan.find('\n'))));
        }
    return o;
}

} // namespace

TEST(UnattendedBatchTest, EndsAsAWatchedRunEndsWithoutScanningASectorTwice) {
    // More frames than the scan series holds, so that it is drawn anew.
    const int frames = ScanSeriesSlots + 3;
    TempDir watchedDir, unattendedDir;
    const Outcome watched = RunList(watchedDir, frames, false);
    const Outcome alone = RunList(unattendedDir, frames, true);
    // The last frame's display maximum, brought down by its hot pixel to ten
    // times its running row mean, and shown in Frame Info.
    EXPECT_LT(watched.MaxIntensity, 300000 + 1000 * (frames - 1));
    EXPECT_GT(watched.MaxIntensity, 500);
    EXPECT_EQ(alone.MaxIntensity, watched.MaxIntensity);
    EXPECT_EQ(alone.Panel2, "80 x 60 Max = " + std::to_string(watched.MaxIntensity));
    EXPECT_EQ(alone.Panel2, watched.Panel2);
    // The series chart as a watched run leaves it, item for item.
    ASSERT_EQ(alone.Series.size(), watched.Series.size());
    EXPECT_GT(alone.Series.size(), static_cast<size_t>(ScanSeriesSlots * 10));
    for (size_t k = 0; k < alone.Series.size(); ++k) {
        EXPECT_EQ(alone.Series[k].X, watched.Series[k].X) << k;
        EXPECT_EQ(alone.Series[k].Y, watched.Series[k].Y) << k;
        EXPECT_EQ(alone.Series[k].Color, watched.Series[k].Color) << k;
        EXPECT_EQ(alone.Series[k].LineWidth, watched.Series[k].LineWidth) << k;
    }
    // Each frame: the batch's scan, answered again for the script's first
    // sector, and the second sector: two scans made, not three.
    EXPECT_EQ(watched.ScansMade, 2 * frames);
    EXPECT_EQ(alone.ScansMade, 2 * frames);
    ASSERT_EQ(alone.Scans.size(), watched.Scans.size());
    for (size_t k = 0; k < alone.Scans.size(); ++k) {
        EXPECT_FALSE(alone.Scans[k].empty());
        EXPECT_EQ(alone.Scans[k], watched.Scans[k]) << k;
    }
}

TEST(UnattendedBatchTest, KeptScansAnswerOnlyAnEqualRequestOverTheSamePlanes) {
    Workspace ws;
    ws.FramePixels.Blank(30, 20);
    FrameGeometry& g = ws.FramePixels.OwnGeometry();
    for (int32_t i = 1; i <= 30; ++i)
        for (int32_t j = 1; j <= 20; ++j) {
            g.TwoTheta[i][j] = static_cast<float>(i);
            g.Psi[i][j] = static_cast<float>(j * 10);
            ws.FramePixels.Intensity[i][j] = i * j;
        }
    IntegrationRequest r;
    r.LastColumn = 30;
    r.LastRow = 20;
    r.Grid = ScanGrid{0, 1, 40};
    r.Sectors = {PsiSector{15, 95}};
    KeptScans& kept = ws.FrameScans;
    kept.Keep();
    const double first = kept.Integrate(ws.FramePixels, r)[0][7].Sum;
    // Column 7 from rows 2..9 (psi 20..90): 7 x (2 + ... + 9).
    EXPECT_EQ(first, 7 * 44);
    kept.Integrate(ws.FramePixels, r);
    EXPECT_EQ(kept.Made(), 1);
    // Another sector is a scan of its own; the first is still kept.
    IntegrationRequest other = r;
    other.Sectors = {PsiSector{15, 55}};
    EXPECT_EQ(kept.Integrate(ws.FramePixels, other)[0][7].Sum, 7 * (2 + 3 + 4 + 5));
    kept.Integrate(ws.FramePixels, r);
    EXPECT_EQ(kept.Made(), 2);
    // A geometry mapped anew drops them; without keeping, every scan is made.
    kept.Drop();
    kept.Integrate(ws.FramePixels, r);
    EXPECT_EQ(kept.Made(), 3);
    kept.Forget();
    ws.FramePixels.Intensity[7][5] = 0;
    EXPECT_EQ(kept.Integrate(ws.FramePixels, r)[0][7].Sum, 7 * 44 - 35);
    kept.Integrate(ws.FramePixels, r);
    EXPECT_EQ(kept.Made(), 5);
}

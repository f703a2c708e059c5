#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <sstream>

#include "formats/batch_worker.h"
#include "formats/mask_files.h"
#include "formats/native_frame.h"
#include "formats/reader.h"
#include "test_support.h"
#include "workspace/host.h"
#include "workspace/main_commands.h"
#include "workspace/startup.h"
#include "workspace/text_files.h"
#include "workspace/workspace.h"
#include "pixel_record.h"

using namespace orv;
using orv::test::TempDir;

namespace {

// A small flat frame with a ring, written in the own format.
void WriteFrame(const std::string& path, int w = 64, int h = 48, int32_t level = 100) {
    Workspace ws;
    ws.FrameWidth = w;
    ws.FrameHeight = h;
    ws.FrameSize = std::max(w, h);
    ws.FramePixels.Blank(w, h);
    ws.Landa = 0.7093;
    ws.Distance = 60;
    ws.DSize = 30;
    ws.Xo = w / 2.0;
    ws.Yo = h / 2.0;
    for (int x = 1; x <= w; ++x)
        for (int y = 1; y <= h; ++y) {
            const double r = std::hypot(x - ws.Xo, y - ws.Yo);
            ws.FramePixels.Intensity[x][y] = level + (std::fabs(r - 15) < 1.5 ? 500 : 0);
        }
    WriteNativeFrame(ws, path);
}

struct KeepCurrentFolder {
    std::filesystem::path saved = std::filesystem::current_path();
    ~KeepCurrentFolder() { std::filesystem::current_path(saved); }
};

} // namespace

TEST(BatchWorkerTest, AnUnreadableFileIsReportedAndTheRunGoesOn) {
    KeepCurrentFolder keep;
    TempDir dir;
    WriteFrame(dir.file("a.orv"), 64, 48, 100);
    test::WriteBytes(dir.file("b.orv"), "this is no frame");
    WriteFrame(dir.file("c.orv"), 40, 30, 300);
    Workspace ws;
    RecordingHost host;
    ASSERT_TRUE(OpenFiles(ws, {dir.file("a.orv"), dir.file("b.orv"), dir.file("c.orv")}));
    ws.SingleFileMode = 0;
    EXPECT_EQ(TBatchThread::Execute(ws, host), 2);
    EXPECT_EQ(ws.FramesLoaded, 2);
    EXPECT_EQ(ws.CurrentFile, dir.file("c.orv"));
    EXPECT_EQ(ws.FrameWidth, 40);
    const auto lines = ws.LLog.Lines();
    bool named = false;
    for (const auto& l : lines) named |= l.rfind(dir.file("b.orv") + " could not be read", 0) == 0;
    EXPECT_TRUE(named);
    EXPECT_EQ(ws.Form9.LPWD, (std::vector<std::string>{dir.file("a.orv"), dir.file("c.orv")}));
    EXPECT_EQ(ws.Form20.ProgressBar1, 100);
    EXPECT_GT(ws.SectorScanPoints, 0);   // the scan of the last frame was made
    // Counted for the run's status, told in the logbook only: no box stops a batch.
    EXPECT_EQ(ws.FramesNotProcessed, 1);
    EXPECT_TRUE(host.messages.empty());
    // Prev and Next go on from the frame shown, the list's last.
    EXPECT_EQ(ws.CurrentFileIndex, 2);
    EXPECT_FALSE(NextFile(ws));
    ASSERT_TRUE(PrevFile(ws));
    EXPECT_EQ(ws.FileToOpen, dir.file("b.orv"));
}

TEST(BatchWorkerTest, AnUnreadableFileOpenedAloneIsShownWithItsReason) {
    TempDir dir;
    test::WriteBytes(dir.file("b.orv"), std::string("\x39\x30\0\0short", 9));   // the own magic, then too little
    Workspace ws;
    RecordingHost host;
    ASSERT_TRUE(OpenFiles(ws, {dir.file("b.orv")}));
    EXPECT_EQ(TBatchThread::Execute(ws, host), 0);
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0], dir.file("b.orv") + " could not be read: truncated frame header");
    EXPECT_EQ(ws.Form20.ProgressBar1, 100);   // the bar does not stay at the start
    EXPECT_FALSE(ws.FrameIsLoaded());
}

TEST(BatchWorkerTest, AFrameWithoutGeometryIsReportedAndTheListGoesOn) {
    KeepCurrentFolder keep;
    TempDir dir;
    std::filesystem::current_path(dir.path());
    WriteFrame(dir.file("good.orv"));
    // An own-format frame states its geometry; a distance of 0 maps nothing.
    std::string bad = test::ReadBytes(dir.file("good.orv"));
    bad.replace(12, 4, std::string(4, '\0'));
    test::WriteBytes(dir.file("bad.orv"), bad);
    WriteTextLines(dir.file("s.txt"), {"SAVE2THS 1"});
    WriteTextLines(dir.file("l.lst"), {"FILE " + dir.file("bad.orv"), "SCRT " + dir.file("s.txt"),
                                       "FILE " + dir.file("good.orv")});
    Workspace ws;
    RecordingHost host;
    host.Unattended = true;
    ReadListFile(ws, dir.file("l.lst"));
    EXPECT_EQ(TBatchThread::Execute(ws, host), 2);
    // The bad frame's scan would have used the previous geometry: none is written.
    EXPECT_FALSE(FileExists(dir.file("bad.orv.xy")));
    EXPECT_TRUE(FileExists(dir.file("good.orv.xy")));
    EXPECT_EQ(ws.FramesNotProcessed, 1);
    bool reported = false;
    for (const auto& m : host.messages) reported |= m == dir.file("bad.orv") + ": no geometry for this frame; not processed";
    EXPECT_TRUE(reported);
}

TEST(BatchWorkerTest, AListEntryWhoseScriptIsMissingIsNotGivenAnotherOne) {
    KeepCurrentFolder keep;
    TempDir dir;
    std::filesystem::current_path(dir.path());
    for (const char* n : {"a.orv", "b.orv", "c.orv"}) WriteFrame(dir.file(n));
    WriteTextLines(dir.file("s.txt"), {"SAVE2THS 1"});
    // b's own script does not exist; c has none and keeps a's.
    WriteTextLines(dir.file("l.lst"), {"FILE a.orv", "SCRT s.txt", "FILE b.orv", "SCRT gone.txt", "FILE c.orv"});
    Workspace ws;
    RecordingHost host;
    host.Unattended = true;
    ReadListFile(ws, dir.file("l.lst"));
    EXPECT_EQ(TBatchThread::Execute(ws, host), 2);
    EXPECT_TRUE(FileExists(dir.file("a.orv.xy")));
    EXPECT_FALSE(FileExists(dir.file("b.orv.xy")));
    EXPECT_TRUE(FileExists(dir.file("c.orv.xy")));
    EXPECT_EQ(ws.FramesNotProcessed, 1);
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0], "b.orv: script gone.txt: not found; not processed");
}

TEST(BatchWorkerTest, A2ThetaScanThatCannotBeMadeSavesNoOtherFramesScan) {
    TempDir dir;
    for (const char* n : {"a.orv", "b.orv"}) WriteFrame(dir.file(n));
    Workspace ws;
    RecordingHost host;
    OpenFiles(ws, {dir.file("a.orv"), dir.file("b.orv")});
    ws.SingleFileMode = 0;
    ws.OutputDir = dir.path().string();
    ws.FSetup.CB2ThScan = true;
    ws.RectangularSector = 1;
    ws.FMask.EX1 = "l0";   // a letter for a digit
    EXPECT_EQ(TBatchThread::Execute(ws, host), 2);
    for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
        EXPECT_EQ(entry.path().extension(), ".orv") << entry.path();
    EXPECT_TRUE(host.messages.empty());
    int told = 0;
    for (const auto& l : ws.LLog.Lines()) told += l.rfind("2Theta scan: 'l0' is not a valid number", 0) == 0;
    EXPECT_EQ(told, 1);
    EXPECT_EQ(ws.FramesNotProcessed, 2);
}

TEST(BatchWorkerTest, ARefusedPsiScanWritesNothingAndIsToldOncePerRun) {
    TempDir dir;
    for (const char* n : {"a.orv", "b.orv"}) WriteFrame(dir.file(n));
    Workspace ws;
    RecordingHost host;
    OpenFiles(ws, {dir.file("a.orv"), dir.file("b.orv")});
    ws.SingleFileMode = 0;
    ws.OutputDir = dir.path().string();
    ws.FSetup.CBPsiScan = true;
    ws.RectangularSector = 1;
    ws.FMask.CBRectangle = true;
    EXPECT_EQ(TBatchThread::Execute(ws, host), 2);
    EXPECT_FALSE(FileExists(dir.file("a.orv.PSS")));
    EXPECT_FALSE(FileExists(dir.file("b.orv.PSS")));
    EXPECT_TRUE(host.messages.empty());   // no box: the batch runs on its own
    int told = 0, saved = 0;
    for (const auto& l : ws.LLog.Lines()) {
        told += l == "Psi Scan (*.pss): Define a 2Theta range using the Mask Sector tool !";
        saved += l.find("Psi scan saved") != std::string::npos;
    }
    EXPECT_EQ(told, 1);
    EXPECT_EQ(saved, 0);
    EXPECT_GT(ws.CommandsFailed, 0);
}

TEST(BatchWorkerTest, StopEndsTheRunAfterTheCurrentFile) {
    TempDir dir;
    for (const char* n : {"a.orv", "b.orv", "c.orv"}) WriteFrame(dir.file(n));
    Workspace ws;
    RecordingHost host;
    OpenFiles(ws, {dir.file("a.orv"), dir.file("b.orv"), dir.file("c.orv")});
    ws.SingleFileMode = 0;
    ws.BatchRunning = 1;
    // The first frame's outputs press "Stop Batch".
    ws.FSetup.cbIntegrateSector = true;
    ws.Batch.IntegrateSector = [](Workspace& w, Host& h) { StopBatch(w, h); };
    EXPECT_EQ(TBatchThread::Execute(ws, host), 1);
    EXPECT_EQ(ws.BatchRunning, 1);   // seen and set back
    EXPECT_EQ(ws.CurrentFile, dir.file("a.orv"));
}

TEST(BatchWorkerTest, DisplayMaximumFollowsTheRunningRowMean) {
    // The running value v: after each row v := (v + row sum) / width; when
    // the maximum exceeds 50 v and 100000 it becomes 10 v.
    NewFrame f;
    AllocateFrame(f, 10, 3);
    for (int x = 1; x <= 10; ++x)
        for (int y = 1; y <= 3; ++y) f.Intensity[x][y] = 100;
    f.Intensity[5][2] = 2000000;
    // v: 100, then (100 + 900 + 2000000) / 10 = 200100 (no cut), then
    // (200100 + 1000) / 10 = 20110: 2000000 > 50 x 20110, so 10 x 20110.
    EXPECT_EQ(DisplayMaximum(f), 201100);

    // A masked pixel carries no intensity: row 1 sums to 2000000 alone.
    NewFrame g;
    AllocateFrame(g, 10, 2);
    for (int x = 1; x <= 10; ++x) {
        g.Intensity[x][1] = x == 3 ? 2000000 : -1;
        g.Intensity[x][2] = 100;
    }
    // v: 200000 (no cut), then (200000 + 1000) / 10 = 20100: 10 v = 201000.
    EXPECT_EQ(DisplayMaximum(g), 201000);

    // A cut maximum still takes part in the later rows' tests.
    NewFrame h;
    AllocateFrame(h, 100, 2);
    for (int x = 1; x <= 100; ++x) h.Intensity[x][1] = h.Intensity[x][2] = 100;
    h.Intensity[50][1] = 2000000;
    // v: (9900 + 2000000) / 100 = 20099: cut to 200990; then
    // (20099 + 10000) / 100 = 300.99: 200990 > 50 v, cut to 3010.
    EXPECT_EQ(DisplayMaximum(h), 3010);

    // A frame without a hot pixel keeps its plain maximum.
    h.Intensity[50][1] = 90000;
    EXPECT_EQ(DisplayMaximum(h), 90000);
}

TEST(BatchWorkerTest, HistorySlotsFollowTheFramesLoaded) {
    TempDir dir;
    WriteFrame(dir.file("a.orv"));
    Workspace ws;
    RecordingHost host;
    OpenFiles(ws, {dir.file("a.orv")});
    ws.FramesLoaded = 4;
    TBatchThread::Execute(ws, host);
    EXPECT_EQ(ws.FramesLoaded, 5);
    EXPECT_EQ(ws.HistorySlot, 5);
    EXPECT_EQ(ws.HistoryFiles[5], dir.file("a.orv"));
    ws.FramesLoaded = 10;
    ws.SingleFileMode = 1;
    TBatchThread::Execute(ws, host);
    EXPECT_EQ(ws.HistorySlot, 1);

    // A reload from the History window keeps the count, the slot and the series.
    const size_t series = ws.Form9.LPWD.size();
    ws.LoadFromHistory = 1;
    ws.HistorySlot = 5;
    ws.FileToOpen = dir.file("a.orv");
    TBatchThread::Execute(ws, host);
    EXPECT_EQ(ws.FramesLoaded, 11);
    EXPECT_EQ(ws.HistorySlot, 5);
    EXPECT_EQ(ws.Form9.LPWD.size(), series);
    const auto lines = ws.LLog.Lines();
    EXPECT_NE(std::find(lines.begin(), lines.end(), dir.file("a.orv") + " Reload"), lines.end());
}

TEST(BatchWorkerTest, MaskAndBackgroundFilesAreApplied) {
    TempDir dir;
    WriteFrame(dir.file("a.orv"), 20, 10, 100);
    Workspace bgFrame;
    bgFrame.FrameWidth = 20;
    bgFrame.FrameHeight = 10;
    bgFrame.FramePixels.Blank(20, 10);
    for (int x = 1; x <= 20; ++x)
        for (int y = 1; y <= 10; ++y) bgFrame.FramePixels.Intensity[x][y] = 30;
    WriteBackgroundFile(dir.file("bg.bck"), bgFrame);
    bgFrame.FramePixels.Intensity[2][3] = -1;
    WriteMaskFile(dir.file("m.msk"), bgFrame);

    Workspace ws;
    RecordingHost host;
    OpenFiles(ws, {dir.file("a.orv")});
    ws.FSetup.CBMask = true;
    ws.FSetup.EMask = dir.file("m.msk");
    ws.FSetup.CBBack = true;
    ws.FSetup.EBack = dir.file("bg.bck");
    ASSERT_EQ(TBatchThread::Execute(ws, host), 1);
    EXPECT_EQ(ws.FramePixels.Intensity[2][3], -1);   // masked, and stays masked
    EXPECT_EQ(ws.FramePixels.Intensity[1][1], 70);
    EXPECT_TRUE(host.messages.empty());

    // A background of another size is refused and changes nothing.
    WriteFrame(dir.file("b.orv"), 22, 10, 100);
    OpenFiles(ws, {dir.file("b.orv")});
    TBatchThread::Execute(ws, host);
    EXPECT_EQ(host.messages, std::vector<std::string>{"Wrong Background File!"});
    EXPECT_EQ(ws.FramePixels.Intensity[1][1], 100);
}

TEST(BatchWorkerTest, ATruncatedMaskFileIsReportedAndMasksNothing) {
    TempDir dir;
    WriteFrame(dir.file("a.orv"), 20, 10, 100);
    test::WriteBytes(dir.file("cut.msk"), std::string("\x02\x00\x03\x00\x05\x00", 6));
    Workspace ws;
    RecordingHost host;
    OpenFiles(ws, {dir.file("a.orv")});
    ws.FSetup.CBMask = true;
    ws.FSetup.EMask = dir.file("cut.msk");
    TBatchThread::Execute(ws, host);
    EXPECT_EQ(ws.FramePixels.Intensity[2][3], 100);
    EXPECT_EQ(ws.FramesNotProcessed, 1);
    const auto lines = ws.LLog.Lines();
    EXPECT_NE(std::find_if(lines.begin(), lines.end(),
                           [](const std::string& l) { return l.find("are not whole records") != std::string::npos; }),
              lines.end());
}

TEST(BatchWorkerTest, SectorFileMatchesASinglePassOverTheFrame) {
    TempDir dir;
    test::WriteBytes(dir.file("f.orv"), test::ReadBytes(test::DataFile("geometry/flat384x256_offcentre.orv")));
    Workspace ws;
    RecordingHost host;
    OpenFiles(ws, {dir.file("f.orv")});
    ws.FSetup.CBSectors = true;
    ws.SectorPsi1 = 20;
    ws.SectorPsi2 = 110;
    ASSERT_EQ(TBatchThread::Execute(ws, host), 1);
    EXPECT_FLOAT_EQ(ws.SectorPsi1, 20);   // the sector in force is put back
    EXPECT_FLOAT_EQ(ws.SectorPsi2, 110);

    // One pass over the pixels into 36 sectors of 10 degrees (both ends
    // excluded) and the bins of the frame's step.
    std::vector<std::vector<double>> sum(36, std::vector<double>(ProfileLength)), count = sum;
    for (int x = 1; x <= ws.FrameWidth; ++x)
        for (int y = 1; y <= ws.FrameHeight; ++y) {
            const orv::test::PixelRecord p = orv::test::PixelAt(ws, x, y);
            if (p.Intensity == -1 || std::fmod(p.Psi, 10.0f) == 0) continue;
            const int sector = static_cast<int>(p.Psi / 10);
            const int bin = static_cast<int>(std::nearbyint((p.TwoTheta - ws.MinTwoTheta) / ws.TwoThetaStep));
            sum[sector][bin] += p.Intensity;
            count[sector][bin] += 1;
        }
    const auto lines = ReadTextLines(dir.file("f.orv.SEC"));
    ASSERT_GT(lines.size(), 100u);
    int compared = 0;
    for (size_t r = 0; r < lines.size(); ++r) {
        std::stringstream in(lines[r]);
        std::string cell;
        for (int k = 0; k < 36; ++k) {
            ASSERT_TRUE(std::getline(in, cell, ',')) << r;
            if (count[k][r] < 20) continue;   // sparse bins may be cut or filled by the scan
            EXPECT_NEAR(std::stod(cell), sum[k][r] / count[k][r], 0.51) << "row " << r << " sector " << k;
            ++compared;
        }
    }
    EXPECT_GT(compared, 1000);
}

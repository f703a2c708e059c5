#include <gtest/gtest.h>

#include <climits>
#include <filesystem>

#include "formats/frame_math.h"
#include "formats/native_frame.h"
#include "frame_test_support.h"
#include "test_support.h"
#include "workspace/host.h"
#include "workspace/workspace.h"

namespace orv {
namespace {

using test::Logged;
using test::TempDir;

struct KeepCurrentFolder {
    std::filesystem::path saved = std::filesystem::current_path();
    ~KeepCurrentFolder() { std::filesystem::current_path(saved); }
};

// A frame of w x h pixels of `value` (or value + x + 10 y) with its own
// centre and detector 2-theta, as the program's own frame file.
void WriteFrame(const std::string& path, int32_t w, int32_t h, int32_t value, double xo = 10, double twoTheta = 0,
                bool numbered = false) {
    Workspace ws;
    test::MakeFrame(ws, w, h);
    ws.Landa = 0.7093;
    ws.Distance = 60;
    ws.DSize = 30;
    ws.Xo = xo;
    ws.Yo = 3;
    ws.TwoThetaD = twoTheta;
    for (int32_t x = 1; x <= w; ++x)
        for (int32_t y = 1; y <= h; ++y) ws.FramePixels.Intensity[x][y] = value + (numbered ? x + 10 * y : 0);
    WriteNativeFrame(ws, path);
}

// The frame on screen: w x h pixels of `value`, detector 2-theta `twoTheta`.
void ScreenFrame(Workspace& ws, int32_t w, int32_t h, int32_t value, double twoTheta = 0) {
    test::MakeFrame(ws, w, h);
    ws.TwoThetaD = twoTheta;
    ws.Distance = 60;
    ws.DSize = 30;
    for (int32_t x = 1; x <= w; ++x)
        for (int32_t y = 1; y <= h; ++y) ws.FramePixels.Intensity[x][y] = value;
}

// A host that keeps every progress value shown, and can press Stop after
// the first file was combined.
class ProgressHost : public RecordingHost {
public:
    explicit ProgressHost(Workspace& ws) : ws_(ws) {}
    void changed(View what) override {
        RecordingHost::changed(what);
        if (what == View::Progress) progress.push_back(ws_.Form20.ProgressBar1);
        if (what == View::Logbook && stopAfterFirstFile && ws_.LLog.Lines().back().ends_with(" frame added"))
            ws_.BatchRunning = 0;
    }
    std::vector<int> progress;
    bool stopAfterFirstFile = false;

private:
    Workspace& ws_;
};

TEST(FrameMathKernel, SumsAndProductsSaturateMasksSpreadAndDivisionTruncates) {
    FramePlane<int32_t> a(5, 1), b(5, 1);
    const int32_t av[] = {INT32_MAX - 1, -1, 100000, 100, -7};
    const int32_t bv[] = {5, 3, 100000, -1, 2};
    auto reset = [&] {
        for (int x = 1; x <= 5; ++x) {
            a[x][1] = av[x - 1];
            b[x][1] = bv[x - 1];
        }
    };
    auto values = [&] {
        std::vector<int32_t> v;
        for (int x = 1; x <= 5; ++x) v.push_back(a[x][1]);
        return v;
    };
    reset();
    CombineFrames(a, b, 5, 1, FrameOperation::Add);
    EXPECT_EQ(values(), (std::vector<int32_t>{INT32_MAX, -1, 200000, -1, -5}));
    reset();
    CombineFrames(a, b, 5, 1, FrameOperation::Multiply);
    EXPECT_EQ(values(), (std::vector<int32_t>{INT32_MAX, -1, INT32_MAX, -1, -14}));
    reset();
    CombineFrames(a, b, 5, 1, FrameOperation::Subtract);
    EXPECT_EQ(values(), (std::vector<int32_t>{INT32_MAX - 6, -1, 0, -1, -9}));
    reset();
    CombineFrames(a, b, 5, 1, FrameOperation::Divide);   // -7 / 2 truncates towards zero
    EXPECT_EQ(values(), (std::vector<int32_t>{(INT32_MAX - 1) / 5, -1, 1, 100, -3}));
    EXPECT_THROW(CombineFrames(a, b, 6, 1, FrameOperation::Add), std::invalid_argument);

    // Results that land on the mask marker stay pixels, one count lower.
    FramePlane<int32_t> c(4, 1), d(4, 1);
    const int32_t cv[] = {3, 1, -1, -3}, dv[] = {4, -1, 1, 2};
    for (int x = 1; x <= 4; ++x) {
        c[x][1] = cv[x - 1];
        d[x][1] = dv[x - 1];
    }
    CombineFrames(c, d, 4, 1, FrameOperation::Subtract);
    EXPECT_EQ(c[1][1], -2);    // 3 - 4
    EXPECT_EQ(c[2][1], -1);    // masked in the second frame
    EXPECT_EQ(c[3][1], -1);    // masked in the first
    c[4][1] = -3;
    CombineFrames(c, d, 4, 1, FrameOperation::Divide);
    EXPECT_EQ(c[4][1], -2);    // -3 / 2 truncates to the marker
}

TEST(FrameMath, SubtractingTwoFilesKeepsTheLastGeometryAndNoScratchFile) {
    TempDir dir;
    KeepCurrentFolder here;
    std::filesystem::current_path(dir.path());
    WriteFrame(dir.file("f1.orv"), 12, 7, 10, 5, 0, true);
    WriteFrame(dir.file("f2.orv"), 12, 7, 3, 8.5);
    Workspace ws;
    ProgressHost host(ws);
    ScreenFrame(ws, 12, 7, 1000);
    ws.FramePixels.Intensity[4][4] = -1;
    const FrameMathRun run =
        TMathThread::Execute(ws, host, FrameOperation::Subtract, {dir.file("f1.orv"), dir.file("f2.orv")});
    EXPECT_TRUE(run.Completed);
    EXPECT_EQ(run.Combined, 2);
    for (int32_t x = 1; x <= 12; ++x)
        for (int32_t y = 1; y <= 7; ++y)
            if (x != 4 || y != 4) {
                ASSERT_EQ(ws.FramePixels.Intensity[x][y], (1000 - (10 + x + 10 * y)) - 3);
            }
    EXPECT_EQ(ws.FramePixels.Intensity[4][4], -1);
    EXPECT_DOUBLE_EQ(ws.Xo, 8.5);   // the geometry of f2
    EXPECT_TRUE(ws.FramePixels.HasGeometry());
    EXPECT_EQ(ws.MaxIntensity, 1000 - 10 - 1 - 10 - 3);
    EXPECT_TRUE(Logged(ws, dir.file("f1.orv") + " frame substracted"));
    EXPECT_TRUE(Logged(ws, dir.file("f2.orv") + " frame substracted"));
    EXPECT_EQ(host.progress, (std::vector<int>{0, 25, 75, 100}));
    EXPECT_TRUE(host.messages.empty());
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 2);   // f1, f2 only
}

TEST(FrameMath, DividingTruncatesAndAZeroOrMaskedDivisorKeepsTheValue) {
    TempDir dir;
    Workspace divisor;
    test::MakeFrame(divisor, 3, 1);
    divisor.FramePixels.Intensity[1][1] = 30;
    divisor.FramePixels.Intensity[2][1] = 0;
    divisor.FramePixels.Intensity[3][1] = -1;
    WriteNativeFrame(divisor, dir.file("d.orv"));
    Workspace ws;
    ProgressHost host(ws);
    ScreenFrame(ws, 3, 1, 100);
    EXPECT_TRUE(TMathThread::Execute(ws, host, FrameOperation::Divide, {dir.file("d.orv")}).Completed);
    EXPECT_EQ(ws.FramePixels.Intensity[1][1], 3);
    EXPECT_EQ(ws.FramePixels.Intensity[2][1], 100);
    EXPECT_EQ(ws.FramePixels.Intensity[3][1], 100);
    EXPECT_TRUE(Logged(ws, dir.file("d.orv") + " data divided by this frame"));
    EXPECT_EQ(host.progress, (std::vector<int>{0, 50, 100}));   // one file: 50 after it, 100 at the end
}

TEST(FrameMath, DetectorAnglesMoreThanFiveHundredthsApartAreWarnedOfAndStillAdded) {
    TempDir dir;
    WriteFrame(dir.file("near.orv"), 6, 4, 1, 10, 20.04);
    WriteFrame(dir.file("far.orv"), 6, 4, 1, 10, 20.06);
    Workspace ws;
    ProgressHost host(ws);
    ScreenFrame(ws, 6, 4, 5, 20.0);
    TMathThread::Execute(ws, host, FrameOperation::Add, {dir.file("near.orv")});
    EXPECT_TRUE(host.messages.empty());
    ws.TwoThetaD = 20.0;
    TMathThread::Execute(ws, host, FrameOperation::Add, {dir.file("far.orv")});
    EXPECT_EQ(host.messages,
              std::vector<std::string>{"WARNING: You are adding frames collected diferent 2Theta angles"});
    EXPECT_EQ(ws.FramePixels.Intensity[6][4], 7);
}

TEST(FrameMath, AnotherWidthAndHeightOrAnUnreadableFileIsNamedAndChangesNothing) {
    TempDir dir;
    WriteFrame(dir.file("turned.orv"), 6, 8, 1);   // same larger side, other width and height
    test::WriteBytes(dir.file("junk.dat"), "not a frame");
    Workspace ws;
    ProgressHost host(ws);
    ScreenFrame(ws, 8, 6, 5);
    EXPECT_EQ(TMathThread::Execute(ws, host, FrameOperation::Add, {dir.file("turned.orv")}).Combined, 0);
    EXPECT_EQ(TMathThread::Execute(ws, host, FrameOperation::Add, {dir.file("junk.dat")}).Combined, 0);
    ASSERT_EQ(host.messages.size(), 2u);
    EXPECT_EQ(host.messages[0], "Can not add frames of different sizes!\n" + dir.file("turned.orv") +
                                    " is 6 x 8, the frame 8 x 6");
    EXPECT_EQ(host.messages[1].rfind("Can not open this file format\n" + dir.file("junk.dat"), 0), 0u);
    EXPECT_EQ(ws.FrameWidth, 8);
    EXPECT_EQ(ws.FramePixels.Intensity[8][6], 5);

    Workspace none;
    RecordingHost quiet;
    EXPECT_EQ(TMathThread::Execute(none, quiet, FrameOperation::Add, {dir.file("turned.orv")}).Combined, 0);
    EXPECT_EQ(quiet.messages, std::vector<std::string>{"Need a file to add first!"});
}

TEST(FrameMath, StopBetweenFilesKeepsWhatWasCombined) {
    TempDir dir;
    WriteFrame(dir.file("a.orv"), 5, 5, 2);
    WriteFrame(dir.file("b.orv"), 5, 5, 30);
    Workspace ws;
    ProgressHost host(ws);
    host.stopAfterFirstFile = true;
    ScreenFrame(ws, 5, 5, 1);
    const FrameMathRun run =
        TMathThread::Execute(ws, host, FrameOperation::Add, {dir.file("a.orv"), dir.file("b.orv")});
    EXPECT_FALSE(run.Completed);
    EXPECT_EQ(run.Combined, 1);
    EXPECT_EQ(ws.BatchRunning, 1);   // set back for the next run
    EXPECT_EQ(ws.FramePixels.Intensity[3][3], 3);
    EXPECT_TRUE(Logged(ws, "Frame arithmetic ended after 1 of 2 files"));
    EXPECT_EQ(host.progress.back(), 50);
}

} // namespace
} // namespace orv

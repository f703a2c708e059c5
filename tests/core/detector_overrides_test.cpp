#include <gtest/gtest.h>

#include "formats/reader.h"
#include "workspace/host.h"
#include "workspace/workspace.h"

using namespace orv;

namespace {

NewFrame HeaderFrame() {
    NewFrame f;
    f.FrameWidth = f.FrameHeight = f.FrameSize = 1024;
    f.Landa = 0.7107;
    f.TwoThetaD = 20;
    f.Distance = 100;
    f.DSize = 60;
    f.Xo = 500;
    f.Yo = 510;
    return f;
}

struct OverrideRun {
    NewFrame frame = HeaderFrame();
    Workspace ws;
    RecordingHost host;
    bool accepted = false;
    void apply(ReaderChain chain) { accepted = ApplyDetectorOverrides(ws, host, frame, chain); }
};

} // namespace

TEST(DetectorOverridesTest, SmallWavelengthKeptByLoaderRepairedByPoleAndArithmetic) {
    for (ReaderChain chain : {ReaderChain::Load, ReaderChain::Merge, ReaderChain::Pole, ReaderChain::Arithmetic}) {
        OverrideRun r;
        r.frame.Landa = 0.03;
        r.apply(chain);
        ASSERT_TRUE(r.accepted);
        const bool variantB = chain == ReaderChain::Pole || chain == ReaderChain::Arithmetic;
        EXPECT_DOUBLE_EQ(r.frame.Landa, variantB ? 0.711 : 0.03);
        if (variantB) {
            EXPECT_EQ(r.ws.Form23.EWaveLen, "0.711");
            EXPECT_EQ(r.ws.Form19.Elanda, "0.711");
        }
    }
}

TEST(DetectorOverridesTest, OffsetIsAddedByTheLoaderEvenWhenNotApplied) {
    OverrideRun load;
    load.ws.Form32.Eth2offset = "1.5";
    load.apply(ReaderChain::Load);
    EXPECT_DOUBLE_EQ(load.frame.TwoThetaD, 21.5);
    EXPECT_EQ(load.ws.Form23.E2ThetaD, "21.500");

    OverrideRun pole;
    pole.ws.Form32.Eth2offset = "1.5";
    pole.apply(ReaderChain::Pole);
    EXPECT_DOUBLE_EQ(pole.frame.TwoThetaD, 20);

    OverrideRun applied;
    applied.ws.Form32.Eth2offset = "1.5";
    applied.ws.Form32.CB2thetaD = true;
    applied.ws.Form32.E2thetaD = "-10";
    applied.apply(ReaderChain::Pole);
    EXPECT_DOUBLE_EQ(applied.frame.TwoThetaD, -8.5);
}

TEST(DetectorOverridesTest, DetectorSizeRepairs) {
    OverrideRun fromBox;
    fromBox.frame.DSize = 5;
    fromBox.apply(ReaderChain::Load);
    EXPECT_DOUBLE_EQ(fromBox.frame.DSize, 61);
    EXPECT_EQ(fromBox.ws.Form23.EDSizemm, "61.000");

    OverrideRun badBox;
    badBox.frame.DSize = 5;
    badBox.ws.Form32.EDSize = "700";
    badBox.apply(ReaderChain::Load);
    EXPECT_DOUBLE_EQ(badBox.frame.DSize, 62);
    EXPECT_EQ(badBox.ws.Form32.EDSize, "62.000");
    EXPECT_EQ(badBox.ws.Form23.EDSizemm, "62.000");
}

TEST(DetectorOverridesTest, AngleAndDistanceRepairs) {
    OverrideRun r;
    r.frame.TwoThetaD = 180;
    r.frame.Distance = 9.99;
    r.apply(ReaderChain::Load);
    EXPECT_DOUBLE_EQ(r.frame.TwoThetaD, 0);
    EXPECT_EQ(r.ws.Form23.E2ThetaD, "0.000");
    EXPECT_DOUBLE_EQ(r.frame.Distance, 60);
    EXPECT_EQ(r.ws.Form32.EDistance, "60.000");
}

TEST(DetectorOverridesTest, FrameSizeLimitsPerChain) {
    OverrideRun load;
    load.frame.FrameWidth = load.frame.FrameSize = 9000;
    load.apply(ReaderChain::Load);
    EXPECT_TRUE(load.accepted);
    EXPECT_TRUE(load.host.messages.empty());

    OverrideRun pole;
    pole.frame.FrameWidth = pole.frame.FrameSize = 9000;
    pole.apply(ReaderChain::Pole);
    EXPECT_FALSE(pole.accepted);
    EXPECT_EQ(pole.host.messages, std::vector<std::string>{"frame size over 8000 x 2500"});

    OverrideRun arith;
    arith.frame.FrameWidth = arith.frame.FrameSize = 9000;
    arith.apply(ReaderChain::Arithmetic);
    EXPECT_FALSE(arith.accepted);
    EXPECT_EQ(arith.host.messages, std::vector<std::string>{"frame size over 2500 x 2500"});

    OverrideRun huge;
    huge.frame.FrameHeight = huge.frame.FrameSize = 24002;
    huge.apply(ReaderChain::Load);
    EXPECT_TRUE(huge.accepted);
    EXPECT_EQ(huge.host.messages, std::vector<std::string>{"frame size over 24000 pixels"});
}

TEST(DetectorOverridesTest, CentreOverrideGoesToTheCentreWindowOrFrameInfo) {
    OverrideRun load;
    load.ws.Form32.CBXo = true;
    load.ws.Form32.EXoM = "300.5";
    load.apply(ReaderChain::Load);
    EXPECT_DOUBLE_EQ(load.frame.Xo, 300.5);
    EXPECT_EQ(load.ws.Form27.EXoM, "300.5");
    EXPECT_EQ(load.ws.Form23.EXo, "500.000");   // Frame Info keeps the file's value

    OverrideRun pole;
    pole.ws.Form32.CBXo = true;
    pole.ws.Form32.EXoM = "300.5";
    pole.apply(ReaderChain::Pole);
    EXPECT_EQ(pole.ws.Form23.EXo, "300.500");
    EXPECT_EQ(pole.ws.Form27.EXoM, "256");
}

TEST(EdgeSpikesTest, LeftEdgeExamples) {
    FramePlane<int32_t> p(10, 2);
    int32_t row1[] = {50, 30000, 40, 1, 1, 1, 1, 1, 1, 1};
    int32_t row2[] = {30000, 50, 20000, 1, 1, 1, 1, 1, 1, 1};
    for (int x = 1; x <= 10; ++x) {
        p[x][1] = row1[x - 1];
        p[x][2] = row2[x - 1];
    }
    RemoveEdgeSpikes(p, 10, 2);
    EXPECT_EQ(p[1][1], 50);
    EXPECT_EQ(p[2][1], 50);
    EXPECT_EQ(p[3][1], 40);
    EXPECT_EQ(p[1][2], 50);
    EXPECT_EQ(p[2][2], 50);
    EXPECT_EQ(p[3][2], 50);
}

TEST(EdgeSpikesTest, RightEdgeAndTheMiddleIsLeftAlone) {
    const int w = 20;
    FramePlane<int32_t> p(w, 1);
    for (int x = 1; x <= w; ++x) p[x][1] = 100;
    p[10][1] = 50000;   // not near an edge
    p[w][1] = 70000;
    p[w - 6][1] = 90000;   // just outside the right-edge window's reach
    RemoveEdgeSpikes(p, w, 1);
    EXPECT_EQ(p[10][1], 50000);
    EXPECT_EQ(p[w][1], 100);
    // x = w-5 is compared with x-1 = w-6, so the spike at w-6 is pulled down.
    EXPECT_EQ(p[w - 6][1], 100);
}

TEST(EdgeSpikesTest, NarrowFramesStayInside) {
    for (int w = 1; w <= 7; ++w) {
        FramePlane<int32_t> p(w, 1);
        for (int x = 0; x <= w + 1; ++x) p[x][1] = 777777;   // border sentinels
        for (int x = 1; x <= w; ++x) p[x][1] = x == 1 ? 50000 : 10;
        RemoveEdgeSpikes(p, w, 1);
        EXPECT_EQ(p[0][1], 777777) << w;
        EXPECT_EQ(p[w + 1][1], 777777) << w;
        if (w > 1) {
            EXPECT_EQ(p[1][1], 10) << w;
        }
    }
}

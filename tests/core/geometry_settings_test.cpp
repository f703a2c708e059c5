// What the geometry step reads from the settings boxes, what it writes back,
// and how it refuses settings that cannot be mapped.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <tuple>

#include "geometry_test_support.h"
#include "workspace/geometry.h"
#include "workspace/host.h"
#include "base/numbers.h"
#include "pixel_record.h"

using namespace orv;
using namespace orv::test;

namespace {

// Everything a failed run must leave as it was.
struct Snapshot {
    std::vector<unsigned char> pixels;
    double Xo, Yo, DSize, Distance, TwoThetaD, PixelSize, DistancePixels;
    float MinTwoTheta, MaxTwoTheta, TwoThetaStep, FlatDistancePixels, DegreesPerPixel;
    int32_t ScanPoints, FrameSize;
    ProfileRow profile, copy;
    std::string EDSize, ELength, EHeight, EAMax, Eth2step, E2ThetaMax;
    uint8_t FlatDetector;

    explicit Snapshot(const Workspace& ws)
        : pixels(test::PlaneBytes(ws)),
          Xo(ws.Xo), Yo(ws.Yo), DSize(ws.DSize), Distance(ws.Distance), TwoThetaD(ws.TwoThetaD),
          PixelSize(ws.PixelSize), DistancePixels(ws.DistancePixels), MinTwoTheta(ws.MinTwoTheta),
          MaxTwoTheta(ws.MaxTwoTheta), TwoThetaStep(ws.TwoThetaStep), FlatDistancePixels(ws.FlatDistancePixels),
          DegreesPerPixel(ws.DegreesPerPixel), ScanPoints(ws.ScanPoints), FrameSize(ws.FrameSize),
          profile(ws.FrameProfile), copy(ws.FrameProfileCopy), EDSize(ws.Form32.EDSize),
          ELength(ws.Form32.ELength), EHeight(ws.Form32.EHeight), EAMax(ws.Form32.EAMax),
          Eth2step(ws.FSetup.Eth2step), E2ThetaMax(ws.FSetup.E2ThetaMax), FlatDetector(ws.FlatDetector) {}

    void expectUnchanged(const Workspace& ws) const {
        Snapshot now(ws);
        ASSERT_EQ(pixels.size(), now.pixels.size());
        EXPECT_EQ(pixels, now.pixels);
        EXPECT_EQ(std::memcmp(profile.data(), now.profile.data(), profile.size() * sizeof(ProfilePoint)), 0);
        EXPECT_EQ(std::memcmp(copy.data(), now.copy.data(), copy.size() * sizeof(ProfilePoint)), 0);
        EXPECT_EQ(std::tie(Xo, Yo, DSize, Distance, TwoThetaD, PixelSize, DistancePixels),
                  std::tie(now.Xo, now.Yo, now.DSize, now.Distance, now.TwoThetaD, now.PixelSize, now.DistancePixels));
        EXPECT_EQ(std::tie(MinTwoTheta, MaxTwoTheta, TwoThetaStep, FlatDistancePixels, DegreesPerPixel),
                  std::tie(now.MinTwoTheta, now.MaxTwoTheta, now.TwoThetaStep, now.FlatDistancePixels,
                           now.DegreesPerPixel));
        EXPECT_EQ(std::tie(ScanPoints, FrameSize, FlatDetector), std::tie(now.ScanPoints, now.FrameSize, now.FlatDetector));
        EXPECT_EQ(std::tie(EDSize, ELength, EHeight, EAMax, Eth2step, E2ThetaMax),
                  std::tie(now.EDSize, now.ELength, now.EHeight, now.EAMax, now.Eth2step, now.E2ThetaMax));
    }
};

// A frame that has been through the geometry once.
void SetUpComputedFrame(Workspace& ws) {
    RecordingHost host;
    SetUpFlatFrame(ws, 50, 40, 20, 15, 61.54, 61.0);
    ComputeFrameGeometry(ws, host);
}

} // namespace

TEST(GeometrySettings, CentreBoxesOverrideTheFileWhenTicked) {
    Workspace ws;
    RecordingHost host;
    SetUpFlatFrame(ws, 50, 40, 20, 15, 61.54, 61.0);
    ws.Form32.EXoM = "30.5";
    ws.Form32.EYoM = "10";
    ws.Form32.CBXo = true;
    ComputeFrameGeometry(ws, host);
    EXPECT_EQ(ws.Xo, 30.5);
    EXPECT_EQ(ws.Yo, 15);   // not ticked
    EXPECT_FLOAT_EQ(ws.FramePixels.Psi[40][15], 0.0f);   // right of x = 30.5
    EXPECT_FLOAT_EQ(ws.FramePixels.Psi[20][15], 180.0f);
}

TEST(GeometrySettings, PixelSizeGivesTheDetectorSize) {
    Workspace ws;
    RecordingHost host;
    SetUpFlatFrame(ws, 1024, 512, 500, 250, 61.54, 30.0);
    ws.Form32.CBPixSize = true;
    ws.Form32.EPixSize = "75";
    ComputeFrameGeometry(ws, host);
    EXPECT_DOUBLE_EQ(ws.DSize, 76.8);   // 75 um x 1024 pixels
    EXPECT_EQ(ws.Form32.EDSize, "76.800");
    EXPECT_FLOAT_EQ(ws.FlatDistancePixels, static_cast<float>(1024 * 61.54 / 76.8));
}

TEST(GeometrySettings, PixelSizeOfACurvedDetectorGivesLengthAndHeight) {
    Workspace ws;
    RecordingHost host;
    SetUpFlatFrame(ws, 1000, 200, 500, 100, 61.54, 61.0);
    ws.Form32.SelectShape(2);
    ws.Form32.CBPixSize = true;
    ws.Form32.EPixSize = "400";
    ComputeFrameGeometry(ws, host);
    EXPECT_EQ(ws.Form32.ELength, "400.000");
    EXPECT_EQ(ws.Form32.EHeight, "80.000");
    // The cylinder then uses the new length: 0.4 mm per pixel.
    EXPECT_DOUBLE_EQ(ws.PixelSize, 0.4);
    EXPECT_NEAR(ws.DistancePixels, 130.2 / 0.4, 1e-9);
}

TEST(GeometrySettings, FileSettingsReplaceTheFrameGeometry) {
    Workspace ws;
    RecordingHost host;
    SetUpFlatFrame(ws, 100, 100, 50, 50, 61.54, 61.0);
    ws.FlatDetector = 0;
    ws.Form20.CBFSettings = true;
    ws.Form32.EXoM = "10";
    ws.Form32.EYoM = "20";
    ws.Form32.EDSize = "50";
    ws.Form32.EDistance = "40";
    ws.Form32.E2thetaD = "10";
    ws.Form32.Eth2offset = "2.5";
    ComputeFrameGeometry(ws, host);
    EXPECT_EQ(ws.Xo, 10);
    EXPECT_EQ(ws.Yo, 20);
    EXPECT_EQ(ws.DSize, 50);
    EXPECT_EQ(ws.Distance, 40);
    EXPECT_EQ(ws.TwoThetaD, 12.5);
    EXPECT_EQ(ws.FlatDetector, 1);
    EXPECT_NEAR(ws.FramePixels.TwoTheta[10][20], 12.5, 1e-5);
}

TEST(GeometrySettings, FileSettingsOfCurvedDetectors) {
    {
        Workspace ws;
        RecordingHost host;
        SetUpFlatFrame(ws, 100, 20, 50, 10, 61.54, 61.0);
        ws.Form20.CBFSettings = true;
        ws.Form32.SelectShape(2);
        ws.Form32.ELength = "200";
        ws.Form32.ERadius = "90";
        ComputeFrameGeometry(ws, host);
        EXPECT_EQ(ws.FlatDetector, 0);
        EXPECT_EQ(ws.DSize, 200);
        EXPECT_EQ(ws.Distance, 90);   // the cylinder's radius
        EXPECT_DOUBLE_EQ(ws.DistancePixels, 90 / 2.0);
    }
    {
        Workspace ws;
        RecordingHost host;
        SetUpFlatFrame(ws, 100, 20, 50, 10, 61.54, 61.0);
        ws.Form20.CBFSettings = true;
        ws.Form32.SelectShape(3);
        ws.Form32.ELength = "200";
        ws.Form32.ERadius = "90";
        ws.Form32.EDistance = "70";
        ComputeFrameGeometry(ws, host);
        EXPECT_EQ(ws.DSize, 200);
        EXPECT_EQ(ws.Distance, 70);
        EXPECT_DOUBLE_EQ(ws.DistancePixels, 90 / 2.0);
        EXPECT_FLOAT_EQ(ws.FlatDistancePixels, 100 * 70 / 200.0f);
    }
}

TEST(GeometrySettings, SlitDetectorWidensTheStep) {
    float steps[2];
    for (bool slit : {false, true}) {
        Workspace ws;
        RecordingHost host;
        SetUpFlatFrame(ws, 400, 40, -10, 20, 61.54, 61.0);
        ws.Form32.SelectShape(3);
        ws.Form32.CBSlitDetector = slit;
        ComputeFrameGeometry(ws, host);
        EXPECT_EQ(ws.SlitDetector, slit ? 1 : 0);
        float smallest = 90;
        for (int i = 1; i <= 400; ++i)
            for (int j = 1; j <= 40; ++j) smallest = std::min(smallest, ws.FramePixels.TwoTheta[i][j]);
        // 1.4 or 0.75 times the range per column, to the nearest 0.005.
        const double raw = (ws.MaxTwoTheta - smallest) * (slit ? 1.4 : 0.75) / 400;
        ASSERT_GT(raw, 0.01);
        EXPECT_NEAR(ws.TwoThetaStep, raw, 0.0025 + 1e-6);
        steps[slit] = ws.TwoThetaStep;
    }
    EXPECT_GT(steps[1], steps[0]);
}

TEST(GeometrySettings, NoFrameOnlyReadsTheSettings) {
    Workspace ws;
    RecordingHost host;
    ws.FramePixels.clear();
    ws.FrameWidth = ws.FrameHeight = ws.FrameSize = 0;
    ws.Form32.SelectShape(2);   // would divide by the width
    ComputeFrameGeometry(ws, host);
    EXPECT_TRUE(host.messages.empty());
    EXPECT_EQ(ws.MinTwoTheta, 90.0f);
    EXPECT_EQ(ws.MaxTwoTheta, 0.0f);
    EXPECT_EQ(ws.ScanPoints, MaxScanPoints);
    EXPECT_TRUE(std::isfinite(ws.DegreesPerPixel));
}

TEST(GeometrySettings, FrameOfZeroWidthMapsNothing) {
    Workspace ws;
    RecordingHost host;
    ws.FramePixels.Blank(0, 10);
    ws.FrameWidth = 0;
    ws.FrameHeight = 10;
    ws.FrameSize = 10;
    for (int shape : {1, 2, 3}) {
        ws.Form32.SelectShape(shape);
        ws.Form32.CBPixSize = true;
        ComputeFrameGeometry(ws, host);
        EXPECT_TRUE(host.messages.empty());
        EXPECT_TRUE(std::isfinite(ws.PixelSize));
        EXPECT_EQ(ws.MaxTwoTheta, 0.0f);
    }
}

TEST(GeometrySettings, FrameLargerThanItsAllocationIsCutToIt) {
    Workspace ws;
    RecordingHost host;
    SetUpFlatFrame(ws, 20, 20, 10, 10, 61.54, 61.0);
    ws.FrameWidth = 30;   // a reader that forgot to reallocate
    ws.FrameHeight = 25;
    ComputeFrameGeometry(ws, host);
    int64_t counted = 0;
    for (int k = 0; k <= ws.ScanPoints; ++k) counted += ws.FrameProfile[k].Count;
    EXPECT_EQ(counted, 20 * 20);
}

TEST(GeometrySettings, BoxThatIsNotANumberChangesNothing) {
    struct Case {
        const char* what;
        void (*set)(Workspace&);
    };
    const Case cases[] = {
        {"pixel size", [](Workspace& ws) { ws.Form32.CBPixSize = true; ws.Form32.EPixSize = "abc"; }},
        {"centre", [](Workspace& ws) { ws.Form32.CBYo = true; ws.Form32.EYoM = "12,5"; }},
        // The pixel size would be written back before the step box is read.
        {"step", [](Workspace& ws) {
             ws.Form32.CBPixSize = true;
             ws.Form32.EPixSize = "50";
             ws.FSetup.CBth2step = true;
             ws.FSetup.Eth2step = "fine";
         }},
        {"adjust target", [](Workspace& ws) { ws.FSetup.Adjust2Theta = true; ws.FSetup.E2ThetaMax = ""; }},
        {"file distance", [](Workspace& ws) { ws.Form20.CBFSettings = true; ws.Form32.EDistance = "x"; }},
        {"radius", [](Workspace& ws) { ws.Form32.SelectShape(2); ws.Form32.ERadius = "r"; }},
        {"sample offset", [](Workspace& ws) {
             ws.Form32.SelectShape(2);
             ws.Form32.CBSampleOffset = true;
             ws.Form32.ESampleY = "-";
         }},
        {"sphere length", [](Workspace& ws) { ws.Form32.SelectShape(3); ws.Form32.ELength = "1.2.3"; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Workspace ws;
        SetUpComputedFrame(ws);
        ws.FramePixels.Intensity[3][3] = 77;
        c.set(ws);
        const Snapshot before(ws);
        RecordingHost host;
        EXPECT_THROW(ComputeFrameGeometry(ws, host), ConversionError);
        before.expectUnchanged(ws);
        EXPECT_TRUE(host.messages.empty());
    }
}

TEST(GeometrySettings, SettingsThatCannotBeMappedAreRefused) {
    struct Case {
        const char* what;
        void (*set)(Workspace&);
        const char* message;
    };
    const Case cases[] = {
        {"cylinder radius 0", [](Workspace& ws) { ws.Form32.SelectShape(2); ws.Form32.ERadius = "0"; },
         "Curved detector: length and radius must be greater than 0"},
        {"cylinder length 0", [](Workspace& ws) { ws.Form32.SelectShape(2); ws.Form32.ELength = "0"; },
         "Curved detector: length and radius must be greater than 0"},
        {"sphere radius 0", [](Workspace& ws) { ws.Form32.SelectShape(3); ws.Form32.ERadius = "0.0"; },
         "Curved detector: length and radius must be greater than 0"},
        {"pixel size 0", [](Workspace& ws) {
             ws.Form32.SelectShape(2);
             ws.Form32.CBPixSize = true;
             ws.Form32.EPixSize = "0";
         },
         "Curved detector: length and radius must be greater than 0"},
        {"file distance 0", [](Workspace& ws) { ws.Form20.CBFSettings = true; ws.Form32.EDistance = "0"; },
         "Sample to detector distance must be greater than 0"},
        {"merged without its table", [](Workspace& ws) { ws.MergedFrame = 1; ws.MergeColumnTable.assign(10, {}); },
         "Merged frame: the column table does not cover the frame"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Workspace ws;
        SetUpComputedFrame(ws);
        c.set(ws);
        const Snapshot before(ws);
        RecordingHost host;
        ComputeFrameGeometry(ws, host);
        ASSERT_EQ(host.messages.size(), 1u);
        EXPECT_EQ(host.messages[0], c.message);
        before.expectUnchanged(ws);
    }
}

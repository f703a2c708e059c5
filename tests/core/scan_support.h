#pragma once
// Frames for the scan tests: pixels whose angles the test sets itself, so
// the scans can be checked without the geometry step.

#include <algorithm>
#include <string>

#include "workspace/workspace.h"

namespace orv::test {

// A loaded frame of w x h pixels, all at 2-theta 0 and psi 0; 2-theta bins
// of `step` degrees from 0 up to `points`, the largest 2-theta `maxTwoTheta`.
inline void MakeScanFrame(Workspace& ws, int w, int h, float step = 1.0f, int points = 100,
                          float maxTwoTheta = 100.0f) {
    ws.FramePixels.Blank(w, h);
    ws.FrameWidth = w;
    ws.FrameHeight = h;
    ws.FrameSize = std::max(w, h);
    ws.LastFileIndex = 0;
    ws.FileList = {"/data/frame1.orv"};
    ws.CurrentFile = "/data/frame1.orv";
    ws.MinTwoTheta = 0;
    ws.TwoThetaStep = step;
    ws.ScanPoints = points;
    ws.MaxTwoTheta = maxTwoTheta;
}

inline void SetPixel(Workspace& ws, int i, int j, int32_t intensity, float twoTheta, float psi) {
    ws.FramePixels.Intensity[i][j] = intensity;
    FrameGeometry& g = ws.FramePixels.OwnGeometry();
    g.TwoTheta[i][j] = twoTheta;
    g.Psi[i][j] = psi;
}

} // namespace orv::test

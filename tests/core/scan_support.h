#pragma once
// Frames for the scan tests: pixels whose angles the test sets itself, so
// the scans can be checked without the geometry step.

#include <algorithm>
#include <filesystem>
#include <string>
#include <unistd.h>

#include "workspace/workspace.h"

namespace orv::test {

// A loaded frame of w x h pixels, all at 2-theta 0 and psi 0; 2-theta bins
// of `step` degrees from 0 up to `points`, the largest 2-theta `maxTwoTheta`.
inline void MakeScanFrame(Workspace& ws, int w, int h, float step = 1.0f, int points = 100,
                          float maxTwoTheta = 100.0f) {
    ws.FramePixels.resize(w, h);
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
    FramePixel& p = ws.FramePixels[i][j];
    p.Intensity = intensity;
    p.TwoTheta = twoTheta;
    p.Psi = psi;
}

// A fresh folder under the system's temporary folder, removed at the end.
class TempFolder {
public:
    explicit TempFolder(const std::string& name) {
        path_ = std::filesystem::temp_directory_path() / ("orv_" + name + "_" + std::to_string(::getpid()));
        std::filesystem::remove_all(path_);
        std::filesystem::create_directories(path_);
    }
    ~TempFolder() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    std::string operator/(const std::string& name) const { return (path_ / name).string(); }
    std::string path() const { return path_.string(); }

private:
    std::filesystem::path path_;
};

} // namespace orv::test

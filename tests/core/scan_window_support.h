#pragma once
// Scans for the scan-window tests, set straight into the workspace.

#include <sstream>
#include <string>
#include <vector>

#include "base/numbers.h"
#include "workspace/workspace.h"

namespace orv::test {

// SectorScan points 0..values.size()-1 at first + k x step, the frame's file
// "/data/run7/frame1.tif", wavelength 0.7093.
inline void MakeThetaScan(Workspace& ws, double first, double step, const std::vector<double>& values) {
    ws.CurrentFile = "/data/run7/frame1.tif";
    ws.Landa = 0.7093;
    ws.TwoThetaStep = static_cast<float>(step);
    for (size_t k = 0; k < values.size(); ++k) {
        ws.SectorScan[k].TwoTheta = static_cast<float>(first + k * step);
        ws.SectorScan[k].Intensity = static_cast<float>(values[k]);
    }
    ws.SectorScanPoints = static_cast<int32_t>(values.size()) - 1;
    ws.SectorScanBackup = ws.SectorScan;
    ws.SectorTwoTheta1 = static_cast<float>(first);
    ws.SectorTwoTheta2 = static_cast<float>(first + (values.size() - 1) * step);
}

// PsiScanData points 0..values.size()-1 of `step` degrees.
inline void MakePsiScan(Workspace& ws, float step, const std::vector<double>& values) {
    ws.CurrentFile = "/data/run7/frame1.tif";
    ws.PsiStep = step;
    std::fill(ws.PsiScanData.begin(), ws.PsiScanData.end(), 0.0f);
    for (size_t c = 0; c < values.size(); ++c) ws.PsiScanData[c] = static_cast<float>(values[c]);
    ws.PsiScanBackup = ws.PsiScanData;
}

// A row of a list read as other programs read it: split on blanks, each
// field a number.
inline std::vector<double> BlankSeparatedNumbers(const std::string& row) {
    std::istringstream in(row);
    std::vector<double> fields;
    for (std::string field; in >> field;) fields.push_back(ParseNumber(field));
    return fields;
}

// A psi scan of 721 points of 1 count, reported to `folder` with the peak
// list and the summary ticked.
inline void ReportingPsiScan(Workspace& ws, const std::string& folder) {
    MakePsiScan(ws, 0.5f, std::vector<double>(721, 1.0));
    ws.OutputDir = folder;
    ws.FSetup.CBPsiScanPeaks = true;
    ws.FSetup.PSSPSummary = true;
}

} // namespace orv::test

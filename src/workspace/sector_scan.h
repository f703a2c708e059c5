#pragma once
// Sector 2-theta and psi scans: the selected sector of the frame (an angular
// sector in 2-theta and psi, or a pixel rectangle) integrated into SectorScan
// or PsiScanData, and plotted into the charts of the scan windows.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace orv {

class Host;
struct TFMask;
struct Workspace;

// Whether psi `p` lies in the psi limits p1..p2: both ends excluded, p1 > p2
// runs through 360/0, and equal limits hold nothing.
inline bool InPsiSector(float p, float p1, float p2) {
    if (p1 < p2) return p > p1 && p < p2;
    if (p1 > p2) return p > p1 || p < p2;
    return false;
}

// The 2-theta scan of the current sector into SectorScan (bins
// 0..SectorScanPoints), then plotted on Form2's charts.
void N2ThetaScan1Click(Workspace& ws, Host& host);
struct PsiSector;
// The 2-theta scans of several psi sectors of the current frame, made in one
// pass over it and each finished as N2ThetaScan1Click finishes the sector
// scan: the intensities of bins 0..its last point. In rectangle mode every
// sector is the rectangle's scan. Nothing is shown; only repaired rectangle
// boxes change. Throws ConversionError when a rectangle box is not a whole
// number.
std::vector<std::vector<float>> SectorTwoThetaScans(Workspace& ws, const std::vector<PsiSector>& sectors);
// The psi scan of the current angular sector into PsiScanData, then plotted
// on Form12's charts. False when it was refused (the message said why) and
// PsiScanData was left as it was.
bool PsiScan1Click(Workspace& ws, Host& host);
// Why the 2-theta scan would be refused ("Need to open a file first", a
// rectangle box that is not a whole number), or "" when it can be made.
std::string TwoThetaScanRefusal(const Workspace& ws);
// Why the psi scan would be refused ("Need to open a file first !", "Define
// a 2Theta range using the Mask Sector tool !"), or "" when it can be made.
std::string PsiScanRefusal(const Workspace& ws);
// The four angular limits of the sector dialog as they are put in force:
// 2-theta kept within 0..180 and in order, psi brought into 0..360.
// {2-theta 1, psi 1, 2-theta 2, psi 2}; throws ConversionError.
std::array<float, 4> RepairedSectorLimits(const TFMask& boxes);
// Reads the four angular limits from the sector dialog, repairs them, then
// redraws the sector and recomputes the 2-theta scan. A box that is not a
// number is reported and changes nothing.
void ReadSectorLimits(Workspace& ws, Host& host);

// Reads the rectangle (x1, x2, y1, y2) from the sector dialog's boxes, moves
// each corner into the frame and writes every repaired value back into its
// box; the corners are not put in order. Throws ConversionError, changing
// nothing, when a box is not a whole number.
std::array<int32_t, 4> ReadSectorRectangle(Workspace& ws);

// Draw SectorScan (bins 0..SectorScanPoints) on Form2's overview chart
// (RChart2, with its range) and working chart (RChart1, range untouched).
void PlotScanChart2(Workspace& ws);
void PlotScanChart1(Workspace& ws);

} // namespace orv

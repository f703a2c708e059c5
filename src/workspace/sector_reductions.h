#pragma once
// Reductions of the current frame built on the integration kernel: the peak
// position and breadth of the sector ("Integrate"), a 2-theta profile and
// the d-spacing of the strongest line for every 5-degree psi row, psi-slice
// files for pole figures (".slc") and the intensity profiles along one row
// or column (line scans).
//
// What they leave for the windows that show them:
//   PsiProfiles    rows 0..71 (psi = row x 5 degrees), each a 2-theta
//                  profile of bins 0..ScanPoints labelled as FrameProfile:
//                  the summed intensities and pixel counts of the row.
//   DSpacingData   Step (5 degrees), Count (rows computed) and D[row], the
//                  d-spacing in angstrom of the row's strongest bin inside
//                  the sector's 2-theta limits (0 when none).
//   LineScanData   [1..N] the profile along row LineScanIndex (LineScanAlongX)
//                  or column LineScanIndex (LineScanAlongY); LineMark1 and
//                  LineMark2 the marked range in pixels along it.
// Masked pixels (-1) take part in none of them.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace orv {

class FrameStore;
class Host;
struct Workspace;

constexpr int DSpacingRows = 72;        // psi rows of 5 degrees; psi >= 357.5 joins row 0
constexpr float DSpacingStep = 5.0f;

// d-spacing against psi: its own psi step and row count, independent of the
// psi scan's PsiStep.
struct DSpacingTable {
    float Step = DSpacingStep;
    int32_t Count = 0;                  // rows computed; 0 before the first calculation
    std::vector<float> D = std::vector<float>(DSpacingRows);   // angstrom, row k at psi k x Step
};

// ---- Integrate ----------------------------------------------------------------

// "Integrate Sector and Calculate FWHM": a rectangle sector gets its
// statistics only; an angular sector its statistics, then the peak of the
// 2-theta scan inside the 2-theta limits ("2ThetaMax =... ;  FWHM2Theta = ...")
// and of the psi scan inside the psi limits ("PsiMax =... ;  FWHMPsi = ..."),
// both scans made without showing them. The breadth is the integral over
// the peak's top.
void Integrate1Click(Workspace& ws, Host& host);

// ---- d-spacing against psi ------------------------------------------------------

// Why d-spacing or slices cannot be made ("" when they can): no frame, or a
// rectangle sector, which has no 2-theta range.
std::string SectorBandRefusal(const Workspace& ws);
// Fills PsiProfiles and DSpacingData from the current frame in one pass of
// the kernel (no checks, nothing shown). d = Landa / (2 sin(t / 2)) of the
// 2-theta t of each row's largest summed bin strictly inside the sector's
// 2-theta limits; 0 when no bin there holds a positive sum or t <= 0.1.
void CalculateDSpacing(Workspace& ws);
// The menu command: the refusal as a message, or the calculation and its
// rows in the logbook. False when refused.
bool Calculatedspacing1Click(Workspace& ws, Host& host);

// ---- Psi slices ---------------------------------------------------------------

// The summed intensities of the pixels with twoTheta1 < 2-theta < twoTheta2
// in slices of `sliceWidth` degrees of psi: n = Round(360 / sliceWidth)
// slices, slice k holding the pixels with Round(psi / sliceWidth) = k; the
// pixels within half a slice below 360 degrees join slice 0. 64-bit sums.
std::vector<int64_t> PsiSliceSums(const FrameStore& pixels, int32_t width, int32_t height, double twoTheta1,
                                  double twoTheta2, double sliceWidth);
// A frame's line of a slice file: every sum saturated into a field of 10
// characters. The pole-figure worker writes its lines with this too.
std::string SliceLine(const std::string& frameName, const std::vector<int64_t>& sums);
// The header of the interactive slice file (the width with one decimal).
std::string InteractiveSliceHeader(double twoTheta1, double twoTheta2, double sliceWidth);
// The batch's slice width: ESliceWidth kept when its nearest whole number is
// 1, 5, 10 or 20 or when it is 2.5, else 5; stored in SliceWidth. Throws
// ConversionError when the box is not a number.
double BatchSliceWidth(Workspace& ws);
// The batch's slice file EExperiment + ".slc" in the current folder: a new
// file gets the header first; the frame's line is appended. Throws FileError
// or ConversionError.
void WriteSectorSlices(Workspace& ws, Host& host);
// The interactive slice file: `answer` is what the user typed for the width
// (nothing or "": the command ends). A width not within 0.001 of 1, 2.5, 5,
// 10 or 20 becomes 5 with a message. The file is made anew with the header
// and the frame's line; both go to the logbook. File errors are messages.
void Integratesectorslides1Click(Workspace& ws, Host& host, const std::optional<std::string>& answer);

// ---- Line scans ---------------------------------------------------------------

// What a line scan found, for its chart: the caption and the extremes of the
// values strictly inside the marked range.
struct LineScanResult {
    bool Made = false;
    std::string Caption;
    double Smallest = 0, Largest = 0;
};
// The profile along row y (XLineScan) or column x (YLineScan): each value
// the sum of the 2w + 1 rows (columns) about it, w = LineScanWidth (1 when
// not positive), cut to the frame but always divided by 2w + 1. Fills
// LineScanData and the line-scan state, lowers LineMark2 to the frame's size,
// draws a white line across the frame picture and logs the caption.
LineScanResult XLineScan(Workspace& ws, Host& host, int32_t y);
LineScanResult YLineScan(Workspace& ws, Host& host, int32_t x);
// "Y Constant" (alongX) and "X Constant": the row (column) from the Detector
// Settings' centre box, the middle one when that lies outside the frame;
// `widthAnswer` the typed width (nothing: "1"; one wider than the frame is
// refused with a message); then the scan.
LineScanResult LineScanCommand(Workspace& ws, Host& host, bool alongX, const std::optional<std::string>& widthAnswer);

// Installs the batch outputs "IntegrateSector and", "d-spacing" and the
// slices (Workspace::Batch).
void SetUpSectorReductions(Workspace& ws);

} // namespace orv

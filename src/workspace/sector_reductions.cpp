#include "workspace/sector_reductions.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "base/numbers.h"
#include "base/parallel.h"
#include "polefig/pole_files.h"
#include "workspace/frame_display.h"
#include "workspace/host.h"
#include "workspace/integration.h"
#include "workspace/run_report.h"
#include "workspace/scan_writers.h"
#include "workspace/sector_overlay.h"
#include "workspace/sector_scan.h"
#include "workspace/setup_settings.h"
#include "workspace/text_files.h"
#include "workspace/workspace.h"

namespace orv {

namespace {

// The kernel takes a 2-theta band with both ends included, compared in
// single precision: these turn strict limits into included ones, so that
// t >= FloatAbove(a) holds exactly when t > a for every float t.
float FloatAbove(double a) {
    float f = static_cast<float>(a);
    if (!(static_cast<double>(f) > a)) f = std::nextafter(f, std::numeric_limits<float>::infinity());
    return f;
}

float FloatBelow(double b) {
    float f = static_cast<float>(b);
    if (!(static_cast<double>(f) < b)) f = std::nextafter(f, -std::numeric_limits<float>::infinity());
    return f;
}

int32_t UsedWidth(const Workspace& ws) { return std::min(ws.FrameWidth, ws.FramePixels.width()); }
int32_t UsedHeight(const Workspace& ws) { return std::min(ws.FrameHeight, ws.FramePixels.height()); }

void Log(Workspace& ws, Host& host, const std::string& line) {
    ws.LLog.Append(line);
    host.changed(View::Logbook);
}

// The scans of Integrate are made without being shown.
template <typename Scan>
void Unshown(Workspace& ws, Scan scan) {
    const uint8_t shown = ws.ShowScanResults;
    ws.ShowScanResults = 0;
    try {
        scan();
    } catch (...) {
        ws.ShowScanResults = shown;
        throw;
    }
    ws.ShowScanResults = shown;
}

// Largest value over `bins` (starting from 1, the first maximum wins), its
// bin, and the sum of all of them.
struct PeakOfScan {
    double Total = 0;
    double Top = 1;
    int32_t Bin = -1;
};

template <typename Value>
void AddToPeak(PeakOfScan& p, int32_t bin, Value value) {
    p.Total += value;
    if (p.Bin < 0) p.Bin = bin;   // the range's first bin until a bin exceeds 1
    if (value > p.Top) {
        p.Top = value;
        p.Bin = bin;
    }
}

void IntegrateTwoTheta(Workspace& ws, Host& host) {
    Unshown(ws, [&] { N2ThetaScan1Click(ws, host); });
    const double lo = std::min(ws.SectorTwoTheta1, ws.SectorTwoTheta2);
    const double hi = std::max(ws.SectorTwoTheta1, ws.SectorTwoTheta2);
    PeakOfScan peak;
    const int32_t last = std::clamp(ws.SectorScanPoints, 0, MaxScanPoints);
    for (int32_t k = 1; k <= last; ++k) {
        const ProfilePoint& b = ws.SectorScan[static_cast<size_t>(k)];
        if (b.TwoTheta >= lo && b.TwoTheta <= hi) AddToPeak(peak, k, static_cast<double>(b.Intensity));
    }
    const double at = peak.Bin >= 0 ? ws.SectorScan[static_cast<size_t>(peak.Bin)].TwoTheta : lo;
    const double breadth = peak.Total * ws.TwoThetaStep / peak.Top;
    Log(ws, host, "2ThetaMax =" + FormatNumber(at) + ";  FWHM2Theta = " + FormatNumber(breadth));
}

void IntegratePsi(Workspace& ws, Host& host) {
    bool made = false;
    Unshown(ws, [&] { made = PsiScan1Click(ws, host); });
    if (!made) return;
    const double step = ws.PsiStep;
    const int32_t n = std::min(RoundToInt(360.0 / step), PsiScanLength - 1);
    auto bin = [&](double psi) { return std::clamp(RoundToInt(psi / step), 0, n); };
    PeakOfScan peak;
    auto add = [&](int32_t from, int32_t to) {
        for (int32_t k = from; k <= to; ++k) AddToPeak(peak, k, static_cast<double>(ws.PsiScanData[static_cast<size_t>(k)]));
    };
    const double lo = ws.SectorPsi1, hi = ws.SectorPsi2;
    if (hi > lo) {
        add(bin(lo), bin(hi));
    } else {
        // The sector runs through 360/0.
        add(bin(lo), bin(360.0));
        add(0, bin(hi));
    }
    const double at = std::max(peak.Bin, 0) * step;
    const double breadth = step * peak.Total / peak.Top;
    Log(ws, host, "PsiMax =" + FormatNumber(at) + ";  FWHMPsi = " + FormatNumber(breadth));
}

} // namespace

// ---- Integrate ----------------------------------------------------------------

void Integrate1Click(Workspace& ws, Host& host) {
    if (!ws.FrameIsLoaded()) {
        host.message("Need to open a file first !");
        return;
    }
    if (ws.RectangularSector) {
        RectangleSectorStatistics(ws);
        host.changed(View::Logbook);
        return;
    }
    AngularSectorStatistics(ws, ws.SectorTwoTheta1, ws.SectorPsi1, ws.SectorTwoTheta2, ws.SectorPsi2);
    host.changed(View::Logbook);
    IntegrateTwoTheta(ws, host);
    IntegratePsi(ws, host);
}

// ---- d-spacing against psi ------------------------------------------------------

std::string SectorBandRefusal(const Workspace& ws) {
    if (!ws.FrameIsLoaded()) return "Need to open a file first !";
    if (ws.RectangularSector) return "Define a 2Theta range using the Mask Sector tool !";
    return {};
}

void CalculateDSpacing(Workspace& ws) {
    const int32_t last = std::clamp(ws.ScanPoints, 0, MaxScanPoints);
    IntegrationRequest request;
    request.FirstColumn = 1;
    request.LastColumn = UsedWidth(ws);
    request.FirstRow = 1;
    request.LastRow = UsedHeight(ws);
    request.Axis = ScanAxis::TwoTheta;
    request.Grid = ScanGrid{ws.MinTwoTheta, ws.TwoThetaStep, last};
    // Row 72 (psi at or above 357.5) is the same direction as row 0.
    request.PsiRows = ScanGrid{0.0, DSpacingStep, DSpacingRows};
    std::vector<ScanBins> rows = IntegrateFrame(ws.FramePixels, request);
    for (size_t k = 0; k < rows[DSpacingRows].size(); ++k) {
        rows[0][k].Sum += rows[DSpacingRows][k].Sum;
        rows[0][k].Count += rows[DSpacingRows][k].Count;
    }

    ws.PsiProfiles.assign(DSpacingRows, ProfileRow(static_cast<size_t>(last) + 1));
    DSpacingTable& table = ws.DSpacingData;
    table.Step = DSpacingStep;
    table.Count = DSpacingRows;
    table.D.assign(DSpacingRows, 0.0f);
    const float lo = ws.SectorTwoTheta1, hi = ws.SectorTwoTheta2;
    for (int32_t r = 0; r < DSpacingRows; ++r) {
        ProfileRow& profile = ws.PsiProfiles[static_cast<size_t>(r)];
        const ScanBins& bins = rows[static_cast<size_t>(r)];
        double best = 0;
        double t = 0;
        for (int32_t k = 0; k <= last; ++k) {
            ProfilePoint& p = profile[static_cast<size_t>(k)];
            p.TwoTheta = ws.FrameProfile[static_cast<size_t>(k)].TwoTheta;
            p.Intensity = static_cast<float>(bins[static_cast<size_t>(k)].Sum);
            p.Count = static_cast<int32_t>(std::min<int64_t>(bins[static_cast<size_t>(k)].Count, INT32_MAX));
            if (p.TwoTheta > lo && p.TwoTheta < hi && bins[static_cast<size_t>(k)].Sum > best) {
                best = bins[static_cast<size_t>(k)].Sum;
                t = p.TwoTheta;
            }
        }
        table.D[static_cast<size_t>(r)] = best > 0 && t > 0.1 ? static_cast<float>(DSpacing(ws.Landa, t)) : 0.0f;
    }
}

bool Calculatedspacing1Click(Workspace& ws, Host& host) {
    if (const std::string refusal = SectorBandRefusal(ws); !refusal.empty()) {
        host.message(refusal);
        return false;
    }
    CalculateDSpacing(ws);
    ws.LLog.Append("d-spacing vs Psi angle, 2Theta " + FormatNumber(ws.SectorTwoTheta1) + " to " +
                   FormatNumber(ws.SectorTwoTheta2));
    ws.LLog.Append("Psi angle    d-spacing");
    const DSpacingTable& table = ws.DSpacingData;
    for (int32_t r = 0; r < table.Count; ++r)
        ws.LLog.Append(FormatFixedWidth(r * static_cast<double>(table.Step), 5, 3) + "   " +
                       FormatFixedWidth(table.D[static_cast<size_t>(r)], 5, 3));
    host.changed(View::Logbook);
    return true;
}

// ---- Psi slices ---------------------------------------------------------------

std::vector<int64_t> PsiSliceSums(const FrameStore& pixels, int32_t width, int32_t height, double twoTheta1,
                                  double twoTheta2, double sliceWidth) {
    // Slices of at least a hundredth of a degree.
    const int32_t n = sliceWidth >= 0.01 ? RoundToInt(360.0 / sliceWidth) : 0;
    if (n < 1) return {};
    IntegrationRequest request;
    request.FirstColumn = 1;
    request.LastColumn = width;
    request.FirstRow = 1;
    request.LastRow = height;
    request.Axis = ScanAxis::Psi;
    // Slice n holds the pixels within half a slice below 360 degrees.
    request.Grid = ScanGrid{0.0, sliceWidth, n};
    request.TwoTheta1 = FloatAbove(twoTheta1);
    request.TwoTheta2 = FloatBelow(twoTheta2);
    const ScanBins bins = std::move(IntegrateFrame(pixels, request)[0]);
    std::vector<int64_t> sums(static_cast<size_t>(n));
    for (int32_t k = 0; k < n; ++k) sums[static_cast<size_t>(k)] = static_cast<int64_t>(bins[static_cast<size_t>(k)].Sum);
    sums[0] += static_cast<int64_t>(bins[static_cast<size_t>(n)].Sum);
    return sums;
}

std::string SliceLine(const std::string& frameName, const std::vector<int64_t>& sums) {
    // Saturated into 32 bits, and never below what 10 characters can show.
    constexpr int64_t Lowest = -999999999;
    std::vector<int32_t> fields(sums.size());
    for (size_t k = 0; k < sums.size(); ++k)
        fields[k] = static_cast<int32_t>(std::clamp<int64_t>(sums[k], Lowest, std::numeric_limits<int32_t>::max()));
    return SliceFileLine(frameName, fields);
}

std::string InteractiveSliceHeader(double twoTheta1, double twoTheta2, double sliceWidth) {
    return "2Theta integration range =" + FormatNumber(twoTheta1) + " to " + FormatNumber(twoTheta2) +
           " Psi range = 0 to 360; SlicesWidth in Psi angle = " + FormatNumber(sliceWidth, 7, 1);
}

double BatchSliceWidth(Workspace& ws) {
    ws.SliceWidth = AcceptedSliceWidth(ParseNumber(ws.FSetup.ESliceWidth));
    return ws.SliceWidth;
}

void WriteSectorSlices(Workspace& ws, Host& host) {
    const double width = BatchSliceWidth(ws);
    const std::vector<int64_t> sums = PsiSliceSums(ws.FramePixels, UsedWidth(ws), UsedHeight(ws),
                                                   ws.SectorTwoTheta1, ws.SectorTwoTheta2, width);
    const std::string line = SliceLine(FileNameOnly(ws.CurrentFile), sums);
    const std::string path = ws.FSetup.EExperiment + ".slc";
    RefuseFrameOverwrite(ws, path);
    if (FileExists(path))
        AppendTextLine(path, line);
    else
        WriteTextLines(path, {SliceFileHeader(ws.SectorTwoTheta1, ws.SectorTwoTheta2, width), line});
    host.changed(View::Settings);
}

void Integratesectorslides1Click(Workspace& ws, Host& host, const std::optional<std::string>& answer) {
    if (const std::string refusal = SectorBandRefusal(ws); !refusal.empty()) {
        host.message(refusal);
        return;
    }
    if (!answer || answer->find_first_not_of(' ') == std::string::npos) return;
    double width = 0;
    if (!TryParseNumber(*answer, width)) {
        host.message(ConversionError(*answer).what());
        return;
    }
    bool valid = false;
    for (double w : {1.0, 2.5, 5.0, 10.0, 20.0}) valid = valid || std::fabs(width - w) < 0.001;
    if (!valid) {
        host.message("Invalid value; default value of 5 used !");
        width = 5;
    }
    const std::string header = InteractiveSliceHeader(ws.SectorTwoTheta1, ws.SectorTwoTheta2, width);
    Log(ws, host, header);
    const std::vector<int64_t> sums = PsiSliceSums(ws.FramePixels, UsedWidth(ws), UsedHeight(ws),
                                                   ws.SectorTwoTheta1, ws.SectorTwoTheta2, width);
    const std::string name = FileNameOnly(ws.CurrentFile);
    try {
        RefuseFrameOverwrite(ws, ws.FSetup.EExperiment + ".slc");
        WriteTextLines(ws.FSetup.EExperiment + ".slc", {header, SliceLine(name, sums)});
    } catch (const FileError& e) {
        host.message(e.what());
        return;
    }
    std::string logged = name + " ";
    for (size_t k = 0; k < sums.size(); ++k) logged += (k ? " " : "") + std::to_string(sums[k]);
    Log(ws, host, logged);
}

// ---- Line scans ---------------------------------------------------------------

namespace {

LineScanResult LineScan(Workspace& ws, Host& host, bool alongX, int32_t index) {
    LineScanResult result;
    if (!ws.FrameIsLoaded()) {
        host.message("Need to open a file first");
        return result;
    }
    const int32_t width = UsedWidth(ws), height = UsedHeight(ws);
    const int32_t length = alongX ? width : height;     // values along the line
    const int32_t across = alongX ? height : width;     // rows (columns) summed
    result.Caption = (alongX ? " X  Line Scan at Y = " : " Y  Line Scan at X = ") + std::to_string(index);
    ws.LineScanAlongX = alongX ? 1 : 0;
    ws.LineScanAlongY = alongX ? 0 : 1;
    ws.LineMark2 = std::min(ws.LineMark2, static_cast<double>(length));
    const int32_t w = ws.LineScanWidth > 0 ? ws.LineScanWidth : 1;
    const int64_t first = std::max<int64_t>(int64_t{index} - w, 1);
    const int64_t last = std::min<int64_t>(int64_t{index} + w, across);
    const double divisor = 2.0 * w + 1.0;
    ws.LineScanData.assign(static_cast<size_t>(std::max(length, 0)) + 1, 0.0);
    const FramePlane<int32_t>& intensity = ws.FramePixels.Intensity;
    const unsigned workers = ParallelWorkerCount(int64_t{length} * std::max<int64_t>(last - first + 1, 1), 1 << 16);
    ParallelFor(1, length, workers, [&](unsigned, int32_t lo, int32_t hi) {
        for (int32_t i = lo; i <= hi; ++i) {
            int64_t sum = 0;
            for (int64_t k = first; k <= last; ++k) {
                const int32_t v = alongX ? intensity[i][static_cast<int32_t>(k)] : intensity[static_cast<int32_t>(k)][i];
                if (v != MaskedIntensity) sum += v;
            }
            ws.LineScanData[static_cast<size_t>(i)] = static_cast<double>(sum) / divisor;
        }
    });
    bool any = false;
    for (int32_t i = 1; i <= length; ++i) {
        if (!(i > ws.LineMark1 && i < ws.LineMark2)) continue;
        const double v = ws.LineScanData[static_cast<size_t>(i)];
        result.Smallest = any ? std::min(result.Smallest, v) : v;
        result.Largest = any ? std::max(result.Largest, v) : v;
        any = true;
    }
    result.Made = true;

    // A white line across the frame picture where the scan was taken.
    const double g = DisplayPixelScale(ws);
    RgbImage& picture = ws.Form1.Image1;
    if (g > 0) {
        const int32_t at = RoundToInt(index / g);
        if (alongX)
            for (int32_t x = 0; x < picture.Width; ++x) picture.Set(x, at, WhiteColor);
        else
            for (int32_t y = 0; y < picture.Height; ++y) picture.Set(at, y, WhiteColor);
        ShowFramePicture(ws, host);
    }
    Log(ws, host, result.Caption + ";  largest = " + FormatNumber(result.Largest) + ";  smallest = " +
                      FormatNumber(result.Smallest));
    return result;
}

} // namespace

LineScanResult XLineScan(Workspace& ws, Host& host, int32_t y) { return LineScan(ws, host, true, y); }
LineScanResult YLineScan(Workspace& ws, Host& host, int32_t x) { return LineScan(ws, host, false, x); }

LineScanResult LineScanCommand(Workspace& ws, Host& host, bool alongX, const std::optional<std::string>& widthAnswer) {
    if (!ws.FrameIsLoaded()) {
        host.message("Need to open a file first");
        return {};
    }
    double centre = 0, width = 1;
    const std::string& box = alongX ? ws.Form32.EYoM : ws.Form32.EXoM;
    const std::string typed = widthAnswer ? *widthAnswer : std::string("1");
    if (!TryParseNumber(box, centre)) {
        host.message(ConversionError(box).what());
        return {};
    }
    if (!TryParseNumber(typed, width)) {
        host.message(ConversionError(typed).what());
        return {};
    }
    const int32_t size = alongX ? ws.FrameHeight : ws.FrameWidth;
    // Every value is divided by 2w + 1: a width beyond the frame would only
    // shrink the profile towards zero.
    if (width > size) {
        host.message("Width (pixels): " + typed + " is more than the frame's " + std::to_string(size) +
                     (alongX ? " rows" : " columns"));
        return {};
    }
    if (centre <= 0 || centre >= size) centre = size / 2;
    ws.LineScanIndex = RoundToInt(centre);
    ws.LineMark1 = 1;
    ws.LineMark2 = alongX ? ws.FrameWidth : ws.FrameHeight;
    ws.LineScanWidth = RoundToInt(width);
    // The line of an earlier scan goes.
    ws.Form1.Image1 = ws.Form1.Image2;
    return alongX ? XLineScan(ws, host, ws.LineScanIndex) : YLineScan(ws, host, ws.LineScanIndex);
}

void SetUpSectorReductions(Workspace& ws) {
    ws.Batch.IntegrateSector = [](Workspace& w, Host& h) { Integrate1Click(w, h); };
    ws.Batch.CalculateDSpacing = [](Workspace& w, Host&) { CalculateDSpacing(w); };
    ws.Batch.WriteSectorSlices = [](Workspace& w, Host& h) { WriteSectorSlices(w, h); };
}

} // namespace orv

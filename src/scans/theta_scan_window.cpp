#include "scans/theta_scan_window.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "scans/scan_analysis.h"
#include "scans/standard_overlay.h"
#include "workspace/frame_display.h"
#include "workspace/host.h"
#include "base/numbers.h"
#include "workspace/run_report.h"
#include "workspace/scan_writers.h"
#include "workspace/sector_dialog.h"
#include "workspace/sector_overlay.h"
#include "workspace/sector_scan.h"
#include "workspace/text_files.h"
#include "workspace/workspace.h"
#include "scans/key_codes.h"

namespace orv {

namespace {

constexpr TColor MarkBlue = RGBColor(0, 0, 255);
constexpr TColor RingGreen = RGBColor(0, 255, 0);
constexpr uint8_t MarkerCircle = 17;
constexpr double DirectBeamLimit = 1.1;   // degrees: no peak is reported at or below it

// The scan's last point, never beyond the row.
int32_t LastPoint(const Workspace& ws) { return std::clamp(ws.SectorScanPoints, 0, MaxScanPoints); }

const ProfilePoint& Point(const Workspace& ws, int32_t k) { return ws.SectorScan[std::clamp(k, 0, LastPoint(ws))]; }

// A bin of the frame's profile, kept inside the row.
const ProfilePoint& ProfileBin(const Workspace& ws, int32_t k) {
    return ws.FrameProfileCopy[std::clamp(k, 0, ProfileLength - 1)];
}

std::string Fixed3(double v) { return FormatFixed(v, 3); }

// Whether slot `peak` is reported: above the direct beam and, when asked,
// strictly inside the sector's 2-theta limits.
bool Reported(const Workspace& ws, const PeakRecord& peak, bool onlyInSector) {
    const double t = Point(ws, peak.Index).TwoTheta;
    if (t <= DirectBeamLimit) return false;
    return !onlyInSector || (t > ws.SectorTwoTheta1 && t < ws.SectorTwoTheta2);
}

// The sums of a marked range: points 1..n with lo <= 2-theta <= hi.
RangeStats MeasureRange(const Workspace& ws, double lo, double hi) {
    RangeStats r;
    for (int32_t k = 1, last = LastPoint(ws); k <= last; ++k) {
        const ProfilePoint& p = ws.SectorScan[k];
        if (p.TwoTheta >= lo && p.TwoTheta <= hi) r.Add(p.Intensity, p.TwoTheta);
    }
    return r;
}

void MarkOverviewRange(Workspace& ws, double lo, double hi) {
    ws.Form2.RChart2.CrossHair1().SetPosX(lo);
    ws.Form2.RChart2.CrossHair2().SetPosX(hi);
}

void Changed(Host& host) { host.changed(View::Scan); }

} // namespace

int32_t ThetaPointAt(const Workspace& ws, double x) {
    const int32_t last = LastPoint(ws);
    if (last < 1) return last;
    int32_t k = 1;
    for (int32_t j = 1; j <= last && ws.SectorScan[j].TwoTheta <= x; ++j) k = j;
    return k;
}

// ---- Peaks ----------------------------------------------------------------

std::string ThetaPeakListPath(const Workspace& ws) {
    return JoinPath(ws.OutputDir, FileNameOnly(ws.CurrentFile) + ".TPK");
}

std::vector<std::string> ThetaPeakListLines(const Workspace& ws, const PeakTable& table, bool onlyInSector) {
    std::vector<std::string> lines{"2Th Scan sector from Psi = " + FormatFixedWidth(ws.SectorPsi1, 5, 3) + "  to  " +
                                       FormatFixedWidth(ws.SectorPsi2, 5, 3),
                                   ws.FSetup.EExperiment, "Peak list",
                                   "#  2Theta  d-spacing  Intensity  Area    Width"};
    for (size_t s = 0; s < table.size(); ++s) {
        const PeakRecord& peak = table[s];
        if (!Reported(ws, peak, onlyInSector)) continue;
        const double t = Point(ws, peak.Index).TwoTheta;
        lines.push_back(FormatIntWidth(static_cast<long long>(s) + 1, 11) + FormatFixedColumn(t, 8, 3) +
                        FormatFixedColumn(DSpacing(ws.Landa, t), 8, 3) + FormatFixedColumn(peak.Intensity, 8, 3) +
                        FormatFixedColumn(peak.Area, 8, 3) + FormatFixedColumn(peak.Width, 8, 3));
    }
    return lines;
}

void ReportThetaPeaks(Workspace& ws, Host& host, const PeakTable& table, bool onlyInSector) {
    PlotScanChart1(ws);
    TRChart& chart = ws.Form2.RChart1;
    bool first = true;
    for (size_t s = 0; s < table.size(); ++s) {
        const PeakRecord& peak = table[s];
        if (!Reported(ws, peak, onlyInSector)) continue;
        if (first) {
            ws.LLog.Append("Peak list");
            ws.LLog.Append("#  2Theta  d-spacing  Intensity   Area     Width");
            first = false;
        }
        const double t = Point(ws, peak.Index).TwoTheta;
        chart.SetDataColor(MarkBlue);
        chart.AddMarker(MarkerCircle, t, 1.1 * peak.Intensity);
        ws.LLog.Append(std::to_string(s + 1) + "    " + Fixed3(t) + "    " + Fixed3(DSpacing(ws.Landa, t)) + "     " +
                       Fixed3(peak.Intensity) + "    " + Fixed3(peak.Area) + "    " + Fixed3(peak.Width));
        if (ws.ViewIntegrate) {
            for (int32_t j = peak.LeftIndex; j <= peak.RightIndex; ++j) {
                const ProfilePoint& p = Point(ws, j);
                chart.MoveTo(p.TwoTheta, 0);
                chart.LineTo(p.TwoTheta, p.Intensity);
            }
        }
    }
    chart.ShowItems();
    host.changed(View::Logbook);
    Changed(host);
    // A search that reports no peak still replaces an older list: one left
    // from an earlier run would pass for this scan's.
    if (ws.FSetup.CB2ThScanPeaks) {
        const std::string path = ThetaPeakListPath(ws);
        RefuseFrameOverwrite(ws, path);
        WriteTextLines(path, ThetaPeakListLines(ws, table, onlyInSector));
    }
}

PeakTable FindThetaPeaks(Workspace& ws, Host& host, const TForm6& boxes) {
    const std::optional<PeakSearchParams> read = ReadPeakSearchBoxes(boxes, ws.TwoThetaStep, host);
    if (!read) return {};
    PeakSearchParams params = *read;
    const int32_t n = LastPoint(ws);
    // The direct beam's neighbourhood does not set the scan's height.
    params.TopFrom = n + 1;
    for (int32_t k = 1; k <= n; ++k)
        if (ws.SectorScan[k].TwoTheta > DirectBeamLimit) {
            params.TopFrom = k;
            break;
        }
    PeakWork work(static_cast<size_t>(n) + 1);
    for (int32_t k = 0; k <= n; ++k) work[k] = ws.SectorScan[k].Intensity;
    PeakTable table = SearchScanPeaks(work, params);
    ws.PeakCount = static_cast<int32_t>(table.size());
    ws.ScanStage = 2;
    ReportThetaPeaks(ws, host, table, boxes.CBSelect);
    return table;
}

// ---- Background -----------------------------------------------------------

ThetaBands MeasureThetaBands(const Workspace& ws) {
    ThetaBands bands;
    const int32_t n = LastPoint(ws);
    if (n >= 40) {
        double best = -std::numeric_limits<double>::infinity();
        for (int32_t c = 20; c <= n - 20; ++c) {
            const double sum = static_cast<double>(ws.SectorScan[c - 1].Intensity) + ws.SectorScan[c].Intensity +
                               ws.SectorScan[c + 1].Intensity;
            if (sum > best) {
                best = sum;
                bands.MaxAngle = ws.SectorScan[c].TwoTheta;
            }
        }
    }
    bands.Offset = std::fabs(bands.MaxAngle - 13.1) <= 1 ? bands.MaxAngle - 13.1 : 0;
    static constexpr double Limits[6][2] = {{9.4, 11.3},  {11.9, 14.5}, {15.1, 16.7},
                                            {16.7, 18.3}, {18.3, 20.0}, {20.1, 22.5}};
    for (int32_t k = 0; k <= n; ++k) {
        const double t = ws.SectorScan[k].TwoTheta;
        for (int b = 0; b < 6; ++b)
            if (t > bands.Offset + Limits[b][0] && t < bands.Offset + Limits[b][1])
                bands.Sums[b] += ws.SectorScan[k].Intensity;
    }
    return bands;
}

std::string IntensitiesLine(const Workspace& ws, const ThetaBands& bands) {
    std::string line = FileNameOnly(ws.CurrentFile);
    for (double sum : bands.Sums) line += " " + FormatFixedWidth(sum, 10, 0);
    return line;
}

bool RemoveThetaBackground(Workspace& ws, Host& host, const TForm7& boxes) {
    const std::optional<RollSettings> roll = ReadRollBoxes(boxes, ws.TwoThetaStep, host);
    if (!roll) return false;
    const int32_t n = LastPoint(ws);
    PeakWork work(static_cast<size_t>(n) + 1);
    for (int32_t k = 0; k <= n; ++k) work[k] = ws.SectorScan[k].Intensity;
    const RollingBackgroundSums sums = RemoveRollingBackground(work, roll->HalfWidth, roll->Height);
    for (int32_t k = 0; k <= n; ++k) ws.SectorScan[k].Intensity = static_cast<float>(work[k]);

    const ThetaBands bands = MeasureThetaBands(ws);
    try {
        const std::string bandFile = IntensitiesFilePath(ws);
        if (!bandFile.empty()) {
            RefuseFrameOverwrite(ws, bandFile);
            AppendTextLine(bandFile, IntensitiesLine(ws, bands));
        }
    } catch (const FileError& e) {
        host.message(e.what());
    }
    ws.LLog.Append("maxAng = " + Fixed3(bands.MaxAngle));
    // The plots' height follows the background-free scan.
    float low = std::numeric_limits<float>::infinity(), high = 0;
    for (int32_t k = 0; k <= n; ++k) {
        const ProfilePoint& p = ws.SectorScan[k];
        if (p.TwoTheta > ws.SectorTwoTheta1 && p.TwoTheta < ws.SectorTwoTheta2) {
            low = std::min(low, p.Intensity);
            high = std::max(high, p.Intensity);
        }
    }
    if (std::isfinite(low)) {
        ws.ScanMinIntensity = low;
        ws.ScanMaxIntensity = high;
    }
    PlotScanChart2(ws);
    PlotScanChart1(ws);
    ScanLog(ws, host,
            "Background removed; Total intensity of peaks = " + FormatFixed(RoundHalfEven(sums.PeakSum), 0) +
                " Background = " + FormatFixed(RoundHalfEven(sums.BackgroundSum), 0));
    ws.ScanStage = 1;
    Changed(host);
    return true;
}

// ---- The window's other commands ---------------------------------------------

void ThetaZoomOut(Workspace& ws, bool fromMenu) {
    const double m = fromMenu ? ws.ProfileMinIntensity : ws.ScanMinIntensity;
    ws.Form2.RChart1.SetLayerRange(1, 0, std::min(0.0, 1.1 * m), Point(ws, LastPoint(ws)).TwoTheta,
                                   1.1 * ws.ScanMaxIntensity);
    // The whole scan is shown: the range marks leave the strip.
    MarkOverviewRange(ws, 360, 360);
}

void ThetaZoomIn(Workspace& ws, const TForm5& boxes) {
    double lo = ParseNumber(boxes.EXMin), hi = ParseNumber(boxes.EXmax);
    double yLow = 0, yHigh = 0;
    if (!boxes.CBAMax) {
        yLow = ParseNumber(boxes.EYMin);
        yHigh = ParseNumber(boxes.EYMax);
    }
    if (hi < lo) std::swap(lo, hi);
    if (boxes.CBAMax) {
        const RangeStats r = MeasureRange(ws, lo, hi);
        yLow = std::min(r.Smallest, 0.0);
        // Room for the marks of the peaks in the range.
        yHigh = TopAboveMarkers(ws.Form2.RChart1, lo, hi, yLow, r.Largest);
    }
    ws.Form2.RChart1.SetLayerRange(1, lo, yLow, hi, yHigh);
    MarkOverviewRange(ws, lo, hi);
}

void ShowThetaBackground(Workspace& ws) {
    TRChart& chart = ws.Form2.RChart1;
    chart.SetDataColor(clRed);
    chart.MoveTo(0, 0);
    for (int32_t k = 1, last = LastPoint(ws); k <= last; ++k)
        chart.LineTo(ws.SectorScan[k].TwoTheta, ws.SectorScanBackup[k].Intensity - ws.SectorScan[k].Intensity);
    chart.ShowItems();
}

void UnselectThetaPeaks(Workspace& ws) {
    PlotScanChart1(ws);
    ws.PeakCount = 0;
}

void UndoThetaBackground(Workspace& ws, Host& host) {
    N2ThetaScan1Click(ws, host);
    ws.PeakCount = 0;
    ScanLog(ws, host, "Undo background");
}

void SelectFullAngularRange(Workspace& ws, Host& host) {
    // The full angular range is an angular sector, even after a rectangle:
    // the psi scan and the psi peak list then take it.
    ws.FMask.CBRectangle = false;
    ws.FMask.EPsi1 = "0";
    ws.FMask.EPsi2 = "360";
    FMaskBFRangeClick(ws);
    host.changed(View::Settings);
    FMaskButton1Click(ws, host);
}

void ThetaKeyDown(Workspace& ws, int key) {
    FrameToolState& keys = ws.FrameTools;
    keys.KeyHeld = true;
    if (key == keycode::A) keys.KeyAHeld = true;
    if (key == keycode::Z) keys.KeyZHeld = true;
    if (key == keycode::S) keys.KeySHeld = true;
}

void ThetaKeyUp(Workspace& ws, int key) {
    FrameToolState& keys = ws.FrameTools;
    keys.KeyHeld = false;
    if (key == keycode::A) keys.KeyAHeld = false;
    if (key == keycode::Z) keys.KeyZHeld = false;
    if (key == keycode::S) keys.KeySHeld = false;
    ws.Form2.RChart1.CrossHair3().SetPosX(0);
    ws.Form2.RChart1.CrossHair4().SetPosX(0);
}

void ThetaMouseMove(Workspace& ws, Host& host, double x) {
    ws.Form2.RChart1.CrossHair1().SetPosX(x);
    const int32_t k = ThetaPointAt(ws, x);
    if (ws.FrameProfileShown && ws.FrameIsLoaded()) {
        DrawTwoThetaBandZoom(ws, RingGreen, ProfileBin(ws, k).TwoTheta);
        ShowFramePicture(ws, host);
    }
    std::string caption;
    if (x >= ws.TwoThetaStep / 2.0)
        caption = "2Theta = " + Fixed3(x) + ", d = " + Fixed3(DSpacing(ws.Landa, x)) +
                  ", I = " + FormatFixed(Point(ws, k).Intensity, 1);
    ws.Form2.RChart1.SetCaption(caption);
    if (std::optional<std::string> line = StandardLineLabel(ws, x)) ws.Form2.Panel1 = std::move(*line);
}

namespace {

void HandMark(Workspace& ws, Host& host, int32_t k) {
    ++ws.PeakCount;
    const ProfilePoint& p = Point(ws, k);
    TRChart& chart = ws.Form2.RChart1;
    chart.SetDataColor(MarkBlue);
    chart.AddMarker(MarkerCircle, p.TwoTheta, 1.1 * p.Intensity);
    chart.ShowItems();
    if (p.TwoTheta > 0)
        ScanLog(ws, host, std::to_string(ws.PeakCount) + "    " + Fixed3(p.TwoTheta) + "    " +
                              Fixed3(DSpacing(ws.Landa, p.TwoTheta)) + "     " + Fixed3(p.Intensity));
}

void MarkAt(Workspace& ws, Host& host, int32_t k, double x) {
    ws.MarkIndex = k;
    ws.MarkSet = 1;
    ws.Form2.RChart1.CrossHair2().SetPosX(x);
    if (ws.FrameIsLoaded()) {
        // The ring goes onto the clean picture, which then keeps it.
        ws.Form1.Image1 = ws.Form1.Image2;
        DrawTwoThetaBand(ws, std::clamp(k, 0, ProfileLength - 1), clRed, 0, 360);
        ws.Form1.Image2 = ws.Form1.Image1;
        ShowFramePicture(ws, host);
        const double t = ProfileBin(ws, k).TwoTheta;
        ScanLog(ws, host, "Mark At 2Theta = " + Fixed3(t) + ", d = " + Fixed3(DSpacing(ws.Landa, t)));
    }
    ws.FrameTools.KeyHeld = false;
}

void RangeClick(Workspace& ws, Host& host, double x) {
    FrameToolState& keys = ws.FrameTools;
    TRChart& chart = ws.Form2.RChart1;
    chart.CrossHair4().SetPosX(ws.RangeFirstClick);
    if (ws.RangeClickCount == 0) {
        ws.RangeClickCount = 1;
        chart.CrossHair3().SetPosX(0);
        ws.RangeFirstClick = x;
        chart.CrossHair4().SetPosX(x);
        return;
    }
    ws.MarkedTwoTheta1 = ws.RangeFirstClick;
    ws.MarkedTwoTheta2 = x;
    chart.CrossHair3().SetPosX(x);
    ws.RangeClickCount = 0;
    ws.RangeFirstClick = 0;
    if (ws.MarkedTwoTheta1 > ws.MarkedTwoTheta2) std::swap(ws.MarkedTwoTheta1, ws.MarkedTwoTheta2);
    const double lo = ws.MarkedTwoTheta1, hi = ws.MarkedTwoTheta2;
    const RangeStats r = MeasureRange(ws, lo, hi);
    const double fwhm = ws.TwoThetaStep * r.Sum / r.Largest;
    const double span = hi - lo;
    if (keys.KeyAHeld) {
        MarkOverviewRange(ws, lo, hi);
        ws.SectorTwoTheta1 = static_cast<float>(lo);
        ws.SectorTwoTheta2 = static_cast<float>(hi);
        ws.FMask.EPsi1 = "0";
        ws.FMask.EPsi2 = "360";
        ws.FMask.Eth1 = Fixed3(lo);
        ws.FMask.Eth2 = Fixed3(hi);
        // The range is the sector now; clicks towards one on the frame no
        // longer count (the frame is drawn afresh below).
        ws.FrameTools.SectorClicks = 0;
        host.changed(View::Settings);
        ScanLog(ws, host, "peak at " + Fixed3(r.LargestAt) + " IntMax = " + Fixed3(r.Largest) + " Area = " +
                              Fixed3(r.Sum) + " FWHM = " + Fixed3(fwhm) + " PsiL-PsiR = " + Fixed3(span));
        if (ws.FrameIsLoaded()) {
            RenderFrame(ws);
            ws.RectangularSector = 0;
            // The dialog shows the angular sector in force, so that its
            // next Apply keeps it.
            ws.FMask.CBRectangle = false;
            DrawSectorOverlay(ws, host);
            ShowFramePicture(ws, host);
            host.changed(View::Sector);
            // A wide range is a new sector worth a new scan.
            if (std::fabs(span) > 5) N2ThetaScan1Click(ws, host);
        } else {
            ws.RectangularSector = 0;
        }
        ScanLog(ws, host,
                "Angular sector = " +
                    SectorLimitsText(ws.SectorTwoTheta1, ws.SectorPsi1, ws.SectorTwoTheta2, ws.SectorPsi2));
    }
    if (keys.KeyZHeld) {
        const double bottom = std::min(r.Smallest, 0.0);
        chart.SetLayerRange(1, lo, bottom, hi, TopAboveMarkers(chart, lo, hi, bottom, 1.1 * r.Largest));
        MarkOverviewRange(ws, lo, hi);
    }
}

} // namespace

void ThetaMouseDown(Workspace& ws, Host& host, double x) {
    FrameToolState& keys = ws.FrameTools;
    ws.ChartClicked = 1;
    const int32_t k = ThetaPointAt(ws, x);
    if (keys.KeySHeld) {
        // 'S' belongs to the standard overlay.
    } else if (keys.KeyAHeld || keys.KeyZHeld) {
        RangeClick(ws, host, x);
    } else if (keys.KeyHeld) {
        MarkAt(ws, host, k, x);
    } else {
        HandMark(ws, host, k);
    }
    keys.KeyAHeld = keys.KeyZHeld = keys.KeySHeld = false;
    ws.ChartClicked = 0;
    Changed(host);
}

// ---- ".ths" scans ---------------------------------------------------------------

bool InstallThetaScan(Workspace& ws, Host& host, const TwoThetaScanFile& scan, const std::string& name) {
    const std::vector<ProfilePoint>& points = scan.Points;
    const size_t rows = points.size();
    if (rows == 0) {
        host.message(name + " holds no scan points");
        return false;
    }
    if (rows > static_cast<size_t>(MaxScanPoints) + 1) {
        host.message(name + " holds more than " + std::to_string(MaxScanPoints + 1) + " scan points");
        return false;
    }
    // The step from the rows: the header keeps only three decimals.
    double step = scan.TwoThetaStep;
    if (rows > 1)
        step = (static_cast<double>(points.back().TwoTheta) - points.front().TwoTheta) / static_cast<double>(rows - 1);
    bool increasing = std::isfinite(step) && step > 0;
    for (size_t k = 1; k < rows && increasing; ++k) increasing = points[k].TwoTheta > points[k - 1].TwoTheta;
    for (size_t k = 0; k < rows && increasing; ++k)
        increasing = std::isfinite(points[k].TwoTheta) && std::isfinite(points[k].Intensity);
    if (!increasing) {
        host.message(name + " is not a 2Theta scan: its angles do not increase");
        return false;
    }
    if (!(scan.Landa > 0) || !std::isfinite(scan.Landa)) {
        host.message(name + ": the wavelength is not a positive number");
        return false;
    }

    const int32_t last = static_cast<int32_t>(rows) - 1;
    for (int32_t k = 0; k < ProfileLength; ++k) {
        ProfilePoint& p = ws.SectorScan[k];
        if (k <= last) {
            p = points[static_cast<size_t>(k)];
        } else {
            p.Intensity = 0;
            p.TwoTheta = static_cast<float>(points.back().TwoTheta + (k - last) * step);
        }
        p.Count = 0;
    }
    ws.SectorScanPoints = last;
    ws.TwoThetaStep = static_cast<float>(step);
    ws.Landa = scan.Landa;
    ws.Form2.Caption = "2Theta Scan of " + FileNameOnly(name);
    float low = std::numeric_limits<float>::infinity(), high = -std::numeric_limits<float>::infinity();
    for (int32_t k = 0; k <= last; ++k) {
        low = std::min(low, ws.SectorScan[k].Intensity);
        high = std::max(high, ws.SectorScan[k].Intensity);
    }
    ws.ScanMinIntensity = low;
    ws.ScanMaxIntensity = high;
    ws.SectorScanBackup = ws.SectorScan;
    ws.ScanBackgroundRemoved = 0;
    ws.SectorTwoTheta1 = ws.SectorScan[0].TwoTheta;
    ws.SectorTwoTheta2 = ws.SectorScan[last].TwoTheta;
    ws.Form2.RChart1.SetLayerRange(1, ws.SectorTwoTheta1, std::min(0.0, 1.1 * low), ws.SectorTwoTheta2, 1.1 * high);
    PlotScanChart2(ws);
    PlotScanChart1(ws);
    ws.Form2.Visible = true;
    ws.PeakCount = 0;
    host.changed(View::Sector);
    Changed(host);
    return true;
}

bool OpenThetaScanFile(Workspace& ws, Host& host, const std::string& path) {
    TwoThetaScanFile scan;
    try {
        scan = ReadTwoThetaScanFile(path);
    } catch (const FileError& e) {
        host.message(e.what());
        return false;
    } catch (const ConversionError& e) {
        host.message(FileNameOnly(path) + ": " + e.what());
        return false;
    }
    return InstallThetaScan(ws, host, scan, path);
}

} // namespace orv

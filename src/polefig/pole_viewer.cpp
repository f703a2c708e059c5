#include "polefig/pole_viewer.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "polefig/pole_files.h"
#include "workspace/host.h"
#include "base/numbers.h"
#include "workspace/run_report.h"
#include "workspace/text_files.h"
#include "workspace/workspace.h"

namespace orv {

namespace {

constexpr double Pi = 3.14159265358979323846;
constexpr double Degree = Pi / 180.0;
constexpr uint32_t Black = MakeColor(0, 0, 0);
constexpr uint32_t MarkerCircleColor = MakeColor(0, 0, 255);
constexpr uint32_t MarkerLineColor = MakeColor(255, 0, 0);
const char* const PoleFilter = "Slices files (*.slc)|*.slc|popLA files (*.?pf)|*.?PF|All files (*.*)|*.*";

void BlankPanel(RgbImage& image) { image.Reset(PolePanelSize, PolePanelSize, WhiteColor); }

// A straight line, both end pixels included.
void DrawLine(RgbImage& image, int x1, int y1, int x2, int y2, uint32_t color) {
    const int dx = std::abs(x2 - x1), sx = x1 < x2 ? 1 : -1;
    const int dy = -std::abs(y2 - y1), sy = y1 < y2 ? 1 : -1;
    int err = dx + dy;
    while (true) {
        image.Set(x1, y1, color);
        if (x1 == x2 && y1 == y2) break;
        const int e2 = 2 * err;
        if (e2 >= dy) { err += dy; x1 += sx; }
        if (e2 <= dx) { err += dx; y1 += sy; }
    }
}

// A circle's outline about (cx, cy).
void DrawCircle(RgbImage& image, int cx, int cy, int radius, uint32_t color) {
    if (radius <= 0) {
        image.Set(cx, cy, color);
        return;
    }
    int x = radius, y = 0, err = 1 - radius;
    while (x >= y) {
        for (auto [px, py] : {std::pair{x, y}, {y, x}, {-y, x}, {-x, y}, {-x, -y}, {-y, -x}, {y, -x}, {x, -y}})
            image.Set(cx + px, cy + py, color);
        ++y;
        if (err < 0) {
            err += 2 * y + 1;
        } else {
            --x;
            err += 2 * (y - x) + 1;
        }
    }
}

void Notify(Host& host) { host.changed(View::PoleFigures); }

// Whether the 5-degree commands may run; otherwise tells the user.
bool FiveDegreeSteps(const Workspace& ws, Host& host) {
    std::string message;
    if (PoleStepsAreFive(ws.Poles, message)) return true;
    host.message(message);
    return false;
}

void ClearProfileChart(TRChart& chart) {
    chart.ClearItems();
    chart.SetCaption("");
    chart.ShowItems();
}

// Empties a panel whose load failed, so that nothing of an earlier figure
// stays in it.
void EmptySlot(Workspace& ws, int slot) {
    PoleGridBlock& p = ws.Poles;
    p.PoleSlotFilled[static_cast<size_t>(slot)] = false;
    p.PoleFigure(slot).Clear();
    ws.FPoleF.panelp[static_cast<size_t>(slot - 1)].clear();
    BlankPanel(ws.FPoleF.Image[static_cast<size_t>(slot - 1)]);
    BlankPanel(ws.FPoleF.ImageClean[static_cast<size_t>(slot - 1)]);
}

void SetUpProfileChart(TRChart& chart, const std::string& axis, TColor markColor, TPenStyle fourthStyle) {
    chart.Scale1X().SetCaption(axis);
    auto set = [&](int n, TColor color, TPenStyle style, int layer) {
        TCrossHair& ch = chart.CrossHair(n);
        ch.SetColor(color);
        ch.SetLineType(style);
        ch.SetLayer(layer);
        ch.SetMode(chVert);
    };
    set(1, clBlack, psSolid, 1);
    set(2, markColor, psDot, 1);
    set(3, markColor, psDot, 1);
    set(4, clBlack, fourthStyle, 4);
    // Crosshair 1 follows the mouse.
    chart.OnMouseMoveInChart = [](TRChart& c, bool, TShiftState, double x, double) { c.CrossHair1().SetPosX(x); };
}

// The phi and psi profiles through the clicked pole, drawn from the working
// grid.
void DrawPoleProfiles(Workspace& ws, int psiDegrees, int phiDegrees) {
    TFPoleF& f = ws.FPoleF;
    const PoleGridBlock& p = ws.Poles;
    const int R = PoleRowCount(p.PolePhiStep);
    const int C = PoleColumnCount(p.PolePsiStep);
    const int column = std::clamp(TruncToInt(psiDegrees / p.PolePsiStep), 0, C);
    const int row = std::clamp(TruncToInt(phiDegrees / p.PolePhiStep), 0, R);

    auto start = [](TRChart& chart, TColor color) {
        chart.ClearItems();
        chart.SetCaption("");
        chart.CrossHair2().SetPosX(0);
        chart.CrossHair3().SetPosX(0);
        chart.SetDataColor(color);
        chart.MoveTo(0, 0);
    };
    TRChart& phiChart = f.RChart2;
    start(phiChart, clBlue);
    int32_t largest = 0;
    for (int r = 0; r < R; ++r) {
        const int32_t v = p.PoleGrid.at(r, column);
        phiChart.LineTo(r * p.PolePhiStep, v);
        largest = std::max(largest, v);
    }
    phiChart.SetLayerRange(1, 0, 0, 360, 1.1 * largest);
    phiChart.ShowItems();

    TRChart& psiChart = f.RChart1;
    start(psiChart, clRed);
    largest = 0;
    for (int c = 0; c <= C; ++c) {
        const int32_t v = p.PoleGrid.at(row, c);
        psiChart.LineTo(c * p.PolePsiStep, v);
        largest = std::max(largest, v);
    }
    psiChart.SetLayerRange(1, 0, 0, 90, 1.1 * largest);
    psiChart.ShowItems();
}

// Every loaded panel's clean copy takes the panel's picture.
void KeepCleanCopies(Workspace& ws) {
    for (size_t k = 0; k < PoleViewerSlots; ++k) ws.FPoleF.ImageClean[k] = ws.FPoleF.Image[k];
}

} // namespace

TFPoleF::TFPoleF() : PolePalette(MakePolePalette()) {
    for (auto& image : Image) BlankPanel(image);
    for (auto& image : ImageClean) BlankPanel(image);
    SetUpProfileChart(RChart1, "PSI (deg)", clRed, psDot);
    SetUpProfileChart(RChart2, "PHI (deg)", clBlue, psSolid);
}

// ---- Pure pieces --------------------------------------------------------------

std::vector<uint32_t> MakePolePalette() {
    std::vector<uint32_t> palette(PolePaletteLength);
    for (int i = 0; i < PolePaletteLength; ++i) {
        int r = 255 - i, g = 255 - i, b = 255;   // white to blue
        if (i >= 256) { r = i - 256; g = 0; b = 511 - i; }   // blue to red
        if (i >= 512) { r = 255; g = i - 512; b = 0; }       // red to yellow
        if (i >= 767) { r = 255; g = 255; b = i - 767; }     // yellow to white
        if (i >= 1024) r = g = b = 255;
        palette[static_cast<size_t>(i)] = MakeColor(std::clamp(r, 0, 255), std::clamp(g, 0, 255), std::clamp(b, 0, 255));
    }
    return palette;
}

void PixelToPsiPhi(int x, int y, int plotSize, double& psi, double& phi) {
    const int centre = plotSize / 2;
    const double dx = x - centre, dy = y - centre;
    psi = std::sqrt(dx * dx + dy * dy) * 180.0 / plotSize;
    const double t = std::atan2(dy, dx) / Degree;   // screen y grows downward
    phi = t >= 0 ? 360.0 - t : -t;
}

double PoleGridValue(const PoleGridArray& grid, double phi, double psi, double phiStep, double psiStep) {
    const int R = PoleRowCount(phiStep);
    const int C = PoleColumnCount(psiStep);
    const double p = phi / phiStep, q = psi / psiStep;
    const int i = TruncToInt(p), j = TruncToInt(q);
    const double m = p - i, o = q - j;
    // Past the closing row the turn goes on from row 1; past the last
    // column the rim repeats.
    auto row = [R](int k) { return std::clamp(k > R ? k - R : k, 0, R); };
    auto col = [C](int k) { return std::clamp(k, 0, C); };
    const double r = grid.at(row(i), col(j)), t = grid.at(row(i + 1), col(j));
    const double u = grid.at(row(i), col(j + 1)), v = grid.at(row(i + 1), col(j + 1));
    return r + m * (t - r) + o * (u - r) + m * o * (v + r - t - u);
}

int PoleColorIndex(double value, double maximum, bool tenLevels, bool logarithmic) {
    if (logarithmic) {
        value = std::log10(value + 1);
        maximum = std::log10(maximum);
    }
    double index = tenLevels ? 1024.0 * std::trunc(value * 11 / maximum) / 10 : value * 1024 / maximum;
    if (std::isnan(index)) index = 0;
    return static_cast<int>(std::trunc(std::clamp(index, 0.0, PolePaletteLength - 1.0)));
}

double AngleBetweenPoles(double psi1, double phi1, double psi2, double phi2) {
    auto axis = [](double psi, double phi) {
        return std::array<double, 3>{std::sin(psi * Degree) * std::cos(phi * Degree),
                                     std::sin(psi * Degree) * std::sin(phi * Degree), std::cos(psi * Degree)};
    };
    const auto a = axis(psi1, phi1), b = axis(psi2, phi2);
    const double e = std::clamp(a[0] * b[0] + a[1] * b[1] + a[2] * b[2], -1.0, 1.0);
    // The angle between the two axes, not between the two directions.
    return std::atan2(std::sqrt(1.0 - e * e), std::fabs(e)) / Degree;
}

void RenderPoleGrid(const PoleGridArray& grid, double phiStep, double psiStep, int plotSize, bool tenLevels,
                    bool logarithmic, const std::vector<uint32_t>& palette, RgbImage& image) {
    image.Reset(plotSize + 3, plotSize + 3, WhiteColor);
    const int32_t maximum = PoleGridMaximum(grid, PoleRowCount(phiStep), PoleColumnCount(psiStep));
    if (maximum <= 0 || palette.size() < static_cast<size_t>(PolePaletteLength)) return;
    for (int y = 1; y <= plotSize; ++y) {
        for (int x = 1; x <= plotSize; ++x) {
            double psi = 0, phi = 0;
            PixelToPsiPhi(x, y, plotSize, psi, phi);
            if (psi >= 90) continue;
            const double value = PoleGridValue(grid, phi, psi, phiStep, psiStep);
            image.Set(x, y, palette[static_cast<size_t>(PoleColorIndex(value, maximum, tenLevels, logarithmic))]);
        }
    }
    const int centre = plotSize / 2;
    DrawLine(image, centre, 0, centre, plotSize, Black);
    DrawLine(image, 0, centre, plotSize, centre, Black);
    for (int k = 1; k <= 3; ++k) DrawCircle(image, centre, centre, RoundToInt(k * 0.5 * plotSize / 3), Black);
}

// ---- The window's commands -------------------------------------------------------

void DrawPoleFigure(Workspace& ws, RgbImage& image) {
    TFPoleF& f = ws.FPoleF;
    const PoleGridBlock& p = ws.Poles;
    RenderPoleGrid(p.PoleGrid, p.PolePhiStep, p.PolePsiStep, f.PlotSize, ws.Form14.RadioButton1, f.Rloga,
                   f.PolePalette, image);
    f.panelout = std::to_string(p.PoleMax);
}

void ResetPoleViewer(Workspace& ws, Host& host) {
    TFPoleF& f = ws.FPoleF;
    for (auto& caption : f.panelp) caption.clear();
    for (auto& image : f.Image) BlankPanel(image);
    for (auto& image : f.ImageClean) BlankPanel(image);
    ClearProfileChart(f.RChart1);
    ClearProfileChart(f.RChart2);
    ws.Poles.PoleCount = 0;
    ws.Poles.PoleSlotFilled.fill(false);
    f.EPSI.clear();
    f.EPHI.clear();
    f.EPSI3.clear();
    f.EPHI3.clear();
    f.Eangle.clear();
    f.LitPoint = 0;
    Notify(host);
}

void PoleViewerShown(Workspace& ws, Host& host) {
    TFPoleF& f = ws.FPoleF;
    f.PlotSize = PolePlotSize;
    ws.Poles.PolePsiStep = ws.Poles.PolePhiStep = 5.0;
    ws.Poles.PoleCount = 0;
    ws.Poles.PoleSlotFilled.fill(false);
    f.PolePalette = MakePolePalette();
    Notify(host);
}

bool LoadPoleFigure(Workspace& ws, Host& host, int index, const std::string& path) {
    TFPoleF& f = ws.FPoleF;
    PoleGridBlock& p = ws.Poles;
    if (index < 0 || index > PoleViewerSlots) {
        host.message("Only four pole figures can be shown at a time");
        return false;
    }
    if (index == 0) {
        for (auto& caption : f.panelp) caption.clear();
        for (auto& image : f.Image) BlankPanel(image);
        ClearProfileChart(f.RChart1);
        ClearProfileChart(f.RChart2);
        f.EPSI.clear();
        f.EPHI.clear();
        f.EPSI3.clear();
        f.EPHI3.clear();
        f.Eangle.clear();
    }
    p.PoleFileLoaded = true;
    p.PoleSlot = index + 1;
    const int slot = p.PoleSlot;
    const bool loaded = IsPopLAPath(path) ? ReadPopLA(ws, host, path) : BuildPoleGrid(ws, host, path);
    if (!loaded) {
        if (slot <= PoleViewerSlots) EmptySlot(ws, slot);
        Notify(host);
        return false;
    }
    const std::string name = FileNameOnly(path);
    if (slot <= PoleViewerSlots) {
        const size_t k = static_cast<size_t>(slot - 1);
        f.panelp[k] = name;
        DrawPoleFigure(ws, f.Image[k]);
        p.PoleFigure(slot) = p.PoleGrid;
        f.ImageClean[k] = f.Image[k];
        p.PoleSlotFilled[static_cast<size_t>(slot)] = true;
        p.PoleCount = slot;
    } else {
        const int32_t plotSize = f.PlotSize;
        f.PlotSize = PolePreviewPlotSize;
        DrawPoleFigure(ws, f.Preview);
        f.PlotSize = plotSize;
    }
    ws.LLog.Append("pole figure " + name + " displayed");
    host.changed(View::Logbook);
    Notify(host);
    return true;
}

void OpenPoleFigures(Workspace& ws, Host& host, const std::vector<std::string>& paths) {
    if (paths.empty()) return;
    TFPoleF& f = ws.FPoleF;
    f.Button4Enabled = true;
    f.Edit2 = "0";
    ws.Poles.PoleCount = 0;
    ws.Poles.PoleSlotFilled.fill(false);
    for (auto& image : f.Image) BlankPanel(image);
    for (auto& image : f.ImageClean) BlankPanel(image);
    std::string skipped;
    for (size_t i = 0; i < paths.size(); ++i) {
        if (i < PoleViewerSlots) LoadPoleFigure(ws, host, static_cast<int>(i), paths[i]);
        else skipped += (skipped.empty() ? "" : ", ") + FileNameOnly(paths[i]);
    }
    if (!skipped.empty()) host.message("Only four pole figures can be shown at a time; not opened: " + skipped);
    Notify(host);
}

void Open1Click(Workspace& ws, Host& host) { OpenPoleFigures(ws, host, host.askOpenFileNames(PoleFilter, true)); }

void PolePanelMouseMove(Workspace& ws, Host& host, int panel, int x, int y) {
    (void)host;
    const PoleGridBlock& p = ws.Poles;
    if (!p.SlotHasFigure(panel)) return;
    TFPoleF& f = ws.FPoleF;
    double psi = 0, phi = 0;
    PixelToPsiPhi(x, y, f.PlotSize, psi, phi);
    if (psi >= 90) {
        f.panelout.clear();
        return;
    }
    const double value = PoleGridValue(p.PoleFigure(panel), phi, psi, p.PolePhiStep, p.PolePsiStep);
    const std::string psiText = std::to_string(RoundToInt(psi)), phiText = std::to_string(RoundToInt(phi));
    const std::string valueText = " I = " + std::to_string(RoundToInt(value));
    f.panelout = panel == 1 ? "psi = " + psiText + " phi = " + phiText + valueText
                            : "phi = " + phiText + " psi = " + psiText + valueText;
}

void PolePanelMouseDown(Workspace& ws, Host& host, int panel, int x, int y) {
    TFPoleF& f = ws.FPoleF;
    PoleGridBlock& p = ws.Poles;
    f.PoleClickX = x;
    f.PoleClickY = y;
    p.PoleSlot = panel;
    if (!p.SlotHasFigure(panel)) return;
    p.PoleScratch = p.PoleFigure(panel);
    p.PoleGrid = p.PoleFigure(panel);

    ++f.PoleClickCount;
    PixelToPsiPhi(x, y, f.PlotSize, f.PoleClickPsi, f.PoleClickPhi);
    const int a = RoundToInt(f.PoleClickPsi), b = RoundToInt(f.PoleClickPhi);

    // The marker: a circle of the pole's psi and a line towards its phi.
    const int centre = f.PlotSize / 2;
    const int radius = std::min(f.PlotSize / 2, RoundToInt(f.PlotSize * 0.5 * f.PoleClickPsi / 90));
    const int endX = RoundToInt(std::cos(f.PoleClickPhi * Degree) * f.PlotSize / 2 + centre);
    const int endY = RoundToInt(centre - std::sin(f.PoleClickPhi * Degree) * f.PlotSize / 2);
    for (int k = 1; k <= p.PoleCount; ++k) f.Image[static_cast<size_t>(k - 1)] = f.ImageClean[static_cast<size_t>(k - 1)];
    RgbImage& image = f.Image[static_cast<size_t>(panel - 1)];
    DrawCircle(image, centre, centre, radius, MarkerCircleColor);
    DrawLine(image, centre, centre, endX, endY, MarkerLineColor);

    if (f.PoleClickCount == 1) {
        f.EPHI = std::to_string(b);
        f.EPSI = std::to_string(a);
        f.LitPoint = 1;
    } else {
        f.EPHI3 = std::to_string(b);
        f.EPSI3 = std::to_string(a);
        f.LitPoint = 2;
        f.PoleClickCount = 0;
    }
    if (a < 90) DrawPoleProfiles(ws, a, b);
    Notify(host);
}

void PoleProfileMouseDown(Workspace& ws, Host& host, bool psiChart, int X, int Y) {
    TFPoleF& f = ws.FPoleF;
    const PoleGridBlock& p = ws.Poles;
    if (f.EPSI.empty()) return;
    TRChart& chart = psiChart ? f.RChart1 : f.RChart2;
    PoleProfilePick& pick = psiChart ? f.PsiPick : f.PhiPick;
    double x = 0, y = 0;
    chart.PixelToWorld(1, X, Y, x, y);
    const int32_t at = RoundToInt(x);
    chart.SetCaption((psiChart ? "Psi = " : "Phi = ") + std::to_string(at));
    if (pick.Count == 0) {
        chart.CrossHair3().SetPosX(0);
        chart.CrossHair2().SetPosX(x);
        pick.First = at;
        pick.Count = 1;
        Notify(host);
        return;
    }
    chart.CrossHair3().SetPosX(x);
    const int32_t lo = std::min(pick.First, at), hi = std::max(pick.First, at);
    const int R = PoleRowCount(p.PolePhiStep), C = PoleColumnCount(p.PolePsiStep);
    // The cells between the picks: columns of the clicked phi row on the psi
    // chart, rows of the clicked psi column on the phi chart.
    const double step = psiChart ? p.PolePsiStep : p.PolePhiStep;
    const int limit = psiChart ? C : R;
    const int fixed = psiChart ? std::clamp(TruncToInt(f.PoleClickPhi / p.PolePhiStep), 0, R)
                               : std::clamp(TruncToInt(f.PoleClickPsi / p.PolePsiStep), 0, C);
    const int first = std::clamp(TruncToInt(lo / step), 0, limit), last = std::clamp(TruncToInt(hi / step), 0, limit);
    int64_t area = 0;
    int32_t intMax = 1;
    for (int k = first; k <= last; ++k) {
        const int32_t v = psiChart ? p.PoleScratch.at(fixed, k) : p.PoleScratch.at(k, fixed);
        area += v;
        intMax = std::max(intMax, v);
    }
    const double fwhm = step * static_cast<double>(area) / intMax;
    const std::string text = "IntMax = " + std::to_string(intMax) + " Area = " + std::to_string(area) +
                             " FWHM = " + FormatFixed(fwhm, 1);
    chart.SetCaption(text);
    ws.LLog.Append((psiChart ? "Peak at PSI profile with " : "Peak at PHI Profile with ") + text);
    host.changed(View::Logbook);
    pick.Count = 0;
    Notify(host);
}

void AngleClick(Workspace& ws, Host& host) {
    TFPoleF& f = ws.FPoleF;
    if (f.EPSI.empty() || f.EPSI3.empty()) return;
    try {
        const double angle = AngleBetweenPoles(ParseInteger(f.EPSI), ParseInteger(f.EPHI), ParseInteger(f.EPSI3),
                                               ParseInteger(f.EPHI3));
        f.Eangle = FormatFixed(angle, 1);
    } catch (const ConversionError& e) {
        host.message(e.what());
        return;
    }
    Notify(host);
}

void RotatePoleFigures(Workspace& ws, Host& host, int direction) {
    TFPoleF& f = ws.FPoleF;
    PoleGridBlock& p = ws.Poles;
    if (p.PoleCount < 1 || !FiveDegreeSteps(ws, host)) return;
    int32_t total = 0;
    try {
        total = ParseInteger(f.Edit2);
    } catch (const ConversionError& e) {
        host.message(e.what());
        return;
    }
    f.Edit2 = std::to_string(int64_t{total} + (direction >= 0 ? 5 : -5));
    for (int k = 1; k <= p.PoleCount; ++k) {
        if (!p.SlotHasFigure(k)) continue;
        RotatePoleRows(p.PoleFigure(k), direction);
        p.PoleGrid = p.PoleFigure(k);
        DrawPoleFigure(ws, f.Image[static_cast<size_t>(k - 1)]);
    }
    KeepCleanCopies(ws);
    Notify(host);
}

void CorrectAbsorptionClick(Workspace& ws, Host& host) {
    TFPoleF& f = ws.FPoleF;
    PoleGridBlock& p = ws.Poles;
    if (p.PoleCount < 1 || !f.Button4Enabled || !FiveDegreeSteps(ws, host)) return;
    for (int k = 1; k <= p.PoleCount; ++k) {
        if (!p.SlotHasFigure(k)) continue;
        CorrectPoleAbsorption(p.PoleFigure(k));
        p.PoleGrid = p.PoleFigure(k);
        DrawPoleFigure(ws, f.Image[static_cast<size_t>(k - 1)]);
    }
    KeepCleanCopies(ws);
    f.Button4Enabled = false;
    Notify(host);
}

namespace {

bool AnyFigure(const PoleGridBlock& p) {
    for (int k = 1; k <= PoleViewerSlots; ++k)
        if (p.SlotHasFigure(k)) return true;
    return false;
}

bool WriteLines(const Workspace& ws, Host& host, const std::string& path, const std::vector<std::string>& lines) {
    try {
        RefuseFrameOverwrite(ws, path);
        WriteTextLines(path, lines);
        return true;
    } catch (const FileError& e) {
        host.message(e.what());
        return false;
    }
}

// The profiles are written from the clicked figure under its file name, or
// from the working grid under no title.
const PoleGridArray& ProfileGrid(Workspace& ws, std::string& title) {
    PoleGridBlock& p = ws.Poles;
    title.clear();
    if (p.SlotHasFigure(p.PoleSlot)) {
        p.PoleGrid = p.PoleFigure(p.PoleSlot);
        title = ws.FPoleF.panelp[static_cast<size_t>(p.PoleSlot - 1)];
    }
    return p.PoleGrid;
}

} // namespace

bool SavePoleFigures(Workspace& ws, Host& host, const std::string& path) {
    PoleGridBlock& p = ws.Poles;
    if (!FiveDegreeSteps(ws, host)) return false;
    if (!AnyFigure(p)) {
        host.message("No pole figure to save");
        return false;
    }
    std::vector<std::string> lines;
    std::vector<std::string> notes;
    for (int k = 1; k <= p.PoleCount; ++k) {
        if (!p.SlotHasFigure(k)) continue;
        p.PoleGrid = p.PoleFigure(k);
        p.PoleMax = p.PoleSlotMax[static_cast<size_t>(k)];
        const std::string& title = ws.FPoleF.panelp[static_cast<size_t>(k - 1)];
        PopLAFigure figure =
            FormatPopLAFigure(p.PoleGrid, title, ws.FPoleF.Ehkl[static_cast<size_t>(k - 1)], p.PoleMax);
        lines.insert(lines.end(), figure.Lines.begin(), figure.Lines.end());
        if (figure.FactorClamped)
            notes.push_back("popLA scale factor of " + title + " raised from 0 to 1: its maximum " +
                            std::to_string(p.PoleMax) + " is too large for the factor's field");
    }
    if (!WriteLines(ws, host, path, lines)) return false;
    for (const auto& note : notes) ws.LLog.Append(note);
    if (!notes.empty()) host.changed(View::Logbook);
    return true;
}

bool SavePsiProfile(Workspace& ws, Host& host, const std::string& path) {
    if (!FiveDegreeSteps(ws, host)) return false;
    std::string title;
    const PoleGridArray& grid = ProfileGrid(ws, title);
    return WriteLines(ws, host, path, PsiProfileLines(grid, title, ws.FPoleF.PoleClickPhi));
}

bool SavePhiProfile(Workspace& ws, Host& host, const std::string& path) {
    if (!FiveDegreeSteps(ws, host)) return false;
    std::string title;
    const PoleGridArray& grid = ProfileGrid(ws, title);
    return WriteLines(ws, host, path, PhiProfileLines(grid, title, ws.FPoleF.PoleClickPsi));
}

void SavePoleFigures1Click(Workspace& ws, Host& host) {
    if (!FiveDegreeSteps(ws, host)) return;
    if (!AnyFigure(ws.Poles)) {
        host.message("No pole figure to save");
        return;
    }
    const auto name = host.askSaveFileName("", "popLA files (*.epf)|*.EPF|All files (*.*)|*.*");
    if (name) SavePoleFigures(ws, host, WithExtension(*name, ".epf"));
}

void SavePsiProfile1Click(Workspace& ws, Host& host) {
    if (!FiveDegreeSteps(ws, host)) return;
    const auto name = host.askSaveFileName("", "PsiProfile(*.psp)|*.PSP|All files (*.*)|*.*");
    if (name) SavePsiProfile(ws, host, WithExtension(*name, ".psp"));
}

void SavePhiProfile1Click(Workspace& ws, Host& host) {
    if (!FiveDegreeSteps(ws, host)) return;
    const auto name = host.askSaveFileName("", "PhiProfile(*.php)|*.PHP|All files (*.*)|*.*");
    if (name) SavePhiProfile(ws, host, WithExtension(*name, ".php"));
}

bool PoleSettingsOK(Workspace& ws, Host& host) {
    if (const std::string problem = PhiAxisProblem(ws.Form14.EPhiAxis); !problem.empty()) {
        host.message(problem);
        return false;
    }
    ws.Form32.EPhiAxis = ws.Form16.EPhiAxis = ws.Form14.EPhiAxis;
    host.changed(View::Settings);
    return true;
}

} // namespace orv

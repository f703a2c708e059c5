#include "workspace/frame_tools.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "workspace/frame_display.h"
#include "workspace/host.h"
#include "base/numbers.h"
#include "workspace/sector_overlay.h"
#include "workspace/sector_scan.h"
#include "workspace/workspace.h"

namespace orv {

bool ScreenToFrame(const Workspace& ws, double x, double y, int32_t& column, int32_t& row) {
    const double g = DisplayPixelScale(ws);
    column = RoundToInt(x * g);
    row = RoundToInt(y * g);
    return column >= 1 && row >= 1 && column <= UsedColumns(ws) && row <= UsedRows(ws);
}

void EraseAt(Workspace& ws, int32_t x, int32_t y, int32_t column, int32_t row) {
    const int32_t size = ws.FrameTools.EraserSize;
    const int32_t half = RoundToInt(size * static_cast<double>(DisplayPixelScale(ws)));
    // Only frame pixels: the border cells stay as they are.
    const int32_t x1 = std::max(1, column - half), x2 = std::min(UsedColumns(ws), column + half);
    const int32_t y1 = std::max(1, row - half), y2 = std::min(UsedRows(ws), row + half);
    for (int32_t i = x1; i <= x2; ++i)
        for (int32_t j = y1; j <= y2; ++j) ws.FramePixels.Intensity[i][j] = MaskedIntensity;
    for (int32_t i = x - size; i <= x + size; ++i)
        for (int32_t j = y - size; j <= y + size; ++j) ws.Form1.Image1.Set(i, j, MaskedColor);
    ws.FrameTools.Erased = true;
    ws.Form1.PicturePending = true;
}

void FindRingPoint(const Workspace& ws, int32_t column, int32_t row, int32_t& pointColumn, int32_t& pointRow) {
    pointColumn = column;
    pointRow = row;
    int32_t brightest = 1;
    const int32_t x1 = std::max(1, column - 5), x2 = std::min(UsedColumns(ws), column + 5);
    const int32_t y1 = std::max(1, row - 5), y2 = std::min(UsedRows(ws), row + 5);
    for (int32_t i = x1; i <= x2; ++i) {
        for (int32_t j = y1; j <= y2; ++j) {
            const int32_t v = ws.FramePixels.Intensity[i][j];
            if (v > brightest) {
                brightest = v;
                pointColumn = i;
                pointRow = j;
            }
        }
    }
}

bool ProjectToFlatPlane(const Workspace& ws, const LabPoint& pixel, double& u, double& v) {
    if (!(pixel.Y > 0)) return false;
    u = static_cast<double>(pixel.X) * ws.FlatDistancePixels / pixel.Y;
    v = static_cast<double>(pixel.Z) * ws.FlatDistancePixels / pixel.Y;
    return true;
}

namespace {

// A dotted circle of radius 3 about (x, y) on Image1.
void DrawDottedCircle(Workspace& ws, int32_t x, int32_t y, uint32_t color) {
    constexpr double Pi = 3.14159265358979323846;
    for (int k = 0; k < 24; k += 2) {
        const double a = k * Pi / 12;
        ws.Form1.Image1.Set(x + RoundToInt(3 * std::cos(a)), y + RoundToInt(3 * std::sin(a)), color);
    }
}

} // namespace

bool PickRingPoint(Workspace& ws, int32_t column, int32_t row) {
    int32_t pc = column, pr = row;
    FindRingPoint(ws, column, row, pc, pr);
    double u = 0, v = 0;
    if (!ProjectToFlatPlane(ws, ws.FramePixels.Lab(pc, pr), u, v)) return false;
    ws.CurveFit1.AddPoint(u, v);
    // The table holds 500 points; the fit takes any number.
    if (ws.CentrePointCount < MaxCentrePoints) {
        ++ws.CentrePointCount;
        ws.CentrePoints[ws.CentrePointCount] = {RoundToInt(u), RoundToInt(v)};
    }
    const double g = DisplayPixelScale(ws);
    if (g > 0) DrawDottedCircle(ws, RoundToInt(pc / g), RoundToInt(pr / g), BlueColor);
    ws.Form1.PicturePending = true;
    return true;
}

namespace {

int32_t MeanOf(int32_t a, int32_t b) { return RoundToInt((static_cast<double>(a) + b) / 2.0); }

// The four clicks made: the sector becomes the rectangle x1, y1 - x2, y2,
// its corners in order as the scan uses them.
void SetRectangleSector(Workspace& ws) {
    FrameToolState& t = ws.FrameTools;
    TFMask& m = ws.FMask;
    if (t.SectorX2 < t.SectorX1) std::swap(t.SectorX1, t.SectorX2);
    if (t.SectorY2 < t.SectorY1) std::swap(t.SectorY1, t.SectorY2);
    ws.LLog.Append("Rectangular sector = " + std::to_string(t.SectorX1) + ", " + std::to_string(t.SectorY1) + ", " +
                   std::to_string(t.SectorX2) + ", " + std::to_string(t.SectorY2));
    m.CBRectangle = true;
    ws.RectangularSector = 1;
    m.EX1 = std::to_string(t.SectorX1);
    m.Ex2 = std::to_string(t.SectorX2);
    m.EY1 = std::to_string(t.SectorY1);
    m.EY2 = std::to_string(t.SectorY2);
    m.Eth1 = "0";
    m.Eth2 = "90";
    m.EPsi1 = "0";
    m.EPsi2 = "360";
    float largest = 0;
    for (int32_t x : {t.SectorX1, t.SectorX2})
        for (int32_t y : {t.SectorY1, t.SectorY2})
            if (ws.FramePixels.contains(x, y)) largest = std::max(largest, ws.FramePixels.Pixel(x, y).TwoTheta);
    ws.SectorTwoTheta1 = 0;
    ws.SectorTwoTheta2 = largest;
}

void SetAngularSector(Workspace& ws) {
    TFMask& m = ws.FMask;
    ws.RectangularSector = 0;
    m.CBRectangle = false;
    ws.LLog.Append("Angular sector = " + SectorLimitsText(ws.SectorTwoTheta1, ws.SectorPsi1, ws.SectorTwoTheta2, ws.SectorPsi2));
    m.Eth1 = FormatNumber(ws.SectorTwoTheta1);
    m.Eth2 = FormatNumber(ws.SectorTwoTheta2);
    m.EPsi1 = FormatNumber(ws.SectorPsi1);
    m.EPsi2 = FormatNumber(ws.SectorPsi2);
}

} // namespace

void SectorClick(Workspace& ws, Host& host, int32_t x, int32_t y, int32_t column, int32_t row) {
    FrameToolState& t = ws.FrameTools;
    const FramePixel p = ws.FramePixels.Pixel(column, row);
    // Clicks made with the other tool (the other key or button) do not count.
    const bool rectangle = t.KeySHeld || t.SBSelectRect;
    if (rectangle != t.ClickRectangle) AbandonSectorClicks(ws, host);
    DrawCross(ws, x, y);
    switch (t.SectorClicks) {
    case 0:
        t.ClickRectangle = rectangle;
        t.ClickTwoTheta1 = p.TwoTheta;
        t.SectorX1 = column;
        t.SectorY1 = row;
        t.SectorClicks = 1;
        break;
    case 1:
        t.ClickTwoTheta2 = p.TwoTheta;
        t.ClickPsi1 = p.Psi;
        t.SectorX2 = column;
        t.SectorY1 = MeanOf(t.SectorY1, row);
        t.SectorClicks = 2;
        break;
    case 2:
        t.ClickTwoTheta2 = (t.ClickTwoTheta2 + p.TwoTheta) / 2;
        t.ClickPsi2 = p.Psi;
        t.SectorY2 = row;
        t.SectorX2 = MeanOf(t.SectorX2, column);
        t.SectorClicks = 3;
        break;
    default:
        t.ClickTwoTheta1 = (t.ClickTwoTheta1 + p.TwoTheta) / 2;
        t.SectorY2 = MeanOf(t.SectorY2, row);
        t.SectorX1 = MeanOf(t.SectorX1, column);
        t.SectorClicks = 0;
        ws.SectorTwoTheta1 = std::min(t.ClickTwoTheta1, t.ClickTwoTheta2);
        ws.SectorTwoTheta2 = std::max(t.ClickTwoTheta1, t.ClickTwoTheta2);
        ws.SectorPsi1 = t.ClickPsi1;
        ws.SectorPsi2 = t.ClickPsi2;
        if (rectangle)
            SetRectangleSector(ws);
        else
            SetAngularSector(ws);
        t.SBSelectRect = false;
        t.SBSelectAng = false;
        host.changed(View::Logbook);
        host.changed(View::Sector);
        RedrawSectorThenScan(ws, host);
        return;
    }
    host.changed(View::Sector);
    ShowFramePicture(ws, host);
}

bool AbandonSectorClicks(Workspace& ws, Host& host) {
    FrameToolState& t = ws.FrameTools;
    if (t.SectorClicks == 0) return false;
    t.SectorClicks = 0;
    if (ws.FrameIsLoaded()) RedrawFrame(ws, host);   // their crosses go
    host.changed(View::Sector);
    return true;
}

std::string SectorClickPrompt(const Workspace& ws) {
    const FrameToolState& t = ws.FrameTools;
    const bool rectangle = t.SectorClicks > 0 ? t.ClickRectangle : (t.KeySHeld || t.SBSelectRect);
    const bool active = t.SectorClicks > 0 || t.KeyAHeld || t.KeySHeld || t.SBSelectRect || t.SBSelectAng;
    if (!active || !ws.FrameIsLoaded()) return {};
    static const char* const Corners[] = {"first", "second", "third", "fourth"};
    const int next = std::clamp(t.SectorClicks, 0, 3);
    std::string text = rectangle ? "Rectangular sector: " : "Angular sector: ";
    text += "the next click sets the " + std::string(Corners[next]) + " of 4 corners";
    if (t.SectorClicks > 0) text += " (Esc starts again)";
    return text;
}

FrameClick Image1MouseDown(Workspace& ws, Host& host, int32_t x, int32_t y) {
    FrameClick click;
    if (!ws.FrameIsLoaded()) return click;
    click.ShowZoom = true;
    FrameToolState& t = ws.FrameTools;
    t.MouseHeld = true;
    int32_t column = 0, row = 0;
    if (!ScreenToFrame(ws, x, y, column, row)) {
        // A click beside the frame gives up the sector being clicked.
        AbandonSectorClicks(ws, host);
        return click;
    }
    if (t.SBEraser) {
        EraseAt(ws, x, y, column, row);
        ShowFramePicture(ws, host);
    }
    if (t.KeyCHeld && ws.TwoThetaD == 0) {
        ws.Form27.EXoM = std::to_string(column);
        ws.Form27.EYoM = std::to_string(row);
        ws.Form32.EXoM = ws.Form27.EXoM;
        ws.Form32.EYoM = ws.Form27.EYoM;
        DrawCross(ws, x, y);
        ShowFramePicture(ws, host);
        ws.Form27.ProgressBar1 = 0;
        host.changed(View::Settings);
        click.ShowCentreWindow = true;
        // The centre command on the picked centre, as the window's pick does.
        if (ws.Hooks.FindCentre)
            if (const std::string problem = ws.Hooks.FindCentre(ws, host, true); !problem.empty()) host.message(problem);
    }
    if (ws.Form27.RCircle && PickRingPoint(ws, column, row)) ShowFramePicture(ws, host);
    if (t.KeyAHeld || t.KeySHeld || t.SBSelectRect || t.SBSelectAng) SectorClick(ws, host, x, y, column, row);
    return click;
}

void Image1MouseMove(Workspace& ws, Host& host, int32_t x, int32_t y) {
    if (!ws.FrameIsLoaded()) return;
    FrameToolState& t = ws.FrameTools;
    int32_t column = 0, row = 0;
    if (!ScreenToFrame(ws, x, y, column, row)) {
        ws.Form21.Panel4.clear();
        ws.Form21.Panel1.clear();
        return;
    }
    if (t.MouseHeld && t.SBEraser) {
        EraseAt(ws, x, y, column, row);
        ShowFramePicture(ws, host);
    }
    const FramePixel p = ws.FramePixels.Pixel(column, row);
    // The 2-theta scan window's working chart follows the mouse.
    ws.Form2.RChart1.CrossHair1().SetPosX(p.TwoTheta);
    t.ZoomX = column;
    t.ZoomY = row;
    DrawZoom(ws);
    ws.Form21.Panel4 =
        "X= " + std::to_string(column) + ", Y= " + std::to_string(row) + ", I= " + std::to_string(p.Intensity);
    ws.Form21.Panel1 = "2Theta= " + FormatNumber(p.TwoTheta) + ", Psi= " + std::to_string(RoundToInt(p.Psi));
}

void Image1MouseUp(Workspace& ws, Host& host) {
    FrameToolState& t = ws.FrameTools;
    t.MouseHeld = false;
    const bool erased = t.Erased && t.SBEraser;
    t.Erased = false;
    if (erased && ws.FrameIsLoaded()) N2ThetaScan1Click(ws, host);
}

void ZoomImageMouseMove(Workspace& ws, int32_t x, int32_t y) {
    if (!ws.FrameIsLoaded()) return;
    int32_t column = 0, row = 0;
    ZoomSource(ws, x, y, column, row);
    column = std::clamp(column, 0, std::max(0, ws.FrameWidth));
    row = std::clamp(row, 0, std::max(0, ws.FrameHeight));
    if (!ws.FramePixels.contains(column, row)) return;
    const FramePixel p = ws.FramePixels.Pixel(column, row);
    ws.Form21.Panel4 =
        "x, y = " + std::to_string(column) + "," + std::to_string(row) + ", I = " + std::to_string(p.Intensity);
    ws.Form21.Panel1 =
        "2Theta = " + FormatNumber(p.TwoTheta, 7, 1) + ", Psi = " + std::to_string(RoundToInt(p.Psi));
}

namespace {
bool* KeyFlag(FrameToolState& t, int key) {
    switch (key) {
    case 65: return &t.KeyAHeld;
    case 83: return &t.KeySHeld;
    case 67: return &t.KeyCHeld;
    case 90: return &t.KeyZHeld;
    default: return nullptr;
    }
}
} // namespace

bool IsToolKey(int key) {
    FrameToolState probe;
    return KeyFlag(probe, key) != nullptr;
}

void FrameKeyDown(Workspace& ws, int key) {
    if (!ws.FrameIsLoaded()) return;
    if (bool* flag = KeyFlag(ws.FrameTools, key)) *flag = true;
}

void FrameKeyUp(Workspace& ws, int key) {
    // Releasing a key always clears its flag, so that no key stays held.
    if (bool* flag = KeyFlag(ws.FrameTools, key)) *flag = false;
}

void ZoomCircle1Click(Workspace& ws, Host& host) {
    if (!ws.FrameIsLoaded()) host.message("Need to open a file first");
}

} // namespace orv

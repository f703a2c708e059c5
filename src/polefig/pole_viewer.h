#pragma once
// "PoleFigures" (TFPoleF): up to four pole figures as polar plots, the
// read-out under the mouse, a clicked pole with its psi and phi profiles,
// peak figures on a profile, the angle between two poles, rotation in phi,
// the absorption correction and the pole-figure files. The window itself
// only shows this record and hands its clicks to these functions.
//
// The polar plot: a pixel (x, y) of a panel lies at psi = its distance from
// the plot centre x 180 / PlotSize and at phi counted counter-clockwise from
// the right-hand horizontal, in (0, 360].

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "chart/rchart.h"
#include "polefig/pole_grid.h"
#include "workspace/frame_display.h"

namespace orv {

class Host;
struct Workspace;

constexpr int PolePanelSize = 303;          // panel pictures, pixels
constexpr int PolePlotSize = 300;           // the plot covers pixels 1..PlotSize
constexpr int PolePreviewPlotSize = 200;    // the generator window's preview
constexpr int PolePaletteLength = 1201;     // colour indices 0..1200
constexpr uint32_t PointEditColor = 0xF0CAA6;   // light blue of the point being set (0x00BBGGRR)

// A profile chart's peak picks: after the first pick its rounded position.
struct PoleProfilePick {
    int32_t Count = 0;
    int32_t First = 0;
};

struct TFPoleF {
    TFPoleF();
    std::array<RgbImage, PoleViewerSlots> Image;        // Image1..Image4, with the marker
    std::array<RgbImage, PoleViewerSlots> ImageClean;   // Image1b..Image4b, without markers
    RgbImage Preview;                                   // slot 5: the generator window's preview picture
    std::array<std::string, PoleViewerSlots> panelp;    // panelp1..panelp4: each figure's file name
    std::array<std::string, PoleViewerSlots> Ehkl{"100", "100", "100", "100"};
    std::string panelout;                               // the read-out line
    std::string EPSI, EPHI;                             // point 1, whole degrees
    std::string EPSI3, EPHI3;                           // point 2
    std::string Eangle;
    int32_t LitPoint = 0;                               // the point whose edits are light blue (0: none)
    std::string Edit2 = "0";                            // running total of the rotation
    bool Rlineal = true;                                // "Lineal"
    bool Rloga = false;                                 // "Log10"
    bool Button4Enabled = true;                         // "Correct Absorption" OK
    TRChart RChart1;                                    // psi profile at the clicked phi
    TRChart RChart2;                                    // phi profile at the clicked psi
    PoleProfilePick PsiPick, PhiPick;
    int32_t PlotSize = PolePlotSize;
    int32_t PoleClickX = 0, PoleClickY = 0;
    double PoleClickPhi = 0, PoleClickPsi = 0;
    int32_t PoleClickCount = 0;                         // 1 after the first point of a pair
    std::vector<uint32_t> PolePalette;
};

// ---- Pure pieces --------------------------------------------------------------

// The 1201 colours (0x00BBGGRR): white to blue, blue to red, red to yellow,
// yellow to white, white from 1024 on.
std::vector<uint32_t> MakePolePalette();
// Psi and phi of plot pixel (x, y).
void PixelToPsiPhi(int x, int y, int plotSize, double& psi, double& phi);
// The grid's value at (phi, psi), bilinear between the four cells around it.
double PoleGridValue(const PoleGridArray& grid, double phi, double psi, double phiStep, double psiStep);
// Palette index of a value against the grid maximum (> 0), kept in 0..1200.
int PoleColorIndex(double value, double maximum, bool tenLevels, bool logarithmic);
// The angle (0..90 degrees) between the axes of two poles.
double AngleBetweenPoles(double psi1, double phi1, double psi2, double phi2);
// Draws `grid` into `image` (made PlotSize + 3 square and white first): the
// coloured plot, the cross and the circles of psi 30, 60 and 90. A grid
// whose maximum is not positive leaves the picture blank.
void RenderPoleGrid(const PoleGridArray& grid, double phiStep, double psiStep, int plotSize, bool tenLevels,
                    bool logarithmic, const std::vector<uint32_t>& palette, RgbImage& image);

// ---- The window's commands -------------------------------------------------------

// DrawPoleFigure: the working grid PoleGrid into `image` with the palette
// and scale chosen; the read-out shows PoleMax.
void DrawPoleFigure(Workspace& ws, RgbImage& image);
// The main window's reset: empty captions, blank panels, cleared profiles and
// read-outs, no figure loaded.
void ResetPoleViewer(Workspace& ws, Host& host);
// The window is shown: plot size 300, steps 5, no figure loaded, the palette.
void PoleViewerShown(Workspace& ws, Host& host);

// LoadPoleFigure: reads `path` (popLA by its extension, else a slice file)
// and shows it: index 0..3 in panel index + 1 (index 0 first clears the
// panels), index 4 as the generator window's preview (Preview, drawn at plot
// size 200; the panels' figures are not touched). Logs "pole figure NAME
// displayed". A failed load shows its message and leaves the panel empty.
// Main thread only: a worker hands it over with host.sync.
bool LoadPoleFigure(Workspace& ws, Host& host, int index, const std::string& path);
// File > Open with the chosen files: a new Open of up to four figures.
void OpenPoleFigures(Workspace& ws, Host& host, const std::vector<std::string>& paths);
// File > Open: the dialog, then OpenPoleFigures.
void Open1Click(Workspace& ws, Host& host);

// Mouse over panel 1..4: the read-out. Click on a panel: the marked pole, its
// point edits and its profiles.
void PolePanelMouseMove(Workspace& ws, Host& host, int panel, int x, int y);
void PolePanelMouseDown(Workspace& ws, Host& host, int panel, int x, int y);
// A click at control pixel (X, Y) of the psi (RChart1) or phi (RChart2)
// profile: a peak pick.
void PoleProfileMouseDown(Workspace& ws, Host& host, bool psiChart, int X, int Y);
// "GetAngle": the angle between point 1 and point 2.
void AngleClick(Workspace& ws, Host& host);
// "+ 5" (direction +1) and "- 5" (-1): every figure one phi step round.
void RotatePoleFigures(Workspace& ws, Host& host, int direction);
// "Correct Absorption" OK: once per Open.
void CorrectAbsorptionClick(Workspace& ws, Host& host);

// The writers under a chosen name (the extension is appended by the dialog
// commands below). Each answers false after showing why it wrote nothing.
bool SavePoleFigures(Workspace& ws, Host& host, const std::string& path);
bool SavePsiProfile(Workspace& ws, Host& host, const std::string& path);
bool SavePhiProfile(Workspace& ws, Host& host, const std::string& path);
// File > Save PoleFigures, Save PsiProfile, Save PhiProfile: the dialog, then
// the writer with ".epf", ".psp" or ".php" appended.
void SavePoleFigures1Click(Workspace& ws, Host& host);
void SavePsiProfile1Click(Workspace& ws, Host& host);
void SavePhiProfile1Click(Workspace& ws, Host& host);

// "PoleSettings" OK: the phi-axis angle goes to Detector Settings and the
// generator window. An angle that is not a number from 0 to 360 is refused
// with a message and goes nowhere; returns whether it was taken.
bool PoleSettingsOK(Workspace& ws, Host& host);

} // namespace orv

#include "workspace/sector_dialog.h"

#include <algorithm>

#include "workspace/frame_display.h"
#include "workspace/geometry.h"
#include "workspace/host.h"
#include "base/numbers.h"
#include "workspace/sector_overlay.h"
#include "workspace/sector_scan.h"
#include "workspace/workspace.h"

namespace orv {

void FMaskButton1Click(Workspace& ws, Host& host) {
    TFMask& m = ws.FMask;
    // Every angular box must hold a number before anything changes.
    double t1 = 0, t2 = 0, unused = 0;
    for (const std::string* box : {&m.Eth1, &m.Eth2, &m.EPsi1, &m.EPsi2}) {
        if (!TryParseNumber(*box, unused)) {
            host.message(ConversionError(*box).what());
            return;
        }
    }
    // And so must the rectangle's corners when the rectangle is to be used.
    int32_t corner = 0;
    if (m.CBRectangle)
        for (const std::string* box : {&m.EX1, &m.EY1, &m.Ex2, &m.EY2})
            if (!TryParseInteger(*box, corner)) {
                host.message(ConversionError(*box).what());
                return;
            }
    TryParseNumber(m.Eth1, t1);
    TryParseNumber(m.Eth2, t2);
    // The dialog sets the sector: clicks made towards one on the frame no
    // longer count (the redraw below takes their crosses away).
    ws.FrameTools.SectorClicks = 0;
    if (m.CBRectangle) {
        ws.LLog.Append("Rectangular Sector = " + m.EX1 + ", " + m.EY1 + ", " + m.Ex2 + ", " + m.EY2);
        ws.RectangularSector = 1;
    } else {
        ws.SectorTwoTheta1 = static_cast<float>(t1);
        ws.SectorTwoTheta2 = static_cast<float>(t2);
        // The limits as they will be in force, psi included, not as typed.
        const std::array<float, 4> applied = RepairedSectorLimits(m);
        ws.LLog.Append("Sector = " + SectorLimitsText(applied[0], applied[1], applied[2], applied[3]));
        // Unticked means the angular sector, so that the psi scan accepts it.
        ws.RectangularSector = 0;
    }
    host.changed(View::Sector);
    ReadSectorLimits(ws, host);
}

void FMaskBFRangeClick(Workspace& ws) {
    // The scan's own last bin (it may end before the frame's ScanPoints).
    float low = 180, high = 0;
    const int32_t last = std::min(ws.SectorScanPoints, static_cast<int32_t>(ws.SectorScan.size()) - 1);
    for (int32_t k = 1; k <= last; ++k) {
        low = std::min(low, ws.SectorScan[k].TwoTheta);
        high = std::max(high, ws.SectorScan[k].TwoTheta);
    }
    TFMask& m = ws.FMask;
    m.Eth1 = FormatNumber(low);
    m.Eth2 = FormatNumber(high);
    m.EPsi1 = "0";
    m.EPsi2 = "360";
    m.EX1 = "1";
    m.EY1 = "1";
    m.Ex2 = std::to_string(ws.FrameWidth);
    m.EY2 = std::to_string(ws.FrameHeight);
    ws.CropRect = {1, ws.FrameWidth, 1, ws.FrameHeight};
}

void DeleteSector1Click(Workspace& ws, Host& host) {
    if (!ws.FrameIsLoaded()) {
        host.message("Need to open a file first");
        return;
    }
    if (ws.RectangularSector) {
        if (!MaskRectangleSector(ws, host)) return;
    } else {
        MaskAngularSector(ws, ws.SectorTwoTheta1, ws.SectorPsi1, ws.SectorTwoTheta2, ws.SectorPsi2);
    }
    host.changed(View::Logbook);
    ws.FMask.CBRectangle = false;
    FMaskBFRangeClick(ws);
    host.changed(View::Sector);
    RedrawFrame(ws, host);
    try {
        ComputeFrameGeometry(ws, host);
    } catch (const ConversionError& e) {
        host.message(e.what());
        return;
    }
    N2ThetaScan1Click(ws, host);
}

} // namespace orv

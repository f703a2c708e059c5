#include "workspace/sector_scan.h"

#include "workspace/host.h"
#include "workspace/workspace.h"

namespace orv {

// Placeholder until the sector scans are built.
void N2ThetaScan1Click(Workspace& ws, Host& host) {
    if (!ws.FrameIsLoaded()) host.message("Need to open a file first");
}
void PsiScan1Click(Workspace& ws, Host& host) {
    if (!ws.FrameIsLoaded()) host.message("Need to open a file first !");
}
void ReadSectorLimits(Workspace&, Host&) {}

} // namespace orv

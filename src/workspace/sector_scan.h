#pragma once
// Sector 2-theta and psi scans.

namespace orv {

class Host;
struct Workspace;

// The 2-theta scan of the current sector into SectorScan.
void N2ThetaScan1Click(Workspace& ws, Host& host);
// The psi scan of the current angular sector into PsiScanData.
void PsiScan1Click(Workspace& ws, Host& host);
// Reads the four angular limits from the sector dialog and repairs them.
void ReadSectorLimits(Workspace& ws, Host& host);

} // namespace orv

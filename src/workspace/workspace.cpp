#include "workspace/workspace.h"

#include "scans/calibration_fit.h"
#include "scans/scan_analysis.h"

namespace orv {

Workspace::Workspace()
    : FrameProfile(MakeProfileRow()),
      FrameProfileCopy(MakeProfileRow()),
      SectorScan(MakeProfileRow()),
      SectorScanBackup(MakeProfileRow()),
      RingProfile(RingProfileLength) {
    SetUpScanAnalysis(*this);
    SetUpStandardTools(*this);
}

} // namespace orv

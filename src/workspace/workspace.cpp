#include "workspace/workspace.h"

#include "scans/scan_analysis.h"
#include "workspace/frame_background.h"

namespace orv {

Workspace::Workspace()
    : FrameProfile(MakeProfileRow()),
      FrameProfileCopy(MakeProfileRow()),
      SectorScan(MakeProfileRow()),
      SectorScanBackup(MakeProfileRow()),
      RingProfile(RingProfileLength) {
    SetUpScanAnalysis(*this);
    SetUpFrameBackground(*this);
}

} // namespace orv

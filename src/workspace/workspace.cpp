#include "workspace/workspace.h"

#include "scans/scan_analysis.h"
#include "workspace/centre_search.h"
#include "workspace/sector_reductions.h"

namespace orv {

Workspace::Workspace()
    : FrameProfile(MakeProfileRow()),
      FrameProfileCopy(MakeProfileRow()),
      SectorScan(MakeProfileRow()),
      SectorScanBackup(MakeProfileRow()),
      RingProfile(RingProfileLength) {
    SetUpScanAnalysis(*this);
    SetUpCentreSearch(*this);
    SetUpSectorReductions(*this);
}

} // namespace orv

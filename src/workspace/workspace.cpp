#include "workspace/workspace.h"

#include "scans/calibration_fit.h"
#include "scans/line_scan_tool.h"
#include "scans/scan_analysis.h"
#include "scans/series_windows.h"
#include "workspace/frame_background.h"
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
    SetUpFrameBackground(*this);
    SetUpCentreSearch(*this);
    SetUpSectorReductions(*this);
    SetUpStandardTools(*this);
    SetUpSeriesWindows(*this);
    SetUpLineScanTool(*this);
}

} // namespace orv

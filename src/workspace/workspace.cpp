#include "workspace/workspace.h"

namespace orv {

Workspace::Workspace()
    : FrameProfile(MakeProfileRow()),
      FrameProfileCopy(MakeProfileRow()),
      SectorScan(MakeProfileRow()),
      SectorScanBackup(MakeProfileRow()),
      RingProfile(RingProfileLength) {}

} // namespace orv

#include "workspace/geometry.h"

// Placeholder until the geometry step is built.
namespace orv {
void ComputeFrameGeometry(Workspace&, Host&) {}
void UpdateProfileExtrema(Workspace&) {}
} // namespace orv

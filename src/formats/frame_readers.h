#pragma once
// Entry points of the frame readers, one per format. Each follows the
// protocol of reader.h.

#include "formats/reader.h"

namespace orv {

// The program's own ".orv" frame file.
ReadOutcome ReadNativeFrame(const ReaderContext& context, const std::string& path, NewFrame& frame);

} // namespace orv

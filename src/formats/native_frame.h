#pragma once
// The program's own frame file ".orv": nine little-endian 32-bit integers
// (the magic 12345, the geometry scaled by 10000, the size), then the rows
// of 32-bit intensities.

#include <string>

namespace orv {

struct Workspace;

constexpr int32_t NativeFrameMagic = 12345;
constexpr int32_t NativeFrameMaxRow = 24000;   // pixels per row

// Writes the current frame; throws FileError on an input/output failure
// (an existing file is replaced only when the whole frame was written) and
// when `path` is a frame in use, the open one included.
void WriteNativeFrame(const Workspace& ws, const std::string& path);

} // namespace orv

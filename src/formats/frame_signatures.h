#pragma once
// The signatures by which the reader chains recognise a frame family. The
// readers that take files without a header (raw pixels, the user's raw
// layout) use them to step aside: a file that carries another family's
// signature is a frame of that family, damaged when its own reader did not
// accept it, never a headerless one.

#include <string>
#include <string_view>

namespace orv {

// The family whose signature the file's `bytes` carry, as a short name
// ("TIFF", "BMP", ...); "" when they carry none.
std::string FrameFamilySignature(std::string_view bytes);
// The family that the file's name claims by its extension (".tif", ".orv",
// ...); "" for any other name.
std::string FrameFamilyByName(const std::string& path);

} // namespace orv

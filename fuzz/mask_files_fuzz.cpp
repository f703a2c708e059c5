// Mask (".msk") and background (".bck") files: the bytes as each, applied to
// a small frame as the Load Mask and Load Background commands and the batch
// apply them. A parser may refuse the bytes with FileError; anything else (a
// crash, a sanitizer report, another exception) is a finding.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "base/file_bytes.h"
#include "formats/mask_files.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace orv;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    // A frame whose size the input may or may not match (the background's
    // first two values pick it when they are small).
    int32_t width = 7, height = 5;
    if (size >= 8 && data[0] < 40 && data[4] < 40 && data[0] > 0 && data[4] > 0) {
        width = data[0];
        height = data[4];
    }
    FramePlane<int32_t> frame(width, height, 3);
    try {
        ApplyMask(frame, width, height, ParseMaskRecords(bytes, "fuzz.msk"));
    } catch (const FileError&) {
    }
    try {
        const BackgroundFrame background = ParseBackgroundFrame(bytes, "fuzz.bck");
        SubtractBackground(frame, width, height, background);
    } catch (const FileError&) {
    }
    return 0;
}

// TIFF and Windows bitmaps, with both TIFF data-start rules.
#include "fuzz_readers.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes = orv::fuzzing::View(data, size);
    orv::fuzzing::RunReaders({orv::ReadTiffFrame, orv::ReadBmpFrame}, bytes, "f.tif");
    orv::fuzzing::RunReaders({orv::ReadTiffFrame}, bytes, "f.tif", orv::TForm32{}, true);
    return 0;
}

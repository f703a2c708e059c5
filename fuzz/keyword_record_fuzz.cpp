// Keyword-record frames ("FORMAT :" and "FORMAT :100").
#include "fuzz_readers.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    orv::fuzzing::RunReaders({orv::ReadFormat100Frame, orv::ReadFormatFrame}, orv::fuzzing::View(data, size), "f.sfrm");
    return 0;
}

// Text-header frames: "PIXEL_SIZE=", keyed lines, "HeaderID", PANalytical.
#include "fuzz_readers.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    orv::fuzzing::RunReaders({orv::ReadPixelSizeFrame, orv::ReadKeywordHeaderFrame, orv::ReadHeaderIdFrame,
                              orv::ReadPANalyticalFrame},
                             orv::fuzzing::View(data, size), "f.txt");
    return 0;
}

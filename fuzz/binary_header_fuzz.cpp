// Binary-header frames: "OD SAPPHIRE", ".mccd", "R-AXIS", ".IM".
#include "fuzz_readers.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes = orv::fuzzing::View(data, size);
    orv::fuzzing::RunReaders({orv::ReadSapphireFrame, orv::ReadRaxisFrame}, bytes, "f.img");
    orv::fuzzing::RunReaders({orv::ReadMccdFrame}, bytes, "f.mccd");
    orv::fuzzing::RunReaders({orv::ReadImFrame}, bytes, "f.IM");
    return 0;
}

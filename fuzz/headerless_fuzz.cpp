// Headerless files sized by the Detector Settings; the first bytes choose
// the sizes, header length and depth, so small inputs reach the readers.
#include "fuzz_readers.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes = orv::fuzzing::View(data, size);
    orv::TForm32 form;
    if (size >= 4) {
        form.EDSizeX = std::to_string(1 + data[0] % 64);
        form.EDSizeY = std::to_string(1 + data[1] % 64);
        form.EHeader = std::to_string(static_cast<int>(data[2]) - 128);
        form.EBytesPixel = std::to_string(data[3] % 5);
    }
    orv::fuzzing::RunReaders({orv::ReadCustomRawFrame, orv::ReadRawFrame}, bytes, "f.b16", form);
    // Comma-separated text needs a side of at least 250.
    if (size >= 2) {
        form.EDSizeX = std::to_string(250 + data[0] % 16);
        form.EDSizeY = std::to_string(250 + data[1] % 16);
    }
    // The text reader behaves alike in every chain: once is enough.
    orv::fuzzing::RunReaders({orv::ReadCsvFrame}, bytes, "f.csv", form, false, {orv::ReaderChain::Load});
    form.EDSizeX = "512";
    form.EDSizeY = "1024";
    orv::fuzzing::RunReaders({orv::ReadFloatPairFrame}, bytes, "f.dat", form);
    return 0;
}

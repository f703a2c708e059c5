// The reference-pattern database reader: any bytes give at most 250 clamped
// patterns, and a pattern read back from its own bytes is the same pattern.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "scans/mineral_database.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const orv::MineralFile file = orv::ParseMineralFile(bytes);
    if (file.Records.size() > orv::MaxMinerals) std::abort();
    for (const orv::MineralRecord& r : file.Records) {
        if (r.Name.size() > 30 || r.Formula.size() > 30 || r.LineCount < 0 || r.LineCount > 100) std::abort();
        const std::string packed = orv::PackMineralRecord(r);
        if (packed.size() != orv::MineralRecordBytes) std::abort();
        if (orv::PackMineralRecord(orv::UnpackMineralRecord(packed)) != packed) std::abort();
    }
    return 0;
}

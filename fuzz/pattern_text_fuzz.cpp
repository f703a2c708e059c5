// The New Pattern dialog's text files: any text gives at most 99 rows whose
// numbers hold only digits and '.' and whose hkl fits the grid's cell.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "scans/mineral_database.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const orv::PatternText p = orv::ParsePatternText(text);
    if (p.Rows.size() > 99) std::abort();
    for (const orv::PatternTextRow& row : p.Rows) {
        for (const std::string* n : {&row.D, &row.Intensity})
            if (n->size() > 20 || n->find_first_not_of("0123456789.") != std::string::npos) std::abort();
        if (row.Hkl.size() > 21) std::abort();
    }
    return 0;
}

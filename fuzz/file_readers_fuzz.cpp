// The readers of the program's other files, from a file as the program
// reads them (size limit, first lines, whole lines): mask, background,
// ".ths", "mineral.min", pattern text, slice, popLA and "Settings.txt". A
// reader may refuse the file with a message or a FileError or
// ConversionError; anything else is a finding. The first-lines readers, with
// limits the input picks, must give exactly the lines the whole file begins
// with.
#include <algorithm>
#include <cstdlib>

#include "formats/mask_files.h"
#include "fuzz_workspace.h"
#include "polefig/pole_files.h"
#include "scans/mineral_database.h"
#include "scans/mineral_list.h"
#include "workspace/program_folder.h"
#include "workspace/scan_writers.h"

namespace {

using namespace orv;

template <typename Read>
void Refusable(Read read) {
    try {
        read();
    } catch (const FileError&) {
    } catch (const ConversionError&) {
    }
}

// What the first-lines readers give is what the whole file begins with.
void CheckFirstLines(const std::string& path, const std::vector<std::string>& whole, uint64_t size, uint64_t limit,
                     size_t count) {
    uint64_t fileSize = 0;
    const std::vector<std::string> start = ReadStartTextLines(path, limit, fileSize);
    if (fileSize != size || start.size() > whole.size()) std::abort();
    if (!std::equal(start.begin(), start.end(), whole.begin())) std::abort();
    if (size <= limit && start != whole) std::abort();
    try {
        const std::vector<std::string> first = ReadFirstTextLines(path, count, limit);
        if (first.size() != std::min(count, whole.size())) std::abort();
        if (!std::equal(first.begin(), first.end(), whole.begin())) std::abort();
    } catch (const FileError&) {
        // Refused only when the file goes on beyond the limit before its
        // first `count` lines have ended.
        if (size <= limit || start.size() >= count) std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(fuzzing::Text(data, size));
    const std::string path = JoinPath(fuzzing::PrivateFolder(), "f.dat");
    WriteFileAtomically(path, bytes);

    if (size >= 2) CheckFirstLines(path, SplitTextLines(bytes), size, data[0] % 64, 1 + data[1] % 8);

    Refusable([&] {
        MaskRecords records = ReadMaskFile(path);
        FramePlane<int32_t> frame(7, 5, 3);
        ApplyMask(frame, 7, 5, records);
    });
    Refusable([&] { ReadBackgroundFile(path); });
    Refusable([&] { ReadTwoThetaScanFile(path); });
    Refusable([&] {
        if (ReadMineralFile(path).Records.size() > static_cast<size_t>(MaxMinerals)) std::abort();
    });
    Refusable([&] { ReadSettingsTxt(path); });

    // One workspace for the whole run; the readers below change only the
    // dialog's boxes and the pole grid, which every input overwrites.
    static Workspace ws;
    RecordingHost host;
    Refusable([&] { LoadPatternFile(ws, path); });
    ws.Poles.PoleSlot = 1;
    BuildPoleGrid(ws, host, path);
    ReadPopLA(ws, host, path);
    return 0;
}

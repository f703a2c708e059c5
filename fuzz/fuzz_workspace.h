#pragma once
// Shared by the libFuzzer targets that drive the workspace (settings files,
// scripts, lists): a private folder for the files they need and a small
// loaded frame with its geometry, made through the program's own frame file
// and reader chain as a user's frame would be.

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>
#include <unistd.h>

#include "formats/binary_io.h"
#include "formats/native_frame.h"
#include "formats/reader.h"
#include "workspace/geometry.h"
#include "workspace/host.h"
#include "workspace/text_files.h"
#include "workspace/workspace.h"

namespace orv::fuzzing {

// A folder of this process, made once; every target works below it. It goes
// with what it holds when the process ends (the fuzzer's time or runs are
// up); tools/run_fuzz.sh also gives every target a temporary folder of its
// own that it removes, so that a run that ends in a finding leaves nothing.
inline const std::string& PrivateFolder() {
    struct Folder {
        std::string path;
        Folder() {
            path = (std::filesystem::temp_directory_path() / "orv-fuzz-XXXXXX").string();
            if (!::mkdtemp(path.data())) std::abort();
        }
        ~Folder() {
            std::error_code ec;
            std::filesystem::remove_all(path, ec);
        }
    };
    static const Folder folder;
    return folder.path;
}

// Empties the private folder of what an input left there.
inline void ClearPrivateFolder() {
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(PrivateFolder(), ec))
        std::filesystem::remove_all(entry.path(), ec);
}

// Runs `work` in the private folder, emptied first, as the current folder,
// for an input whose names must stay inside it: an input that could name
// another folder (a path separator or "..") is passed over.
template <typename Work>
void InPrivateFolder(std::string_view text, Work work) {
    if (text.find_first_of("/\\") != std::string_view::npos || text.find("..") != std::string_view::npos) return;
    const std::filesystem::path before = std::filesystem::current_path();
    std::filesystem::current_path(PrivateFolder());
    ClearPrivateFolder();
    work();
    std::filesystem::current_path(before);
}

// A flat frame of `side` x `side` pixels with a ring, as the own frame file.
inline std::string SmallFrameBytes(int32_t side) {
    std::string out;
    for (int32_t v : {NativeFrameMagic, 7093, 0, 600000, 300000, side, side, side * 5000, side * 5000}) PutI32(out, v);
    for (int32_t y = 1; y <= side; ++y)
        for (int32_t x = 1; x <= side; ++x) {
            const double r = std::hypot(x - side / 2.0, y - side / 2.0);
            PutI32(out, 100 + (std::fabs(r - side / 4.0) < 1.5 ? 900 : 0) + x);
        }
    return out;
}

// Loads the small frame from `path` into `ws` and computes its geometry
// with the settings windows as they are at start (an earlier input may have
// changed them).
inline bool LoadSmallFrame(Workspace& ws, Host& host, const std::string& path) {
    ws.Form32 = TForm32{};
    ws.Form27 = TForm27{};
    ws.Form28 = TForm28{};
    ws.FSetup = TFSetup{};
    ws.Form20 = TForm20{};
    ws.FMask = TFMask{};
    ws.FlatDetector = 1;
    ws.RectangularSector = 0;
    ws.SectorTwoTheta1 = 0;
    ws.SectorTwoTheta2 = 45;
    ws.SectorPsi1 = 0;
    ws.SectorPsi2 = 360;
    WriteFileAtomically(path, SmallFrameBytes(32));
    ChainResult read = RunReaderChain(ws, host, ReaderChain::Load, path);
    if (!read.Read) return false;
    InstallFrame(ws, std::move(read.Frame));
    ws.CurrentFile = path;
    ws.FileList = {path};
    ws.ScriptList = {std::string()};
    ws.LastFileIndex = 0;
    ws.DisplayWidth = 32;   // the picture as small as the frame
    return ComputeFrameGeometry(ws, host);
}

inline std::string_view Text(const uint8_t* data, size_t size) { return {reinterpret_cast<const char*>(data), size}; }

} // namespace orv::fuzzing

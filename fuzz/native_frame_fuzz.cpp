// The program's own frame file: the reader in every chain, then, for a frame
// the load chain read, the pixel geometry from the geometry the file states.
#include "fuzz_readers.h"
#include "fuzz_workspace.h"
#include "workspace/geometry.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes = orv::fuzzing::View(data, size);
    orv::fuzzing::RunReaders({orv::ReadNativeFrame}, bytes, "f.orv");

    orv::ReaderContext context;
    context.Bytes = bytes;
    orv::NewFrame frame;
    try {
        if (orv::ReadNativeFrame(context, "f.orv", frame) != orv::ReadOutcome::Read) return 0;
    } catch (const orv::FrameReadError&) {
        return 0;
    }
    // One workspace for the whole run (making one costs more than the work);
    // installing a frame replaces its frame and geometry.
    static orv::Workspace ws;
    orv::RecordingHost host;
    orv::InstallFrame(ws, std::move(frame));
    ws.LastFileIndex = 0;
    try {
        orv::ComputeFrameGeometry(ws, host);
    } catch (const orv::ConversionError&) {
    }
    return 0;
}

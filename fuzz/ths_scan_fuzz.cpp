// ".ths" 2-theta scans read back into the scan window: the parser on the
// fuzzer's bytes, then the scan installed (or refused) in a workspace. A
// refusal or a conversion error is fine; anything else is a finding.
#include <cstddef>
#include <cstdint>
#include <string>

#include "scans/theta_scan_window.h"
#include "workspace/host.h"
#include "base/numbers.h"
#include "workspace/scan_writers.h"
#include "workspace/text_files.h"
#include "workspace/workspace.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static orv::Workspace ws;
    orv::RecordingHost host;
    try {
        const orv::TwoThetaScanFile scan =
            orv::ParseTwoThetaScanFile(orv::SplitTextLines(std::string(reinterpret_cast<const char*>(data), size)));
        if (orv::InstallThetaScan(ws, host, scan, "f.ths")) orv::ThetaZoomOut(ws, false);
    } catch (const orv::ConversionError&) {
    }
    return 0;
}

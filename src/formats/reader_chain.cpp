#include "formats/reader.h"

#include <algorithm>
#include <mutex>
#include <new>

#include "formats/frame_readers.h"
#include "workspace/host.h"
#include "base/numbers.h"
#include "workspace/text_files.h"
#include "workspace/workspace.h"

namespace orv {

namespace {

// Each chain lists its readers in the order they are tried. A reader not yet
// part of the program stands in the table with no function, so the order is
// kept where it is added.
const std::vector<ChainEntry> LoadChain = {
    {"ReadCustomRawFrame", ReadCustomRawFrame, true, false},
    {"ReadHeaderIdFrame", ReadHeaderIdFrame, false, false},
    {"ReadPANalyticalFrame", ReadPANalyticalFrame, false, false},
    {"ReadNativeFrame", ReadNativeFrame, false, false},
    {"ReadImFrame", ReadImFrame, false, false},
    {"ReadKeywordHeaderFrame", ReadKeywordHeaderFrame, false, false},
    {"ReadRaxisFrame", ReadRaxisFrame, false, false},
    {"ReadFormat100Frame", ReadFormat100Frame, false, false},
    {"ReadFormatFrame", ReadFormatFrame, false, false},
    {"ReadSapphireFrame", ReadSapphireFrame, false, false},
    {"ReadFloatPairFrame", ReadFloatPairFrame, false, false},
    {"ReadTiffFrame", ReadTiffFrame, false, false},
    {"ReadBmpFrame", ReadBmpFrame, false, false},
    {"ReadPixelSizeFrame", ReadPixelSizeFrame, false, false},
    {"ReadMccdFrame", ReadMccdFrame, false, false},
    {"ReadCsvFrame", ReadCsvFrame, false, false},
    {"ReadRawFrame", ReadRawFrame, false, false},
};

const std::vector<ChainEntry> PoleChain = {
    {"ReadCustomRawFrame", ReadCustomRawFrame, true, false},
    {"ReadPANalyticalFrame", ReadPANalyticalFrame, false, true},
    {"ReadNativeFrame", ReadNativeFrame, false, true},
    {"ReadKeywordHeaderFrame", ReadKeywordHeaderFrame, false, false},
    {"ReadRaxisFrame", ReadRaxisFrame, false, false},
    {"ReadFormat100Frame", ReadFormat100Frame, false, false},
    {"ReadFormatFrame", ReadFormatFrame, false, false},
    {"ReadSapphireFrame", ReadSapphireFrame, false, false},
    {"ReadTiffFrame", ReadTiffFrame, false, false},
    {"ReadBmpFrame", ReadBmpFrame, false, false},
    {"ReadPixelSizeFrame", ReadPixelSizeFrame, false, false},
    {"ReadMccdFrame", ReadMccdFrame, false, false},
    {"ReadCsvFrame", ReadCsvFrame, false, false},
    {"ReadRawFrame", ReadRawFrame, false, false},
};

const std::vector<ChainEntry> ArithmeticChain = {
    {"ReadCustomRawFrame", ReadCustomRawFrame, true, false},
    {"ReadHeaderIdFrame", ReadHeaderIdFrame, false, false},
    {"ReadPANalyticalFrame", ReadPANalyticalFrame, false, true},
    {"ReadNativeFrame", ReadNativeFrame, false, true},
    {"ReadImFrame", ReadImFrame, false, true},
    {"ReadKeywordHeaderFrame", ReadKeywordHeaderFrame, false, false},
    {"ReadRaxisFrame", ReadRaxisFrame, false, false},
    {"ReadRawFrame", ReadRawFrame, false, false},
    {"ReadTiffFrame", ReadTiffFrame, false, false},
    {"ReadBmpFrame", ReadBmpFrame, false, false},
    {"ReadFormat100Frame", ReadFormat100Frame, false, false},
    {"ReadFormatFrame", ReadFormatFrame, false, false},
    {"ReadSapphireFrame", ReadSapphireFrame, false, false},
    {"ReadFloatPairFrame", ReadFloatPairFrame, false, false},
    {"ReadMccdFrame", ReadMccdFrame, false, false},
    {"ReadPixelSizeFrame", ReadPixelSizeFrame, false, false},
    {"ReadCsvFrame", ReadCsvFrame, false, false},
};

const std::vector<ChainEntry> MergeChain = {
    {"ReadFormat100Frame", ReadFormat100Frame, false, false},
    {"ReadFormatFrame", ReadFormatFrame, false, false},
    {"ReadSapphireFrame", ReadSapphireFrame, false, false},
};

} // namespace

const std::vector<ChainEntry>& ChainReaders(ReaderChain chain) {
    switch (chain) {
    case ReaderChain::Load: return LoadChain;
    case ReaderChain::Pole: return PoleChain;
    case ReaderChain::Arithmetic: return ArithmeticChain;
    case ReaderChain::Merge: return MergeChain;
    }
    return LoadChain;
}

namespace {
// The load chain's own-format frame read straight into its plane: the
// readers before it in the chain look at the first 64 KiB of a file only,
// so when they turn down the file's start they turn down the file. False
// when the file is to go through the chain as it is.
bool ReadOwnFrameDirectly(ReaderContext& context, const std::string& path, ChainResult& result) {
    constexpr uint64_t HeadBytes = 65536;
    FileBytes head;
    try {
        head = FileBytes::ReadStart(path, HeadBytes);
    } catch (const FileError&) {
        return false;   // the whole read says why
    }
    if (head.fileSize() > MaxFrameFileBytes || head.fileSize() <= head.size()) return false;
    context.Bytes = head.view();
    for (const ChainEntry& entry : ChainReaders(ReaderChain::Load)) {
        if (!entry.Function || entry.CustomFileOnly) continue;
        if (entry.Function == ReadNativeFrame) break;
        NewFrame unused;
        try {
            if (entry.Function(context, path, unused) != ReadOutcome::NotMine) return false;
        } catch (...) {
            return false;
        }
    }
    try {
        if (!ReadNativeFrameFile(path, head, result.Frame)) return false;
    } catch (const FrameReadError& e) {
        result.Error = e.what();
        return true;
    } catch (const std::bad_alloc&) {
        result.Error = "not enough memory to read " + path;
        return true;
    }
    result.Frame.ReaderName = "ReadNativeFrame";
    result.Read = true;
    return true;
}

std::mutex RecycledMutex;
FramePlane<int32_t> Recycled;
bool RecycleOn = false;
} // namespace

void RecycleFramePixels(FramePlane<int32_t>&& pixels) {
    std::lock_guard lock(RecycledMutex);
    if (RecycleOn) Recycled = std::move(pixels);
}

void ReleaseRecycledFramePixels() {
    {
        std::lock_guard lock(RecycledMutex);
        Recycled.clear();
        RecycleOn = false;
    }
    FileBytes::KeepMemory(false);
}

void BeginFrameRecycling() {
    {
        std::lock_guard lock(RecycledMutex);
        RecycleOn = true;
    }
    FileBytes::KeepMemory(true);
}

void AllocateFrame(NewFrame& frame, int64_t width, int64_t height) {
    if (width < 1 || height < 1) throw FrameReadError("frame of zero size");
    if (width > MaxFramePixels || height > MaxFramePixels || width * height > MaxFramePixels)
        throw FrameReadError("frame too large: " + std::to_string(width) + " x " + std::to_string(height));
    try {
        const size_t cells = static_cast<size_t>(width + 2) * static_cast<size_t>(height + 2);
        {
            std::lock_guard lock(RecycledMutex);
            // Reused only when it is not much larger than needed.
            if (Recycled.capacity() >= cells && Recycled.capacity() <= 2 * cells) {
                frame.Intensity = std::move(Recycled);
                Recycled = FramePlane<int32_t>();
            }
        }
        frame.Intensity.resize(static_cast<int32_t>(width), static_cast<int32_t>(height));
    } catch (const std::bad_alloc&) {
        throw FrameReadError("not enough memory for a frame of " + std::to_string(width) + " x " +
                             std::to_string(height));
    }
    frame.FrameWidth = static_cast<int32_t>(width);
    frame.FrameHeight = static_cast<int32_t>(height);
    frame.FrameSize = static_cast<int32_t>(std::max(width, height));
}

ChainResult RunReaderChain(Workspace& ws, Host& host, ReaderChain chain, const std::string& path) {
    ChainResult result;
    ReaderContext context;
    context.Chain = chain;
    host.sync([&] {
        context.Form32 = ws.Form32;
        context.FSetup = ws.FSetup;
        context.Form20 = ws.Form20;
    });
    if (chain == ReaderChain::Load && !context.Form32.CustomFile && ReadOwnFrameDirectly(context, path, result))
        return result;
    FileBytes bytes;
    try {
        bytes = FileBytes::Read(path, MaxFrameFileBytes);
    } catch (const FileError& e) {
        result.Error = e.what();
        return result;
    }
    context.Bytes = bytes.view();
    for (const ChainEntry& entry : ChainReaders(chain)) {
        if (!entry.Function) continue;
        if (entry.CustomFileOnly && !context.Form32.CustomFile) continue;
        if (result.Read && !entry.TriedAlways) continue;
        NewFrame frame;
        try {
            if (entry.Function(context, path, frame) != ReadOutcome::Read) continue;
        } catch (const FrameReadError& e) {
            result.Read = false;
            result.Error = e.what();
            return result;
        } catch (const ConversionError& e) {
            result.Read = false;
            result.Error = e.what();
            return result;
        } catch (const std::bad_alloc&) {
            result.Read = false;
            result.Error = "not enough memory to read " + path;
            return result;
        }
        frame.ReaderName = entry.Name;
        bool accepted = true;
        if (frame.RunsSettingsStep) {
            host.sync([&] { accepted = ApplyDetectorOverrides(ws, host, frame, chain); });
        }
        if (!accepted) continue;
        result.Read = true;
        result.Frame = std::move(frame);
    }
    if (!result.Read && result.Error.empty()) result.Error = "no reader recognises " + path;
    return result;
}

void InstallFrame(Workspace& ws, NewFrame&& frame) {
    ws.FrameScans.Forget();
    ws.DisplayMaximumOwed = false;
    FramePlane<int32_t> previous = std::move(ws.FramePixels.Intensity);
    ws.FramePixels.Intensity = std::move(frame.Intensity);
    RecycleFramePixels(std::move(previous));
    // The geometry stays for a frame of its size (the next geometry step
    // reuses it when nothing changed), without a 2-theta scaled for the
    // frame before; another size has no angles until it is mapped.
    ws.FramePixels.SetGeometry(ws.FramePixels.HasGeometry() ? ws.FramePixels.SharedGeometry() : nullptr);
    ws.FrameWidth = frame.FrameWidth;
    ws.FrameHeight = frame.FrameHeight;
    ws.FrameSize = frame.FrameSize;
    ws.Landa = frame.Landa;
    ws.TwoThetaD = frame.TwoThetaD;
    ws.Distance = frame.Distance;
    ws.DSize = frame.DSize;
    ws.Xo = frame.Xo;
    ws.Yo = frame.Yo;
    ws.PixelAspect = frame.PixelAspect;
    ws.MergedFrame = 0;
    if (frame.FrameInfo) {
        ws.Form23.EXo = frame.FrameInfo->EXo;
        ws.Form23.EYo = frame.FrameInfo->EYo;
        ws.Form23.E2ThetaD = frame.FrameInfo->E2ThetaD;
        ws.Form23.EWaveLen = frame.FrameInfo->EWaveLen;
        ws.Form23.EDistancemm = frame.FrameInfo->EDistancemm;
        ws.Form23.EDSizemm = frame.FrameInfo->EDSizemm;
    }
    if (frame.MaxIntensity) ws.MaxIntensity = *frame.MaxIntensity;
    ApplyReaderSettings(ws, frame);
}

} // namespace orv

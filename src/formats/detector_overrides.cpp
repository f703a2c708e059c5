#include <string>

#include "formats/reader.h"
#include "workspace/host.h"
#include "workspace/setting_ranges.h"
#include "base/numbers.h"
#include "workspace/workspace.h"

namespace orv {

namespace {

bool Inside(double v, double lo, double hi) { return v >= lo && v <= hi; }

} // namespace

bool ApplyDetectorOverrides(Workspace& ws, Host& host, NewFrame& frame, ReaderChain chain) {
    const bool variantB = chain == ReaderChain::Pole || chain == ReaderChain::Arithmetic;
    TForm32& f32 = ws.Form32;
    TForm23& info = ws.Form23;

    // Every box is read before anything is written, so a box that does not
    // hold a number leaves the frame and the windows as they were.
    const double offset = ParseNumber(f32.Eth2offset);
    const double xoBox = f32.CBXo ? ParseNumber(f32.EXoM) : 0;
    const double yoBox = f32.CBYo ? ParseNumber(f32.EYoM) : 0;
    const double distanceBox = f32.CBDistance ? ParseNumber(f32.EDistance) : 0;
    const double landaBox = f32.CBlanda ? ParseNumber(f32.ELanda) : 0;
    const double angleBox = f32.CB2thetaD ? ParseNumber(f32.E2thetaD) : 0;
    const double dsizeBox = f32.CBDSize ? ParseNumber(f32.EDSize) : 0;

    if (variantB) {
        if (frame.FrameSize > 8000) {
            host.message(chain == ReaderChain::Pole ? "frame size over 8000 x 2500"
                                                     : "frame size over 2500 x 2500");
            return false;
        }
    } else {
        if (chain == ReaderChain::Load && frame.FrameSize > 24001)
            host.message("frame size over 24000 pixels");
        frame.TwoThetaD += offset;
    }

    info.EDistancemm = FormatNumber(frame.Distance);
    info.EXo = FormatNumber(frame.Xo);
    info.EYo = FormatNumber(frame.Yo);
    info.E2ThetaD = FormatNumber(frame.TwoThetaD);
    info.EWaveLen = FormatNumber(frame.Landa);
    info.EDSizemm = FormatNumber(frame.DSize);

    if (f32.CBXo) {
        frame.Xo = xoBox;
        if (variantB) info.EXo = FormatNumber(frame.Xo);
        else ws.Form27.EXoM = f32.EXoM;
    }
    if (f32.CBYo) {
        frame.Yo = yoBox;
        if (variantB) info.EYo = FormatNumber(frame.Yo);
        else ws.Form27.EYoM = f32.EYoM;
    }
    if (f32.CBDistance) {
        frame.Distance = distanceBox;
        info.EDistancemm = FormatNumber(frame.Distance);
    }
    if (f32.CBDSize) {
        frame.DSize = dsizeBox;
        info.EDSizemm = FormatNumber(frame.DSize);
    }
    if (f32.CBlanda) {
        frame.Landa = landaBox;
        info.EWaveLen = FormatNumber(frame.Landa);
    }
    if (f32.CB2thetaD) {
        frame.TwoThetaD = angleBox + offset;
        info.E2ThetaD = FormatNumber(frame.TwoThetaD);
    }

    // Range repairs.
    if (!(frame.TwoThetaD > -180 && frame.TwoThetaD < 180)) {
        frame.TwoThetaD = 0;
        info.E2ThetaD = "0.000";
    }
    if (!Inside(frame.DSize, DetectorSizeMin, DetectorSizeMax)) {
        double boxValue = 0;
        bool boxIsNumber = TryParseNumber(f32.EDSize, boxValue);
        if (boxIsNumber && Inside(boxValue, DetectorSizeMin, DetectorSizeMax)) {
            frame.DSize = boxValue;
            info.EDSizemm = FormatNumber(frame.DSize);
        } else {
            frame.DSize = FileDetectorSizeReplacement;
            info.EDSizemm = FormatNumber(FileDetectorSizeReplacement);
            f32.EDSize = info.EDSizemm;
        }
    }
    const double landaLow = variantB ? FileWavelengthMinWorkers : FileWavelengthMin;
    if (!Inside(frame.Landa, landaLow, FileWavelengthMax)) {
        frame.Landa = WavelengthReplacement;
        info.EWaveLen = "0.711";
        ws.Form19.Elanda = "0.711";
    }
    if (!Inside(frame.Distance, DistanceMin, DistanceMax)) {
        frame.Distance = DistanceReplacement;
        info.EDistancemm = FormatNumber(DistanceReplacement);
        f32.EDistance = info.EDistancemm;
    }
    host.changed(View::FrameInfo);
    host.changed(View::Settings);
    return true;
}

} // namespace orv

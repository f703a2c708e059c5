#include "workspace/detector_settings.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "workspace/frame_display.h"
#include "workspace/geometry.h"
#include "workspace/host.h"
#include "base/numbers.h"
#include "workspace/program_folder.h"
#include "workspace/run_report.h"
#include "workspace/sector_scan.h"
#include "workspace/setting_ranges.h"
#include "workspace/text_files.h"
#include "workspace/workspace.h"

namespace orv {

namespace {

constexpr double Pi = 3.14159265358979323846;

double TanDegrees(double a) { return std::tan(a * Pi / 180.0); }

// A typed wavelength, or its replacement when outside the typed range.
double TypedWavelength(double landa) {
    return landa < TypedWavelengthMin || landa > TypedWavelengthMax ? WavelengthReplacement : landa;
}

// Recomputes what depends on the geometry: pixels, picture, scan.
bool RecomputeAfterGeometryChange(Workspace& ws, Host& host) {
    const bool mapped = ComputeFrameGeometry(ws, host);
    ws.Form20.ProgressBar1 = 50;
    host.changed(View::Progress);
    RedrawFrame(ws, host);
    ws.Form20.ProgressBar1 = 100;
    host.changed(View::Progress);
    N2ThetaScan1Click(ws, host);
    return mapped;
}

} // namespace

void SaveSettingsFile(const Workspace& ws, const std::string& fileName) {
    const TForm32& f = ws.Form32;
    std::string shape = f.RFlat ? "1" : f.RCylindrical ? "2" : f.RSphere ? "3" : "1";
    RefuseFrameOverwrite(ws, fileName);
    WriteTextLines(fileName, {f.EXoM, f.EYoM, f.ELanda, f.E2thetaD, f.EPhiAxis, f.EDistance, f.EDSize,
                              ws.Form28.Ediffractometer, ws.Form28.EUser, ws.Form28.CBVertical ? "1" : "0",
                              shape, f.ELength, f.EHeight, f.ERadius, f.EAMax, f.EPixSize, f.EDSizeX, f.EDSizeY,
                              f.Eth2offset});
}

bool LoadSettingsFile(Workspace& ws, Host& host, const std::string& fileName) {
    std::vector<std::string> lines;
    try {
        const FileBytes bytes = FileBytes::Read(fileName, MaxSettingsFileBytes);
        if (!LooksLikeText(bytes.view())) {
            host.message("Not a settings file: " + fileName);
            return false;
        }
        lines = SplitTextLines(bytes.view());
    } catch (const FileError& e) {
        host.message(e.what());
        return false;
    }
    if (lines.size() < SettingsFileMinLines) {
        host.message("Not a settings file (fewer than " + std::to_string(SettingsFileMinLines) +
                     " lines): " + fileName);
        return false;
    }
    auto line = [&](size_t n) -> const std::string& { return lines[n - 1]; };
    auto optional = [&](size_t n, const char* fallback) {
        return n <= lines.size() && !lines[n - 1].empty() ? lines[n - 1] : std::string(fallback);
    };

    TForm32& f = ws.Form32;
    f.EXoM = ws.Form27.EXoM = line(1);
    f.EYoM = ws.Form27.EYoM = line(2);
    f.ELanda = line(3);
    f.E2thetaD = line(4);
    f.EPhiAxis = ws.Form14.EPhiAxis = ws.Form16.EPhiAxis = line(5);
    f.EDistance = line(6);
    f.EDSize = line(7);
    ws.Form28.Ediffractometer = line(8);
    ws.Form28.EUser = line(9);
    ws.Form28.CBVertical = line(10) == "1";
    if (line(11) == "1" || line(11) == "2" || line(11) == "3") {
        f.SelectShape(line(11)[0] - '0');
        ws.FlatDetector = f.RFlat ? 1 : 0;
    }
    f.ELength = line(12);
    f.EHeight = line(13);
    f.ERadius = line(14);
    f.EAMax = line(15);
    f.EPixSize = line(16);
    f.EDSizeX = optional(17, "512");
    f.EDSizeY = optional(18, "512");
    f.Eth2offset = optional(19, "0.000");
    host.changed(View::Settings);

    try {
        WriteSettingsTxt(ws, fileName);
    } catch (const FileError& e) {
        host.message(e.what());
    }
    ws.LLog.Append("Loaded Settings " + FileNameOnly(fileName));
    host.changed(View::Logbook);
    return true;
}

std::string DistanceProblem(const std::string& typed, double distance) {
    if (distance >= DistanceMin && distance <= DistanceMax) return {};
    return "Distance: " + typed + " mm is not between " + FormatFixed(DistanceMin, 0) + " and " +
           FormatFixed(DistanceMax, 0) + " mm";
}

std::string DetectorAngleProblem(double angle) {
    if (angle > -180 && angle < 180) return {};
    return "2Theta of the detector: " + FormatNumber(angle) + " degrees (with the offset) is not above -180 and below 180";
}

bool ApplyDetectorSettings(Workspace& ws, Host& host) {
    TForm32& f = ws.Form32;
    TForm23& info = ws.Form23;
    // Read every ticked box first: one that is not a number stops Apply with
    // nothing changed.
    const double xo = f.CBXo ? ParseNumber(f.EXoM) : 0;
    const double yo = f.CBYo ? ParseNumber(f.EYoM) : 0;
    const double landa = f.CBlanda ? ParseNumber(f.ELanda) : 0;
    const double dsize = f.CBDSize ? ParseNumber(f.EDSize) : 0;
    const double distance = f.CBDistance ? ParseNumber(f.EDistance) : 0;
    const double angle = f.CB2thetaD ? ParseNumber(f.E2thetaD) : 0;
    const double offset = f.CB2thetaD ? ParseNumber(f.Eth2offset) : 0;

    // A value outside its range is refused, with its field and range, before
    // anything changes: the geometry in force and the boxes that show it
    // keep agreeing.
    auto refuse = [&](const std::string& field) {
        host.message("Value out of range !\n" + field);
        return false;
    };
    if (f.CBDSize && !(dsize >= DetectorSizeMin && dsize <= DetectorSizeMax))
        return refuse("Detector size: " + f.EDSize + " mm is not between " + FormatFixed(DetectorSizeMin, 0) +
                      " and " + FormatFixed(DetectorSizeMax, 0) + " mm");
    if (f.CBDistance) {
        if (const std::string problem = DistanceProblem(f.EDistance, distance); !problem.empty()) return refuse(problem);
    }
    if (f.CB2thetaD) {
        if (const std::string problem = DetectorAngleProblem(angle + offset); !problem.empty()) return refuse(problem);
    }

    if (f.CBXo) ws.Xo = xo;
    if (f.CBYo) ws.Yo = yo;
    if (f.CBlanda) {
        ws.Landa = TypedWavelength(landa);
        info.EWaveLen = f.ELanda = FormatWavelength(ws.Landa);
    }
    if (f.CBDSize) {
        ws.DSize = dsize;
        info.EDSizemm = FormatNumber(dsize);
    }
    if (f.CBDistance) {
        ws.Distance = distance;
        info.EDistancemm = FormatNumber(distance);
    }
    if (f.CB2thetaD) {
        ws.TwoThetaD = angle + offset;
        info.E2ThetaD = f.E2thetaD;
        ws.Form14.EPhiAxis = ws.Form16.EPhiAxis = f.EPhiAxis;
    }
    host.changed(View::FrameInfo);
    host.changed(View::Settings);
    return !ws.FrameIsLoaded() || RecomputeAfterGeometryChange(ws, host);
}

std::string FormatWavelength(double landa) {
    // Five significant digits, at least five decimals, then the trailing
    // zeros beyond the usual three dropped.
    int decimals = 5;
    if (landa != 0 && std::isfinite(landa))
        decimals = std::clamp(4 - static_cast<int>(std::floor(std::log10(std::abs(landa)))), 5, 9);
    std::string text = FormatNumber(landa, 15, decimals);
    const size_t point = text.find('.');
    if (point == std::string::npos || text.find_first_of("eE") != std::string::npos) return text;
    while (text.size() > point + 4 && text.back() == '0') text.pop_back();
    return text;
}

std::string WavelengthPreset(const std::string& anode) {
    if (anode == "Mo") return "0.70926";
    if (anode == "Cu") return "1.54060";
    if (anode == "Co") return "1.78890";
    if (anode == "Fe") return "1.93597";
    if (anode == "Cr") return "2.28962";
    return {};
}

void ApplyWavelength(Workspace& ws, Host& host) {
    double landa = ParseNumber(ws.Form19.Elanda);
    ws.Landa = TypedWavelength(landa);
    ws.Form23.EWaveLen = ws.Form32.ELanda = FormatWavelength(ws.Landa);
    host.changed(View::FrameInfo);
    host.changed(View::Settings);
}

void Correct2ThetaOK(Workspace& ws, Host& host) {
    const double measured = ParseNumber(ws.F2Theta.E2ThetaMeasured);
    const double correct = ParseNumber(ws.F2Theta.E2ThetaCorrect);
    const double d = std::fabs(ws.TwoThetaD);
    const double offset = correct - measured;
    const bool allowed = std::fabs(d - std::fabs(correct)) > 0.1 && std::fabs(d - std::fabs(measured)) > 0.1;
    TForm32& f = ws.Form32;
    // An angle of a half turn or more is a typing error, never a peak.
    for (const auto& [name, angle] : {std::pair{"2Theta measured", measured}, std::pair{"2Theta correct", correct}})
        if (!(std::fabs(angle) < 180)) {
            host.message("Value out of range !\n" + std::string(name) + ": " + FormatNumber(angle) +
                         " degrees is not above -180 and below 180");
            return;
        }
    // Scales one geometry value by the ratio of the two tangents, then the
    // geometry, the message, the logbook and a new scan. A result outside the
    // value's range is refused with nothing changed.
    auto correctValue = [&](double& value, double ratio, double lowest, double highest, const char* field,
                            std::string& box, std::string& infoBox, bool& tick, const std::string& message,
                            const std::string& logLine) {
        if (!allowed) {
            host.message("Please selects a peak at larger 2Theta angles !");
            return false;
        }
        const double corrected = std::fabs(value * ratio);
        if (!(corrected >= lowest && corrected <= highest)) {
            host.message("Value out of range !\n" + std::string(field) + ": " + FormatNumber(corrected) +
                         " mm is not between " + FormatFixed(lowest, 0) + " and " + FormatFixed(highest, 0) + " mm");
            return false;
        }
        value = corrected;
        box = infoBox = FormatNumber(value);
        tick = true;
        ComputeFrameGeometry(ws, host);
        UpdateProfileExtrema(ws);
        host.changed(View::Settings);
        host.message(message + box);
        ws.LLog.Append(logLine + box);
        N2ThetaScan1Click(ws, host);
        return true;
    };
    const double ratio = TanDegrees(d - std::fabs(measured)) / TanDegrees(d - std::fabs(correct));
    if (!f.RCylindrical && ws.F2Theta.RBDistance &&
        !correctValue(ws.Distance, ratio, DistanceMin, DistanceMax, "Distance", f.EDistance, ws.Form23.EDistancemm,
                      f.CBDistance, "IMPORTANT: Sample to Detector distance changed to ", "New Sample to Detector Distance = "))
        return;
    if (!f.RCylindrical && ws.F2Theta.RBDSize &&
        !correctValue(ws.DSize, 1 / ratio, DetectorSizeMin, DetectorSizeMax, "Detector size", f.EDSize,
                      ws.Form23.EDSizemm, f.CBDSize, "IMPORTANT: Detector Size changed to ", "New Detector Size set to = "))
        return;
    ws.LLog.Append("2Theta offset corrected = " + FormatNumber(offset));
    ws.ScanStage = 4;
    host.changed(View::Logbook);
}

} // namespace orv

#include "workspace/script.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <filesystem>
#include <stdexcept>
#include <system_error>

#include "formats/batch_worker.h"
#include "formats/reader.h"
#include "workspace/detector_settings.h"
#include "workspace/host.h"
#include "base/header_text.h"
#include "base/numbers.h"
#include "workspace/run_report.h"
#include "workspace/scan_writers.h"
#include "workspace/sector_scan.h"
#include "workspace/text_files.h"
#include "workspace/workspace.h"

namespace orv {

namespace {

constexpr std::string_view Digits = "0123456789";
constexpr std::string_view Decimal = ".0123456789";
constexpr std::string_view SignedDecimal = "-.0123456789";
constexpr int NumberFieldLength = 10;

// Reads a script line character by character; past the line's end every
// read gives '\0', so a short line never runs on into the next one.
class LineCursor {
public:
    explicit LineCursor(std::string_view line) : line_(line) {}

    char take() { return pos_ < line_.size() ? line_[pos_++] : '\0'; }
    void skip() { take(); }
    bool flag() { return take() == '1'; }
    std::string take(size_t n) {
        std::string s(line_.substr(std::min(pos_, line_.size()), n));
        pos_ += s.size();
        return s;
    }
    std::string rest() {
        std::string s(line_.substr(std::min(pos_, line_.size())));
        pos_ = line_.size();
        return s;
    }
    // A number field: up to ten characters, ended early by a blank (which
    // is consumed) or by the line's end; characters not in `collect` are
    // dropped but count towards the ten.
    std::string number(std::string_view collect) {
        std::string s;
        for (int n = 0; n < NumberFieldLength && pos_ < line_.size(); ++n) {
            const char c = line_[pos_++];
            if (c == ' ') break;
            if (collect.find(c) != std::string_view::npos) s += c;
        }
        return s;
    }

private:
    std::string_view line_;
    size_t pos_ = 0;
};

struct CommandName {
    std::string_view Text;
    ScriptCommandKind Kind;
};

// In the order the interpreter tests them.
constexpr std::array<CommandName, 11> Commands{{
    {"ADDFRAME", ScriptCommandKind::AddFrame},
    {"FINDCENT", ScriptCommandKind::FindCentre},
    {"ENDAPPLI", ScriptCommandKind::EndApplication},
    {"LOADSETF", ScriptCommandKind::LoadSettings},
    {"SAVESETF", ScriptCommandKind::SaveSettings},
    {"SETANGRA", ScriptCommandKind::SetAngleRange},
    {"SAVE2THS", ScriptCommandKind::SaveTwoThetaScan},
    {"SET2THST", ScriptCommandKind::SetTwoThetaStep},
    {"FITTOSTD", ScriptCommandKind::FitToStandard},
    {"SETWORKD", ScriptCommandKind::SetWorkDir},
    {"SETOUTPD", ScriptCommandKind::SetOutputDir},
}};

// A command stopped the script; the text says why. `Shown`: the user has
// already been told (by the command itself).
class ScriptStop : public std::runtime_error {
public:
    explicit ScriptStop(const std::string& text, bool shown = false)
        : std::runtime_error(text), Shown(shown) {}
    bool Shown;
};

std::string TrimRight(std::string s) {
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.pop_back();
    return s;
}

// What ADDFRAME finds in a file: only a PANalytical frame (line 2 carries
// "PANalytical" in columns 10 to 20) is added, and only when its pixels,
// the last width x height x 4 bytes, leave its 23 header lines whole.
enum class AddedFile { Other, Short, Frame };

constexpr uint64_t AddedHeaderBytes = 65536;   // where the 23 header lines must end

AddedFile InspectAddedFile(std::string_view bytes, uint64_t fileSize) {
    const std::vector<std::string_view> lines = LeadingLines(bytes.substr(0, AddedHeaderBytes), 23);
    if (lines.size() < 2 || Chars(lines[1], 10, 20) != "PANalytical") return AddedFile::Other;
    int32_t width = 0, height = 0;
    if (lines.size() < 23 || !TryParseInteger(RestAfter(lines[21], 6), width) ||
        !TryParseInteger(RestAfter(lines[22], 6), height) || width < 1 || height < 1)
        return AddedFile::Short;
    const uint64_t headerEnd = static_cast<uint64_t>(lines[22].data() + lines[22].size() - bytes.data());
    const uint64_t pixelBytes = uint64_t{4} * static_cast<uint64_t>(width) * static_cast<uint64_t>(height);
    return fileSize >= headerEnd + pixelBytes ? AddedFile::Frame : AddedFile::Short;
}

void AddFrame(Workspace& ws, Host& host, const ScriptCommand& c) {
    const bool subtract = c.Flags.at(0);
    const std::string& path = c.Name;
    if (!FileExists(path)) throw ScriptStop("Cannot open file " + path);
    // A line that adds nothing has failed: the later lines would save or
    // use a frame that lacks what the script meant to add.
    const FileBytes head = FileBytes::ReadStart(path, AddedHeaderBytes);
    switch (InspectAddedFile(head.view(), head.fileSize())) {
    case AddedFile::Other: throw ScriptStop("ADDFRAME: not a PANalytical frame, nothing added: " + path);
    case AddedFile::Short: throw ScriptStop("ADDFRAME: file too short, nothing added: " + path);
    case AddedFile::Frame: break;
    }
    ChainResult read = RunReaderChain(ws, host, ReaderChain::Arithmetic, path);
    if (!read.Read || read.Frame.ReaderName != "ReadPANalyticalFrame")
        throw ScriptStop("ADDFRAME: frame not read, nothing added: " + path +
                         (read.Error.empty() ? std::string() : " (" + read.Error + ")"));
    const NewFrame& other = read.Frame;
    if (!ws.FrameIsLoaded() || other.FrameWidth != ws.FrameWidth || other.FrameHeight != ws.FrameHeight ||
        ws.FramePixels.width() < ws.FrameWidth || ws.FramePixels.height() < ws.FrameHeight)
        throw ScriptStop("ADDFRAME: the frame of " + path + " is " + std::to_string(other.FrameWidth) + " x " +
                         std::to_string(other.FrameHeight) + ", the current frame " +
                         std::to_string(ws.FrameWidth) + " x " + std::to_string(ws.FrameHeight) +
                         "; nothing added");
    for (int32_t x = 1; x <= ws.FrameWidth; ++x) {
        int32_t* column = ws.FramePixels.Intensity[x];
        const int32_t* added = other.Intensity[x];
        for (int32_t y = 1; y <= ws.FrameHeight; ++y) {
            int32_t& intensity = column[y];
            if (intensity == MaskedIntensity) continue;
            const int32_t v = added[y];
            if (v == MaskedIntensity) {
                intensity = MaskedIntensity;
                continue;
            }
            const int64_t r = subtract ? int64_t{intensity} - v : int64_t{intensity} + v;
            intensity = static_cast<int32_t>(std::clamp<int64_t>(r, INT32_MIN, INT32_MAX));
        }
    }
    host.changed(View::Frame);
    N2ThetaScan1Click(ws, host);
}

void SelectCentreMethod(TForm27& form, char method) {
    bool* chosen = nullptr;
    switch (method) {
    case '1': chosen = &form.RAuto; break;
    case '2': chosen = &form.RGravity; break;
    case '3': chosen = &form.RCircle; break;
    case '4': chosen = &form.RBDBeam; break;
    default: return;
    }
    form.RCircle = form.RSector = form.RGravity = form.RAuto = form.RBDBeam = false;
    *chosen = true;
}

// A centre field of exactly "0" stands for the centre in force.
std::string CentreText(const std::string& field, double current) {
    if (field == "0") return FormatFixed(current, 3);
    ParseNumber(field);
    return field;
}

void FindCentre(Workspace& ws, Host& host, const ScriptCommand& c) {
    const std::string x = CentreText(c.Numbers.at(0), ws.Xo);
    const std::string y = CentreText(c.Numbers.at(1), ws.Yo);
    TForm27& form = ws.Form27;
    form.EXoM = x;
    form.EYoM = y;
    const bool typedCentre = c.Choice == '0';
    if (!typedCentre) SelectCentreMethod(form, c.Choice);
    form.CBXo = c.Flags.at(0);
    form.CBYo = c.Flags.at(1);
    form.CBInitPos = c.Flags.at(2);
    host.changed(View::Settings);
    std::string problem;
    if (ws.Hooks.FindCentre)
        problem = ws.Hooks.FindCentre(ws, host, typedCentre);
    else
        // Not a stop, but the run did not get what it asked for.
        ReportRunProblem(ws, host, RunProblem::Command, "FINDCENT: the centre search is not available");
    SelectCentreMethod(form, '1');
    host.changed(View::Settings);
    // The later lines would save or use a centre that was not found.
    if (!problem.empty()) throw ScriptStop("FINDCENT: " + problem);
}

void SetAngleRange(Workspace& ws, Host& host, const ScriptCommand& c) {
    std::array<float, 4> v{};
    for (size_t n = 0; n < v.size(); ++n) v[n] = static_cast<float>(ParseNumber(c.Numbers.at(n)));
    ws.SectorTwoTheta1 = v[0];
    ws.SectorTwoTheta2 = v[1];
    ws.SectorPsi1 = v[2];
    ws.SectorPsi2 = v[3];
    host.changed(View::Sector);
    N2ThetaScan1Click(ws, host);
}

void SaveTwoThetaScan(Workspace& ws, Host& host, const ScriptCommand& c) {
    switch (c.Choice) {
    case '1': CheckScanFormat(ws.Form13, ScanFormat::Xy); break;
    case '2': CheckScanFormat(ws.Form13, ScanFormat::Mdi); break;
    case '3': CheckScanFormat(ws.Form13, ScanFormat::Uxd); break;
    case '4': CheckScanFormat(ws.Form13, ScanFormat::Ths); break;
    case '5': CheckScanFormat(ws.Form13, ScanFormat::Plv); break;
    default: break;
    }
    host.changed(View::Settings);
    WriteTwoThetaScan(ws, ws.CurrentFile, ScanSource::Sector);
}

void SetTwoThetaStep(Workspace& ws, Host& host, const ScriptCommand& c) {
    const std::string& text = c.Numbers.at(0);
    if (ParseNumber(text) <= 0.005) {
        ws.FSetup.Eth2step = "0.005";
        ws.FSetup.CBth2step = false;
    } else {
        ws.FSetup.Eth2step = text;
        ws.FSetup.CBth2step = true;
    }
    host.changed(View::Settings);
}

void FitToStandard(Workspace& ws, Host& host, const ScriptCommand& c) {
    const int rounds = ParseInteger(c.Numbers.at(0));
    const std::string name = TrimRight(c.Name);
    const ScanHooks& hooks = ws.Hooks;
    if (hooks.SelectStandard) {
        if (name.empty() || !hooks.SelectStandard(ws, host, name))
            throw ScriptStop("No standard pattern matches '" + name + "'");
    }
    TForm41Fit& fit = ws.Form41Fit;
    const std::vector<bool>& f = c.Flags;
    fit.CBXo = f.at(0);
    fit.CBYo = f.at(1);
    fit.CB2theta = f.at(2);
    fit.CBdistance = f.at(3);
    if (fit.CBdistance) fit.CBDSize = false;
    fit.CBDSize = f.at(4);
    if (fit.CBDSize) fit.CBdistance = false;
    fit.CBXOffset = f.at(5);
    if (fit.CBXOffset) fit.CBXo = fit.CBYo = false;
    fit.CBYoffset = f.at(6);
    if (fit.CBYoffset) fit.CBXo = fit.CBYo = false;
    fit.CBPK = f.at(7);
    fit.cbbck = f.at(8);
    host.changed(View::Settings);
    if (hooks.SelectStandard && hooks.FitToStandard) {
        if (!hooks.FitToStandard(ws, host, f.at(9), rounds)) throw ScriptStop("FITTOSTD: the fit failed", true);
    } else
        ReportRunProblem(ws, host, RunProblem::Command, "FITTOSTD: the standard fit is not available");
}

void SetWorkDir(Workspace& ws, Host& host, const ScriptCommand& c) {
    if (!DirectoryExists(c.Name)) throw ScriptStop("Working folder not found: " + c.Name);
    ws.FSetup.EWorkDir = c.Name;
    host.changed(View::Settings);
}

void SetOutputDir(Workspace& ws, Host& host, const ScriptCommand& c) {
    if (!DirectoryExists(c.Name)) {
        std::error_code ec;
        std::filesystem::create_directories(c.Name, ec);
        if (ec || !DirectoryExists(c.Name)) throw ScriptStop("Cannot create the output folder " + c.Name);
    }
    ws.FSetup.EOutputdir = c.Name;
    ws.OutputDir = c.Name;
    host.changed(View::Settings);
}

void ReportScriptStop(Workspace& ws, Host& host, const std::string& fileName, size_t lineNumber,
                      const std::string& reason, bool shown) {
    ws.ScriptFailed = 1;
    ReportRunProblem(ws, host, RunProblem::Command,
                     "Script stopped: " + reason + " (script " + fileName + ", line " +
                         std::to_string(lineNumber) + ")",
                     !shown);
}

// Whether a command leaves the frame's pixels and geometry as they are
// (and draws nothing on it).
bool LeavesFrameAlone(ScriptCommandKind kind) {
    switch (kind) {
    case ScriptCommandKind::Unknown:
    case ScriptCommandKind::EndApplication:
    case ScriptCommandKind::SaveSettings:
    case ScriptCommandKind::SetAngleRange:
    case ScriptCommandKind::SaveTwoThetaScan:
    case ScriptCommandKind::SetTwoThetaStep:
    case ScriptCommandKind::SetWorkDir:
    case ScriptCommandKind::SetOutputDir: return true;
    default: return false;
    }
}

// Runs one command; false when it ends the script.
bool RunCommand(Workspace& ws, Host& host, const ScriptCommand& c) {
    if (!LeavesFrameAlone(c.Kind)) {
        // What was left for later is done on the frame as it is, and its
        // kept scans go.
        SettleDisplayMaximum(ws, host);
        ws.FrameScans.Forget();
    }
    switch (c.Kind) {
    case ScriptCommandKind::Unknown: break;
    case ScriptCommandKind::AddFrame: AddFrame(ws, host, c); break;
    case ScriptCommandKind::FindCentre: FindCentre(ws, host, c); break;
    case ScriptCommandKind::EndApplication:
        // Ends through the host once this step has returned: the script may
        // run inside the loading worker's hand-over. A list from the command
        // line still gives every later frame its script, and ends after it.
        if (!(ws.CommandLineRun && ws.ListFileRead)) ws.BatchRunning = 0;
        ws.EndAsked = true;
        host.requestExit(RunExitStatus(ws));
        return false;
    case ScriptCommandKind::LoadSettings:
        ws.Form20.CBFSettings = c.Flags.at(0);
        host.changed(View::Settings);
        if (!LoadSettingsFile(ws, host, c.Name)) throw ScriptStop("Settings not loaded from " + c.Name, true);
        break;
    case ScriptCommandKind::SaveSettings: SaveSettingsFile(ws, c.Name); break;
    case ScriptCommandKind::SetAngleRange: SetAngleRange(ws, host, c); break;
    case ScriptCommandKind::SaveTwoThetaScan: SaveTwoThetaScan(ws, host, c); break;
    case ScriptCommandKind::SetTwoThetaStep: SetTwoThetaStep(ws, host, c); break;
    case ScriptCommandKind::FitToStandard: FitToStandard(ws, host, c); break;
    case ScriptCommandKind::SetWorkDir: SetWorkDir(ws, host, c); break;
    case ScriptCommandKind::SetOutputDir: SetOutputDir(ws, host, c); break;
    }
    return true;
}

} // namespace

ScriptCommand ParseScriptLine(std::string_view line) {
    ScriptCommand c;
    LineCursor in(line);
    c.Command = in.take(8);
    for (char& ch : c.Command) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    for (const CommandName& command : Commands)
        if (c.Command == command.Text) c.Kind = command.Kind;
    if (c.Kind == ScriptCommandKind::Unknown || c.Kind == ScriptCommandKind::EndApplication) return c;
    in.skip();
    switch (c.Kind) {
    case ScriptCommandKind::AddFrame:
    case ScriptCommandKind::LoadSettings:
        c.Flags.push_back(in.flag());
        in.skip();
        c.Name = in.rest();
        break;
    case ScriptCommandKind::SaveSettings:
    case ScriptCommandKind::SetWorkDir:
    case ScriptCommandKind::SetOutputDir:
        c.Name = in.rest();
        break;
    case ScriptCommandKind::FindCentre:
        c.Numbers.push_back(in.number(SignedDecimal));
        c.Numbers.push_back(in.number(SignedDecimal));
        c.Choice = in.take();
        for (int n = 0; n < 3; ++n) {
            in.skip();
            c.Flags.push_back(in.flag());
        }
        break;
    case ScriptCommandKind::SetAngleRange:
        for (int n = 0; n < 4; ++n) c.Numbers.push_back(in.number(Decimal));
        break;
    case ScriptCommandKind::SaveTwoThetaScan:
        c.Choice = in.take();
        break;
    case ScriptCommandKind::SetTwoThetaStep:
        c.Numbers.push_back(in.number(Decimal));
        break;
    case ScriptCommandKind::FitToStandard:
        c.Name = in.take(8);
        for (int n = 0; n < 9; ++n) {
            in.skip();
            c.Flags.push_back(in.flag());
        }
        in.skip();
        c.Numbers.push_back(in.number(Digits));
        c.Flags.push_back(in.flag());
        break;
    default: break;
    }
    return c;
}

ScriptEnd RunScriptFile(Workspace& ws, Host& host, const std::string& fileName) {
    if (!FileExists(fileName)) return ScriptEnd::Missing;
    std::vector<std::string> lines;
    try {
        lines = ReadTextLines(fileName);
    } catch (const std::exception& e) {
        ReportScriptStop(ws, host, fileName, 0, e.what(), false);
        return ScriptEnd::Failed;
    }
    for (size_t n = 0; n < lines.size(); ++n) {
        const ScriptCommand command = ParseScriptLine(lines[n]);
        try {
            if (!RunCommand(ws, host, command)) return ScriptEnd::EndedProgram;
        } catch (const ScriptStop& e) {
            ReportScriptStop(ws, host, fileName, n + 1, e.what(), e.Shown);
            return ScriptEnd::Failed;
        } catch (const std::exception& e) {
            ReportScriptStop(ws, host, fileName, n + 1, e.what(), false);
            return ScriptEnd::Failed;
        }
    }
    return ScriptEnd::Completed;
}

void RunScriptCommand(Workspace& ws, Host& host) {
    ws.ScriptLoaded = 0;
    if (!ws.FrameIsLoaded() || ws.FileList.empty()) return;
    ws.ScriptFile = ws.Form20.EScript;
    if (!FileExists(ws.ScriptFile)) {
        host.message("Please select a script file to process !");
        return;
    }
    ws.ScriptLoaded = 1;
    RunScriptFile(ws, host, ws.ScriptFile);
}

void LoadScriptCommand(Workspace& ws, Host& host) {
    ws.ScriptFile.clear();
    ws.ScriptLoaded = 0;
    const std::vector<std::string> chosen =
        host.askOpenFileNames("Script files (*.txt)|*.txt|All files (*.*)|*.*", false);
    if (chosen.empty()) return;
    ws.Form20.EScript = chosen.front();
    ws.ScriptFile = chosen.front();
    ws.ScriptLoaded = 1;
    host.changed(View::Settings);
}

std::string SelectFrameScript(Workspace& ws, int32_t k) {
    if (!ws.ScriptLoaded || k < 0 || k >= static_cast<int32_t>(ws.ScriptList.size())) return {};
    const std::string& script = ws.ScriptList[k];
    if (script.empty()) return {};
    if (std::string problem = TextFileProblem(script, "script"); !problem.empty()) return problem;
    ws.ScriptFile = script;
    ws.Form20.EScript = script;
    return {};
}

ScriptEnd RunFrameScript(Workspace& ws, Host& host) {
    return RunScriptFile(ws, host, ws.ScriptFile);
}

} // namespace orv

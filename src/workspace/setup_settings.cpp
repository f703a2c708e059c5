#include "workspace/setup_settings.h"

#include <filesystem>
#include <optional>
#include <system_error>

#include "scans/psi_scan_window.h"
#include "workspace/geometry.h"
#include "workspace/host.h"
#include "base/numbers.h"
#include "workspace/program_folder.h"
#include "workspace/run_report.h"
#include "workspace/sector_scan.h"
#include "workspace/text_files.h"
#include "workspace/workspace.h"

namespace orv {

namespace fs = std::filesystem;

namespace {

// Makes `folder` the current folder; when that fails, creates it. Returns
// whether it was created (the caller then remembers it).
bool EnterOrCreateFolder(const std::string& folder, Host& host) {
    std::error_code ec;
    fs::current_path(folder, ec);
    if (!ec) return false;
    fs::create_directories(folder, ec);
    if (ec || !fs::is_directory(folder)) {
        host.message(folder + "can not be created");
        return false;
    }
    host.message(folder + "created");
    return true;
}

void UpdateStatusLight(Workspace& ws, Host& host) {
    ws.StatusLightRed = AnyBatchOutputChosen(ws);
    ws.Form23.EWorDir = ws.FSetup.EWorkDir;
    host.changed(View::Settings);
    host.changed(View::FrameInfo);
}

} // namespace

bool AnyBatchOutputChosen(const Workspace& ws) {
    const TFSetup& s = ws.FSetup;
    return s.CB2ThScan || s.CBPsiScan || s.CBDrings || s.CBdspacing || s.CB2ThScanPeaks || s.CBPsiScanPeaks ||
           s.CBDRingsSummary || s.CBIntegrateslides || s.PSSPSummary;
}

float AcceptedSliceWidth(double typed) {
    const double rounded = RoundHalfEven(typed);
    if (rounded == 1 || rounded == 5 || rounded == 10 || typed == 2.5) return static_cast<float>(typed);
    return 5.0f;
}

void SetupApplyBatch(Workspace& ws, Host& host) {
    TFSetup& s = ws.FSetup;
    const double sliceWidth = s.CBIntegrateslides ? ParseNumber(s.ESliceWidth) : 0;

    const std::string workDir = s.EWorkDir;
    if (EnterOrCreateFolder(workDir, host)) ws.WorkDir = workDir;
    ws.OpenDialogFolder = workDir;
    const std::string outputDir = s.EOutputdir;
    if (EnterOrCreateFolder(outputDir, host)) ws.OutputDir = outputDir;

    const std::string settingsTxt = SettingsTxtPath(ws);
    if (FileExists(settingsTxt)) {
        // One that cannot be read is left as it is.
        std::optional<std::vector<std::string>> lines;
        try {
            lines = ReadSettingsTxt(settingsTxt);
        } catch (const FileError& e) {
            host.message(e.what());
        }
        if (lines) WriteSettingsTxt(ws, lines->empty() ? std::string() : lines->front());
    }
    host.message("New experiment defined");
    UpdateStatusLight(ws, host);

    if (s.CBIntegrateslides) {
        ws.SliceWidth = AcceptedSliceWidth(sliceWidth);
        RefuseFrameOverwrite(ws, s.EExperiment + ".slc");
        WriteTextLines(s.EExperiment + ".slc",
                       {"2Theta integration range =" + FormatFixed(ws.SectorTwoTheta1, 3) + " to " +
                        FormatFixed(ws.SectorTwoTheta2, 3) + " Psi range = 0 to 360; SlicesWidth = " +
                        FormatFixed(ws.SliceWidth, 3)});
    }
}

void SetupApplyScan(Workspace& ws, Host& host) {
    TFSetup& s = ws.FSetup;
    const double step = s.CBth2step ? ParseNumber(s.Eth2step) : 0;
    const double psiStep = s.CBPsiStep ? ParseNumber(s.EPsiStep) : 0;
    // A step of 0 or below, or wider than the whole scan, is a typing error:
    // refused before anything changes.
    if (s.CBth2step && !(step > 0 && step <= 180)) {
        host.message("The 2Theta scan step must be above 0 and at most 180 degrees");
        return;
    }
    if (s.CBPsiStep && !(psiStep > 0 && psiStep <= 360)) {
        host.message("The Psi scan step must be above 0 and at most 360 degrees");
        return;
    }

    ws.Form7.EPeakWidth = s.EpeakWidth;
    ws.Form7.EBHeight = s.EBHeight;
    ws.Form6.EPWidth = s.EPWidth;
    ws.Form6.EIntPer = s.EIntPer;
    ws.Form6.EMinValue = s.EMinValue;
    ws.Form6.CBMinValue = s.CBMinValue;
    ws.Form20.ProgressBar1 = 0;
    if (s.CBth2step) ws.TwoThetaStep = static_cast<float>(step);
    if (s.CBPsiStep) ws.PsiStep = static_cast<float>(psiStep);
    host.changed(View::Settings);
    host.changed(View::Progress);
    if (!ws.FrameIsLoaded()) return;
    ComputeFrameGeometry(ws, host);
    ws.Form20.ProgressBar1 = 50;
    host.changed(View::Progress);
    N2ThetaScan1Click(ws, host);
    ws.Form20.ProgressBar1 = 100;
    host.changed(View::Progress);
}

void SetupPsiSummaryClick(Workspace& ws, Host& host) {
    RefuseFrameOverwrite(ws, PsiSummaryPath(ws));
    WriteTextLines(PsiSummaryPath(ws),
                   {"2theta range from " + FormatFixed(ws.SectorTwoTheta1, 3) + " to " +
                        FormatFixed(ws.SectorTwoTheta2, 3),
                    std::string("sample ID") + " NofPeaks.." + " PeakIntensity" + " PeakArea"});
    if (!ws.FSetup.CBPsiScanPeaks) {
        ws.FSetup.CBPsiScanPeaks = true;
        host.changed(View::Settings);
    }
}

void SetupAdjust2ThetaClick(Workspace& ws, Host& host) {
    const double target = ParseNumber(ws.FSetup.E2ThetaMax);
    if (target < ws.SectorTwoTheta1 || target > ws.SectorTwoTheta2)
        host.message("WARNING: Value outside 2theta range selected !");
}

void SetupClose(Workspace& ws, Host& host) { UpdateStatusLight(ws, host); }

} // namespace orv

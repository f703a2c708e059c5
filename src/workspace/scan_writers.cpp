#include "workspace/scan_writers.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "workspace/host.h"
#include "base/numbers.h"
#include "workspace/run_report.h"
#include "workspace/text_files.h"
#include "workspace/workspace.h"

namespace orv {

namespace {

// The date ("%Y-%m-%d") or time ("%H:%M:%S") of a file header: fixed
// numeric forms, so that the header never depends on the user's locale.
std::string LocalTimeText(std::time_t now, const char* format) {
    std::tm t{};
    localtime_r(&now, &t);
    char buf[32];
    std::strftime(buf, sizeof buf, format, &t);
    return buf;
}

std::string DateText(std::time_t now) { return LocalTimeText(now, "%Y-%m-%d"); }

// The last bin in use of a row, never beyond the row.
int32_t LastPoint(int32_t points) { return std::clamp(points, 0, MaxScanPoints); }

// The four header lines of ".plv" and ".ths".
std::vector<std::string> DescriptionHeader(const Workspace& ws) {
    return {ws.CurrentFile + "; Center at " + ws.Form23.EXo + ", " + ws.Form23.EYo +
                ws.FSetup.EExperiment + "; " + ws.Form28.Ediffractometer + "; " + ws.Form28.EUser,
            FormatFixedWidth(ws.SectorScan[0].TwoTheta, 5, 3), FormatFixedWidth(ws.TwoThetaStep, 5, 3),
            FormatFixedWidth(ws.Landa, 5, 4)};
}

// The psi bins of a psi step: round(360 / step), 0 for no step, never
// beyond the psi scan.
int32_t PsiBins(float psiStep) {
    if (!(psiStep > 0)) return 0;
    return std::clamp(RoundToInt(360.0 / psiStep), 0, PsiScanLength - 1);
}

std::string OutputFileName(const Workspace& ws, const std::string& extension) {
    return JoinPath(ws.OutputDir, FileNameOnly(ws.CurrentFile) + extension);
}

} // namespace

double DSpacing(double landa, double twoTheta) {
    if (twoTheta <= 0) return 0;
    return landa / (2.0 * std::sin(twoTheta * std::numbers::pi / 360.0));
}

ScanFormat CheckedScanFormat(const TForm13& form) {
    if (form.RB1Column) return ScanFormat::Plv;
    if (form.RB3Column) return ScanFormat::Ths;
    if (form.RBJade) return ScanFormat::Mdi;
    if (form.RBBruker) return ScanFormat::Uxd;
    return ScanFormat::Xy;
}

void CheckScanFormat(TForm13& form, ScanFormat format) {
    form.RB1Column = format == ScanFormat::Plv;
    form.RB2Column = format == ScanFormat::Xy;
    form.RB3Column = format == ScanFormat::Ths;
    form.RBJade = format == ScanFormat::Mdi;
    form.RBBruker = format == ScanFormat::Uxd;
}

std::string ScanFormatExtension(ScanFormat format) {
    switch (format) {
    case ScanFormat::Plv: return ".plv";
    case ScanFormat::Xy: return ".xy";
    case ScanFormat::Ths: return ".ths";
    case ScanFormat::Mdi: return ".mdi";
    case ScanFormat::Uxd: return ".uxd";
    }
    return ".xy";
}

std::vector<std::string> TwoThetaScanLines(const Workspace& ws, ScanFormat format, ScanSource source,
                                           std::time_t now) {
    const int32_t sectorLast = LastPoint(ws.SectorScanPoints);
    const ProfileRow& sector = ws.SectorScan;
    const bool fromSector = source == ScanSource::Sector || ws.FromThetaScan;
    const ProfileRow& data = fromSector ? ws.SectorScan : ws.FrameProfileCopy;
    const int32_t dataLast = fromSector ? sectorLast : LastPoint(ws.ScanPoints);

    std::vector<std::string> lines;
    switch (format) {
    case ScanFormat::Xy:
        for (int32_t k = 0; k <= dataLast; ++k)
            lines.push_back(FormatFixedWidth(data[k].TwoTheta, 11, 9) + " " + FormatFixed(data[k].Intensity, 1));
        break;
    case ScanFormat::Plv:
        lines = DescriptionHeader(ws);
        for (int32_t k = 0; k <= dataLast; ++k) lines.push_back(FormatFixedWidth(data[k].Intensity, 12, 3));
        break;
    case ScanFormat::Ths:
        lines = DescriptionHeader(ws);
        lines.push_back("DATA");
        for (int32_t k = 0; k <= dataLast; ++k)
            lines.push_back(FormatFixedWidth(data[k].TwoTheta, 12, 3) +
                            FormatFixedWidth(DSpacing(ws.Landa, data[k].TwoTheta), 12, 3) +
                            FormatFixedWidth(data[k].Intensity, 12, 3));
        break;
    case ScanFormat::Mdi: {
        lines.push_back(LocalTimeText(now, "%Y-%m-%d %H:%M:%S") + " Orvantide 4.1");
        lines.push_back(FormatFixed(sector[0].TwoTheta, 3) + " " + FormatFixed(ws.TwoThetaStep, 3) + " 1 US " +
                        FormatFixed(ws.Landa, 5) + " " + FormatFixed(sector[sectorLast].TwoTheta, 3) + " " +
                        std::to_string(sectorLast + 1));
        // Points 0..last, eight to a line; the last line holds what is left.
        std::string line;
        for (int32_t k = 0; k <= sectorLast; ++k) {
            line += FormatIntWidth(RoundToInt64(1000.0 * sector[k].Intensity), 12);
            if (k % 8 == 7 || k == sectorLast) {
                lines.push_back(line);
                line.clear();
            }
        }
        break;
    }
    case ScanFormat::Uxd:
        lines = {";",
                 "_SAMPLE=" + ws.CurrentFile,
                 "_DATEMEASURED=" + DateText(now),
                 "_WL_UNIT=A",
                 "_WL1=" + FormatFixed(ws.Landa, 6),
                 "; (Data for Range number 1)",
                 "_STEPSIZE=" + FormatFixed(ws.TwoThetaStep, 6),
                 "_START=" + FormatFixed(sector[0].TwoTheta, 3),
                 "_COUNTS"};
        for (int32_t k = 0; k <= sectorLast; ++k) lines.push_back("\t" + FormatFixed(sector[k].Intensity, 3));
        break;
    }
    return lines;
}

std::string WriteTwoThetaScan(const Workspace& ws, const std::string& basePath, ScanSource source,
                              std::time_t now) {
    const ScanFormat format = CheckedScanFormat(ws.Form13);
    const std::string name = WithExtension(basePath, ScanFormatExtension(format));
    RefuseFrameOverwrite(ws, name);
    WriteTextLines(name, TwoThetaScanLines(ws, format, source, now));
    return name;
}

std::string WritePsiScanFile(const Workspace& ws) {
    std::vector<std::string> lines{
        ws.CurrentFile + "; " + ws.FSetup.EExperiment,
        "Psi Scan sector using 2Theta = " + FormatFixedWidth(ws.SectorTwoTheta1, 5, 3) + "  to  " +
            FormatFixedWidth(ws.SectorTwoTheta2, 5, 3),
        "landa = " + FormatFixedWidth(ws.Landa, 5, 4)};
    const int32_t n = PsiBins(ws.PsiStep);
    for (int32_t k = 0; k <= n; ++k)
        lines.push_back(FormatFixedWidth(static_cast<double>(k) * ws.PsiStep, 5, 3) + "   " +
                        FormatFixedWidth(ws.PsiScanData[k], 8, 3));
    const std::string name = OutputFileName(ws, ".PSS");
    RefuseFrameOverwrite(ws, name);
    WriteTextLines(name, lines);
    return name;
}

std::string WriteDSpacingFile(const Workspace& ws) {
    std::vector<std::string> lines{ws.CurrentFile + "; " + ws.FSetup.EExperiment,
                                   "landa = " + FormatFixedWidth(ws.Landa, 5, 4), "Psi angle    d-spacing"};
    // The d-spacing table's own rows: the psi scan's step is another's.
    const DSpacingTable& table = ws.DSpacingData;
    const int32_t n = std::clamp<int32_t>(table.Count, 0, static_cast<int32_t>(table.D.size()));
    for (int32_t k = 0; k < n; ++k)
        lines.push_back(FormatFixedWidth(static_cast<double>(k) * table.Step, 5, 3) + "   " +
                        FormatFixedWidth(table.D[static_cast<size_t>(k)], 5, 3));
    const std::string name = OutputFileName(ws, ".DSP");
    RefuseFrameOverwrite(ws, name);
    WriteTextLines(name, lines);
    return name;
}

void FileFormatOK(Workspace& ws, Host& host) {
    // The name the file will have, not the frame's own (which it would replace).
    const auto chosen = host.askSaveFileName(
        ProposedSaveName(ws.CurrentFile, ScanFormatExtension(CheckedScanFormat(ws.Form13))),
        "2ThetaScan files (*.xy;*.ths; *.plv; *.mdi; *.uxd)|*.XY;*.THS;*.PLV;*.MDI;*.UXD|All files (*.*)|*.*");
    if (chosen) {
        try {
            WriteTwoThetaScan(ws, *chosen);
        } catch (const FileError& e) {
            host.message(e.what());
        }
    }
    ws.FromThetaScan = 0;
}

TwoThetaScanFile ReadTwoThetaScanFile(const std::string& path) {
    return ParseTwoThetaScanFile(ReadTextLines(path, MaxThsFileBytes));
}

TwoThetaScanFile ParseTwoThetaScanFile(const std::vector<std::string>& lines) {
    auto headerLine = [&](size_t n) -> const std::string& {
        static const std::string empty;
        return n < lines.size() ? lines[n] : empty;
    };
    TwoThetaScanFile scan;
    scan.Description = headerLine(0);
    scan.FirstTwoTheta = ParseNumber(headerLine(1));
    scan.TwoThetaStep = ParseNumber(headerLine(2));
    scan.Landa = ParseNumber(headerLine(3));
    auto field = [](const std::string& line, size_t from, size_t length) {
        return from < line.size() ? line.substr(from, length) : std::string();
    };
    for (size_t n = 5; n < lines.size() && scan.Points.size() < static_cast<size_t>(ProfileLength); ++n) {
        const std::string& line = lines[n];
        if (line.find_first_not_of(" \t") == std::string::npos) continue;
        ProfilePoint p;
        p.TwoTheta = static_cast<float>(ParseNumber(field(line, 0, 12)));
        p.Intensity = static_cast<float>(ParseNumber(field(line, 24, 12)));
        scan.Points.push_back(p);
    }
    return scan;
}

} // namespace orv

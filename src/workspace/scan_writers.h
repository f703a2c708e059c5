#pragma once
// Scan files for other powder programs: the 2-theta scan in five layouts
// (".plv", ".xy", ".ths", ".mdi", ".uxd", chosen on the FileFormat window),
// the batch psi scan (".PSS") and d-spacing against psi (".DSP"). Every line
// ends with CR LF; numbers use "." whatever the locale.

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include "workspace/frame_types.h"
#include "workspace/text_files.h"

namespace orv {

class Host;
struct Workspace;
struct TForm13;

// d = Landa / (2 sin(2-theta / 2)); 0 for a 2-theta of 0 or below.
double DSpacing(double landa, double twoTheta);

// The five layouts of the 2-theta scan export.
enum class ScanFormat { Plv, Xy, Ths, Mdi, Uxd };

// Which scan ".plv", ".xy" and ".ths" export (".mdi" and ".uxd" always take
// SectorScan, and every header describes SectorScan).
enum class ScanSource {
    Requester,   // SectorScan when the 2-theta scan window asked (FromThetaScan), else FrameProfileCopy
    Sector,      // SectorScan: the script's and the batch's saves
};

// The layout checked on the FileFormat window.
ScanFormat CheckedScanFormat(const TForm13& form);
// Checks exactly one layout's radio button.
void CheckScanFormat(TForm13& form, ScanFormat format);
// ".plv", ".xy", ".ths", ".mdi" or ".uxd".
std::string ScanFormatExtension(ScanFormat format);

// The lines of a 2-theta scan file in `format` (without line ends); `now`
// gives the date and time of the ".mdi" and ".uxd" headers.
std::vector<std::string> TwoThetaScanLines(const Workspace& ws, ScanFormat format, ScanSource source,
                                           std::time_t now);
// Writes the scan in the layout checked on Form13 to `basePath` + its
// extension (not appended again when the name ends in it) and returns that
// name. Throws FileError, also when the name is a frame in use.
std::string WriteTwoThetaScan(const Workspace& ws, const std::string& basePath,
                              ScanSource source = ScanSource::Requester,
                              std::time_t now = std::time(nullptr));
// The batch psi scan: OutputDir / (file name of CurrentFile) + ".PSS";
// returns the name written. Throws FileError (the d-spacing file too).
std::string WritePsiScanFile(const Workspace& ws);
// d-spacing against psi: OutputDir / (file name of CurrentFile) + ".DSP",
// the rows of DSpacingData at its own psi step; returns the name written.
// Throws FileError.
std::string WriteDSpacingFile(const Workspace& ws);

// "OK" of the FileFormat window: asks for a file name (proposing the
// frame's name with the format's extension) and writes the scan there; a
// write failure is reported.
// FromThetaScan is cleared in every case.
void FileFormatOK(Workspace& ws, Host& host);

// A ".ths" file read back: the first 2-theta, step and wavelength of its
// header and one point per data row (2-theta from characters 1-12,
// intensity from characters 25-36; Count stays 0).
struct TwoThetaScanFile {
    std::string Description;
    double FirstTwoTheta = 0;
    double TwoThetaStep = 0;
    double Landa = 0;
    std::vector<ProfilePoint> Points;   // at most ProfileLength
};
// Throws FileError when the file cannot be read or is larger than
// MaxThsFileBytes, and ConversionError at the first field that is not a
// number. Blank lines are skipped; rows beyond ProfileLength are not read.
TwoThetaScanFile ReadTwoThetaScanFile(const std::string& path);
// The largest ".ths" the scan window can show: five header lines (the first
// holds the frame's path and five boxes' texts, each other one a number or
// "DATA") and a row per scan point, at most MaxScanPoints + 1 rows of three
// numbers with three decimals, none wider than 64 characters (a value in
// single precision takes at most 44).
constexpr uint64_t MaxThsHeaderBytes = (6 + 4) * MaxBoxLineBytes;
constexpr uint64_t MaxThsRowBytes = 3 * 64 + 2;
constexpr uint64_t MaxThsFileBytes = MaxThsHeaderBytes + (MaxScanPoints + 1) * MaxThsRowBytes;
// The same for the lines of a file already read.
TwoThetaScanFile ParseTwoThetaScanFile(const std::vector<std::string>& lines);

} // namespace orv

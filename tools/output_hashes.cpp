// Hashes of everything a batch run leaves behind, so that two builds of the
// program can be compared bit for bit (tools/check_outputs.sh): every file a
// run writes (2-theta scans in the five formats, ".SEC", psi scans, peak
// lists, d-spacing and slice files, the intensities file) and the state a run
// ends with (scans, profiles, psi scan, planes, picture, charts, Frame Info,
// logbook), for the detector set-ups flat, tilted both ways, cylinder with a
// sample offset and sphere, with and without the flat-detector weight, run
// with nobody at the screen and with somebody, by batch outputs and by
// per-frame scripts; then every frame file of a folder (the format fixtures)
// through the load chain.
//
// Usage: output_hashes WORK_FOLDER [FRAME_FOLDER]
// The work folder is emptied first; give both builds the same one (paths
// appear in the logbook and in file headers).

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "formats/batch_worker.h"
#include "formats/native_frame.h"
#include "formats/reader.h"
#include "workspace/frame_display.h"
#include "workspace/host.h"
#include "workspace/startup.h"
#include "workspace/text_files.h"
#include "workspace/workspace.h"

namespace {

namespace fs = std::filesystem;

class Hash {
public:
    void bytes(const void* data, size_t n) {
        const auto* p = static_cast<const unsigned char*>(data);
        for (size_t k = 0; k < n; ++k) h_ = (h_ ^ p[k]) * 1099511628211ull;
    }
    template <typename T>
    void value(const T& v) {
        static_assert(std::is_trivially_copyable_v<T>);
        bytes(&v, sizeof v);
    }
    void text(const std::string& s) {
        value(s.size());
        bytes(s.data(), s.size());
    }
    template <typename T>
    void plane(const T& p) {
        value(p.width());
        value(p.height());
        for (int32_t i = 0; i <= p.width() + 1 && !p.empty(); ++i) bytes(p[i], sizeof(p[i][0]) * (p.height() + 2));
    }
    std::string hex() const {
        char out[17];
        std::snprintf(out, sizeof out, "%016llx", static_cast<unsigned long long>(h_));
        return out;
    }

private:
    uint64_t h_ = 14695981039346656037ull;
};

std::map<std::string, std::string> Results;

void Put(const std::string& name, const Hash& h) { Results[name] = h.hex(); }

std::string FileHash(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::string s((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    // A ".mdi" scan starts with the date and time it was written.
    if (p.extension() == ".mdi" && s.size() >= 19) s.erase(0, 19);
    Hash h;
    h.bytes(s.data(), s.size());
    return h.hex();
}

// A detector set-up: its shape and the geometry the frames carry.
struct Setup {
    const char* Name;
    int Shape;          // 1 flat, 2 cylinder, 3 sphere
    bool Vertical;
    double TwoThetaD, Distance, DSize;
    double XoShare, YoShare;   // the beam centre as shares of the width and height
    bool SampleOffset;
};

const Setup Setups[] = {
    {"flat", 1, false, 0, 150, 38.4, 0.49, 0.52, false},
    {"flat_htilt", 1, false, 25, 90, 38.4, -0.3, 0.47, false},
    {"flat_vtilt", 1, true, -12, 60, 32, 0.5, 0.3, false},
    {"cylinder", 2, false, 20, 130.2, 466, 0.5, 0.5, true},
    {"sphere", 3, false, 15, 130.2, 466, 0.5, 0.5, false},
};

struct Size {
    int32_t Width, Height;
};

// Rings around the beam over a falling background, counts with a little
// noise and one pixel in a hundred masked.
void MakeFrame(orv::Workspace& ws, const Setup& s, Size size, uint32_t seed) {
    ws.FrameWidth = size.Width;
    ws.FrameHeight = size.Height;
    ws.FrameSize = std::max(size.Width, size.Height);
    ws.FramePixels.Blank(size.Width, size.Height);
    ws.Landa = 0.7093;
    ws.TwoThetaD = s.TwoThetaD;
    ws.Distance = s.Distance;
    ws.DSize = s.DSize;
    ws.Xo = s.XoShare * size.Width;
    ws.Yo = s.YoShare * size.Height;
    uint32_t state = seed * 2654435761u + 7;
    for (int32_t i = 1; i <= size.Width; ++i)
        for (int32_t j = 1; j <= size.Height; ++j) {
            state = state * 1664525u + 1013904223u;
            const double r = std::hypot(i - ws.Xo, j - ws.Yo) / ws.FrameSize;
            const double ring = std::fmod(r * 23.0, 1.0);
            int32_t v = static_cast<int32_t>(40 + 300 * std::exp(-r * 3) + (ring < 0.08 ? 2500 * (0.08 - ring) / 0.08 : 0) +
                                             (state >> 26));
            if ((state >> 8) % 100 == 0) v = orv::MaskedIntensity;
            if ((state >> 8) % 5003 == 1) v = 250000;   // a hot pixel
            ws.FramePixels.Intensity[i][j] = v;
        }
}

std::string SettingsFile(const Setup& s, Size size) {
    char xo[32], yo[32];
    std::snprintf(xo, sizeof xo, "%.3f", s.XoShare * size.Width);
    std::snprintf(yo, sizeof yo, "%.3f", s.YoShare * size.Height);
    const std::string shape = std::to_string(s.Shape);
    char angle[32], distance[32], dsize[32];
    std::snprintf(angle, sizeof angle, "%.3f", s.TwoThetaD);
    std::snprintf(distance, sizeof distance, "%.3f", s.Distance);
    std::snprintf(dsize, sizeof dsize, "%.3f", s.DSize);
    return std::string(xo) + "\n" + yo + "\n0.7093\n" + angle + "\n0\n" + distance + "\n" + dsize +
           "\nbench\nbench\n" + (s.Vertical ? "1" : "0") + "\n" + shape + "\n466.0\n256.0\n130.2\n160.0\n100\n" +
           std::to_string(size.Width) + "\n" + std::to_string(size.Height) + "\n0.000\n";
}

void WriteBytes(const fs::path& p, const std::string& bytes) {
    std::ofstream out(p, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// An uncompressed 16-bit TIFF of the frame (masked pixels as 0).
std::string Tiff16(const orv::Workspace& ws) {
    std::string out = "II";
    auto put16 = [&](uint32_t v) {
        out += static_cast<char>(v & 0xff);
        out += static_cast<char>((v >> 8) & 0xff);
    };
    auto put32 = [&](uint32_t v) {
        put16(v & 0xffff);
        put16(v >> 16);
    };
    put16(42);
    put32(8);
    for (int32_t j = 1; j <= ws.FrameHeight; ++j)
        for (int32_t i = 1; i <= ws.FrameWidth; ++i)
            put16(static_cast<uint32_t>(std::clamp(ws.FramePixels.Intensity[i][j], 0, 65535)));
    const auto directory = static_cast<uint32_t>(out.size());
    out[4] = static_cast<char>(directory & 0xff);
    out[5] = static_cast<char>((directory >> 8) & 0xff);
    out[6] = static_cast<char>((directory >> 16) & 0xff);
    out[7] = static_cast<char>(directory >> 24);
    const uint32_t entries[][3] = {{256, 4, static_cast<uint32_t>(ws.FrameWidth)},
                                   {257, 4, static_cast<uint32_t>(ws.FrameHeight)},
                                   {258, 3, 16},
                                   {259, 3, 1},
                                   {273, 4, 8}};
    put16(5);
    for (const auto& e : entries) {
        put16(e[0]);
        put16(e[1]);
        put32(1);
        put32(e[2]);
    }
    put32(0);
    return out;
}

// The state a run ends with.
void HashState(const std::string& name, const orv::Workspace& ws) {
    auto row = [](Hash& h, const orv::ProfileRow& r) { h.bytes(r.data(), r.size() * sizeof(r[0])); };
    Hash scan;
    row(scan, ws.SectorScan);
    row(scan, ws.SectorScanBackup);
    scan.value(ws.SectorScanPoints);
    scan.value(ws.ScanMinIntensity);
    scan.value(ws.ScanMaxIntensity);
    Put(name + "/state/sector_scan", scan);
    Hash profile;
    row(profile, ws.FrameProfile);
    row(profile, ws.FrameProfileCopy);
    profile.value(ws.ScanPoints);
    profile.value(ws.TwoThetaStep);
    profile.value(ws.MinTwoTheta);
    profile.value(ws.MaxTwoTheta);
    profile.value(ws.LargestTwoTheta);
    for (const auto& r : ws.RingProfile) profile.value(r);
    Put(name + "/state/profile", profile);
    Hash psi;
    psi.bytes(ws.PsiScanData.data(), ws.PsiScanData.size() * sizeof(float));
    psi.bytes(ws.PsiScanBackup.data(), ws.PsiScanBackup.size() * sizeof(float));
    psi.value(ws.PsiStep);
    Put(name + "/state/psi_scan", psi);
    Hash series;
    // The slots of the listed scans (the others are never read).
    for (size_t r = 0; r < ws.Form9.LPWD.size() && r < ws.ScanSeries.size(); ++r) row(series, ws.ScanSeries[r]);
    for (const std::string& name : ws.Form9.LPWD) series.text(name);
    series.value(ws.SeriesMinTwoTheta);
    series.value(ws.SeriesMaxTwoTheta);
    series.value(ws.SeriesMinIntensity);
    series.value(ws.SeriesMaxIntensity);
    Put(name + "/state/series", series);
    Hash planes;
    planes.plane(ws.FramePixels.Intensity);
    planes.plane(ws.FramePixels.TwoTheta);
    planes.plane(ws.FramePixels.Psi);
    Put(name + "/state/planes", planes);
    Hash picture;
    for (const orv::RgbImage* image : {&ws.Form1.Image1, &ws.Form1.Image2}) {
        picture.value(image->Width);
        picture.value(image->Height);
        picture.bytes(image->Pixels.data(), image->Pixels.size() * sizeof(uint32_t));
    }
    picture.value(ws.MaxIntensity);
    picture.value(ws.DisplayWidth);
    Put(name + "/state/picture", picture);
    Hash charts;
    for (const orv::TRChart* chart : {&ws.Form2.RChart1, &ws.Form2.RChart2, &ws.Form12.RChart1, &ws.Form12.RChart2,
                                      &ws.Form9.RChart1}) {
        for (const orv::ChartItem& item : chart->Items()) {
            charts.value(item.X);
            charts.value(item.Y);
            charts.value(item.Color);
            charts.value(item.LineWidth);
            charts.value(item.Kind);
            charts.value(item.Layer);
        }
        charts.value(chart->ItemCount());
    }
    Put(name + "/state/charts", charts);
    Hash info;
    for (const std::string* box : {&ws.Form23.Panel2, &ws.Form23.Panel5, &ws.Form23.EXo, &ws.Form23.EYo,
                                   &ws.Form23.E2ThetaD, &ws.Form23.EWaveLen, &ws.Form23.EDistancemm,
                                   &ws.Form23.EDSizemm, &ws.Form1.Caption, &ws.Form2.Caption, &ws.FSetup.Eth2step})
        info.text(*box);
    info.value(ws.FramesLoaded);
    info.value(ws.HistorySlot);
    info.value(ws.Form20.ProgressBar1);
    for (const std::string& f : ws.HistoryFiles) info.text(f);
    Put(name + "/state/frame_info", info);
    Hash log;
    for (const std::string& line : ws.LLog.Lines()) log.text(line);
    Put(name + "/state/logbook", log);
}

struct RunOptions {
    bool Unattended = true;
    bool Weighted = false;
    bool Script = false;
    bool Mask = false;
    int Frames = 3;   // more than the scan series holds: the series' redraws too
};

void RunBatch(const fs::path& work, const Setup& s, Size size, const RunOptions& o) {
    std::string name = std::string(s.Name) + "_" + std::to_string(size.Width) + "x" + std::to_string(size.Height) +
                       (o.Unattended ? "_unattended" : "_shown") + (o.Weighted ? "_weighted" : "") +
                       (o.Script ? "_script" : "_outputs") + (o.Mask ? "_mask" : "") +
                       (o.Frames != 3 ? "_" + std::to_string(o.Frames) + "frames" : "");
    const fs::path dir = work / name;
    fs::create_directories(dir / "home");
    fs::create_directories(dir / "out");
    orv::Workspace ws;
    orv::RecordingHost host;
    host.Unattended = o.Unattended;
    host.confirmAnswer = false;
    orv::PrepareProgramFolder(ws, host, (dir / "home").string() + "/");
    WriteBytes(dir / "setup.set", SettingsFile(s, size));
    orv::WriteTextLines((dir / "home" / "Settings.txt").string(),
                        {(dir / "setup.set").string(), dir.string(), (dir / "out").string()});
    orv::RunTimeSetup(ws, host);
    orv::BuildPalette(ws);

    // Own-format frames and every third a TIFF, all of the set-up.
    std::vector<std::string> frames;
    for (int k = 0; k < o.Frames; ++k) {
        orv::Workspace maker;
        MakeFrame(maker, s, size, 11 + k);
        const bool tiff = k % 3 == 2;
        const fs::path p = dir / ("frame" + std::to_string(k) + (tiff ? ".tif" : ".orv"));
        if (tiff)
            WriteBytes(p, Tiff16(maker));
        else
            orv::WriteNativeFrame(maker, p.string());
        frames.push_back(p.string());
    }
    if (o.Mask) {
        std::string mask;
        for (int32_t n = 0; n < 400; ++n) {
            const uint32_t x = 1 + (n * 37) % size.Width, y = 1 + (n * 53) % size.Height;
            mask += {static_cast<char>(x & 0xff), static_cast<char>(x >> 8), static_cast<char>(y & 0xff),
                     static_cast<char>(y >> 8)};
        }
        WriteBytes(dir / "spots.msk", mask);
        ws.FSetup.CBMask = true;
        ws.FSetup.EMask = (dir / "spots.msk").string();
    }
    if (s.SampleOffset) {
        ws.Form32.CBSampleOffset = true;
        ws.Form32.ESampleX = "0.4";
        ws.Form32.ESampleY = "-0.3";
    }
    ws.FSetup.cbflat = o.Weighted;
    ws.FSetup.EExperiment = (dir / "Exp1").string();   // the slice file
    ws.SectorTwoTheta1 = 3;
    ws.SectorTwoTheta2 = 40;
    ws.SectorPsi1 = 20;
    ws.SectorPsi2 = 110;

    std::vector<std::string> list;
    if (o.Script) {
        const fs::path first = dir / "first.txt", other = dir / "other.txt";
        orv::WriteTextLines(first.string(), {"SETANGRA 3 40 20 110 ", "SAVE2THS 1", "SETANGRA 3 40 20 110 ",
                                             "SAVE2THS 4", "SETANGRA 5 30 300 60 ", "SAVE2THS 2", "SAVE2THS 3",
                                             "SAVE2THS 5", "SET2THST 0.02 "});
        orv::WriteTextLines(other.string(), {"SETANGRA 3 40 20 110 ", "SAVE2THS 1", "SETANGRA 4 35 100 200 ",
                                             "SAVE2THS 4", "SET2THST 0.004 "});
        for (size_t k = 0; k < frames.size(); ++k) {
            list.push_back("FILE " + frames[k]);
            list.push_back("SCRT " + (k == 0 ? first : other).string());
        }
    } else {
        orv::TFSetup& f = ws.FSetup;
        f.CB2ThScan = f.CBSectors = f.CBPsiScan = f.CB2ThScanPeaks = f.CBPsiScanPeaks = f.CBdspacing = true;
        f.CBIntegrateslides = f.cbIntegrateSector = f.CBBackground = true;
        for (const std::string& frame : frames) list.push_back("FILE " + frame);
    }
    orv::WriteTextLines((dir / "run.lst").string(), list);
    orv::ReadListFile(ws, (dir / "run.lst").string());
    ws.ListFileRead = 1;
    ws.CommandLineRun = o.Unattended ? 1 : 0;
    const int read = orv::TBatchThread::Execute(ws, host);
    Hash outcome;
    outcome.value(read);
    for (const std::string& m : host.messages) outcome.text(m);
    for (const std::string& c : host.confirmations) outcome.text(c);
    outcome.value(ws.FramesNotProcessed);
    outcome.value(ws.CommandsFailed);
    outcome.value(ws.ScriptFailed);
    Put(name + "/outcome", outcome);
    HashState(name, ws);

    std::vector<fs::path> written;
    for (const auto& entry : fs::recursive_directory_iterator(dir))
        if (entry.is_regular_file()) written.push_back(entry.path());
    std::sort(written.begin(), written.end());
    for (const fs::path& p : written) {
        const std::string rel = fs::relative(p, dir).string();
        if (std::find(frames.begin(), frames.end(), p.string()) != frames.end()) continue;
        Results[name + "/file/" + rel] = FileHash(p);
    }
}

void ReadFormats(const fs::path& folder) {
    std::vector<fs::path> files;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        if (entry.is_regular_file() && entry.path().extension() != ".json" && entry.path().extension() != ".md")
            files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    for (const fs::path& p : files) {
        orv::Workspace ws;
        orv::RecordingHost host;
        host.Unattended = true;
        const orv::ChainResult r = orv::RunReaderChain(ws, host, orv::ReaderChain::Load, p.string());
        Hash h;
        h.value(r.Read);
        h.text(r.Error);
        if (r.Read) {
            const orv::NewFrame& f = r.Frame;
            h.plane(f.Intensity);
            h.value(f.FrameWidth);
            h.value(f.FrameHeight);
            h.value(f.FrameSize);
            for (double v : {f.Landa, f.TwoThetaD, f.Distance, f.DSize, f.Xo, f.Yo}) h.value(v);
            h.value(f.PixelAspect);
            h.text(f.ReaderName);
            h.value(f.MaxIntensity.value_or(-12345));
        }
        Put("read/" + fs::relative(p, folder).string(), h);
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: output_hashes WORK_FOLDER [FRAME_FOLDER]\n");
        return 2;
    }
    const fs::path work = fs::absolute(argv[1]);
    fs::remove_all(work);
    fs::create_directories(work);
    for (const Setup& s : Setups)
        for (Size size : {Size{384, 256}, Size{1536, 1400}})
            for (bool unattended : {true, false})
                for (bool weighted : {false, true})
                    for (bool script : {false, true}) {
                        // The large frames once each way, the weight only where the detector is flat.
                        if (size.Width > 400 && (weighted || !unattended)) continue;
                        if (weighted && s.Shape != 1 && script) continue;
                        RunBatch(work, s, size, RunOptions{unattended, weighted, script, false});
                    }
    RunBatch(work, Setups[0], Size{384, 256}, RunOptions{true, false, false, true});
    RunBatch(work, Setups[0], Size{384, 256}, RunOptions{false, false, false, true});
    RunBatch(work, Setups[1], Size{384, 256}, RunOptions{true, false, true, true});
    for (bool unattended : {true, false})
        for (bool script : {false, true}) RunBatch(work, Setups[0], Size{384, 256}, RunOptions{unattended, false, script, false, 25});
    if (argc > 2) ReadFormats(argv[2]);
    for (const auto& [name, hash] : Results) std::printf("%s  %s\n", hash.c_str(), name.c_str());
    return 0;
}

// The program run from the command line on damaged and mistaken inputs, as a
// new user's unattended job would run it: every run must end by itself
// within its time limit, with status 1 and a reason on standard error when
// anything failed (0 when everything worked), and write nothing it should
// not. Each case makes its inputs in a folder of its own.

#include <csignal>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

#include "base/numbers.h"
#include "../core/calibration_test_support.h"
#include "formats/native_frame.h"
#include "workspace/detector_settings.h"
#include "workspace/text_files.h"
#include "workspace/workspace.h"

namespace {

namespace fs = std::filesystem;

constexpr auto TimeLimit = std::chrono::seconds(30);

struct Outcome {
    int Status = -1;        // exit status; -1 when it had to be killed or crashed
    bool TimedOut = false;
    std::string Errors;     // standard error
};

// Runs the program in `folder` with its own program folder `home`, offscreen
// (or, with `noDisplay`, with no display and no platform named at all), and
// kills it when it outlives the time limit.
Outcome RunProgram(const fs::path& folder, const fs::path& home, const std::vector<std::string>& args,
                   bool noDisplay = false) {
    const fs::path errors = folder / "stderr.txt";
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (::chdir(folder.c_str()) != 0) ::_exit(126);
        const int err = ::open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int out = ::open("/dev/null", O_WRONLY);
        if (err < 0 || out < 0) ::_exit(126);
        ::dup2(err, 2);
        ::dup2(out, 1);
        if (noDisplay) {
            for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) ::unsetenv(name);
        } else {
            ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
        }
        ::setenv("ORVANTIDE_HOME", home.c_str(), 1);
        std::vector<char*> argv{const_cast<char*>(ORV_PROGRAM)};
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(ORV_PROGRAM, argv.data());
        ::_exit(127);
    }
    Outcome outcome;
    const auto deadline = std::chrono::steady_clock::now() + TimeLimit;
    int status = 0;
    while (::waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            outcome.TimedOut = true;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (!outcome.TimedOut && WIFEXITED(status)) outcome.Status = WEXITSTATUS(status);
    outcome.Errors = orv::ReadWholeFile(errors.string());
    return outcome;
}

// The inputs of one case, made in its folder.
class Inputs {
public:
    explicit Inputs(fs::path folder) : folder_(std::move(folder)) {}
    std::string path(const std::string& name) const { return (folder_ / name).string(); }
    void bytes(const std::string& name, const std::string& content) const {
        fs::create_directories(fs::path(path(name)).parent_path());
        orv::WriteFileAtomically(path(name), content);
    }
    void lines(const std::string& name, const std::vector<std::string>& content) const {
        orv::WriteTextLines(path(name), content);
    }
    // A good frame of the program's own format (384 x 256, flat, off-centre).
    void frame(const std::string& name) const { bytes(name, GoodFrame()); }
    // The good frame with the 32-bit header field at `offset` changed.
    void frameWith(const std::string& name, size_t offset, int32_t value) const {
        std::string f = GoodFrame();
        for (int b = 0; b < 4; ++b) f[offset + b] = static_cast<char>((static_cast<uint32_t>(value) >> (8 * b)) & 0xff);
        bytes(name, f);
    }
    // A settings file from the default boxes, changed by `change`.
    void settings(const std::string& name, const std::function<void(orv::TForm32&)>& change) const {
        orv::Workspace ws;
        change(ws.Form32);
        orv::SaveSettingsFile(ws, path(name));
    }
    void folder(const std::string& name) const { fs::create_directories(path(name)); }
    // `head` then zeros up to 2 GiB, none of them written (a sparse file).
    void huge(const std::string& name, const std::string& head) const {
        bytes(name, head);
        fs::resize_file(path(name), uintmax_t{2} << 30);
    }
    void pipe(const std::string& name) const { ::mkfifo(path(name).c_str(), 0644); }

    static std::string GoodFrame() {
        return orv::ReadWholeFile(std::string(ORV_TEST_DATA) + "/geometry/flat384x256_offcentre.orv");
    }

private:
    fs::path folder_;
};

struct HeadlessCase {
    const char* Name;
    std::function<void(const Inputs& in, const Inputs& home)> Make;
    std::vector<std::string> Args;
    int Status;
    std::string Reason;                 // on standard error (status 1)
    std::vector<std::string> Written;   // must exist afterwards
    std::vector<std::string> NotWritten;
};

void PrintTo(const HeadlessCase& c, std::ostream* out) { *out << c.Name; }

const std::vector<std::string> SaveScan = {"SETANGRA 0 30 20 110 ", "SAVE2THS 1", "ENDAPPLI"};

std::vector<HeadlessCase> Cases() {
    // A script: its lines, then ENDAPPLI unless told otherwise.
    auto script = [](std::vector<std::string> lines) {
        return [lines](const Inputs& in, const Inputs&) { in.lines("s.txt", lines); };
    };
    auto frameAnd = [](std::vector<std::string> lines) {
        return [lines](const Inputs& in, const Inputs&) {
            in.frame("f.orv");
            in.lines("s.txt", lines);
        };
    };
    auto startUpSettings = [](std::function<void(const Inputs&)> makeSet) {
        return [makeSet](const Inputs& in, const Inputs& home) {
            in.frame("f.orv");
            in.lines("s.txt", SaveScan);
            makeSet(in);
            home.lines("Settings.txt", {in.path("start.set"), "", ""});
        };
    };
    return {
        // ---- Good runs end by themselves with 0.
        {"FrameAndScript", frameAnd(SaveScan), {"f.orv", "s.txt"}, 0, "", {"f.orv.xy"}, {}},
        {"ScriptWithoutEnd", frameAnd({"SAVE2THS 1"}), {"f.orv", "s.txt"}, 0, "", {"f.orv.xy"}, {}},
        {"ListWithScript",
         [](const Inputs& in, const Inputs&) {
             in.frame("a.orv");
             in.frame("b.orv");
             in.lines("s.txt", SaveScan);
             in.lines("l.lst", {"FILE a.orv", "SCRT s.txt", "FILE b.orv"});
         },
         {"l.lst"}, 0, "", {"a.orv.xy", "b.orv.xy"}, {}},
        {"SettingsFileAndScript",
         [](const Inputs& in, const Inputs&) {
             in.settings("my.set", [](orv::TForm32&) {});
             in.lines("s.txt", SaveScan);
         },
         {"my.set", "s.txt"}, 0, "", {}, {}},

        // ---- Frames that cannot be read or mapped.
        {"FrameMissing", script(SaveScan), {"none.orv", "s.txt"}, 1, "none.orv: not found", {}, {"none.orv.xy"}},
        {"FrameIsAFolder", [](const Inputs& in, const Inputs&) { in.folder("d.orv"); in.lines("s.txt", SaveScan); },
         {"d.orv", "s.txt"}, 1, "a folder", {}, {"d.orv.xy"}},
        {"FrameIsAPipe", [](const Inputs& in, const Inputs&) { in.pipe("p.orv"); in.lines("s.txt", SaveScan); },
         {"p.orv", "s.txt"}, 1, "not a plain file", {}, {"p.orv.xy"}},
        {"OwnFrameWithDistanceZero",
         [](const Inputs& in, const Inputs&) { in.frameWith("f.orv", 12, 0); in.lines("s.txt", SaveScan); },
         {"f.orv", "s.txt"}, 1, "distance must be greater than 0", {}, {"f.orv.xy"}},
        {"OwnFrameWithImpossibleSize",
         [](const Inputs& in, const Inputs&) { in.frameWith("f.orv", 20, 100000); in.lines("s.txt", SaveScan); },
         {"f.orv", "s.txt"}, 1, "f.orv could not be read", {}, {"f.orv.xy"}},
        {"TruncatedOwnFrame",
         [](const Inputs& in, const Inputs&) {
             in.bytes("f.orv", Inputs::GoodFrame().substr(0, 5000));
             in.lines("s.txt", SaveScan);
         },
         {"f.orv", "s.txt"}, 1, "f.orv could not be read", {}, {"f.orv.xy"}},
        {"DamagedTiff",
         [](const Inputs& in, const Inputs&) {
             // The TIFF signature, a first directory beyond the end, then 3 MB.
             in.bytes("f.tif", std::string("II*\0\xf0\xff\xff\x7f", 8) + std::string(3 << 20, '\x05'));
             in.lines("s.txt", SaveScan);
         },
         {"f.tif", "s.txt"}, 1, "a frame of the TIFF family that its reader does not accept", {}, {"f.tif.xy"}},
        {"DamagedBitmap",
         [](const Inputs& in, const Inputs&) {
             std::string bmp(3 << 20, '\x07');
             bmp.replace(0, 30, std::string("BM\0\0\0\0\0\0\0\0\x36\0\0\0\x28\0\0\0\x10\0\0\0\x10\0\0\0\x01\0\x07\0", 30));
             in.bytes("f.bmp", bmp);
             in.lines("s.txt", SaveScan);
         },
         {"f.bmp", "s.txt"}, 1, "the BMP family", {}, {"f.bmp.xy"}},
        {"ShortCsv",
         [](const Inputs& in, const Inputs&) {
             std::string csv;
             for (int r = 0; r < 300; ++r) csv += "1,2,3,4,5,6,7,8,9,10\r\n";
             in.bytes("f.csv", csv);
             in.lines("s.txt", SaveScan);
         },
         {"f.csv", "s.txt"}, 1, "the CSV file holds", {}, {"f.csv.xy"}},
        {"TinyCsvClaimingAHugeFrame", startUpSettings([](const Inputs& in) {
             in.bytes("f.csv", "1,2");
             in.settings("start.set", [](orv::TForm32& f) { f.EDSizeX = f.EDSizeY = "12000"; });
         }),
         {"f.csv", "s.txt"}, 1, "144000000", {}, {"f.csv.xy"}},
        {"HeaderNumberOfBinaryGarbage",
         [](const Inputs& in, const Inputs&) {
             // A text header whose pixel size is control characters.
             std::string header = "l1\nl2\nabcd5\nl4\nl5\nPIXEL_SIZE=\x01\x02\x1b[2J\x7f\x03\x04\n";
             in.bytes("f.img", header + std::string(4000, '\0'));
             in.lines("s.txt", SaveScan);
         },
         {"f.img", "s.txt"}, 1, "is not a valid number", {}, {"f.img.xy"}},

        // ---- Settings files that are empty, binary, missing or unusable.
        {"EmptySettingsAtStartUp", startUpSettings([](const Inputs& in) { in.bytes("start.set", ""); }), {"f.orv", "s.txt"},
         1, "Not a settings file", {"f.orv.xy"}, {}},
        {"BinarySettingsAtStartUp",
         startUpSettings([](const Inputs& in) { in.bytes("start.set", std::string("\0\1\2\3binary", 10)); }),
         {"f.orv", "s.txt"}, 1, "Not a settings file", {"f.orv.xy"}, {}},
        {"CylinderOfLengthZeroAtStartUp", startUpSettings([](const Inputs& in) {
             in.settings("start.set", [](orv::TForm32& f) {
                 f.SelectShape(2);
                 f.ELength = "0";
             });
         }),
         {"f.orv", "s.txt"}, 1, "length and radius must be greater than 0", {}, {"f.orv.xy"}},
        {"LoadSettingsOfABinaryFile",
         [](const Inputs& in, const Inputs&) {
             in.frame("f.orv");
             in.bytes("b.set", std::string(64, '\0'));
             in.lines("s.txt", {"LOADSETF 1 b.set", "SAVE2THS 1", "ENDAPPLI"});
         },
         {"f.orv", "s.txt"}, 1, "Not a settings file", {}, {"f.orv.xy"}},
        {"LoadSettingsOfAMissingFile", frameAnd({"LOADSETF 0 missing.set", "SAVE2THS 1", "ENDAPPLI"}),
         {"f.orv", "s.txt"}, 1, "missing.set", {}, {"f.orv.xy"}},
        {"HugeSettingsAtStartUp", startUpSettings([](const Inputs& in) { in.huge("start.set", "256\r\n"); }),
         {"f.orv", "s.txt"}, 1, "start.set", {"f.orv.xy"}, {}},
        {"HugeSettingsTxt",
         [](const Inputs& in, const Inputs& home) {
             in.frame("f.orv");
             in.lines("s.txt", SaveScan);
             home.huge("Settings.txt", "a.set\r\n");
         },
         {"f.orv", "s.txt"}, 1, "Settings.txt", {"f.orv.xy"}, {}},
        {"LoadSettingsOfAHugeFile",
         [](const Inputs& in, const Inputs&) {
             in.frame("f.orv");
             in.huge("big.set", "256\r\n");
             in.lines("s.txt", {"LOADSETF 1 big.set", "SAVE2THS 1", "ENDAPPLI"});
         },
         {"f.orv", "s.txt"}, 1, "too large", {}, {"f.orv.xy"}},
        {"HugeSettingsFileOnTheCommandLine",
         [](const Inputs& in, const Inputs&) { in.huge("big.set", "256\r\n"); in.lines("s.txt", SaveScan); },
         {"big.set", "s.txt"}, 1, "too large", {}, {}},
        {"SettingsFileOnTheCommandLineIsEmpty",
         [](const Inputs& in, const Inputs&) { in.bytes("e.set", ""); in.lines("s.txt", SaveScan); },
         {"e.set", "s.txt"}, 1, "Not a settings file", {}, {}},

        // ---- Scripts that stop.
        {"BadNumber", frameAnd({"SETANGRA 0 30 x 110 ", "SAVE2THS 1", "ENDAPPLI"}), {"f.orv", "s.txt"}, 1,
         "is not a valid number", {}, {"f.orv.xy"}},
        {"WorkingFolderMissing", frameAnd({"SETWORKD /no/such/folder", "SAVE2THS 1", "ENDAPPLI"}),
         {"f.orv", "s.txt"}, 1, "Working folder not found", {}, {"f.orv.xy"}},
        {"SettingsSavedToAnImpossiblePath", frameAnd({"SAVESETF /no/such/folder/x.set", "ENDAPPLI"}),
         {"f.orv", "s.txt"}, 1, "x.set", {}, {}},
        {"OutputFolderImpossible",
         [](const Inputs& in, const Inputs&) {
             in.frame("f.orv");
             in.bytes("plain", "x");
             in.lines("s.txt", {"SETOUTPD plain/sub", "ENDAPPLI"});
         },
         {"f.orv", "s.txt"}, 1, "Cannot create the output folder", {}, {"plain/sub"}},
        {"AddFrameMissing", frameAnd({"ADDFRAME 0 none.img", "SAVE2THS 1", "ENDAPPLI"}), {"f.orv", "s.txt"}, 1,
         "none.img", {}, {"f.orv.xy"}},
        {"AddFrameOfAnotherKind",
         [](const Inputs& in, const Inputs&) {
             in.frame("f.orv");
             in.frame("other.orv");
             in.lines("s.txt", {"ADDFRAME 0 other.orv", "SAVE2THS 1", "ENDAPPLI"});
         },
         {"f.orv", "s.txt"}, 1, "nothing added", {}, {"f.orv.xy"}},
        {"SettingsSavedOntoTheFrame", frameAnd({"SAVESETF f.orv", "SAVE2THS 1", "ENDAPPLI"}), {"f.orv", "s.txt"}, 1,
         "f.orv is the frame being analysed", {}, {"f.orv.xy"}},
        {"SettingsSavedOntoAFrameOfTheList",
         [](const Inputs& in, const Inputs&) {
             in.frame("a.orv");
             in.frame("b.orv");
             in.lines("s.txt", {"SAVESETF b.orv", "SAVE2THS 1", "ENDAPPLI"});
             in.lines("l.lst", {"FILE a.orv", "SCRT s.txt", "FILE b.orv"});
         },
         {"l.lst"}, 1, "b.orv is a frame of the opened list", {}, {"a.orv.xy", "b.orv.xy"}},
        {"ScanFileCannotBeWritten",
         [](const Inputs& in, const Inputs&) {
             in.frame("f.orv");
             in.folder("f.orv.xy");   // a folder stands where the scan goes
             in.lines("s.txt", SaveScan);
         },
         {"f.orv", "s.txt"}, 1, "f.orv.xy", {}, {}},

        {"FitWithoutRingsToFit",
         [](const Inputs& in, const Inputs&) {
             // A frame of one intensity: no ring of the standard has points.
             orv::Workspace ws;
             orv::RecordingHost host;
             orv::test::DrawPowderFrame(ws, host, orv::test::PowderGeometry(), {}, {0});
             orv::WriteNativeFrame(ws, in.path("flat.orv"));
             in.lines("s.txt", {"FITTOSTD LaB6     1 1 0 1 0 0 0 0 0 1 0", "SAVESETF x.set", "ENDAPPLI"});
         },
         {"flat.orv", "s.txt"}, 1, "No ring points to fit", {}, {"x.set"}},
        // Gold on ceria rings: nothing applied or saved.
        {"FitOfAStandardThatDoesNotMatch",
         [](const Inputs& in, const Inputs&) {
             in.bytes("f.orv", orv::ReadWholeFile(std::string(ORV_TEST_DATA) + "/calibration/offcentre_ceo2_noise.orv"));
             in.lines("s.txt", {"FITTOSTD Au       1 1 0 1 0 0 0 1 1 2 1", "SAVESETF x.set", "ENDAPPLI"});
         },
         {"f.orv", "s.txt"}, 1, "The standard does not match the frame", {}, {"x.set"}},

        // ---- Scripts that cannot be run.
        {"ScriptMissing", [](const Inputs& in, const Inputs&) { in.frame("f.orv"); }, {"f.orv", "none.txt"}, 1,
         "none.txt: not found", {}, {"f.orv.xy"}},
        {"ScriptIsAFolder", [](const Inputs& in, const Inputs&) { in.frame("f.orv"); in.folder("sd"); },
         {"f.orv", "sd"}, 1, "a folder", {}, {"f.orv.xy"}},
        {"ScriptIsAPipe", [](const Inputs& in, const Inputs&) { in.frame("f.orv"); in.pipe("sp"); },
         {"f.orv", "sp"}, 1, "not a plain file", {}, {"f.orv.xy"}},
        {"ScriptIsBinary",
         [](const Inputs& in, const Inputs&) { in.frame("f.orv"); in.bytes("s.bin", Inputs::GoodFrame()); },
         {"f.orv", "s.bin"}, 1, "not a text file", {}, {"f.orv.xy"}},
        {"FrameAndScriptSwapped", frameAnd(SaveScan), {"s.txt", "f.orv"}, 1, "not a text file", {}, {"s.txt.xy"}},

        // ---- Lists.
        {"ListWithAMissingFrame",
         [](const Inputs& in, const Inputs&) {
             in.frame("a.orv");
             in.frame("c.orv");
             in.lines("s.txt", SaveScan);
             in.lines("l.lst", {"FILE a.orv", "SCRT s.txt", "FILE gone.orv", "FILE c.orv"});
         },
         {"l.lst"}, 1, "gone.orv could not be read", {"a.orv.xy", "c.orv.xy"}, {"gone.orv.xy"}},
        {"ListWithAMissingScript",
         [](const Inputs& in, const Inputs&) {
             in.frame("a.orv");
             in.lines("l.lst", {"FILE a.orv", "SCRT gone.txt"});
         },
         {"l.lst"}, 1, "gone.txt: not found", {}, {"a.orv.xy"}},
        {"ListWithAFolderAndAPipe",
         [](const Inputs& in, const Inputs&) {
             in.folder("d.orv");
             in.pipe("p.orv");
             in.frame("c.orv");
             in.lines("s.txt", SaveScan);
             in.lines("l.lst", {"FILE d.orv", "SCRT s.txt", "FILE p.orv", "FILE c.orv"});
         },
         {"l.lst"}, 1, "p.orv could not be read: not a plain file", {"c.orv.xy"}, {}},
        {"ListWithoutFrames", [](const Inputs& in, const Inputs&) { in.lines("l.lst", {"SCRT s.txt", "# nothing"}); },
         {"l.lst"}, 1, "names no frame", {}, {}},
        {"ListThatIsBinary", [](const Inputs& in, const Inputs&) { in.bytes("l.lst", Inputs::GoodFrame()); },
         {"l.lst"}, 1, "not a text file", {}, {}},
        {"ListMissing", [](const Inputs&, const Inputs&) {}, {"none.lst"}, 1, "none.lst: not found", {}, {}},
        {"ListWhoseGeometryFailsAfterLettersAreLoaded",
         [](const Inputs& in, const Inputs&) {
             in.frame("a.orv");
             in.frame("b.orv");
             in.frame("c.orv");
             in.settings("letters.set", [](orv::TForm32& f) {
                 f.EXoM = f.EYoM = f.EDistance = f.EDSize = f.E2thetaD = "abc";
             });
             in.settings("good.set", [](orv::TForm32&) {});
             in.lines("s1.txt", {"SAVE2THS 1", "LOADSETF 1 letters.set"});
             in.lines("s3.txt", {"SAVE2THS 1"});
             in.lines("l.lst", {"FILE a.orv", "SCRT s1.txt", "FILE b.orv", "FILE c.orv", "SCRT s3.txt"});
         },
         {"l.lst"}, 1, "'abc' is not a valid number", {"a.orv.xy"}, {"b.orv.xy", "c.orv.xy"}},
        {"EndInTheFirstFrameStillProcessesTheList",
         [](const Inputs& in, const Inputs&) {
             in.frame("a.orv");
             in.frame("c.orv");
             in.lines("s.txt", SaveScan);
             in.lines("l.lst", {"FILE a.orv", "SCRT s.txt", "FILE b.orv", "FILE c.orv"});
         },
         {"l.lst"}, 1, "b.orv could not be read", {"a.orv.xy", "c.orv.xy"}, {}},
    };
}

class HeadlessRun : public ::testing::TestWithParam<HeadlessCase> {};

TEST_P(HeadlessRun, EndsByItselfWithTheTruth) {
    const HeadlessCase& c = GetParam();
    const fs::path root = fs::temp_directory_path() / ("orv-headless-" + std::to_string(::getpid()) + "-" + c.Name);
    fs::remove_all(root);
    const fs::path folder = root / "run", home = root / "home";
    fs::create_directories(folder);
    fs::create_directories(home);
    c.Make(Inputs(folder), Inputs(home));

    const Outcome out = RunProgram(folder, home, c.Args);
    ASSERT_FALSE(out.TimedOut) << c.Name << " still ran after the time limit; standard error:\n" << out.Errors;
    EXPECT_EQ(out.Status, c.Status) << out.Errors;
    if (c.Status != 0) {
        EXPECT_NE(out.Errors.find(c.Reason), std::string::npos) << "reason '" << c.Reason << "' not in:\n" << out.Errors;
        EXPECT_NE(out.Errors.find("orvantide: the run failed"), std::string::npos) << out.Errors;
    }
    for (const std::string& name : c.Written) EXPECT_TRUE(fs::exists(folder / name)) << name << " was not written";
    for (const std::string& name : c.NotWritten) EXPECT_FALSE(fs::exists(folder / name)) << name << " was written";
    // Nothing half-written is left behind, and standard error is text.
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        EXPECT_NE(entry.path().extension(), ".part") << entry.path();
    for (unsigned char ch : out.Errors) EXPECT_TRUE(ch == '\n' || (ch >= 32 && ch < 127)) << int(ch);
    fs::remove_all(root);
}

// FITTOSTD from the command line: a frame of LaB6 rings whose header puts
// the detector 3 per cent too far and the centre 5 pixels off; the script
// fits it (AA, then two rounds) and saves the settings, which must hold the
// geometry the rings were drawn with.
TEST(HeadlessFitTest, FitToStandardSavesTheFittedGeometry) {
    const fs::path root = fs::temp_directory_path() / ("orv-headless-fit-" + std::to_string(::getpid()));
    fs::remove_all(root);
    const fs::path folder = root / "run", home = root / "home";
    fs::create_directories(folder);
    fs::create_directories(home);
    orv::Workspace ws;
    orv::RecordingHost host;
    const orv::test::PowderGeometry truth;
    orv::test::DrawPowderFrame(ws, host, truth, orv::test::CalibrantSpacings("LaB6"), {60, 100, 40, 25, 55, 30, 15});
    orv::test::SetPowderGeometry(ws, orv::test::Misplaced(truth, 1.03, 5, -5));
    orv::WriteNativeFrame(ws, (folder / "lab6.orv").string());
    orv::WriteTextLines((folder / "s.txt").string(),
                        {"FITTOSTD LaB6     1 1 0 1 0 0 0 1 1 2 1", "SAVESETF fitted.set", "ENDAPPLI"});

    const Outcome out = RunProgram(folder, home, {"lab6.orv", "s.txt"});
    ASSERT_FALSE(out.TimedOut) << out.Errors;
    EXPECT_EQ(out.Status, 0) << out.Errors;
    const std::vector<std::string> set = orv::ReadTextLines((folder / "fitted.set").string());
    ASSERT_GE(set.size(), 7u);
    EXPECT_NEAR(orv::ParseNumber(set[0]), truth.Xo, 0.5);
    EXPECT_NEAR(orv::ParseNumber(set[1]), truth.Yo, 0.5);
    EXPECT_NEAR(orv::ParseNumber(set[5]) / truth.Distance, 1, 0.001);
    EXPECT_EQ(set[6], "51.200");
    fs::remove_all(root);
}

INSTANTIATE_TEST_SUITE_P(DamagedAndMistakenInputs, HeadlessRun, ::testing::ValuesIn(Cases()),
                         [](const ::testing::TestParamInfo<HeadlessCase>& info) { return info.param.Name; });

} // namespace

namespace {

TEST(HeadlessCentreRun, FindCentreFromAScriptSavesTheCentreItFound) {
    const fs::path root = fs::temp_directory_path() / ("orv-headless-" + std::to_string(::getpid()) + "-centre");
    fs::remove_all(root);
    const fs::path folder = root / "run", home = root / "home";
    fs::create_directories(folder);
    fs::create_directories(home);
    const Inputs in(folder);
    in.frame("f.orv");   // rings about (150.4, 120.6)
    // Auto from 6 pixels off, both axes, from the typed start.
    in.lines("s.txt", {"FINDCENT 145 126 1 1 1 1", "SAVESETF out.set", "ENDAPPLI"});
    Outcome out = RunProgram(folder, home, {"f.orv", "s.txt"});
    ASSERT_FALSE(out.TimedOut);
    EXPECT_EQ(out.Status, 0) << out.Errors;
    const std::vector<std::string> saved = orv::ReadTextLines((folder / "out.set").string());
    ASSERT_GE(saved.size(), 2u);
    EXPECT_NEAR(orv::ParseNumber(saved[0]), 150.4, 0.1) << saved[0];
    EXPECT_NEAR(orv::ParseNumber(saved[1]), 120.6, 0.1) << saved[1];

    // No ring in the sector: the script stops, nothing is saved, and why is on standard error.
    in.lines("s2.txt", {"SETANGRA 40 45 0 360 ", "FINDCENT 145 126 1 1 1 1", "SAVESETF out2.set", "ENDAPPLI"});
    out = RunProgram(folder, home, {"f.orv", "s2.txt"});
    ASSERT_FALSE(out.TimedOut);
    EXPECT_EQ(out.Status, 1);
    EXPECT_NE(out.Errors.find("FINDCENT: No ring between 2Theta 40.000 and 45.000"), std::string::npos) << out.Errors;
    EXPECT_FALSE(fs::exists(folder / "out2.set"));

    // A start 170 pixels away (a third of the distance): the centre found is
    // the true one, or none is found and the run ends with status 1.
    in.lines("s3.txt", {"FINDCENT 20 230 1 1 1 1", "SAVESETF out3.set", "ENDAPPLI"});
    out = RunProgram(folder, home, {"f.orv", "s3.txt"});
    ASSERT_FALSE(out.TimedOut);
    if (out.Status == 0) {
        const std::vector<std::string> far = orv::ReadTextLines((folder / "out3.set").string());
        ASSERT_GE(far.size(), 2u);
        EXPECT_NEAR(orv::ParseNumber(far[0]), 150.4, 0.1) << far[0];
        EXPECT_NEAR(orv::ParseNumber(far[1]), 120.6, 0.1) << far[1];
    } else {
        EXPECT_EQ(out.Status, 1);
        EXPECT_NE(out.Errors.find("no centre found"), std::string::npos) << out.Errors;
        EXPECT_FALSE(fs::exists(folder / "out3.set"));
    }
    fs::remove_all(root);
}

// A server or job queue has no display: a run from the command line still
// does its work and ends with its status.
TEST(HeadlessRunWithoutDisplay, ScriptRunsAndEnds) {
    const fs::path root = fs::temp_directory_path() / ("orv-headless-" + std::to_string(::getpid()) + "-nodisplay");
    fs::remove_all(root);
    const fs::path folder = root / "run", home = root / "home";
    fs::create_directories(folder);
    fs::create_directories(home);
    const Inputs in(folder);
    in.frame("f.orv");
    in.lines("s.txt", {"SAVESETF out.set", "ENDAPPLI"});
    Outcome out = RunProgram(folder, home, {"f.orv", "s.txt"}, true);
    ASSERT_FALSE(out.TimedOut);
    EXPECT_EQ(out.Status, 0) << out.Errors;
    EXPECT_EQ(out.Errors, "");   // nothing but the run's own reasons, and it had none
    EXPECT_TRUE(fs::exists(folder / "out.set"));
    in.lines("bad.txt", {"SETWORKD " + (folder / "missing").string(), "ENDAPPLI"});
    out = RunProgram(folder, home, {"f.orv", "bad.txt"}, true);
    ASSERT_FALSE(out.TimedOut);
    EXPECT_EQ(out.Status, 1) << out.Errors;
    std::istringstream lines(out.Errors);
    int count = 0;
    for (std::string line; std::getline(lines, line); ++count) EXPECT_EQ(line.rfind("orvantide: ", 0), 0u) << line;
    EXPECT_EQ(count, 2) << out.Errors;   // the reason and the count of failures
    fs::remove_all(root);
}

} // namespace

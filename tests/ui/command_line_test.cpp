// The program run from the command line, as a user's batch script would:
// `orvantide FRAME SCRIPT`, without anybody at the screen.

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include "workspace/text_files.h"

namespace {

namespace fs = std::filesystem;

struct RunFolder {
    fs::path dir;
    RunFolder() {
        dir = fs::temp_directory_path() / ("orv-cli-" + std::to_string(::getpid()) + "-" + std::to_string(rand()));
        fs::create_directories(dir / "home");
    }
    ~RunFolder() {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
    std::string file(const std::string& name) const { return (dir / name).string(); }
};

// Runs the program offscreen with its own program folder; returns its exit status.
int RunProgram(const RunFolder& run, const std::string& args) {
    const std::string command = "cd '" + run.dir.string() + "' && QT_QPA_PLATFORM=offscreen ORVANTIDE_HOME='" +
                                run.file("home") + "' timeout 60 '" + ORV_PROGRAM + "' " + args + " 2>'" +
                                run.file("stderr.txt") + "'";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

struct ReferenceBin {
    double twoTheta = 0, mean = 0;
    long count = 0;
};

std::vector<ReferenceBin> ReadReference(const std::string& path) {
    std::vector<ReferenceBin> bins;
    for (const std::string& line : orv::ReadTextLines(path)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream in(line);
        int k = 0;
        double radial = 0, sum = 0;
        ReferenceBin b;
        in >> k >> b.twoTheta >> radial >> b.mean >> b.count >> sum;
        bins.push_back(b);
    }
    return bins;
}

} // namespace

TEST(CommandLineRunTest, FrameAndScriptWriteTheSectorScanAndEndWithStatusZero) {
    RunFolder run;
    fs::copy_file(std::string(ORV_TEST_DATA) + "/geometry/flat384x256_offcentre.orv", run.file("frame.orv"));
    orv::WriteTextLines(run.file("scan.txt"), {"SETANGRA 0 30 20 110 ", "SAVE2THS 1", "ENDAPPLI"});
    ASSERT_EQ(RunProgram(run, "frame.orv scan.txt"), 0) << orv::ReadWholeFile(run.file("stderr.txt"));

    // The ".xy" scan of the sector psi 20..110 against the independent
    // integration of the same pixels, bin by bin.
    const auto lines = orv::ReadTextLines(run.file("frame.orv.xy"));
    const auto reference = ReadReference(std::string(ORV_TEST_DATA) + "/geometry/flat384x256_offcentre.auto.psi20-110.txt");
    ASSERT_GT(lines.size(), 200u);
    int compared = 0;
    for (size_t k = 1; k < lines.size() && k < reference.size(); ++k) {
        std::istringstream in(lines[k]);
        double twoTheta = 0, intensity = 0;
        in >> twoTheta >> intensity;
        EXPECT_NEAR(twoTheta, reference[k].twoTheta, 5e-4) << k;
        if (reference[k].count < 20) continue;   // the end of the scan is cut where bins thin out
        EXPECT_NEAR(intensity, reference[k].mean, 0.5 + 1e-5 * reference[k].mean) << k;
        ++compared;
    }
    EXPECT_GT(compared, 200);
}

TEST(CommandLineRunTest, AnUnreadableOnlyFrameEndsWithAFailureStatus) {
    RunFolder run;
    orv::WriteTextLines(run.file("broken.orv"), {"this is not a frame"});
    orv::WriteTextLines(run.file("scan.txt"), {"SAVE2THS 1", "ENDAPPLI"});
    EXPECT_NE(RunProgram(run, "broken.orv scan.txt"), 0);
    EXPECT_NE(orv::ReadWholeFile(run.file("stderr.txt")).find("broken.orv"), std::string::npos);
    EXPECT_NE(RunProgram(run, "missing.orv scan.txt"), 0);
}

// The Mineral List and New Pattern windows used through their controls, and
// the script's FITTOSTD selecting a standard in the running program.

#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "scans/mineral_database.h"
#include "scans/mineral_list.h"
#include "scans/ui/mineral_windows.h"
#include "windows_test_support.h"
#include "workspace/text_files.h"
#include "workspace/ui/application.h"
#include "workspace/workspace.h"

using namespace orv;
using namespace orv::test;

namespace {

namespace fs = std::filesystem;

struct Folder {
    fs::path dir;
    Folder() {
        dir = fs::temp_directory_path() / ("orv-minerals-" + std::to_string(::getpid()) + "-" + std::to_string(rand()));
        fs::create_directories(dir);
    }
    ~Folder() {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
    std::string file(const std::string& name) const { return (dir / name).string(); }
};

// Answers the open dialog too.
class PatternHost : public TestHost {
public:
    std::vector<std::string> askOpenFileNames(const std::string&, bool) override { return openAnswer; }
    std::vector<std::string> openAnswer;
};

std::vector<std::string> Rows(QListWidget* list) {
    std::vector<std::string> rows;
    for (int i = 0; i < list->count(); ++i) rows.push_back(list->item(i)->text().toStdString());
    return rows;
}

void ClickRow(QListWidget* list, int row) {
    Click(list->viewport(), list->visualItemRect(list->item(row)).center());
}

int RecordsIn(const std::string& path) { return static_cast<int>(ReadWholeFile(path).size() / MineralRecordBytes); }

class MineralWindowsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ws.InstallDir = folder.dir.string() + "/";
        InstallShippedMinerals(ws.InstallDir);
        shipped = ParseMineralFile(ShippedMineralBytes()).Records.size();
    }
    Folder folder;
    Workspace ws;
    PatternHost host;
    size_t shipped = 0;
};

} // namespace

TEST_F(MineralWindowsTest, ListFiltersSelectsAndRemoves) {
    TForm18Window w(ws, host);
    std::vector<int32_t> selected;
    w.onStandardSelected = [&](int32_t pattern) { selected.push_back(pattern); };
    EXPECT_EQ(w.windowTitle(), "Mineral List");
    w.show();
    QListWidget* list = w.mineralList();
    ASSERT_EQ(static_cast<size_t>(list->count()), shipped);
    EXPECT_EQ(Rows(list)[0], "Si silicon (SRM 640e) Si");
    EXPECT_EQ(Find<QLineEdit>(&w, "EWidth")->text(), "0.4");

    Find<QRadioButton>(&w, "RadioButton2")->click();
    Type(Find<QLineEdit>(&w, "EAnd"), "TiO2");
    Find<QPushButton>(&w, "Button2")->click();
    EXPECT_EQ(Rows(list), (std::vector<std::string>{"TiO2 rutile TiO2", "TiO2 anatase TiO2"}));

    ClickRow(list, 1);
    EXPECT_EQ(selected, (std::vector<int32_t>{8}));
    ClickRow(list, 1);   // the selected row again: drawn again
    EXPECT_EQ(selected, (std::vector<int32_t>{8, 8}));
    EXPECT_EQ(SelectedStandard(ws), 8);
    EXPECT_EQ(ws.Form18.EName, "TiO2 anatase");
    SendKey(list, Qt::Key_Up, QString());
    EXPECT_EQ(selected, (std::vector<int32_t>{8, 8, 7}));

    Find<QPushButton>(&w, "Button4")->click();   // Show All
    ASSERT_EQ(static_cast<size_t>(list->count()), shipped);
    ClickRow(list, 2);
    EXPECT_EQ(SelectedStandard(ws), 3);
    Find<QPushButton>(&w, "Button6")->click();   // Remove
    EXPECT_EQ(static_cast<size_t>(list->count()), shipped - 1);
    EXPECT_EQ(Rows(list)[2], "Al aluminium Al");
    EXPECT_EQ(static_cast<size_t>(RecordsIn(ws.InstallDir + "mineral.min")), shipped - 1);
    EXPECT_EQ(SelectedStandard(ws), 0);

    ExpectButtonHides(&w, "Button1");
    EXPECT_FALSE(ws.Form18.Visible);
    EXPECT_TRUE(host.messages.empty());
}

TEST_F(MineralWindowsTest, HiddenModifyRenamesTheSelectedPatternInMemoryOnly) {
    TForm18Window w(ws, host);
    w.show();
    QListWidget* list = w.mineralList();
    const std::string file = ReadWholeFile(ws.InstallDir + "mineral.min");
    QPushButton* modify = Find<QPushButton>(&w, "Modify");
    EXPECT_TRUE(modify->isHidden());
    modify->click();   // no row selected: nothing changes
    EXPECT_EQ(Rows(list)[0], "Si silicon (SRM 640e) Si");
    ClickRow(list, 0);
    ws.Form18.EName = "Silicon, NIST standard reference material";   // 41 characters
    ws.Form18.EFormula = "Si (cubic)";
    modify->click();
    EXPECT_EQ(Rows(list)[0], "Silicon, NIST standard referen Si (cubic)");
    EXPECT_EQ(ws.MineralTable[1].Name.size(), 30u);
    EXPECT_EQ(ReadWholeFile(ws.InstallDir + "mineral.min"), file);
    EXPECT_TRUE(host.messages.empty());
}

TEST_F(MineralWindowsTest, NewPatternTypedAndLoadedIsAddedToTheList) {
    TForm18Window list(ws, host);
    TForm29Window dialog(ws, host);
    list.showNewPattern = [&] { dialog.show(); };
    dialog.onSaved = [&] { list.refresh(); };
    list.show();

    Find<QPushButton>(&list, "Button5")->click();   // Add
    ASSERT_TRUE(dialog.isVisible());
    EXPECT_EQ(dialog.windowTitle(), "New Pattern");
    EXPECT_EQ(Find<QLineEdit>(&dialog, "EName")->text(), "New1");
    EXPECT_EQ(dialog.grid()->rowCount(), 4);
    Type(Find<QLineEdit>(&dialog, "EName"), "Periclase");
    Type(Find<QLineEdit>(&dialog, "EFormula"), "MgO");
    Type(Find<QLineEdit>(&dialog, "Edhkl"), "2.106");
    Type(Find<QLineEdit>(&dialog, "EIhkl"), "100");
    Type(Find<QLineEdit>(&dialog, "Ehkl"), "2 0 0");
    Find<QPushButton>(&dialog, "BAdd")->click();
    Type(Find<QLineEdit>(&dialog, "Edhkl"), "1.489");
    Type(Find<QLineEdit>(&dialog, "EIhkl"), "52");
    Type(Find<QLineEdit>(&dialog, "Ehkl"), "2 2 0");
    Find<QPushButton>(&dialog, "BAdd")->click();
    EXPECT_EQ(dialog.grid()->item(1, 1)->text(), "1.489");
    EXPECT_EQ(dialog.grid()->item(1, 3)->text(), "2 2 0");
    Find<QPushButton>(&dialog, "BSave")->click();
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(Rows(list.mineralList()).back(), "Periclase MgO");
    const MineralFile file = ReadMineralFile(ws.InstallDir + "mineral.min");
    ASSERT_EQ(file.Records.size(), shipped + 1);
    EXPECT_EQ(file.Records.back().LineCount, 2);
    EXPECT_DOUBLE_EQ(file.Records.back().Line[1].D, 1.489);

    // Loaded from a text file; a d that is not a number keeps the dialog open.
    std::ofstream(folder.file("fluorite.txt")) << "Fluorite\nCaF2\n3.153 94 1 1 1\n1.93.1 100 2 2 0\n";
    host.openAnswer = {folder.file("fluorite.txt")};
    Find<QPushButton>(&list, "Button5")->click();
    Find<QPushButton>(&dialog, "BLoad")->click();
    EXPECT_EQ(Find<QLineEdit>(&dialog, "EName")->text(), "Fluorite");
    EXPECT_EQ(dialog.grid()->item(1, 1)->text(), "1.93.1");
    Find<QPushButton>(&dialog, "BSave")->click();
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(host.messages, (std::vector<std::string>{"'1.93.1' is not a valid number"}));
    EXPECT_EQ(static_cast<size_t>(list.mineralList()->count()), shipped + 1);
    Find<QPushButton>(&dialog, "BCancel")->click();
    EXPECT_FALSE(dialog.isVisible());
}

TEST_F(MineralWindowsTest, FindMatchAsksToRemoveTheBackgroundAndShowsTheFirstMatch) {
    TForm18Window w(ws, host);
    int removals = 0;
    std::vector<int32_t> shown;
    w.removeBackground = [&] { ++removals; };
    w.showMatch = [&](int32_t pattern, const MineralMatchScore& score) {
        shown.push_back(pattern);
        EXPECT_FALSE(score.Sticks.empty());
    };
    w.show();
    Find<QPushButton>(&w, "FMatch")->click();   // no frame: refused
    EXPECT_EQ(host.messages, std::vector<std::string>{"Need to open a file first"});
    host.messages.clear();
    EXPECT_EQ(removals, 0);
    EXPECT_TRUE(shown.empty());
    EXPECT_EQ(static_cast<size_t>(w.mineralList()->count()), shipped);

    // A scan with the two strongest silicon lines (Mo K-alpha), 0.02-degree steps.
    ws.LastFileIndex = 0;
    ws.FrameWidth = ws.FrameHeight = 16;
    ws.Landa = 0.7093;
    ws.TwoThetaStep = 0.02f;
    ws.ScanPoints = 2000;
    for (int k = 0; k <= 2000; ++k) {
        const double t = k * 0.02;
        ws.FrameProfileCopy[k].TwoTheta = static_cast<float>(t);
        ws.SectorScan[k].Intensity =
            static_cast<float>(1000 * std::exp(-std::pow((t - 12.989) / 0.3, 2)) + 550 * std::exp(-std::pow((t - 21.288) / 0.3, 2)));
    }
    ws.ScanMaxIntensity = 1000;
    Find<QPushButton>(&w, "FMatch")->click();
    EXPECT_EQ(removals, 1);   // the test host answers Yes
    ASSERT_FALSE(shown.empty());
    EXPECT_EQ(shown[0], 1);
    EXPECT_EQ(Rows(w.mineralList())[0], "Si silicon (SRM 640e) Si");
    EXPECT_EQ(Find<QProgressBar>(&w, "ProgressBar1")->value(), 100);

    Type(Find<QLineEdit>(&w, "EWidth"), "x");
    Find<QPushButton>(&w, "FMatch")->click();
    EXPECT_EQ(host.messages, (std::vector<std::string>{"'x' is not a valid number"}));
}

TEST(MineralProgramTest, ScriptSelectsTheStandardByItsPaddedName) {
    Folder home;
    setenv("ORVANTIDE_HOME", home.dir.c_str(), 1);
    std::ofstream(home.file("fit.txt")) << "FITTOSTD LaB6     0 0 0 0 0 0 0 0 0 0 0\r\n";
    Application app({std::string(ORV_TEST_DATA) + "/../../data/sample.orv", home.file("fit.txt")});
    app.firstShowSetup();
    app.waitForLoading();
    Workspace& ws = app.workspace();
    EXPECT_TRUE(fs::exists(home.dir / "mineral.min"));   // installed on the first start
    EXPECT_TRUE(app.mineralList().isVisible());
    ASSERT_GT(SelectedStandard(ws), 0);
    EXPECT_EQ(ws.MineralTable[static_cast<size_t>(SelectedStandard(ws))].Name, "LaB6 (SRM 660c)");
    EXPECT_EQ(app.mineralList().mineralList()->currentRow(), ws.Form18.ItemIndex);
    EXPECT_EQ(ws.ScriptFailed, 0);
}

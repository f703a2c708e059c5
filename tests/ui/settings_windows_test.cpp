#include <QCheckBox>
#include <QDir>
#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <cmath>
#include <cstdlib>
#include <set>

#include <gtest/gtest.h>

#include "windows_test_support.h"
#include "workspace/detector_settings.h"
#include "workspace/text_files.h"
#include "workspace/ui/settings_windows.h"
#include "workspace/workspace.h"

using namespace orv;
using namespace orv::test;

namespace {

// What a box shows when the window opens: its text, and the label beside it
// where the window labels it.
struct EditDefault {
    const char* name;
    const char* text;
    const char* label = nullptr;
};
// A check or radio box: caption and whether it starts ticked.
struct ButtonDefault {
    const char* name;
    const char* caption;
    bool ticked;
};

void ExpectDefaults(QWidget* window, std::initializer_list<EditDefault> edits,
                    std::initializer_list<ButtonDefault> buttons, std::initializer_list<const char*> groups) {
    for (const EditDefault& e : edits) {
        auto* box = Find<QLineEdit>(window, e.name);
        EXPECT_EQ(box->text().toStdString(), e.text) << e.name;
        if (e.label) {
            EXPECT_EQ(LabelOf(window, box).toStdString(), e.label) << e.name;
        }
    }
    for (const ButtonDefault& b : buttons) {
        auto* box = Find<QAbstractButton>(window, b.name);
        EXPECT_EQ(box->text().toStdString(), b.caption) << b.name;
        EXPECT_EQ(box->isChecked(), b.ticked) << b.name;
    }
    std::set<std::string> titles;
    for (QGroupBox* g : window->findChildren<QGroupBox*>()) titles.insert(g->title().toStdString());
    for (const char* g : groups) EXPECT_TRUE(titles.count(g)) << "group " << g;
}

bool Shown(QWidget* window, const char* name) { return Find<QWidget>(window, name)->isVisibleTo(window); }

std::string Text(QWidget* window, const char* name) { return Find<QLineEdit>(window, name)->text().toStdString(); }

bool Has(const std::vector<std::string>& messages, const std::string& text) {
    return std::find(messages.begin(), messages.end(), text) != messages.end();
}

} // namespace

TEST(DetectorSettingsWindowTest, DefaultsCaptionsAndLabels) {
    Workspace ws;
    TestHost host;
    TForm32Window w(ws, host);
    EXPECT_EQ(w.windowTitle(), "Detector Settings");
    EXPECT_EQ(w.objectName(), "TForm32");
    ExpectDefaults(&w,
                   {{"EXoM", "256"}, {"EYoM", "256"}, {"ELanda", "0.7090", "Wavelength ( A )"},
                    {"E2thetaD", "0.000"}, {"Eth2offset", "0.000"}, {"EPhiAxis", "144.7", "Phi Rotation Axis"},
                    {"EDistance", "61.54"}, {"EDSize", "61.000"}, {"EPixSize", "100"}, {"ELength", "466.0"},
                    {"EHeight", "256.0"}, {"ERadius", "130.2"}, {"ESampleX", "0"}, {"ESampleY", "0"},
                    {"EAMax", "160.0"}, {"EDSizeX", "1024", "Size X"}, {"EDSizeY", "1024", "Size Y"},
                    {"EHeader", "-1"}, {"EBytesPixel", "2"}},
                   {{"CBXo", "Apply", false}, {"CBYo", "Apply", false}, {"CBlanda", "Apply", false},
                    {"CB2thetaD", "Apply", false}, {"CBDistance", "Apply", false}, {"CBDSize", "Apply", false},
                    {"CBPixSize", "Apply", false}, {"CBSampleOffset", "Apply", false}, {"CustomFile", "Apply", false},
                    {"RFlat", "Flat", true}, {"RCylindrical", "Cilindrical", false}, {"RSphere", "Spherical", false}},
                   {"Detector shape"});
    EXPECT_FALSE(Find<QCheckBox>(&w, "CBSlitDetector")->isChecked());
    EXPECT_FALSE(Shown(&w, "EAMax"));
    // Every other box has a label beside it.
    for (QLineEdit* e : w.findChildren<QLineEdit*>())
        if (e->isVisibleTo(&w)) {
            EXPECT_FALSE(LabelOf(&w, e).isEmpty()) << e->objectName().toStdString();
        }
    // The shape buttons sit in their group.
    EXPECT_EQ(Find<QRadioButton>(&w, "RFlat")->parentWidget()->property("title").toString(), "Detector shape");
}

TEST(DetectorSettingsWindowTest, TypingWritesTheRecord) {
    Workspace ws;
    TestHost host;
    TForm32Window w(ws, host);
    Type(Find<QLineEdit>(&w, "EDistance"), "75.5");
    EXPECT_EQ(ws.Form32.EDistance, "75.5");
    Type(Find<QLineEdit>(&w, "EPhiAxis"), "");
    EXPECT_EQ(ws.Form32.EPhiAxis, "");
    Find<QCheckBox>(&w, "CBDistance")->click();
    EXPECT_TRUE(ws.Form32.CBDistance);
    Find<QCheckBox>(&w, "CustomFile")->click();
    EXPECT_TRUE(ws.Form32.CustomFile);
    EXPECT_DOUBLE_EQ(ws.Distance, 61.54);   // only Apply stores it
}

TEST(DetectorSettingsWindowTest, ApplyRefusesAnOutOfRangeSizeAndChangesNothing) {
    Workspace ws;
    TestHost host;
    TForm32Window w(ws, host);
    TForm23Window info(ws, host);
    Type(Find<QLineEdit>(&w, "EDSize"), "9.9");
    Find<QCheckBox>(&w, "CBDSize")->click();
    Type(Find<QLineEdit>(&w, "EDistance"), "100");
    Find<QCheckBox>(&w, "CBDistance")->click();
    Find<QPushButton>(&w, "BApply")->click();
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0], "Value out of range !\nDetector size: 9.9 mm is not between 10 and 500 mm");
    EXPECT_DOUBLE_EQ(ws.DSize, 61.0);       // nothing applied, the valid distance neither
    EXPECT_DOUBLE_EQ(ws.Distance, 61.54);
    EXPECT_EQ(Text(&info, "EDSizemm"), "61.00");
    EXPECT_EQ(Text(&info, "EDistancemm"), "61.54");
}

TEST(DetectorSettingsWindowTest, ApplyShowsTheRepairedWavelengthEverywhere) {
    Workspace ws;
    TestHost host;
    TForm32Window w(ws, host);
    TForm23Window info(ws, host);
    Type(Find<QLineEdit>(&w, "ELanda"), "20");
    Find<QCheckBox>(&w, "CBlanda")->click();
    Find<QPushButton>(&w, "BApply")->click();
    EXPECT_TRUE(host.messages.empty());
    EXPECT_DOUBLE_EQ(ws.Landa, 0.711);
    EXPECT_EQ(Text(&w, "ELanda"), "0.711");
    EXPECT_EQ(Text(&info, "EWaveLen"), "0.711");
}

TEST(DetectorSettingsWindowTest, ApplyWithABoxThatIsNoNumberChangesNothing) {
    Workspace ws;
    TestHost host;
    TForm32Window w(ws, host);
    Type(Find<QLineEdit>(&w, "EXoM"), "abc");
    Find<QCheckBox>(&w, "CBXo")->click();
    Find<QCheckBox>(&w, "CBlanda")->click();
    Type(Find<QLineEdit>(&w, "ELanda"), "1.5");
    Find<QPushButton>(&w, "BApply")->click();
    EXPECT_EQ(host.messages, std::vector<std::string>{"'abc' is not a valid number"});
    EXPECT_DOUBLE_EQ(ws.Xo, 256);
    EXPECT_DOUBLE_EQ(ws.Landa, 0.7090);
    EXPECT_EQ(Text(&w, "EXoM"), "abc");   // the user's text stays for correcting
}

TEST(DetectorSettingsWindowTest, ShapeButtonsOkCancelAndSelectAll) {
    Workspace ws;
    TestHost host;
    TForm32Window w(ws, host);
    w.show();
    Find<QRadioButton>(&w, "RCylindrical")->click();
    EXPECT_EQ(ws.FlatDetector, 0);
    EXPECT_TRUE(ws.Form32.RCylindrical);
    EXPECT_FALSE(ws.Form32.RFlat);
    Find<QRadioButton>(&w, "RFlat")->click();
    EXPECT_EQ(ws.FlatDetector, 1);
    Find<QRadioButton>(&w, "RSphere")->click();
    EXPECT_EQ(ws.FlatDetector, 1);   // only OK applies it

    Find<QPushButton>(&w, "BSelectAll")->click();
    std::set<std::string> ticked;
    for (QCheckBox* c : w.findChildren<QCheckBox*>())
        if (c->isChecked()) ticked.insert(c->objectName().toStdString());
    EXPECT_EQ(ticked, (std::set<std::string>{"CBXo", "CBYo", "CBlanda", "CBDSize", "CBDistance", "CB2thetaD",
                                             "CBSlitDetector", "CBSampleOffset"}));

    Find<QPushButton>(&w, "BOK")->click();
    EXPECT_FALSE(w.isVisible());
    EXPECT_EQ(ws.FlatDetector, 0);

    w.show();
    Type(Find<QLineEdit>(&w, "EHeight"), "300");
    Find<QPushButton>(&w, "BCancel")->click();
    EXPECT_FALSE(w.isVisible());
    EXPECT_EQ(ws.Form32.EHeight, "300");   // Cancel keeps what was typed
}

TEST(DetectorSettingsWindowTest, ButtonsThatRunOtherWindowsCommands) {
    Workspace ws;
    TestHost host;
    TForm32Window w(ws, host);
    std::vector<std::string> calls;
    w.onFind = [&] { calls.push_back("find"); };
    w.onSetWavelength = [&] { calls.push_back("set"); };
    w.onSaveSettings = [&] { calls.push_back("save"); };
    w.onLoadSettings = [&] { calls.push_back("load"); };
    for (const char* b : {"BFind", "BSet", "BSave", "BLoad"}) Find<QPushButton>(&w, b)->click();
    EXPECT_EQ(calls, (std::vector<std::string>{"find", "set", "save", "load"}));
    TForm32Window unwired(ws, host);   // hooks not set yet: nothing happens
    for (const char* b : {"BFind", "BSet", "BSave", "BLoad"}) Find<QPushButton>(&unwired, b)->click();
}

TEST(DetectorSettingsWindowTest, LoadingASettingsFileShowsInEveryWindow) {
    QTemporaryDir dir;
    Workspace ws;
    TestHost host;
    ws.InstallDir = dir.path().toStdString();
    TForm32Window w(ws, host);
    TForm28Window model(ws, host);
    const std::string file = JoinPath(ws.InstallDir, "lab.set");
    WriteTextLines(file, {"510.5", "498", "1.5406", "12.000", "90.0", "150.0", "120.000", "Lab diffractometer",
                          "Ana", "1", "2", "400.0", "200.0", "140.0", "150.0", "172", "2048", "2048", "0.250"});
    ASSERT_TRUE(LoadSettingsFile(ws, host, file));
    EXPECT_EQ(Text(&w, "EXoM"), "510.5");
    EXPECT_EQ(Text(&w, "ELanda"), "1.5406");
    EXPECT_EQ(Text(&w, "EDSizeX"), "2048");
    EXPECT_EQ(Text(&w, "Eth2offset"), "0.250");
    EXPECT_TRUE(Find<QRadioButton>(&w, "RCylindrical")->isChecked());
    EXPECT_FALSE(Find<QRadioButton>(&w, "RFlat")->isChecked());
    EXPECT_EQ(Text(&model, "Ediffractometer"), "Lab diffractometer");
    EXPECT_EQ(Text(&model, "EUser"), "Ana");
    EXPECT_TRUE(Find<QCheckBox>(&model, "CBVertical")->isChecked());
}

TEST(WavelengthWindowTest, PresetsAndOk) {
    Workspace ws;
    TestHost host;
    TForm19Window w(ws, host);
    TForm32Window detector(ws, host);
    EXPECT_EQ(w.windowTitle(), "Wavelength");
    ExpectDefaults(&w, {{"Elanda", "0.7110", "Wavelength ( A )"}}, {}, {});
    const std::pair<const char*, const char*> presets[] = {
        {"BMo", "0.70926"}, {"BFe", "1.93597"}, {"BCo", "1.78890"}, {"BCr", "2.28962"}, {"BCu", "1.54060"}};
    for (auto [button, text] : presets) {
        Find<QPushButton>(&w, button)->click();
        EXPECT_EQ(Text(&w, "Elanda"), text) << button;
    }
    w.show();
    Find<QPushButton>(&w, "BOK")->click();
    EXPECT_FALSE(w.isVisible());
    EXPECT_DOUBLE_EQ(ws.Landa, 1.5406);
    EXPECT_EQ(Text(&detector, "ELanda"), "1.5406");   // the typed precision kept

    w.show();
    Type(Find<QLineEdit>(&w, "Elanda"), "x");
    Find<QPushButton>(&w, "BOK")->click();
    EXPECT_EQ(host.messages, std::vector<std::string>{"'x' is not a valid number"});
    EXPECT_TRUE(w.isVisible());   // stays open for a correction
    EXPECT_DOUBLE_EQ(ws.Landa, 1.5406);
}

TEST(DiffractometerWindowTest, DefaultsAndOk) {
    Workspace ws;
    TestHost host;
    TForm28Window w(ws, host);
    EXPECT_EQ(w.windowTitle(), "Diffractometer Settings");
    ExpectDefaults(&w, {{"Ediffractometer", "Diffractometer1", "Model and Maker"}, {"EUser", "User1"}},
                   {{"CBVertical", "Vertical", false}}, {"Diffractometer Info"});
    EXPECT_EQ(LabelOf(&w, Find<QCheckBox>(&w, "CBVertical")), "Diffractometer plane");
    Type(Find<QLineEdit>(&w, "EUser"), "Bo");
    Find<QCheckBox>(&w, "CBVertical")->click();
    EXPECT_EQ(ws.Form28.EUser, "Bo");
    EXPECT_TRUE(ws.Form28.CBVertical);
    ExpectButtonHides(&w, "BOK");
}

TEST(FrameInfoWindowTest, ReadOnlyMirrorThatFollowsTheRecord) {
    Workspace ws;
    TestHost host;
    TForm23Window w(ws, host);
    EXPECT_EQ(w.windowTitle(), "Frame Info");
    ExpectDefaults(&w,
                   {{"EXo", "256"}, {"EYo", "257"}, {"E2ThetaD", "0.000"}, {"EWaveLen", "0.710"},
                    {"EDSizemm", "61.00"}, {"EDistancemm", "61.54"}, {"EWorDir", ""}},
                   {}, {"Parameters"});
    for (QLineEdit* e : w.findChildren<QLineEdit*>()) EXPECT_TRUE(e->isReadOnly()) << e->objectName().toStdString();
    EXPECT_EQ(Find<QLabel>(&w, "Panel2")->text(), " MaxInt = 0");

    // A reader fills the record and says so.
    ws.Form23.EXo = "1024.5";
    ws.Form23.Panel2 = " MaxInt = 65535";
    ws.Form23.Panel5 = "a.tif";
    host.changed(View::FrameInfo);
    EXPECT_EQ(Text(&w, "EXo"), "1024.5");
    EXPECT_EQ(Find<QLabel>(&w, "Panel2")->text(), " MaxInt = 65535");
    EXPECT_EQ(Find<QLabel>(&w, "Panel5")->text(), "a.tif");
    ExpectButtonHides(&w, "BOK");
}

TEST(Correct2ThetaWindowTest, DefaultsAndRefusalNearTheDetectorAngle) {
    Workspace ws;
    TestHost host;
    TF2ThetaWindow w(ws, host);
    EXPECT_EQ(w.windowTitle(), "Correct2Theta");
    ExpectDefaults(&w,
                   {{"E2ThetaMeasured", "20.000", "2Theta measured"}, {"E2ThetaCorrect", "20.000", "2Theta  correct"}},
                   {{"RBDistance", "DistanceToSample", true}, {"RBDSize", "DetectorSize", false}}, {"Adjust"});
    ws.TwoThetaD = 20;   // the peak lies at the detector's own angle
    w.show();
    Find<QPushButton>(&w, "BOK")->click();
    EXPECT_FALSE(w.isVisible());
    EXPECT_EQ(host.messages, std::vector<std::string>{"Please selects a peak at larger 2Theta angles !"});
    EXPECT_DOUBLE_EQ(ws.Distance, 61.54);
}

TEST(Correct2ThetaWindowTest, CorrectsTheDistanceAndShowsIt) {
    Workspace ws;
    TestHost host;
    TF2ThetaWindow w(ws, host);
    TForm32Window detector(ws, host);
    TForm23Window info(ws, host);
    Type(Find<QLineEdit>(&w, "E2ThetaCorrect"), "20.5");
    Find<QPushButton>(&w, "BOK")->click();
    const double pi = std::acos(-1.0);
    const double expected = 61.54 * std::tan(20 * pi / 180) / std::tan(20.5 * pi / 180);   // 59.88...
    EXPECT_NEAR(ws.Distance, expected, 1e-9);
    EXPECT_NEAR(std::stod(Text(&detector, "EDistance")), expected, 0.0005);
    EXPECT_TRUE(Find<QCheckBox>(&detector, "CBDistance")->isChecked());
    EXPECT_EQ(Text(&info, "EDistancemm"), Text(&detector, "EDistance"));
    EXPECT_TRUE(Has(host.messages, "IMPORTANT: Sample to Detector distance changed to " + Text(&detector, "EDistance")));

    Find<QRadioButton>(&w, "RBDSize")->click();
    EXPECT_TRUE(ws.F2Theta.RBDSize);
    EXPECT_FALSE(ws.F2Theta.RBDistance);
}

TEST(SetupWindowTest, DefaultsOfBothPages) {
    Workspace ws;
    TestHost host;
    TFSetupWindow w(ws, host);
    EXPECT_EQ(w.windowTitle(), "Batch process and Scan settings");
    const char* folder = "C:\\Program Files\\Orvantide4_1\\Data\\";
    ExpectDefaults(
        &w,
        {{"EWorkDir", folder, "Working Directory"}, {"EExperiment", "Exp1", "Project Name"},
         {"EOutputdir", folder, "Output Directory"}, {"E2ThetaMax", "15.000"},
         {"Eth2step", "0.1", "2Theta Scan"}, {"EPsiStep", "0.5", "Psi Scan"},
         {"EpeakWidth", "1.0", "Roll width (deg.)"}, {"EBHeight", "10", "Roll height (counts)"},
         {"EPWidth", "1.00", "Peak width (deg.)"}, {"EIntPer", "5", "Min Intensity (%)"},
         {"EMinValue", "100", "Min Abs Intensity (counts)"}, {"ESliceWidth", "1.00", "SliceWidth (deg.)"},
         {"EMask", ""}, {"EBack", ""}},
        {{"CB2thetaLorentz", "Apply", true}, {"CBPsiLorentz", "Apply", true},
         {"CB2ThScan", "2Theta Scan (*.ths)", false}, {"CBPsiScan", "Psi Scan (*.pss)", false},
         {"CB2ThScanPeaks", "Peaks list in 2Theta Scan (*.tpk)", false},
         {"CBPsiScanPeaks", "Peaks list in Psi Scan (*.ppk)", false},
         {"PSSPSummary", "Peaks in Psi Scan Summary (*.psu)", false}, {"CBdspacing", "d-spacing (*.dsp)", false},
         {"CBIntegrateslides", "Integrate sector in slices (*.slc)", false},
         {"cbIntegrateSector", "IntegrateSector and", false},
         {"CBSectors", "Calculate 2ThetaScan Sectors (*.sec)", false}, {"CBDrings", "Debye Rings", false},
         {"CBDRingsSummary", "DebyeRingsPeaksSummary", false}, {"CBAdjustCenter", "AdjustCenter", false},
         {"CBBackground", "Line Scans", false}, {"CBBackFrame", "2D Frame", false},
         {"Adjust2Theta", "Adjust2ThetaMaximum", false}, {"CBth2step", "set", false}, {"CBPsiStep", "set", false},
         {"CBMinValue", "set", false}, {"cbflat", "set", false}, {"CBMask", "Apply", false},
         {"CBBack", "Apply", false}, {"RBTIFF1", "1", true}, {"RBTIFF2", "2", false}},
        {"Pre-Process Data", "StepSize", "Background", "FindPeaks", "IntegrateSlices", "Geometrical correctiions",
         "Mask file", "Background file ", "TIFF type"});
    EXPECT_EQ(LabelOf(&w, Find<QCheckBox>(&w, "CB2thetaLorentz")), "2Theta Scan 1/R correction");
    EXPECT_EQ(LabelOf(&w, Find<QCheckBox>(&w, "CBPsiLorentz")), "Psi scan 1/R correction");
    auto* pages = Find<QTabWidget>(&w, "PageControl1");
    ASSERT_EQ(pages->count(), 2);
    EXPECT_EQ(pages->tabText(0), "Batch Process Settings");
    EXPECT_EQ(pages->tabText(1), "Scan settings");
    // Never shown.
    EXPECT_FALSE(Shown(&w, "CBDrings"));
    EXPECT_FALSE(Shown(&w, "CBDRingsSummary"));
    EXPECT_FALSE(Shown(&w, "RBTIFF1"));
}

TEST(SetupWindowTest, OpensOnTheAskedPageAndRemembersTheUsersPage) {
    Workspace ws;
    TestHost host;
    TFSetupWindow w(ws, host);
    auto* pages = Find<QTabWidget>(&w, "PageControl1");
    w.showPage(TFSetupWindow::ScanPage);
    EXPECT_TRUE(w.isVisible());
    EXPECT_EQ(pages->currentIndex(), 1);
    EXPECT_EQ(ws.FSetup.PageIndex, 1);
    pages->setCurrentIndex(0);
    EXPECT_EQ(ws.FSetup.PageIndex, 0);
}

TEST(SetupWindowTest, ScanApplyCopiesToThePeakAndBackgroundWindows) {
    Workspace ws;
    TestHost host;
    TFSetupWindow w(ws, host);
    Type(Find<QLineEdit>(&w, "EpeakWidth"), "2.5");
    Type(Find<QLineEdit>(&w, "EMinValue"), "250");
    Find<QCheckBox>(&w, "CBMinValue")->click();
    Type(Find<QLineEdit>(&w, "Eth2step"), "0.02");
    Find<QCheckBox>(&w, "CBth2step")->click();
    Find<QPushButton>(&w, "Button2")->click();
    EXPECT_TRUE(host.messages.empty());
    EXPECT_EQ(ws.Form7.EPeakWidth, "2.5");
    EXPECT_EQ(ws.Form6.EMinValue, "250");
    EXPECT_TRUE(ws.Form6.CBMinValue);
    EXPECT_FLOAT_EQ(ws.TwoThetaStep, 0.02f);

    Type(Find<QLineEdit>(&w, "EPsiStep"), "fine");
    Find<QCheckBox>(&w, "CBPsiStep")->click();
    Find<QPushButton>(&w, "Button2")->click();
    EXPECT_EQ(host.messages, std::vector<std::string>{"'fine' is not a valid number"});
    EXPECT_FLOAT_EQ(ws.PsiStep, 0.5f);
}

TEST(SetupWindowTest, SummaryAndAdjustClicksAndClose) {
    QTemporaryDir dir;
    const QString saved = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(dir.path()));
    Workspace ws;
    TestHost host;
    TFSetupWindow w(ws, host);
    TForm23Window info(ws, host);

    // Ticking the summary writes the project's .PSU and ticks the peak lists.
    Find<QCheckBox>(&w, "PSSPSummary")->click();
    EXPECT_TRUE(ws.FSetup.PSSPSummary);
    EXPECT_TRUE(Find<QCheckBox>(&w, "CBPsiScanPeaks")->isChecked());
    EXPECT_TRUE(FileExists(JoinPath(dir.path().toStdString(), "Exp1.PSU")));

    Type(Find<QLineEdit>(&w, "E2ThetaMax"), "50");   // the sector ends at 45
    Find<QCheckBox>(&w, "Adjust2Theta")->click();
    EXPECT_EQ(host.messages, std::vector<std::string>{"WARNING: Value outside 2theta range selected !"});

    Type(Find<QLineEdit>(&w, "EWorkDir"), "/data/run7/");
    w.showPage(TFSetupWindow::BatchPage);
    Find<QPushButton>(&w, "BClose")->click();
    EXPECT_FALSE(w.isVisible());
    EXPECT_TRUE(ws.StatusLightRed);   // a summary is a batch output
    EXPECT_EQ(Text(&info, "EWorDir"), "/data/run7/");
    QDir::setCurrent(saved);
}

// Pictures of the two largest windows for a look by eye; written only when
// ORV_SCREENSHOT_DIR names a folder.
TEST(SettingsWindowsScreenshot, DetectorAndBatchSettings) {
    const char* folder = std::getenv("ORV_SCREENSHOT_DIR");
    if (!folder) GTEST_SKIP() << "ORV_SCREENSHOT_DIR not set";
    Workspace ws;
    TestHost host;
    TForm32Window detector(ws, host);
    TFSetupWindow setup(ws, host);
    detector.show();
    setup.showPage(TFSetupWindow::BatchPage);
    QApplication::processEvents();
    EXPECT_TRUE(detector.grab().save(QString(folder) + "/detector_settings.png"));
    EXPECT_TRUE(setup.grab().save(QString(folder) + "/batch_settings.png"));
    setup.showPage(TFSetupWindow::ScanPage);
    QApplication::processEvents();
    EXPECT_TRUE(setup.grab().save(QString(folder) + "/scan_settings.png"));
}

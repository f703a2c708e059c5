#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QGroupBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextCursor>
#include <QTreeWidget>
#include <cstdlib>

#include <gtest/gtest.h>

#include "windows_test_support.h"
#include "workspace/text_files.h"
#include "workspace/ui/frame_list_window.h"
#include "workspace/ui/help_window.h"
#include "workspace/ui/history_window.h"
#include "workspace/ui/logbook_window.h"
#include "workspace/ui/settings_windows.h"
#include "workspace/workspace.h"

using namespace orv;
using namespace orv::test;

namespace {

void AppendLines(Workspace& ws, int count) {
    for (int i = 1; i <= count; ++i) ws.LLog.Append("line " + std::to_string(i));
}

QImage Picture(QColor colour) {
    QImage image(200, 100, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

} // namespace

// ---- Logbook ------------------------------------------------------------------

TEST(LogbookWindowTest, ShowsAppendedLinesAndKeepsUserEdits) {
    Workspace ws;
    TestHost host;
    ws.LLog.Append("Loaded Settings lab.set");
    TForm11Window w(ws, host);
    EXPECT_EQ(w.windowTitle(), "Logbook");
    QPlainTextEdit* memo = Find<QPlainTextEdit>(&w, "LLog");
    EXPECT_EQ(memo->toPlainText(), "Loaded Settings lab.set");

    ws.LLog.Append("a.tif");
    ws.LLog.Append("");
    host.changed(View::Logbook);
    EXPECT_EQ(memo->toPlainText(), "Loaded Settings lab.set\na.tif\n");

    // The user adds a note at the end of the first line (Edit > Paste).
    QTextCursor cursor(memo->document()->firstBlock());
    cursor.movePosition(QTextCursor::EndOfBlock);
    memo->setTextCursor(cursor);
    QApplication::clipboard()->setText("!");
    Find<QAction>(&w, "Paste1")->trigger();
    EXPECT_EQ(ws.LLog.Lines(), (std::vector<std::string>{"Loaded Settings lab.set!", "a.tif", ""}));

    // A worker's line that arrives meanwhile goes after the edited ones.
    ws.LLog.Append("b.tif");
    host.changed(View::Logbook);
    EXPECT_EQ(memo->toPlainText(), "Loaded Settings lab.set!\na.tif\n\nb.tif");
    EXPECT_EQ(memo->textCursor().blockNumber(), 0);   // the user's place stays

    // Something else replaced the logbook: the memo shows it whole.
    ws.LLog.SetLines({"fresh"});
    host.changed(View::Logbook);
    EXPECT_EQ(memo->toPlainText(), "fresh");
}

TEST(LogbookWindowTest, FollowsNewLinesUnlessTheUserScrolledUp) {
    Workspace ws;
    TestHost host;
    TForm11Window w(ws, host);
    w.resize(400, 150);
    w.show();
    QPlainTextEdit* memo = Find<QPlainTextEdit>(&w, "LLog");
    QScrollBar* bar = memo->verticalScrollBar();
    AppendLines(ws, 200);
    host.changed(View::Logbook);
    QApplication::processEvents();
    ASSERT_GT(bar->maximum(), 0);
    EXPECT_EQ(bar->value(), bar->maximum());   // the newest line is in view
    ws.LLog.Append("newest");
    host.changed(View::Logbook);
    EXPECT_EQ(bar->value(), bar->maximum());
    // Scrolled up to read: new lines do not move the memo.
    bar->setValue(10);
    ws.LLog.Append("later");
    host.changed(View::Logbook);
    EXPECT_EQ(bar->value(), 10);
    // Back at the end, it follows again.
    bar->setValue(bar->maximum());
    ws.LLog.Append("last");
    host.changed(View::Logbook);
    EXPECT_EQ(bar->value(), bar->maximum());
}

TEST(LogbookWindowTest, SaveAppendsLogToTheTypedName) {
    QTemporaryDir dir;
    Workspace ws;
    TestHost host;
    TForm11Window w(ws, host);
    ws.LLog.Append("first");
    ws.LLog.Append("second");
    host.changed(View::Logbook);
    const std::string typed = JoinPath(dir.path().toStdString(), "run1");
    host.saveAnswer = typed;
    Find<QAction>(&w, "SaveLogbook1")->trigger();
    ASSERT_EQ(host.saveRequests.size(), 1u);
    EXPECT_EQ(host.saveRequests[0].second, "Logbook files (*.log)|*.LOG|All files (*.*)|*.*");
    EXPECT_EQ(ReadWholeFile(typed + ".log"), "first\r\nsecond\r\n");
    EXPECT_FALSE(FileExists(typed));

    // A name that ends in ".log" already is not given it twice.
    host.saveAnswer = JoinPath(dir.path().toStdString(), "session1.log");
    Find<QAction>(&w, "SaveLogbook1")->trigger();
    EXPECT_EQ(ReadWholeFile(*host.saveAnswer), "first\r\nsecond\r\n");
    EXPECT_FALSE(FileExists(*host.saveAnswer + ".log"));

    // Cancelled: nothing written, no message.
    host.saveAnswer.reset();
    EXPECT_FALSE(w.SaveLogbook());
    EXPECT_TRUE(host.messages.empty());

    // A folder that does not exist: the failure is reported, nothing breaks.
    host.saveAnswer = JoinPath(dir.path().toStdString(), "no/such/folder/x");
    EXPECT_FALSE(w.SaveLogbook());
    EXPECT_EQ(host.messages.size(), 1u);
}

TEST(LogbookWindowTest, LeavingOffersTheLogbookAndCancelStays) {
    QTemporaryDir dir;
    Workspace ws;
    TestHost host;
    TForm11Window w(ws, host);
    AppendLines(ws, 5);
    EXPECT_TRUE(w.closingProgram());   // five lines: nothing to ask
    ws.LLog.Append("line 6");
    ws.ScriptLoaded = 1;
    EXPECT_TRUE(w.closingProgram());   // a script runs the program
    EXPECT_TRUE(host.questions.empty());
    EXPECT_TRUE(host.saveRequests.empty());
    ws.ScriptLoaded = 0;

    const std::string session = JoinPath(dir.path().toStdString(), "session");
    struct Case {
        TestHost::Answer answer;
        std::optional<std::string> name;   // what the save dialog gives back
        bool leaves;
        bool dialog;
    };
    const Case cases[] = {
        {TestHost::Answer::Cancel, std::nullopt, false, false},   // stays, no dialog
        {TestHost::Answer::No, std::nullopt, true, false},        // leaves without saving
        {TestHost::Answer::Yes, std::nullopt, false, true},       // dialog cancelled: stays
        {TestHost::Answer::Yes, session, true, true},             // saved, then leaves
    };
    for (const Case& c : cases) {
        host.questions.clear();
        host.saveRequests.clear();
        host.saveTitles.clear();
        host.answer = c.answer;
        host.saveAnswer = c.name;
        EXPECT_EQ(w.closingProgram(), c.leaves);
        EXPECT_EQ(host.questions.size(), 1u);
        ASSERT_EQ(host.saveRequests.size(), c.dialog ? 1u : 0u);
        // The dialog says what it saves.
        if (c.dialog) {
            EXPECT_NE(host.saveTitles[0].find("logbook"), std::string::npos) << host.saveTitles[0];
        }
    }
    EXPECT_EQ(ReadTextLines(session + ".log").size(), 6u);
}

TEST(LogbookWindowTest, MenusAndClose) {
    Workspace ws;
    TestHost host;
    ws.LLog.Append("2Theta offset corrected = 0.500");
    TForm11Window w(ws, host);
    w.show();
    for (const char* name : {"SaveLogbook1", "Close1", "Copy1", "Cut1", "Paste1", "SelectAll1"})
        EXPECT_NE(w.findChild<QAction*>(name), nullptr) << name;
    Find<QAction>(&w, "SelectAll1")->trigger();
    Find<QAction>(&w, "Copy1")->trigger();
    EXPECT_EQ(QApplication::clipboard()->text(), "2Theta offset corrected = 0.500");
    Find<QAction>(&w, "Cut1")->trigger();
    EXPECT_TRUE(ws.LLog.Lines().empty());   // cutting is an edit like any other
    Find<QAction>(&w, "Paste1")->trigger();
    EXPECT_EQ(ws.LLog.Lines(), std::vector<std::string>{"2Theta offset corrected = 0.500"});
    Find<QAction>(&w, "Close1")->trigger();
    EXPECT_FALSE(w.isVisible());
}

// ---- History ------------------------------------------------------------------

TEST(HistoryWindowTest, SlotsShowOnTheirPictures) {
    Workspace ws;
    TestHost host;
    TForm17Window w(ws, host);
    EXPECT_EQ(w.windowTitle(), "History");
    for (int k = 1; k <= 10; ++k) {
        Find<QLabel>(&w, QString("Image%1").arg(k).toUtf8().constData());
        Find<QLabel>(&w, QString("Pan%1").arg(k).toUtf8().constData());
    }
    w.setSlot(0, Picture(Qt::red), "ten.tif");
    w.setSlot(3, Picture(Qt::blue), "three.tif");
    w.setSlot(10, Picture(Qt::green), "none");   // no such slot
    EXPECT_TRUE(w.hasPicture(10));
    EXPECT_TRUE(w.hasPicture(3));
    EXPECT_FALSE(w.hasPicture(1));
    EXPECT_EQ(Find<QLabel>(&w, "Pan10")->text(), "ten.tif");
    EXPECT_EQ(Find<QLabel>(&w, "Pan3")->text(), "three.tif");
    EXPECT_EQ(Find<QLabel>(&w, "Pan1")->text(), "");
    const QImage shown = Find<QLabel>(&w, "Image10")->pixmap().toImage();
    EXPECT_EQ(shown.pixelColor(shown.width() / 2, shown.height() / 2), QColor(Qt::red));
}

TEST(HistoryWindowTest, ClickingTheTenthPictureReloadsSlotZero) {
    Workspace ws;
    TestHost host;
    TForm17Window w(ws, host);
    int starts = 0;
    w.startLoading = [&] { ++starts; };
    ws.LastFileIndex = 0;
    ws.HistoryFiles[0] = "/data/ten.tif";
    w.setSlot(0, Picture(Qt::red), "ten.tif");
    w.show();
    QLabel* tenth = Find<QLabel>(&w, "Image10");
    Click(tenth, tenth->rect().center());
    EXPECT_EQ(starts, 1);
    EXPECT_EQ(ws.FileToOpen, "/data/ten.tif");
    EXPECT_EQ(ws.HistorySlot, 0);
    EXPECT_EQ(ws.LoadFromHistory, 1);

    // An empty slot loads nothing.
    ws.LoadFromHistory = 0;
    QLabel* second = Find<QLabel>(&w, "Image2");
    Click(second, second->rect().center());
    EXPECT_EQ(starts, 1);
    EXPECT_EQ(ws.LoadFromHistory, 0);
}

TEST(HistoryWindowTest, NothingHappensWhileNothingWasOpened) {
    Workspace ws;
    TestHost host;
    TForm17Window w(ws, host);
    int starts = 0;
    w.startLoading = [&] { ++starts; };
    ws.HistoryFiles[1] = "/data/one.tif";
    w.pictureClick(1);
    EXPECT_EQ(starts, 0);
    EXPECT_TRUE(ws.FileToOpen.empty());
}

// ---- Frame list ---------------------------------------------------------------

TEST(FrameListWindowTest, ListsTheFilesAndLoadsTheClickedOnesFullPath) {
    Workspace ws;
    TestHost host;
    TForm4Window w(ws, host);
    EXPECT_EQ(w.windowTitle(), "Frame list");
    std::vector<std::string> calls;
    w.showFrameWindow = [&] { calls.push_back("show"); };
    w.startLoading = [&] { calls.push_back("load " + ws.FileToOpen); };

    // Files dropped from two folders; FrameFolder is the last one's.
    ws.FileList = {"/data/a/one.tif", "/data/b/two.tif", "/data/b/three.tif"};
    ws.LastFileIndex = 2;
    ws.FrameFolder = "/data/b/";
    host.changed(View::FileList);
    QTreeWidget* tree = Find<QTreeWidget>(&w, "TreeView1");
    ASSERT_EQ(tree->topLevelItemCount(), 1);
    QTreeWidgetItem* root = tree->topLevelItem(0);
    EXPECT_EQ(root->text(0), "Files");
    ASSERT_EQ(root->childCount(), 3);
    EXPECT_EQ(root->child(0)->text(0), "one.tif");
    EXPECT_EQ(root->child(2)->text(0), "three.tif");

    w.show();
    QApplication::processEvents();
    const QRect first = tree->visualItemRect(root->child(0));
    Click(tree->viewport(), first.center());
    EXPECT_EQ(calls, (std::vector<std::string>{"show", "load /data/a/one.tif"}));
    EXPECT_EQ(ws.SingleFileMode, 1);
    EXPECT_EQ(ws.CurrentFileIndex, 0);
    EXPECT_EQ(tree->currentItem(), root->child(0));

    // The root itself loads nothing.
    Click(tree->viewport(), tree->visualItemRect(root).center());
    EXPECT_EQ(calls.size(), 2u);

    w.highlightEntry(2);
    EXPECT_EQ(tree->currentItem(), root->child(2));
}

TEST(FrameListWindowTest, ClicksBeforeOpeningAndNewListsReplaceTheOld) {
    Workspace ws;
    TestHost host;
    TForm4Window w(ws, host);
    int starts = 0;
    w.startLoading = [&] { ++starts; };
    w.entryClick(0);
    EXPECT_EQ(starts, 0);

    ws.FileList = {"/x/a.tif", "/x/b.tif"};
    ws.LastFileIndex = 1;
    host.changed(View::FileList);
    ws.FileList = {"/y/c.tif"};
    ws.LastFileIndex = 0;
    host.changed(View::FileList);
    QTreeWidgetItem* root = Find<QTreeWidget>(&w, "TreeView1")->topLevelItem(0);
    ASSERT_EQ(root->childCount(), 1);
    EXPECT_EQ(root->child(0)->text(0), "c.tif");
    w.entryClick(1);   // gone with the old list
    EXPECT_EQ(starts, 0);
    w.entryClick(0);
    EXPECT_EQ(starts, 1);
    EXPECT_EQ(ws.FileToOpen, "/y/c.tif");
}

// ---- Help ---------------------------------------------------------------------

TEST(HelpWindowTest, ProductAndKeyTable) {
    TFAboutWindow w;
    EXPECT_EQ(w.windowTitle(), "Help");
    EXPECT_EQ(Find<QLabel>(&w, "ProductName")->text(), "Orvantide 4.1");
    auto* table = Find<QGroupBox>(&w, "HotKeys");
    EXPECT_EQ(table->title(), "Hot kyes");
    QStringList texts;
    for (QLabel* l : table->findChildren<QLabel*>()) texts << l->text();
    const QStringList expected = {
        "A + mouse clicks ",
        "Selects a angular sector in a Frame",
        "Selects a 2Theta range in 2Theta scan",
        "Selects a 2Theta or Psi range for integration",
        "Selects a range in X or Y line scan for analysis",
        "S + mouse clicks ",
        "Selects a rectangular sector in a Frame",
        "Selects a standard line in a X or Y line scan",
        "Z + mouse clicks \n( in 2Theta or Psi scans )",
        "Selects a 2Theta or Psi range to zoom in",
        "C + mouse click ",
        "Selects a new center in a Frame",
        "D + mouse click ",
        "Delete pixels in a Frame",
        "Space bar + mouse clicks \n( in a 2Theta scan )",
        "Mark a ring at a given 2Theta angle",
        "Mouse drag\n (with the right or left button pressed) ",
        "Adjust and scale the standard lines in a X or Y line scan",
    };
    EXPECT_EQ(texts, expected);
    ExpectButtonHides(&w, "BOK");
}

// Pictures for a look by eye; written only when ORV_SCREENSHOT_DIR names a folder.
TEST(SmallWindowsScreenshot, HelpHistoryAndSmallSettings) {
    const char* folder = std::getenv("ORV_SCREENSHOT_DIR");
    if (!folder) GTEST_SKIP() << "ORV_SCREENSHOT_DIR not set";
    Workspace ws;
    TestHost host;
    TFAboutWindow help;
    TForm17Window history(ws, host);
    history.setSlot(1, Picture(Qt::darkCyan), "frame_0001.tif");
    history.setSlot(0, Picture(Qt::darkMagenta), "frame_0010.tif");
    TForm19Window wavelength(ws, host);
    TForm23Window info(ws, host);
    TF2ThetaWindow correct(ws, host);
    TForm28Window model(ws, host);
    const std::pair<QWidget*, const char*> shots[] = {{&help, "help"},           {&history, "history"},
                                                      {&wavelength, "wavelength"}, {&info, "frame_info"},
                                                      {&correct, "correct2theta"}, {&model, "diffractometer"}};
    for (auto [window, name] : shots) {
        window->show();
        QApplication::processEvents();
        EXPECT_TRUE(window->grab().save(QString(folder) + "/" + name + ".png"));
    }
}

#include <QAction>
#include <QApplication>
#include <QMenuBar>
#include <QTimer>

#include <gtest/gtest.h>

#include <QRadioButton>

#include "workspace/main_commands.h"
#include "workspace/ui/main_window.h"
#include "workspace/ui/qt_host.h"
#include "workspace/workspace.h"

using namespace orv;

TEST(MainWindowTest, OpensWithCaptionAndClosesCleanly) {
    Workspace ws;
    QtHost host;
    MainWindow window(ws, host);
    window.show();
    EXPECT_EQ(window.windowTitle(), "Orvantide");
    EXPECT_TRUE(window.isVisible());
    QTimer::singleShot(0, &window, &QWidget::close);
    QApplication::exec();
    EXPECT_FALSE(window.isVisible());
}

TEST(MainWindowTest, EveryCommandOfTheTableIsReachableAndDisabledUntilItHasAHandler) {
    Workspace ws;
    QtHost host;
    MainWindow window(ws, host);
    for (const auto& e : CommandTable()) {
        auto actions = window.actionsOf(e.Id);
        ASSERT_FALSE(actions.empty()) << e.Caption;
        for (QAction* a : actions) EXPECT_FALSE(a->isEnabled()) << e.Caption;
    }
    int runs = 0;
    window.setHandler(CommandId::TwoThetaScan, [&] { ++runs; });
    // The menu item and the tool button run the same command.
    auto actions = window.actionsOf(CommandId::TwoThetaScan);
    ASSERT_EQ(actions.size(), 2u);
    for (QAction* a : actions) {
        EXPECT_TRUE(a->isEnabled());
        a->trigger();
    }
    EXPECT_EQ(runs, 2);
    window.setCommandEnabled(CommandId::TwoThetaScan, false);
    EXPECT_FALSE(window.trigger(CommandId::TwoThetaScan));
    EXPECT_EQ(runs, 2);
}

TEST(MainWindowTest, MenusInOrderWithTheirCaptions) {
    Workspace ws;
    QtHost host;
    MainWindow window(ws, host);
    QStringList titles;
    for (QAction* a : window.menuBar()->actions()) titles << a->text();
    EXPECT_EQ(titles, (QStringList{"File", "Edit", "View", "Diffractometer", "Math", "Select area", "Analyze",
                                   "Scan settings", "Batch Processing", "Script", "Help"}));
    EXPECT_NE(window.findChild<QAction*>("SBFileOpen"), nullptr);
    EXPECT_NE(window.findChild<QAction*>("SBEraser"), nullptr);
}

TEST(MainWindowTest, ToolButtonsShowTheToolStateAndTheEraserSizes) {
    Workspace ws;
    QtHost host;
    MainWindow window(ws, host);
    window.setHandler(CommandId::ToolEraser, [&] { SelectMouseTool(ws, host, MouseTool::Eraser); });
    window.setHandler(CommandId::ToolSelectRect, [&] { SelectMouseTool(ws, host, MouseTool::SelectRect); });
    window.show();
    auto* panel = window.findChild<QWidget*>("Panel1");
    ASSERT_NE(panel, nullptr);
    EXPECT_FALSE(panel->isVisible());
    window.trigger(CommandId::ToolEraser);
    EXPECT_TRUE(ws.FrameTools.SBEraser);
    EXPECT_TRUE(panel->isVisible());
    EXPECT_TRUE(window.findChild<QAction*>("SBEraser")->isChecked());
    window.findChild<QRadioButton*>("RadioButton4")->click();
    EXPECT_EQ(ws.FrameTools.EraserSize, 8);
    window.trigger(CommandId::ToolSelectRect);
    EXPECT_FALSE(panel->isVisible());
    EXPECT_TRUE(window.findChild<QAction*>("SBSelectRect")->isChecked());
    EXPECT_FALSE(window.findChild<QAction*>("SBEraser")->isChecked());
    EXPECT_TRUE(ws.FMask.CBRectangle);
}

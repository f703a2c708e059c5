#include <QApplication>
#include <QTimer>

#include <gtest/gtest.h>

#include "workspace/ui/main_window.h"

TEST(MainWindowTest, OpensWithCaptionAndClosesCleanly) {
    orv::MainWindow window;
    window.show();
    EXPECT_EQ(window.windowTitle(), "Orvantide");
    EXPECT_TRUE(window.isVisible());
    QTimer::singleShot(0, &window, &QWidget::close);
    QApplication::exec();
    EXPECT_FALSE(window.isVisible());
}

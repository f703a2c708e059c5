#include <gtest/gtest.h>

#include "test_support.h"
#include "workspace/logbook.h"

using namespace orv;

TEST(LogbookTest, SavesEveryLineWithCrLf) {
    test::TempDir dir;
    LogBook log;
    log.Append("Loaded Settings a.set");
    log.Append("");
    log.Append("2Theta scan calculated and displayed ");
    log.SaveToFile(dir.file("x.log"));
    EXPECT_EQ(test::ReadBytes(dir.file("x.log")),
              "Loaded Settings a.set\r\n\r\n2Theta scan calculated and displayed \r\n");
}

TEST(LogbookTest, ExitSavesOnlyLongLogbooksWithoutScript) {
    EXPECT_FALSE(LogbookSaveOnExit(5, false));
    EXPECT_TRUE(LogbookSaveOnExit(6, false));
    EXPECT_FALSE(LogbookSaveOnExit(6, true));
}

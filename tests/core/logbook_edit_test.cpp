#include <gtest/gtest.h>

#include "workspace/logbook.h"

using namespace orv;

TEST(LogbookEditTest, UserEditKeepsLinesAppendedMeanwhile) {
    LogBook log;
    log.Append("one");
    log.Append("two");
    // The memo showed two lines; a worker appended a third before the
    // user's edit came back.
    log.Append("three");
    log.ReplaceFirst(2, {"one", "two edited", "typed"});
    EXPECT_EQ(log.Lines(), (std::vector<std::string>{"one", "two edited", "typed", "three"}));

    // Deleting everything the memo showed keeps the unseen line.
    log.ReplaceFirst(3, {});
    EXPECT_EQ(log.Lines(), (std::vector<std::string>{"three"}));

    // A memo that claims more lines than there are (the log was cleared
    // meanwhile) replaces what is there.
    log.ReplaceFirst(10, {"x"});
    EXPECT_EQ(log.Lines(), (std::vector<std::string>{"x"}));
}

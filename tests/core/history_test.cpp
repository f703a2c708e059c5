#include <gtest/gtest.h>

#include "workspace/history.h"
#include "workspace/workspace.h"

using namespace orv;

namespace {

// The workspace after opening three files from /data/run and loading some of
// them into the history.
void Open(Workspace& ws) {
    ws.FileList = {"/data/run/a.tif", "/data/other/b.tif", "/data/run/c.tif"};
    ws.LastFileIndex = 2;
    ws.FrameFolder = "/data/run/";
    ws.HistoryFiles[0] = "/data/run/ten.tif";
    ws.HistoryFiles[1] = "/data/run/one.tif";
    ws.HistoryFiles[9] = "/data/run/nine.tif";
}

} // namespace

TEST(HistoryTest, PicturesAndSlots) {
    // Pictures 1..9 show slots 1..9; the tenth shows slot 0 and back.
    for (int k = 1; k <= 9; ++k) {
        EXPECT_EQ(HistorySlotOfPicture(k), k);
        EXPECT_EQ(HistoryPictureOfSlot(k), k);
    }
    EXPECT_EQ(HistorySlotOfPicture(10), 0);
    EXPECT_EQ(HistoryPictureOfSlot(0), 10);
    EXPECT_EQ(HistorySlotOfPicture(0), -1);
    EXPECT_EQ(HistorySlotOfPicture(11), -1);
    EXPECT_EQ(HistoryPictureOfSlot(10), -1);
    EXPECT_EQ(HistoryPictureOfSlot(-1), -1);
}

TEST(HistoryTest, TenthPictureReloadsSlotZero) {
    Workspace ws;
    Open(ws);
    ASSERT_TRUE(HistoryPictureClick(ws, 10));
    EXPECT_EQ(ws.FileToOpen, "/data/run/ten.tif");
    EXPECT_EQ(ws.HistorySlot, 0);   // the slot, never 10
    EXPECT_EQ(ws.LoadFromHistory, 1);

    ASSERT_TRUE(HistoryPictureClick(ws, 9));
    EXPECT_EQ(ws.FileToOpen, "/data/run/nine.tif");
    EXPECT_EQ(ws.HistorySlot, 9);
}

TEST(HistoryTest, EmptySlotOrNothingOpenedChangesNothing) {
    Workspace ws;
    Open(ws);
    ws.FileToOpen = "/data/run/a.tif";
    ws.HistorySlot = 4;
    EXPECT_FALSE(HistoryPictureClick(ws, 5));   // slot 5 never filled
    EXPECT_EQ(ws.FileToOpen, "/data/run/a.tif");
    EXPECT_EQ(ws.HistorySlot, 4);
    EXPECT_EQ(ws.LoadFromHistory, 0);           // a later batch still walks the list

    EXPECT_FALSE(HistoryPictureClick(ws, 0));
    EXPECT_FALSE(HistoryPictureClick(ws, 11));
    EXPECT_EQ(ws.LoadFromHistory, 0);

    Workspace fresh;
    fresh.HistoryFiles[1] = "/data/run/one.tif";  // even with a slot filled
    EXPECT_FALSE(HistoryPictureClick(fresh, 1));
    EXPECT_TRUE(fresh.FileToOpen.empty());
    EXPECT_EQ(fresh.LoadFromHistory, 0);
}

TEST(FrameListTest, NamesWithoutFolderInListOrder) {
    Workspace ws;
    Open(ws);
    EXPECT_EQ(FrameListNames(ws), (std::vector<std::string>{"a.tif", "b.tif", "c.tif"}));
    // A list file reserves a place per line but lists only its FILE lines.
    ws.FileList.push_back("");
    EXPECT_EQ(FrameListNames(ws).size(), 3u);
    EXPECT_TRUE(FrameListNames(Workspace()).empty());
}

TEST(FrameListTest, ClickLoadsTheEntrysOwnPath) {
    Workspace ws;
    Open(ws);
    ASSERT_TRUE(FrameListClick(ws, 1));
    // b.tif lies in another folder than FrameFolder: the full path counts.
    EXPECT_EQ(ws.FileToOpen, "/data/other/b.tif");
    EXPECT_EQ(ws.CurrentFileIndex, 1);
    EXPECT_EQ(ws.SingleFileMode, 1);
}

TEST(FrameListTest, ClickOutsideTheListOrBeforeOpeningDoesNothing) {
    Workspace ws;
    Open(ws);
    ws.CurrentFileIndex = 2;
    EXPECT_FALSE(FrameListClick(ws, 3));
    EXPECT_FALSE(FrameListClick(ws, -1));
    EXPECT_EQ(ws.CurrentFileIndex, 2);
    EXPECT_EQ(ws.SingleFileMode, 0);

    Workspace fresh;
    fresh.FileList = {"/data/run/a.tif"};   // listed but nothing opened yet
    EXPECT_FALSE(FrameListClick(fresh, 0));
    EXPECT_TRUE(fresh.FileToOpen.empty());
}

// The names saves write to: an extension is never given twice, and a name
// proposed for an output of a frame is that output's, not the frame's.
#include <gtest/gtest.h>

#include "workspace/logbook.h"
#include "workspace/text_files.h"

using namespace orv;

TEST(SaveNamesTest, AnExtensionIsGivenOnce) {
    struct Case {
        const char* typed;
        const char* extension;
        const char* written;
    };
    for (const Case& c : {Case{"/tmp/session1", ".log", "/tmp/session1.log"},
                          Case{"/tmp/session1.log", ".log", "/tmp/session1.log"},
                          Case{"/tmp/session1.LOG", ".log", "/tmp/session1.LOG"},
                          Case{"/tmp/session1.log.txt", ".log", "/tmp/session1.log.txt.log"},
                          Case{"/tmp/a.set", ".msk", "/tmp/a.set.msk"},
                          Case{"/tmp/xlog", ".log", "/tmp/xlog.log"}})
        EXPECT_EQ(WithExtension(c.typed, c.extension), c.written) << c.typed;
    EXPECT_EQ(LogbookFileNameFromDialog("/tmp/session1.log"), "/tmp/session1.log");
}

TEST(SaveNamesTest, ProposedNamesOfAFramesOutputs) {
    struct Case {
        const char* frame;
        const char* extension;
        const char* proposed;
    };
    for (const Case& c : {Case{"/data/big.orv", ".orv", "big.orv"},
                          Case{"/data/ceo2.orv", ".xy", "ceo2.xy"},
                          Case{"/data/ceo2.ORV", ".log", "ceo2.log"},
                          // The own file of frame.tif stands for frame.tif.
                          Case{"/data/frame.tif.orv", ".xy", "frame.tif.xy"},
                          Case{"/data/frame.tif", ".orv", "frame.tif.orv"},
                          Case{"/data/frame.tif", ".log", "frame.tif.log"},
                          Case{"C:\\data\\run7", ".bmp", "run7.bmp"},
                          Case{"/data/.orv", ".xy", ".orv.xy"}})
        EXPECT_EQ(ProposedSaveName(c.frame, c.extension), c.proposed) << c.frame << " " << c.extension;
}

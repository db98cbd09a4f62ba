// Paths: the one join of folder and listed name, which must never lead
// outside the folder.

#include <gtest/gtest.h>

#include "platform/file.h"
#include "platform/path.h"
#include "platform/process.h"

namespace {

TEST(JoinUnder, BackslashLevelsBecomeLocalLevels) {
    EXPECT_EQ(platform::JoinUnder("/dest", "a.txt"), "/dest/a.txt");
    EXPECT_EQ(platform::JoinUnder("/dest/", "sub\\deeper\\a.txt"), "/dest/sub/deeper/a.txt");
    EXPECT_EQ(platform::JoinUnder("/dest", "..a\\b..\\.hidden"), "/dest/..a/b../.hidden");
}

TEST(JoinUnder, NamesThatCouldLeaveTheFolderAreRefused) {
    const char* hostile[] = {
        "",       "..",        ".",        "..\\etc\\passwd", "sub\\..\\..\\x",
        "sub\\.", "\\abs",     "sub\\\\x", "sub\\",           "C:\\x",
        "c:",     "a/../../x", "/etc/x",   "sub\\a/b",
    };
    for (const char* name : hostile) {
        EXPECT_FALSE(platform::JoinUnder("/dest", name)) << name;
    }
    EXPECT_FALSE(platform::JoinUnder("/dest", std::string("a\0b", 3)));
}

TEST(PathParts, SplitAtTheLastSeparator) {
    EXPECT_EQ(platform::FileNamePart("/a/b/c.txt"), "c.txt");
    EXPECT_EQ(platform::FileNamePart("c.txt"), "c.txt");
    EXPECT_EQ(platform::FolderPart("/a/b/c.txt"), "/a/b");
    EXPECT_EQ(platform::FolderPart("/c.txt"), "");
    EXPECT_FALSE(platform::FolderPart("c.txt"));
    EXPECT_EQ(platform::JoinName("", "x.log"), "/x.log");
}

TEST(Process, ExecutablePathIsKnown) {
    EXPECT_FALSE(platform::ExecutablePath().empty());
}

}  // namespace

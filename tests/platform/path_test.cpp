// Paths: the one join of folder and listed name, which must never lead
// outside the folder, and the names each system's rules take.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "platform/file.h"
#include "platform/path.h"
#include "platform/process.h"

namespace {

using platform::NameRules;

// A path written with '/' in this system's spelling.
std::string Local(std::string path) {
    std::replace(path.begin(), path.end(), '/', platform::kPathSeparator);
    return path;
}

TEST(JoinUnder, BackslashLevelsBecomeLocalLevels) {
    EXPECT_EQ(platform::JoinUnder(Local("/dest"), "a.txt"), Local("/dest/a.txt"));
    EXPECT_EQ(platform::JoinUnder(Local("/dest/"), "sub\\deeper\\a.txt"),
              Local("/dest/sub/deeper/a.txt"));
    EXPECT_EQ(platform::JoinUnder(Local("/dest"), "..a\\b..\\.hidden", NameRules::Posix),
              Local("/dest/..a/b../.hidden"));
}

TEST(JoinUnder, NamesThatCouldLeaveTheFolderAreRefused) {
    const char* hostile[] = {
        "",       "..",        ".",        "..\\etc\\passwd", "sub\\..\\..\\x",
        "sub\\.", "\\abs",     "sub\\\\x", "sub\\",           "C:\\x",
        "c:",     "a/../../x", "/etc/x",   "sub\\a/b",
    };
    for (const NameRules rules : {NameRules::Posix, NameRules::Windows}) {
        for (const char* name : hostile) {
            EXPECT_FALSE(platform::JoinUnder("/dest", name, rules)) << name;
        }
        EXPECT_FALSE(platform::JoinUnder("/dest", std::string("a\0b", 3), rules));
    }
}

// Names a POSIX file system stores as written, but Windows would read as a
// device, cut short, send to a stream, or refuse: never written there as
// something else.
TEST(NameRulesTest, WindowsRefusesWhatItWouldReadAsSomethingElse) {
    const struct {
        std::string name;
        bool windows;  // storable under the Windows rules
    } rows[] = {
        {"report.pdf", true},   {"CON", false},        {"con.txt", false},     {"Nul", false},
        {"aux.tar.gz", false},  {"PRN ", false},       {"prn .txt", false},    {"COM1", false},
        {"lpt9.log", false},    {"COM0", false},       {"com\xc2\xb9", false}, {"CONIN$", false},
        {"conout$.txt", false}, {"COM10", true},       {"LPT", true},          {"CONSOLE", true},
        {"nul_", true},         {"x.CON", true},       {"trailing.", false},   {"trailing ", false},
        {"dots..", false},      {" leading", true},    {".hidden", true},      {"a<b", false},
        {"a>b", false},         {"a:stream", false},   {"a\"b", false},        {"a|b", false},
        {"a?b", false},         {"a*b", false},        {"tab\there", false},   {"\x1f", false},
        {"bell\x07", false},    {"caf\xc3\xa9", true}, {"%3f.txt", true},      {"a\x7f", true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_TRUE(platform::IsStorableName(row.name, NameRules::Posix));
        EXPECT_EQ(platform::IsStorableName(row.name, NameRules::Windows), row.windows);
        EXPECT_EQ(platform::JoinUnder("/dest", "sub\\" + row.name, NameRules::Windows).has_value(),
                  row.windows);
        EXPECT_EQ(platform::JoinUnder("/dest", row.name + "\\x", NameRules::Windows).has_value(),
                  row.windows)
            << "folder levels too";
    }
    EXPECT_EQ(platform::SystemNameRules() == NameRules::Windows, platform::kPathSeparator == '\\');
}

TEST(NameRulesTest, WindowsDoesNotTellLetterCaseApart) {
    const struct {
        const char* a;
        const char* b;
        bool sameOnWindows;
    } rows[] = {
        {"dest/Report.PDF", "dest/report.pdf", true},
        {"dest/SUB/a.txt", "dest/sub/A.TXT", true},
        {"dest/\xc3\x89t\xc3\xa9.txt", "dest/\xc3\xa9T\xc3\x89.txt", true},  // Été, éTÉ
        {"dest/\xc5\x92uvre", "dest/\xc5\x93uvre", true},                    // Œuvre, œuvre
        {"dest/\xc5\xb8", "dest/\xc3\xbf", true},                            // Ÿ, ÿ
        {"dest/\xd0\x96\xd0\x81", "dest/\xd0\xb6\xd1\x91", true},            // ЖЁ, жё
        {"dest/\xce\xa3\xce\x86", "dest/\xcf\x83\xce\xac", true},            // ΣΆ, σά
        {"dest/a.txt", "dest/b.txt", false},
        {"dest/\xc3\x97", "dest/\xc3\xb7", false},  // × and ÷ are no letters
        {"dest/a", "dest/a ", false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.a) + " / " + row.b);
        EXPECT_EQ(platform::NameKey(row.a, NameRules::Windows) ==
                      platform::NameKey(row.b, NameRules::Windows),
                  row.sameOnWindows);
        EXPECT_NE(platform::NameKey(row.a, NameRules::Posix),
                  platform::NameKey(row.b, NameRules::Posix));
    }
    // Bytes that are no UTF-8 stay as they are.
    EXPECT_EQ(platform::NameKey("A\xff\xc3", NameRules::Windows), "a\xff\xc3");
}

TEST(PathParts, SplitAtTheLastSeparator) {
    EXPECT_EQ(platform::FileNamePart(Local("/a/b/c.txt")), "c.txt");
    EXPECT_EQ(platform::FileNamePart("c.txt"), "c.txt");
    EXPECT_EQ(platform::FolderPart(Local("/a/b/c.txt")), Local("/a/b"));
    EXPECT_EQ(platform::FolderPart(Local("/c.txt")), "");
    EXPECT_FALSE(platform::FolderPart("c.txt"));
    EXPECT_EQ(platform::JoinName("", "x.log"), Local("/x.log"));
}

TEST(PathParts, AbsolutePathsAsThisSystemReadsThem) {
    EXPECT_TRUE(platform::IsAbsolutePath(Local("/etc/trevasto")));
    EXPECT_FALSE(platform::IsAbsolutePath(Local("keys/table.bin")));
    EXPECT_FALSE(platform::IsAbsolutePath(""));
    const bool windows = platform::kPathSeparator == '\\';
    EXPECT_EQ(platform::IsAbsolutePath("C:\\keys"), windows);
    EXPECT_EQ(platform::IsAbsolutePath("c:/keys"), windows);
    EXPECT_EQ(platform::IsAbsolutePath("\\\\server\\share"), windows);
    EXPECT_FALSE(platform::IsAbsolutePath("C:keys")) << "relative to a drive's current folder";
}

TEST(Process, ExecutablePathIsKnown) {
    EXPECT_FALSE(platform::ExecutablePath().empty());
}

}  // namespace

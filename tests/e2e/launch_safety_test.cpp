// What a run may do to the files around it and to the terminal: only a key
// file is deleted, whatever the argument looks like and whether or not the
// deployment is there; work files live in the program's own folder; names
// from the service reach the console as text.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "app/transfer_app.h"
#include "e2e/e2e_harness.h"
#include "platform/file.h"

namespace e2e {
namespace {

using service_testing::WriteDatedFile;
using Strings = std::vector<std::string>;

const char* const kWorkFiles[] = {"diff.crc", "temp.crc", "temp.crc~"};

// The console's lines for a message text.
Strings ConsoleLines(std::string text) {
    for (std::size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at)) {
        text.erase(at, 1);
    }
    Strings lines;
    for (std::size_t start = 0;;) {
        const std::size_t end = text.find('\n', start);
        lines.push_back(text.substr(start, end - start));
        if (end == std::string::npos) {
            return lines;
        }
        start = end + 1;
    }
}

bool IsFifo(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISFIFO(st.st_mode);
}

class LaunchSafetyTest : public EndToEndTest {
  protected:
    LaunchSafetyTest() { StartServices(); }

    // Writes files into a folder, dated as trees are compared.
    static void WriteTree(const testing_support::TempDir& dir, const Tree& files) {
        for (const auto& [name, file] : files) {
            WriteDatedFile(dir, name, file.bytes, file.lastWrite);
        }
    }
};

// The program started with one argument that names no key file, in a
// folder holding files that a wrong reading of it would name (two of them
// keys, so that only taking argv[1] as given spares them): each run shows
// the message and ends with status 2, and every file stays. A FIFO is
// neither waited on nor removed.
TEST_F(LaunchSafetyTest, ArgumentsThatNameNoKeyFileLeaveEveryFileAlone) {
    const Tree files{
        {"victim", {"download=VICTIM"}},
        {"x", {"download=X"}},
        {"thesis.txt", {"My thesis, chapter one"}},
    };
    for (const std::string argument : {"\"victim\" key.qvnkey", " x", "thesis.txt", "fifo"}) {
        SCOPED_TRACE("argument '" + argument + "'");
        const testing_support::TempDir folder;
        WriteTree(folder, files);
        ASSERT_EQ(::mkfifo(folder.Sub("fifo").c_str(), 0600), 0);

        const ProgramRun run =
            RunAs({.arguments = Strings{argument}, .workingDirectory = folder.path()}, "K", {});
        EXPECT_EQ(run.ExitCode(), 2) << run.Describe();
        EXPECT_EQ(run.lines, ConsoleLines(app::kNoLongerValidText)) << run.Describe();
        EXPECT_TRUE(run.requests.empty()) << run.Describe();
        EXPECT_TRUE(SameTree(files, ReadTree(folder.path())));
        EXPECT_TRUE(IsFifo(folder.Sub("fifo")));
    }
}

TEST_F(LaunchSafetyTest, KeyFileIsDeletedEvenWithoutADeployment) {
    const ProgramRun run = RunAs({.deployment = false}, "K", {});
    EXPECT_EQ(run.ExitCode(), 2) << run.Describe();
    EXPECT_TRUE(run.errorText.starts_with("trevasto: ")) << run.Describe();
    EXPECT_TRUE(run.lines.empty()) << run.Describe();
    EXPECT_FALSE(platform::Exists(KeyFile())) << "the credential stays behind";
}

// The names of the engine's work files in the folder the program runs in
// (a desktop launcher's: the user's home) are the user's files.
TEST_F(LaunchSafetyTest, WorkFilesAreDeletedOnlyInTheProgramsWorkFolder) {
    Tree userFiles;
    Tree workFiles;  // below XDG_CACHE_HOME
    for (const std::string name : kWorkFiles) {
        userFiles[name] = {"the user's " + name};
        workFiles["trevasto/" + name] = {"an earlier run's"};
    }
    const testing_support::TempDir folder;
    WriteTree(folder, userFiles);
    WriteTree(cache_, workFiles);

    const Tree files{{"report.txt", {"quarterly figures\n"}}};
    const ProgramRun run =
        RunAs({.workingDirectory = folder.path()}, NextCase(files, ""), Answers());
    EXPECT_EQ(run.ExitCode(), 0) << run.Describe();
    EXPECT_TRUE(SameTree(files, DestinationTree()));
    EXPECT_TRUE(SameTree(userFiles, ReadTree(folder.path())));
    for (const char* name : kWorkFiles) {
        EXPECT_FALSE(platform::Exists(WorkFolder() + "/" + name)) << name;
    }
}

// A name holding ESC [2J (clear the screen), BEL, backspace, CR and a
// Windows-1252 byte (0xFF, "\xc3\xbf" in UTF-8): the client drops the CR from
// names, the file keeps the rest of its name on disk, converted (on Linux;
// Windows refuses the name), and the console shows the control bytes
// escaped.
TEST_F(LaunchSafetyTest, ControlBytesInAListedNameReachTheConsoleEscaped) {
    const std::string served = "ledger\x1b[2J\a\b\r\xff.txt";
    const std::string saved = "ledger\x1b[2J\a\b\xc3\xbf.txt";
    const ProgramRun run = Run(NextCase({{served, {"payload"}}}, ""), Answers());
    EXPECT_EQ(run.ExitCode(), 0) << run.Describe();
    const std::string shown = "ledger\\x1b[2J\\x07\\x08\xc3\xbf.txt";
    if (WindowsProgram()) {
        // Windows names hold no control characters: the name is refused.
        EXPECT_TRUE(SameTree({}, DestinationTree()));
        EXPECT_EQ(
            run.FinalLines(),
            (std::vector<std::string>{shown + "   (1 of 1)", "Invalid File Name. Download Skipped.",
                                      "Processing Complete", " Download Processing Complete"}))
            << run.Describe();
    } else {
        EXPECT_TRUE(SameTree({{saved, {"payload"}}}, DestinationTree()));
        ASSERT_FALSE(run.FinalLines().empty()) << run.Describe();
        EXPECT_EQ(run.FinalLines().front(), shown + "  1K  (1 of 1)");
    }
    for (const std::string& line : run.lines) {
        EXPECT_EQ(line.find_first_of("\x1b\a\b\r\xff"), std::string::npos) << line;
    }
}

}  // namespace
}  // namespace e2e

// The console front-end as a person or a script meets it: --help and
// --version, the summary at the end of a run, Ctrl-C during a transfer and
// at a prompt, and a service that cannot be reached.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "e2e/e2e_harness.h"
#include "platform/file.h"

namespace e2e {
namespace {

using service_testing::NewYearsEve2006;
using service_testing::PatternBytes;
using Strings = std::vector<std::string>;

class ConsoleTest : public EndToEndTest {};

// The options answer without a deployment, a service or a key file being
// looked at: the key file named beside them stays.
TEST_F(ConsoleTest, HelpAndVersionPrintAndEndWithoutTouchingAFile) {
    const struct {
        Strings arguments;
        std::string firstLine;
    } cases[] = {
        {{"--help"}, "Usage: trevasto KEYFILE"},
        {{"-h", "key.txt"}, "Usage: trevasto KEYFILE"},
        {{"--version"}, std::string("trevasto ") + TREVASTO_VERSION},
        {{"-V"}, std::string("trevasto ") + TREVASTO_VERSION},
    };
    StartServices();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments.front());
        if (WindowsProgram() && c.arguments.size() > 1) {
            continue;  // Windows takes the rest of the raw line as one argument
        }
        const ProgramRun run =
            RunAs({.arguments = c.arguments, .workingDirectory = work_.path(), .deployment = false},
                  "K", {});
        EXPECT_EQ(run.ExitCode(), 0) << run.Describe();
        ASSERT_FALSE(run.lines.empty()) << run.Describe();
        EXPECT_EQ(run.lines.front(), c.firstLine);
        EXPECT_EQ(run.errorText, "");
        EXPECT_TRUE(platform::Exists(KeyFile())) << "the key file stays";
        // (The Windows program's work folder is under the Wine prefix, which
        // the runs share.)
        if (!WindowsProgram()) {
            EXPECT_FALSE(platform::Exists(WorkFolder())) << "no work folder is made";
        }
        EXPECT_TRUE(run.requests.empty());
    }
}

// The end of a run says what it did on standard error, after the lines.
TEST_F(ConsoleTest, ARunEndsWithItsSummaryLine) {
    const Tree files{{"a.txt", {"alpha\n"}}, {"b.bin", {PatternBytes(3000)}}};
    WriteKey("K1", files);
    StartServices();
    const ProgramRun run = Run("K1", Answers());
    EXPECT_EQ(run.ExitCode(), 0) << run.Describe();
    EXPECT_TRUE(std::regex_search(
        run.errorText,
        std::regex("\nDone: 2 files complete, 0 skipped, 0 failed; [0-9.]+ KB in [0-9]+ s"
                   "( \\([0-9.]+ [KM]?B(ytes)?/s\\))?\n$")))
        << run.Describe();
}

// Ctrl-C during a transfer stops it without a question: the file in
// progress keeps its partial, the summary is printed and the status is 1;
// the next run continues the partial (the service is told of it and sends
// the rest) into the right file. A packed format, which the program never
// asks to have packed, is continued.
TEST_F(ConsoleTest, CtrlCKeepsThePartialWhichTheNextRunContinues) {
    const Tree served{{"film.mp4", {PatternBytes(2 * 1024 * 1024, 9), NewYearsEve2006()}}};
    StartServices();
    const std::string key =
        NextCase(served, "fault = slow_body file=film.mp4 after=1100000 for=20000\n");
    const std::string partial = Destination() + "/film.mp4~";
    const ProgramRun first = Run(key, Answers(), [&] {
        ASSERT_TRUE(WaitForDownload("1"));
        // The service pauses after more than the program's first write
        // block; once that is written the program is interrupted.
        const auto deadline = std::chrono::steady_clock::now() + kRunLimit;
        for (;;) {
            const auto info = platform::GetFileInfo(partial);
            if ((info && info->size > 0) || std::chrono::steady_clock::now() > deadline) {
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        SignalProgram(SIGINT);
    });
    EXPECT_EQ(first.ExitCode(), 1) << first.Describe();
    EXPECT_EQ(first.FinalLines(), (Strings{"film.mp4  2,048K  (1 of 1)", "Download Incomplete"}))
        << first.Describe();
    EXPECT_TRUE(std::regex_search(
        first.errorText,
        std::regex("\nStopped: 0 files complete, 0 skipped, 1 failed; 1\\.0 MB in [0-9]+ s.*\n$")))
        << first.Describe();
    const Tree left = DestinationTree();
    ASSERT_EQ(left.size(), 1u) << first.Describe();
    ASSERT_TRUE(left.contains("film.mp4~")) << first.Describe();
    const std::size_t kept = left.at("film.mp4~").bytes.size();
    EXPECT_GT(kept, 0u);
    EXPECT_EQ(left.at("film.mp4~").bytes, served.at("film.mp4").bytes.substr(0, kept));

    const ProgramRun second = Run(key, Answers());
    EXPECT_EQ(second.ExitCode(), 0) << second.Describe();
    EXPECT_TRUE(SameTree(served, DestinationTree())) << second.Describe();
    const Strings downloads = second.DownloadsOf("1");
    ASSERT_EQ(downloads.size(), 1u) << second.Describe();
    const std::optional<std::string> described = HeaderValue(downloads[0], "X-QVN-RESTART2: ");
    ASSERT_TRUE(described) << downloads[0];
    EXPECT_TRUE(described->ends_with("," + std::to_string(kept) + ",1;")) << *described;
    EXPECT_EQ(second.FinalLines().at(1), "Update File Complete") << second.Describe();
}

// At a prompt nothing runs that a stop could save: Ctrl-C ends the program
// at once, as the signal does by default.
TEST_F(ConsoleTest, CtrlCAtAPromptEndsTheProgramAtOnce) {
    WriteKey("K1", {{"a.txt", {"alpha\n"}}});
    StartServices();
    // Standard input that stays open and gives no answer.
    const std::string fifo = work_.Sub("answers");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const int writer = ::open(fifo.c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(writer, 0);
    const auto start = std::chrono::steady_clock::now();
    const ProgramRun run = RunAs({.inputFile = fifo}, "K1", {}, [&] {
        ASSERT_TRUE(WaitForErrorLine("Destination Folder (empty to cancel): "));
        SignalProgram(SIGINT);
    });
    ::close(writer);
    ASSERT_TRUE(run.exit) << run.Describe();
    EXPECT_FALSE(run.exit->exited) << run.Describe();
    EXPECT_EQ(run.exit->signal, SIGINT) << run.Describe();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_TRUE(DestinationTree().empty());
}

// A service that cannot be reached is said to be so, on standard error,
// with the server tried; nothing is asked and the status is 1.
TEST_F(ConsoleTest, AnUnreachableServiceIsNamedOnStandardError) {
    const std::uint16_t port = RefusedPort();
    programServers_ = {port};
    StartServices();
    const ProgramRun run = Run("K1", Answers());
    EXPECT_EQ(run.ExitCode(), 1) << run.Describe();
    EXPECT_TRUE(run.lines.empty()) << run.Describe();
    EXPECT_TRUE(run.requests.empty()) << run.Describe();
    EXPECT_TRUE(std::regex_match(
        run.errorText,
        std::regex("Checking the download key\\.\\.\\.\n"
                   "Trevasto could not reach the Quorvane service \\(127\\.0\\.0\\.1:" +
                   std::to_string(port) + ": [^)]*refused\\)\\. Please try again later\\.\n")))
        << run.Describe();
}

}  // namespace
}  // namespace e2e

#include "support/child_process.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cerrno>
#include <csignal>
#include <string>

#include "support/temp_dir.h"

namespace {

using testing_support::ChildInput;
using testing_support::ChildOptions;
using testing_support::ChildOutput;
using testing_support::ChildProcess;
using testing_support::ExitStatus;
using Stream = testing_support::ChildProcess::Stream;

constexpr std::chrono::seconds kPatience{20};

ChildOptions Shell(const std::string& script) {
    ChildOptions options;
    options.argv = {"/bin/sh", "-c", script};
    return options;
}

ChildProcess StartOrFail(const ChildOptions& options) {
    auto child = ChildProcess::Start(options);
    EXPECT_TRUE(child.ok()) << child.error().Message();
    return child.ok() ? std::move(*child) : ChildProcess();
}

TEST(ChildProcessTest, ReportsExitCodesAndCapturesBothStreamsApart) {
    ChildProcess child = StartOrFail(Shell("echo out; echo err >&2; exit 7"));
    const auto status = child.WaitFor(kPatience);
    ASSERT_TRUE(status.has_value());
    EXPECT_EQ(*status, (ExitStatus{true, 7, 0}));
    EXPECT_FALSE(status->Succeeded());
    EXPECT_EQ(child.Captured(Stream::Output), "out\n");
    EXPECT_EQ(child.Captured(Stream::Error), "err\n");

    ChildProcess fine = StartOrFail(Shell("true"));
    EXPECT_TRUE(fine.Wait().Succeeded());
}

TEST(ChildProcessTest, FeedsInputTextLargerThanAPipeHolds) {
    // More than a pipe buffers, so the writer must run beside the child.
    std::string input;
    for (int i = 0; input.size() < 300'000; ++i) {
        input += "line " + std::to_string(i) + "\n";
    }
    ChildOptions options = Shell("wc -c");
    options.input = ChildInput::FromText(input);
    ChildProcess child = StartOrFail(options);
    ASSERT_TRUE(child.WaitFor(kPatience).has_value());
    EXPECT_EQ(std::stoul(child.Captured(Stream::Output)), input.size());
}

TEST(ChildProcessTest, InputThatTheChildNeverReadsDoesNotBlockOrKillTheParent) {
    ChildOptions options = Shell("exit 3");
    options.input = ChildInput::FromText(std::string(1 << 20, 'x'));
    ChildProcess child = StartOrFail(options);
    const auto status = child.WaitFor(kPatience);
    ASSERT_TRUE(status.has_value());
    EXPECT_EQ(status->code, 3);
}

TEST(ChildProcessTest, UsesFilesEnvironmentAndWorkingDirectory) {
    testing_support::TempDir dir;
    dir.Write("in.txt", "from a file\n");
    ChildOptions options = Shell("cat; echo \"$TREVASTO_CHILD_TEST\"; pwd >&2");
    options.environment = {{"TREVASTO_CHILD_TEST", "added value"}};
    options.workingDirectory = dir.path();
    options.input = ChildInput::FromFile(dir.Sub("in.txt"));
    options.output = ChildOutput::ToFile(dir.Sub("out.txt"));
    ChildProcess child = StartOrFail(options);
    ASSERT_TRUE(child.WaitFor(kPatience).has_value());
    EXPECT_EQ(dir.Read("out.txt"), "from a file\nadded value\n");
    EXPECT_EQ(child.Captured(Stream::Output), "");
    // The temporary folder may be reached through a link; compare the last level.
    const std::string where = child.Captured(Stream::Error);
    const std::string last = dir.path().substr(dir.path().rfind('/') + 1);
    EXPECT_NE(where.find(last), std::string::npos) << where;
}

TEST(ChildProcessTest, ReplacesAnInheritedVariableRatherThanAddingASecond) {
    ChildOptions options = Shell("env | grep -c '^PATH='; echo \"$PATH\"");
    options.environment = {{"PATH", "/bin:/usr/bin"}};
    ChildProcess child = StartOrFail(options);
    ASSERT_TRUE(child.WaitFor(kPatience).has_value());
    EXPECT_EQ(child.Captured(Stream::Output), "1\n/bin:/usr/bin\n");
}

TEST(ChildProcessTest, KillEndsARunningChildWithTheSignal) {
    ChildProcess child = StartOrFail(Shell("echo ready; exec sleep 60"));
    ASSERT_TRUE(child.WaitForLine(Stream::Output, "ready", kPatience).has_value());
    EXPECT_FALSE(child.WaitFor(std::chrono::milliseconds(50)).has_value());
    ASSERT_TRUE(child.Kill(SIGTERM).ok());
    const auto status = child.WaitFor(kPatience);
    ASSERT_TRUE(status.has_value());
    EXPECT_FALSE(status->exited);
    EXPECT_EQ(status->signal, SIGTERM);
    // A reaped child is never signalled again: its id may belong to another.
    EXPECT_FALSE(child.Kill(SIGTERM).ok());
}

TEST(ChildProcessTest, WaitForLineFindsAWholeLineByItsPrefixOrGivesUp) {
    ChildProcess child = StartOrFail(Shell("printf 'first\\nlistening 127.0.0.1:5\\r\\npart'"));
    const auto line = child.WaitForLine(Stream::Output, "listening ", kPatience);
    ASSERT_TRUE(line.has_value());
    EXPECT_EQ(*line, "listening 127.0.0.1:5");
    // A line without its end, and a stream that ends without the line.
    EXPECT_FALSE(child.WaitForLine(Stream::Output, "part", kPatience).has_value());
    EXPECT_FALSE(child.WaitForLine(Stream::Error, "anything", kPatience).has_value());
}

TEST(ChildProcessTest, DestructionKillsAndReapsAStillRunningChild) {
    int pid = -1;
    {
        ChildProcess child = StartOrFail(Shell("exec sleep 60"));
        pid = child.Pid();
        ASSERT_GT(pid, 0);
    }
    // Reaped: the id no longer names a child of ours, running or zombie.
    EXPECT_EQ(::waitpid(pid, nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);
}

TEST(ChildProcessTest, AMissingProgramFailsToStart) {
    ChildOptions options;
    options.argv = {"/nonexistent/trevasto-no-such-program"};
    auto child = ChildProcess::Start(options);
    EXPECT_FALSE(child.ok());

    ChildOptions empty;
    EXPECT_FALSE(ChildProcess::Start(empty).ok());

    ChildOptions missingInput = Shell("true");
    missingInput.input = ChildInput::FromFile("/nonexistent/trevasto-input");
    EXPECT_FALSE(ChildProcess::Start(missingInput).ok());
}

}  // namespace

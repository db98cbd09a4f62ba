// The console front-end driven with piped input and captured output: the
// prompts (a folder asked for again, made after a yes, "~"), the bar and
// status line on a terminal and none elsewhere, the run's summary, and a
// stop from a signal.

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>

#include "app/console/console_view.h"
#include "app/status_text.h"
#include "fake_dialog.h"
#include "platform/file.h"
#include "support/fake_clock.h"
#include "support/temp_dir.h"

namespace {

using app_testing::FakeController;
using namespace std::chrono_literals;

// A path as the console shows it: each backslash (Windows' separator)
// doubled, so that none can begin a faked escape.
std::string Shown(const std::string& path) {
    std::string shown;
    for (const char c : path) {
        shown += c == '\\' ? std::string("\\\\") : std::string(1, c);
    }
    return shown;
}

// A stream with the given content, for standard input.
struct Stream {
    explicit Stream(const std::string& content = "") : file(std::tmpfile()) {
        std::fputs(content.c_str(), file);
        std::rewind(file);
    }
    ~Stream() { std::fclose(file); }
    std::string Text() {
        std::fflush(file);
        std::rewind(file);
        std::string text;
        int c = 0;
        while ((c = std::fgetc(file)) != EOF) {
            text.push_back(static_cast<char>(c));
        }
        return text;
    }
    std::FILE* file;
};

class ConsoleTest : public ::testing::Test {
  protected:
    int Run(const std::string& input, std::optional<std::string> key = "K") {
        Stream in(input);
        state_.clock = &clock_;
        app::ConsoleView view(in.file, out_.file, err_.file, options_);
        app::ConsoleLaunchHost host(view, app_testing::FakeFactory(state_), clock_, {});
        host.RunDialog(key);
        return app::ConsoleExitStatus(app::LaunchResult::DialogRan, host.Outcome());
    }

    FakeController::State state_;
    testing_support::FakeClock clock_;
    testing_support::TempDir dest_;
    Stream out_;
    Stream err_;
    app::ConsoleOptions options_;
};

std::size_t Occurrences(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos;
         at = text.find(part, at + part.size())) {
        ++count;
    }
    return count;
}

// A run that finds one existing file, replaces it and downloads two files.
void ScriptTwoFiles(FakeController::State& state) {
    state.conclusion = "Successful";
    state.scriptedResults = {2};
    state.beforeProgress = [step = 0](FakeController::State& s) mutable {
        const std::string& last = s.calls.back();
        if (last == "TestDestUsingKey") {
            s.result = 2;
            s.progress.status = 13;
        } else if (last == "DownloadUsingKey" || last == "AcknowledgeFile") {
            ++step;
            s.result = 1;
            s.progress.fileCount = 2;
            if (step == 1 || step == 3) {
                s.progress.fileIndex = step == 1 ? 1 : 2;
                s.progress.filePath = step == 1 ? "/d/a.txt" : "/d/b.txt";
                s.progress.fileSizeK = 2;
                s.progress.doneK = 2;
                s.progress.status = 2;
                s.progress.fileFinished = false;
            } else if (step == 2 || step == 4) {
                s.progress.fileFinished = true;
            } else {
                s.result = 2;
            }
        } else if (last == "DownloadCompleteWithKey") {
            s.result = 2;
        }
    };
}

TEST_F(ConsoleTest, WholeRunPrintsEachLineAloneAndEndsWithStatusZero) {
    ScriptTwoFiles(state_);
    EXPECT_EQ(Run(dest_.path() + "\nyes\n"), 0);
    EXPECT_EQ(out_.Text(),
              "a.txt  2K  (1 of 2)\n"
              "Complete\n"
              "b.txt  2K  (2 of 2)\n"
              "Complete\n"
              "Processing Complete\n"
              " Download Processing Complete\n");
    const std::string err = err_.Text();
    EXPECT_NE(err.find(" Replace existing files?"), std::string::npos);
    EXPECT_EQ(err.find('\r'), std::string::npos) << "no bar when stderr is not a terminal";
    // The fake clock moved on by the loop's waits.
    EXPECT_TRUE(err.ends_with("Done: 2 files complete, 0 skipped, 0 failed; 0 bytes in 5 s\n"))
        << err;
}

// Each prompt ends its line unless a person types the answers on a
// terminal, where the answer follows the prompt.
TEST_F(ConsoleTest, PromptsEndTheirLineWhenTheAnswersDoNotComeFromATerminal) {
    for (const bool terminal : {false, true}) {
        SCOPED_TRACE(terminal);
        FakeController::State state;
        ScriptTwoFiles(state);
        state_ = state;
        options_.inputIsTerminal = terminal;
        const std::size_t before = err_.Text().size();
        EXPECT_EQ(Run(dest_.path() + "\nyes\n"), 0);
        const std::string err = err_.Text().substr(before);
        const std::string end = terminal ? "" : "\n";
        EXPECT_TRUE(
            err.starts_with("Checking the download key...\n"
                            "Destination Folder (empty to cancel): " +
                            end + "Destination Folder: " + Shown(dest_.path()) + "\n"))
            << err;
        EXPECT_NE(err.find(" Replace existing files? [OK/Cancel] " + end + "Done: "),
                  std::string::npos)
            << err;
    }
}

TEST_F(ConsoleTest, ReplaceAnswersOtherThanYesCancel) {
    for (const char* answer : {"no\n", "\n", "", "yess\n"}) {
        FakeController::State state;
        ScriptTwoFiles(state);
        state_ = state;
        EXPECT_EQ(Run(dest_.path() + "\n" + answer), 1) << answer;
    }
    for (const char* answer : {"Y\n", "OK\n", "Yes\r\n"}) {
        FakeController::State state;
        ScriptTwoFiles(state);
        state_ = state;
        EXPECT_EQ(Run(dest_.path() + "\n" + answer), 0) << answer;
    }
}

TEST_F(ConsoleTest, EmptyOrMissingFolderCancels) {
    state_.conclusion = "Successful";
    state_.scriptedResults = {2};
    EXPECT_EQ(Run("\n"), 1);
    EXPECT_EQ(Run(""), 1);
    EXPECT_EQ(Run(dest_.Sub("missing") + "\n"), 1);
    EXPECT_NE(err_.Text().find("Not a folder"), std::string::npos);
}

// A folder that is not there is made after a yes, or asked for once more;
// a second miss cancels. "~" is the home folder.
TEST_F(ConsoleTest, AFolderThatIsNotThereIsMadeAfterAYesOrAskedForOnceMore) {
    const struct {
        const char* what;
        std::string input;  // "@" stands for the destination
        int exitCode;
        std::string chosen;  // the folder the run used, below the destination
        int folderPrompts;
        int createPrompts;
    } cases[] = {
        {"made after a yes, missing levels too", "@/new/sub\nyes\nyes\n", 0, "/new/sub", 1, 1},
        {"asked again after a no", "@/new\nno\n@\nyes\n", 0, "", 2, 1},
        {"asked again after a file", "@/file.txt\n@\nyes\n", 0, "", 2, 0},
        {"a second miss cancels", "@/new\nno\n@/other\nn\n", 1, "-", 2, 2},
        {"the end of the input cancels", "@/new\n", 1, "-", 2, 1},
        {"~ is the home folder", "~\nyes\n", 0, "", 1, 0},
        {"~/ is below it", "~/sub\nyes\n", 0, "/sub", 1, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const testing_support::TempDir dest;
        dest.Write("file.txt", "not a folder");
        ASSERT_TRUE(platform::CreateFolder(dest.Sub("sub")).ok());
        FakeController::State state;
        ScriptTwoFiles(state);
        state_ = state;
        options_.home = dest.path();
        std::string input = c.input;
        for (std::size_t at = input.find('@'); at != std::string::npos; at = input.find('@')) {
            input.replace(at, 1, dest.path());
        }
        const std::size_t before = err_.Text().size();
        EXPECT_EQ(Run(input), c.exitCode);
        const std::string err = err_.Text().substr(before);
        EXPECT_EQ(Occurrences(err, "Destination Folder (empty to cancel): "),
                  static_cast<std::size_t>(c.folderPrompts))
            << err;
        EXPECT_EQ(Occurrences(err, "Create it? [yes/no] "),
                  static_cast<std::size_t>(c.createPrompts))
            << err;
        if (c.chosen != "-") {
            EXPECT_EQ(state_.localDirectory, dest.path() + c.chosen);
            auto info = platform::GetFileInfo(dest.path() + c.chosen);
            EXPECT_TRUE(info && info->isDirectory);
        } else {
            EXPECT_EQ(state_.localDirectory, "");
            EXPECT_FALSE(platform::Exists(dest.Sub("new")));
            EXPECT_FALSE(platform::Exists(dest.Sub("other")));
        }
    }
}

TEST(ExpandHome, TildeAloneOrFirstBeforeASlashIsTheHomeFolder) {
    const struct {
        std::string path;
        std::string home;
        std::string expanded;
    } cases[] = {
        {"~", "/home/u", "/home/u"},       {"~/a b/c", "/home/u", "/home/u/a b/c"},
        {"~/", "/home/u/", "/home/u/"},    {"~/a", "/", "/a"},
        {"~user/a", "/home/u", "~user/a"}, {"a/~/b", "/home/u", "a/~/b"},
        {"/srv/~", "/home/u", "/srv/~"},   {"~/a", "", "~/a"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(app::ExpandHome(c.path, c.home), c.expanded) << c.path << " " << c.home;
    }
}

TEST(SummaryLine, SaysHowTheRunEndedWithItsFilesBytesTimeAndRate) {
    const auto summary = [](bool complete, bool stopped, int done, int skipped, int failed,
                            std::int64_t bytes, std::chrono::milliseconds elapsed) {
        app::RunSummary s;
        s.complete = complete;
        s.stopped = stopped;
        s.filesComplete = done;
        s.filesSkipped = skipped;
        s.filesFailed = failed;
        s.bytes = bytes;
        s.elapsed = elapsed;
        return s;
    };
    const struct {
        app::RunSummary summary;
        const char* line;
    } cases[] = {
        {summary(true, false, 3, 1, 0, 12 << 20, 4000ms),
         "Done: 3 files complete, 1 skipped, 0 failed; 12 MB in 4 s (3.0 MB/s)"},
        {summary(false, false, 1, 0, 2, 1536, 150s),
         "Finished with errors: 1 file complete, 0 skipped, 2 failed; 1.5 KB in 2 min 30 s "
         "(10 bytes/s)"},
        {summary(false, true, 0, 0, 1, 300 << 10, 500ms),
         "Stopped: 0 files complete, 0 skipped, 1 failed; 300 KB in 0 s (600 KB/s)"},
        {summary(false, true, 0, 0, 0, 0, 0ms),
         "Stopped: 0 files complete, 0 skipped, 0 failed; 0 bytes in 0 s"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(app::SummaryLine(c.summary), c.line);
    }
}

// On a terminal the status line follows the bar on the same line, redrawn
// in place and cut to the terminal's width; elsewhere only a failed
// attempt's cause is written, once, as a line of its own.
TEST_F(ConsoleTest, TheStatusLineIsDrawnBesideTheBarOnlyOnATerminal) {
    Stream in;
    const std::string figures = "1.0 of 2.0 MB, 512 KB/s, 2 s left; file 1 of 2, 1.0 of 3.0 MB";
    {
        app::ConsoleView view(in.file, out_.file, err_.file,
                              {.errorIsTerminal = true, .columns = 100});
        view.SetRange(0, 100);
        view.SetPos(50);
        view.ShowStatus(figures);
        view.ShowStatus(figures);  // unchanged: nothing drawn again
        view.SetBusy(true);
        view.ShowStatus(std::string(200, 'x'));
        view.ShowEnd({});
    }
    std::string err = err_.Text();
    EXPECT_NE(err.find("\r[" + std::string(15, '#') + std::string(15, '.') + "] 50%  " + figures +
                       "\033[K"),
              std::string::npos)
        << err;
    EXPECT_EQ(Occurrences(err, "50%  " + figures), 1u);
    EXPECT_NE(err.find("\r" + std::string(99, 'x') + "\033[K"), std::string::npos)
        << "busy: the status alone, cut to the width";
    EXPECT_TRUE(err.ends_with(
        "\r\033[KFinished with errors: 0 files complete, 0 skipped, 0 failed; 0 bytes in 0 s\n"))
        << err;

    const control::FailureCause refused{control::FailureCause::Kind::Unreachable,
                                        "connection refused by b2.example.com:80"};
    const std::size_t before = err.size();
    {
        app::ConsoleView view(in.file, out_.file, err_.file, {});
        view.SetRange(0, 100);
        view.SetPos(50);
        view.ShowStatus(figures);
        view.ShowStatus(app::RetryStatus(1, refused, 4000ms));
        view.ShowStatus(app::RetryStatus(1, refused, 3000ms));
        view.ShowStatus(app::RetryStatus(2, refused, 8000ms));
    }
    EXPECT_EQ(err_.Text().substr(before),
              "Attempt 1 failed: connection refused by b2.example.com:80.\n"
              "Attempt 2 failed: connection refused by b2.example.com:80.\n");
}

// Ctrl-C or SIGTERM (a stop posted as the signal's thread does) ends the
// run without a question: the engine is told, the file in progress shows
// its last line, and the summary says the run stopped.
TEST_F(ConsoleTest, AStopFromASignalEndsTheRunWithoutAQuestionAndSumsItUp) {
    options_.stop = std::make_shared<app::ConsoleStop>();
    state_.conclusion = "Successful";
    state_.scriptedResults = {2};
    int ticks = 0;
    state_.beforeProgress = [&](FakeController::State& s) {
        ASSERT_LT(++ticks, 50) << "the run never stopped";
        // News on every tick, as a busy worker gives it: no wait lasts.
        s.onNews();
        const std::string& last = s.calls.back();
        if (last == "TestDestUsingKey") {
            s.result = 2;
            s.progress.status = control::status::kNoneExist;
        } else if (last == "DownloadUsingKey") {
            s.result = 1;
            s.progress.fileCount = 2;
            s.progress.fileIndex = 1;
            s.progress.filePath = "/d/a.txt";
            s.progress.fileSizeK = 4;
            s.progress.doneK = 1;
            s.progress.receivedBytes = 1024;
            s.progress.status = control::status::kDownloading;
            EXPECT_TRUE(options_.stop->Post());
            EXPECT_FALSE(options_.stop->Post()) << "a second signal ends the program at once";
        } else if (last == "Stop") {
            s.progress.status = control::status::kIncomplete;
            s.progress.fileFinished = true;
        } else if (last == "AcknowledgeFile") {
            s.result = 3;
        }
    };
    options_.stop->Wake();  // as the verification's news would
    EXPECT_EQ(Run(dest_.path() + "\n"), 1);
    EXPECT_EQ(std::count(state_.calls.begin(), state_.calls.end(), "Stop"), 1);
    EXPECT_EQ(std::count(state_.calls.begin(), state_.calls.end(), "Shutdown"), 1);
    EXPECT_EQ(out_.Text(), "a.txt  4K  (1 of 2)\nDownload Incomplete\n");
    const std::string err = err_.Text();
    EXPECT_EQ(err.find(app::kStopQuestion), std::string::npos);
    EXPECT_TRUE(err.ends_with("Stopped: 0 files complete, 0 skipped, 1 failed; 1.0 KB in 0 s\n"))
        << err;
}

// A stop before the folder is chosen ends the program without asking for
// one; a stop already posted answers a prompt as a cancel.
TEST_F(ConsoleTest, AStopBeforeTheRunEndsWithoutAPrompt) {
    options_.stop = std::make_shared<app::ConsoleStop>();
    ASSERT_TRUE(options_.stop->Post());
    state_.result = 1;  // the key's check has no answer yet
    EXPECT_EQ(Run(dest_.path() + "\n"), 1);
    EXPECT_EQ(std::count(state_.calls.begin(), state_.calls.end(), "Shutdown"), 1);
    EXPECT_EQ(err_.Text(),
              "Checking the download key...\n"
              "Stopped: 0 files complete, 0 skipped, 0 failed; 0 bytes in 0 s\n");

    Stream in(dest_.path() + "\n");
    app::ConsoleView view(in.file, out_.file, err_.file, options_);
    EXPECT_EQ(view.ChooseFolder(""), std::nullopt);
    EXPECT_EQ(err_.Text().find("Destination Folder (empty"), std::string::npos);
}

TEST_F(ConsoleTest, RefusedKeyPrintsTheMessageWithPlainLineEnds) {
    state_.conclusion = "IDBAD";
    state_.scriptedResults = {2};
    EXPECT_EQ(Run(""), 1);
    EXPECT_EQ(out_.Text(),
              "This list of files to download is no longer valid.\n\nDownloads must be "
              "initiated by the Quorvane browser interface\n by first logging into a Quorvane "
              "account.\n");
}

TEST_F(ConsoleTest, NoKeyGivesStatusTwo) {
    EXPECT_EQ(Run("", std::nullopt), 2);
    EXPECT_EQ(
        app::ConsoleExitStatus(app::LaunchResult::UnusableKeyFile, app::DialogOutcome::Running), 2);
}

// The bar shows once a file's size gave it a range, and is drawn with the
// status that each tick brings, not at each of its steps.
TEST_F(ConsoleTest, BarRedrawsInPlaceOnATerminal) {
    Stream in;
    app::ConsoleView view(in.file, out_.file, err_.file, {.errorIsTerminal = true});
    view.SetBusy(false);
    view.SetPos(0);
    view.ShowStatus("");
    EXPECT_EQ(err_.Text(), "") << "no range yet";
    view.SetRange(0, 100);
    view.SetPos(29);
    EXPECT_EQ(err_.Text(), "") << "drawn with the status";
    view.ShowStatus("");
    view.SetPos(28);
    view.StepIt();
    view.ShowStatus("");  // unchanged: nothing drawn again
    view.StepIt();
    view.ShowStatus("");
    view.Hide();
    view.SetPos(50);
    view.ShowStatus("");
    const std::string err = err_.Text();
    EXPECT_NE(err.find("\r[###########.............................] 28%"), std::string::npos);
    EXPECT_NE(err.find("] 30%"), std::string::npos);
    EXPECT_EQ(err.find("] 50%"), std::string::npos) << "a hidden bar is not drawn";
    EXPECT_EQ(Occurrences(err, "28%"), 1u);
    EXPECT_TRUE(err.ends_with("\r\033[K"));
}

// Names come from the network: nothing in one may act on the terminal or
// pass for something the program printed itself.
TEST(ConsoleText, ControlBytesAndBrokenUtf8AreShownEscaped) {
    const struct {
        std::string text;
        std::string line;     // as a list line (and the destination) shows it
        std::string message;  // as a message shows it
    } cases[] = {
        {"Report 2026.pdf", "Report 2026.pdf", "Report 2026.pdf"},
        {"caf\xc3\xa9 \xe2\x82\xac\xf0\x9f\x93\x84 \xc2\xa0",
         "caf\xc3\xa9 \xe2\x82\xac\xf0\x9f\x93\x84 \xc2\xa0",
         "caf\xc3\xa9 \xe2\x82\xac\xf0\x9f\x93\x84 \xc2\xa0"},
        {"\x1b[2Jx\a\b\x7f", R"(\x1b[2Jx\x07\x08\x7f)", R"(\x1b[2Jx\x07\x08\x7f)"},
        {std::string("a\0b", 3), R"(a\x00b)", R"(a\x00b)"},
        {R"(C:\x1b)", R"(C:\\x1b)", R"(C:\\x1b)"},
        // C1 controls (here CSI), broken, cut short, overlong, surrogate.
        {"\xc2\x9b"
         "2J \xc2\x80",
         R"(\xc2\x9b2J \xc2\x80)", R"(\xc2\x9b2J \xc2\x80)"},
        {"\xff\xc3(\xe2\x82", R"(\xff\xc3(\xe2\x82)", R"(\xff\xc3(\xe2\x82)"},
        {"\xc0\xaf\xe0\x80\xaf\xed\xa0\x80\xf4\x90\x80\x80",
         R"(\xc0\xaf\xe0\x80\xaf\xed\xa0\x80\xf4\x90\x80\x80)",
         R"(\xc0\xaf\xe0\x80\xaf\xed\xa0\x80\xf4\x90\x80\x80)"},
        // Only a message's CR LF pair is a line end.
        {"one\r\ntwo\nthree\r", R"(one\x0d\x0atwo\x0athree\x0d)", "one\ntwo\\x0athree\\x0d"},
    };
    for (const auto& c : cases) {
        Stream in;
        Stream out;
        Stream err;
        app::ConsoleView view(in.file, out.file, err.file, {});
        view.AddLine(c.text);
        view.ReplaceLastLine(c.text);
        view.ShowMessage(c.text);
        view.ShowDestination(c.text);
        EXPECT_EQ(out.Text(), c.line + "\n" + c.line + "\n" + c.message + "\n") << c.line;
        EXPECT_EQ(err.Text(), "Destination Folder: " + c.line + "\n") << c.line;
    }
}

}  // namespace

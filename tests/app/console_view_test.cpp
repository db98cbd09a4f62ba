// The console front-end driven with piped input and captured output.

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>

#include "app/console/console_view.h"
#include "fake_dialog.h"
#include "support/fake_clock.h"
#include "support/temp_dir.h"

namespace {

using app_testing::FakeController;

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
        app::ConsoleView view(in.file, out_.file, err_.file, drawBar_);
        app::ConsoleLaunchHost host(view, app_testing::FakeFactory(state_), clock_, {});
        host.RunDialog(key);
        return app::ConsoleExitStatus(app::LaunchResult::DialogRan, host.Outcome());
    }

    FakeController::State state_;
    testing_support::FakeClock clock_;
    testing_support::TempDir dest_;
    Stream out_;
    Stream err_;
    bool drawBar_ = false;
};

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

TEST_F(ConsoleTest, BarRedrawsInPlaceOnATerminal) {
    drawBar_ = true;
    Stream in;
    app::ConsoleView view(in.file, out_.file, err_.file, true);
    view.SetRange(0, 100);
    view.SetPos(29);
    view.SetPos(29);  // unchanged: nothing drawn again
    view.StepIt();
    view.Hide();
    view.SetPos(50);
    const std::string err = err_.Text();
    EXPECT_NE(err.find("\r[###########.............................] 28%"), std::string::npos);
    EXPECT_NE(err.find("] 30%"), std::string::npos);
    EXPECT_EQ(err.find("] 50%"), std::string::npos) << "a hidden bar is not drawn";
    EXPECT_EQ(err.find("28%", err.find("28%") + 1), std::string::npos);
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
        app::ConsoleView view(in.file, out.file, err.file, false);
        view.AddLine(c.text);
        view.ReplaceLastLine(c.text);
        view.ShowMessage(c.text);
        view.ShowDestination(c.text);
        EXPECT_EQ(out.Text(), c.line + "\n" + c.line + "\n" + c.message + "\n") << c.line;
        EXPECT_EQ(err.Text(), "Destination Folder: " + c.line + "\n") << c.line;
    }
}

}  // namespace

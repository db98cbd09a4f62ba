// The run sequence with a scripted controller, a recording view and a fake
// clock: verification, folder choice, test, replace question, download
// display, completion and retries.

#include <gtest/gtest.h>

#include <algorithm>

#include "app/console/console_view.h"
#include "app/transfer_app.h"
#include "app/transfer_dialog.h"
#include "fake_dialog.h"
#include "platform/path.h"
#include "support/fake_clock.h"
#include "support/temp_dir.h"

namespace {

using app::DialogOutcome;
using app_testing::FakeController;
using app_testing::FakeView;
using namespace std::chrono_literals;

class RunSequenceTest : public ::testing::Test {
  protected:
    std::unique_ptr<app::TransferDialog> MakeDialog(std::optional<std::string> key = "KEY1") {
        auto dialog = std::make_unique<app::TransferDialog>(view_, app_testing::FakeFactory(state_),
                                                            clock_, settings_);
        dialog->SetKey(std::move(key));
        return dialog;
    }

    // A dialog that verified its key and started the destination test.
    std::unique_ptr<app::TransferDialog> TestingDialog() {
        state_.scriptedResults = {2};
        state_.conclusion = "Successful";
        view_.folderAnswer = "/home/user/Downloads";
        auto dialog = MakeDialog();
        dialog->Initialise();
        dialog->OnTimer();  // the key's check answers
        EXPECT_EQ(view_.timerPeriod, 1000);
        return dialog;
    }

    // A dialog whose download has been posted.
    std::unique_ptr<app::TransferDialog> DownloadingDialog() {
        auto dialog = TestingDialog();
        state_.result = 2;
        dialog->OnTimer();
        EXPECT_EQ(state_.calls.back(), "DownloadUsingKey");
        state_.calls.clear();
        return dialog;
    }

    int Count(const std::string& call) const {
        return static_cast<int>(std::count(state_.calls.begin(), state_.calls.end(), call));
    }

    control::ProgressSnapshot File(int index, int count, int sizeK, int doneK,
                                   std::string path = "/home/user/Downloads/a.pdf") {
        control::ProgressSnapshot p;
        p.fileIndex = index;
        p.fileCount = count;
        p.fileSizeK = sizeK;
        p.doneK = doneK;
        p.filePath = std::move(path);
        p.status = 2;
        return p;
    }

    FakeController::State state_;
    FakeView view_;
    testing_support::FakeClock clock_;
    app::DialogSettings settings_;
};

// The dialog shows at once while the key is checked on its timer, and
// says why when the check fails for any other reason than a refused key.
TEST_F(RunSequenceTest, TheKeysCheckShowsAndEveryFailureIsSaidInWords) {
    using Kind = control::FailureCause::Kind;
    const std::string reached = "b2.example.com:80, b1.example.com:80: connection refused";
    const struct {
        const char* what;
        std::vector<std::int32_t> results;  // one per tick
        std::string conclusion;
        control::FailureCause cause;
        std::string failure;  // the box's text; empty: none
    } cases[] = {
        {"unreachable",
         {3},
         "",
         {Kind::Unreachable, reached},
         "Trevasto could not reach the Quorvane service (" + reached +
             "). Please try again later."},
        {"silent",
         {1, 1, 1, 1, 1, 1, 1, 1},
         "",
         {},
         "The Quorvane service did not answer the download key (no answer within 8 s). Please "
         "try again later."},
        {"broken",
         {3},
         "",
         {Kind::BrokenReply, "a reply from b2.example.com:80 that never ends"},
         "The Quorvane service did not answer the download key (a reply from b2.example.com:80 "
         "that never ends). Please try again later."},
        {"another word",
         {2},
         "successful",
         {},
         "The Quorvane service answered the download key with \"successful\". Please try again "
         "later."},
        {"no word",
         {2},
         "",
         {},
         "The Quorvane service did not answer the download key. Please try again later."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        FakeView view;
        FakeController::State state;
        state.result = 1;
        state.failure = c.cause;
        app::TransferDialog dialog(view, app_testing::FakeFactory(state), clock_, settings_);
        dialog.SetKey("K");
        dialog.Initialise();
        EXPECT_EQ(view.destination, app::kCheckingText);
        EXPECT_TRUE(view.barBusy);
        EXPECT_EQ(view.timerPeriod, 1000);
        for (const std::int32_t result : c.results) {
            EXPECT_FALSE(view.closed);
            state.conclusion = c.conclusion;
            state.scriptedResults = {result};
            clock_.Advance(1000ms);
            dialog.OnTimer();
        }
        EXPECT_TRUE(view.closed);
        EXPECT_EQ(view.failures, std::vector<std::string>{c.failure});
        EXPECT_TRUE(view.messages.empty());
        EXPECT_EQ(view.folderRequests, 0);
        EXPECT_EQ(dialog.Outcome(), DialogOutcome::Closed);
    }
}

TEST_F(RunSequenceTest, RefusedKeyShowsTheMessageAndCloses) {
    state_.result = 1;
    auto dialog = MakeDialog();
    dialog->Initialise();
    dialog->OnTimer();
    EXPECT_FALSE(view_.closed) << "still checking";
    state_.result = 2;
    state_.conclusion = "IDBAD";
    dialog->OnTimer();
    ASSERT_EQ(view_.messages.size(), 1u);
    EXPECT_EQ(view_.messages[0], app::kNoLongerValidText);
    EXPECT_TRUE(view_.failures.empty());
    EXPECT_TRUE(view_.closed);
    EXPECT_EQ(view_.folderRequests, 0);
}

TEST_F(RunSequenceTest, CancelledFolderChoiceCloses) {
    state_.scriptedResults = {2};
    state_.conclusion = "Successful";
    auto dialog = MakeDialog();
    dialog->Initialise();
    dialog->OnTimer();
    EXPECT_EQ(view_.folderRequests, 1);
    EXPECT_TRUE(view_.closed);
    EXPECT_EQ(Count("TestDestUsingKey"), 0);
}

TEST_F(RunSequenceTest, ChosenFolderStartsTheDestinationTest) {
    settings_.loggingEnabled = true;
    settings_.logDirectory = "/logs";
    auto dialog = TestingDialog();
    EXPECT_FALSE(view_.closed);
    EXPECT_EQ(view_.destination, "/home/user/Downloads");
    EXPECT_EQ(state_.localDirectory, "/home/user/Downloads");
    const std::vector<std::string> expected = {"SetDownloadKey KEY1",
                                               "VerifyDownloadKey",
                                               "SetLogDirectory /logs",
                                               "OpenLog 1",
                                               "SetLogin",
                                               "SetLocalDirectory",
                                               "SetVerification 1",
                                               "SetTransferCompress 1",
                                               "UseQvnDate 1",
                                               "SyncFileAccess 1",
                                               "SetClientId ZEL",
                                               "TestDestUsingKey"};
    EXPECT_EQ(state_.calls, expected);
}

TEST_F(RunSequenceTest, NoExistingFilesGoesStraightToTheDownload) {
    auto dialog = TestingDialog();
    state_.calls.clear();
    state_.result = 2;
    state_.progress.status = 0;
    dialog->OnTimer();
    EXPECT_TRUE(view_.questions.empty());
    EXPECT_EQ(state_.calls.front(), "Reset");
    EXPECT_EQ(state_.verification, true);
    EXPECT_EQ(Count("SetDownloadKey KEY1"), 1) << "the key is given again after the Reset";
    EXPECT_EQ(state_.calls.back(), "DownloadUsingKey");
}

TEST_F(RunSequenceTest, ReplaceQuestionOkReplacesCancelCloses) {
    {
        auto dialog = TestingDialog();
        state_.result = 2;
        state_.progress.status = 13;
        // The fake's Reset clears the progress record, as the worker does;
        // the dialog judges the status it read before the Reset.
        dialog->OnTimer();
        ASSERT_EQ(view_.questions, std::vector<std::string>{" Replace existing files?"});
        EXPECT_EQ(state_.verification, false);
        EXPECT_EQ(state_.calls.back(), "DownloadUsingKey");
    }
    FakeView view;
    view.replaceAnswer = false;
    view.folderAnswer = "/d";
    FakeController::State state;
    state.scriptedResults = {2};
    state.conclusion = "Successful";
    app::TransferDialog dialog(view, app_testing::FakeFactory(state), clock_, settings_);
    dialog.SetKey("K");
    dialog.Initialise();
    dialog.OnTimer();
    state.result = 2;
    state.progress.status = 13;
    dialog.OnTimer();
    EXPECT_TRUE(view.closed);
    EXPECT_EQ(view.timerPeriod, 0);
    EXPECT_EQ(std::count(state.calls.begin(), state.calls.end(), "DownloadUsingKey"), 0);
}

TEST_F(RunSequenceTest, KeyWithoutFilesEndsWithNoFilesAvailable) {
    auto dialog = DownloadingDialog();
    state_.result = 2;
    state_.progress.fileCount = 0;
    state_.scriptedResults = {2, 2};  // the completion notice succeeds
    clock_.SetSeconds(0);
    dialog->OnTimer();
    EXPECT_EQ(view_.lines, std::vector<std::string>{"No Files Available"});
    EXPECT_TRUE(view_.barHidden);
    EXPECT_EQ(view_.pos, 0);
    EXPECT_TRUE(view_.closeEnabled);
    EXPECT_EQ(view_.timerPeriod, 0);
    const std::vector<std::string> expected = {"DownloadCompleteWithKey", "Reset", "Shutdown"};
    EXPECT_EQ(state_.calls, expected);
    EXPECT_EQ(view_.messages.back(), " Download Processing Complete");
    EXPECT_EQ(dialog->Outcome(), DialogOutcome::Completed);
    // Later ticks find no controller and do nothing.
    dialog->OnTimer();
    EXPECT_EQ(view_.lines.size(), 1u);
}

TEST_F(RunSequenceTest, CompletionWaitEndsAtOnceOnFailure) {
    auto dialog = DownloadingDialog();
    state_.result = 2;
    state_.progress.fileCount = 2;
    state_.scriptedResults = {2, 1, 1, 3};
    const auto waitsBefore = state_.newsWaits.size();
    dialog->OnTimer();
    EXPECT_EQ(view_.lines.back(), "Processing Complete");
    EXPECT_EQ(state_.newsWaits.size() - waitsBefore, 2u);
    EXPECT_EQ(dialog->Outcome(), DialogOutcome::Completed);
}

TEST_F(RunSequenceTest, FileLinesSizedCompressedAndUnsized) {
    auto dialog = DownloadingDialog();
    state_.result = 1;
    state_.progress = File(3, 10, 1234, 0);
    dialog->OnTimer();
    state_.progress = File(4, 10, 1234567, 0, "/d/b.doc");
    state_.progress.compressed = true;
    dialog->OnTimer();
    state_.progress = File(5, 10, 0, 0, "/d/c.txt");
    state_.progress.compressed = true;
    dialog->OnTimer();
    const std::vector<std::string> expected = {"a.pdf  1,234K  (3 of 10)",
                                               "b.doc  1,234,567K Compressed (4 of 10)",
                                               "c.txt  Compressing Please Wait... (5 of 10)"};
    EXPECT_EQ(view_.lines, expected);
}

TEST_F(RunSequenceTest, UnsizedLineIsReplacedWhenTheSizeArrives) {
    auto dialog = DownloadingDialog();
    state_.result = 1;
    state_.progress = File(1, 2, 0, 0);
    dialog->OnTimer();
    ASSERT_EQ(view_.lines, std::vector<std::string>{"a.pdf   (1 of 2)"});
    state_.progress = File(1, 2, 40, 7);
    dialog->OnTimer();
    EXPECT_EQ(view_.lines, std::vector<std::string>{"a.pdf  40K  (1 of 2)"});
    EXPECT_EQ(view_.replacements, 1);
    EXPECT_EQ(view_.rangeMax, 40);
    EXPECT_EQ(view_.pos, 7) << "the bar starts from the kilobytes already done";
    // Later kilobytes step the bar once per kilobyte.
    state_.progress.doneK = 19;
    dialog->OnTimer();
    EXPECT_EQ(view_.stepCalls, 12);
    EXPECT_EQ(view_.pos, 19);
    // A status other than 2 or 3 neither replaces nor steps.
    state_.progress.status = 8;
    state_.progress.doneK = 30;
    dialog->OnTimer();
    EXPECT_EQ(view_.pos, 19);
}

TEST_F(RunSequenceTest, FinalLinesAndAcknowledgements) {
    auto dialog = DownloadingDialog();
    state_.result = 1;
    const std::pair<int, const char*> finals[] = {
        {2, "Complete"},
        {3, "Update File Complete"},
        {4, "File Exists. Download Skipped."},
        {12, "Maximum Downloads Exceeded"},
        {17, "File In Use. Download Skipped."},
        {18, "Not Enough Disk Space. Download Failed."},
        {19, "File Too Large. Download Failed."},
        {20, "Access Denied. Download Failed."},
        {8, nullptr},
        {0, nullptr},
    };
    int index = 0;
    for (const auto& [status, text] : finals) {
        ++index;
        state_.progress = File(index, 10, 1, 1);
        state_.progress.status = status;
        state_.progress.fileFinished = true;
        view_.lines.clear();
        dialog->OnTimer();
        ASSERT_FALSE(view_.lines.empty());
        if (text) {
            ASSERT_EQ(view_.lines.size(), 2u) << status;
            EXPECT_EQ(view_.lines[1], text);
        } else {
            EXPECT_EQ(view_.lines.size(), 1u) << "no line for status " << status;
        }
        EXPECT_EQ(state_.acknowledgements, index) << "acknowledged all the same";
    }
}

TEST_F(RunSequenceTest, AFinishedFileIsShownAndAcknowledgedOnce) {
    auto dialog = DownloadingDialog();
    state_.result = 1;
    state_.progress = File(1, 2, 3, 3);
    dialog->OnTimer();
    state_.progress.fileFinished = true;
    dialog->OnTimer();
    // The engine has not yet taken the acknowledgement when the next tick
    // comes: nothing more is shown, replaced or acknowledged.
    dialog->OnTimer();
    EXPECT_EQ(view_.lines, (std::vector<std::string>{"a.pdf  3K  (1 of 2)", "Complete"}));
    EXPECT_EQ(state_.acknowledgements, 1);
}

TEST_F(RunSequenceTest, ManySmallFilesOnNewsTicksShowEachFinalLineOnceInOrder) {
    // The engine as news drives it: a file is finished before the dialog
    // sees it at all, and the next one starts only once the last was
    // acknowledged. Timer ticks land between news ticks while the engine
    // has not yet taken the acknowledgement.
    constexpr int kFiles = 300;
    auto dialog = DownloadingDialog();
    state_.result = 1;
    int started = 0;
    bool engineMoves = false;
    state_.beforeProgress = [&](FakeController::State& s) {
        if (engineMoves && started == s.acknowledgements && started < kFiles) {
            ++started;
            s.progress = File(started, kFiles, 4, 4,
                              "/home/user/Downloads/f" + std::to_string(started) + ".txt");
            s.progress.fileFinished = true;
        }
    };
    for (int tick = 0; tick < 3 * kFiles && state_.acknowledgements < kFiles; ++tick) {
        engineMoves = true;
        dialog->OnTimer();  // news
        engineMoves = false;
        if (tick % 3 == 0) {
            dialog->OnTimer();  // the timer, right after
        }
    }
    ASSERT_EQ(state_.acknowledgements, kFiles);
    ASSERT_EQ(view_.lines.size(), 2u * kFiles);
    for (int i = 1; i <= kFiles; ++i) {
        EXPECT_EQ(view_.lines[2 * (i - 1)],
                  "f" + std::to_string(i) + ".txt  4K  (" + std::to_string(i) + " of 300)");
        EXPECT_EQ(view_.lines[2 * (i - 1) + 1], "Complete");
    }
}

TEST_F(RunSequenceTest, RetriesCountAcrossTheTestAndTheDownload) {
    auto dialog = TestingDialog();
    state_.calls.clear();
    state_.result = 3;
    dialog->OnTimer();
    EXPECT_EQ(view_.lines, std::vector<std::string>{"Processing Failed Retry Attempt 1"});
    EXPECT_EQ(state_.calls, std::vector<std::string>{"Reset"});
    clock_.Advance(1s);
    dialog->OnTimer();
    EXPECT_EQ(state_.calls.back(), "TestDestUsingKey");

    state_.result = 2;
    dialog->OnTimer();  // test done -> download
    state_.result = 1;
    state_.progress = File(1, 3, 5, 1);
    dialog->OnTimer();
    state_.calls.clear();
    state_.result = 3;
    dialog->OnTimer();
    EXPECT_EQ(view_.lines, std::vector<std::string>{"Processing Failed Retry Attempt 2"});
    clock_.Advance(2s);
    dialog->OnTimer();
    EXPECT_EQ(state_.calls.back(), "DownloadUsingKey");
    EXPECT_EQ(state_.verification, true);
    // The retried run's first file gets its line again.
    state_.result = 1;
    state_.progress = File(1, 3, 5, 0);
    dialog->OnTimer();
    EXPECT_EQ(view_.lines.back(), "a.pdf  5K  (1 of 3)");
}

// A failure that recurs at once is posted again after pauses that double
// up to a minute, never on the tick that saw it.
TEST_F(RunSequenceTest, RetriesWaitLongerEachTimeUpToAMinute) {
    auto dialog = DownloadingDialog();
    const std::int64_t pauses[] = {1, 2, 4, 8, 16, 32, 60, 60, 60};
    for (const std::int64_t pause : pauses) {
        state_.result = 3;
        dialog->OnTimer();
        const int posted = Count("DownloadUsingKey");
        EXPECT_EQ(dialog->UntilRetry(), std::chrono::seconds(pause));
        // Ticks that come early (the timer, or news) post nothing.
        clock_.Advance(std::chrono::seconds(pause - 1));
        dialog->OnTimer();
        dialog->OnTimer();
        EXPECT_EQ(Count("DownloadUsingKey"), posted) << pause;
        clock_.Advance(1s);
        dialog->OnTimer();
        EXPECT_EQ(Count("DownloadUsingKey"), posted + 1) << pause;
        EXPECT_EQ(dialog->UntilRetry(), std::nullopt);
    }
    EXPECT_EQ(app::RetryPause(1000, 1s, 60s), 60s);
    EXPECT_EQ(app::RetryPause(3, 10ms, 1s), 40ms);
}

// Files that could not be stored here end the run without a retry and
// without the completion notice, and the end says so.
TEST_F(RunSequenceTest, ARunWithFilesThatCouldNotBeStoredEndsIncomplete) {
    auto dialog = DownloadingDialog();
    state_.result = 2;
    state_.progress.fileCount = 3;
    state_.progress.failedFiles = 1;
    dialog->OnTimer();
    EXPECT_EQ(view_.lines.back(), "Processing Finished With Errors");
    EXPECT_EQ(state_.calls, (std::vector<std::string>{"Reset", "Shutdown"}));
    EXPECT_EQ(view_.messages.back(),
              " Download Processing Finished. Some Files Could Not Be Saved.");
    EXPECT_EQ(dialog->Outcome(), DialogOutcome::Incomplete);
    EXPECT_EQ(app::ConsoleExitStatus(app::LaunchResult::DialogRan, dialog->Outcome()), 1);
}

TEST_F(RunSequenceTest, TicksWhileAQuestionIsOpenDoNothing) {
    auto dialog = TestingDialog();
    state_.result = 2;
    state_.progress.status = 13;
    state_.calls.clear();
    // The question box runs a nested event loop in which timer ticks arrive.
    int nestedTicks = 0;
    view_.duringQuestion = [&] {
        ++nestedTicks;
        dialog->OnTimer();
    };
    dialog->OnTimer();
    EXPECT_EQ(nestedTicks, 1);
    EXPECT_EQ(Count("Reset"), 1);
    EXPECT_EQ(Count("DownloadUsingKey"), 1);
}

// The folder chooser runs an event loop in which ticks arrive, the
// verification's news among them: its result must not be taken for the end
// of a run.
TEST_F(RunSequenceTest, TicksWhileTheFolderIsChosenDoNothing) {
    state_.scriptedResults = {2};
    state_.conclusion = "Successful";
    view_.folderAnswer = "/home/user/Downloads";
    auto dialog = MakeDialog();
    int nestedTicks = 0;
    view_.duringFolderChoice = [&] {
        ++nestedTicks;
        dialog->OnTimer();
    };
    dialog->Initialise();
    dialog->OnTimer();
    EXPECT_EQ(nestedTicks, 1);
    EXPECT_TRUE(view_.lines.empty());
    EXPECT_TRUE(view_.messages.empty());
    EXPECT_FALSE(view_.closeEnabled);
    EXPECT_FALSE(view_.closed);
    EXPECT_EQ(Count("DownloadCompleteWithKey"), 0);
    EXPECT_EQ(Count("Reset"), 0);
    EXPECT_EQ(state_.calls.back(), "TestDestUsingKey");
    EXPECT_EQ(dialog->Outcome(), DialogOutcome::Running);

    // Once the destination test runs, ticks drive the run again.
    state_.result = 2;
    dialog->OnTimer();
    EXPECT_EQ(state_.calls.back(), "DownloadUsingKey");
}

TEST_F(RunSequenceTest, TicksDuringTheRefusalMessageDoNothing) {
    state_.scriptedResults = {1, 2};
    state_.conclusion = "IDBAD";
    auto dialog = MakeDialog();
    view_.duringMessage = [&] { dialog->OnTimer(); };
    dialog->Initialise();
    dialog->OnTimer();
    dialog->OnTimer();
    EXPECT_EQ(view_.messages, std::vector<std::string>{app::kNoLongerValidText});
    EXPECT_TRUE(view_.lines.empty());
    EXPECT_FALSE(view_.closeEnabled);
    EXPECT_EQ(Count("DownloadCompleteWithKey"), 0);
    EXPECT_TRUE(view_.closed);
    EXPECT_EQ(dialog->Outcome(), DialogOutcome::Closed);
}

TEST_F(RunSequenceTest, NewsReachesTheHandlerOnlyWhileTheDialogLives) {
    int ticks = 0;
    {
        auto dialog = MakeDialog();
        dialog->SetNewsHandler([&ticks] { ++ticks; });
        state_.result = 1;
        dialog->Initialise();
        ASSERT_TRUE(state_.onNews);
        state_.onNews();
        EXPECT_EQ(ticks, 1);
    }
    // The worker may outlive the dialog; its news then goes nowhere.
    state_.onNews();
    EXPECT_EQ(ticks, 1);
}

TEST_F(RunSequenceTest, KeyFromTheProgramsName) {
    settings_.programPath = "/opt/trevasto/trevasto-AB12CDE.exe";
    state_.result = 1;
    auto dialog = MakeDialog(std::nullopt);
    dialog->Initialise();
    EXPECT_EQ(state_.calls.front(), "SetDownloadKey AB12CDE");

    for (const char* path :
         {"/opt/trevasto/trevasto", "/opt/trevasto-x/trevasto.bin", "/opt/trevasto/trevasto-KEY"}) {
        FakeView view;
        FakeController::State state;
        settings_.programPath = path;
        app::TransferDialog noKey(view, app_testing::FakeFactory(state), clock_, settings_);
        noKey.Initialise();
        EXPECT_TRUE(view.closed) << path;
        EXPECT_EQ(noKey.Outcome(), DialogOutcome::NoKey) << path;
        EXPECT_TRUE(state.calls.empty()) << path;
    }
}

// Below the bar: the file's and the run's figures from the worker's news,
// a busy bar while the service packs a file, and after a failure its cause
// and when the next attempt starts.
TEST_F(RunSequenceTest, TheStatusLineSaysWhatHappens) {
    auto dialog = DownloadingDialog();
    state_.result = 1;
    state_.progress = File(3, 25, 0, 0);
    state_.progress.compressed = true;
    dialog->OnTimer();
    EXPECT_TRUE(view_.barBusy) << "the service packs the file";

    state_.progress = File(3, 25, 3400, 0);
    state_.progress.fileBytes = 3400 * 1024;
    state_.progress.runBytes = 840LL << 20;
    state_.progress.runBytesDone = 311LL << 20;
    for (int tick = 1; tick <= 4; ++tick) {
        clock_.Advance(500ms);
        state_.progress.receivedBytes = tick * (1LL << 19);  // 1 MB/s
        state_.progress.doneK = static_cast<std::int32_t>(state_.progress.receivedBytes / 1024);
        dialog->OnTimer();
    }
    EXPECT_FALSE(view_.barBusy);
    EXPECT_EQ(view_.status, "2.0 of 3.3 MB, 1.0 MB/s, 1 s left; file 3 of 25, 313 of 840 MB");

    state_.failure = {control::FailureCause::Kind::NoAnswer,
                      "no answer from b2.example.com:80 for 180 s"};
    state_.result = 3;
    dialog->OnTimer();
    EXPECT_EQ(view_.status,
              "Attempt 1 failed: no answer from b2.example.com:80 for 180 s. Trying again in 1 s.");
    EXPECT_EQ(view_.lines, std::vector<std::string>{"Processing Failed Retry Attempt 1"});
}

// Stop, asked first: the engine is told, the file in progress still shows
// its last line and is acknowledged, and the dialog closes once the
// operation has ended, saying so.
TEST_F(RunSequenceTest, AConfirmedStopEndsTheRunAndKeepsWhatArrived) {
    auto dialog = DownloadingDialog();
    state_.result = 1;
    state_.progress = File(1, 2, 5, 1);
    dialog->OnTimer();
    view_.stopAnswer = false;
    EXPECT_FALSE(dialog->RequestStop(/*ask=*/true));
    EXPECT_EQ(Count("Stop"), 0) << "Continue goes on";
    EXPECT_EQ(view_.questions.back(), app::kStopQuestion);

    view_.stopAnswer = true;
    EXPECT_FALSE(dialog->RequestStop(/*ask=*/true));
    EXPECT_EQ(Count("Stop"), 1);
    EXPECT_FALSE(view_.closed) << "closes once the engine has let go";
    state_.progress.status = control::status::kIncomplete;
    state_.progress.fileFinished = true;
    dialog->OnTimer();
    EXPECT_EQ(state_.acknowledgements, 1);
    state_.result = 3;
    dialog->OnTimer();
    EXPECT_TRUE(view_.closed);
    EXPECT_EQ(dialog->Outcome(), DialogOutcome::Stopped);
    EXPECT_EQ(Count("Shutdown"), 1);
    EXPECT_EQ(Count("DownloadUsingKey"), 0) << "no retry after a stop";
    ASSERT_TRUE(view_.end);
    EXPECT_TRUE(view_.end->stopped);
    EXPECT_EQ(view_.end->filesFailed, 1);
    EXPECT_EQ(app::ConsoleExitStatus(app::LaunchResult::DialogRan, dialog->Outcome()), 1);

    // A run that is over closes at once.
    EXPECT_TRUE(dialog->RequestStop(/*ask=*/true));
}

// The chooser opens in the folder chosen last time, or the default one;
// the replace question names the files that exist, below the folder.
TEST_F(RunSequenceTest, TheChooserRemembersItsFolderAndTheQuestionNamesTheFiles) {
    testing_support::TempDir dir;
    settings_.lastFolderFile = dir.Sub("last-folder");
    settings_.defaultFolder = "/home/user/Downloads";
    {
        state_.scriptedResults = {2};
        state_.conclusion = "Successful";
        view_.folderAnswer = dir.path();
        auto dialog = MakeDialog();
        dialog->Initialise();
        dialog->OnTimer();
        EXPECT_EQ(view_.startFolder, "/home/user/Downloads");
        state_.result = 2;
        state_.progress.status = 13;
        state_.existing = {dir.path() + "/a.txt", dir.path() + "/sub/b.txt"};
        dialog->OnTimer();
        EXPECT_EQ(view_.existingShown, (std::vector<std::string>{"a.txt", "sub/b.txt"}));
    }
    FakeView view;
    FakeController::State state;
    state.scriptedResults = {2};
    state.conclusion = "Successful";
    app::TransferDialog again(view, app_testing::FakeFactory(state), clock_, settings_);
    again.SetKey("K");
    again.Initialise();
    again.OnTimer();
    EXPECT_EQ(view.startFolder, dir.path());
}

TEST(KeyFromProgramPath, TextAfterTheFirstHyphenBeforeTheFirstDot) {
    EXPECT_EQ(app::KeyFromProgramPath("/x/y/QvnGet-AB12.exe"), "AB12");
    EXPECT_EQ(app::KeyFromProgramPath("a-b-c.d.e"), "b-c");
    EXPECT_EQ(app::KeyFromProgramPath("name-.exe"), "");
    EXPECT_FALSE(app::KeyFromProgramPath("name.exe"));
    EXPECT_FALSE(app::KeyFromProgramPath("name.ex-e"));
}

TEST(ShortenPath, KeepsTheLastComponentWithinTheLimit) {
    const std::string sep(1, platform::kPathSeparator);  // this system's
    const std::string folder10 = sep + "0123456789";
    const std::string path80 = std::string(69, 'p') + folder10;
    ASSERT_EQ(path80.size(), 80u);
    const std::string shortened = app::ShortenPath(path80, 56);
    EXPECT_EQ(shortened, std::string(42, 'p') + "..." + folder10);
    EXPECT_EQ(shortened.size(), 56u);

    EXPECT_EQ(app::ShortenPath(sep + "short" + sep + "path", 56), sep + "short" + sep + "path");
    const std::string noSeparator(70, 'x');
    EXPECT_EQ(app::ShortenPath(noSeparator, 56), noSeparator);
    EXPECT_EQ(app::ShortenPath(sep + std::string(69, 'x'), 56), sep + std::string(69, 'x'))
        << "a separator only at the first character";

    // A last component of 53 characters leaves exactly "..." and itself.
    const std::string tail53 = sep + std::string(52, 't');
    EXPECT_EQ(app::ShortenPath(std::string(10, 'h') + tail53, 56), "..." + tail53);
    // Longer last components keep their end, never more than 56 characters.
    for (std::size_t length : {54u, 55u, 56u, 90u}) {
        const std::string tail = sep + std::string(length - 1, 'a') + "END";
        const std::string result = app::ShortenPath(sep + "home" + tail, 56);
        EXPECT_EQ(result.size(), 56u) << length;
        EXPECT_EQ(result.substr(0, 3), "...");
        EXPECT_EQ(result.substr(result.size() - 3), "END");
    }
}

TEST(FormatThousands, CommasEveryThreeDigitsFromTheRight) {
    EXPECT_EQ(app::FormatThousands(0), "0");
    EXPECT_EQ(app::FormatThousands(999), "999");
    EXPECT_EQ(app::FormatThousands(1000), "1,000");
    EXPECT_EQ(app::FormatThousands(1234), "1,234");
    EXPECT_EQ(app::FormatThousands(1234567), "1,234,567");
    EXPECT_EQ(app::FormatThousands(12345678901LL), "12,345,678,901");
}

}  // namespace

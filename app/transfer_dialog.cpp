#include "app/transfer_dialog.h"

#include <algorithm>
#include <chrono>

#include "app/transfer_app.h"
#include "control/run_switches.h"
#include "platform/file.h"
#include "platform/path.h"
#include "platform/strings.h"

namespace app {
namespace {

using namespace std::chrono_literals;

constexpr int kTimerPeriodMs = 1000;
constexpr int kResultPolls = 8;
// How long a stop waits for the engine to let go before the dialog closes
// all the same.
constexpr std::chrono::milliseconds kStopGrace{3000};
constexpr std::size_t kDestinationLimit = 56;
// The dialog never changes them: every operation it posts, the first and
// each retry, runs with the same.
constexpr control::RunSwitches kRunSwitches{};

const char* CompressedWord(bool compressed) {
    return compressed ? "Compressed" : "";
}

std::string SizedLine(const control::ProgressSnapshot& p) {
    return platform::StrPrintf("%s  %sK %s (%d of %d)",
                               std::string(platform::FileNamePart(p.filePath)).c_str(),
                               FormatThousands(p.fileSizeK).c_str(), CompressedWord(p.compressed),
                               p.fileIndex, p.fileCount);
}

std::string UnsizedLine(const control::ProgressSnapshot& p) {
    return platform::StrPrintf(
        "%s  %s (%d of %d)", std::string(platform::FileNamePart(p.filePath)).c_str(),
        p.compressed ? "Compressing Please Wait..." : "", p.fileIndex, p.fileCount);
}

// Why the key could not be checked, in words.
std::string VerificationFailureText(const std::string& conclusion,
                                    const control::FailureCause& cause) {
    using Kind = control::FailureCause::Kind;
    if (cause.kind == Kind::Unreachable) {
        return "Trevasto could not reach the Quorvane service (" + cause.text +
               "). Please try again later.";
    }
    if (cause.kind != Kind::None) {
        return "The Quorvane service did not answer the download key (" + cause.text +
               "). Please try again later.";
    }
    if (!conclusion.empty()) {
        return "The Quorvane service answered the download key with \"" + conclusion +
               "\". Please try again later.";
    }
    return "The Quorvane service did not answer the download key. Please try again later.";
}

}  // namespace

std::string ShortenPath(std::string_view text, std::size_t limit) {
    if (text.size() <= limit || text.find(platform::kPathSeparator, 1) == std::string_view::npos) {
        return std::string(text);
    }
    const std::string_view tail = text.substr(text.rfind(platform::kPathSeparator));
    if (tail.size() + 3 <= limit) {
        return std::string(text.substr(0, limit - 3 - tail.size())) + "..." + std::string(tail);
    }
    // A last component too long for the limit: its end stays visible.
    const std::size_t keep = limit > 3 ? limit - 3 : 0;
    return "..." + std::string(tail.substr(tail.size() - keep));
}

std::chrono::milliseconds RetryPause(std::int32_t attempt, std::chrono::milliseconds first,
                                     std::chrono::milliseconds longest) {
    std::chrono::milliseconds pause = first;
    for (std::int32_t i = 1; i < attempt && pause < longest; ++i) {
        pause *= 2;
    }
    return std::min(pause, longest);
}

std::string FormatThousands(std::int64_t value) {
    std::string digits = std::to_string(value < 0 ? -value : value);
    std::string out;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i != 0 && (digits.size() - i) % 3 == 0) {
            out.push_back(',');
        }
        out.push_back(digits[i]);
    }
    return value < 0 ? "-" + out : out;
}

std::optional<std::string> KeyFromProgramPath(std::string_view path) {
    std::string_view name = platform::FileNamePart(path);
    const std::size_t dot = name.find('.');
    if (dot == std::string_view::npos) {
        return std::nullopt;
    }
    name = name.substr(0, dot);
    const std::size_t hyphen = name.find('-');
    if (hyphen == std::string_view::npos) {
        return std::nullopt;
    }
    return std::string(name.substr(hyphen + 1));
}

std::optional<std::string> StatusLineText(std::int32_t status) {
    switch (status) {
        case control::status::kDownloading:
            return "Complete";
        case control::status::kContinued:
            return "Update File Complete";
        case control::status::kKept:
            return "File Exists. Download Skipped.";
        case control::status::kMaximumDownloads:
            return "Maximum Downloads Exceeded";
        case control::status::kIncomplete:
            return "Download Incomplete";
        case control::status::kRefusedName:
            return "Invalid File Name. Download Skipped.";
        case control::status::kFailed:
            return "Download Failed";
        case control::status::kInUse:
            return "File In Use. Download Skipped.";
        case control::status::kNoSpace:
            return "Not Enough Disk Space. Download Failed.";
        case control::status::kTooLarge:
            return "File Too Large. Download Failed.";
        case control::status::kAccessDenied:
            return "Access Denied. Download Failed.";
        default:
            return std::nullopt;
    }
}

TransferDialog::TransferDialog(DialogView& view, ControllerFactory makeController,
                               platform::Clock& clock, DialogSettings settings)
    : view_(view),
      makeController_(std::move(makeController)),
      clock_(clock),
      settings_(std::move(settings)) {}

TransferDialog::~TransferDialog() {
    if (newsRelay_) {
        newsRelay_->Disconnect();
    }
}

void TransferDialog::WaitForNews(std::chrono::milliseconds timeout) {
    if (controller_) {
        (void)controller_->WaitForNews(timeout);
    } else {
        clock_.SleepFor(timeout);
    }
}

std::optional<std::chrono::milliseconds> TransferDialog::UntilRetry() {
    if (!retryAt_) {
        return std::nullopt;
    }
    return std::max(std::chrono::milliseconds(0), *retryAt_ - clock_.SinceStart());
}

void TransferDialog::Close(DialogOutcome outcome) {
    outcome_ = outcome;
    stage_ = Stage::Over;
    view_.StopTimer();
    view_.CloseDialog();
}

void TransferDialog::Initialise() {
    lastIndex_ = 0;
    lastDoneK_ = 0;
    lineWaiting_ = true;
    retryCount_ = 0;
    testingDestination_ = false;
    keepExisting_ = true;
    finishedShownFor_ = 0;
    if (!key_) {
        key_ = KeyFromProgramPath(settings_.programPath);
        if (!key_) {
            Close(DialogOutcome::NoKey);
            return;
        }
    }
    newsRelay_ = std::make_shared<NewsRelay>();
    if (newsHandler_) {
        newsRelay_->Connect(newsHandler_);
    }
    controller_ = makeController_([relay = newsRelay_] { relay->Fire(); });
    controller_->SetDownloadKey(*key_);
    controller_->VerifyDownloadKey();
    // The dialog shows at once, saying what it waits for.
    stage_ = Stage::Verifying;
    verifyStarted_ = clock_.SinceStart();
    view_.ShowDestination(kCheckingText);
    view_.Bar().SetBusy(true);
    view_.StartTimer(kTimerPeriodMs);
}

void TransferDialog::VerificationTick() {
    (void)controller_->GetProgress();
    const std::int32_t result = controller_->GetResult();
    if (result == control::kResultSucceeded) {
        Verified(controller_->GetConclusion(), {});
        return;
    }
    if (result == control::kResultFailed) {
        const control::FailureCause cause = controller_->GetFailureCause();
        controller_->Reset();
        Verified("", cause);
        return;
    }
    // As many seconds as the verification's eight polls waited.
    if (clock_.SinceStart() - verifyStarted_ >= kTimerPeriodMs * kResultPolls * 1ms) {
        Verified(controller_->GetConclusion(),
                 {control::FailureCause::Kind::NoAnswer, "no answer within 8 s"});
    }
}

void TransferDialog::Verified(const std::string& conclusion, const control::FailureCause& cause) {
    view_.Bar().SetBusy(false);
    if (conclusion == "IDBAD") {
        busy_ = true;
        view_.ShowMessage(kNoLongerValidText);
        busy_ = false;
        Close(DialogOutcome::Closed);
        return;
    }
    if (conclusion != "Successful") {
        busy_ = true;
        view_.ShowFailure(VerificationFailureText(conclusion, cause));
        busy_ = false;
        controller_->Shutdown();
        Close(DialogOutcome::Closed);
        return;
    }
    stage_ = Stage::Running;
    // The folder chooser runs an event loop in which ticks arrive; until
    // the destination test is posted there is nothing for them to do.
    busy_ = true;
    StartRun();
    busy_ = false;
}

void TransferDialog::StartRun() {
    std::optional<std::string> folder = view_.ChooseFolder(StartFolder());
    if (!folder) {
        Close(DialogOutcome::Closed);
        return;
    }
    destinationPath_ = *folder;
    summary_.folder = destinationPath_;
    RememberFolder();
    view_.ShowDestination(ShortenPath(destinationPath_, kDestinationLimit));

    if (settings_.loggingEnabled) {
        controller_->SetLogDirectory(settings_.logDirectory);
        controller_->OpenLog(settings_.logFlags);
    }
    controller_->SetLogin("", "");
    controller_->SetLocalDirectory(destinationPath_);
    controller_->SetVerification(true);
    control::ApplyRunSwitches(*controller_, kRunSwitches);
    controller_->SetClientId("ZEL");

    testingDestination_ = true;
    controller_->TestDestUsingKey();
}

std::string TransferDialog::StartFolder() const {
    if (!settings_.lastFolderFile.empty()) {
        auto remembered = platform::ReadFileStart(settings_.lastFolderFile, 64 * 1024);
        if (remembered && !remembered->empty()) {
            auto info = platform::GetFileInfo(*remembered);
            if (info && info->isDirectory) {
                return *remembered;
            }
        }
    }
    return settings_.defaultFolder;
}

void TransferDialog::RememberFolder() const {
    if (!settings_.lastFolderFile.empty()) {
        (void)platform::WriteWholeFile(settings_.lastFolderFile, destinationPath_);
    }
}

void TransferDialog::WaitForResult() {
    for (int poll = 0; poll < kResultPolls; ++poll) {
        (void)controller_->GetProgress();
        const std::int32_t result = controller_->GetResult();
        if (result == control::kResultSucceeded || result == control::kResultFailed) {
            return;
        }
        // The wait ends early when the worker stores the result.
        (void)controller_->WaitForNews(std::chrono::milliseconds(kTimerPeriodMs));
    }
}

void TransferDialog::StoreRunParameters() {
    controller_->SetDownloadKey(*key_);
    controller_->SetLogin("", "");
    controller_->SetLocalDirectory(destinationPath_);
}

void TransferDialog::OnTimer() {
    if (busy_ || !controller_) {
        return;
    }
    switch (stage_) {
        case Stage::Verifying:
            VerificationTick();
            return;
        case Stage::Running:
            RunTick();
            return;
        case Stage::Stopping:
            StopTick();
            return;
        case Stage::Over:
            return;
    }
}

bool TransferDialog::RequestStop(bool ask) {
    if (stage_ == Stage::Over || !controller_) {
        return true;
    }
    if (busy_ || stage_ == Stage::Stopping) {
        return false;  // a box is open, or the stop is under way
    }
    if (ask) {
        busy_ = true;
        const bool stop = view_.AskStop(kStopQuestion);
        busy_ = false;
        if (!stop || stage_ == Stage::Over) {
            return stage_ == Stage::Over;
        }
    }
    if (stage_ == Stage::Verifying) {
        controller_->Stop();
        controller_->Shutdown();
        controller_.reset();
        Close(DialogOutcome::Stopped);
        return true;
    }
    stage_ = Stage::Stopping;
    retryAt_.reset();
    stopDeadline_ = clock_.SinceStart() + kStopGrace;
    controller_->Stop();
    view_.ShowStatus("Stopping the download...");
    return false;
}

void TransferDialog::StopTick() {
    // The file in progress shows its last line (and is acknowledged, so
    // that the engine can let go) until the operation has ended.
    const control::ProgressSnapshot progress = controller_->GetProgress();
    const std::int32_t result = controller_->GetResult();
    if (result == control::kResultRunning && !testingDestination_ && progress.fileCount > 0) {
        DownloadDisplay(progress);
    }
    if (result != control::kResultRunning || clock_.SinceStart() >= stopDeadline_) {
        EndStopped();
    }
}

void TransferDialog::EndStopped() {
    view_.StopTimer();
    // The log is closed; a worker still in a wait is left to the end of
    // the process.
    controller_->Shutdown();
    controller_.reset();
    summary_.stopped = true;
    summary_.complete = false;
    summary_.elapsed = downloadStarted_ ? clock_.SinceStart() - *downloadStarted_ : 0ms;
    view_.ShowEnd(summary_);
    Close(DialogOutcome::Stopped);
}

void TransferDialog::RunTick() {
    if (retryAt_) {
        // The Reset after the failure left a result that means nothing
        // until the operation is posted again.
        const auto now = clock_.SinceStart();
        if (now >= *retryAt_) {
            retryAt_.reset();
            PostAgain();
        } else {
            view_.ShowStatus(RetryStatus(retryCount_, lastFailure_, *retryAt_ - now));
        }
        return;
    }
    const control::ProgressSnapshot progress = controller_->GetProgress();
    const std::int32_t result = controller_->GetResult();

    if (result == control::kResultRunning) {
        if (!testingDestination_ && progress.fileCount > 0) {
            DownloadDisplay(progress);
            ShowFigures(progress);
        }
        return;
    }

    if (result == control::kResultSucceeded && testingDestination_) {
        const std::vector<std::string> existing = controller_->GetExistingFiles();
        controller_->Reset();
        if (progress.status == control::status::kSomeExist) {
            busy_ = true;
            std::vector<std::string> names;
            for (const std::string& path : existing) {
                names.push_back(path.starts_with(destinationPath_ + "/")
                                    ? path.substr(destinationPath_.size() + 1)
                                    : path);
            }
            if (!view_.AskReplace(" Replace existing files?", names)) {
                controller_->Shutdown();
                Close(DialogOutcome::Closed);
                return;
            }
            keepExisting_ = false;
        }
        controller_->SetVerification(keepExisting_);
        view_.FileList().Clear();
        view_.Bar().SetPos(0);
        StoreRunParameters();
        control::ApplyRunSwitches(*controller_, kRunSwitches);
        testingDestination_ = false;
        finishedShownFor_ = 0;
        downloadStarted_ = clock_.SinceStart();
        controller_->DownloadUsingKey();
        busy_ = false;
        return;
    }

    if (result == control::kResultSucceeded) {
        Finish(progress);
        return;
    }

    if (result == control::kResultFailed) {
        lastFailure_ = controller_->GetFailureCause();
        controller_->Reset();
        view_.FileList().Clear();
        view_.Bar().SetPos(0);
        view_.Bar().SetBusy(false);
        ++retryCount_;
        view_.FileList().AddLine(
            platform::StrPrintf("Processing Failed Retry Attempt %d", retryCount_));
        // A cause that recurs at once must not become a storm of requests:
        // each attempt waits longer, up to a minute.
        const auto pause =
            RetryPause(retryCount_, settings_.firstRetryPause, settings_.longestRetryPause);
        retryAt_ = clock_.SinceStart() + pause;
        view_.ShowStatus(RetryStatus(retryCount_, lastFailure_, pause));
    }
}

void TransferDialog::ShowFigures(const control::ProgressSnapshot& progress) {
    rate_.Sample(clock_.SinceStart(), bytesOfFilesOver_ + progress.receivedBytes);
    // While the service packs a file the bar has no position to show.
    view_.Bar().SetBusy(progress.compressed && progress.fileSizeK == 0 && !progress.fileFinished);
    view_.ShowStatus(TransferStatus(progress, rate_.BytesPerSecond()));
}

void TransferDialog::PostAgain() {
    StoreRunParameters();
    controller_->SetVerification(keepExisting_);
    control::ApplyRunSwitches(*controller_, kRunSwitches);
    // The retried run numbers its files from 1 again: the next file line
    // must not be taken for the failed run's last file.
    lastIndex_ = 0;
    finishedShownFor_ = 0;
    view_.ShowStatus("");
    if (testingDestination_) {
        controller_->TestDestUsingKey();
    } else {
        controller_->DownloadUsingKey();
    }
}

RunSummary TransferDialog::Summary() const {
    RunSummary summary = summary_;
    summary.elapsed = downloadStarted_ ? clock_.SinceStart() - *downloadStarted_ : 0ms;
    return summary;
}

void TransferDialog::Finish(const control::ProgressSnapshot& progress) {
    // Files that could not be stored here make the run end without the
    // completion notice: the service is not told that the key's files
    // arrived, and the end says that they did not all.
    const bool whole = progress.failedFiles == 0;
    FileListView& list = view_.FileList();
    list.ScrollToEnd();
    if (!whole) {
        list.AddLine("Processing Finished With Errors");
    } else {
        list.AddLine(progress.fileCount > 0 ? "Processing Complete" : "No Files Available");
    }
    list.ScrollToEnd();
    view_.Bar().SetPos(0);
    view_.Bar().Hide();
    view_.ShowStatus("");
    view_.EnableClose();
    view_.StopTimer();

    if (whole) {
        controller_->DownloadCompleteWithKey();
        WaitForResult();
    }
    controller_->Reset();
    controller_->Shutdown();
    controller_.reset();
    stage_ = Stage::Over;
    outcome_ = whole ? DialogOutcome::Completed : DialogOutcome::Incomplete;
    RunSummary summary = Summary();
    summary.complete = whole;
    view_.ShowEnd(summary);
    view_.ShowMessage(whole ? " Download Processing Complete"
                            : " Download Processing Finished. Some Files Could Not Be Saved.");
}

void TransferDialog::StartBar(const control::ProgressSnapshot& progress) {
    ProgressBarView& bar = view_.Bar();
    bar.SetBusy(false);
    bar.SetStep(1);
    bar.SetRange(0, progress.fileSizeK);
    bar.SetPos(progress.doneK);
    lastDoneK_ = progress.doneK;
}
void TransferDialog::DownloadDisplay(const control::ProgressSnapshot& progress) {
    FileListView& list = view_.FileList();
    if (progress.fileIndex != lastIndex_) {
        view_.Bar().SetPos(0);
        if (progress.fileIndex != 0 && !progress.filePath.empty()) {
            list.ScrollToEnd();
            if (progress.fileSizeK > 0) {
                list.AddLine(SizedLine(progress));
                lineWaiting_ = false;
                StartBar(progress);
            } else {
                list.AddLine(UnsizedLine(progress));
                lineWaiting_ = true;
            }
        }
        if (progress.fileFinished) {
            StatusLine(progress);
        }
        lastIndex_ = progress.fileIndex;
        return;
    }

    if (finishedShownFor_ == progress.fileIndex) {
        return;  // this file's display is over; the engine has yet to move on
    }
    const bool transferring = progress.status == control::status::kDownloading ||
                              progress.status == control::status::kContinued;
    if (transferring && lastIndex_ != 0) {
        if (lineWaiting_ && progress.fileSizeK > 0) {
            list.ReplaceLastLine(SizedLine(progress));
            lineWaiting_ = false;
            StartBar(progress);
        } else if (!lineWaiting_) {
            if (progress.doneK != 0 && progress.doneK > lastDoneK_) {
                for (std::int32_t i = lastDoneK_; i < progress.doneK; ++i) {
                    view_.Bar().StepIt();
                }
                lastDoneK_ = progress.doneK;
            }
        }
    }
    if (progress.fileFinished) {
        StatusLine(progress);
    }
}

void TransferDialog::StatusLine(const control::ProgressSnapshot& progress) {
    if (finishedShownFor_ == progress.fileIndex) {
        return;
    }
    finishedShownFor_ = progress.fileIndex;
    view_.FileList().ScrollToEnd();
    if (auto text = StatusLineText(progress.status)) {
        view_.FileList().AddLine(*text);
    }
    lineWaiting_ = true;
    Count(progress);
    controller_->AcknowledgeFile();
}

void TransferDialog::Count(const control::ProgressSnapshot& progress) {
    namespace status = control::status;
    switch (progress.status) {
        case status::kDownloading:
        case status::kContinued:
            ++summary_.filesComplete;
            break;
        case status::kKept:
        case status::kRefusedName:
        case status::kInUse:
        case status::kMaximumDownloads:
            ++summary_.filesSkipped;
            break;
        default:
            ++summary_.filesFailed;
            break;
    }
    summary_.bytes += progress.receivedBytes;
    bytesOfFilesOver_ += progress.receivedBytes;
}

}  // namespace app

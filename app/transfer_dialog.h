#pragma once
// The transfer dialog's run sequence: verification, the folder choice, the
// timer that drives the destination test, the replace question, the
// download display with its status line, the completion, the retries and
// a stop. Written once against DialogView and DialogController; the Qt
// dialog, the console front-end and the tests host it. The dialog is shown
// at once: the key is checked on its timer, not before.

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "app/dialog_controller.h"
#include "app/dialog_view.h"
#include "app/news_relay.h"
#include "app/status_text.h"
#include "platform/clock.h"

namespace app {

struct DialogSettings {
    bool loggingEnabled = false;
    std::string logDirectory;
    std::uint32_t logFlags = 1;
    // The program's own path: the key comes from its name when none is given.
    std::string programPath;
    // The pause before the first retry of a failed run; each further
    // attempt waits twice as long as the one before, up to the longest.
    std::chrono::milliseconds firstRetryPause{1000};
    std::chrono::milliseconds longestRetryPause{60000};
    // Where the folder chooser opens: the folder chosen last time,
    // remembered in this file (empty: nothing is remembered), else this one.
    std::string lastFolderFile;
    std::string defaultFolder;
};

inline constexpr const char* kCheckingText = "Checking the download key...";
inline constexpr const char* kStopQuestion = "Stop the download? Files already complete are kept.";

// How the dialog's run ended, for the console's exit status.
enum class DialogOutcome {
    Running,     // not ended yet
    Completed,   // " Download Processing Complete" was shown
    Incomplete,  // the run ended, but some files could not be stored here
    Stopped,     // the person stopped the run
    NoKey,       // no key given and none in the program's name
    Closed,      // closed for any other reason
};

class TransferDialog {
  public:
    TransferDialog(DialogView& view, ControllerFactory makeController, platform::Clock& clock,
                   DialogSettings settings);
    ~TransferDialog();
    TransferDialog(const TransferDialog&) = delete;
    TransferDialog& operator=(const TransferDialog&) = delete;

    void SetKey(std::optional<std::string> key) { key_ = std::move(key); }
    // Called on the worker thread whenever it has news; a front-end with an
    // event loop sets it to schedule an extra tick on its own thread.
    void SetNewsHandler(std::function<void()> handler) { newsHandler_ = std::move(handler); }
    // Waits up to `timeout` for the worker's news (a front-end without an
    // event loop ticks after it).
    void WaitForNews(std::chrono::milliseconds timeout);

    // Runs once as the dialog is shown: the key's check starts (or, without
    // a key, the dialog closes).
    void Initialise();
    // One period of the dialog's timer, or news from the worker.
    void OnTimer();
    // The person asks to stop (Escape, the window's close button, Ctrl-C);
    // `ask` confirms it first. True when the dialog may close now (nothing
    // runs); otherwise a confirmed stop closes it once the engine has let go.
    bool RequestStop(bool ask);

    DialogOutcome Outcome() const { return outcome_; }
    // How long until a failed operation is posted again; none while none
    // waits. A front-end may tick then rather than at its next period.
    std::optional<std::chrono::milliseconds> UntilRetry();

  private:
    enum class Stage { Verifying, Running, Stopping, Over };

    void Close(DialogOutcome outcome);
    // The key's check, on each tick until it has an answer.
    void VerificationTick();
    void Verified(const std::string& conclusion, const control::FailureCause& cause);
    // The folder choice and the destination test.
    void StartRun();
    std::string StartFolder() const;
    void RememberFolder() const;
    void RunTick();
    void StopTick();
    void EndStopped();
    void ShowFigures(const control::ProgressSnapshot& progress);
    void StoreRunParameters();
    void DownloadDisplay(const control::ProgressSnapshot& progress);
    void StartBar(const control::ProgressSnapshot& progress);
    void StatusLine(const control::ProgressSnapshot& progress);
    // A finished file, for the run's summary.
    void Count(const control::ProgressSnapshot& progress);
    // Posts the failed operation again once its pause is over.
    void PostAgain();
    // The end of the download: the last line, the completion notice and
    // the message.
    void Finish(const control::ProgressSnapshot& progress);
    // Polls the result up to eight times, each poll waiting up to a second
    // for news; stops at a failure.
    void WaitForResult();
    RunSummary Summary() const;

    DialogView& view_;
    ControllerFactory makeController_;
    platform::Clock& clock_;
    DialogSettings settings_;
    std::function<void()> newsHandler_;
    std::shared_ptr<NewsRelay> newsRelay_;
    std::unique_ptr<DialogController> controller_;

    std::optional<std::string> key_;
    Stage stage_ = Stage::Verifying;
    std::chrono::milliseconds verifyStarted_{0};
    std::chrono::milliseconds stopDeadline_{0};
    std::string destinationPath_;
    std::int32_t lastIndex_ = 0;
    std::int32_t lastDoneK_ = 0;
    bool lineWaiting_ = true;
    std::int32_t retryCount_ = 0;
    bool testingDestination_ = false;
    // Initialise or the replace question is under way: ticks do nothing.
    bool busy_ = false;
    bool keepExisting_ = true;
    // The file whose final line was shown last, so that a tick arriving
    // before the engine has moved on never shows (and acknowledges) it twice.
    std::int32_t finishedShownFor_ = 0;
    // When the failed operation is posted again (on the steady clock);
    // none while none waits.
    std::optional<std::chrono::milliseconds> retryAt_;
    control::FailureCause lastFailure_;
    DialogOutcome outcome_ = DialogOutcome::Running;
    // The status line's figures: the bytes of files over, the rate, and
    // what the run did.
    RateMeter rate_;
    std::int64_t bytesOfFilesOver_ = 0;
    std::optional<std::chrono::milliseconds> downloadStarted_;
    RunSummary summary_;
};

// Shortens a path for display to at most `limit` characters, keeping its
// last component.
std::string ShortenPath(std::string_view text, std::size_t limit);

// The pause before retry attempt `attempt` (from 1): the first pause, then
// twice the one before, never beyond the longest.
std::chrono::milliseconds RetryPause(std::int32_t attempt, std::chrono::milliseconds first,
                                     std::chrono::milliseconds longest);

// 1234567 -> "1,234,567".
std::string FormatThousands(std::int64_t value);

// The key carried by a program's file name: after the last separator, cut
// at the first '.', the text after the first '-'. Nothing when the name has
// no '.' or no '-'.
std::optional<std::string> KeyFromProgramPath(std::string_view path);

// The file list's final line for a status code, or nothing for codes
// without one.
std::optional<std::string> StatusLineText(std::int32_t status);

}  // namespace app

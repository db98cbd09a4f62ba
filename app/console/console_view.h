#pragma once
// The transfer dialog on a console, for machines without a display: lines
// of the file list on standard output, prompts, the bar with the status
// line and the run's summary on standard error, answers from standard
// input.

#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/console/console_stop.h"
#include "app/dialog_view.h"
#include "app/transfer_app.h"
#include "app/transfer_dialog.h"
#include "platform/clock.h"

namespace app {

// What the console is attached to, found by its host.
struct ConsoleOptions {
    // Prompts end their line when the answers do not come from a terminal,
    // so that piped output does not run together.
    bool inputIsTerminal = false;
    // The bar and the status line are redrawn in place on a terminal only;
    // elsewhere nothing is written with a carriage return.
    bool errorIsTerminal = false;
    int columns = 80;  // the terminal's width
    // The home folder that "~" in a typed folder stands for (empty: "~"
    // stays as typed).
    std::string home = {};
    // Ctrl-C and SIGTERM, when the host takes them.
    std::shared_ptr<ConsoleStop> stop = {};
};

class ConsoleView final : public DialogView, FileListView, ProgressBarView {
  public:
    ConsoleView(std::FILE* in, std::FILE* out, std::FILE* err, ConsoleOptions options);

    // FileListView: every added or replaced line is printed alone, at once.
    void AddLine(const std::string& text) override;
    void ReplaceLastLine(const std::string& text) override;
    void ScrollToEnd() override {}
    void Clear() override {}

    // ProgressBarView: a text bar redrawn in place, once a file's size
    // gave it a range.
    void SetRange(int minimum, int maximum) override;
    int SetPos(int position) override;
    int SetStep(int step) override;
    int StepIt() override;
    void Hide() override;
    void SetBusy(bool busy) override;

    FileListView& FileList() override { return *this; }
    ProgressBarView& Bar() override { return *this; }
    void ShowDestination(const std::string& text) override;
    void ShowStatus(const std::string& text) override;
    void ShowMessage(const std::string& text) override;
    void ShowFailure(const std::string& text) override;
    bool AskReplace(const std::string& text, const std::vector<std::string>& existing) override;
    bool AskStop(const std::string&) override { return true; }
    std::optional<std::string> ChooseFolder(const std::string& startFolder) override;
    void ShowEnd(const RunSummary& summary) override;
    void StartTimer(int periodMs) override { timerPeriodMs_ = periodMs; }
    void StopTimer() override { timerPeriodMs_ = 0; }
    void EnableClose() override {}
    void CloseDialog() override { closed_ = true; }

    int TimerPeriodMs() const { return timerPeriodMs_; }
    bool Closed() const { return closed_; }
    bool EndShown() const { return endShown_; }
    ConsoleStop* Stop() const { return options_.stop.get(); }

  private:
    // Writes a prompt and reads its answer (nothing at the end of input).
    std::optional<std::string> Ask(const std::string& prompt);
    std::optional<std::string> ReadLine();
    // The folder typed, its "~" expanded; nothing when none is usable.
    std::optional<std::string> FolderFromAnswer(const std::string& answer);
    // The bar and the status line, drawn in place on a terminal.
    std::string ProgressLine() const;
    void DrawBar();
    void EraseBar();

    std::FILE* in_;
    std::FILE* out_;
    std::FILE* err_;
    ConsoleOptions options_;
    int rangeMin_ = 0;
    int rangeMax_ = 100;
    int position_ = 0;
    int step_ = 1;
    bool barStarted_ = false;  // a file's size gave it a range
    bool barHidden_ = false;
    bool barBusy_ = false;
    std::string status_;
    // What is on the terminal's last line now (empty: nothing).
    std::string drawn_;
    // The failed attempt last written as a line when the status line is
    // not drawn.
    std::string failureWritten_;
    int timerPeriodMs_ = 0;
    bool closed_ = false;
    bool endShown_ = false;
};

// "~" and "~/..." with the home folder in front; anything else (and
// everything without a home) as it is.
std::string ExpandHome(const std::string& path, const std::string& home);

// The console's one-line summary of a run: "Done: 3 files complete, 1
// skipped, 0 failed; 12 MB in 4 s (3.0 MB/s)".
std::string SummaryLine(const RunSummary& summary);

// Runs the dialog modally on the console: initialisation, then a tick at
// each timer period or sooner news, until the dialog closes or its timer
// stops. A stop posted to the view's ConsoleStop asks the dialog to stop
// without a question.
DialogOutcome RunConsoleDialog(TransferDialog& dialog, ConsoleView& view);

// The launch host of the console front-end.
class ConsoleLaunchHost final : public LaunchHost {
  public:
    ConsoleLaunchHost(ConsoleView& view, ControllerFactory makeController, platform::Clock& clock,
                      DialogSettings settings);
    void ShowMessage(const std::string& text) override;
    void RunDialog(const std::optional<std::string>& key) override;
    DialogOutcome Outcome() const { return outcome_; }

  private:
    ConsoleView& view_;
    ControllerFactory makeController_;
    platform::Clock& clock_;
    DialogSettings settings_;
    DialogOutcome outcome_ = DialogOutcome::Running;
};

// The console's exit status: 0 once the completion message was shown, 2
// when there was no usable key, 1 for any other end.
int ConsoleExitStatus(LaunchResult launch, DialogOutcome outcome);

}  // namespace app

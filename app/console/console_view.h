#pragma once
// The transfer dialog on a console, for machines without a display: lines
// of the file list on standard output, prompts and the bar on standard
// error, answers from standard input.

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "app/dialog_view.h"
#include "app/transfer_app.h"
#include "app/transfer_dialog.h"
#include "platform/clock.h"

namespace app {

class ConsoleView final : public DialogView, FileListView, ProgressBarView {
  public:
    // `drawBar`: draw the text bar (only when standard error is a terminal).
    ConsoleView(std::FILE* in, std::FILE* out, std::FILE* err, bool drawBar);

    // FileListView: every added or replaced line is printed alone, at once.
    void AddLine(const std::string& text) override;
    void ReplaceLastLine(const std::string& text) override;
    void ScrollToEnd() override {}
    void Clear() override {}

    // ProgressBarView: a text bar redrawn in place.
    void SetRange(int minimum, int maximum) override;
    int SetPos(int position) override;
    int SetStep(int step) override;
    int StepIt() override;
    void Hide() override;
    void SetBusy(bool) override {}

    FileListView& FileList() override { return *this; }
    ProgressBarView& Bar() override { return *this; }
    void ShowDestination(const std::string& text) override;
    void ShowStatus(const std::string&) override {}
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

  private:
    std::optional<std::string> ReadLine();
    void DrawBar();
    void EraseBar();

    std::FILE* in_;
    std::FILE* out_;
    std::FILE* err_;
    bool drawBar_;
    int rangeMin_ = 0;
    int rangeMax_ = 100;
    int position_ = 0;
    int step_ = 1;
    bool barHidden_ = false;
    int drawnPercent_ = -1;
    int timerPeriodMs_ = 0;
    bool closed_ = false;
};

// Runs the dialog modally on the console: initialisation, then a tick at
// each timer period or sooner news, until the dialog closes or its timer
// stops.
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

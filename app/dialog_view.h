#pragma once
// What the transfer dialog's run sequence shows and asks. The Qt dialog, the
// console front-end and the tests' fakes each implement these, so the run
// sequence is written once.

#include <optional>
#include <string>

namespace app {

// The list with one line per file (and the run's status lines).
class FileListView {
  public:
    virtual ~FileListView() = default;
    virtual void AddLine(const std::string& text) = 0;
    // Replaces the last line; on an empty list it appends.
    virtual void ReplaceLastLine(const std::string& text) = 0;
    // Makes the last line the top visible line, as far as the list scrolls.
    virtual void ScrollToEnd() = 0;
    virtual void Clear() = 0;
};

// The percentage bar of the current file.
class ProgressBarView {
  public:
    virtual ~ProgressBarView() = default;
    virtual void SetRange(int minimum, int maximum) = 0;
    // Returns the previous position, or -1 when the bar cannot take it yet.
    virtual int SetPos(int position) = 0;
    // Returns the previous step.
    virtual int SetStep(int step) = 0;
    // Adds the step to the position; returns the previous position.
    virtual int StepIt() = 0;
    virtual void Hide() = 0;
};

class DialogView {
  public:
    virtual ~DialogView() = default;

    virtual FileListView& FileList() = 0;
    virtual ProgressBarView& Bar() = 0;

    // Shows the (already shortened) destination folder.
    virtual void ShowDestination(const std::string& text) = 0;
    // A message box owned by the dialog, caption "Trevasto", an OK button.
    virtual void ShowMessage(const std::string& text) = 0;
    // The replace question: OK and Cancel with the question icon; true for OK.
    virtual bool AskReplace(const std::string& text) = 0;
    // The folder chooser titled "Destination Folder": the chosen folder, or
    // nothing when the user cancelled or the path could not be read.
    virtual std::optional<std::string> ChooseFolder() = 0;

    // The dialog's periodic timer; each period ends in a call of the run
    // sequence's OnTimer.
    virtual void StartTimer(int periodMs) = 0;
    virtual void StopTimer() = 0;

    // Enables the Close button and gives it the focus.
    virtual void EnableClose() = 0;
    // Ends the dialog's modal run (the program then ends).
    virtual void CloseDialog() = 0;
};

}  // namespace app

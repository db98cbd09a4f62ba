#pragma once
// What the transfer dialog's run sequence shows and asks. The Qt dialog, the
// console front-end and the tests' fakes each implement these, so the run
// sequence is written once.

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

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
    // A bar that shows activity without a position (while the key is
    // checked, or the service packs a file); a position shows again after.
    virtual void SetBusy(bool busy) = 0;
};

// What a run did, for its end.
struct RunSummary {
    bool complete = false;  // every file arrived or was kept; the service was told
    bool stopped = false;   // the person stopped the run
    int filesComplete = 0;
    int filesSkipped = 0;  // kept, in use, refused names, over the key's limit
    int filesFailed = 0;
    std::int64_t bytes = 0;  // received
    std::chrono::milliseconds elapsed{0};
    std::string folder;  // the destination
};

class DialogView {
  public:
    virtual ~DialogView() = default;

    virtual FileListView& FileList() = 0;
    virtual ProgressBarView& Bar() = 0;

    // Shows the (already shortened) destination folder, or what happens
    // before there is one.
    virtual void ShowDestination(const std::string& text) = 0;
    // The line below the bar: the file's and the run's figures, or what the
    // last failure was and when the next attempt starts (empty: none).
    virtual void ShowStatus(const std::string& text) = 0;
    // A message box owned by the dialog, caption "Trevasto", an OK button.
    virtual void ShowMessage(const std::string& text) = 0;
    // Why the run cannot go on, in words (a message box with a warning; on
    // a console, standard error).
    virtual void ShowFailure(const std::string& text) = 0;
    // The replace question: OK and Cancel with the question icon, the files
    // that exist as its details (names below the destination); true for OK.
    virtual bool AskReplace(const std::string& text, const std::vector<std::string>& existing) = 0;
    // Whether to stop a run under way: Stop and Continue; true for Stop.
    virtual bool AskStop(const std::string& text) = 0;
    // The folder chooser titled "Destination Folder", opening in
    // `startFolder`: the chosen folder, or nothing when the user cancelled or
    // the path could not be read.
    virtual std::optional<std::string> ChooseFolder(const std::string& startFolder) = 0;
    // The run is over: says how it went (the title, the folder to open, a
    // notification when the window is not active; a console's summary).
    virtual void ShowEnd(const RunSummary& summary) = 0;

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

#pragma once
// The transfer dialog as a Win32 dialog (resource IDD_TRANSFER): the
// program's only window on Windows. It shows the destination, the list of
// file lines, the percentage bar and the status line, runs the periodic
// timer and opens the boxes; the run sequence drives it through DialogView.

#include <windows.h>

#include <atomic>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/dialog_view.h"
#include "app/win32/file_status_list.h"
#include "app/win32/gdi.h"
#include "app/win32/percent_progress_ctrl.h"

namespace app::win32 {

// Sent to the dialog's window (from any thread) when the worker has news.
inline constexpr UINT kNewsMessage = WM_APP + 1;

// What the dialog asks its host when the person acts on it.
struct DialogCallbacks {
    std::function<void()> initialise = nullptr;  // once, before the dialog shows
    std::function<void()> tick = nullptr;        // each timer period, and on news
    // Escape or the title bar's close button: true when the dialog may
    // close now.
    std::function<bool()> requestClose = nullptr;
};

class Win32TransferDialog : public DialogView {
  public:
    Win32TransferDialog(HINSTANCE instance, DialogCallbacks callbacks);
    ~Win32TransferDialog() override;
    Win32TransferDialog(const Win32TransferDialog&) = delete;
    Win32TransferDialog& operator=(const Win32TransferDialog&) = delete;

    // Runs the dialog modally until it is closed.
    void RunModal();
    // Asks for a tick on the dialog's thread; callable from any thread, and
    // one request stands for any number made before the tick runs.
    void PostNews();

    FileListView& FileList() override { return statusList_; }
    ProgressBarView& Bar() override { return progressBar_; }
    void ShowDestination(const std::string& text) override;
    void ShowStatus(const std::string& text) override;
    void ShowMessage(const std::string& text) override;
    void ShowFailure(const std::string& text) override;
    bool AskReplace(const std::string& text, const std::vector<std::string>& existing) override;
    bool AskStop(const std::string& text) override;
    std::optional<std::string> ChooseFolder(const std::string& startFolder) override;
    void ShowEnd(const RunSummary& summary) override;
    void StartTimer(int periodMs) override;
    void StopTimer() override;
    void EnableClose() override;
    // Ends the modal run. Called while the dialog initialises, it ends it
    // before it is ever shown.
    void CloseDialog() override;

    HWND Window() const { return window_.load(); }

  private:
    static INT_PTR CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR Handle(UINT message, WPARAM wParam, LPARAM lParam);
    void OnInitDialog(HWND window);
    void OnCommand(int id);

    HINSTANCE instance_;
    DialogCallbacks callbacks_;
    std::atomic<HWND> window_{nullptr};
    std::atomic<bool> newsPending_{false};
    bool timerRunning_ = false;
    bool ended_ = false;
    HICON icon_ = nullptr;  // a shared resource icon: never destroyed
    OwnedFont dialogFont_;
    FileStatusList statusList_;
    PercentProgressCtrl progressBar_;
    std::string endFolder_;
};

// The text of the replace question with the files that exist below it, at
// most `limit` names and a count of the rest.
std::string ReplaceQuestionText(const std::string& text, const std::vector<std::string>& existing,
                                std::size_t limit);

}  // namespace app::win32

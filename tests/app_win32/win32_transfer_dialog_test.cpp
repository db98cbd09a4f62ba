// Tests the Win32 transfer dialog from its resource template: what the run
// sequence's calls show in its controls, that a dialog closed while it
// initialises never shows, and that the worker's news reaches it as a tick
// on its own thread.

#include "app/win32/win32_transfer_dialog.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "app/win32/resource.h"
#include "app/win32/text.h"

namespace {

using app::win32::DialogCallbacks;
using app::win32::Win32TransferDialog;

std::string ItemText(HWND dialog, int id) {
    wchar_t text[256] = {};
    ::GetDlgItemTextW(dialog, id, text, 256);
    return app::win32::Narrow(text);
}

std::string Title(HWND dialog) {
    wchar_t text[256] = {};
    ::GetWindowTextW(dialog, text, 256);
    return app::win32::Narrow(text);
}

bool HaveDesktop() {
    const HWND probe = ::CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                                         nullptr, nullptr);
    if (probe == nullptr) {
        return false;
    }
    ::DestroyWindow(probe);
    return true;
}

class DialogTest : public testing::Test {
  protected:
    void SetUp() override {
        if (!HaveDesktop()) {
            // scripts/check-win32-dialog runs these on a display.
            GTEST_SKIP() << "no desktop to make windows on (Wine without a display)";
        }
    }
};

TEST_F(DialogTest, TheRunSequencesCallsShowInTheControls) {
    struct Seen {
        std::string destination, status, endStatus, title, before;
        bool closeEnabled = false, closeEnabledBefore = true, openFolderBefore = true;
        bool openFolder = false;
    } seen;
    app::RunSummary end;
    end.complete = true;
    end.filesComplete = 3;
    end.filesSkipped = 1;
    end.bytes = 8'700'000;
    end.elapsed = std::chrono::seconds(14);
    end.folder = "C:\\Users\\ann";
    Win32TransferDialog* dialog = nullptr;
    Win32TransferDialog window(
        ::GetModuleHandleW(nullptr), DialogCallbacks{.initialise = [&] {
            const HWND w = dialog->Window();
            seen.before = Title(w);
            seen.closeEnabledBefore = ::IsWindowEnabled(::GetDlgItem(w, IDOK)) != FALSE;
            seen.openFolderBefore = ::IsWindowVisible(::GetDlgItem(w, IDC_OPEN_FOLDER)) != FALSE;
            dialog->ShowDestination("C:\\Users\\ann\\Downloads");
            dialog->ShowStatus("5.0 of 8.0 MB, 3.0 MB/s");
            dialog->FileList().AddLine("a.pdf  1,234K  (1 of 2)");
            dialog->EnableClose();
            seen.status = ItemText(w, IDC_STATUS);
            dialog->ShowEnd(end);
            seen.destination = ItemText(w, IDC_DESTINATION);
            seen.endStatus = ItemText(w, IDC_STATUS);
            seen.title = Title(w);
            seen.closeEnabled = ::IsWindowEnabled(::GetDlgItem(w, IDOK)) != FALSE;
            // The dialog is not shown yet: the button is, within it.
            seen.openFolder =
                (::GetWindowLongW(::GetDlgItem(w, IDC_OPEN_FOLDER), GWL_STYLE) & WS_VISIBLE) != 0;
            dialog->CloseDialog();
        }});
    dialog = &window;
    window.RunModal();
    EXPECT_EQ(seen.before, "Downloading File(s)");
    EXPECT_FALSE(seen.closeEnabledBefore);
    EXPECT_FALSE(seen.openFolderBefore);
    EXPECT_EQ(seen.destination, "C:\\Users\\ann\\Downloads");
    EXPECT_EQ(seen.status, "5.0 of 8.0 MB, 3.0 MB/s");
    EXPECT_EQ(seen.title, "Download Complete");
    EXPECT_EQ(seen.endStatus, "3 files arrived, 8.2 MB in 14 s. 1 skipped.");
    EXPECT_TRUE(seen.closeEnabled);
    EXPECT_TRUE(seen.openFolder);
}

// The windows of this thread that were asked to show.
std::vector<HWND> g_shown;

LRESULT CALLBACK RecordShows(int code, WPARAM wParam, LPARAM lParam) {
    const auto* call = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && call->message == WM_SHOWWINDOW && call->wParam != FALSE) {
        g_shown.push_back(call->hwnd);
    }
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

TEST_F(DialogTest, ClosedWhileItInitialisesItNeverShows) {
    for (const bool close : {false, true}) {
        SCOPED_TRACE(close ? "closed while it initialises" : "closed on its first tick");
        HWND made = nullptr;
        Win32TransferDialog* dialog = nullptr;
        Win32TransferDialog window(::GetModuleHandleW(nullptr),
                                   DialogCallbacks{.initialise =
                                                       [&] {
                                                           made = dialog->Window();
                                                           if (close) {
                                                               dialog->CloseDialog();
                                                           } else {
                                                               dialog->PostNews();
                                                           }
                                                       },
                                                   .tick = [&] { dialog->CloseDialog(); }});
        dialog = &window;
        g_shown.clear();
        const HHOOK hook =
            ::SetWindowsHookExW(WH_CALLWNDPROC, &RecordShows, nullptr, ::GetCurrentThreadId());
        window.RunModal();
        ::UnhookWindowsHookEx(hook);
        const bool shown = std::find(g_shown.begin(), g_shown.end(), made) != g_shown.end();
        EXPECT_EQ(shown, !close);
        EXPECT_EQ(window.Window(), nullptr);
    }
}

TEST_F(DialogTest, NewsFromAnotherThreadTicksTheDialogOnItsOwnThread) {
    const DWORD dialogThread = ::GetCurrentThreadId();
    DWORD tickThread = 0;
    int ticks = 0;
    std::thread worker;
    Win32TransferDialog* dialog = nullptr;
    Win32TransferDialog window(
        ::GetModuleHandleW(nullptr),
        DialogCallbacks{.initialise = [&] { worker = std::thread([&] { dialog->PostNews(); }); },
                        .tick =
                            [&] {
                                ++ticks;
                                tickThread = ::GetCurrentThreadId();
                                dialog->CloseDialog();
                            }});
    dialog = &window;
    window.RunModal();
    worker.join();
    EXPECT_EQ(ticks, 1);
    EXPECT_EQ(tickThread, dialogThread);
}

}  // namespace

#include "app/win32/win32_front_end.h"

#include <windows.h>

#include <commctrl.h>
#include <objbase.h>

#include "app/console/console_view.h"
#include "app/win32/text.h"
#include "app/win32/win32_transfer_dialog.h"

namespace app::win32 {

namespace {

// The shell's folder browser needs COM on the dialog's thread.
class ComScope {
  public:
    ComScope() : initialised_(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;
    ~ComScope() {
        if (initialised_) {
            ::CoUninitialize();
        }
    }

  private:
    bool initialised_;
};

// A program started from the browser gets a console of its own, which the
// dialog has no use for; one started from a console keeps it (and its
// output).
void LeaveOwnConsole() {
    DWORD processes[2];
    if (::GetConsoleWindow() != nullptr && ::GetConsoleProcessList(processes, 2) == 1) {
        ::FreeConsole();
    }
}

}  // namespace

void Win32LaunchHost::ShowMessage(const std::string& text) {
    ::MessageBoxW(nullptr, Wide(text).c_str(), L"Trevasto", MB_OK);
}

void Win32LaunchHost::RunDialog(const std::optional<std::string>& key) {
    TransferDialog* run = nullptr;
    Win32TransferDialog window(
        ::GetModuleHandleW(nullptr),
        DialogCallbacks{
            .initialise = [&run] { run->Initialise(); },
            .tick = [&run] { run->OnTimer(); },
            .requestClose = [&run] { return run->RequestStop(/*ask=*/true); },
        });
    TransferDialog dialog(window, frontEnd_.makeController, *frontEnd_.clock, frontEnd_.settings);
    run = &dialog;
    // News from the worker ticks the dialog at once, on its own thread,
    // instead of waiting for the next second of the timer.
    dialog.SetNewsHandler([&window] { window.PostNews(); });
    dialog.SetKey(key);
    window.RunModal();
    outcome_ =
        dialog.Outcome() == DialogOutcome::Running ? DialogOutcome::Closed : dialog.Outcome();
}

void ShowDeploymentFailure(const std::string& message) {
    LeaveOwnConsole();
    ::MessageBoxW(nullptr, Wide(DeploymentFailureText(message)).c_str(), L"Trevasto",
                  MB_OK | MB_ICONWARNING);
}

int RunWin32FrontEnd(const FrontEnd& frontEnd) {
    LeaveOwnConsole();
    const ComScope com;
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
    ::InitCommonControlsEx(&controls);
    Win32LaunchHost host(frontEnd);
    const LaunchResult launch = TransferApp::Launch(frontEnd.launchKey, host);
    return ConsoleExitStatus(launch, host.Outcome());
}

}  // namespace app::win32

#include "app/win32/win32_transfer_dialog.h"

#include <shellapi.h>

#include "app/status_text.h"
#include "app/win32/folder_browser.h"
#include "app/win32/resource.h"
#include "app/win32/text.h"

namespace app::win32 {

namespace {

constexpr UINT_PTR kTimerId = 1;
constexpr std::size_t kReplaceNamesShown = 10;
const wchar_t* const kCaption = L"Trevasto";

int Box(HWND owner, const std::string& text, UINT style) {
    return ::MessageBoxW(owner, Wide(text).c_str(), kCaption, style);
}

}  // namespace

std::string ReplaceQuestionText(const std::string& text, const std::vector<std::string>& existing,
                                std::size_t limit) {
    std::string out = text;
    if (existing.empty()) {
        return out;
    }
    out += "\r\n";
    for (std::size_t i = 0; i < existing.size() && i < limit; ++i) {
        out += "\r\n" + existing[i];
    }
    if (existing.size() > limit) {
        out += "\r\n... and " + std::to_string(existing.size() - limit) + " more";
    }
    return out;
}

Win32TransferDialog::Win32TransferDialog(HINSTANCE instance, DialogCallbacks callbacks)
    : instance_(instance), callbacks_(std::move(callbacks)) {}

Win32TransferDialog::~Win32TransferDialog() = default;

void Win32TransferDialog::RunModal() {
    ::DialogBoxParamW(instance_, MAKEINTRESOURCEW(IDD_TRANSFER), nullptr, &Procedure,
                      reinterpret_cast<LPARAM>(this));
    window_ = nullptr;
}

void Win32TransferDialog::PostNews() {
    const HWND window = window_.load();
    if (window != nullptr && !newsPending_.exchange(true)) {
        if (!::PostMessageW(window, kNewsMessage, 0, 0)) {
            newsPending_ = false;
        }
    }
}

INT_PTR CALLBACK Win32TransferDialog::Procedure(HWND window, UINT message, WPARAM wParam,
                                                LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        auto* dialog = reinterpret_cast<Win32TransferDialog*>(lParam);
        ::SetWindowLongPtrW(window, DWLP_USER, lParam);
        dialog->OnInitDialog(window);
        return TRUE;
    }
    auto* dialog = reinterpret_cast<Win32TransferDialog*>(::GetWindowLongPtrW(window, DWLP_USER));
    return dialog == nullptr ? FALSE : dialog->Handle(message, wParam, lParam);
}

void Win32TransferDialog::OnInitDialog(HWND window) {
    window_ = window;
    icon_ = ::LoadIconW(instance_, MAKEINTRESOURCEW(IDI_TREVASTO));
    if (icon_ != nullptr) {
        ::SendMessageW(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_));
        ::SendMessageW(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon_));
    }
    // The destination's own font: a cell 14 pixels high.
    dialogFont_ = OwnedFont(::CreateFontW(14, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, ANSI_CHARSET,
                                          OUT_TT_PRECIS, CLIP_CHARACTER_PRECIS, PROOF_QUALITY,
                                          FF_SWISS | DEFAULT_PITCH, L"MS Sans Serif"));
    // Open Folder shows once a run has completed.
    ::ShowWindow(::GetDlgItem(window, IDC_OPEN_FOLDER), SW_HIDE);
    statusList_.Attach(::GetDlgItem(window, IDC_FILE_LIST));
    progressBar_.Attach(::GetDlgItem(window, IDC_PROGRESS));
    if (callbacks_.initialise) {
        callbacks_.initialise();
    }
    // Shown now rather than when the modal loop first runs out of messages:
    // the worker's news keeps it busy from the start, and the folder
    // chooser would otherwise open over a dialog that is not on screen yet.
    if (!ended_) {
        ::ShowWindow(window, SW_SHOW);
        ::UpdateWindow(window);
    }
}

INT_PTR Win32TransferDialog::Handle(UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
        case WM_TIMER:
            if (wParam == kTimerId && callbacks_.tick) {
                callbacks_.tick();
            }
            return TRUE;
        case kNewsMessage:
            newsPending_ = false;
            if (callbacks_.tick) {
                callbacks_.tick();
            }
            return TRUE;
        case WM_COMMAND:
            OnCommand(LOWORD(wParam));
            return TRUE;
        case WM_DESTROY:
            StopTimer();
            return FALSE;
        default:
            return FALSE;
    }
}

void Win32TransferDialog::OnCommand(int id) {
    switch (id) {
        case IDOK:
            // Return reaches here too while Close is still disabled.
            if (::IsWindowEnabled(::GetDlgItem(Window(), IDOK))) {
                CloseDialog();
            }
            break;
        case IDCANCEL:
            if (!callbacks_.requestClose || callbacks_.requestClose()) {
                CloseDialog();
            }
            break;
        case IDC_OPEN_FOLDER:
            if (!endFolder_.empty()) {
                ::ShellExecuteW(Window(), L"open", Wide(endFolder_).c_str(), nullptr, nullptr,
                                SW_SHOWNORMAL);
            }
            break;
        default:
            break;
    }
}

void Win32TransferDialog::ShowDestination(const std::string& text) {
    const HWND box = ::GetDlgItem(Window(), IDC_DESTINATION);
    if (dialogFont_) {
        ::SendMessageW(box, WM_SETFONT, reinterpret_cast<WPARAM>(dialogFont_.get()), TRUE);
    }
    ::SetWindowTextW(box, Wide(text).c_str());
}

void Win32TransferDialog::ShowStatus(const std::string& text) {
    ::SetDlgItemTextW(Window(), IDC_STATUS, Wide(text).c_str());
}

void Win32TransferDialog::ShowMessage(const std::string& text) {
    Box(Window(), text, MB_OK);
}

void Win32TransferDialog::ShowFailure(const std::string& text) {
    Box(Window(), text, MB_OK | MB_ICONWARNING);
}

bool Win32TransferDialog::AskReplace(const std::string& text,
                                     const std::vector<std::string>& existing) {
    return Box(Window(), ReplaceQuestionText(text, existing, kReplaceNamesShown),
               MB_OKCANCEL | MB_ICONQUESTION) == IDOK;
}

bool Win32TransferDialog::AskStop(const std::string& text) {
    // A message box has no Stop and Continue: Yes stops, No goes on.
    return Box(Window(), text, MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) == IDYES;
}

std::optional<std::string> Win32TransferDialog::ChooseFolder(const std::string& startFolder) {
    FolderBrowser browser(Window(), startFolder);
    if (browser.DoModal() != FolderBrowser::kChosen) {
        return std::nullopt;
    }
    return browser.ChosenPath();
}

void Win32TransferDialog::ShowEnd(const RunSummary& summary) {
    ::SetWindowTextW(Window(), Wide(EndTitleText(summary)).c_str());
    if (summary.stopped) {
        return;  // the window closes at once
    }
    ShowStatus(EndStatusText(summary));
    endFolder_ = summary.folder;
    if (!endFolder_.empty()) {
        ::ShowWindow(::GetDlgItem(Window(), IDC_OPEN_FOLDER), SW_SHOW);
    }
}

void Win32TransferDialog::StartTimer(int periodMs) {
    if (Window() != nullptr) {
        timerRunning_ = ::SetTimer(Window(), kTimerId, static_cast<UINT>(periodMs), nullptr) != 0;
    }
}

void Win32TransferDialog::StopTimer() {
    if (timerRunning_ && Window() != nullptr) {
        ::KillTimer(Window(), kTimerId);
    }
    timerRunning_ = false;
}

void Win32TransferDialog::EnableClose() {
    const HWND close = ::GetDlgItem(Window(), IDOK);
    ::EnableWindow(close, TRUE);
    ::SendMessageW(Window(), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(close), TRUE);
}

void Win32TransferDialog::CloseDialog() {
    StopTimer();
    ended_ = true;
    if (Window() != nullptr) {
        ::EndDialog(Window(), IDCANCEL);
    }
}

}  // namespace app::win32

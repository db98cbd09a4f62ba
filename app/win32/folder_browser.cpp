#include "app/win32/folder_browser.h"

#include <shlobj.h>

#include "app/win32/gdi.h"
#include "app/win32/text.h"

namespace app::win32 {

namespace {

constexpr std::size_t kStatusLimit = 35;
const wchar_t* const kTitle = L"Destination Folder";

// The file-system path of a shell item, or nothing for an item that has
// none (a printer, the network's root).
std::wstring PathOf(LPCITEMIDLIST item) {
    // The shell's buffer size for such paths; longer ones are not offered.
    std::wstring path(MAX_PATH, L'\0');
    if (item == nullptr || !::SHGetPathFromIDListW(item, path.data())) {
        return {};
    }
    path.resize(path.find(L'\0'));
    return path;
}

}  // namespace

FolderBrowser::FolderBrowser(HWND owner, std::string initialFolder)
    : owner_(owner), initialFolder_(std::move(initialFolder)), initialWide_(Wide(initialFolder_)) {}

std::wstring FolderBrowser::StatusText(const std::wstring& folder) {
    if (folder.size() <= kStatusLimit) {
        return folder;
    }
    return folder.substr(0, kStatusLimit) + L"...";
}

int FolderBrowser::DoModal() {
    chosenPath_ = initialFolder_;
    std::wstring displayName(MAX_PATH, L'\0');
    BROWSEINFOW info{};
    info.hwndOwner = owner_;
    info.pidlRoot = nullptr;  // the whole shell name space
    info.pszDisplayName = displayName.data();
    info.lpszTitle = kTitle;
    // The status line needs the browser of the older style.
    info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_STATUSTEXT;
    info.lpfn = &Callback;
    info.lParam = reinterpret_cast<LPARAM>(this);
    const TaskMemory<ITEMIDLIST> item(::SHBrowseForFolderW(&info));
    if (!item) {
        return kNotChosen;
    }
    const std::wstring path = PathOf(item.get());
    if (path.empty()) {
        return kNotChosen;
    }
    chosenPath_ = Narrow(path);
    return kChosen;
}

int CALLBACK FolderBrowser::Callback(HWND window, UINT message, LPARAM parameter, LPARAM self) {
    auto* browser = reinterpret_cast<FolderBrowser*>(self);
    if (message == BFFM_INITIALIZED) {
        browser->OnInitialised(window);
    } else if (message == BFFM_SELCHANGED) {
        browser->OnSelectionChanged(window, parameter);
    }
    return 0;
}

void FolderBrowser::OnInitialised(HWND window) {
    // The title names the window as well as heading the tree.
    ::SetWindowTextW(window, kTitle);
    if (initialWide_.empty()) {
        return;
    }
    ::SendMessageW(window, BFFM_SETSELECTIONW, TRUE,
                   reinterpret_cast<LPARAM>(initialWide_.c_str()));
    const std::wstring status = StatusText(initialWide_);
    ::SendMessageW(window, BFFM_SETSTATUSTEXTW, 0, reinterpret_cast<LPARAM>(status.c_str()));
}

void FolderBrowser::OnSelectionChanged(HWND window, LPARAM item) {
    const std::wstring status = StatusText(PathOf(reinterpret_cast<LPCITEMIDLIST>(item)));
    ::SendMessageW(window, BFFM_SETSTATUSTEXTW, 0, reinterpret_cast<LPARAM>(status.c_str()));
}

}  // namespace app::win32

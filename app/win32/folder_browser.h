#pragma once
// The folder chooser of the Win32 dialog: the shell's folder browser,
// titled "Destination Folder", with a status line that shows the folder
// that choosing would take.

#include <windows.h>

#include <string>

namespace app::win32 {

class FolderBrowser {
  public:
    static constexpr int kChosen = 1;
    static constexpr int kNotChosen = 2;

    FolderBrowser(HWND owner, std::string initialFolder);

    // kChosen when the user chose a folder whose file-system path could be
    // read (then ChosenPath), otherwise kNotChosen.
    int DoModal();
    const std::string& ChosenPath() const { return chosenPath_; }

    // The status line's text: at most 35 characters of the folder, then
    // "..." when it is longer.
    static std::wstring StatusText(const std::wstring& folder);

  private:
    static int CALLBACK Callback(HWND window, UINT message, LPARAM parameter, LPARAM self);
    void OnInitialised(HWND window);
    void OnSelectionChanged(HWND window, LPARAM item);

    HWND owner_;
    std::string initialFolder_;
    std::wstring initialWide_;
    std::string chosenPath_;
};

}  // namespace app::win32

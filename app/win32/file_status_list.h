#pragma once
// The file list of the Win32 dialog: the dialog's list box, one line per
// file and the run's status lines, drawn by the list box itself.

#include <windows.h>

#include <string>

#include "app/dialog_view.h"

namespace app::win32 {

class FileStatusList : public FileListView {
  public:
    void Attach(HWND listBox) { window_ = listBox; }

    void AddLine(const std::string& text) override;
    void ReplaceLastLine(const std::string& text) override;
    void ScrollToEnd() override;
    void Clear() override;

    int Count() const;
    std::string Line(int index) const;

  private:
    HWND window_ = nullptr;
};

}  // namespace app::win32

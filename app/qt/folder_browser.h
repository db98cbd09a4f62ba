#pragma once
// The chooser of the destination folder: a folder-only file dialog titled
// "Destination Folder", with a status line under it that shows the folder
// that choosing would take.

#include <QString>
#include <string>

class QFileDialog;
class QLabel;

namespace app::qt {

class FolderBrowser {
  public:
    // What DoModal returns.
    static constexpr int kChosen = 1;
    static constexpr int kNotChosen = 2;

    // The chooser starts in `initialFolder`, or where Qt's file dialog starts
    // by default when it is empty.
    explicit FolderBrowser(std::string initialFolder = {});
    FolderBrowser(const FolderBrowser&) = delete;
    FolderBrowser& operator=(const FolderBrowser&) = delete;
    virtual ~FolderBrowser() = default;

    // Runs the chooser modally, without an owner window. kChosen when the
    // user chose a folder whose path could be read (ChosenPath() then holds
    // it), kNotChosen otherwise.
    virtual int DoModal();
    const std::string& ChosenPath() const { return chosenPath_; }

    // The status line for a folder: longer than 35 characters, its first 35
    // followed by "...".
    static QString StatusText(const QString& folder);

  private:
    void ShowStatus(QLabel& status, const QString& folder) const;

    std::string initialFolder_;
    std::string chosenPath_;
};

}  // namespace app::qt

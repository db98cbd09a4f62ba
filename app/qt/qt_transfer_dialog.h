#pragma once
// The transfer dialog in Qt Widgets: the program's only window. It shows the
// destination, the list of file lines, the percentage bar and the status
// line below it, runs the periodic timer and opens the boxes; the run
// sequence drives it through DialogView. It can be resized: the list takes
// the room.

#include <QDialog>
#include <QFont>
#include <QIcon>
#include <QTimer>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/dialog_view.h"
#include "app/qt/prompter.h"

class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;
class QResizeEvent;

namespace app::qt {

class Desktop;
class FileStatusList;
class PercentProgressCtrl;

// The dialog's font for its layout and controls (8 points), and the font of
// the destination box (a cell 14 pixels high). Both ask for "MS Sans Serif"
// with a sans-serif hint, so a system without it substitutes a similar
// face. A desktop font larger than 8 points gives both its size instead,
// so that people who chose larger text get it here too.
QFont LayoutFont(const QFont& desktop);
QFont DestinationFont(const QFont& desktop);

// The window title at the end of a run.
QString EndTitle(const RunSummary& summary);
// The notification at the end of a run: its summary and its body ("3 files
// arrived in /home/user/Downloads.").
QString NotificationSummary(const RunSummary& summary);
QString NotificationBody(const RunSummary& summary);
// The status line at the end: "5 files arrived, 57 MB in 12 s. 1 skipped."
QString EndStatus(const RunSummary& summary);

// The application icon, drawn from its SVG at the usual icon sizes.
QIcon ApplicationIcon();

class QtTransferDialog : public QDialog, public DialogView {
    Q_OBJECT

  public:
    // Without a prompter the dialog uses the real boxes (BoxPrompter).
    explicit QtTransferDialog(std::unique_ptr<Prompter> prompter = nullptr,
                              QWidget* parent = nullptr);
    ~QtTransferDialog() override;

    // Called on each period of the timer started by StartTimer.
    void SetTimerCallback(std::function<void()> callback);
    // Called when the person asks to close the window (Escape, the title
    // bar's close button); the window closes only when it returns true.
    // Without a handler the window always closes.
    void SetCloseRequestHandler(std::function<bool()> handler);
    // Where folders are opened and notifications go (the real desktop
    // unless set).
    void SetDesktop(std::shared_ptr<Desktop> desktop);

    FileListView& FileList() override;
    ProgressBarView& Bar() override;
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
    // Ends the modal run with Rejected. Called before exec(), it makes
    // exec() return at once without showing the dialog.
    void CloseDialog() override;

    int exec() override;
    // Every end of the run (Close, the title bar, CloseDialog) stops the
    // timer: no tick comes after the run has ended.
    void done(int result) override;
    // Escape and the title bar's close button come here: they close the
    // window only when the close-request handler agrees.
    void reject() override;

    FileStatusList& StatusList() { return *statusList_; }
    PercentProgressCtrl& ProgressBar() { return *progressBar_; }
    QPushButton& CloseButton() { return *closeButton_; }
    QLineEdit& DestinationBox() { return *destination_; }
    QLabel& DestinationCaption() { return *caption_; }
    QLabel& StatusLine() { return *statusLine_; }
    QPushButton& OpenFolderButton() { return *openFolderButton_; }
    // The bordered frame that holds the bar.
    QFrame& ProgressFrame() { return *barFrame_; }
    const QIcon& Icon() const { return icon_; }
    bool TimerRunning() const { return timer_.isActive(); }

  protected:
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    // Places the controls for the dialog's size: the layout in dialog units
    // at the smallest size; more room widens everything and lengthens the
    // list.
    void LayOut();
    void OpenFolder();

    std::unique_ptr<Prompter> prompter_;
    std::shared_ptr<Desktop> desktop_;
    QIcon icon_;
    QFont dialogFont_;
    QTimer timer_;
    std::function<void()> timerCallback_;
    std::function<bool()> closeRequestHandler_;
    bool closeRequested_ = false;
    std::string endFolder_;

    QPushButton* closeButton_ = nullptr;
    QLabel* caption_ = nullptr;
    QLineEdit* destination_ = nullptr;
    FileStatusList* statusList_ = nullptr;
    QFrame* barFrame_ = nullptr;
    PercentProgressCtrl* progressBar_ = nullptr;
    QLabel* statusLine_ = nullptr;
    QPushButton* openFolderButton_ = nullptr;
};

}  // namespace app::qt

#pragma once
// The boxes that the transfer dialog opens over itself and waits on. The
// dialog asks through this seam so that tests can answer in place of a user
// and nothing ever waits for a click.

#include <QString>
#include <memory>
#include <optional>
#include <string>

class QMessageBox;
class QWidget;

namespace app::qt {

class Prompter {
  public:
    virtual ~Prompter() = default;
    // A box owned by `owner` with the caption "Trevasto", the text, an OK
    // button and no icon.
    virtual void Message(QWidget* owner, const QString& text) = 0;
    // OK and Cancel with the question icon; true for OK. Non-empty
    // `details` show as the box's details.
    virtual bool AskOkCancel(QWidget* owner, const QString& text,
                             const QString& details = QString()) = 0;
    // Stop and Continue; true for Stop.
    virtual bool AskStop(QWidget* owner, const QString& text) = 0;
    // A box with the warning icon and an OK button.
    virtual void Warning(QWidget* owner, const QString& text) = 0;
    // The folder chooser, opening in `startFolder`: the chosen folder, or
    // nothing when the user cancelled or the path could not be read.
    virtual std::optional<std::string> ChooseFolder(const std::string& startFolder = {}) = 0;
};

// The real boxes: QMessageBox and the FolderBrowser, run modally.
class BoxPrompter : public Prompter {
  public:
    void Message(QWidget* owner, const QString& text) override;
    bool AskOkCancel(QWidget* owner, const QString& text, const QString& details) override;
    bool AskStop(QWidget* owner, const QString& text) override;
    void Warning(QWidget* owner, const QString& text) override;
    std::optional<std::string> ChooseFolder(const std::string& startFolder) override;
};

// A box's text from the program's own text: "\r\n" becomes a line break.
QString BoxText(const std::string& text);

}  // namespace app::qt

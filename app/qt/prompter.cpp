#include "app/qt/prompter.h"

#include <QAbstractButton>
#include <QMessageBox>
#include <QPushButton>

#include "app/qt/folder_browser.h"

namespace app::qt {

namespace {

const QString kCaption = QStringLiteral("Trevasto");

// Plain text, so that texts are shown exactly, blanks at either end included.
void Prepare(QMessageBox& box, const QString& text, QMessageBox::Icon icon,
             QMessageBox::StandardButtons buttons) {
    box.setWindowTitle(kCaption);
    box.setTextFormat(Qt::PlainText);
    box.setText(text);
    box.setIcon(icon);
    box.setStandardButtons(buttons);
    box.setDefaultButton(QMessageBox::Ok);
}

}  // namespace

QString BoxText(const std::string& text) {
    return QString::fromStdString(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

void BoxPrompter::Message(QWidget* owner, const QString& text) {
    QMessageBox box(owner);
    Prepare(box, text, QMessageBox::NoIcon, QMessageBox::Ok);
    box.exec();
}

bool BoxPrompter::AskOkCancel(QWidget* owner, const QString& text, const QString& details) {
    QMessageBox box(owner);
    Prepare(box, text, QMessageBox::Question, QMessageBox::Ok | QMessageBox::Cancel);
    if (!details.isEmpty()) {
        box.setDetailedText(details);
    }
    return box.exec() == QMessageBox::Ok;
}

bool BoxPrompter::AskStop(QWidget* owner, const QString& text) {
    QMessageBox box(owner);
    Prepare(box, text, QMessageBox::Question, QMessageBox::NoButton);
    QAbstractButton* stop = box.addButton(QStringLiteral("Stop"), QMessageBox::DestructiveRole);
    QAbstractButton* keepGoing = box.addButton(QStringLiteral("Continue"), QMessageBox::RejectRole);
    box.setDefaultButton(static_cast<QPushButton*>(keepGoing));
    box.setEscapeButton(keepGoing);
    box.exec();
    return box.clickedButton() == stop;
}

void BoxPrompter::Warning(QWidget* owner, const QString& text) {
    QMessageBox box(owner);
    Prepare(box, text, QMessageBox::Warning, QMessageBox::Ok);
    box.exec();
}

std::optional<std::string> BoxPrompter::ChooseFolder(const std::string& startFolder) {
    FolderBrowser browser(startFolder);
    if (browser.DoModal() != FolderBrowser::kChosen) {
        return std::nullopt;
    }
    return browser.ChosenPath();
}

}  // namespace app::qt

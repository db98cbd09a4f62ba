#include "app/qt/prompter.h"

#include <QMessageBox>

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

bool BoxPrompter::AskOkCancel(QWidget* owner, const QString& text) {
    QMessageBox box(owner);
    Prepare(box, text, QMessageBox::Question, QMessageBox::Ok | QMessageBox::Cancel);
    return box.exec() == QMessageBox::Ok;
}

std::optional<std::string> BoxPrompter::ChooseFolder() {
    FolderBrowser browser;
    if (browser.DoModal() != FolderBrowser::kChosen) {
        return std::nullopt;
    }
    return browser.ChosenPath();
}

}  // namespace app::qt

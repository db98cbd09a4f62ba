#include "app/qt/folder_browser.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QStringList>

namespace app::qt {

namespace {

constexpr qsizetype kStatusLimit = 35;

}  // namespace

FolderBrowser::FolderBrowser(std::string initialFolder)
    : initialFolder_(std::move(initialFolder)) {}

QString FolderBrowser::StatusText(const QString& folder) {
    if (folder.size() <= kStatusLimit) {
        return folder;
    }
    return folder.left(kStatusLimit) + QStringLiteral("...");
}

void FolderBrowser::ShowStatus(QLabel& status, const QString& folder) const {
    status.setText(StatusText(folder));
}

int FolderBrowser::DoModal() {
    chosenPath_ = initialFolder_;

    QFileDialog chooser(nullptr, QStringLiteral("Destination Folder"));
    // Qt's own dialog, so that the status line can be added to it.
    chooser.setOption(QFileDialog::DontUseNativeDialog);
    chooser.setOption(QFileDialog::ShowDirsOnly);
    chooser.setFileMode(QFileDialog::Directory);
    chooser.setAcceptMode(QFileDialog::AcceptOpen);
    if (!initialFolder_.empty()) {
        chooser.setDirectory(QString::fromStdString(initialFolder_));
    }

    auto* status = new QLabel(&chooser);
    status->setObjectName(QStringLiteral("folderStatus"));
    status->setTextFormat(Qt::PlainText);
    if (auto* grid = qobject_cast<QGridLayout*>(chooser.layout())) {
        grid->addWidget(status, grid->rowCount(), 0, 1, grid->columnCount());
    }

    // The folder that choosing would take: the highlighted one, or the one
    // shown when nothing is highlighted.
    ShowStatus(*status, chooser.directory().absolutePath());
    QObject::connect(&chooser, &QFileDialog::directoryEntered, status,
                     [this, status](const QString& folder) { ShowStatus(*status, folder); });
    QObject::connect(&chooser, &QFileDialog::currentChanged, status,
                     [this, status, &chooser](const QString& path) {
                         ShowStatus(*status,
                                    path.isEmpty() ? chooser.directory().absolutePath() : path);
                     });

    if (chooser.exec() != QDialog::Accepted) {
        return kNotChosen;
    }
    const QStringList chosen = chooser.selectedFiles();
    if (chosen.isEmpty() || chosen.first().isEmpty() || !QFileInfo(chosen.first()).isDir()) {
        return kNotChosen;
    }
    chosenPath_ = QDir::cleanPath(chosen.first()).toStdString();
    return kChosen;
}

}  // namespace app::qt

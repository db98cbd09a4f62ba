#include "app/qt/file_status_list.h"

#include <QListWidgetItem>

namespace app::qt {

FileStatusList::FileStatusList(QWidget* parent) : QListWidget(parent) {
    setSelectionMode(QAbstractItemView::NoSelection);
    setSortingEnabled(false);
    // No horizontal extent: long lines are cut, neither elided nor scrolled to.
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setTextElideMode(Qt::ElideNone);
    setWordWrap(false);
    setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    // All lines have the font's height; this also spares a layout pass per
    // added line.
    setUniformItemSizes(true);
}

void FileStatusList::AddLine(const std::string& text) {
    addItem(QString::fromStdString(text));
}

void FileStatusList::ReplaceLastLine(const std::string& text) {
    const int last = count() - 1;
    if (last < 0) {
        AddLine(text);
        return;
    }
    delete takeItem(last);
    insertItem(last, QString::fromStdString(text));
}

void FileStatusList::ScrollToEnd() {
    const int last = count() - 1;
    if (last < 0) {
        return;
    }
    // Scrolling per line, the list stops where its last page is full, which
    // is "as far as the list scrolls".
    scrollToItem(item(last), QAbstractItemView::PositionAtTop);
}

void FileStatusList::Clear() {
    clear();
}

std::string FileStatusList::Line(int index) const {
    const QListWidgetItem* line = item(index);
    return line == nullptr ? std::string() : line->text().toStdString();
}

int FileStatusList::TopLine() const {
    const QModelIndex top = indexAt(viewport()->rect().topLeft());
    return top.isValid() ? top.row() : -1;
}

}  // namespace app::qt

#include "app/qt/file_status_list.h"

#include <QFontMetrics>
#include <QHelpEvent>
#include <QListWidgetItem>
#include <QRegularExpression>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QStyledItemDelegate>
#include <QToolTip>

namespace app::qt {

namespace {

// What follows the name on a file's line: "  86K  (1 of 10)",
// "  5,120K Compressed (2 of 10)", "   (3 of 10)", "  Compressing Please
// Wait... (4 of 10)".
const QRegularExpression& FileLineEnd() {
    static const QRegularExpression end(
        QStringLiteral(R"(  (?:[0-9,]+K )?(?:Compressed|Compressing Please Wait\.\.\.)? )"
                       R"(\(\d+ of \d+\)$)"));
    return end;
}

// The room for text in an item of `option`'s rectangle, as the style draws
// it (the text rectangle less its margins on both sides).
int TextRoom(const QStyleOptionViewItem& option, const QWidget* widget) {
    const QStyle* style = widget != nullptr ? widget->style() : nullptr;
    if (style == nullptr) {
        return option.rect.width();
    }
    const QRect text = style->subElementRect(QStyle::SE_ItemViewItemText, &option, widget);
    const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, widget) + 1;
    return text.width() - 2 * margin;
}

// Shortens each line for its item's width before the style draws it.
class ElidingDelegate : public QStyledItemDelegate {
  public:
    using QStyledItemDelegate::QStyledItemDelegate;

  protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
        QStyledItemDelegate::initStyleOption(option, index);
        option->text =
            ElideLine(option->text, option->fontMetrics, TextRoom(*option, option->widget));
    }
};

}  // namespace

QString ElideLine(const QString& line, const QFontMetrics& metrics, int width) {
    if (metrics.horizontalAdvance(line) <= width) {
        return line;
    }
    const QRegularExpressionMatch end = FileLineEnd().match(line);
    if (end.hasMatch() && end.capturedStart() > 0) {
        const QString tail = end.captured();
        const int room = width - metrics.horizontalAdvance(tail);
        // A name shortened to its ellipsis alone says nothing: keep at least
        // a few of its letters, else shorten the whole line.
        if (room >= metrics.horizontalAdvance(QStringLiteral("ab\u2026yz"))) {
            return metrics.elidedText(line.left(end.capturedStart()), Qt::ElideMiddle, room) + tail;
        }
    }
    return metrics.elidedText(line, Qt::ElideMiddle, width);
}

FileStatusList::FileStatusList(QWidget* parent) : QListWidget(parent) {
    setSelectionMode(QAbstractItemView::NoSelection);
    setSortingEnabled(false);
    // No horizontal extent: long lines are shortened, never scrolled to.
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setItemDelegate(new ElidingDelegate(this));
    setTextElideMode(Qt::ElideMiddle);
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

int FileStatusList::TextWidth(int index) const {
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    option.rect = visualRect(model()->index(index, 0));
    option.text = item(index)->text();
    option.features |= QStyleOptionViewItem::HasDisplay;
    return TextRoom(option, this);
}

QString FileStatusList::ShownLine(int index) const {
    const QListWidgetItem* line = item(index);
    if (line == nullptr) {
        return {};
    }
    return ElideLine(line->text(), fontMetrics(), TextWidth(index));
}

QString FileStatusList::ToolTipAt(const QPoint& point) const {
    const QModelIndex index = indexAt(point);
    if (!index.isValid()) {
        return {};
    }
    const QString whole = item(index.row())->text();
    return ShownLine(index.row()) == whole ? QString() : whole;
}

bool FileStatusList::viewportEvent(QEvent* event) {
    if (event->type() != QEvent::ToolTip) {
        return QListWidget::viewportEvent(event);
    }
    const auto* help = static_cast<QHelpEvent*>(event);
    const QString tip = ToolTipAt(help->pos());
    if (tip.isEmpty()) {
        QToolTip::hideText();
    } else {
        QToolTip::showText(help->globalPos(), tip, viewport(), visualRect(indexAt(help->pos())));
    }
    return true;
}

}  // namespace app::qt

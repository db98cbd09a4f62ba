#pragma once
// The transfer dialog's list of lines: one when a file starts, one when it
// ends, and the run's own status lines. Plain text, no selection, kept in the
// order added. A line wider than the list keeps its end (the size and the
// "(3 of 25)") and loses the middle of its name to an ellipsis; the whole
// line shows as the tooltip of a shortened one.

#include <QListWidget>
#include <QString>
#include <string>

#include "app/dialog_view.h"

class QFontMetrics;

namespace app::qt {

// The line as it fits `width` pixels: unchanged when it fits; else a file
// line's name shortened in its middle, the rest of the line kept whole;
// else (a line that is no file line, or whose end alone is too wide) the
// whole line shortened in its middle.
QString ElideLine(const QString& line, const QFontMetrics& metrics, int width);

class FileStatusList : public QListWidget, public FileListView {
    Q_OBJECT

  public:
    explicit FileStatusList(QWidget* parent = nullptr);

    void AddLine(const std::string& text) override;
    // Deletes the last line and inserts the text at its index; on an empty
    // list it appends.
    void ReplaceLastLine(const std::string& text) override;
    // Makes the last line the top visible line, as far as the list scrolls.
    void ScrollToEnd() override;
    void Clear() override;

    int LineCount() const { return count(); }
    std::string Line(int index) const;
    // The index of the line shown at the top of the list.
    int TopLine() const;
    // The line as it shows at the list's current width.
    QString ShownLine(int index) const;
    // The tooltip at a point of the list's viewport: the whole line when it
    // shows shortened, else nothing.
    QString ToolTipAt(const QPoint& point) const;

  protected:
    bool viewportEvent(QEvent* event) override;

  private:
    // The pixels a line's text has at the list's current width.
    int TextWidth(int index) const;
};

}  // namespace app::qt

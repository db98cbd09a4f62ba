#pragma once
// The transfer dialog's list of lines: one when a file starts, one when it
// ends, and the run's own status lines. Plain text, no selection, kept in the
// order added; a line wider than the list is cut off at its right edge.

#include <QListWidget>
#include <string>

#include "app/dialog_view.h"

namespace app::qt {

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
};

}  // namespace app::qt

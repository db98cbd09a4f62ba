// The file list: lines kept in order, replaced and scrolled as the dialog
// asks, and long lines shortened in the middle with the whole line as
// their tooltip.

#include "app/qt/file_status_list.h"

#include <gtest/gtest.h>
#include <QFont>
#include <QFontMetrics>
#include <QImage>
#include <QPixmap>
#include <QScrollBar>
#include <string>
#include <vector>

#include "qt_testing.h"

namespace app::qt {
namespace {

using app_qt_testing::Settle;

std::vector<std::string> Lines(const FileStatusList& list) {
    std::vector<std::string> lines;
    for (int i = 0; i < list.LineCount(); ++i) {
        lines.push_back(list.Line(i));
    }
    return lines;
}

TEST(FileStatusListTest, AddsLinesInOrderAndClears) {
    FileStatusList list;
    list.AddLine("b.txt  3K  (2 of 3)");
    list.AddLine("Complete");
    list.AddLine("a.txt  12K  (1 of 3)");
    EXPECT_EQ(Lines(list), (std::vector<std::string>{"b.txt  3K  (2 of 3)", "Complete",
                                                     "a.txt  12K  (1 of 3)"}));
    list.Clear();
    EXPECT_EQ(list.LineCount(), 0);
    list.AddLine("Processing Failed Retry Attempt 1");
    EXPECT_EQ(Lines(list), std::vector<std::string>{"Processing Failed Retry Attempt 1"});
}

TEST(FileStatusListTest, KeepsBlanksAndDuplicates) {
    FileStatusList list;
    list.AddLine(" Download Processing Complete ");
    list.AddLine("Complete");
    list.AddLine("Complete");
    EXPECT_EQ(Lines(list),
              (std::vector<std::string>{" Download Processing Complete ", "Complete", "Complete"}));
}

TEST(FileStatusListTest, ReplaceLastLineReplacesOnlyTheLast) {
    FileStatusList list;
    list.AddLine("one");
    list.AddLine("two");
    list.AddLine("c.doc   (3 of 3)");
    list.ReplaceLastLine("c.doc  1,234K  (3 of 3)");
    EXPECT_EQ(Lines(list), (std::vector<std::string>{"one", "two", "c.doc  1,234K  (3 of 3)"}));
}

TEST(FileStatusListTest, ReplaceLastLineOnAnEmptyListAppends) {
    FileStatusList list;
    list.ReplaceLastLine("first");
    EXPECT_EQ(Lines(list), std::vector<std::string>{"first"});
}

TEST(FileStatusListTest, ShowsNoSelection) {
    FileStatusList list;
    list.AddLine("one");
    list.AddLine("two");
    list.setCurrentRow(1);
    list.item(0)->setSelected(true);
    EXPECT_TRUE(list.selectedItems().isEmpty());
}

class ShownListTest : public ::testing::Test {
  protected:
    void SetUp() override {
        list_.resize(300, 80);
        list_.show();
        Settle();
    }

    // Lines fully visible at once.
    int PageLines() const {
        const int lineHeight = list_.visualItemRect(list_.item(0)).height();
        return list_.viewport()->height() / lineHeight;
    }

    FileStatusList list_;
};

TEST_F(ShownListTest, ScrollToEndPutsTheLastLineOnTopAsFarAsTheListScrolls) {
    for (int i = 1; i <= 20; ++i) {
        list_.AddLine("line " + std::to_string(i));
    }
    ASSERT_EQ(list_.TopLine(), 0);
    list_.ScrollToEnd();
    // The list stops scrolling once its last page is full.
    const int pageLines = PageLines();
    ASSERT_GT(pageLines, 1);
    ASSERT_LT(pageLines, 20);
    EXPECT_EQ(list_.TopLine(), 20 - pageLines);
    EXPECT_EQ(list_.verticalScrollBar()->value(), list_.verticalScrollBar()->maximum());

    // Lines added afterwards are below the visible page until the next call.
    list_.AddLine("line 21");
    list_.AddLine("line 22");
    Settle();
    EXPECT_EQ(list_.TopLine(), 20 - pageLines);
    list_.ScrollToEnd();
    EXPECT_EQ(list_.TopLine(), 22 - pageLines);
}

TEST_F(ShownListTest, ScrollToEndOnAShortListStaysAtTheTop) {
    list_.ScrollToEnd();
    list_.AddLine("only");
    list_.ScrollToEnd();
    EXPECT_EQ(list_.TopLine(), 0);
}

TEST_F(ShownListTest, LongLinesAreShortenedInTheMiddleNotScrolled) {
    const std::string name = "Quarterly report of the harbour authority, " + std::string(60, 'W') +
                             ", final version.pdf";
    list_.AddLine(name + "  1,234K Compressed (3 of 25)");
    list_.AddLine("short.txt  12K  (4 of 25)");
    Settle();
    EXPECT_FALSE(list_.horizontalScrollBar()->isVisible());
    // The line itself is kept whole; only its display is shortened.
    EXPECT_EQ(list_.Line(0), name + "  1,234K Compressed (3 of 25)");
    const QString shown = list_.ShownLine(0);
    EXPECT_TRUE(shown.startsWith(QStringLiteral("Quar"))) << shown;
    EXPECT_TRUE(shown.endsWith(QStringLiteral(".pdf  1,234K Compressed (3 of 25)"))) << shown;
    EXPECT_TRUE(shown.contains(QChar(0x2026))) << shown;
    EXPECT_LE(list_.fontMetrics().horizontalAdvance(shown), list_.viewport()->width());
    EXPECT_EQ(list_.ShownLine(1), QStringLiteral("short.txt  12K  (4 of 25)"));

    // The shortened line shows whole in its tooltip; a line that fits has none.
    const QPoint first = list_.visualItemRect(list_.item(0)).center();
    const QPoint second = list_.visualItemRect(list_.item(1)).center();
    EXPECT_EQ(list_.ToolTipAt(first).toStdString(), list_.Line(0));
    EXPECT_TRUE(list_.ToolTipAt(second).isEmpty());
    EXPECT_TRUE(list_.ToolTipAt(QPoint(5, list_.viewport()->height() - 2)).isEmpty())
        << "below the lines";

    // Wide enough, nothing is shortened.
    list_.resize(4000, 80);
    Settle();
    EXPECT_EQ(list_.ShownLine(0).toStdString(), list_.Line(0));
    EXPECT_TRUE(list_.ToolTipAt(list_.visualItemRect(list_.item(0)).center()).isEmpty());
}

TEST_F(ShownListTest, PaintsTheShortenedLine) {
    // Two lists that differ only after the middle of a long name paint the
    // same pixels: the middle is not shown.
    FileStatusList other;
    other.resize(list_.size());
    other.show();
    const std::string start(60, 'A');
    const std::string end = std::string(60, 'B') + "end.txt  5K  (1 of 2)";
    list_.AddLine(start + "x" + end);
    other.AddLine(start + "y" + end);
    Settle();
    EXPECT_EQ(list_.grab().toImage(), other.grab().toImage());
    other.Clear();
    other.AddLine(start + "x" + std::string(60, 'B') + "ent.txt  5K  (1 of 2)");
    Settle();
    EXPECT_NE(list_.grab().toImage(), other.grab().toImage()) << "the end of the name shows";
}

TEST(ElideLineTest, KeepsTheEndOfAFileLineAndShortensTheName) {
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(12);
    const QFontMetrics metrics(font);
    const QString ellipsis(QChar(0x2026));
    struct Case {
        const char* line;
        const char* keptEnd;  // the part after the name, kept whole
    };
    const Case fileLines[] = {
        {"a-very-long-name-of-a-spreadsheet-for-the-quarter.xlsx  86K  (1 of 10)",
         "  86K  (1 of 10)"},
        {"a-very-long-name-of-a-scanned-contract-document.tif  5,120K Compressed (2 of 10)",
         "  5,120K Compressed (2 of 10)"},
        {"a-very-long-name-of-a-document-that-waits-for-its-size.pdf   (3 of 10)", "   (3 of 10)"},
        {"a-very-long-name-of-a-text-that-the-service-packs-first.txt  Compressing Please "
         "Wait... (4 of 10)",
         "  Compressing Please Wait... (4 of 10)"},
    };
    for (const Case& c : fileLines) {
        SCOPED_TRACE(c.line);
        const QString line = QString::fromLatin1(c.line);
        const QString end = QString::fromLatin1(c.keptEnd);
        const int width = metrics.horizontalAdvance(end) + 120;
        const QString shown = ElideLine(line, metrics, width);
        EXPECT_TRUE(shown.endsWith(end)) << shown;
        EXPECT_TRUE(shown.startsWith(QStringLiteral("a-ve"))) << shown;
        EXPECT_TRUE(shown.contains(ellipsis)) << shown;
        EXPECT_LE(metrics.horizontalAdvance(shown), width);
        // A line that fits stays as it is.
        EXPECT_EQ(ElideLine(line, metrics, metrics.horizontalAdvance(line)), line);
    }
    // Lines without a file's end, and a file line whose end alone hardly
    // fits: the middle of the whole line goes.
    const QString status = QStringLiteral("Not Enough Disk Space. Download Failed.");
    const QString shortened = ElideLine(status, metrics, 100);
    EXPECT_TRUE(shortened.startsWith(QStringLiteral("Not"))) << shortened;
    EXPECT_TRUE(shortened.endsWith(QStringLiteral("ed."))) << shortened;
    EXPECT_LE(metrics.horizontalAdvance(shortened), 100);
    const QString cramped =
        ElideLine(QString::fromLatin1(fileLines[1].line), metrics,
                  metrics.horizontalAdvance(QString::fromLatin1(fileLines[1].keptEnd)));
    EXPECT_TRUE(cramped.startsWith(QStringLiteral("a-"))) << cramped;
    EXPECT_TRUE(cramped.endsWith(QStringLiteral("10)"))) << cramped;
    // A name that holds two blanks itself is still cut before the size.
    const QString blanks = QStringLiteral(
        "minutes  of  the  meeting  held  in  the  harbour  "
        "office.doc  12K  (5 of 10)");
    const QString blanksShown = ElideLine(blanks, metrics, 200);
    EXPECT_TRUE(blanksShown.endsWith(QStringLiteral(".doc  12K  (5 of 10)"))) << blanksShown;
    EXPECT_TRUE(blanksShown.startsWith(QStringLiteral("minutes"))) << blanksShown;
}

}  // namespace
}  // namespace app::qt

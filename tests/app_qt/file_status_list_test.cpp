#include "app/qt/file_status_list.h"

#include <gtest/gtest.h>
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

TEST_F(ShownListTest, LongLinesAreCutNotScrolled) {
    list_.AddLine(std::string(400, 'W'));
    Settle();
    EXPECT_FALSE(list_.horizontalScrollBar()->isVisible());
    EXPECT_EQ(list_.Line(0), std::string(400, 'W'));
    // Cut at the edge rather than shortened with an ellipsis.
    EXPECT_EQ(list_.textElideMode(), Qt::ElideNone);
}

}  // namespace
}  // namespace app::qt

// Tests the Win32 dialog's list of lines, the folder chooser's status text
// and the replace question's text.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/win32/file_status_list.h"
#include "app/win32/folder_browser.h"
#include "app/win32/gdi.h"
#include "app/win32/win32_transfer_dialog.h"

namespace {

using app::win32::FileStatusList;
using app::win32::FolderBrowser;
using app::win32::OwnedWindow;
using app::win32::ReplaceQuestionText;

class ListTest : public testing::Test {
  protected:
    void SetUp() override {
        box_ = OwnedWindow(::CreateWindowExW(0, L"LISTBOX", L"",
                                             WS_POPUP | LBS_NOSEL | LBS_NOINTEGRALHEIGHT, 0, 0, 200,
                                             60, nullptr, nullptr, nullptr, nullptr));
        if (!box_) {
            // scripts/check-win32-dialog runs these on a display.
            GTEST_SKIP() << "no desktop to make windows on (Wine without a display)";
        }
        list_.Attach(box_.get());
    }

    std::vector<std::string> Lines() const {
        std::vector<std::string> lines;
        for (int i = 0; i < list_.Count(); ++i) {
            lines.push_back(list_.Line(i));
        }
        return lines;
    }

    OwnedWindow box_;
    FileStatusList list_;
};

TEST_F(ListTest, LinesAreAddedReplacedAtTheEndAndCleared) {
    list_.ReplaceLastLine("first");  // on an empty list: appended
    list_.AddLine("a.pdf  1,234K  (3 of 10)");
    list_.AddLine("b.txt  (4 of 10)");
    list_.ReplaceLastLine("b.txt  12K  (4 of 10)");
    EXPECT_EQ(Lines(), (std::vector<std::string>{"first", "a.pdf  1,234K  (3 of 10)",
                                                 "b.txt  12K  (4 of 10)"}));
    // Names from the service are UTF-8: they come back as they went in.
    list_.AddLine(
        "Gr\xC3\xBC\xC3\x9F"
        "e.txt");
    EXPECT_EQ(list_.Line(3),
              "Gr\xC3\xBC\xC3\x9F"
              "e.txt");
    list_.Clear();
    EXPECT_EQ(list_.Count(), 0);
}

TEST_F(ListTest, ScrollingToTheEndShowsTheLastLinesWithoutASelection) {
    for (int i = 0; i < 30; ++i) {
        list_.AddLine("line " + std::to_string(i));
    }
    list_.ScrollToEnd();
    EXPECT_GT(::SendMessageW(box_.get(), LB_GETTOPINDEX, 0, 0), 20);
    EXPECT_EQ(::SendMessageW(box_.get(), LB_GETCURSEL, 0, 0), LB_ERR);
}

TEST(FolderBrowserTest, TheStatusTextIsCutAfterThirtyFiveCharacters) {
    const std::wstring exact(35, L'x');
    EXPECT_EQ(FolderBrowser::StatusText(L"C:\\Users"), L"C:\\Users");
    EXPECT_EQ(FolderBrowser::StatusText(exact), exact);
    EXPECT_EQ(FolderBrowser::StatusText(exact + L"yz"), exact + L"...");
    EXPECT_EQ(FolderBrowser::StatusText(L""), L"");
}

TEST(ReplaceQuestionTest, TheExistingFilesFollowTheQuestionUpToTheLimit) {
    struct Row {
        std::vector<std::string> existing;
        std::string text;
    };
    const Row rows[] = {
        {{}, " Replace existing files?"},
        {{"a.pdf"}, " Replace existing files?\r\n\r\na.pdf"},
        {{"a.pdf", "sub\\b.txt"}, " Replace existing files?\r\n\r\na.pdf\r\nsub\\b.txt"},
        {{"a", "b", "c", "d"}, " Replace existing files?\r\n\r\na\r\nb\r\nc\r\n... and 1 more"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(ReplaceQuestionText(" Replace existing files?", row.existing, 3), row.text);
    }
}

}  // namespace

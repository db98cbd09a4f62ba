#include "app/qt/folder_browser.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QToolButton>
#include <string>

#include "qt_testing.h"
#include "support/temp_dir.h"

namespace app::qt {
namespace {

using app_qt_testing::AnswerModal;

TEST(FolderBrowserStatusTest, CutsAfter35CharactersWithEllipsis) {
    const QString exact35 = QString(35, QLatin1Char('d'));
    EXPECT_EQ(FolderBrowser::StatusText(exact35), exact35);
    EXPECT_EQ(FolderBrowser::StatusText(exact35 + QStringLiteral("x")),
              exact35 + QStringLiteral("..."));
    EXPECT_EQ(FolderBrowser::StatusText(
                  QStringLiteral("/home/user/Documents/Projects/Quarterly/Reports")),
              QStringLiteral("/home/user/Documents/Projects/Quart..."));
    EXPECT_EQ(FolderBrowser::StatusText(QString()), QString());
}

// The chooser's parts, found the way a user sees them.
QLabel* StatusLine(QWidget& chooser) {
    return chooser.findChild<QLabel*>(QStringLiteral("folderStatus"));
}

class FolderBrowserTest : public ::testing::Test {
  protected:
    void SetUp() override {
        temp_.Write("in/keep", "x");
        temp_.Write("in/sub/keep", "x");
    }

    std::string Folder(const std::string& relative) const {
        return QDir::cleanPath(QString::fromStdString(temp_.Sub(relative))).toStdString();
    }

    testing_support::TempDir temp_;
};

TEST_F(FolderBrowserTest, ChoosingTakesTheFolderShown) {
    FolderBrowser browser(Folder("in/sub"));
    QString title;
    QString statusAtStart;
    QString statusAfterGoingUp;
    AnswerModal([&](QWidget& modal) {
        auto* chooser = qobject_cast<QFileDialog*>(&modal);
        ASSERT_NE(chooser, nullptr);
        title = chooser->windowTitle();
        ASSERT_NE(StatusLine(*chooser), nullptr);
        statusAtStart = StatusLine(*chooser)->text();
        // The user goes up one folder with the chooser's own button.
        auto* up = chooser->findChild<QToolButton*>(QStringLiteral("toParentButton"));
        ASSERT_NE(up, nullptr);
        up->click();
        statusAfterGoingUp = StatusLine(*chooser)->text();
        // QFileDialog::accept, the handler of its Choose button.
        static_cast<QDialog*>(chooser)->accept();
    });
    EXPECT_EQ(browser.DoModal(), FolderBrowser::kChosen);
    EXPECT_EQ(browser.ChosenPath(), Folder("in"));
    EXPECT_EQ(title, QStringLiteral("Destination Folder"));
    EXPECT_EQ(statusAtStart, FolderBrowser::StatusText(QString::fromStdString(Folder("in/sub"))));
    EXPECT_EQ(statusAfterGoingUp, FolderBrowser::StatusText(QString::fromStdString(Folder("in"))));
}

TEST_F(FolderBrowserTest, LongFoldersAreCutInTheStatusLine) {
    const std::string deep = "in/a-rather-long-folder-name/and-one-more-below-it";
    temp_.Write(deep + "/keep", "x");
    FolderBrowser browser(Folder(deep));
    QString status;
    AnswerModal([&](QWidget& modal) {
        status = StatusLine(modal) != nullptr ? StatusLine(modal)->text() : QString();
        modal.close();
    });
    browser.DoModal();
    const QString full = QString::fromStdString(Folder(deep));
    ASSERT_GT(full.size(), 35);
    EXPECT_EQ(status, full.left(35) + QStringLiteral("..."));
}

TEST_F(FolderBrowserTest, CancellingGivesTwoAndKeepsTheInitialFolder) {
    FolderBrowser browser(Folder("in"));
    AnswerModal([](QWidget& modal) { modal.close(); });
    EXPECT_EQ(browser.DoModal(), FolderBrowser::kNotChosen);
    EXPECT_EQ(browser.ChosenPath(), Folder("in"));
}

TEST_F(FolderBrowserTest, RunsWithoutOwnerAndShowsOnlyFolders) {
    FolderBrowser browser(Folder("in"));
    bool ownerless = false;
    bool foldersOnly = false;
    AnswerModal([&](QWidget& modal) {
        auto* chooser = qobject_cast<QFileDialog*>(&modal);
        ASSERT_NE(chooser, nullptr);
        ownerless = chooser->parentWidget() == nullptr;
        foldersOnly = chooser->fileMode() == QFileDialog::Directory &&
                      chooser->testOption(QFileDialog::ShowDirsOnly);
        chooser->reject();
    });
    browser.DoModal();
    EXPECT_TRUE(ownerless);
    EXPECT_TRUE(foldersOnly);
}

}  // namespace
}  // namespace app::qt

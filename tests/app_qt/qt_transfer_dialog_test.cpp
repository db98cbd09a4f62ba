#include "app/qt/qt_transfer_dialog.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QEventLoop>
#include <QFontMetrics>
#include <QFrame>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPixmap>
#include <QPushButton>
#include <QTimer>
#include <chrono>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/qt/dialog_units.h"
#include "app/qt/file_status_list.h"
#include "app/qt/percent_progress_ctrl.h"
#include "qt_testing.h"

namespace app::qt {
namespace {

using app_qt_testing::AnswerModal;
using app_qt_testing::Settle;

// Answers as scripted and records what was asked.
class ScriptedPrompter : public Prompter {
  public:
    struct Asked {
        std::string kind;
        QWidget* owner;
        QString text;
    };

    void Message(QWidget* owner, const QString& text) override {
        asked.push_back({"message", owner, text});
    }
    bool AskOkCancel(QWidget* owner, const QString& text, const QString& details) override {
        asked.push_back({"question", owner, text});
        lastDetails = details;
        return answerOk;
    }
    bool AskStop(QWidget* owner, const QString& text) override {
        asked.push_back({"stop", owner, text});
        return answerOk;
    }
    void Warning(QWidget* owner, const QString& text) override {
        asked.push_back({"warning", owner, text});
    }
    std::optional<std::string> ChooseFolder(const std::string& start) override {
        asked.push_back({"folder", nullptr, QString::fromStdString(start)});
        return folder;
    }

    std::vector<Asked> asked;
    QString lastDetails;
    bool answerOk = true;
    std::optional<std::string> folder;
};

class QtTransferDialogTest : public ::testing::Test {
  protected:
    QtTransferDialogTest() {
        auto prompter = std::make_unique<ScriptedPrompter>();
        prompter_ = prompter.get();
        dialog_ = std::make_unique<QtTransferDialog>(std::move(prompter));
    }

    ScriptedPrompter* prompter_;
    std::unique_ptr<QtTransferDialog> dialog_;
};

TEST_F(QtTransferDialogTest, LaidOutInDialogUnitsOfItsFont) {
    QtTransferDialog& dialog = *dialog_;
    const DialogUnits units = DialogUnits::ForFont(dialog.font());
    EXPECT_EQ(dialog.size(), units.Size(231, 150));
    EXPECT_EQ(dialog.minimumSize(), dialog.size()) << "no smaller than its own layout";
    EXPECT_GT(dialog.maximumWidth(), dialog.width()) << "it can be resized";
    EXPECT_GT(dialog.maximumHeight(), dialog.height()) << "it can be resized";
    EXPECT_EQ(dialog.DestinationCaption().geometry(), units.Rect(7, 7, 70, 8));
    EXPECT_EQ(dialog.DestinationBox().geometry(), units.Rect(7, 17, 217, 14));
    EXPECT_EQ(dialog.StatusList().geometry(), units.Rect(7, 33, 217, 42));
    EXPECT_EQ(dialog.ProgressFrame().geometry(), units.Rect(7, 92, 217, 14));
    EXPECT_EQ(dialog.StatusLine().geometry(), units.Rect(7, 109, 217, 16));
    EXPECT_EQ(dialog.OpenFolderButton().geometry(), units.Rect(118, 129, 52, 14));
    EXPECT_EQ(dialog.CloseButton().geometry(), units.Rect(174, 129, 50, 14));

    // The bar paints all of the frame but its one-pixel border.
    const QRect frame = dialog.ProgressFrame().geometry();
    EXPECT_EQ(dialog.ProgressBar().parentWidget(), &dialog.ProgressFrame());
    EXPECT_EQ(dialog.ProgressBar().geometry(), QRect(1, 1, frame.width() - 2, frame.height() - 2));

    // Everything lies inside the dialog, the list, the bar and the status
    // line line up, and the Close button ends where they end.
    const QRect client = dialog.rect();
    for (QWidget* control : {static_cast<QWidget*>(&dialog.DestinationCaption()),
                             static_cast<QWidget*>(&dialog.DestinationBox()),
                             static_cast<QWidget*>(&dialog.StatusList()),
                             static_cast<QWidget*>(&dialog.ProgressFrame()),
                             static_cast<QWidget*>(&dialog.StatusLine()),
                             static_cast<QWidget*>(&dialog.OpenFolderButton()),
                             static_cast<QWidget*>(&dialog.CloseButton())}) {
        EXPECT_TRUE(client.contains(control->geometry())) << control->metaObject()->className();
    }
    const QRect status = dialog.StatusLine().geometry();
    EXPECT_EQ(dialog.StatusList().geometry().left(), frame.left());
    EXPECT_EQ(dialog.StatusList().geometry().right(), frame.right());
    EXPECT_EQ(status.left(), frame.left());
    EXPECT_EQ(status.right(), frame.right());
    EXPECT_EQ(dialog.CloseButton().geometry().right(), frame.right());
    EXPECT_LT(dialog.StatusList().geometry().bottom(), frame.top());
    EXPECT_LT(frame.bottom(), status.top());
    EXPECT_LT(status.bottom(), dialog.CloseButton().geometry().top());
    EXPECT_LT(dialog.OpenFolderButton().geometry().right(), dialog.CloseButton().geometry().left());
    // Two lines of the dialog's font fit the status line.
    EXPECT_GE(status.height(), 2 * QFontMetrics(dialog.font()).lineSpacing());
}

TEST_F(QtTransferDialogTest, ResizingGivesTheListTheRoom) {
    QtTransferDialog& dialog = *dialog_;
    auto geometries = [&] {
        std::vector<QRect> all;
        for (QWidget* control : std::initializer_list<QWidget*>{
                 &dialog.DestinationCaption(), &dialog.DestinationBox(), &dialog.StatusList(),
                 &dialog.ProgressFrame(), &dialog.StatusLine(), &dialog.OpenFolderButton(),
                 &dialog.CloseButton()}) {
            all.push_back(control->geometry());
        }
        return all;
    };
    dialog.show();
    Settle();
    const std::vector<QRect> before = geometries();
    dialog.resize(dialog.size() + QSize(120, 90));
    Settle();
    const std::vector<QRect> after = geometries();
    // Caption; destination, list, bar and status line widen; below the list
    // everything moves down; the buttons keep to the right-hand corner.
    EXPECT_EQ(after[0], before[0]);
    EXPECT_EQ(after[1], before[1].adjusted(0, 0, 120, 0));
    EXPECT_EQ(after[2], before[2].adjusted(0, 0, 120, 90));
    EXPECT_EQ(after[3], before[3].adjusted(0, 90, 120, 90));
    EXPECT_EQ(after[4], before[4].adjusted(0, 90, 120, 90));
    EXPECT_EQ(after[5], before[5].translated(120, 90));
    EXPECT_EQ(after[6], before[6].translated(120, 90));
    EXPECT_EQ(dialog.ProgressBar().width(), after[3].width() - 2);
}

TEST(DialogFontTest, TheDesktopsFontSizeWhenLargerThanEightPoints) {
    struct Case {
        const char* what;
        qreal desktopPoints;
        qreal layoutPoints;  // expected
    };
    const Case cases[] = {
        {"smaller", 6, 8},
        {"the same", 8, 8},
        {"larger", 12, 12},
        {"much larger", 20, 20},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QFont desktop(QStringLiteral("DejaVu Sans"));
        desktop.setPointSizeF(c.desktopPoints);
        const QFont layout = LayoutFont(desktop);
        EXPECT_EQ(layout.pointSizeF(), c.layoutPoints);
        EXPECT_EQ(layout.family(), QStringLiteral("MS Sans Serif")) << "the face stays";
        EXPECT_EQ(layout.styleHint(), QFont::SansSerif);
    }
    // A desktop font given in pixels counts by its pixels.
    QFont pixels(QStringLiteral("DejaVu Sans"));
    pixels.setPixelSize(24);
    EXPECT_EQ(LayoutFont(pixels).pixelSize(), 24);
    EXPECT_EQ(DestinationFont(pixels).pixelSize(), 24);
}

TEST(DialogFontTest, ALargeDesktopFontMakesTheWholeDialogLarger) {
    const QFont saved = QApplication::font();
    QFont small = saved;
    small.setPointSize(6);
    QApplication::setFont(small);
    const QtTransferDialog normal;
    QFont large = saved;
    large.setPointSize(16);
    QApplication::setFont(large);
    QtTransferDialog enlarged;
    QApplication::setFont(saved);

    EXPECT_EQ(normal.font().pointSize(), 8);
    EXPECT_EQ(enlarged.font().pointSize(), 16);
    EXPECT_GT(enlarged.minimumWidth(), normal.minimumWidth() * 3 / 2);
    EXPECT_GT(enlarged.minimumHeight(), normal.minimumHeight() * 3 / 2);
    EXPECT_GT(QFontMetrics(enlarged.DestinationBox().font()).height(), 14);
}

TEST_F(QtTransferDialogTest, DestinationFontFillsACell14PixelsHigh) {
    // Where the desktop's font is no larger than the layout's.
    QFont small(QStringLiteral("DejaVu Sans"));
    small.setPointSize(6);
    const QFont destination = DestinationFont(small);
    EXPECT_LE(QFontMetrics(destination).height(), 14);
    QFont oneLarger = destination;
    oneLarger.setPixelSize(destination.pixelSize() + 1);
    EXPECT_GT(QFontMetrics(oneLarger).height(), 14);
}

TEST_F(QtTransferDialogTest, StartsWithCloseDisabledAndNothingShown) {
    QtTransferDialog& dialog = *dialog_;
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Downloading File(s)"));
    EXPECT_FALSE(dialog.windowIcon().isNull());
    EXPECT_EQ(dialog.CloseButton().text(), QStringLiteral("Close"));
    EXPECT_FALSE(dialog.CloseButton().isEnabled());
    EXPECT_TRUE(dialog.CloseButton().isDefault());
    EXPECT_EQ(dialog.DestinationCaption().text(), QStringLiteral("Destination Folder:"));
    EXPECT_TRUE(dialog.DestinationBox().text().isEmpty());
    EXPECT_TRUE(dialog.DestinationBox().isReadOnly());
    EXPECT_FALSE(dialog.DestinationBox().hasFrame());
    EXPECT_EQ(dialog.StatusList().LineCount(), 0);
    EXPECT_EQ(dialog.ProgressBar().Position(), 0);
    EXPECT_FALSE(dialog.TimerRunning());
    EXPECT_EQ(&dialog.FileList(), static_cast<FileListView*>(&dialog.StatusList()));
    EXPECT_EQ(&dialog.Bar(), static_cast<ProgressBarView*>(&dialog.ProgressBar()));
}

TEST_F(QtTransferDialogTest, ShowsTheDestinationFromItsStart) {
    const std::string path = "/home/user/Downloads/quarterly/reports/2024/.../final";
    dialog_->ShowDestination(path);
    EXPECT_EQ(dialog_->DestinationBox().text().toStdString(), path);
    EXPECT_EQ(dialog_->DestinationBox().cursorPosition(), 0);
}

TEST_F(QtTransferDialogTest, MessagesGoToThePrompterWithLineBreaks) {
    dialog_->ShowMessage(
        "This list of files to download is no longer valid.\r\n\r\nDownloads must be "
        "initiated");
    dialog_->ShowMessage(" Download Processing Complete");
    ASSERT_EQ(prompter_->asked.size(), 2u);
    EXPECT_EQ(prompter_->asked[0].kind, "message");
    EXPECT_EQ(prompter_->asked[0].owner, dialog_.get());
    EXPECT_EQ(prompter_->asked[0].text,
              QStringLiteral("This list of files to download is no longer valid.\n\nDownloads "
                             "must be initiated"));
    EXPECT_EQ(prompter_->asked[1].text, QStringLiteral(" Download Processing Complete"));
}

TEST_F(QtTransferDialogTest, AskReplaceReturnsTheAnswer) {
    prompter_->answerOk = true;
    EXPECT_TRUE(dialog_->AskReplace(" Replace existing files?", {}));
    prompter_->answerOk = false;
    EXPECT_FALSE(dialog_->AskReplace(" Replace existing files?", {}));
    ASSERT_EQ(prompter_->asked.size(), 2u);
    EXPECT_EQ(prompter_->asked[0].kind, "question");
    EXPECT_EQ(prompter_->asked[0].owner, dialog_.get());
    EXPECT_EQ(prompter_->asked[0].text, QStringLiteral(" Replace existing files?"));
}

TEST_F(QtTransferDialogTest, ChooseFolderReturnsTheChoice) {
    prompter_->folder = "/srv/in";
    EXPECT_EQ(dialog_->ChooseFolder(""), std::optional<std::string>("/srv/in"));
    prompter_->folder.reset();
    EXPECT_EQ(dialog_->ChooseFolder(""), std::nullopt);
}

TEST_F(QtTransferDialogTest, TimerCallsTheCallbackEachPeriodUntilStopped) {
    int ticks = 0;
    QEventLoop loop;
    dialog_->SetTimerCallback([&] {
        if (++ticks == 3) {
            loop.quit();
        }
    });
    dialog_->StartTimer(1);
    EXPECT_TRUE(dialog_->TimerRunning());
    // A stuck timer fails the test instead of hanging it.
    QTimer::singleShot(10000, &loop, &QEventLoop::quit);
    loop.exec();
    EXPECT_EQ(ticks, 3);
    dialog_->StopTimer();
    EXPECT_FALSE(dialog_->TimerRunning());
    Settle();
    EXPECT_EQ(ticks, 3);
}

TEST_F(QtTransferDialogTest, EnableCloseEnablesAndFocusesTheButton) {
    dialog_->show();
    Settle();
    dialog_->EnableClose();
    EXPECT_TRUE(dialog_->CloseButton().isEnabled());
    EXPECT_EQ(dialog_->focusWidget(), &dialog_->CloseButton());
}

TEST_F(QtTransferDialogTest, CloseButtonEndsTheRunAccepted) {
    dialog_->EnableClose();
    AnswerModal([this](QWidget& modal) {
        EXPECT_EQ(&modal, dialog_.get());
        dialog_->CloseButton().click();
    });
    EXPECT_EQ(dialog_->exec(), QDialog::Accepted);
}

TEST_F(QtTransferDialogTest, TitleBarCloseEndsTheRunAtAnyTime) {
    dialog_->StartTimer(1000);
    AnswerModal([](QWidget& modal) { modal.close(); });
    EXPECT_EQ(dialog_->exec(), QDialog::Rejected);
    EXPECT_FALSE(dialog_->TimerRunning());
}

TEST_F(QtTransferDialogTest, CloseDialogFromATickEndsTheRun) {
    int ticks = 0;
    dialog_->SetTimerCallback([&] {
        ++ticks;
        dialog_->CloseDialog();
    });
    dialog_->StartTimer(1);
    EXPECT_EQ(dialog_->exec(), QDialog::Rejected);
    EXPECT_EQ(ticks, 1);
    EXPECT_FALSE(dialog_->TimerRunning());
    EXPECT_FALSE(dialog_->isVisible());
}

TEST_F(QtTransferDialogTest, CloseDialogBeforeTheRunMakesItEndAtOnce) {
    dialog_->CloseDialog();
    EXPECT_EQ(dialog_->exec(), QDialog::Rejected);
    EXPECT_FALSE(dialog_->isVisible());
}

TEST_F(QtTransferDialogTest, BarTakesPositionsOnceTheDialogIsShown) {
    EXPECT_EQ(dialog_->Bar().SetPos(10), -1);
    dialog_->show();
    Settle();
    EXPECT_EQ(dialog_->Bar().SetPos(10), 0);
    dialog_->Bar().Hide();
    EXPECT_FALSE(dialog_->ProgressBar().isVisible());
    EXPECT_FALSE(dialog_->ProgressFrame().isVisible()) << "its border goes with it";
    dialog_->ProgressBar().Show();
    EXPECT_TRUE(dialog_->ProgressBar().isVisible());
    EXPECT_TRUE(dialog_->ProgressFrame().isVisible());
}

TEST_F(QtTransferDialogTest, StatusLineShowsTheFileAndTheRunOnTwoLines) {
    const std::string figures = "1.2 of 3.4 MB, 2.1 MB/s, 1 s left; file 3 of 25, 312 of 840 MB";
    dialog_->ShowStatus(figures);
    EXPECT_EQ(dialog_->StatusLine().text(),
              QStringLiteral("1.2 of 3.4 MB, 2.1 MB/s, 1 s left\nfile 3 of 25, 312 of 840 MB"));
    EXPECT_EQ(dialog_->StatusLine().toolTip().toStdString(), figures);
    // A retry's words wrap within the line's width.
    dialog_->ShowStatus(
        "Attempt 2 failed: connection refused by 127.0.0.1:8080. Trying again in 4 s.");
    EXPECT_EQ(dialog_->StatusLine().text(),
              QStringLiteral("Attempt 2 failed: connection refused by 127.0.0.1:8080. Trying "
                             "again in 4 s."));
    EXPECT_TRUE(dialog_->StatusLine().wordWrap());
    dialog_->ShowStatus("");
    EXPECT_TRUE(dialog_->StatusLine().text().isEmpty());
    EXPECT_TRUE(dialog_->toolTip().isEmpty()) << "the dialog itself has no tooltip";
}

TEST_F(QtTransferDialogTest, EscapeAndTheCloseButtonCloseOnlyWhenTheHandlerAgrees) {
    QtTransferDialog& dialog = *dialog_;
    int asked = 0;
    bool agree = false;
    dialog.SetCloseRequestHandler([&] {
        ++asked;
        return agree;
    });
    const auto escape = [&] {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QApplication::sendEvent(&dialog, &press);
    };
    const auto titleBarClose = [&] { dialog.close(); };
    for (const auto& [what, request] :
         {std::pair<const char*, std::function<void()>>{"Escape", escape},
          std::pair<const char*, std::function<void()>>{"close button", titleBarClose}}) {
        SCOPED_TRACE(what);
        asked = 0;
        agree = false;
        dialog.show();
        Settle();
        request();
        EXPECT_EQ(asked, 1);
        EXPECT_TRUE(dialog.isVisible()) << "a run under way goes on";
        agree = true;
        request();
        EXPECT_EQ(asked, 2);
        EXPECT_FALSE(dialog.isVisible());
        EXPECT_EQ(dialog.result(), QDialog::Rejected);
    }
}

class DialogEndTest : public QtTransferDialogTest {
  protected:
    DialogEndTest() { dialog_->SetDesktop(desktop_); }

    static RunSummary Summary(bool complete, bool stopped, std::string folder = "/srv/in") {
        RunSummary summary;
        summary.complete = complete;
        summary.stopped = stopped;
        summary.filesComplete = 3;
        summary.folder = std::move(folder);
        return summary;
    }

    std::shared_ptr<app_qt_testing::RecordingDesktop> desktop_ =
        std::make_shared<app_qt_testing::RecordingDesktop>();
};

TEST_F(DialogEndTest, TheTitleSaysHowTheRunEndedAndTheFolderCanBeOpened) {
    struct Case {
        const char* what;
        RunSummary summary;
        const char* title;
        bool openFolder;
    };
    const Case cases[] = {
        {"complete", Summary(true, false), "Download Complete", true},
        {"with errors", Summary(false, false), "Download Finished With Errors", true},
        {"stopped", Summary(false, true), "Download Stopped", false},
        {"no folder chosen", Summary(true, false, ""), "Download Complete", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QtTransferDialog dialog(std::make_unique<ScriptedPrompter>());
        dialog.SetDesktop(desktop_);
        dialog.show();
        Settle();
        EXPECT_FALSE(dialog.OpenFolderButton().isVisible()) << "not before the end";
        dialog.ShowEnd(c.summary);
        EXPECT_EQ(dialog.windowTitle(), QString::fromLatin1(c.title));
        EXPECT_EQ(dialog.OpenFolderButton().isVisible(), c.openFolder);
        EXPECT_EQ(dialog.OpenFolderButton().text(), QStringLiteral("Open Folder"));
        if (!c.summary.stopped) {
            EXPECT_EQ(dialog.StatusLine().text(), EndStatus(c.summary)) << "the run in figures";
        }
    }
}

TEST_F(DialogEndTest, OpenFolderOpensTheDestinationOrSaysItCannot) {
    dialog_->show();
    Settle();
    dialog_->ShowEnd(Summary(true, false, "/home/user/Downloads/reports"));
    dialog_->OpenFolderButton().click();
    ASSERT_EQ(desktop_->opened.size(), 1u);
    EXPECT_EQ(desktop_->opened[0], QStringLiteral("/home/user/Downloads/reports"));
    EXPECT_TRUE(prompter_->asked.empty());

    desktop_->opens = false;
    dialog_->OpenFolderButton().click();
    ASSERT_EQ(prompter_->asked.size(), 1u);
    EXPECT_EQ(prompter_->asked[0].kind, "warning");
    EXPECT_EQ(prompter_->asked[0].owner, dialog_.get());
    EXPECT_TRUE(prompter_->asked[0].text.contains(QStringLiteral("/home/user/Downloads/reports")))
        << prompter_->asked[0].text;
}

TEST_F(DialogEndTest, NotifiesOnlyWhenTheWindowIsNotActive) {
    dialog_->show();
    dialog_->activateWindow();
    Settle();
    ASSERT_TRUE(dialog_->isActiveWindow());
    dialog_->ShowEnd(Summary(true, false));
    EXPECT_TRUE(desktop_->notifications.empty()) << "the user is looking at the dialog";

    // The user turned to another window.
    QWidget elsewhere;
    elsewhere.show();
    elsewhere.activateWindow();
    Settle();
    ASSERT_FALSE(dialog_->isActiveWindow());
    RunSummary summary = Summary(true, false);
    summary.filesSkipped = 1;
    dialog_->ShowEnd(summary);
    ASSERT_EQ(desktop_->notifications.size(), 1u);
    EXPECT_EQ(desktop_->notifications[0].summary, QStringLiteral("Download complete"));
    EXPECT_EQ(desktop_->notifications[0].body,
              QStringLiteral("3 files arrived in /srv/in. 1 skipped."));

    // A stop is the user's own doing: nothing to tell.
    dialog_->ShowEnd(Summary(false, true));
    EXPECT_EQ(desktop_->notifications.size(), 1u);
}

TEST(NotificationTest, SaysHowManyFilesArrivedAndWhere) {
    struct Case {
        int complete, skipped, failed;
        bool whole;
        const char* summary;
        const char* body;
    };
    const Case cases[] = {
        {1, 0, 0, true, "Download complete", "1 file arrived in /srv/in."},
        {25, 0, 0, true, "Download complete", "25 files arrived in /srv/in."},
        {0, 4, 0, true, "Download complete", "0 files arrived in /srv/in. 4 skipped."},
        {2, 1, 3, false, "Download finished with errors",
         "2 files arrived in /srv/in. 1 skipped, 3 failed."},
        {7, 0, 1, false, "Download finished with errors", "7 files arrived in /srv/in. 1 failed."},
    };
    for (const Case& c : cases) {
        RunSummary summary;
        summary.complete = c.whole;
        summary.filesComplete = c.complete;
        summary.filesSkipped = c.skipped;
        summary.filesFailed = c.failed;
        summary.folder = "/srv/in";
        EXPECT_EQ(NotificationSummary(summary), QString::fromLatin1(c.summary));
        EXPECT_EQ(NotificationBody(summary), QString::fromLatin1(c.body));
    }
}

TEST(NotificationTest, TheStatusLineAtTheEndGivesTheFiguresOfTheRun) {
    struct Case {
        int complete, skipped, failed;
        std::int64_t bytes;
        std::chrono::milliseconds elapsed;
        const char* status;
    };
    using std::chrono_literals::operator""ms;
    const Case cases[] = {
        {5, 0, 0, 57 * 1024 * 1024, 12400ms, "5 files arrived, 57 MB in 12 s."},
        {1, 0, 0, 1536, 300ms, "1 file arrived, 1.5 KB in 0 s."},
        {0, 3, 0, 0, 900ms, "0 files arrived. 3 skipped."},
        {2, 1, 1, 2048, 150000ms, "2 files arrived, 2.0 KB in 2 min 30 s. 1 skipped, 1 failed."},
    };
    for (const Case& c : cases) {
        RunSummary summary;
        summary.filesComplete = c.complete;
        summary.filesSkipped = c.skipped;
        summary.filesFailed = c.failed;
        summary.bytes = c.bytes;
        summary.elapsed = c.elapsed;
        summary.folder = "/srv/in";
        EXPECT_EQ(EndStatus(summary), QString::fromLatin1(c.status));
    }
}

TEST(ApplicationIconTest, DrawsTheIconAtTheUsualSizes) {
    const QIcon icon = ApplicationIcon();
    ASSERT_FALSE(icon.isNull());
    for (const int side : {16, 32, 48}) {
        EXPECT_TRUE(icon.availableSizes().contains(QSize(side, side))) << side;
    }
    // Not an empty picture: the middle is opaque, the corners are clear.
    const QImage image = icon.pixmap(48, 48).toImage();
    EXPECT_EQ(image.pixelColor(24, 24).alpha(), 255);
    EXPECT_EQ(image.pixelColor(0, 0).alpha(), 0);
}

// The real boxes, answered from inside their own event loop.
TEST(BoxPrompterTest, MessageHasTheCaptionAnOkButtonAndNoIcon) {
    QWidget owner;
    BoxPrompter prompter;
    QString caption;
    QString text;
    QMessageBox::Icon icon = QMessageBox::Critical;
    QMessageBox::StandardButtons buttons;
    QWidget* parent = nullptr;
    AnswerModal([&](QWidget& modal) {
        auto* box = qobject_cast<QMessageBox*>(&modal);
        ASSERT_NE(box, nullptr);
        caption = box->windowTitle();
        text = box->text();
        icon = box->icon();
        buttons = box->standardButtons();
        parent = box->parentWidget();
        box->button(QMessageBox::Ok)->click();
    });
    prompter.Message(&owner, QStringLiteral(" Download Processing Complete"));
    EXPECT_EQ(caption, QStringLiteral("Trevasto"));
    EXPECT_EQ(text, QStringLiteral(" Download Processing Complete"));
    EXPECT_EQ(icon, QMessageBox::NoIcon);
    EXPECT_EQ(buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    EXPECT_EQ(parent, &owner);
}

TEST(BoxPrompterTest, QuestionHasOkCancelAndTheQuestionIcon) {
    BoxPrompter prompter;
    for (const auto& [button, expected] :
         {std::pair{QMessageBox::Ok, true}, std::pair{QMessageBox::Cancel, false}}) {
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QMessageBox::StandardButtons buttons;
        QString caption;
        AnswerModal([&, button = button](QWidget& modal) {
            auto* box = qobject_cast<QMessageBox*>(&modal);
            ASSERT_NE(box, nullptr);
            icon = box->icon();
            buttons = box->standardButtons();
            caption = box->windowTitle();
            box->button(button)->click();
        });
        EXPECT_EQ(
            prompter.AskOkCancel(nullptr, QStringLiteral(" Replace existing files?"), QString()),
            expected);
        EXPECT_EQ(icon, QMessageBox::Question);
        EXPECT_EQ(buttons, QMessageBox::Ok | QMessageBox::Cancel);
        EXPECT_EQ(caption, QStringLiteral("Trevasto"));
    }
}

TEST(BoxPrompterTest, BoxTextTurnsCrLfIntoLineBreaks) {
    EXPECT_EQ(BoxText("a\r\n\r\nb\r\n c"), QStringLiteral("a\n\nb\n c"));
    EXPECT_EQ(BoxText(" Replace existing files?"), QStringLiteral(" Replace existing files?"));
}

TEST(BoxPrompterTest, FolderChooserCancelledGivesNothing) {
    BoxPrompter prompter;
    AnswerModal([](QWidget& modal) {
        EXPECT_EQ(modal.windowTitle(), QStringLiteral("Destination Folder"));
        modal.close();
    });
    EXPECT_EQ(prompter.ChooseFolder({}), std::nullopt);
}

}  // namespace
}  // namespace app::qt

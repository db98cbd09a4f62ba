#include "app/qt/qt_transfer_dialog.h"

#include <gtest/gtest.h>
#include <QEventLoop>
#include <QFontMetrics>
#include <QFrame>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPixmap>
#include <QPushButton>
#include <QTimer>
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
    EXPECT_EQ(dialog.size(), units.Size(231, 141));
    EXPECT_EQ(dialog.minimumSize(), dialog.maximumSize()) << "a fixed-size dialog";
    EXPECT_EQ(dialog.DestinationCaption().geometry(), units.Rect(7, 7, 70, 8));
    EXPECT_EQ(dialog.DestinationBox().geometry(), units.Rect(7, 17, 217, 14));
    EXPECT_EQ(dialog.StatusList().geometry(), units.Rect(7, 33, 217, 42));
    EXPECT_EQ(dialog.ProgressFrame().geometry(), units.Rect(7, 92, 217, 14));
    EXPECT_EQ(dialog.CloseButton().geometry(), units.Rect(174, 120, 50, 14));

    // The bar paints all of the frame but its one-pixel border.
    const QRect frame = dialog.ProgressFrame().geometry();
    EXPECT_EQ(dialog.ProgressBar().parentWidget(), &dialog.ProgressFrame());
    EXPECT_EQ(dialog.ProgressBar().geometry(), QRect(1, 1, frame.width() - 2, frame.height() - 2));

    // Everything lies inside the dialog, the list and the bar line up, and the
    // Close button ends where they end.
    const QRect client = dialog.rect();
    for (QWidget* control : {static_cast<QWidget*>(&dialog.DestinationCaption()),
                             static_cast<QWidget*>(&dialog.DestinationBox()),
                             static_cast<QWidget*>(&dialog.StatusList()),
                             static_cast<QWidget*>(&dialog.ProgressFrame()),
                             static_cast<QWidget*>(&dialog.CloseButton())}) {
        EXPECT_TRUE(client.contains(control->geometry())) << control->metaObject()->className();
    }
    EXPECT_EQ(dialog.StatusList().geometry().left(), frame.left());
    EXPECT_EQ(dialog.StatusList().geometry().right(), frame.right());
    EXPECT_EQ(dialog.CloseButton().geometry().right(), frame.right());
    EXPECT_LT(dialog.StatusList().geometry().bottom(), frame.top());
    EXPECT_LT(frame.bottom(), dialog.CloseButton().geometry().top());
}

TEST_F(QtTransferDialogTest, DestinationFontFillsACell14PixelsHigh) {
    const QFont destination = dialog_->DestinationBox().font();
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

// The dialog as a user meets it, end to end against the local service: what
// shows while the key is checked, the box that says why the service could
// not be reached, the status line's figures and the bar during a paced
// transfer, the busy bar while the service packs a file, a stop from Escape
// that keeps the partial file and the next run that continues it, the
// replace question's details, the folder chooser that opens where the user
// chose last time, and the end with its title and Open Folder button. The
// real program also runs once without a display it can open.

#include <gtest/gtest.h>
#include <QAbstractButton>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QString>
#include <algorithm>
#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "app/qt/file_status_list.h"
#include "app/qt/percent_progress_ctrl.h"
#include "app/qt/qt_front_end.h"
#include "app/qt/qt_transfer_dialog.h"
#include "app/transfer_dialog.h"
#include "platform/file.h"
#include "platform/socket.h"
#include "platform/strings.h"
#include "qt_run_harness.h"
#include "service_support/service_test_support.h"
#include "support/child_process.h"

namespace app::qt {
namespace {

using app_qt_testing::BoxSaying;
using app_qt_testing::LedgerText;
using app_qt_testing::TransferDialogOf;
using service_testing::PatternBytes;

constexpr std::int64_t kKiB = 1024;
constexpr std::chrono::seconds kPatienceForAChild{30};

std::vector<std::string> Lines(const QtTransferDialog& dialog) {
    std::vector<std::string> lines;
    const FileStatusList& list = const_cast<QtTransferDialog&>(dialog).StatusList();
    for (int i = 0; i < list.LineCount(); ++i) {
        lines.push_back(list.Line(i));
    }
    return lines;
}

std::uint16_t RefusedPort() {
    auto listener = platform::TcpListener::ListenLoopback(0);
    EXPECT_TRUE(listener.ok());
    return listener.ok() ? listener->Port() : 1;  // closed again on return
}

class QtDialogEndToEndTest : public app_qt_testing::QtRunTest {
  protected:
    // The service's requests of the current run's key, as their words
    // ("VDLK", "DKFL", "DownLoad", "DLCK").
    std::vector<std::string> RequestWords(const std::string& key) const {
        std::vector<std::string> words;
        for (const qvn_service::LoggedRequest& request : service_->RequestRecords()) {
            if (request.key != key) {
                continue;
            }
            const std::size_t query = request.block.find('?');
            const std::size_t blank = request.block.find(' ', query);
            words.push_back(request.block.substr(query + 1, blank - query - 1));
        }
        return words;
    }
    std::vector<std::string> DownloadBlocks(const std::string& key) const {
        std::vector<std::string> blocks;
        for (const qvn_service::LoggedRequest& request : service_->RequestRecords()) {
            if (request.key == key && request.block.find("?DownLoad ") != std::string::npos) {
                blocks.push_back(request.block);
            }
        }
        return blocks;
    }
};

TEST_F(QtDialogEndToEndTest, TheDialogShowsAtOnceWhileTheKeyIsCheckedAndEscapeAsksFirst) {
    const std::string key = "QTDLG001";
    root_.Write(key + "/a.txt", "alpha\n");
    // The service holds its answer to the check until the client goes.
    root_.Write(key + ".conf", "fault = stall_header word=VDLK after=0\n");

    bool shown = false;
    bool busy = false;
    bool animated = false;
    std::vector<QString> buttons;
    user_.Then(
        "the dialog checking the key",
        [](QWidget& window) {
            QtTransferDialog* dialog = TransferDialogOf(window);
            return dialog != nullptr && dialog->isVisible() &&
                   dialog->DestinationBox().text() == QString::fromLatin1(kCheckingText);
        },
        [&](QWidget& window) {
            QtTransferDialog& dialog = *TransferDialogOf(window);
            shown = !dialog.CloseButton().isEnabled() && dialog.StatusList().LineCount() == 0;
            busy = dialog.ProgressBar().Busy() && dialog.ProgressBar().isVisible();
            animated = dialog.ProgressBar().BusyTimerRunning();
            PressKey(dialog, Qt::Key_Escape);
        });
    user_.Then(
        "the stop question",
        [](QWidget& window) { return BoxSaying(window, kStopQuestion) != nullptr; },
        [&](QWidget& window) {
            QMessageBox& box = *BoxSaying(window, kStopQuestion);
            EXPECT_NE(TransferDialogOf(*box.parentWidget()), nullptr) << "owned by the dialog";
            QAbstractButton* stop = nullptr;
            for (QAbstractButton* button : box.buttons()) {
                buttons.push_back(button->text());
                if (button->text() == QStringLiteral("Stop")) {
                    stop = button;
                }
            }
            ASSERT_NE(stop, nullptr);
            stop->click();
        });
    EXPECT_EQ(Launch(key), 1);

    EXPECT_TRUE(shown);
    EXPECT_TRUE(busy) << "a busy bar while the key is checked";
    EXPECT_TRUE(animated);
    std::sort(buttons.begin(), buttons.end());
    EXPECT_EQ(buttons, (std::vector<QString>{QStringLiteral("Continue"), QStringLiteral("Stop")}));
    EXPECT_EQ(RequestWords(key), std::vector<std::string>{"VDLK"});
    EXPECT_FALSE(platform::Exists(dest_.Sub("a.txt")));
}

TEST_F(QtDialogEndToEndTest, AServiceThatCannotBeReachedEndsWithABoxThatSaysSo) {
    const std::uint16_t port = RefusedPort();
    const std::string server = platform::StrPrintf("127.0.0.1:%u", static_cast<unsigned>(port));
    UseDeployment("connect_pause = 0ms\n", server);
    const std::string expected = "Trevasto could not reach the Quorvane service (" + server +
                                 ": connection refused). Please try again later.";

    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QString behind;
    user_.Then(
        "the failure box",
        [&](QWidget& window) { return BoxSaying(window, expected.c_str()) != nullptr; },
        [&](QWidget& window) {
            QMessageBox& box = *BoxSaying(window, expected.c_str());
            icon = box.icon();
            QtTransferDialog* dialog = TransferDialogOf(*box.parentWidget());
            ASSERT_NE(dialog, nullptr) << "owned by the dialog";
            EXPECT_TRUE(dialog->isVisible());
            behind = dialog->DestinationBox().text();
            box.button(QMessageBox::Ok)->click();
        });
    EXPECT_EQ(Launch("QTDLG002"), 1);
    EXPECT_EQ(icon, QMessageBox::Warning);
    EXPECT_EQ(behind, QString::fromLatin1(kCheckingText));
}

TEST_F(QtDialogEndToEndTest, APacedTransferShowsItsFiguresOnTheStatusLineAndTheBarFollows) {
    const std::string key = "QTDLG003";
    root_.Write(key + "/a.bin", PatternBytes(64 * kKiB, 1));
    root_.Write(key + "/b.bin", PatternBytes(256 * kKiB, 2));
    // Each file holds still part-way, the second long enough to be read.
    root_.Write(key + ".conf",
                "fault = slow_body file=a.bin after=32768 for=600\n"
                "fault = slow_body file=b.bin after=98304 for=4000\n");

    QString status;
    QString toolTip;
    int barPosition = -1;
    int barMaximum = -1;
    ChooseDestination();
    // "96 of 256 KB, 41 KB/s, 3 s left" over "file 2 of 2, 160 of 320 KB".
    const QRegularExpression figures(
        QStringLiteral(R"(^96 of 256 KB, [0-9.]+ (KB|MB)/s, [0-9]+ s left\nfile 2 of 2, )"
                       R"(160 of 320 KB$)"));
    user_.Then(
        "the status line during the pause",
        [&](QWidget& window) {
            QtTransferDialog* dialog = TransferDialogOf(window);
            return dialog != nullptr && figures.match(dialog->StatusLine().text()).hasMatch();
        },
        [&](QWidget& window) {
            QtTransferDialog& dialog = *TransferDialogOf(window);
            status = dialog.StatusLine().text();
            toolTip = dialog.StatusLine().toolTip();
            barPosition = dialog.ProgressBar().Position();
            barMaximum = dialog.ProgressBar().RangeMax();
        });
    std::vector<std::string> lines;
    QString statusAtTheEnd;
    AcknowledgeCompletionAndClose([&](QtTransferDialog& dialog) {
        lines = Lines(dialog);
        statusAtTheEnd = dialog.StatusLine().text();
    });
    EXPECT_EQ(Launch(key), 0);

    ExpectDownloaded(key, {"a.bin", "b.bin"});
    EXPECT_TRUE(figures.match(status).hasMatch()) << status;
    EXPECT_EQ(toolTip, QString(status).replace(QLatin1Char('\n'), QStringLiteral("; ")));
    // The bar stands where the status line does: 96 of 256 KB.
    EXPECT_EQ(barPosition, 96);
    EXPECT_EQ(barMaximum, 256);
    EXPECT_EQ(lines,
              (std::vector<std::string>{"a.bin  64K  (1 of 2)", "Complete", "b.bin  256K  (2 of 2)",
                                        "Complete", "Processing Complete"}));
}

TEST_F(QtDialogEndToEndTest, TheBarIsBusyWhileTheServicePacksAFile) {
    const std::string key = "QTDLG004";
    root_.Write(key + "/ledger.txt", LedgerText(8000));
    // The first answer never comes, as if the packing took longer than the
    // client waits; the file is then asked for again.
    root_.Write(key + ".conf", "zip = yes\nfault = stall_header word=DownLoad after=0\n");
    // The stall is long enough for a loaded machine to show the busy bar.
    UseDeployment("connect_pause = 0ms\nretry_pauses = 50ms 200ms\ntimeouts = 10s 10s 3s\n");

    bool glides = false;
    std::string lineWhileBusy;
    ChooseDestination();
    user_.Then(
        "the busy bar while the file is packed",
        [](QWidget& window) {
            QtTransferDialog* dialog = TransferDialogOf(window);
            return dialog != nullptr && dialog->ProgressBar().Busy() &&
                   dialog->StatusList().LineCount() > 0;
        },
        [&](QWidget& window) {
            QtTransferDialog& dialog = *TransferDialogOf(window);
            glides = dialog.ProgressBar().BusyTimerRunning();
            lineWhileBusy = Lines(dialog).back();
        });
    bool busyAtTheEnd = true;
    std::vector<std::string> lines;
    AcknowledgeCompletionAndClose([&](QtTransferDialog& dialog) {
        busyAtTheEnd = dialog.ProgressBar().Busy();
        lines = Lines(dialog);
    });
    EXPECT_EQ(Launch(key), 0);

    ExpectDownloaded(key, {"ledger.txt"});
    EXPECT_TRUE(glides);
    EXPECT_EQ(lineWhileBusy, "ledger.txt  Compressing Please Wait... (1 of 1)");
    EXPECT_FALSE(busyAtTheEnd);
    ASSERT_EQ(lines.size(), 3u) << ::testing::PrintToString(lines);
    EXPECT_TRUE(QString::fromStdString(lines[0]).contains(
        QRegularExpression(QStringLiteral(R"(^ledger\.txt  [0-9,]+K Compressed \(1 of 1\)$)"))))
        << lines[0];
    EXPECT_EQ(lines[1], "Complete");
    EXPECT_EQ(lines[2], "Processing Complete");
    EXPECT_EQ(DownloadBlocks(key).size(), 2u);
}

TEST_F(QtDialogEndToEndTest, EscapeStopsARunKeepingThePartialAndTheNextRunContinuesIt) {
    const std::string key = "QTDLG005";
    const std::string photo = "\xff\xd8\xff\xe0" + PatternBytes(512 * kKiB - 4, 5);
    root_.Write(key + "/harbour.jpg", photo);
    constexpr std::size_t kBeforePause = 200 * kKiB;
    root_.Write(key + ".conf",
                platform::StrPrintf("fault = slow_body file=harbour.jpg after=%zu for=30000\n",
                                    kBeforePause));

    ChooseDestination();
    user_.Then(
        "the transfer holding still",
        [](QWidget& window) {
            QtTransferDialog* dialog = TransferDialogOf(window);
            return dialog != nullptr &&
                   dialog->StatusLine().text().startsWith(QStringLiteral("200 of 512 KB"));
        },
        [](QWidget& window) { PressKey(window, Qt::Key_Escape); });
    user_.Then(
        "the stop question",
        [](QWidget& window) { return BoxSaying(window, kStopQuestion) != nullptr; },
        [](QWidget& window) {
            for (QAbstractButton* button : BoxSaying(window, kStopQuestion)->buttons()) {
                if (button->text() == QStringLiteral("Stop")) {
                    button->click();
                }
            }
        });
    EXPECT_EQ(Launch(key), 1);

    // The file is not there; what arrived of it waits for the next run.
    EXPECT_FALSE(platform::Exists(dest_.Sub("harbour.jpg")));
    ASSERT_TRUE(platform::Exists(dest_.Sub("harbour.jpg~")));
    EXPECT_EQ(dest_.Read("harbour.jpg~"), photo.substr(0, kBeforePause));

    std::vector<std::string> lines;
    ChooseDestination();
    AcknowledgeCompletionAndClose([&](QtTransferDialog& dialog) { lines = Lines(dialog); });
    EXPECT_EQ(Launch(key), 0);

    ExpectDownloaded(key, {"harbour.jpg"});
    EXPECT_FALSE(platform::Exists(dest_.Sub("harbour.jpg~")));
    // The second run described the partial file, and the service continued it.
    const std::vector<std::string> downloads = DownloadBlocks(key);
    ASSERT_EQ(downloads.size(), 2u);
    EXPECT_EQ(downloads[0].find("X-QVN-RESTART2:"), std::string::npos);
    EXPECT_NE(downloads[1].find(service_testing::RestartFor(photo.substr(0, kBeforePause), "1")),
              std::string::npos)
        << downloads[1];
    EXPECT_NE(std::find(lines.begin(), lines.end(), "Update File Complete"), lines.end())
        << ::testing::PrintToString(lines);
}

TEST_F(QtDialogEndToEndTest, TheReplaceQuestionNamesTheFilesThatExist) {
    const std::string key = "QTDLG006";
    root_.Write(key + "/a.txt", "alpha\n");
    root_.Write(key + "/b.txt", "bravo\n");
    root_.Write(key + "/sub/c.txt", "charlie\n");
    dest_.Write("b.txt", "my own b\n");
    dest_.Write("sub/c.txt", "my own c\n");

    ChooseDestination();
    AnswerReplace(QMessageBox::Ok);
    AcknowledgeCompletionAndClose();
    EXPECT_EQ(Launch(key), 0);

    EXPECT_TRUE(questionOwnedByDialog_);
    EXPECT_EQ(replaceDetails_, QStringLiteral("b.txt\nsub/c.txt"));
    ExpectDownloaded(key, {"a.txt", "b.txt", "sub/c.txt"});
}

TEST_F(QtDialogEndToEndTest, TheFolderChooserOpensWhereTheUserChoseLastTime) {
    const testing_support::TempDir downloads;
    frontEnd_.settings.lastFolderFile = work_.Sub("last-folder");
    frontEnd_.settings.defaultFolder = downloads.path();
    for (const std::string& key : {std::string("QTDLG007"), std::string("QTDLG008")}) {
        root_.Write(key + "/" + key + ".txt", key + "\n");
    }

    ChooseDestination();
    AcknowledgeCompletionAndClose();
    EXPECT_EQ(Launch("QTDLG007"), 0);
    EXPECT_EQ(chooserOpenedIn_, QDir(QString::fromStdString(downloads.path())).absolutePath())
        << "the first time: the downloads folder";
    EXPECT_EQ(work_.Read("last-folder"), dest_.path());

    ChooseDestination();
    AcknowledgeCompletionAndClose();
    EXPECT_EQ(Launch("QTDLG008"), 0);
    EXPECT_EQ(chooserOpenedIn_, QDir(QString::fromStdString(dest_.path())).absolutePath())
        << "then where the user chose";
    ExpectDownloaded("QTDLG008", {"QTDLG008.txt"});
}

TEST_F(QtDialogEndToEndTest, TheEndSaysTheDownloadIsCompleteAndOpenFolderOpensTheDestination) {
    const std::string key = "QTDLG009";
    root_.Write(key + "/report.pdf", "%PDF-1.4\n" + PatternBytes(20 * kKiB, 9));
    root_.Write(key + ".conf", "fault = slow_body file=report.pdf after=4096 for=800\n");

    QString titleDuringRun;
    bool openFolderDuringRun = true;
    QString titleAtEnd;
    bool openFolderAtEnd = false;
    ChooseDestination();
    user_.Then(
        "the dialog during the transfer",
        [](QWidget& window) {
            QtTransferDialog* dialog = TransferDialogOf(window);
            return dialog != nullptr && !dialog->StatusLine().text().isEmpty();
        },
        [&](QWidget& window) {
            titleDuringRun = window.windowTitle();
            openFolderDuringRun = TransferDialogOf(window)->OpenFolderButton().isVisible();
        });
    user_.Then(
        "the completion message",
        [](QWidget& window) { return BoxSaying(window, " Download Processing Complete"); },
        [&](QWidget& window) {
            QMessageBox& box = *BoxSaying(window, " Download Processing Complete");
            QtTransferDialog& dialog = *TransferDialogOf(*box.parentWidget());
            titleAtEnd = dialog.windowTitle();
            openFolderAtEnd = dialog.OpenFolderButton().isVisible();
            box.button(QMessageBox::Ok)->click();
        });
    user_.Then(
        "the dialog at its end",
        [](QWidget& window) {
            QtTransferDialog* dialog = TransferDialogOf(window);
            return dialog != nullptr && dialog->CloseButton().isEnabled();
        },
        [](QWidget& window) {
            TransferDialogOf(window)->OpenFolderButton().click();
            TransferDialogOf(window)->CloseButton().click();
        });
    EXPECT_EQ(Launch(key), 0);

    ExpectDownloaded(key, {"report.pdf"});
    EXPECT_EQ(titleDuringRun, QStringLiteral("Downloading File(s)"));
    EXPECT_FALSE(openFolderDuringRun);
    EXPECT_EQ(titleAtEnd, QStringLiteral("Download Complete"));
    EXPECT_TRUE(openFolderAtEnd);
    EXPECT_EQ(desktop_->opened, std::vector<QString>{QString::fromStdString(dest_.path())});
}

// A display number where no X server listens.
std::string UnusedDisplay() {
    for (int number = 171;; ++number) {
        if (!platform::Exists(platform::StrPrintf("/tmp/.X11-unix/X%d", number))) {
            return platform::StrPrintf(":%d", number);
        }
    }
}

// The real program, started from a desktop whose display cannot be opened.
class NoDisplayTest : public app_qt_testing::QtRunTest {
  protected:
    testing_support::ChildProcess Start(const std::string& deployment, const std::string& input) {
        testing_support::ChildOptions options;
        work_.Write("key.txt", "download=QTDLG010");
        options.argv = {TREVASTO_PROGRAM, work_.Sub("key.txt")};
        // Neither the console nor any platform is asked for: the program
        // chooses for itself, as it does when started from a menu.
        options.environment = {{"TREVASTO_UI", ""},
                               {"QT_QPA_PLATFORM", ""},
                               {"WAYLAND_DISPLAY", ""},
                               {"DISPLAY", display_},
                               {"TREVASTO_DEPLOYMENT", deployment},
                               {"XDG_CACHE_HOME", home_.Sub("cache")},
                               {"XDG_CONFIG_HOME", home_.Sub("config")}};
        options.input = testing_support::ChildInput::FromText(input);
        auto child = testing_support::ChildProcess::Start(options);
        EXPECT_TRUE(child.ok()) << child.error().Message();
        return child.ok() ? std::move(*child) : testing_support::ChildProcess();
    }

    const std::string display_ = UnusedDisplay();
    testing_support::TempDir home_;
};

TEST_F(NoDisplayTest, TheConsoleRunsInsteadAfterANote) {
    root_.Write("QTDLG010/a.txt", "alpha\n");
    testing_support::ChildProcess child =
        Start(work_.Sub("deployment.conf"), dest_.path() + "\nyes\n");
    ASSERT_TRUE(child.IsStarted());
    const std::optional<testing_support::ExitStatus> exit = child.WaitFor(kPatienceForAChild);
    const std::string output = child.Captured(testing_support::ChildProcess::Stream::Output);
    const std::string errors = child.Captured(testing_support::ChildProcess::Stream::Error);
    ASSERT_TRUE(exit.has_value()) << "still running: " << errors;
    EXPECT_EQ(*exit, (testing_support::ExitStatus{true, 0, 0})) << errors;
    EXPECT_EQ(errors.substr(0, errors.find('\n')),
              "trevasto: the display cannot be opened (DISPLAY=" + display_ +
                  "); using the console instead")
        << errors;
    EXPECT_NE(output.find("\nComplete\n"), std::string::npos) << output;
    EXPECT_EQ(dest_.Read("a.txt"), "alpha\n");
}

TEST_F(NoDisplayTest, AMissingDeploymentEndsWithItsLineInsteadOfABox) {
    testing_support::ChildProcess child = Start(work_.Sub("missing.conf"), "");
    ASSERT_TRUE(child.IsStarted());
    const std::optional<testing_support::ExitStatus> exit = child.WaitFor(kPatienceForAChild);
    const std::string errors = child.Captured(testing_support::ChildProcess::Stream::Error);
    ASSERT_TRUE(exit.has_value()) << "still running: " << errors;
    EXPECT_EQ(*exit, (testing_support::ExitStatus{true, 2, 0})) << errors;
    // Its one line, and nothing from the look for a display.
    EXPECT_EQ(errors, "trevasto: " + work_.Sub("missing.conf") + ": deployment file not found\n");
}

}  // namespace
}  // namespace app::qt

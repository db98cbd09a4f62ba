// The Qt front-end end to end: the launch on a key file, the real dialog with
// its real boxes and folder chooser, the real controller, worker and engine,
// against the local service running in-process. A scripted user answers
// every box from inside its own event loop, as a person at the screen would.

#include "app/qt/qt_front_end.h"

#include <gtest/gtest.h>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <string>
#include <vector>

#include "app/qt/file_status_list.h"
#include "app/qt/percent_progress_ctrl.h"
#include "app/qt/prompter.h"
#include "app/qt/qt_transfer_dialog.h"
#include "platform/file.h"
#include "platform/strings.h"
#include "qt_run_harness.h"
#include "qt_testing.h"
#include "service_support/service_test_support.h"

namespace app::qt {
namespace {

using app_qt_testing::LedgerText;
using service_testing::PatternBytes;

// What the dialog showed when the run told the user it was complete.
struct FinalScreen {
    bool seen = false;
    std::vector<std::string> lines;
    std::string destination;
    bool closeEnabled = false;
    bool barHidden = false;
    bool timerRunning = true;
    bool boxOwnedByDialog = false;
};

class QtFrontEndTest : public app_qt_testing::QtRunTest {
  protected:
    // The completion message: the dialog's screen read, the message
    // acknowledged, then the dialog closed with its Close button.
    void ReadTheScreenAndClose() {
        AcknowledgeCompletionAndClose([this](QtTransferDialog& dialog) {
            screen_.seen = true;
            screen_.boxOwnedByDialog = true;
            const FileStatusList& list = dialog.StatusList();
            for (int i = 0; i < list.LineCount(); ++i) {
                screen_.lines.push_back(list.Line(i));
            }
            screen_.destination = dialog.DestinationBox().text().toStdString();
            screen_.closeEnabled = dialog.CloseButton().isEnabled();
            screen_.barHidden = dialog.ProgressBar().isHidden();
            screen_.timerRunning = dialog.TimerRunning();
        });
    }

    FinalScreen screen_;
};

// "<name>  <N>K Compressed (<i> of <n>)" with any size.
bool IsCompressedFileLine(const std::string& line, const std::string& name, int index, int count) {
    const std::string head = name + "  ";
    const std::string tail = platform::StrPrintf("K Compressed (%d of %d)", index, count);
    if (line.size() <= head.size() + tail.size() || line.compare(0, head.size(), head) != 0 ||
        line.compare(line.size() - tail.size(), tail.size(), tail) != 0) {
        return false;
    }
    const std::string size = line.substr(head.size(), line.size() - head.size() - tail.size());
    return size.find_first_not_of("0123456789,") == std::string::npos;
}

TEST_F(QtFrontEndTest, EncipheredZippedKeyReplacesAStaleCopyAndCompletes) {
    const std::string key = "QTE2E001";
    root_.Write(key + "/Quarterly report.pdf", "%PDF-1.4\n" + PatternBytes(300 * 1024, 1));
    root_.Write(key + "/letters/2026/welcome.txt", "Welcome to Trevasto.\n");
    root_.Write(key + "/notes.txt", LedgerText(6000));
    root_.Write(key + "/photos/harbour.jpg", "\xff\xd8\xff\xe0" + PatternBytes(180 * 1024, 2));
    root_.Write(key + ".conf", "encipher = yes\nzip = yes\n");
    // A stale copy of one file: the user is asked before it is replaced.
    dest_.Write("notes.txt", "an older draft\n");

    ChooseDestination();
    AnswerReplace(QMessageBox::Ok);
    ReadTheScreenAndClose();
    EXPECT_EQ(Launch(key), 0);

    EXPECT_TRUE(questionOwnedByDialog_);
    EXPECT_EQ(questionIcon_, QMessageBox::Question);
    ExpectDownloaded(key, {"Quarterly report.pdf", "letters/2026/welcome.txt", "notes.txt",
                           "photos/harbour.jpg"});

    ASSERT_TRUE(screen_.seen);
    EXPECT_TRUE(screen_.boxOwnedByDialog);
    EXPECT_EQ(screen_.destination, ShortenPath(dest_.path(), 56));
    EXPECT_TRUE(screen_.closeEnabled);
    EXPECT_TRUE(screen_.barHidden);
    EXPECT_FALSE(screen_.timerRunning);
    // The files in the service's order (sorted names), each with its line
    // and its final line, then the run's.
    const std::vector<std::string> names = {"Quarterly report.pdf", "welcome.txt", "notes.txt",
                                            "harbour.jpg"};
    ASSERT_EQ(screen_.lines.size(), 2 * names.size() + 1)
        << ::testing::PrintToString(screen_.lines);
    for (std::size_t i = 0; i < names.size(); ++i) {
        EXPECT_TRUE(IsCompressedFileLine(screen_.lines[2 * i], names[i], static_cast<int>(i) + 1,
                                         static_cast<int>(names.size())))
            << screen_.lines[2 * i];
        EXPECT_EQ(screen_.lines[2 * i + 1], "Complete") << names[i];
    }
    EXPECT_EQ(screen_.lines.back(), "Processing Complete");
}

TEST_F(QtFrontEndTest, CancellingTheReplaceQuestionEndsTheRunAndKeepsTheCopy) {
    const std::string key = "QTE2E002";
    root_.Write(key + "/a.txt", LedgerText(50));
    root_.Write(key + "/b.txt", LedgerText(80));
    dest_.Write("b.txt", "my own edits\n");

    ChooseDestination();
    AnswerReplace(QMessageBox::Cancel);
    EXPECT_EQ(Launch(key), 1);

    EXPECT_FALSE(screen_.seen);
    EXPECT_EQ(dest_.Read("b.txt"), "my own edits\n");
    EXPECT_FALSE(platform::Exists(dest_.Sub("a.txt")));
}

// Every file ends with a tick on the worker's news as well as the timer's
// ticks: each file's lines must still show exactly once, in order.
TEST_F(QtFrontEndTest, ManySmallFilesShowEachFinalLineOnceInOrder) {
    const std::string key = "QTE2E200";
    constexpr int kFiles = 200;
    std::vector<std::string> names;
    for (int i = 0; i < kFiles; ++i) {
        names.push_back(platform::StrPrintf("file-%03d.dat", i));
        root_.Write(key + "/" + names.back(), PatternBytes(100 + 4 * i, 100 + i));
    }

    ChooseDestination();
    ReadTheScreenAndClose();
    EXPECT_EQ(Launch(key), 0);

    ExpectDownloaded(key, names);
    ASSERT_TRUE(screen_.seen);
    EXPECT_TRUE(screen_.closeEnabled);
    EXPECT_TRUE(screen_.barHidden);
    std::vector<std::string> expected;
    for (int i = 0; i < kFiles; ++i) {
        expected.push_back(
            platform::StrPrintf("%s  1K  (%d of %d)", names[i].c_str(), i + 1, kFiles));
        expected.push_back("Complete");
    }
    expected.push_back("Processing Complete");
    EXPECT_EQ(screen_.lines, expected);
}

// Before the dialog: a deployment that cannot be used is told in a box,
// since nobody started from the desktop reads standard error.
TEST(DeploymentFailureTest, ABoxSaysThatTrevastoCannotStartAndWhy) {
    const std::string message = "/etc/trevasto/deployment.conf: key_table is not set";
    QString caption;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QWidget* owner = nullptr;
    bool answered = false;
    app_qt_testing::AnswerModal([&](QWidget& modal) {
        auto* box = qobject_cast<QMessageBox*>(&modal);
        ASSERT_NE(box, nullptr);
        caption = box->windowTitle();
        text = box->text();
        icon = box->icon();
        owner = box->parentWidget();
        answered = true;
        box->button(QMessageBox::Ok)->click();
    });
    BoxPrompter prompter;
    ShowDeploymentFailureBox(prompter, message);
    ASSERT_TRUE(answered);
    EXPECT_EQ(caption, QStringLiteral("Trevasto"));
    EXPECT_EQ(icon, QMessageBox::Warning);
    EXPECT_EQ(owner, nullptr) << "there is no window yet";
    EXPECT_EQ(text.toStdString(), DeploymentFailureText(message));
    EXPECT_TRUE(text.startsWith(QStringLiteral("Trevasto cannot start"))) << text;
    EXPECT_TRUE(text.contains(QString::fromStdString(message))) << text;
}

TEST(DeploymentFailureTest, TheNoteForAMissingDisplayNamesIt) {
    struct Case {
        Environment environment;
        const char* note;
    };
    Environment x11;
    x11.display = ":0";
    Environment wayland = x11;
    wayland.waylandDisplay = "wayland-1";
    Environment platform = wayland;
    platform.qtPlatform = "eglfs";
    const Case cases[] = {
        {Environment{}, "trevasto: the display cannot be opened; using the console instead"},
        {x11, "trevasto: the display cannot be opened (DISPLAY=:0); using the console instead"},
        {wayland,
         "trevasto: the display cannot be opened (WAYLAND_DISPLAY=wayland-1); using the console "
         "instead"},
        {platform,
         "trevasto: the display cannot be opened (QT_QPA_PLATFORM=eglfs); using the console "
         "instead"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(NoDisplayNote(c.environment), c.note);
    }
}

}  // namespace
}  // namespace app::qt

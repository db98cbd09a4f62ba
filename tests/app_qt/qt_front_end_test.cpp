// The Qt front-end end to end: the launch on a key file, the real dialog with
// its real boxes and folder chooser, the real controller, worker and engine,
// against the local service running in-process. A scripted user answers
// every box from inside its own event loop, as a person at the screen would.

#include "app/qt/qt_front_end.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QObject>
#include <QPushButton>
#include <QTimer>
#include <QWidget>
#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/console/console_view.h"
#include "app/qt/file_status_list.h"
#include "app/qt/percent_progress_ctrl.h"
#include "app/qt/qt_transfer_dialog.h"
#include "deployment/deployment.h"
#include "engine/transfer_engine.h"
#include "net/key_table.h"
#include "platform/clock.h"
#include "platform/file.h"
#include "platform/process.h"
#include "platform/strings.h"
#include "service_support/service_test_support.h"
#include "support/temp_dir.h"
#include "tools/service/qvn_service.h"

namespace app::qt {
namespace {

using Steady = std::chrono::steady_clock;
using service_testing::PatternBytes;
using service_testing::TableBytes;

// Long enough for any healthy run on a loaded machine under the sanitizers;
// only a fault makes a step wait this long.
constexpr std::chrono::seconds kPatience{60};
constexpr int kPollMs = 5;

// A window as a failure message names it.
std::string Describe(QWidget* window) {
    if (window == nullptr) {
        return "none";
    }
    std::string text = std::string(window->metaObject()->className()) + " \"" +
                       window->windowTitle().toStdString() + "\"";
    if (auto* box = qobject_cast<QMessageBox*>(window)) {
        text += " saying \"" + box->text().toStdString() + "\"";
    }
    return text;
}

// What the user does, in order. Each step waits until the window it is
// about is the active modal window, then acts on it; the steps run from
// timers inside whichever modal loop is running. A step still waiting after
// the patience fails the test, and from then on every modal window is
// closed, so that the run ends instead of hanging.
class ScriptedUser {
  public:
    using Wanted = std::function<bool(QWidget&)>;
    using Act = std::function<void(QWidget&)>;

    void Then(std::string what, Wanted wanted, Act act) {
        steps_.push_back({std::move(what), std::move(wanted), std::move(act)});
    }

    void Begin() {
        deadline_ = Steady::now() + kPatience;
        Poll();
    }

    // The steps not taken, for the failure message.
    std::string StepsLeft() const {
        std::string left;
        for (std::size_t i = next_; i < steps_.size(); ++i) {
            left += "[" + steps_[i].what + "] ";
        }
        return left;
    }
    bool Done() const { return next_ == steps_.size() && !gaveUp_; }

  private:
    struct Step {
        std::string what;
        Wanted wanted;
        Act act;
    };

    void Poll() {
        // Timers die with the context object, so none outlives the user.
        QTimer::singleShot(kPollMs, &context_, [this] {
            QWidget* modal = QApplication::activeModalWidget();
            if (gaveUp_) {
                if (modal != nullptr) {
                    modal->close();
                }
            } else if (next_ < steps_.size()) {
                const Step& step = steps_[next_];
                if (modal != nullptr && step.wanted(*modal)) {
                    ++next_;
                    deadline_ = Steady::now() + kPatience;
                    step.act(*modal);
                } else if (Steady::now() > deadline_) {
                    ADD_FAILURE() << "waited in vain for " << step.what
                                  << "; the modal window up: " << Describe(modal);
                    gaveUp_ = true;
                }
            } else {
                return;
            }
            Poll();
        });
    }

    QObject context_;
    std::vector<Step> steps_;
    std::size_t next_ = 0;
    bool gaveUp_ = false;
    Steady::time_point deadline_;
};

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

QMessageBox* BoxSaying(QWidget& window, const char* text) {
    auto* box = qobject_cast<QMessageBox*>(&window);
    return box != nullptr && box->text() == QString::fromUtf8(text) ? box : nullptr;
}

// Text that compresses well, as the zipped transfers want.
std::string LedgerText(int lines) {
    std::string text;
    for (int i = 0; i < lines; ++i) {
        text += platform::StrPrintf("%05d harbour ledger parcel %d minutes\n", i, (i * 37) % 1000);
    }
    return text;
}

class QtFrontEndTest : public ::testing::Test {
  protected:
    void SetUp() override {
        const auto table = TableBytes();
        qvn_service::ServiceOptions options{net::KeyTable(table)};
        options.root = root_.path();
        qvn_service::ServiceStart start = qvn_service::QvnService::Start(std::move(options));
        ASSERT_TRUE(start.ok()) << start.error;
        service_ = std::move(start.service);

        // The program's own wiring: a deployment file naming the service,
        // the engine configured from it, the real controller over it.
        work_.Write("keytable.bin", std::string(table.begin(), table.end()));
        work_.Write("deployment.conf",
                    platform::StrPrintf("servers = 127.0.0.1:%u\nkey_table = keytable.bin\n",
                                        static_cast<unsigned>(service_->Ports().at(0))));
        const deployment::DeploymentResult settings =
            deployment::LoadDeployment(work_.Sub("deployment.conf"));
        ASSERT_TRUE(settings.ok()) << settings.message();
        frontEnd_.clock = &platform::SystemClock();
        frontEnd_.makeController = RealControllerFactory(
            engine::MakeEngineFactory(engine::EngineConfigFor(settings.value())),
            platform::SystemClock());
        frontEnd_.settings = SettingsFrom(Environment{}, "/usr/bin/trevasto");
    }

    void TearDown() override {
        if (service_) {
            service_->Stop();
        }
    }

    // Launches on a key file holding `key`, as the program started by the
    // web side does, with the user's steps; returns the exit status.
    int Launch(const std::string& key) {
        work_.Write("key.txt", "download=" + key);
        const std::string keyFile = work_.Sub("key.txt");
        const char* argv[] = {"trevasto", keyFile.c_str()};
        frontEnd_.launchKey = TakeKeyFile(KeyFileArgument(platform::UnsplitCommandLine(), 2, argv));
        user_.Begin();
        QtLaunchHost host(frontEnd_);
        const LaunchResult launch = TransferApp::Launch(frontEnd_.launchKey, host);
        EXPECT_TRUE(user_.Done()) << "steps not taken: " << user_.StepsLeft();
        EXPECT_FALSE(platform::Exists(work_.Sub("key.txt"))) << "the key file is deleted";
        return ConsoleExitStatus(launch, host.Outcome());
    }

    // The user's steps. The folder chooser: the destination folder, chosen.
    void ChooseDestination() {
        user_.Then(
            "the folder chooser",
            [](QWidget& window) {
                auto* chooser = qobject_cast<QFileDialog*>(&window);
                return chooser != nullptr &&
                       chooser->windowTitle() == QStringLiteral("Destination Folder");
            },
            [this](QWidget& window) {
                auto& chooser = static_cast<QFileDialog&>(window);
                chooser.setDirectory(QString::fromStdString(dest_.path()));
                // QFileDialog::accept, the handler of its Choose button.
                static_cast<QDialog&>(chooser).accept();
            });
    }

    // The replace question, answered with `button`.
    void AnswerReplace(QMessageBox::StandardButton button) {
        user_.Then(
            "the replace question",
            [](QWidget& window) { return BoxSaying(window, " Replace existing files?"); },
            [this, button](QWidget& window) {
                auto* box = BoxSaying(window, " Replace existing files?");
                questionOwnedByDialog_ =
                    qobject_cast<QtTransferDialog*>(box->parentWidget()) != nullptr;
                questionIcon_ = box->icon();
                box->button(button)->click();
            });
    }

    // The completion message: the dialog's screen read, the message
    // acknowledged, then the dialog closed with its Close button.
    void ReadTheScreenAndClose() {
        user_.Then(
            "the completion message",
            [](QWidget& window) { return BoxSaying(window, " Download Processing Complete"); },
            [this](QWidget& window) {
                auto* box = BoxSaying(window, " Download Processing Complete");
                auto* dialog = qobject_cast<QtTransferDialog*>(box->parentWidget());
                screen_.seen = true;
                screen_.boxOwnedByDialog = dialog != nullptr;
                if (dialog != nullptr) {
                    const FileStatusList& list = dialog->StatusList();
                    for (int i = 0; i < list.LineCount(); ++i) {
                        screen_.lines.push_back(list.Line(i));
                    }
                    screen_.destination = dialog->DestinationBox().text().toStdString();
                    screen_.closeEnabled = dialog->CloseButton().isEnabled();
                    screen_.barHidden = dialog->ProgressBar().isHidden();
                    screen_.timerRunning = dialog->TimerRunning();
                }
                box->button(QMessageBox::Ok)->click();
            });
        user_.Then(
            "the dialog with Close enabled",
            [](QWidget& window) {
                auto* dialog = qobject_cast<QtTransferDialog*>(&window);
                return dialog != nullptr && dialog->CloseButton().isEnabled();
            },
            [](QWidget& window) { static_cast<QtTransferDialog&>(window).CloseButton().click(); });
    }

    // Every listed file of the key arrived byte for byte, dated as the
    // service's copy to the second.
    void ExpectDownloaded(const std::string& key, const std::vector<std::string>& files) {
        for (const std::string& name : files) {
            const std::string source = root_.Sub(key + "/" + name);
            const std::string copy = dest_.Sub(name);
            EXPECT_EQ(dest_.Read(name), root_.Read(key + "/" + name)) << name;
            const auto sourceInfo = platform::GetFileInfo(source);
            const auto copyInfo = platform::GetFileInfo(copy);
            ASSERT_TRUE(sourceInfo.ok() && copyInfo.ok()) << name;
            EXPECT_EQ(copyInfo->lastWrite.ticks / 10'000'000,
                      sourceInfo->lastWrite.ticks / 10'000'000)
                << name;
        }
    }

    testing_support::TempDir root_;  // the service's key folders
    testing_support::TempDir work_;  // deployment, key table, key file
    testing_support::TempDir dest_;  // the user's destination folder
    std::unique_ptr<qvn_service::QvnService> service_;
    FrontEnd frontEnd_;
    ScriptedUser user_;
    FinalScreen screen_;
    bool questionOwnedByDialog_ = false;
    QMessageBox::Icon questionIcon_ = QMessageBox::NoIcon;
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

}  // namespace
}  // namespace app::qt

#include "qt_run_harness.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QKeyEvent>
#include <QPushButton>
#include <QTimer>

#include "app/console/console_view.h"
#include "app/qt/qt_front_end.h"
#include "app/qt/qt_transfer_dialog.h"
#include "deployment/deployment.h"
#include "engine/transfer_engine.h"
#include "net/key_table.h"
#include "platform/clock.h"
#include "platform/file.h"
#include "platform/process.h"
#include "platform/strings.h"
#include "service_support/service_test_support.h"

namespace app_qt_testing {
namespace {

using Steady = std::chrono::steady_clock;
constexpr int kPollMs = 5;

}  // namespace

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

QMessageBox* BoxSaying(QWidget& window, const char* text) {
    auto* box = qobject_cast<QMessageBox*>(&window);
    return box != nullptr && box->text() == QString::fromUtf8(text) ? box : nullptr;
}

app::qt::QtTransferDialog* TransferDialogOf(QWidget& window) {
    return qobject_cast<app::qt::QtTransferDialog*>(&window);
}

std::string LedgerText(int lines) {
    std::string text;
    for (int i = 0; i < lines; ++i) {
        text += platform::StrPrintf("%05d harbour ledger parcel %d minutes\n", i, (i * 37) % 1000);
    }
    return text;
}

void ScriptedUser::Then(std::string what, Wanted wanted, Act act) {
    steps_.push_back({std::move(what), std::move(wanted), std::move(act)});
}

void ScriptedUser::Begin() {
    deadline_ = Steady::now() + kPatience;
    Poll();
}

std::string ScriptedUser::StepsLeft() const {
    std::string left;
    for (std::size_t i = next_; i < steps_.size(); ++i) {
        left += "[" + steps_[i].what + "] ";
    }
    return left;
}

void ScriptedUser::Poll() {
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

void QtRunTest::SetUp() {
    const auto table = service_testing::TableBytes();
    qvn_service::ServiceOptions options{net::KeyTable(table)};
    options.root = root_.path();
    qvn_service::ServiceStart start = qvn_service::QvnService::Start(std::move(options));
    ASSERT_TRUE(start.ok()) << start.error;
    service_ = std::move(start.service);
    work_.Write("keytable.bin", std::string(table.begin(), table.end()));
    UseDeployment("connect_pause = 0ms\nretry_pauses = 50ms 200ms\n");
}

void QtRunTest::TearDown() {
    if (service_) {
        service_->Stop();
    }
}

void QtRunTest::UseDeployment(const std::string& extraLines, const std::string& servers) {
    // The program's own wiring: a deployment file naming the service, the
    // engine configured from it, the real controller over it, the settings
    // as main sets them.
    const std::string serverList =
        servers.empty()
            ? platform::StrPrintf("127.0.0.1:%u", static_cast<unsigned>(service_->Ports().at(0)))
            : servers;
    work_.Write("deployment.conf",
                "servers = " + serverList + "\nkey_table = keytable.bin\n" + extraLines);
    const deployment::DeploymentResult settings =
        deployment::LoadDeployment(work_.Sub("deployment.conf"));
    ASSERT_TRUE(settings.ok()) << settings.message();
    frontEnd_.clock = &platform::SystemClock();
    frontEnd_.makeController = app::RealControllerFactory(
        engine::MakeEngineFactory(engine::EngineConfigFor(settings.value())),
        platform::SystemClock());
    frontEnd_.settings = app::SettingsFrom(app::Environment{}, "/usr/bin/trevasto");
    frontEnd_.settings.firstRetryPause = settings.value().firstRetryPause;
    frontEnd_.settings.longestRetryPause = settings.value().longestRetryPause;
}

int QtRunTest::Launch(const std::string& key) {
    work_.Write("key.txt", "download=" + key);
    const std::string keyFile = work_.Sub("key.txt");
    const char* argv[] = {"trevasto", keyFile.c_str()};
    frontEnd_.launchKey =
        app::TakeKeyFile(app::KeyFileArgument(platform::UnsplitCommandLine(), 2, argv));
    user_.Begin();
    app::qt::QtLaunchHost host(frontEnd_, desktop_);
    const app::LaunchResult launch = app::TransferApp::Launch(frontEnd_.launchKey, host);
    EXPECT_TRUE(user_.Done()) << "steps not taken: " << user_.StepsLeft();
    EXPECT_FALSE(platform::Exists(work_.Sub("key.txt"))) << "the key file is deleted";
    return app::ConsoleExitStatus(launch, host.Outcome());
}

void QtRunTest::ChooseDestination() {
    user_.Then(
        "the folder chooser",
        [](QWidget& window) {
            auto* chooser = qobject_cast<QFileDialog*>(&window);
            return chooser != nullptr &&
                   chooser->windowTitle() == QStringLiteral("Destination Folder");
        },
        [this](QWidget& window) {
            auto& chooser = static_cast<QFileDialog&>(window);
            chooserOpenedIn_ = chooser.directory().absolutePath();
            chooser.setDirectory(QString::fromStdString(dest_.path()));
            // QFileDialog::accept, the handler of its Choose button.
            static_cast<QDialog&>(chooser).accept();
        });
}

void QtRunTest::AnswerReplace(QMessageBox::StandardButton button) {
    user_.Then(
        "the replace question",
        [](QWidget& window) { return BoxSaying(window, " Replace existing files?"); },
        [this, button](QWidget& window) {
            auto* box = BoxSaying(window, " Replace existing files?");
            questionOwnedByDialog_ = TransferDialogOf(*box->parentWidget()) != nullptr;
            questionIcon_ = box->icon();
            replaceDetails_ = box->detailedText();
            box->button(button)->click();
        });
}

void QtRunTest::PressKey(QWidget& window, int key) {
    QCoreApplication::postEvent(&window, new QKeyEvent(QEvent::KeyPress, key, Qt::NoModifier));
    QCoreApplication::postEvent(&window, new QKeyEvent(QEvent::KeyRelease, key, Qt::NoModifier));
}

void QtRunTest::AcknowledgeCompletionAndClose(
    const std::function<void(app::qt::QtTransferDialog&)>& look) {
    user_.Then(
        "the completion message",
        [](QWidget& window) { return BoxSaying(window, " Download Processing Complete"); },
        [look](QWidget& window) {
            auto* box = BoxSaying(window, " Download Processing Complete");
            app::qt::QtTransferDialog* dialog = TransferDialogOf(*box->parentWidget());
            EXPECT_NE(dialog, nullptr) << "the box belongs to the dialog";
            if (dialog != nullptr && look) {
                look(*dialog);
            }
            box->button(QMessageBox::Ok)->click();
        });
    user_.Then(
        "the dialog with Close enabled",
        [](QWidget& window) {
            auto* dialog = TransferDialogOf(window);
            return dialog != nullptr && dialog->CloseButton().isEnabled();
        },
        [](QWidget& window) { TransferDialogOf(window)->CloseButton().click(); });
}

void QtRunTest::ExpectDownloaded(const std::string& key, const std::vector<std::string>& files) {
    for (const std::string& name : files) {
        const std::string source = root_.Sub(key + "/" + name);
        const std::string copy = dest_.Sub(name);
        EXPECT_EQ(dest_.Read(name), root_.Read(key + "/" + name)) << name;
        const auto sourceInfo = platform::GetFileInfo(source);
        const auto copyInfo = platform::GetFileInfo(copy);
        ASSERT_TRUE(sourceInfo.ok() && copyInfo.ok()) << name;
        EXPECT_EQ(copyInfo->lastWrite.ticks / 10'000'000, sourceInfo->lastWrite.ticks / 10'000'000)
            << name;
    }
}

}  // namespace app_qt_testing

#pragma once
// Runs of the Qt front-end end to end: the launch on a key file, the real
// dialog with its real boxes and folder chooser, the real controller, worker
// and engine, against the local service running in-process. A scripted user
// answers every box from inside its own event loop, as a person at the
// screen would, and looks at the dialog while it runs.

#include <gtest/gtest.h>
#include <QMessageBox>
#include <QObject>
#include <QString>
#include <QWidget>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/front_end.h"
#include "qt_testing.h"
#include "support/temp_dir.h"
#include "tools/service/qvn_service.h"

namespace app::qt {
class QtTransferDialog;
}

namespace app_qt_testing {

// Long enough for any healthy run on a loaded machine under the sanitizers;
// only a fault makes a step wait this long.
inline constexpr std::chrono::seconds kPatience{60};

// A window as a failure message names it.
std::string Describe(QWidget* window);

// The box saying exactly `text`, or nothing.
QMessageBox* BoxSaying(QWidget& window, const char* text);
// The transfer dialog, or nothing.
app::qt::QtTransferDialog* TransferDialogOf(QWidget& window);

// Text that compresses well, as the zipped transfers want.
std::string LedgerText(int lines);

// What the user does, in order. Each step waits until the window it is
// about is the active modal window (the dialog itself while no box is up)
// and `wanted` accepts it, then acts on it; the steps run from timers inside
// whichever modal loop is running, so an act must not open a loop of its
// own (it posts a key rather than sending it). A step still waiting after
// the patience fails the test, and from then on every modal window is
// closed, so that the run ends instead of hanging.
class ScriptedUser {
  public:
    using Wanted = std::function<bool(QWidget&)>;
    using Act = std::function<void(QWidget&)>;

    void Then(std::string what, Wanted wanted, Act act);
    void Begin();

    // The steps not taken, for the failure message.
    std::string StepsLeft() const;
    bool Done() const { return next_ == steps_.size() && !gaveUp_; }

  private:
    struct Step {
        std::string what;
        Wanted wanted;
        Act act;
    };

    void Poll();

    QObject context_;
    std::vector<Step> steps_;
    std::size_t next_ = 0;
    bool gaveUp_ = false;
    std::chrono::steady_clock::time_point deadline_;
};

class QtRunTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // The deployment the runs use: the service's port (or `servers`,
    // "127.0.0.1:PORT ..."), the key table, and `extraLines`. The default
    // one has no pause between connection attempts and short pauses before
    // a retry.
    void UseDeployment(const std::string& extraLines, const std::string& servers = "");

    // Launches on a key file holding `key`, as the program started by the
    // web side does, with the user's steps; returns the exit status.
    int Launch(const std::string& key);

    // The user's steps. The folder chooser: the destination folder, chosen.
    // The folder it opened in is kept in `chooserOpenedIn_`.
    void ChooseDestination();
    // The replace question, answered with `button`; its details are kept in
    // `replaceDetails_`.
    void AnswerReplace(QMessageBox::StandardButton button);
    // Posts a key press to the window, as the user's keyboard would.
    static void PressKey(QWidget& window, int key);
    // The completion message acknowledged (after `look` has read the
    // dialog), then the dialog closed with its Close button.
    void AcknowledgeCompletionAndClose(
        const std::function<void(app::qt::QtTransferDialog&)>& look = {});

    // Every listed file of the key arrived byte for byte, dated as the
    // service's copy to the second.
    void ExpectDownloaded(const std::string& key, const std::vector<std::string>& files);

    testing_support::TempDir root_;  // the service's key folders
    testing_support::TempDir work_;  // deployment, key table, key file
    testing_support::TempDir dest_;  // the user's destination folder
    std::unique_ptr<qvn_service::QvnService> service_;
    app::FrontEnd frontEnd_;
    std::shared_ptr<RecordingDesktop> desktop_ = std::make_shared<RecordingDesktop>();
    ScriptedUser user_;
    QString chooserOpenedIn_;
    QString replaceDetails_;
    bool questionOwnedByDialog_ = false;
    QMessageBox::Icon questionIcon_ = QMessageBox::NoIcon;
};

}  // namespace app_qt_testing

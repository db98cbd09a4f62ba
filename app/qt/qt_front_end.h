#pragma once
// The launch with the Qt dialog as its window.

#include <memory>
#include <optional>
#include <string>

#include "app/front_end.h"

namespace app::qt {

class Desktop;
class Prompter;

// The launch host of the Qt front-end, inside a running QApplication: the
// launch's messages in boxes without an owner window, and the transfer
// dialog run modally with the real boxes, ticked by its timer and at once
// by the worker's news. Escape and the window's close button ask before
// they stop a run. Without a desktop the dialog uses the real one.
class QtLaunchHost final : public LaunchHost {
  public:
    explicit QtLaunchHost(const FrontEnd& frontEnd, std::shared_ptr<Desktop> desktop = nullptr);

    void ShowMessage(const std::string& text) override;
    void RunDialog(const std::optional<std::string>& key) override;

    DialogOutcome Outcome() const { return outcome_; }

  private:
    const FrontEnd& frontEnd_;
    std::shared_ptr<Desktop> desktop_;
    DialogOutcome outcome_ = DialogOutcome::Running;
};

// Runs the launch in a QApplication; returns the process's exit status
// (the same values as the console's). When no display can be opened, says
// so in one line on standard error and runs the console front-end instead.
int RunQtFrontEnd(int& argc, char** argv, const FrontEnd& frontEnd);

// A failure before the dialog (the deployment cannot be used) in a box, for
// a user who started the program from the desktop and never sees standard
// error; nothing when no display can be opened.
void ShowDeploymentFailure(int& argc, char** argv, const std::string& message);

// The box's text for such a failure (app/front_end.h), and the box itself
// (a warning without an owner window), inside a running QApplication.
using app::DeploymentFailureText;
void ShowDeploymentFailureBox(Prompter& prompter, const std::string& message);

// The note on standard error when the console runs for want of a display.
std::string NoDisplayNote(const Environment& environment);

}  // namespace app::qt

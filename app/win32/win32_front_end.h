#pragma once
// The launch with the Win32 dialog as its window.

#include <optional>
#include <string>

#include "app/front_end.h"

namespace app::win32 {

// The launch host of the Win32 front-end: the launch's messages in boxes
// without an owner window, and the transfer dialog run modally, ticked by
// its timer and at once by the worker's news.
class Win32LaunchHost final : public LaunchHost {
  public:
    explicit Win32LaunchHost(const FrontEnd& frontEnd) : frontEnd_(frontEnd) {}

    void ShowMessage(const std::string& text) override;
    void RunDialog(const std::optional<std::string>& key) override;

    DialogOutcome Outcome() const { return outcome_; }

  private:
    const FrontEnd& frontEnd_;
    DialogOutcome outcome_ = DialogOutcome::Running;
};

// A failure before the dialog (the deployment cannot be used) in a box: a
// warning without an owner window.
void ShowDeploymentFailure(const std::string& message);

// Runs the launch with the Win32 dialog; returns the process's exit status
// (the same values as the console's).
int RunWin32FrontEnd(const FrontEnd& frontEnd);

}  // namespace app::win32

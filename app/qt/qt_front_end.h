#pragma once
// The launch with the Qt dialog as its window.

#include <optional>
#include <string>

#include "app/front_end.h"

namespace app::qt {

// The launch host of the Qt front-end, inside a running QApplication: the
// launch's messages in boxes without an owner window, and the transfer
// dialog run modally with the real boxes, ticked by its timer and at once
// by the worker's news.
class QtLaunchHost final : public LaunchHost {
  public:
    explicit QtLaunchHost(const FrontEnd& frontEnd) : frontEnd_(frontEnd) {}

    void ShowMessage(const std::string& text) override;
    void RunDialog(const std::optional<std::string>& key) override;

    DialogOutcome Outcome() const { return outcome_; }

  private:
    const FrontEnd& frontEnd_;
    DialogOutcome outcome_ = DialogOutcome::Running;
};

// Runs the launch in a QApplication; returns the process's exit status
// (the same values as the console's).
int RunQtFrontEnd(int& argc, char** argv, const FrontEnd& frontEnd);

}  // namespace app::qt

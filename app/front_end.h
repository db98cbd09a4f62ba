#pragma once
// What both front-ends share: the settings read from the environment, the
// choice between the dialog and the console, and the exit status.

#include <optional>
#include <string>

#include "app/dialog_controller.h"
#include "app/transfer_app.h"
#include "app/transfer_dialog.h"
#include "platform/clock.h"

namespace app {

// The environment as the front-ends read it.
struct Environment {
    std::optional<std::string> ui;              // TREVASTO_UI
    std::optional<std::string> display;         // DISPLAY
    std::optional<std::string> waylandDisplay;  // WAYLAND_DISPLAY
    std::optional<std::string> qtPlatform;      // QT_QPA_PLATFORM
    std::optional<std::string> logDirectory;    // TREVASTO_LOG_DIR
    std::optional<std::string> logFlags;        // TREVASTO_LOG_FLAGS

    static Environment FromProcess();
};

// Whether the console was asked for (TREVASTO_UI=console).
bool ConsoleAskedFor(const Environment& environment);
// The console is used when asked for or when there is no display to show
// the dialog on.
bool UseConsole(const Environment& environment);

// What a dialog front-end shows when the deployment cannot be used, for a
// user who started the program from the desktop and never sees standard
// error.
std::string DeploymentFailureText(const std::string& message);

// The dialog's logging switch and program path from the environment.
DialogSettings SettingsFrom(const Environment& environment, std::string programPath);

struct FrontEnd {
    ControllerFactory makeController;
    platform::Clock* clock = nullptr;
    DialogSettings settings;
    LaunchKey launchKey;  // taken before the deployment was loaded
};

// Runs the launch on the console; returns the process's exit status.
int RunConsoleFrontEnd(const FrontEnd& frontEnd);

}  // namespace app

#include "app/front_end.h"

#include <cstdio>
#include <memory>

#include "app/console/console_stop.h"
#include "app/console/console_view.h"
#include "platform/owned_thread.h"
#include "platform/process.h"
#include "platform/stop_signal.h"
#include "platform/strings.h"
#include "platform/terminal.h"
#include "platform/user_folders.h"

namespace app {
namespace {

bool Set(const std::optional<std::string>& value) {
    return value && !value->empty();
}

}  // namespace

Environment Environment::FromProcess() {
    Environment environment;
    environment.ui = platform::EnvironmentVariable("TREVASTO_UI");
    environment.display = platform::EnvironmentVariable("DISPLAY");
    environment.waylandDisplay = platform::EnvironmentVariable("WAYLAND_DISPLAY");
    environment.qtPlatform = platform::EnvironmentVariable("QT_QPA_PLATFORM");
    environment.logDirectory = platform::EnvironmentVariable("TREVASTO_LOG_DIR");
    environment.logFlags = platform::EnvironmentVariable("TREVASTO_LOG_FLAGS");
    return environment;
}

bool ConsoleAskedFor(const Environment& environment) {
    return environment.ui && platform::EqualsNoCase(*environment.ui, "console");
}

std::string DeploymentFailureText(const std::string& message) {
    return "Trevasto cannot start: its deployment is missing or unusable.\n\n" + message +
           "\n\nPlease ask whoever installed Trevasto to set it up.";
}

bool UseConsole(const Environment& environment) {
    if (ConsoleAskedFor(environment)) {
        return true;
    }
    // A platform chosen explicitly (offscreen, for instance) needs no display.
    if (Set(environment.qtPlatform)) {
        return false;
    }
    return !Set(environment.display) && !Set(environment.waylandDisplay);
}

DialogSettings SettingsFrom(const Environment& environment, std::string programPath) {
    DialogSettings settings;
    settings.programPath = std::move(programPath);
    if (Set(environment.logDirectory)) {
        settings.loggingEnabled = true;
        settings.logDirectory = *environment.logDirectory;
        if (Set(environment.logFlags)) {
            const long long flags = platform::ParseDecimal(*environment.logFlags);
            settings.logFlags = flags > 0 ? static_cast<std::uint32_t>(flags) : 0;
        }
    }
    return settings;
}

int RunConsoleFrontEnd(const FrontEnd& frontEnd) {
    // Ctrl-C and SIGTERM go to a thread of their own, which hands them to
    // the console's loop; blocked before the worker starts, so that every
    // thread of the run leaves them to it.
    platform::BlockStopSignals();
    ConsoleOptions options;
    options.inputIsTerminal = platform::IsTerminal(stdin);
    options.errorIsTerminal = platform::IsTerminal(stderr);
    options.columns = options.errorIsTerminal ? platform::ErrorStreamColumns() : 80;
    options.home = platform::HomeFolder();
    options.stop = std::make_shared<ConsoleStop>();
    // It waits for the rest of the process, so its owner never waits for
    // it; it holds nothing of this function's but the shared stop.
    const platform::OwnedThread signals([stop = options.stop] {
        for (;;) {
            const int signal = platform::WaitForStopSignal();
            if (!stop->Post()) {
                platform::EndWithStopSignal(signal);
            }
        }
    });
    ConsoleView view(stdin, stdout, stderr, std::move(options));
    ConsoleLaunchHost host(view, frontEnd.makeController, *frontEnd.clock, frontEnd.settings);
    const LaunchResult launch = TransferApp::Launch(frontEnd.launchKey, host);
    return ConsoleExitStatus(launch, host.Outcome());
}

}  // namespace app

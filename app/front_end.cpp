#include "app/front_end.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>

#include "app/console/console_stop.h"
#include "app/console/console_view.h"
#include "platform/owned_thread.h"
#include "platform/stop_signal.h"
#include "platform/strings.h"

namespace app {
namespace {

std::optional<std::string> Variable(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr) {
        return std::nullopt;
    }
    return std::string(value);
}

bool Set(const std::optional<std::string>& value) {
    return value && !value->empty();
}

// The width of the terminal on standard error; 80 when it does not say.
int ErrorColumns() {
    struct winsize size {};
    if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) {
        return size.ws_col;
    }
    return 80;
}

}  // namespace

Environment Environment::FromProcess() {
    Environment environment;
    environment.ui = Variable("TREVASTO_UI");
    environment.display = Variable("DISPLAY");
    environment.waylandDisplay = Variable("WAYLAND_DISPLAY");
    environment.qtPlatform = Variable("QT_QPA_PLATFORM");
    environment.logDirectory = Variable("TREVASTO_LOG_DIR");
    environment.logFlags = Variable("TREVASTO_LOG_FLAGS");
    return environment;
}

bool UseConsole(const Environment& environment) {
    if (environment.ui && platform::EqualsNoCase(*environment.ui, "console")) {
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
    options.inputIsTerminal = ::isatty(STDIN_FILENO) == 1;
    options.errorIsTerminal = ::isatty(STDERR_FILENO) == 1;
    options.columns = options.errorIsTerminal ? ErrorColumns() : 80;
    options.home = Variable("HOME").value_or("");
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

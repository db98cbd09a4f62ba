#include "app/front_end.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "app/console/console_view.h"
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

bool ConsoleAskedFor(const Environment& environment) {
    return environment.ui && platform::EqualsNoCase(*environment.ui, "console");
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
    ConsoleView view(stdin, stdout, stderr, ::isatty(STDERR_FILENO) == 1);
    ConsoleLaunchHost host(view, frontEnd.makeController, *frontEnd.clock, frontEnd.settings);
    const LaunchResult launch = TransferApp::Launch(frontEnd.launchKey, host);
    return ConsoleExitStatus(launch, host.Outcome());
}

}  // namespace app

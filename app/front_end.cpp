#include "app/front_end.h"

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <sys/ioctl.h>
#include <unistd.h>
#endif

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <memory>

#include "app/console/console_stop.h"
#include "app/console/console_view.h"
#include "platform/owned_thread.h"
#include "platform/stop_signal.h"
#include "platform/strings.h"

namespace app {
namespace {

#ifdef _WIN32
// In UTF-8, as every path above the platform layer is (getenv would give
// the ANSI code page's bytes).
std::optional<std::string> Variable(const char* name) {
    const std::wstring wideName(name, name + std::strlen(name));  // ASCII names
    const wchar_t* value = ::_wgetenv(wideName.c_str());
    if (value == nullptr) {
        return std::nullopt;
    }
    const int length = static_cast<int>(std::wcslen(value));
    std::string text(static_cast<std::size_t>(length) * 3, '\0');
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, value, length, text.data(),
                                        static_cast<int>(text.size()), nullptr, nullptr);
    text.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    return text;
}
#else
std::optional<std::string> Variable(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr) {
        return std::nullopt;
    }
    return std::string(value);
}
#endif

bool Set(const std::optional<std::string>& value) {
    return value && !value->empty();
}

#ifdef _WIN32
bool IsTerminal(std::FILE* stream) {
    return ::_isatty(::_fileno(stream)) != 0;
}

// The width of the console window on standard error; 80 when it does not
// say.
int ErrorColumns() {
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (::GetConsoleScreenBufferInfo(::GetStdHandle(STD_ERROR_HANDLE), &info)) {
        const int columns = info.srWindow.Right - info.srWindow.Left + 1;
        if (columns > 0) {
            return columns;
        }
    }
    return 80;
}

// The home folder that "~" in a typed folder stands for.
std::string HomeFolder() {
    return Variable("USERPROFILE").value_or("");
}
#else
bool IsTerminal(std::FILE* stream) {
    return ::isatty(::fileno(stream)) == 1;
}

// The width of the terminal on standard error; 80 when it does not say.
int ErrorColumns() {
    struct winsize size {};
    if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) {
        return size.ws_col;
    }
    return 80;
}

std::string HomeFolder() {
    return Variable("HOME").value_or("");
}
#endif

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
    options.inputIsTerminal = IsTerminal(stdin);
    options.errorIsTerminal = IsTerminal(stderr);
    options.columns = options.errorIsTerminal ? ErrorColumns() : 80;
    options.home = HomeFolder();
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

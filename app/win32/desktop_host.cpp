#include "app/desktop_host.h"

#include "app/win32/win32_front_end.h"

namespace app {

// Windows always has a desktop to show the dialog on.
bool DesktopWanted(const Environment& environment) {
    return !ConsoleAskedFor(environment);
}

void ShowDeploymentFailureOnDesktop(int& /*argc*/, char** /*argv*/, const Environment& environment,
                                    const std::string& message) {
    if (DesktopWanted(environment)) {
        win32::ShowDeploymentFailure(message);
    }
}

int RunDesktopFrontEnd(int& /*argc*/, char** /*argv*/, const FrontEnd& frontEnd) {
    return win32::RunWin32FrontEnd(frontEnd);
}

}  // namespace app

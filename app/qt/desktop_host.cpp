#include "app/desktop_host.h"

#include "app/qt/qt_front_end.h"

namespace app {

bool DesktopWanted(const Environment& environment) {
    return !UseConsole(environment);
}

void ShowDeploymentFailureOnDesktop(int& argc, char** argv, const Environment& environment,
                                    const std::string& message) {
    if (DesktopWanted(environment)) {
        qt::ShowDeploymentFailure(argc, argv, message);
    }
}

int RunDesktopFrontEnd(int& argc, char** argv, const FrontEnd& frontEnd) {
    return qt::RunQtFrontEnd(argc, argv, frontEnd);
}

}  // namespace app

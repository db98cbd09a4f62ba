#include "app/desktop_host.h"

// A build without a dialog: the console serves every environment.
namespace app {

bool DesktopWanted(const Environment& /*environment*/) {
    return false;
}

void ShowDeploymentFailureOnDesktop(int& /*argc*/, char** /*argv*/,
                                    const Environment& /*environment*/,
                                    const std::string& /*message*/) {}

int RunDesktopFrontEnd(int& /*argc*/, char** /*argv*/, const FrontEnd& frontEnd) {
    return RunConsoleFrontEnd(frontEnd);
}

}  // namespace app

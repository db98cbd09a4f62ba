#pragma once
// The desktop's dialog, where the build has one: Qt's, Win32's, or none
// (a console-only build). The program's start calls these and leaves the
// choice of host to the build, which links exactly one implementation.

#include <string>

#include "app/front_end.h"

namespace app {

// Whether this environment gets the dialog rather than the console.
bool DesktopWanted(const Environment& environment);

// Tells an unusable deployment in a box too, when the dialog would have
// been used: started from the desktop, nobody reads standard error.
void ShowDeploymentFailureOnDesktop(int& argc, char** argv, const Environment& environment,
                                    const std::string& message);

// Runs the launch with the dialog.
int RunDesktopFrontEnd(int& argc, char** argv, const FrontEnd& frontEnd);

}  // namespace app

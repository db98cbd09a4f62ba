#pragma once
// The launch with the Qt dialog as its window.

#include "app/front_end.h"

namespace app::qt {

// Runs the launch in a QApplication; returns the process's exit status
// (the same values as the console's).
int RunQtFrontEnd(int& argc, char** argv, const FrontEnd& frontEnd);

}  // namespace app::qt

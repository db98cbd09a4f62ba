#pragma once
// What the process knows of itself.

#include <string>

namespace platform {

// Full path of the running program.
std::string ExecutablePath();

// The raw command line, rebuilt from argv: the program name (quoted when it
// holds a blank or is empty), then the arguments joined by single blanks, as
// a launcher would have passed them.
std::string RawCommandLine(int argc, const char* const* argv);

}  // namespace platform

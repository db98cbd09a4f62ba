#pragma once
// What the process knows of itself.

#include <optional>
#include <string>

namespace platform {

// Full path of the running program.
std::string ExecutablePath();

// The command line as one unsplit text, where the system hands a program
// that and leaves the splitting to it; nothing where the system passes the
// arguments already split (POSIX), so that argv is taken as it is and no
// quote rule can turn one argument into another path.
std::optional<std::string> UnsplitCommandLine();

}  // namespace platform

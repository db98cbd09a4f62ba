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

// From now on a write beyond the process's file size limit fails with an
// error, as on a full disk, instead of ending the program.
void FailWritesBeyondTheSizeLimit();

// An environment variable's value in UTF-8, as every text above this layer
// is; nothing when it is not set.
std::optional<std::string> EnvironmentVariable(const char* name);

}  // namespace platform

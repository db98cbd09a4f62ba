#pragma once
// Folders that belong to the user rather than to the process's current
// folder, which from a desktop launcher is the home folder itself.

#include <optional>
#include <string>

namespace platform {

// The program's own folder in the user's cache: $XDG_CACHE_HOME/trevasto
// when XDG_CACHE_HOME is an absolute path, else $HOME/.cache/trevasto (HOME
// absolute too). Missing levels are created, readable by the user alone.
// Nothing when neither variable names a usable place or the folder cannot
// be made.
std::optional<std::string> UserCacheFolder();

// The program's own folder in the user's configuration, for what it
// remembers between runs: $XDG_CONFIG_HOME/trevasto, else
// $HOME/.config/trevasto; made as the cache folder is.
std::optional<std::string> UserConfigFolder();

// The system-wide folder of the program's settings, which only an
// administrator can write: /etc/trevasto on POSIX systems. None on
// Windows, where any user may make folders at a drive's root and in
// ProgramData, so that a file found there could be anyone's: the
// installation's own folder is the only place there.
std::optional<std::string> SystemConfigFolder();

// The user's downloads folder: XDG_DOWNLOAD_DIR of the user's folders file
// ($XDG_CONFIG_HOME/user-dirs.dirs) when it names an existing folder, else
// $HOME/Downloads when it exists, else the home folder; nothing without a
// home.
std::optional<std::string> DownloadsFolder();

// The user's home folder ($HOME, %USERPROFILE%), which "~" in a typed
// folder stands for; empty when unknown.
std::string HomeFolder();

}  // namespace platform

#pragma once
// Local paths. Names from the service and the log use '\' between levels;
// this system's separator is '/'. These helpers are the only code that joins
// folders and names.

#include <optional>
#include <string>
#include <string_view>

namespace platform {

inline constexpr char kPathSeparator = '/';

// Joins a folder and a relative name whose levels are separated by '\'.
// Refuses (nullopt) any name that could lead outside the folder: an empty
// name or level, a "." or ".." level, a leading separator, a drive-like
// first level ("C:..."), or a '/' or NUL byte inside a level.
std::optional<std::string> JoinUnder(std::string_view folder, std::string_view relative);

// Appends one file name to a folder, with a separator unless the folder
// already ends in one (an empty folder gives the root).
std::string JoinName(std::string_view folder, std::string_view name);

// The part after the last separator (the whole text when there is none).
std::string_view FileNamePart(std::string_view path);

// The part before the last separator; nullopt when there is no separator.
std::optional<std::string_view> FolderPart(std::string_view path);

}  // namespace platform

#pragma once
// Local paths. Names from the service and the log use '\' between levels;
// this system's separator is '/' on POSIX systems and '\' on Windows (which
// reads '/' as one too). These helpers are the only code that joins folders
// and names, and that decides which names a file may have here.

#include <optional>
#include <string>
#include <string_view>

namespace platform {

#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
// Every character the system reads as a separator.
inline constexpr std::string_view kPathSeparators = "\\/";
#else
inline constexpr char kPathSeparator = '/';
inline constexpr std::string_view kPathSeparators = "/";
#endif

// The names a file system takes as they are written. Posix: any level but
// "." and "..", without '/' or NUL. Windows in addition refuses what it
// would read as something else or not store: the device names (CON, PRN,
// AUX, NUL, COM0-COM9, LPT0-LPT9, also with an extension, in any letter
// case, also before blanks, and CONIN$, CONOUT$), a trailing '.' or blank,
// the characters < > : " / \ | ? * and control characters; and it does not
// tell letter case apart (NameKey).
enum class NameRules { Posix, Windows };

// This system's rules (path_posix.cpp, path_win.cpp).
NameRules SystemNameRules();

// Whether a path names the same place whatever the current folder is: one
// that begins with '/' on POSIX systems; on Windows one with a drive and a
// separator ("C:\x"), a network path ("\\server\share") or one that
// begins with a separator (the current drive's root).
bool IsAbsolutePath(std::string_view path);

// Whether one level of a name (UTF-8, no separator) can name a file or
// folder under `rules` as it is written.
bool IsStorableName(std::string_view level, NameRules rules);

// Joins a folder and a relative name whose levels are separated by '\'.
// Refuses (nullopt) any name that could lead outside the folder: an empty
// name or level, a "." or ".." level, a leading separator, a drive-like
// first level ("C:..."), or a '/' or NUL byte inside a level; and any
// level that `rules` does not store as written (IsStorableName).
std::optional<std::string> JoinUnder(std::string_view folder, std::string_view relative,
                                     NameRules rules);
// The same under this system's rules.
std::optional<std::string> JoinUnder(std::string_view folder, std::string_view relative);

// What two paths that name one file under `rules` have in common: the path
// itself under Posix; under Windows with letters of one case (ASCII and
// the Latin, Greek and Cyrillic letters of the single-byte code pages;
// other characters compare as they are).
std::string NameKey(std::string_view path, NameRules rules);

// Appends one file name to a folder, with a separator unless the folder
// already ends in one (an empty folder gives the root).
std::string JoinName(std::string_view folder, std::string_view name);

// The part after the last separator (the whole text when there is none).
std::string_view FileNamePart(std::string_view path);

// The part before the last separator; nullopt when there is no separator.
std::optional<std::string_view> FolderPart(std::string_view path);

}  // namespace platform

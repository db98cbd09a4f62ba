#include "platform/user_folders.h"

#include <shlobj.h>

#include <cstdlib>

#include "platform/file.h"
#include "platform/path.h"
#include "platform/process.h"
#include "platform/windows_win.h"

namespace platform {
namespace {

constexpr const char* kProgramFolder = "Trevasto";

// A path that names a place whatever the current folder is: a drive's
// root or a network share.
bool IsAbsolute(std::string_view path) {
    const bool drive = path.size() >= 3 && path[1] == ':' &&
                       kPathSeparators.find(path[2]) != std::string_view::npos;
    const bool share = path.size() >= 2 &&
                       kPathSeparators.find(path[0]) != std::string_view::npos &&
                       kPathSeparators.find(path[1]) != std::string_view::npos;
    return drive || share;
}

// An environment variable's value when it is an absolute path; a relative
// one would lead into whatever folder the process was started in.
std::optional<std::string> AbsoluteVariable(const wchar_t* name) {
    const wchar_t* value = ::_wgetenv(name);
    if (value == nullptr) {
        return std::nullopt;
    }
    std::string path = windows::Narrow(value);
    if (!IsAbsolute(path)) {
        return std::nullopt;
    }
    return path;
}

std::optional<std::string> KnownFolder(REFKNOWNFOLDERID id) {
    wchar_t* path = nullptr;
    const HRESULT result = ::SHGetKnownFolderPath(id, KF_FLAG_DEFAULT, nullptr, &path);
    std::optional<std::string> folder;
    if (SUCCEEDED(result) && path != nullptr) {
        folder = windows::Narrow(path);
    }
    ::CoTaskMemFree(path);
    return folder;
}

bool IsFolder(const std::string& path) {
    const auto info = GetFileInfo(path);
    return info && info->isDirectory;
}

// Creates every missing level of an absolute path; levels that exist are
// left as they are. The new folders take the access rules of the user's
// own folder they are made in (AppData is the user's alone).
bool CreateFolderPath(const std::string& path) {
    for (std::size_t end = path.find_first_of(kPathSeparators, 3);;
         end = path.find_first_of(kPathSeparators, end + 1)) {
        const std::string level = path.substr(0, end);
        if (!level.empty() && kPathSeparators.find(level.back()) == std::string_view::npos &&
            !CreateFolder(level)) {
            return false;
        }
        if (end == std::string::npos) {
            return true;
        }
    }
}

// %VARIABLE%, or the known folder it names by default.
std::optional<std::string> ProgramFolderIn(const wchar_t* variable, REFKNOWNFOLDERID id) {
    std::optional<std::string> base = AbsoluteVariable(variable);
    if (!base) {
        base = KnownFolder(id);
    }
    if (!base) {
        return std::nullopt;
    }
    std::string folder = JoinName(*base, kProgramFolder);
    if (!CreateFolderPath(folder)) {
        return std::nullopt;
    }
    return folder;
}

}  // namespace

std::optional<std::string> UserCacheFolder() {
    return ProgramFolderIn(L"LOCALAPPDATA", FOLDERID_LocalAppData);
}

std::optional<std::string> UserConfigFolder() {
    return ProgramFolderIn(L"APPDATA", FOLDERID_RoamingAppData);
}

std::optional<std::string> SystemConfigFolder() {
    return std::nullopt;
}

std::optional<std::string> DownloadsFolder() {
    std::optional<std::string> home = AbsoluteVariable(L"USERPROFILE");
    if (!home) {
        home = KnownFolder(FOLDERID_Profile);
    }
    if (!home) {
        return std::nullopt;
    }
    for (const std::optional<std::string>& candidate :
         {KnownFolder(FOLDERID_Downloads), std::optional(JoinName(*home, "Downloads"))}) {
        if (candidate && IsFolder(*candidate)) {
            return candidate;
        }
    }
    return home;
}

std::string HomeFolder() {
    return EnvironmentVariable("USERPROFILE").value_or("");
}

}  // namespace platform

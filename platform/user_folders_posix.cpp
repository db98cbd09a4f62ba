#include "platform/user_folders.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <string_view>

#include "platform/file.h"
#include "platform/path.h"
#include "platform/process.h"

namespace platform {
namespace {

constexpr const char* kProgramFolder = "trevasto";

// An environment variable's value when it is an absolute path; a relative
// one would lead into whatever folder the process was started in.
std::optional<std::string> AbsoluteVariable(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr || value[0] != kPathSeparator) {
        return std::nullopt;
    }
    return std::string(value);
}

bool IsFolder(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Creates every missing level of an absolute path; levels that exist are
// left as they are.
bool CreateFolderPath(const std::string& path) {
    for (std::size_t end = path.find(kPathSeparator, 1);;
         end = path.find(kPathSeparator, end + 1)) {
        const std::string level = path.substr(0, end);
        if (!level.empty() && level.back() != kPathSeparator && ::mkdir(level.c_str(), 0700) != 0 &&
            !(errno == EEXIST && IsFolder(level))) {
            return false;
        }
        if (end == std::string::npos) {
            return true;
        }
    }
}

// $VARIABLE, or $HOME/`fallback`.
std::optional<std::string> BaseFolder(const char* variable, const char* fallback) {
    if (std::optional<std::string> base = AbsoluteVariable(variable)) {
        return base;
    }
    const std::optional<std::string> home = AbsoluteVariable("HOME");
    if (!home) {
        return std::nullopt;
    }
    return JoinName(*home, fallback);
}

std::optional<std::string> ProgramFolderIn(const char* variable, const char* fallback) {
    const std::optional<std::string> base = BaseFolder(variable, fallback);
    if (!base) {
        return std::nullopt;
    }
    std::string folder = JoinName(*base, kProgramFolder);
    if (!CreateFolderPath(folder)) {
        return std::nullopt;
    }
    return folder;
}

// XDG_DOWNLOAD_DIR="$HOME/Downloads" from the user's folders file.
std::optional<std::string> DownloadDirFromUserDirs(const std::string& home) {
    const std::optional<std::string> config = BaseFolder("XDG_CONFIG_HOME", ".config");
    if (!config) {
        return std::nullopt;
    }
    const auto text = ReadFileStart(JoinName(*config, "user-dirs.dirs"), 64 * 1024);
    if (!text) {
        return std::nullopt;
    }
    constexpr std::string_view kKey = "XDG_DOWNLOAD_DIR=\"";
    for (std::size_t start = 0; start < text->size();) {
        const std::size_t end = std::min(text->find('\n', start), text->size());
        const std::string_view line = std::string_view(*text).substr(start, end - start);
        start = end + 1;
        if (!line.starts_with(kKey) || !line.ends_with('"')) {
            continue;
        }
        std::string value(line.substr(kKey.size(), line.size() - kKey.size() - 1));
        if (value.starts_with("$HOME")) {
            value = home + value.substr(5);
        }
        if (!value.empty() && value[0] == kPathSeparator) {
            return value;
        }
    }
    return std::nullopt;
}

}  // namespace

std::optional<std::string> UserCacheFolder() {
    return ProgramFolderIn("XDG_CACHE_HOME", ".cache");
}

std::optional<std::string> UserConfigFolder() {
    return ProgramFolderIn("XDG_CONFIG_HOME", ".config");
}

std::optional<std::string> SystemConfigFolder() {
    return std::string("/etc/trevasto");
}

std::optional<std::string> DownloadsFolder() {
    const std::optional<std::string> home = AbsoluteVariable("HOME");
    if (!home) {
        return std::nullopt;
    }
    for (const std::optional<std::string>& candidate :
         {DownloadDirFromUserDirs(*home), std::optional(JoinName(*home, "Downloads"))}) {
        if (candidate && IsFolder(*candidate)) {
            return candidate;
        }
    }
    return home;
}

std::string HomeFolder() {
    return EnvironmentVariable("HOME").value_or("");
}

}  // namespace platform

#include "platform/user_folders.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>

#include "platform/path.h"

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

}  // namespace

std::optional<std::string> UserCacheFolder() {
    std::optional<std::string> cache = AbsoluteVariable("XDG_CACHE_HOME");
    if (!cache) {
        const std::optional<std::string> home = AbsoluteVariable("HOME");
        if (!home) {
            return std::nullopt;
        }
        cache = JoinName(*home, ".cache");
    }
    std::string folder = JoinName(*cache, kProgramFolder);
    if (!CreateFolderPath(folder)) {
        return std::nullopt;
    }
    return folder;
}

}  // namespace platform

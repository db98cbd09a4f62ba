#include "platform/path.h"

#include <vector>

namespace platform {
namespace {

// Splits a '\'-separated name into its levels, or nullopt when a level is
// unsafe.
std::optional<std::vector<std::string_view>> SafeLevels(std::string_view relative) {
    if (relative.empty()) {
        return std::nullopt;
    }
    std::vector<std::string_view> levels;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = relative.find('\\', start);
        const std::string_view level = relative.substr(
            start, end == std::string_view::npos ? std::string_view::npos : end - start);
        if (level.empty() || level == "." || level == ".." ||
            level.find('/') != std::string_view::npos ||
            level.find('\0') != std::string_view::npos) {
            return std::nullopt;
        }
        levels.push_back(level);
        if (end == std::string_view::npos) {
            break;
        }
        start = end + 1;
    }
    // A drive-like first level ("C:") names another root on the service's
    // side; never a folder of ours.
    const std::string_view first = levels.front();
    if (first.size() >= 2 && first[1] == ':') {
        return std::nullopt;
    }
    return levels;
}

}  // namespace

std::optional<std::string> JoinUnder(std::string_view folder, std::string_view relative) {
    auto levels = SafeLevels(relative);
    if (!levels) {
        return std::nullopt;
    }
    std::string path(folder);
    for (std::string_view level : *levels) {
        path = JoinName(path, level);
    }
    return path;
}

std::string JoinName(std::string_view folder, std::string_view name) {
    std::string path(folder);
    if (path.empty() || path.back() != kPathSeparator) {
        path.push_back(kPathSeparator);
    }
    path.append(name);
    return path;
}

std::string_view FileNamePart(std::string_view path) {
    const std::size_t slash = path.rfind(kPathSeparator);
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

std::optional<std::string_view> FolderPart(std::string_view path) {
    const std::size_t slash = path.rfind(kPathSeparator);
    if (slash == std::string_view::npos) {
        return std::nullopt;
    }
    return path.substr(0, slash);
}

}  // namespace platform

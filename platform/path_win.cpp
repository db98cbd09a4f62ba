#include "platform/path.h"

namespace platform {

NameRules SystemNameRules() {
    return NameRules::Windows;
}

bool IsAbsolutePath(std::string_view path) {
    const auto separator = [&](std::size_t i) {
        return i < path.size() && kPathSeparators.find(path[i]) != std::string_view::npos;
    };
    return separator(0) || (path.size() >= 2 && path[1] == ':' && separator(2));
}

}  // namespace platform

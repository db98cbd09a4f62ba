#include "platform/path.h"

namespace platform {

NameRules SystemNameRules() {
    return NameRules::Posix;
}

bool IsAbsolutePath(std::string_view path) {
    return path.starts_with('/');
}

}  // namespace platform

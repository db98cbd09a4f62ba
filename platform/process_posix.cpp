#include "platform/process.h"

#include <unistd.h>

#include <climits>
#include <csignal>
#include <cstdlib>
#include <vector>

namespace platform {

std::string ExecutablePath() {
    std::vector<char> buffer(PATH_MAX + 1, '\0');
    const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
    if (n <= 0) {
        return {};
    }
    return std::string(buffer.data(), static_cast<std::size_t>(n));
}

std::optional<std::string> UnsplitCommandLine() {
    return std::nullopt;
}

void FailWritesBeyondTheSizeLimit() {
    (void)::signal(SIGXFSZ, SIG_IGN);
}

std::optional<std::string> EnvironmentVariable(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr) {
        return std::nullopt;
    }
    return std::string(value);
}

}  // namespace platform

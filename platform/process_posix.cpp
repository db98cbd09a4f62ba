#include "platform/process.h"

#include <unistd.h>

#include <climits>
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

std::string RawCommandLine(int argc, const char* const* argv) {
    std::string line;
    if (argc <= 0 || argv == nullptr || argv[0] == nullptr) {
        return line;
    }
    const std::string program = argv[0];
    // An empty name is quoted too: left bare, the line would start with the
    // separator and the first argument would be read as the program.
    if (program.empty() || program.find(' ') != std::string::npos) {
        line = "\"" + program + "\"";
    } else {
        line = program;
    }
    for (int i = 1; i < argc; ++i) {
        line += ' ';
        line += argv[i] ? argv[i] : "";
    }
    return line;
}

}  // namespace platform

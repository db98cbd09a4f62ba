#include "app/transfer_app.h"

#include <cstring>

#include "platform/file.h"
#include "platform/strings.h"

namespace app {

std::optional<std::string> FirstArgument(std::string_view line) {
    std::size_t scan = 0;
    if (!line.empty() && line[0] == '"') {
        const std::size_t close = line.find('"', 1);
        if (close == std::string_view::npos || close + 1 >= line.size()) {
            return std::nullopt;
        }
        // The closing quote and the character after it are both skipped.
        scan = close + 2;
    } else {
        const std::size_t blank = line.find(' ', 1);
        if (line.empty() || blank == std::string_view::npos) {
            return std::nullopt;
        }
        scan = blank + 1;
    }
    while (scan < line.size() && line[scan] == ' ') {
        ++scan;
    }
    std::string argument;
    if (scan < line.size() && line[scan] == '"') {
        const std::size_t close = line.find('"', scan + 1);
        if (close == std::string_view::npos) {
            return std::nullopt;
        }
        argument = std::string(line.substr(scan + 1, close - scan - 1));
    } else if (scan < line.size()) {
        argument = std::string(line.substr(scan));
    }
    if (argument.empty()) {
        return std::nullopt;
    }
    return argument;
}

std::optional<std::string> ReadKeyFile(const std::string& path) {
    constexpr std::size_t kLimit = 255;
    auto bytes = platform::ReadFileStart(path, kLimit);
    if (!bytes || bytes->empty()) {
        return std::nullopt;
    }
    // Text mode: a CR LF pair reads as one LF.
    std::string text;
    text.reserve(bytes->size());
    for (std::size_t i = 0; i < bytes->size(); ++i) {
        if ((*bytes)[i] == '\r' && i + 1 < bytes->size() && (*bytes)[i + 1] == '\n') {
            continue;
        }
        text.push_back((*bytes)[i]);
    }
    text.resize(std::strlen(text.c_str()));  // the text ends at its first NUL
    constexpr std::string_view kPrefix = "download=";
    if (!platform::StartsWithNoCase(text, kPrefix)) {
        return std::nullopt;
    }
    return text.substr(kPrefix.size());
}

LaunchResult TransferApp::Launch(std::string_view commandLine, LaunchHost& host) {
    const std::optional<std::string> path = FirstArgument(commandLine);
    if (path) {
        std::optional<std::string> key = ReadKeyFile(*path);
        // The key file is for one launch only: it goes whether or not it
        // could be used.
        (void)platform::DeleteFile(*path);
        if (!key) {
            host.ShowMessage(kNoLongerValidText);
            return LaunchResult::UnusableKeyFile;
        }
        host.RunDialog(key);
        return LaunchResult::DialogRan;
    }
    host.ShowMessage(kMustBeInitiatedText);
    host.RunDialog(std::nullopt);
    return LaunchResult::DialogRan;
}

}  // namespace app

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

std::optional<std::string> KeyFileArgument(const std::optional<std::string>& unsplitCommandLine,
                                           int argc, const char* const* argv) {
    if (unsplitCommandLine) {
        return FirstArgument(*unsplitCommandLine);
    }
    if (argc < 2 || argv == nullptr || argv[1] == nullptr || argv[1][0] == '\0') {
        return std::nullopt;
    }
    return std::string(argv[1]);
}

std::optional<std::string> ReadKeyFile(const std::string& path) {
    auto bytes = platform::ReadRegularFileStart(path, kKeyFileReadLimit);
    if (!bytes) {
        return std::nullopt;
    }
    return KeyFromFileStart(*bytes);
}

std::optional<std::string> KeyFromFileStart(std::string_view bytes) {
    bytes = bytes.substr(0, kKeyFileReadLimit);
    if (bytes.empty()) {
        return std::nullopt;
    }
    // Text mode: a CR LF pair reads as one LF.
    std::string text;
    text.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') {
            continue;
        }
        text.push_back(bytes[i]);
    }
    text.resize(std::strlen(text.c_str()));  // the text ends at its first NUL
    constexpr std::string_view kPrefix = "download=";
    if (!platform::StartsWithNoCase(text, kPrefix)) {
        return std::nullopt;
    }
    return text.substr(kPrefix.size());
}

LaunchKey TakeKeyFile(const std::optional<std::string>& path) {
    if (!path) {
        return {};
    }
    std::optional<std::string> key = ReadKeyFile(*path);
    if (!key) {
        return {LaunchKey::Source::UnusableFile, {}};
    }
    (void)platform::DeleteFile(*path);
    return {LaunchKey::Source::KeyFile, std::move(*key)};
}

LaunchResult TransferApp::Launch(const LaunchKey& launchKey, LaunchHost& host) {
    switch (launchKey.source) {
        case LaunchKey::Source::KeyFile:
            host.RunDialog(launchKey.key);
            return LaunchResult::DialogRan;
        case LaunchKey::Source::UnusableFile:
            host.ShowMessage(kNoLongerValidText);
            return LaunchResult::UnusableKeyFile;
        case LaunchKey::Source::NoArgument:
            break;
    }
    host.ShowMessage(kMustBeInitiatedText);
    host.RunDialog(std::nullopt);
    return LaunchResult::DialogRan;
}

}  // namespace app

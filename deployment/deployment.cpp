#include "deployment/deployment.h"

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <map>
#include <optional>

#include "platform/file.h"
#include "platform/path.h"
#include "platform/process.h"
#include "platform/strings.h"
#include "platform/text_encoding.h"

namespace deployment {
namespace {

// A deployment file is a handful of lines; anything far larger is not one.
constexpr std::size_t kMaxDeploymentFileSize = 64 * 1024;
// Host names are kept to 127 characters; the formed names put "bN." before
// the service host.
constexpr std::size_t kMaxHostLength = 127;
constexpr std::size_t kMaxServiceHostLength = kMaxHostLength - 3;
constexpr std::size_t kMaxPortDigits = 5;
// Names quoted back in messages are cut so a stray binary line stays short.
constexpr std::size_t kMaxQuotedLength = 40;

constexpr const char* kServiceHostKey = "service_host";
constexpr const char* kServersKey = "servers";
constexpr const char* kKeyTableKey = "key_table";
constexpr const char* kTimeoutsKey = "timeouts";
constexpr const char* kConnectPauseKey = "connect_pause";
constexpr const char* kRetryPausesKey = "retry_pauses";
constexpr const char* kCodePageKey = "code_page";
constexpr const char* kKnownKeys[] = {kServiceHostKey,  kServersKey,     kKeyTableKey, kTimeoutsKey,
                                      kConnectPauseKey, kRetryPausesKey, kCodePageKey};
// A day is far beyond any sensible wait and keeps every value in range.
constexpr std::chrono::milliseconds kMaxDuration = std::chrono::hours(24);

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && IsBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

std::string Quoted(std::string_view text) {
    std::string quoted = "'" + std::string(platform::Cut(text, kMaxQuotedLength));
    return quoted + (text.size() > kMaxQuotedLength ? "...'" : "'");
}

bool HasBlank(std::string_view text) {
    for (const char c : text) {
        if (IsBlank(c)) {
            return true;
        }
    }
    return false;
}

// 1 to 5 decimal digits giving 1 to 65535.
bool IsValidPort(std::string_view text) {
    if (text.empty() || text.size() > kMaxPortDigits) {
        return false;
    }
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return false;
        }
    }
    const long long value = platform::ParseDecimal(text);
    return value >= 1 && value <= 65535;
}

// Whole seconds ("30", "30s") or milliseconds ("250ms"), at most a day.
std::optional<std::chrono::milliseconds> ParseDuration(std::string_view text) {
    std::chrono::milliseconds unit = std::chrono::seconds(1);
    if (text.ends_with("ms")) {
        unit = std::chrono::milliseconds(1);
        text.remove_suffix(2);
    } else if (text.ends_with("s")) {
        text.remove_suffix(1);
    }
    constexpr std::size_t kMaxDigits = 8;
    if (text.empty() || text.size() > kMaxDigits) {
        return std::nullopt;
    }
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
    }
    const std::chrono::milliseconds value = platform::ParseDecimal(text) * unit;
    if (value > kMaxDuration) {
        return std::nullopt;
    }
    return value;
}

bool IsKnownKey(std::string_view key) {
    for (const char* known : kKnownKeys) {
        if (key == known) {
            return true;
        }
    }
    return false;
}

std::vector<std::string_view> SplitBlanks(std::string_view text) {
    std::vector<std::string_view> words;
    std::size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && IsBlank(text[i])) {
            ++i;
        }
        const std::size_t start = i;
        while (i < text.size() && !IsBlank(text[i])) {
            ++i;
        }
        if (i > start) {
            words.push_back(text.substr(start, i - start));
        }
    }
    return words;
}

struct Setting {
    std::string value;
    int line = 0;
};

class Parser {
  public:
    Parser(const std::string& filePath, const KeyTableReader& readKeyTable)
        : filePath_(filePath), readKeyTable_(readKeyTable) {}

    DeploymentResult Parse(std::string_view text) {
        if (text.substr(0, 3) == "\xEF\xBB\xBF") {
            text.remove_prefix(3);  // a byte-order mark left by an editor
        }
        int lineNumber = 0;
        while (!text.empty()) {
            ++lineNumber;
            const std::size_t end = text.find('\n');
            std::string_view line = text.substr(0, end);
            text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
            if (auto error = ParseLine(line, lineNumber)) {
                return DeploymentResult::Failure(*error);
            }
        }
        return Finish();
    }

  private:
    std::optional<std::string> ParseLine(std::string_view line, int lineNumber) {
        line = Trim(line.substr(0, line.find('#')));
        if (line.empty()) {
            return std::nullopt;
        }
        const std::size_t equals = line.find('=');
        if (equals == std::string_view::npos) {
            return At(lineNumber, "expected 'key = value', found " + Quoted(line));
        }
        const std::string key(Trim(line.substr(0, equals)));
        const std::string_view value = Trim(line.substr(equals + 1));
        if (key.empty()) {
            return At(lineNumber, "a setting name is missing before '='");
        }
        if (!IsKnownKey(key)) {
            return At(lineNumber,
                      "unknown setting " + Quoted(key) +
                          " (known: service_host, servers, key_table, timeouts, connect_pause, "
                          "retry_pauses, code_page)");
        }
        const auto seen = settings_.find(key);
        if (seen != settings_.end()) {
            return At(lineNumber, platform::StrPrintf("%s is set again (first set on line %d)",
                                                      key.c_str(), seen->second.line));
        }
        settings_[key] = Setting{std::string(value), lineNumber};
        if (key == kServiceHostKey) {
            return CheckServiceHost(value, lineNumber);
        }
        if (key == kServersKey) {
            return ParseServers(value, lineNumber);
        }
        if (key == kTimeoutsKey) {
            return ParseTimeouts(value, lineNumber);
        }
        if (key == kConnectPauseKey) {
            return ParseConnectPause(value, lineNumber);
        }
        if (key == kRetryPausesKey) {
            return ParseRetryPauses(value, lineNumber);
        }
        if (key == kCodePageKey) {
            return ParseCodePage(value, lineNumber);
        }
        if (value.empty()) {
            return At(lineNumber, "key_table names no file");
        }
        return std::nullopt;
    }

    std::optional<std::string> CheckServiceHost(std::string_view host, int lineNumber) {
        if (host.empty()) {
            return At(lineNumber, "service_host is empty");
        }
        if (HasBlank(host)) {
            return At(lineNumber, "service_host " + Quoted(host) + " is not one host name");
        }
        if (host.size() > kMaxServiceHostLength) {
            return At(lineNumber, platform::StrPrintf("service_host is longer than %zu characters",
                                                      kMaxServiceHostLength));
        }
        deployment_.serviceHost = std::string(host);
        return std::nullopt;
    }

    std::optional<std::string> ParseServers(std::string_view value, int lineNumber) {
        const std::vector<std::string_view> words = SplitBlanks(value);
        if (words.empty()) {
            return At(lineNumber, "servers lists no server");
        }
        for (const std::string_view word : words) {
            const std::size_t colon = word.rfind(':');
            if (colon == std::string_view::npos) {
                return At(lineNumber, "server " + Quoted(word) + " is not HOST:PORT");
            }
            const std::string_view host = word.substr(0, colon);
            const std::string_view port = word.substr(colon + 1);
            if (host.empty()) {
                return At(lineNumber, "server " + Quoted(word) + " has an empty host");
            }
            if (host.size() > kMaxHostLength) {
                return At(lineNumber,
                          platform::StrPrintf("a server host is longer than %zu characters",
                                              kMaxHostLength));
            }
            if (!IsValidPort(port)) {
                return At(lineNumber, "server " + Quoted(word) + " has a bad port " + Quoted(port) +
                                          " (expected 1 to 65535)");
            }
            deployment_.servers.push_back(ServerAddress{std::string(host), std::string(port)});
        }
        return std::nullopt;
    }

    std::optional<std::string> ParseTimeouts(std::string_view value, int lineNumber) {
        const std::vector<std::string_view> words = SplitBlanks(value);
        if (words.size() != 3) {
            return At(lineNumber, "timeouts " + Quoted(value) +
                                      " is not three durations (short, normal, long)");
        }
        std::chrono::milliseconds* targets[] = {&deployment_.timeouts.shortTimeout,
                                                &deployment_.timeouts.normalTimeout,
                                                &deployment_.timeouts.longTimeout};
        for (std::size_t i = 0; i < words.size(); ++i) {
            const auto duration = ParseDuration(words[i]);
            if (!duration || duration->count() == 0) {
                return At(lineNumber,
                          "time-out " + Quoted(words[i]) + " is not a duration from 1ms to a day");
            }
            *targets[i] = *duration;
        }
        return std::nullopt;
    }

    std::optional<std::string> ParseConnectPause(std::string_view value, int lineNumber) {
        const auto duration = ParseDuration(value);
        if (!duration) {
            return At(lineNumber,
                      "connect_pause " + Quoted(value) + " is not a duration from 0 to a day");
        }
        deployment_.timeouts.connectPause = *duration;
        return std::nullopt;
    }

    std::optional<std::string> ParseRetryPauses(std::string_view value, int lineNumber) {
        const std::vector<std::string_view> words = SplitBlanks(value);
        const auto first = words.size() == 2 ? ParseDuration(words[0]) : std::nullopt;
        const auto longest = words.size() == 2 ? ParseDuration(words[1]) : std::nullopt;
        if (!first || !longest || first->count() == 0 || *longest < *first) {
            return At(lineNumber, "retry_pauses " + Quoted(value) +
                                      " is not two durations (first, longest; 1ms to a day, "
                                      "the longest not below the first)");
        }
        deployment_.firstRetryPause = *first;
        deployment_.longestRetryPause = *longest;
        return std::nullopt;
    }

    // Tried here, so that a name the system does not know stops the
    // program at its start rather than refusing every listed file.
    std::optional<std::string> ParseCodePage(std::string_view value, int lineNumber) {
        if (value.empty()) {
            return At(lineNumber, "code_page names no code page");
        }
        if (HasBlank(value)) {
            return At(lineNumber, "code_page " + Quoted(value) + " is not one name");
        }
        const auto converter = platform::TextConverter::Open(value, platform::kUtf8);
        if (!converter) {
            if (converter.error().UnknownCodePage()) {
                return At(lineNumber, "code_page " + Quoted(value) +
                                          " is not a code page this system converts "
                                          "(see iconv --list)");
            }
            return At(lineNumber, "code_page " + Quoted(value) +
                                      " cannot be used: " + converter.error().Message());
        }
        deployment_.codePage = std::string(value);
        return std::nullopt;
    }

    DeploymentResult Finish() {
        const auto keyTable = settings_.find(kKeyTableKey);
        if (keyTable == settings_.end()) {
            return DeploymentResult::Failure(filePath_ + ": key_table is not set");
        }
        if (settings_.count(kServiceHostKey) == 0 && settings_.count(kServersKey) == 0) {
            return DeploymentResult::Failure(filePath_ + ": service_host is not set (nor servers)");
        }
        if (auto error = ReadKeyTable(keyTable->second)) {
            return DeploymentResult::Failure(*error);
        }
        deployment_.sourcePath = filePath_;
        return deployment_;
    }

    std::optional<std::string> ReadKeyTable(const Setting& setting) {
        std::string path = setting.value;
        const auto folder = platform::FolderPart(filePath_);
        if (!platform::IsAbsolutePath(path) && folder) {
            path = platform::JoinName(*folder, path);
        }
        const auto bytes = readKeyTable_(path);
        if (!bytes.ok()) {
            if (bytes.error().NotFound()) {
                return At(setting.line, "key table " + path + " not found");
            }
            return At(setting.line,
                      "key table " + path + " cannot be read: " + bytes.error().Message());
        }
        if (bytes.value().size() != kKeyTableSize) {
            const std::string size = bytes.value().size() > kKeyTableSize
                                         ? std::string("more than 512 bytes")
                                         : std::to_string(bytes.value().size()) + " bytes";
            return At(setting.line, "key table " + path + " holds " + size + ", not 512");
        }
        std::memcpy(deployment_.keyTable.data(), bytes.value().data(), kKeyTableSize);
        return std::nullopt;
    }

    std::string At(int lineNumber, const std::string& what) const {
        return platform::StrPrintf("%s:%d: %s", filePath_.c_str(), lineNumber, what.c_str());
    }

    const std::string& filePath_;
    const KeyTableReader& readKeyTable_;
    std::map<std::string, Setting> settings_;
    Deployment deployment_;
};

}  // namespace

KeyTableReader FileKeyTableReader() {
    return [](const std::string& path) { return platform::ReadFileStart(path, kKeyTableSize + 1); };
}

std::vector<std::string> InstalledDeploymentPaths(std::string_view executablePath,
                                                  const std::optional<std::string>& systemFolder) {
    const std::string_view folder = platform::FolderPart(executablePath).value_or(".");
    std::vector<std::string> paths{platform::JoinName(folder, "../etc/trevasto/deployment.conf")};
    if (systemFolder) {
        paths.push_back(platform::JoinName(*systemFolder, "deployment.conf"));
    }
    return paths;
}

std::optional<std::string> FindDeploymentFile(
    const char* variableValue, std::string_view executablePath,
    const std::function<bool(const std::string&)>& exists) {
    if (variableValue != nullptr && *variableValue != '\0') {
        return std::string(variableValue);
    }
    for (const std::string& candidate : InstalledDeploymentPaths(executablePath)) {
        if (exists(candidate)) {
            return candidate;
        }
    }
    return std::nullopt;
}

DeploymentResult ParseDeployment(std::string_view text, const std::string& filePath,
                                 const KeyTableReader& readKeyTable) {
    return Parser(filePath, readKeyTable).Parse(text);
}

DeploymentResult LoadDeployment(const std::string& path) {
    const auto text = platform::ReadFileStart(path, kMaxDeploymentFileSize + 1);
    if (!text.ok()) {
        if (text.error().NotFound()) {
            return DeploymentResult::Failure(path + ": deployment file not found");
        }
        return DeploymentResult::Failure(
            path + ": cannot read the deployment file: " + text.error().Message());
    }
    if (text.value().size() > kMaxDeploymentFileSize) {
        return DeploymentResult::Failure(
            platform::StrPrintf("%s: larger than %zu bytes; not a deployment file", path.c_str(),
                                kMaxDeploymentFileSize));
    }
    return ParseDeployment(text.value(), path, FileKeyTableReader());
}

DeploymentResult LoadInstalledDeployment() {
    const std::string program = platform::ExecutablePath();
    // In UTF-8 on every system, so that a path beyond ASCII is found.
    const std::optional<std::string> variable = platform::EnvironmentVariable(kDeploymentVariable);
    const auto found =
        FindDeploymentFile(variable ? variable->c_str() : nullptr, program,
                           [](const std::string& path) { return platform::Exists(path); });
    if (!found) {
        std::string places;
        for (const std::string& place : InstalledDeploymentPaths(program)) {
            places += (places.empty() ? "" : " or ") + place;
        }
        return DeploymentResult::Failure(platform::StrPrintf(
            "no deployment file: set %s or install %s", kDeploymentVariable, places.c_str()));
    }
    return LoadDeployment(*found);
}

std::vector<ServerAddress> ServerListFor(const Deployment& deployment) {
    if (!deployment.servers.empty()) {
        return deployment.servers;
    }
    std::vector<ServerAddress> list;
    for (int n = 2; n >= 1; --n) {
        list.push_back(ServerAddress{
            platform::StrPrintf("%s%d.%s", "b", n, deployment.serviceHost.c_str()), "80"});
    }
    return list;
}

}  // namespace deployment

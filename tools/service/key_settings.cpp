#include "tools/service/key_settings.h"

#include <array>
#include <utility>

#include "net/message_cipher.h"
#include "platform/strings.h"
#include "platform/text_encoding.h"

namespace qvn_service {

namespace {

struct FaultName {
    FaultKind kind;
    std::string_view name;
    // What the kind carries after '=' ("kind=<value>"); empty: nothing.
    std::string_view value;
};

constexpr std::array<FaultName, 18> kFaultNames{{
    {FaultKind::CloseBody, "close_body", ""},
    {FaultKind::CloseHeader, "close_header", ""},
    {FaultKind::StallBody, "stall_body", ""},
    {FaultKind::StallHeader, "stall_header", ""},
    {FaultKind::ProxyAuth, "proxy_auth", ""},
    {FaultKind::Garbage, "garbage", ""},
    {FaultKind::ConnectionClose, "connection_close", ""},
    {FaultKind::CorruptZip, "corrupt_zip", ""},
    {FaultKind::BadCrcZip, "bad_crc_zip", ""},
    {FaultKind::BadContentLength, "bad_content_length", "text"},
    {FaultKind::NoFangIndex, "no_fang_index", ""},
    {FaultKind::Refuse, "refuse", ""},
    {FaultKind::Bzip2Zip, "bzip2_zip", ""},
    {FaultKind::EncryptedZip, "encrypted_zip", ""},
    {FaultKind::ZipDeclaredSize, "zip_declared_size", "size"},
    {FaultKind::HideFile, "hide_file", ""},
    {FaultKind::LongHeader, "long_header", ""},
    {FaultKind::SlowBody, "slow_body", ""},
}};

// The longest refusal or pause a rule may ask for: long enough for any
// test, short enough that a slip of the pen does not shut the service or
// hold a connection for good.
constexpr std::uint64_t kMaxDurationMs = 600'000;

// Where long_header ends the block unless told: past the 4 KiB that a
// careful client allows. The padded block is built in memory, hence a cap.
constexpr std::uint64_t kLongHeaderDefault = 5000;
constexpr std::uint64_t kMaxLongHeader = 1 << 20;

// 0xFFFFFFFF in a zip size field means "see the zip64 record".
constexpr std::uint64_t kMaxDeclaredSize = 0xFFFFFFFE;

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && (IsBlank(text.front()) || text.front() == '\r')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (IsBlank(text.back()) || text.back() == '\r')) {
        text.remove_suffix(1);
    }
    return text;
}

std::optional<bool> ParseYesNo(std::string_view value) {
    if (platform::EqualsNoCase(value, "yes") || value == "1" ||
        platform::EqualsNoCase(value, "true")) {
        return true;
    }
    if (platform::EqualsNoCase(value, "no") || value == "0" ||
        platform::EqualsNoCase(value, "false")) {
        return false;
    }
    return std::nullopt;
}

std::string Unescape(std::string_view text) {
    std::string result;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size()) {
            const char next = text[i + 1];
            const char replacement = next == 't'    ? '\t'
                                     : next == 'r'  ? '\r'
                                     : next == 'n'  ? '\n'
                                     : next == '\\' ? '\\'
                                                    : '\0';
            if (replacement != '\0') {
                result.push_back(replacement);
                ++i;
                continue;
            }
        }
        result.push_back(text[i]);
    }
    return result;
}

// Splits at blanks; a double-quoted stretch keeps its blanks (the quotes
// themselves are dropped). Nothing when a quote is left open.
std::optional<std::vector<std::string>> SplitWords(std::string_view text) {
    std::vector<std::string> words;
    std::string word;
    bool inWord = false;
    bool quoted = false;
    for (char c : text) {
        if (c == '"') {
            quoted = !quoted;
            inWord = true;
        } else if (IsBlank(c) && !quoted) {
            if (inWord) {
                words.push_back(std::move(word));
                word.clear();
                inWord = false;
            }
        } else {
            word.push_back(c);
            inWord = true;
        }
    }
    if (quoted) {
        return std::nullopt;
    }
    if (inWord) {
        words.push_back(std::move(word));
    }
    return words;
}

// One fault line's value; a message when it is not understood.
std::optional<std::string> ParseFault(std::string_view value, FaultRule& rule) {
    const auto words = SplitWords(value);
    if (!words || words->empty()) {
        return "a fault needs a kind";
    }
    std::string_view kindWord = words->front();
    std::string_view kindValue;
    bool hasKindValue = false;
    if (const std::size_t equals = kindWord.find('='); equals != std::string_view::npos) {
        kindValue = kindWord.substr(equals + 1);
        kindWord = kindWord.substr(0, equals);
        hasKindValue = true;
    }
    const FaultName* known = nullptr;
    for (const FaultName& candidate : kFaultNames) {
        if (candidate.name == kindWord) {
            known = &candidate;
        }
    }
    if (known == nullptr) {
        return "unknown fault kind \"" + std::string(kindWord) + "\"";
    }
    rule.kind = known->kind;
    if (known->value.empty() == hasKindValue) {
        return known->value.empty()
                   ? "fault kind \"" + std::string(kindWord) + "\" takes no value"
                   : std::string(kindWord) + " needs its " + std::string(known->value) + ": " +
                         std::string(kindWord) + "=<" + std::string(known->value) + ">";
    }
    rule.value = std::string(kindValue);
    if (rule.kind == FaultKind::ZipDeclaredSize) {
        const auto size = platform::ParseWholeDecimal(kindValue);
        if (!size || *size > kMaxDeclaredSize) {
            return "zip_declared_size needs a number of bytes from 0 to 4294967294";
        }
        rule.declaredSize = static_cast<std::uint32_t>(*size);
    }
    bool afterGiven = false;
    for (std::size_t i = 1; i < words->size(); ++i) {
        const std::string& option = (*words)[i];
        const std::size_t equals = option.find('=');
        if (equals == std::string::npos) {
            return "fault option \"" + option + "\" is not name=value";
        }
        const std::string_view name = std::string_view(option).substr(0, equals);
        const std::string_view text = std::string_view(option).substr(equals + 1);
        if (name == "file") {
            rule.file = NormalizeRelativeName(text);
        } else if (name == "word") {
            rule.word = std::string(text);
        } else if (name == "after") {
            const auto count = platform::ParseWholeDecimal(text);
            if (!count) {
                return "after= needs a number of bytes";
            }
            rule.after = *count;
            afterGiven = true;
        } else if (name == "times") {
            const auto count = platform::ParseWholeDecimal(text);
            if (!count || *count == 0 || *count > 1'000'000) {
                return "times= needs a number from 1 to 1000000";
            }
            rule.times = static_cast<int>(*count);
        } else if (name == "for") {
            const auto milliseconds = platform::ParseWholeDecimal(text);
            if (rule.kind != FaultKind::Refuse && rule.kind != FaultKind::SlowBody) {
                return std::string("for= belongs to refuse and slow_body only");
            }
            if (!milliseconds || *milliseconds == 0 || *milliseconds > kMaxDurationMs) {
                return "for= needs a number of milliseconds from 1 to 600000";
            }
            rule.duration = std::chrono::milliseconds(*milliseconds);
        } else {
            return "unknown fault option \"" + std::string(name) + "\"";
        }
    }
    if (rule.kind == FaultKind::HideFile && (!rule.file || (rule.word && *rule.word != "DKFL"))) {
        return std::string("hide_file needs file=<name> and applies to DKFL only");
    }
    if (rule.kind == FaultKind::LongHeader) {
        if (!afterGiven) {
            rule.after = kLongHeaderDefault;
        }
        if (rule.after > kMaxLongHeader) {
            return std::string("long_header's after= goes up to 1048576");
        }
    }
    return std::nullopt;
}

}  // namespace

std::string NormalizeRelativeName(std::string_view name) {
    std::string result(name);
    for (char& c : result) {
        if (c == '\\') {
            c = '/';
        }
    }
    return result;
}

std::string_view FaultKindName(FaultKind kind) {
    for (const FaultName& candidate : kFaultNames) {
        if (candidate.kind == kind) {
            return candidate.name;
        }
    }
    return "unknown";
}

bool KeySettings::ZipFile(const std::string& relative) const {
    const auto own = zipFiles.find(relative);
    return own == zipFiles.end() ? zip : own->second;
}

ParsedSettings ParseKeySettings(std::string_view text) {
    ParsedSettings parsed;
    KeySettings& settings = parsed.settings;
    std::size_t lineNumber = 0;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        const std::string_view rawLine = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        ++lineNumber;

        const std::string_view line = Trim(rawLine);
        if (line.empty() || line.front() == '#') {
            continue;
        }
        auto problem = [&](const std::string& message) {
            parsed.problems.push_back(platform::StrPrintf("line %zu: ", lineNumber) + message);
        };
        const std::size_t equals = line.find('=');
        if (equals == std::string_view::npos) {
            problem("not a \"name = value\" line");
            continue;
        }
        const std::string_view name = Trim(line.substr(0, equals));
        const std::string_view value = Trim(line.substr(equals + 1));

        if (name == "encipher" || name == "zip" || name == "connection_close") {
            const auto flag = ParseYesNo(value);
            if (!flag) {
                problem(std::string(name) + " needs yes or no");
                continue;
            }
            (name == "encipher" ? settings.encipher
             : name == "zip"    ? settings.zip
                                : settings.connectionClose) = *flag;
        } else if (name == "max_downloads") {
            const auto count = platform::ParseWholeDecimal(value);
            if (!count) {
                problem("max_downloads needs a number");
                continue;
            }
            settings.maxDownloads = static_cast<std::int64_t>(*count);
        } else if (name.substr(0, 4) == "zip.") {
            const auto flag = ParseYesNo(value);
            if (name.size() == 4 || !flag) {
                problem("zip.<name> needs a name and yes or no");
                continue;
            }
            settings.zipFiles[NormalizeRelativeName(name.substr(4))] = *flag;
        } else if (name == "key_index") {
            const auto index = platform::ParseWholeDecimal(value);
            if (!index || *index >= static_cast<std::uint64_t>(net::kStreamIndexCount)) {
                problem(platform::StrPrintf("key_index needs a number from 0 to %d",
                                            net::kStreamIndexCount - 1));
                continue;
            }
            settings.keyIndex = static_cast<int>(*index);
        } else if (name.substr(0, 11) == "duplicates.") {
            const auto count = platform::ParseWholeDecimal(value);
            if (name.size() == 11 || !count) {
                problem("duplicates.<name> needs a name and a number");
                continue;
            }
            settings.duplicates[NormalizeRelativeName(name.substr(11))] =
                static_cast<std::int64_t>(*count);
        } else if (name == "code_page") {
            if (!platform::TextConverter::Open(platform::kUtf8, value)) {
                problem("code_page \"" + std::string(value) +
                        "\" is not a code page this system converts to");
                continue;
            }
            settings.codePage = std::string(value);
        } else if (name == "extra") {
            settings.extraRecords.push_back(Unescape(value));
        } else if (name == "fault") {
            FaultRule rule;
            if (auto message = ParseFault(value, rule)) {
                problem(*message);
                continue;
            }
            rule.identity = platform::StrPrintf("%zu:", lineNumber) + std::string(line);
            settings.faults.push_back(std::move(rule));
        } else {
            problem("unknown setting \"" + std::string(name) + "\"");
        }
    }
    return parsed;
}

}  // namespace qvn_service

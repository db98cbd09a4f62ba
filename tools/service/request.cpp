#include "tools/service/request.h"

#include <algorithm>

#include "net/base64.h"
#include "net/message_cipher.h"
#include "platform/strings.h"

namespace qvn_service {

namespace {

std::string_view TrimBlanks(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) {
        text.remove_suffix(1);
    }
    return text;
}

bool IsTokenText(std::string_view text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c > ' ' && c < 0x7F; });
}

std::optional<int> HexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return std::nullopt;
}

std::string PercentDecode(std::string_view text) {
    std::string result;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size()) {
            const auto high = HexValue(text[i + 1]);
            const auto low = HexValue(text[i + 2]);
            if (high && low) {
                result.push_back(static_cast<char>(*high * 16 + *low));
                i += 2;
                continue;
            }
        }
        result.push_back(text[i]);
    }
    return result;
}

}  // namespace

std::optional<std::size_t> FindHeaderEnd(std::string_view data) {
    for (std::size_t i = data.find('\n'); i != std::string_view::npos; i = data.find('\n', i + 1)) {
        std::size_t next = i + 1;
        if (next < data.size() && data[next] == '\r') {
            ++next;
        }
        if (next < data.size() && data[next] == '\n') {
            return next + 1;
        }
    }
    return std::nullopt;
}

std::optional<std::string_view> Request::Header(std::string_view name) const {
    for (const auto& [headerName, value] : headers) {
        if (platform::EqualsNoCase(headerName, name)) {
            return std::string_view(value);
        }
    }
    return std::nullopt;
}

bool Request::WantsClose() const {
    const auto connection = Header("Connection");
    if (connection && platform::EqualsNoCase(*connection, "close")) {
        return true;
    }
    return version == "HTTP/1.0" &&
           !(connection && platform::EqualsNoCase(*connection, "keep-alive"));
}

std::optional<Request> ParseRequest(std::string_view block) {
    Request request;
    std::size_t lines = 0;
    bool first = true;
    while (!block.empty()) {
        const std::size_t end = block.find('\n');
        std::string_view line = block.substr(0, end);
        block = end == std::string_view::npos ? std::string_view() : block.substr(end + 1);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        if (line.empty()) {
            break;  // the empty line that ends the block
        }
        if (++lines > kMaxHeaderLines) {
            return std::nullopt;
        }
        if (first) {
            first = false;
            const std::size_t space1 = line.find(' ');
            const std::size_t space2 =
                space1 == std::string_view::npos ? space1 : line.find(' ', space1 + 1);
            if (space2 == std::string_view::npos ||
                line.find(' ', space2 + 1) != std::string_view::npos) {
                return std::nullopt;
            }
            request.method = std::string(line.substr(0, space1));
            request.target = std::string(line.substr(space1 + 1, space2 - space1 - 1));
            request.version = std::string(line.substr(space2 + 1));
            if (!IsTokenText(request.method) || !IsTokenText(request.target) ||
                (request.version != "HTTP/1.1" && request.version != "HTTP/1.0")) {
                return std::nullopt;
            }
            continue;
        }
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos || colon == 0) {
            return std::nullopt;
        }
        const std::string_view name = line.substr(0, colon);
        if (!IsTokenText(name)) {
            return std::nullopt;
        }
        request.headers.emplace_back(std::string(name),
                                     std::string(TrimBlanks(line.substr(colon + 1))));
    }
    if (first) {
        return std::nullopt;
    }
    return request;
}

Target ClassifyTarget(std::string_view target) {
    Target result;
    if (target.substr(0, kScriptPath.size()) == kScriptPath && target.size() > kScriptPath.size() &&
        target[kScriptPath.size()] == '?') {
        result.kind = Target::Kind::Protocol;
        result.word = std::string(target.substr(kScriptPath.size() + 1));
        return result;
    }
    constexpr std::string_view kFiles = "/files/";
    if (target.substr(0, kFiles.size()) == kFiles) {
        const std::string_view rest = target.substr(kFiles.size());
        const std::size_t slash = rest.find('/');
        if (slash != std::string_view::npos && slash > 0 && slash + 1 < rest.size()) {
            result.kind = Target::Kind::File;
            result.key = PercentDecode(rest.substr(0, slash));
            result.relative = PercentDecode(rest.substr(slash + 1));
        }
    }
    return result;
}

std::optional<std::string> KeyFromToken(const net::KeyTable& table, std::string_view token) {
    const auto bytes = net::Base64Decode(token);
    if (!bytes || bytes->size() < 2) {
        return std::nullopt;
    }
    std::vector<std::uint8_t> plain(bytes->size());
    const std::size_t length = net::DecipherWithPrefix(table, *bytes, plain);
    const auto* begin = reinterpret_cast<const char*>(plain.data());
    const std::string_view text(begin, std::find(begin, begin + length, '\0') - begin);
    if (text.size() < 2 || text.back() != ',' || text.size() == length) {
        // No comma after the key, or no NUL within the deciphered blocks.
        return std::nullopt;
    }
    return std::string(text.substr(0, text.size() - 1));
}

std::optional<std::string> FileIdFromLupin(std::string_view value) {
    const std::size_t comma = value.find(',');
    if (comma == std::string_view::npos) {
        return std::nullopt;
    }
    std::string_view id = value.substr(comma + 1);
    id = id.substr(0, id.find(';'));
    if (id.empty()) {
        return std::nullopt;
    }
    return std::string(id);
}

std::optional<CopyDescription> ParseRestartDescription(std::string_view value) {
    const std::size_t comma1 = value.find(',');
    if (comma1 == std::string_view::npos) {
        return std::nullopt;
    }
    const std::size_t comma2 = value.find(',', comma1 + 1);
    if (comma2 == std::string_view::npos) {
        return std::nullopt;
    }
    const auto digest = net::Base64Decode(value.substr(0, comma1));
    const auto size = platform::ParseWholeDecimal(value.substr(comma1 + 1, comma2 - comma1 - 1));
    if (!digest || digest->size() != net::Md5Digest().size() || !size) {
        return std::nullopt;
    }
    CopyDescription description;
    std::copy(digest->begin(), digest->end(), description.digest.begin());
    description.size = *size;
    return description;
}

bool AcceptsZip(std::string_view fangValue) {
    std::string_view rest = fangValue;
    for (int i = 0; i < 3; ++i) {
        const std::size_t comma = rest.find(',');
        if (comma == std::string_view::npos) {
            return false;
        }
        rest = rest.substr(comma + 1);
    }
    return platform::ParseDecimal(rest.substr(0, rest.find(','))) == 1;
}

}  // namespace qvn_service

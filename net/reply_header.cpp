#include "net/reply_header.h"

#include "platform/strings.h"

namespace net {

bool ReplyHeaderReader::Feed(char byte) {
    if (complete_) {
        return true;
    }
    block_.push_back(byte);
    if (byte == '\r') {
        crMark_ = true;
    } else if (byte == '\n') {
        if (crMark_) {
            if (lfMark_) {
                complete_ = true;
                endMark_ = true;
            } else {
                lfMark_ = true;
            }
        }
    } else {
        crMark_ = false;
        lfMark_ = false;
    }
    if (block_.size() >= kLimit) {
        complete_ = true;
    }
    return complete_;
}

void ReplyHeaderReader::Clear() {
    *this = ReplyHeaderReader();
}

std::optional<std::string_view> HeaderValue(std::string_view block, std::string_view name) {
    const std::size_t at = block.find(name);
    if (at == std::string_view::npos) {
        return std::nullopt;
    }
    std::string_view value = block.substr(at + name.size());
    const std::size_t cr = value.find('\r');
    return cr == std::string_view::npos ? value : value.substr(0, cr);
}

bool IsProxyAuthenticationFailure(std::string_view block) {
    const std::string_view line = block.substr(0, block.find('\r'));
    return line.substr(0, 12) == "HTTP/1.1 407" || line.substr(0, 12) == "HTTP/1.0 407";
}

namespace {

std::optional<LarchValues> ParseLarch(std::string_view block) {
    constexpr std::string_view kName = "X-QVN-LARCH: ";
    const std::size_t at = block.find(kName);
    if (at == std::string_view::npos) {
        return std::nullopt;
    }
    const std::string_view rest = block.substr(at + kName.size());
    LarchValues larch;
    larch.first = platform::ParseDecimal(rest);
    // The second number follows the first comma anywhere after the name.
    const std::size_t comma = rest.find(',');
    if (comma != std::string_view::npos) {
        larch.second = platform::ParseDecimal(rest.substr(comma + 1));
    }
    return larch;
}

std::optional<std::array<bool, 3>> ParsePayloadFlags(std::string_view block) {
    constexpr std::string_view kName = "X-QVN-CRUNCHYFROG: ";
    const std::size_t at = block.find(kName);
    if (at == std::string_view::npos) {
        return std::nullopt;
    }
    const std::string_view rest = block.substr(at + kName.size());
    std::array<bool, 3> flags{};
    for (std::size_t i = 0; i < flags.size(); ++i) {
        const std::size_t position = i * 2;
        flags[i] = position < rest.size() && rest[position] == '1';
    }
    return flags;
}

std::optional<FangValues> ParseFang(std::string_view block) {
    const auto value = HeaderValue(block, "X-QVN-Fang: ");
    if (!value) {
        return std::nullopt;
    }
    FangValues fang;
    fang.plainSize = platform::ParseDecimal(*value);
    const std::size_t first = value->find(',');
    if (first != std::string_view::npos) {
        const std::string_view afterFirst = value->substr(first + 1);
        fang.keyIndex = platform::ParseDecimal(afterFirst);
        const std::size_t second = afterFirst.find(',');
        if (second != std::string_view::npos) {
            fang.packed = second + 1 < afterFirst.size() && afterFirst[second + 1] == '1';
        }
    }
    return fang;
}

}  // namespace

ReplyHeaders ParseReplyHeaders(std::string_view block) {
    ReplyHeaders headers;
    headers.connectionClose = block.find("Connection: close") != std::string_view::npos;
    if (const auto value = HeaderValue(block, "X-QVN-CONCLUSION: ")) {
        headers.conclusion = std::string(value->substr(0, kConclusionLimit));
    }
    headers.larch = ParseLarch(block);
    headers.payloadFlags = ParsePayloadFlags(block);
    if (const auto value = HeaderValue(block, "Content-Length: ")) {
        headers.contentLength = platform::ParseDecimal(*value);
        headers.contentLengthIsNumber = platform::StartsWithDecimal(*value);
    }
    headers.restart = block.find("X-QVN-RESTART: ") != std::string_view::npos;
    headers.fang = ParseFang(block);
    return headers;
}

}  // namespace net

#include "net/base64.h"

namespace net {

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Encodes into `text`, which holds at least Base64Capacity(bytes.size())
// characters; returns the number written before the NUL.
std::size_t EncodeInto(std::span<const std::uint8_t> bytes, std::span<char> text) {
    std::size_t out = 0;
    std::size_t i = 0;
    for (; i + 3 <= bytes.size(); i += 3) {
        const std::uint32_t group =
            std::uint32_t{bytes[i]} << 16 | std::uint32_t{bytes[i + 1]} << 8 | bytes[i + 2];
        text[out++] = kAlphabet[group >> 18];
        text[out++] = kAlphabet[(group >> 12) & 0x3F];
        text[out++] = kAlphabet[(group >> 6) & 0x3F];
        text[out++] = kAlphabet[group & 0x3F];
    }
    const std::size_t rest = bytes.size() - i;
    if (rest > 0) {
        const std::uint32_t group =
            std::uint32_t{bytes[i]} << 16 | (rest == 2 ? std::uint32_t{bytes[i + 1]} << 8 : 0);
        text[out++] = kAlphabet[group >> 18];
        text[out++] = kAlphabet[(group >> 12) & 0x3F];
        text[out++] = rest == 2 ? kAlphabet[(group >> 6) & 0x3F] : '=';
        text[out++] = '=';
    }
    text[out] = '\0';
    return out;
}

// The value of one alphabet character, or -1.
int SextetOf(char c) {
    if (c >= 'A' && c <= 'Z') {
        return c - 'A';
    }
    if (c >= 'a' && c <= 'z') {
        return c - 'a' + 26;
    }
    if (c >= '0' && c <= '9') {
        return c - '0' + 52;
    }
    if (c == '+') {
        return 62;
    }
    if (c == '/') {
        return 63;
    }
    return -1;
}

}  // namespace

int Base64Encode(std::span<const std::uint8_t> bytes, std::span<char> text) {
    if (text.size() < Base64Capacity(bytes.size())) {
        return kBase64OutputTooSmall;
    }
    EncodeInto(bytes, text);
    return kBase64Ok;
}

std::string Base64Encode(std::span<const std::uint8_t> bytes) {
    std::string text(Base64Capacity(bytes.size()), '\0');
    text.resize(EncodeInto(bytes, text));
    return text;
}

std::optional<std::vector<std::uint8_t>> Base64Decode(std::string_view text) {
    if (text.size() % 4 != 0) {
        return std::nullopt;
    }
    std::vector<std::uint8_t> bytes;
    bytes.reserve(text.size() / 4 * 3);
    for (std::size_t group = 0; group < text.size(); group += 4) {
        const bool last = group + 4 == text.size();
        std::size_t padding = 0;
        if (last) {
            padding = text[group + 3] == '=' ? (text[group + 2] == '=' ? 2 : 1) : 0;
        }
        std::uint32_t value = 0;
        for (std::size_t i = 0; i < 4; ++i) {
            const int sextet = i < 4 - padding ? SextetOf(text[group + i]) : 0;
            if (sextet < 0) {
                return std::nullopt;
            }
            value = value << 6 | static_cast<std::uint32_t>(sextet);
        }
        // The bits below the last whole byte must be zero, so that each byte
        // string has exactly one text.
        if ((padding == 1 && (value & 0xFF) != 0) || (padding == 2 && (value & 0xFFFF) != 0)) {
            return std::nullopt;
        }
        bytes.push_back(static_cast<std::uint8_t>(value >> 16));
        if (padding < 2) {
            bytes.push_back(static_cast<std::uint8_t>(value >> 8));
        }
        if (padding < 1) {
            bytes.push_back(static_cast<std::uint8_t>(value));
        }
    }
    return bytes;
}

}  // namespace net

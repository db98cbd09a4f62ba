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

}  // namespace net

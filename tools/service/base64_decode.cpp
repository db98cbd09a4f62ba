#include "tools/service/base64_decode.h"

namespace qvn_service {

namespace {

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

}  // namespace qvn_service

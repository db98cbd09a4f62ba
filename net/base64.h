#pragma once
// Base64 (RFC 4648, standard alphabet, "=" padding, no line breaks) for the
// binary values that travel in header lines: the client writes them, the
// local service reads them.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace net {

// Results of the bounded encoder.
inline constexpr int kBase64Ok = 0;
inline constexpr int kBase64OutputTooSmall = 3;

// Room for the text of `length` bytes and its terminating NUL.
constexpr std::size_t Base64Capacity(std::size_t length) {
    return 4 * ((length + 2) / 3) + 1;
}

// Writes the text of `bytes` followed by a NUL into `text`. Returns
// kBase64Ok, or kBase64OutputTooSmall with nothing written when `text` is
// shorter than Base64Capacity(bytes.size()).
int Base64Encode(std::span<const std::uint8_t> bytes, std::span<char> text);

std::string Base64Encode(std::span<const std::uint8_t> bytes);

// Nothing for a text that is not exactly what the encoder writes: a length
// that is not a multiple of 4, a character outside the alphabet (blanks and
// line breaks included), padding anywhere but at the end, or padding bits
// that are not zero.
std::optional<std::vector<std::uint8_t>> Base64Decode(std::string_view text);

}  // namespace net

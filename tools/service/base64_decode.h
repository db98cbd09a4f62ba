#pragma once
// Reading the Base64 texts that clients put into header values (the
// credentials token, the digest of a partial copy).

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace qvn_service {

// Decodes standard Base64 (RFC 4648 alphabet, "=" padding, no line breaks
// or blanks). Nothing for a text that is not exactly that: a length that is
// not a multiple of 4, a character outside the alphabet, padding anywhere
// but at the end, or padding bits that are not zero.
std::optional<std::vector<std::uint8_t>> Base64Decode(std::string_view text);

}  // namespace qvn_service

#pragma once
// Messages and streams enciphered under a key from the shared KeyTable.
//
// A message starts with a 2-byte prefix that names the key: bit 0 of byte 0
// and the 8 bits of byte 1 form a 9-bit table index; the other seven bits of
// byte 0 are time bits that the receiver ignores. The ciphertext follows,
// then 0 to 3 filler bytes without meaning. A stream (a downloaded file) has
// no prefix: its key index comes from a reply header.

#include <cstddef>
#include <cstdint>
#include <span>

#include "net/blowfish.h"
#include "net/key_table.h"

namespace net {

// How many key windows a message seed chooses from, and a stream seed.
inline constexpr int kMessageIndexCount = 496;
inline constexpr int kStreamIndexCount = 511;

// Room that EncipherWithIndex needs at most for `length` bytes of plaintext:
// prefix, padded ciphertext and the largest filler.
constexpr std::size_t EncipheredCapacity(std::size_t length) {
    return 2 + BlowfishCipher::PaddedLength(length) + 3;
}

// Enciphers `plaintext` under the window at index seed mod 496 and writes
// prefix, ciphertext and (nowSeconds AND 3) filler bytes into `output`.
// `nowSeconds` is the current time in seconds; its low bits only fill the
// prefix's free bits and choose the filler length. Returns the output
// length, 2 + padded length + filler, or 0 with nothing written when
// `output` is too small (EncipheredCapacity is always enough). `plaintext`
// may lie inside `output`.
std::size_t EncipherWithIndex(const KeyTable& table, std::span<const std::uint8_t> plaintext,
                              std::int64_t seed, std::int64_t nowSeconds,
                              std::span<std::uint8_t> output);

// Deciphers a prefixed message: the whole blocks after the prefix, filler
// ignored. The plaintext goes to the start of `output`, which may be the
// input buffer itself (the plaintext then sits two bytes earlier than the
// ciphertext did; bytes from the returned length on keep what they held).
// Returns the plaintext length, which still includes the sender's zero
// fill. `keyIndex`, when given, receives the prefix's index, or -1 for an
// input shorter than the prefix. Returns 0 with nothing written when
// `output` cannot hold the plaintext.
std::size_t DecipherWithPrefix(const KeyTable& table, std::span<const std::uint8_t> input,
                               std::span<std::uint8_t> output, int* keyIndex = nullptr);

// Deciphers one downloaded file, piece by piece, under the window at index
// seed mod 511. The mode has no chaining, so the pieces may come in any
// order as long as each starts on a block boundary of the file.
class StreamDecipher {
  public:
    StreamDecipher(const KeyTable& table, std::int64_t seed);

    int KeyIndex() const { return keyIndex_; }

    // Deciphers the largest multiple of 8 bytes of `source` into
    // `destination` and returns that count; the remaining (size mod 8)
    // bytes are left as they are. Returns 0 with nothing written when
    // `destination` cannot hold the deciphered bytes.
    std::size_t Decipher(std::span<const std::uint8_t> source,
                         std::span<std::uint8_t> destination) const;
    // In place, the fast path for a mapped file.
    std::size_t Decipher(std::span<std::uint8_t> data) const { return Decipher(data, data); }

  private:
    BlowfishCipher cipher_;
    int keyIndex_;
};

}  // namespace net

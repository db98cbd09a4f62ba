#pragma once
// Blowfish, 16 rounds, in electronic-codebook mode: every 8-byte block is
// enciphered on its own, with no chaining and no initial vector.
//
// Byte order: the service reads a block as two 32-bit words, the left one
// from bytes 0-3 and the right one from bytes 4-7, each least significant
// byte first. The published test vectors use the opposite order within each
// word; the cipher itself is standard.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace net {

class BlowfishCipher {
  public:
    static constexpr std::size_t kBlockSize = 8;

    // Length rounded up to whole blocks.
    static constexpr std::size_t PaddedLength(std::size_t length) {
        return length + (kBlockSize - length % kBlockSize) % kBlockSize;
    }

    // Holds the published initial state, which is no key anyone shares:
    // call SetCipherKey before use.
    BlowfishCipher();

    // Runs the standard key schedule (521 block encipherments). The key
    // bytes are taken cyclically; only the first 72 can take part. An empty
    // key is refused and leaves the cipher as it was.
    [[nodiscard]] bool SetCipherKey(std::span<const std::uint8_t> key);

    // One block given as its two words.
    void EncipherBlock(std::uint32_t& left, std::uint32_t& right) const;
    void DecipherBlock(std::uint32_t& left, std::uint32_t& right) const;

    // Enciphers all of `source` into `destination`; a final short block is
    // completed with zero bytes first. Returns the padded length, or 0 with
    // nothing written when `destination` is shorter than that. The two may
    // be the same buffer or overlap in any way.
    std::size_t Encipher(std::span<const std::uint8_t> source,
                         std::span<std::uint8_t> destination) const;

    // Deciphers the whole blocks of `source` into `destination` and returns
    // how many bytes that was; a trailing partial block is neither read nor
    // written. Returns 0 with nothing written when `destination` cannot hold
    // them. The two may be the same buffer or overlap in any way; the same
    // buffer (in place) is the fast path for large data.
    std::size_t Decipher(std::span<const std::uint8_t> source,
                         std::span<std::uint8_t> destination) const;

  private:
    // P-array first, then the four S-boxes, in one block so that the round
    // function indexes a single array.
    struct Schedule {
        std::array<std::uint32_t, 18> p;
        std::array<std::uint32_t, 4 * 256> s;
    };

    Schedule schedule_;
};

}  // namespace net

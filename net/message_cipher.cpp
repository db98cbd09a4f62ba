#include "net/message_cipher.h"

namespace net {

namespace {

constexpr std::size_t kPrefixSize = 2;

// The remainder of seed / count in 0 .. count - 1, for negative seeds too,
// so that no index outside the table is ever formed.
int IndexFromSeed(std::int64_t seed, int count) {
    const std::int64_t remainder = seed % count;
    return static_cast<int>(remainder < 0 ? remainder + count : remainder);
}

BlowfishCipher CipherForWindow(const KeyTable& table, int index) {
    BlowfishCipher cipher;
    const KeyTable::Window key = table.WindowAt(static_cast<std::size_t>(index));
    // A 16-byte key is always accepted.
    [[maybe_unused]] const bool keyed = cipher.SetCipherKey(key);
    return cipher;
}

}  // namespace

std::size_t EncipherWithIndex(const KeyTable& table, std::span<const std::uint8_t> plaintext,
                              std::int64_t seed, std::int64_t nowSeconds,
                              std::span<std::uint8_t> output) {
    const int index = IndexFromSeed(seed, kMessageIndexCount);
    const std::size_t padded = BlowfishCipher::PaddedLength(plaintext.size());
    const std::size_t filler = static_cast<std::size_t>(nowSeconds & 3);
    const std::size_t total = kPrefixSize + padded + filler;
    if (output.size() < total) {
        return 0;
    }
    // The ciphertext first: the plaintext may lie where the prefix goes.
    if (padded > 0) {
        CipherForWindow(table, index).Encipher(plaintext, output.subspan(kPrefixSize, padded));
    }
    output[0] = static_cast<std::uint8_t>(((index >> 8) & 1) | ((nowSeconds & 0x7F) << 1));
    output[1] = static_cast<std::uint8_t>(index & 0xFF);
    for (std::size_t i = kPrefixSize + padded; i < total; ++i) {
        output[i] = 0;
    }
    return total;
}

std::size_t DecipherWithPrefix(const KeyTable& table, std::span<const std::uint8_t> input,
                               std::span<std::uint8_t> output, int* keyIndex) {
    if (input.size() < kPrefixSize) {
        if (keyIndex != nullptr) {
            *keyIndex = -1;
        }
        return 0;
    }
    const int index = (input[0] & 1) << 8 | input[1];
    if (keyIndex != nullptr) {
        *keyIndex = index;
    }
    const std::size_t length = input.size() - kPrefixSize;
    const std::size_t whole = length - length % BlowfishCipher::kBlockSize;
    if (whole == 0 || output.size() < whole) {
        return 0;
    }
    return CipherForWindow(table, index).Decipher(input.subspan(kPrefixSize, whole), output);
}

StreamDecipher::StreamDecipher(const KeyTable& table, std::int64_t seed)
    : cipher_(CipherForWindow(table, IndexFromSeed(seed, kStreamIndexCount))),
      keyIndex_(IndexFromSeed(seed, kStreamIndexCount)) {}

std::size_t StreamDecipher::Decipher(std::span<const std::uint8_t> source,
                                     std::span<std::uint8_t> destination) const {
    return cipher_.Decipher(source, destination);
}

}  // namespace net

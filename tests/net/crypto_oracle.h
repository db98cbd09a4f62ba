#pragma once
// Helpers shared by the cipher and digest tests: hex and random data, and
// OpenSSL's libcrypto as an independent oracle. OpenSSL is linked into the
// tests only, never into the program.

#define OPENSSL_SUPPRESS_DEPRECATED
#include <openssl/blowfish.h>
#include <openssl/evp.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <random>
#include <span>
#include <stdexcept>
#include <string_view>
#include <vector>

#include "net/md5.h"

namespace crypto_oracle {

using Bytes = std::vector<std::uint8_t>;

inline Bytes FromHex(std::string_view hex) {
    auto nibble = [](char c) -> std::uint8_t {
        if (c >= '0' && c <= '9') {
            return static_cast<std::uint8_t>(c - '0');
        }
        if (c >= 'a' && c <= 'f') {
            return static_cast<std::uint8_t>(c - 'a' + 10);
        }
        if (c >= 'A' && c <= 'F') {
            return static_cast<std::uint8_t>(c - 'A' + 10);
        }
        throw std::invalid_argument("not a hex digit");
    };
    if (hex.size() % 2 != 0) {
        throw std::invalid_argument("odd hex length");
    }
    Bytes bytes;
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        bytes.push_back(static_cast<std::uint8_t>(nibble(hex[i]) << 4 | nibble(hex[i + 1])));
    }
    return bytes;
}

inline Bytes RandomBytes(std::mt19937& rng, std::size_t count) {
    std::uniform_int_distribution<int> byte(0, 255);
    Bytes bytes(count);
    for (auto& b : bytes) {
        b = static_cast<std::uint8_t>(byte(rng));
    }
    return bytes;
}

// Reverses the bytes of every 4-byte word: converts between the published
// (most significant byte first) block order and the service's.
inline Bytes SwapWordBytes(std::span<const std::uint8_t> bytes) {
    Bytes swapped(bytes.begin(), bytes.end());
    for (std::size_t i = 0; i + 4 <= swapped.size(); i += 4) {
        std::swap(swapped[i], swapped[i + 3]);
        std::swap(swapped[i + 1], swapped[i + 2]);
    }
    return swapped;
}

// OpenSSL's Blowfish in ECB mode over whole blocks, in the service's byte
// order.
inline Bytes OpenSslBlowfish(std::span<const std::uint8_t> key, std::span<const std::uint8_t> data,
                             bool encipher) {
    BF_KEY schedule;
    BF_set_key(&schedule, static_cast<int>(key.size()), key.data());
    Bytes work = SwapWordBytes(data);
    for (std::size_t i = 0; i + 8 <= work.size(); i += 8) {
        BF_ecb_encrypt(work.data() + i, work.data() + i, &schedule,
                       encipher ? BF_ENCRYPT : BF_DECRYPT);
    }
    return SwapWordBytes(work);
}

inline net::Md5Digest OpenSslMd5(std::span<const std::uint8_t> data) {
    net::Md5Digest digest{};
    unsigned int length = 0;
    if (EVP_Digest(data.data(), data.size(), digest.data(), &length, EVP_md5(), nullptr) != 1 ||
        length != digest.size()) {
        throw std::runtime_error("EVP_Digest failed");
    }
    return digest;
}

}  // namespace crypto_oracle

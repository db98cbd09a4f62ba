#pragma once
// The MD5 message digest (RFC 1321). The service compares digests of local
// partial files and receives the digest of a password inside a token.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace net {

using Md5Digest = std::array<std::uint8_t, 16>;

// Incremental MD5: the digest of all bytes given to Update, in any pieces.
class Md5 {
  public:
    Md5() { Reset(); }

    void Reset();
    void Update(std::span<const std::uint8_t> bytes);
    // The digest of everything added since the last Reset; the object is
    // then reset for the next message.
    Md5Digest Finish();

  private:
    void Transform(const std::uint8_t* blocks, std::size_t count);

    std::array<std::uint32_t, 4> state_;
    std::array<std::uint8_t, 64> pending_;
    std::size_t pendingLength_;
    std::uint64_t totalLength_;
};

Md5Digest ComputeMd5(std::span<const std::uint8_t> bytes);
Md5Digest ComputeMd5(std::string_view text);

}  // namespace net

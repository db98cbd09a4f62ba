#pragma once
// The 512-byte table of Blowfish keys that the client shares with the
// service. A message names only a position in it; the 16 bytes from there
// are the key. The contents come with the deployment and stay out of logs,
// messages and test output, so this class offers no way to print them.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace net {

class KeyTable {
  public:
    static constexpr std::size_t kSize = 512;
    static constexpr std::size_t kWindowSize = 16;
    using Window = std::array<std::uint8_t, kWindowSize>;

    explicit KeyTable(std::span<const std::uint8_t, kSize> bytes);

    // A table from bytes of unchecked length: none unless there are exactly
    // kSize of them.
    static std::optional<KeyTable> FromBytes(std::span<const std::uint8_t> bytes);

    // The key that starts at `index`. Indices near the end (a received
    // prefix reaches 511, a stream seed 510) would run past the table, so the
    // window wraps round to its start: byte i is table[(index + i) mod kSize].
    Window WindowAt(std::size_t index) const;

  private:
    std::array<std::uint8_t, kSize> bytes_;
};

}  // namespace net

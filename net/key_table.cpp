#include "net/key_table.h"

#include <algorithm>

namespace net {

KeyTable::KeyTable(std::span<const std::uint8_t, kSize> bytes) {
    std::copy(bytes.begin(), bytes.end(), bytes_.begin());
}

std::optional<KeyTable> KeyTable::FromBytes(std::span<const std::uint8_t> bytes) {
    if (bytes.size() != kSize) {
        return std::nullopt;
    }
    return KeyTable(bytes.first<kSize>());
}

KeyTable::Window KeyTable::WindowAt(std::size_t index) const {
    Window window;
    for (std::size_t i = 0; i < kWindowSize; ++i) {
        window[i] = bytes_[(index % kSize + i) % kSize];
    }
    return window;
}

}  // namespace net

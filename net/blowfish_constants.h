#pragma once
// Blowfish's published initial state, used only by the key schedule.

#include <array>
#include <cstdint>

namespace net::blowfish_detail {

extern const std::array<std::uint32_t, 18> kInitialP;
// The four S-boxes one after the other, 256 words each.
extern const std::array<std::uint32_t, 1024> kInitialS;

}  // namespace net::blowfish_detail

#include "net/blowfish.h"
#include "net/byte_order.h"

#include <cstring>
#include <functional>
#include <type_traits>
#include <utility>

#include "net/blowfish_constants.h"

namespace net {

namespace {

constexpr std::size_t kBlock = BlowfishCipher::kBlockSize;

// How many blocks the bulk loops carry through the rounds side by side. The
// sixteen rounds of one block depend on each other; interleaving independent
// blocks lets their table look-ups overlap.
constexpr std::size_t kLanes = 4;

enum class Direction { Encipher, Decipher };

// The round function over the four S-boxes laid out one after the other.
inline std::uint32_t F(const std::uint32_t* s, std::uint32_t x) {
    return ((s[x >> 24] + s[256 + ((x >> 16) & 0xFF)]) ^ s[512 + ((x >> 8) & 0xFF)]) +
           s[768 + (x & 0xFF)];
}

// Deciphering is enciphering with the P-array read backwards.
template <Direction kDirection>
constexpr std::size_t PIndex(std::size_t i) {
    return kDirection == Direction::Encipher ? i : 17 - i;
}

// Calls fn(lane) for lanes 0 .. kCount - 1 with each lane a compile-time
// constant. Writing the lanes out this way, rather than as a loop, keeps
// every lane's words in registers whatever the optimisation level.
template <typename Fn, std::size_t... kLane>
inline void ForEachLaneOf(Fn& fn, std::index_sequence<kLane...>) {
    (fn(std::integral_constant<std::size_t, kLane>{}), ...);
}

template <std::size_t kCount, typename Fn>
inline void ForEachLane(Fn&& fn) {
    ForEachLaneOf(fn, std::make_index_sequence<kCount>{});
}

// The sixteen rounds over kCount blocks, two at a time: first the right
// halves take F of the left ones, then the other way round, so no swap is
// needed, and each round's P-array entry joins the same XOR. On return
// `left` and `right` hold the output's right and left words respectively
// (the final swap is left to the caller's stores).
template <Direction kDirection, std::size_t kCount>
inline void Rounds(const std::uint32_t* p, const std::uint32_t* s,
                   std::array<std::uint32_t, kCount>& left,
                   std::array<std::uint32_t, kCount>& right) {
    ForEachLane<kCount>([&](auto n) { left[n] ^= p[PIndex<kDirection>(0)]; });
    ForEachLane<8>([&](auto pair) {
        constexpr std::size_t kRound = 2 * pair + 1;
        const std::uint32_t first = p[PIndex<kDirection>(kRound)];
        const std::uint32_t second = p[PIndex<kDirection>(kRound + 1)];
        ForEachLane<kCount>([&](auto n) { right[n] ^= F(s, left[n]) ^ first; });
        ForEachLane<kCount>([&](auto n) { left[n] ^= F(s, right[n]) ^ second; });
    });
    ForEachLane<kCount>([&](auto n) { right[n] ^= p[PIndex<kDirection>(17)]; });
}

template <Direction kDirection, std::size_t kCount>
inline void CipherGroup(const std::uint32_t* p, const std::uint32_t* s, const std::uint8_t* from,
                        std::uint8_t* to) {
    std::array<std::uint32_t, kCount> left;
    std::array<std::uint32_t, kCount> right;
    ForEachLane<kCount>([&](auto n) {
        left[n] = LoadWord(from + n * kBlock);
        right[n] = LoadWord(from + n * kBlock + 4);
    });
    Rounds<kDirection>(p, s, left, right);
    ForEachLane<kCount>([&](auto n) {
        StoreWord(to + n * kBlock, right[n]);
        StoreWord(to + n * kBlock + 4, left[n]);
    });
}

// Runs `blocks` whole blocks from `from` to `to`, which are either the same
// bytes or do not overlap. Each group is read completely before it is
// written, so in-place work is safe.
template <Direction kDirection>
void CipherBlocks(const std::uint32_t* p, const std::uint32_t* s, const std::uint8_t* from,
                  std::uint8_t* to, std::size_t blocks) {
    std::size_t done = 0;
    for (; done + kLanes <= blocks; done += kLanes) {
        CipherGroup<kDirection, kLanes>(p, s, from + done * kBlock, to + done * kBlock);
    }
    for (; done < blocks; ++done) {
        CipherGroup<kDirection, 1>(p, s, from + done * kBlock, to + done * kBlock);
    }
}

// True when two different ranges of `length` bytes share some bytes.
bool PartlyOverlap(const std::uint8_t* a, const std::uint8_t* b, std::size_t length) {
    const std::less<const std::uint8_t*> before;
    return a != b && before(a, b + length) && before(b, a + length);
}

}  // namespace

BlowfishCipher::BlowfishCipher()
    : schedule_{blowfish_detail::kInitialP, blowfish_detail::kInitialS} {}

bool BlowfishCipher::SetCipherKey(std::span<const std::uint8_t> key) {
    if (key.empty()) {
        return false;
    }
    schedule_.p = blowfish_detail::kInitialP;
    schedule_.s = blowfish_detail::kInitialS;
    std::size_t next = 0;
    for (std::uint32_t& entry : schedule_.p) {
        std::uint32_t word = 0;
        for (int i = 0; i < 4; ++i) {
            word = word << 8 | key[next];
            next = (next + 1) % key.size();
        }
        entry ^= word;
    }
    std::uint32_t left = 0;
    std::uint32_t right = 0;
    for (std::size_t i = 0; i < schedule_.p.size(); i += 2) {
        EncipherBlock(left, right);
        schedule_.p[i] = left;
        schedule_.p[i + 1] = right;
    }
    for (std::size_t i = 0; i < schedule_.s.size(); i += 2) {
        EncipherBlock(left, right);
        schedule_.s[i] = left;
        schedule_.s[i + 1] = right;
    }
    return true;
}

void BlowfishCipher::EncipherBlock(std::uint32_t& left, std::uint32_t& right) const {
    std::array<std::uint32_t, 1> l{left};
    std::array<std::uint32_t, 1> r{right};
    Rounds<Direction::Encipher>(schedule_.p.data(), schedule_.s.data(), l, r);
    left = r[0];
    right = l[0];
}

void BlowfishCipher::DecipherBlock(std::uint32_t& left, std::uint32_t& right) const {
    std::array<std::uint32_t, 1> l{left};
    std::array<std::uint32_t, 1> r{right};
    Rounds<Direction::Decipher>(schedule_.p.data(), schedule_.s.data(), l, r);
    left = r[0];
    right = l[0];
}

std::size_t BlowfishCipher::Encipher(std::span<const std::uint8_t> source,
                                     std::span<std::uint8_t> destination) const {
    const std::size_t padded = PaddedLength(source.size());
    if (padded == 0 || destination.size() < padded) {
        return 0;
    }
    // Messages are short: gather the plaintext and its zero fill in the
    // destination, then encipher there.
    if (source.data() != destination.data()) {
        std::memmove(destination.data(), source.data(), source.size());
    }
    std::memset(destination.data() + source.size(), 0, padded - source.size());
    CipherBlocks<Direction::Encipher>(schedule_.p.data(), schedule_.s.data(), destination.data(),
                                      destination.data(), padded / kBlock);
    return padded;
}

std::size_t BlowfishCipher::Decipher(std::span<const std::uint8_t> source,
                                     std::span<std::uint8_t> destination) const {
    const std::size_t length = source.size() - source.size() % kBlock;
    if (length == 0 || destination.size() < length) {
        return 0;
    }
    const std::uint8_t* from = source.data();
    if (PartlyOverlap(from, destination.data(), length)) {
        std::memmove(destination.data(), from, length);
        from = destination.data();
    }
    CipherBlocks<Direction::Decipher>(schedule_.p.data(), schedule_.s.data(), from,
                                      destination.data(), length / kBlock);
    return length;
}

}  // namespace net

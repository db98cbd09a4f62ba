#include "net/md5.h"

#include <algorithm>
#include <bit>
#include <utility>

namespace net {

namespace {

constexpr std::size_t kBlockSize = 64;

// floor(|sin(i + 1)| * 2^32) for the 64 steps.
constexpr std::array<std::uint32_t, 64> kSine = {
    0xD76AA478, 0xE8C7B756, 0x242070DB, 0xC1BDCEEE, 0xF57C0FAF, 0x4787C62A, 0xA8304613, 0xFD469501,
    0x698098D8, 0x8B44F7AF, 0xFFFF5BB1, 0x895CD7BE, 0x6B901122, 0xFD987193, 0xA679438E, 0x49B40821,
    0xF61E2562, 0xC040B340, 0x265E5A51, 0xE9B6C7AA, 0xD62F105D, 0x02441453, 0xD8A1E681, 0xE7D3FBC8,
    0x21E1CDE6, 0xC33707D6, 0xF4D50D87, 0x455A14ED, 0xA9E3E905, 0xFCEFA3F8, 0x676F02D9, 0x8D2A4C8A,
    0xFFFA3942, 0x8771F681, 0x6D9D6122, 0xFDE5380C, 0xA4BEEA44, 0x4BDECFA9, 0xF6BB4B60, 0xBEBFBC70,
    0x289B7EC6, 0xEAA127FA, 0xD4EF3085, 0x04881D05, 0xD9D4D039, 0xE6DB99E5, 0x1FA27CF8, 0xC4AC5665,
    0xF4292244, 0x432AFF97, 0xAB9423A7, 0xFC93A039, 0x655B59C3, 0x8F0CCC92, 0xFFEFF47D, 0x85845DD1,
    0x6FA87E4F, 0xFE2CE6E0, 0xA3014314, 0x4E0811A1, 0xF7537E82, 0xBD3AF235, 0x2AD7D2BB, 0xEB86D391,
};

constexpr std::array<int, 16> kShift = {7, 12, 17, 22, 5, 9, 14, 20, 4, 11, 16, 23, 6, 10, 15, 21};

// Which message word step i adds.
constexpr std::size_t MessageIndex(std::size_t i) {
    switch (i / 16) {
        case 0:
            return i % 16;
        case 1:
            return (5 * i + 1) % 16;
        case 2:
            return (3 * i + 5) % 16;
        default:
            return (7 * i) % 16;
    }
}

inline std::uint32_t LoadWord(const std::uint8_t* bytes) {
    return std::uint32_t{bytes[0]} | std::uint32_t{bytes[1]} << 8 | std::uint32_t{bytes[2]} << 16 |
           std::uint32_t{bytes[3]} << 24;
}

inline void StoreWord(std::uint8_t* bytes, std::uint32_t word) {
    bytes[0] = static_cast<std::uint8_t>(word);
    bytes[1] = static_cast<std::uint8_t>(word >> 8);
    bytes[2] = static_cast<std::uint8_t>(word >> 16);
    bytes[3] = static_cast<std::uint8_t>(word >> 24);
}

// One of the 64 steps. The four working words trade roles every step
// (a, b, c, d, then d, a, b, c, ...), expressed through the indices so the
// compiler keeps them in registers. Each step hangs on the word b computed
// by the step before, so everything that does not involve b is summed first
// and b enters last.
template <std::size_t kStep>
inline void Step(std::array<std::uint32_t, 4>& v, const std::uint32_t* x) {
    constexpr std::size_t a = (4 - kStep % 4) % 4;
    constexpr std::size_t b = (a + 1) % 4;
    constexpr std::size_t c = (a + 2) % 4;
    constexpr std::size_t d = (a + 3) % 4;
    std::uint32_t sum = v[a] + x[MessageIndex(kStep)] + kSine[kStep];
    if constexpr (kStep < 16) {
        sum += ((v[c] ^ v[d]) & v[b]) ^ v[d];  // b ? c : d
    } else if constexpr (kStep < 32) {
        sum += (v[c] & ~v[d]) + (v[b] & v[d]);  // d ? b : c, the two parts disjoint
    } else if constexpr (kStep < 48) {
        sum += (v[c] ^ v[d]) ^ v[b];
    } else {
        sum += (v[b] | ~v[d]) ^ v[c];
    }
    v[a] = v[b] + std::rotl(sum, kShift[kStep / 16 * 4 + kStep % 4]);
}

template <std::size_t... kStep>
inline void AllSteps(std::array<std::uint32_t, 4>& v, const std::uint32_t* x,
                     std::index_sequence<kStep...>) {
    (Step<kStep>(v, x), ...);
}

}  // namespace

void Md5::Reset() {
    state_ = {0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476};
    pendingLength_ = 0;
    totalLength_ = 0;
}

void Md5::Transform(const std::uint8_t* blocks, std::size_t count) {
    std::array<std::uint32_t, 4> v = state_;
    for (std::size_t block = 0; block < count; ++block) {
        const std::uint8_t* bytes = blocks + block * kBlockSize;
        std::array<std::uint32_t, 16> x;
        for (std::size_t i = 0; i < x.size(); ++i) {
            x[i] = LoadWord(bytes + 4 * i);
        }
        const std::array<std::uint32_t, 4> start = v;
        AllSteps(v, x.data(), std::make_index_sequence<64>{});
        for (std::size_t i = 0; i < v.size(); ++i) {
            v[i] += start[i];
        }
    }
    state_ = v;
}

void Md5::Update(std::span<const std::uint8_t> bytes) {
    totalLength_ += bytes.size();
    if (pendingLength_ > 0) {
        const std::size_t take = std::min(bytes.size(), kBlockSize - pendingLength_);
        std::copy_n(bytes.begin(), take, pending_.begin() + pendingLength_);
        pendingLength_ += take;
        bytes = bytes.subspan(take);
        if (pendingLength_ < kBlockSize) {
            return;
        }
        Transform(pending_.data(), 1);
        pendingLength_ = 0;
    }
    const std::size_t whole = bytes.size() / kBlockSize;
    if (whole > 0) {
        Transform(bytes.data(), whole);
    }
    const auto rest = bytes.subspan(whole * kBlockSize);
    std::copy(rest.begin(), rest.end(), pending_.begin());
    pendingLength_ = rest.size();
}

Md5Digest Md5::Finish() {
    const std::uint64_t bitLength = totalLength_ * 8;
    // A 1 bit, zeros up to 8 bytes short of a block boundary, then the
    // message length in bits.
    std::array<std::uint8_t, 2 * kBlockSize> tail{};
    std::copy_n(pending_.begin(), pendingLength_, tail.begin());
    tail[pendingLength_] = 0x80;
    const std::size_t tailLength = pendingLength_ < kBlockSize - 8 ? kBlockSize : 2 * kBlockSize;
    for (std::size_t i = 0; i < 8; ++i) {
        tail[tailLength - 8 + i] = static_cast<std::uint8_t>(bitLength >> (8 * i));
    }
    Transform(tail.data(), tailLength / kBlockSize);
    Md5Digest digest;
    for (std::size_t i = 0; i < state_.size(); ++i) {
        StoreWord(digest.data() + 4 * i, state_[i]);
    }
    Reset();
    return digest;
}

Md5Digest ComputeMd5(std::span<const std::uint8_t> bytes) {
    Md5 md5;
    md5.Update(bytes);
    return md5.Finish();
}

Md5Digest ComputeMd5(std::string_view text) {
    return ComputeMd5(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

}  // namespace net

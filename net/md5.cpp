#include "net/md5.h"
#include "net/byte_order.h"

#include <algorithm>
#include <bit>

namespace net {

namespace {

constexpr std::size_t kBlockSize = 64;

// The four kinds of step, one per round of sixteen. Each step hangs on the
// word b that the step before computed, so everything that does not involve
// b is summed first and b enters last.
inline void StepF(std::uint32_t& a, std::uint32_t b, std::uint32_t c, std::uint32_t d,
                  std::uint32_t word, std::uint32_t sine, int shift) {
    const std::uint32_t sum = a + word + sine + (((c ^ d) & b) ^ d);  // b ? c : d
    a = b + std::rotl(sum, shift);
}

inline void StepG(std::uint32_t& a, std::uint32_t b, std::uint32_t c, std::uint32_t d,
                  std::uint32_t word, std::uint32_t sine, int shift) {
    // d ? b : c, as the sum of its two disjoint parts.
    const std::uint32_t sum = a + word + sine + (c & ~d) + (b & d);
    a = b + std::rotl(sum, shift);
}

inline void StepH(std::uint32_t& a, std::uint32_t b, std::uint32_t c, std::uint32_t d,
                  std::uint32_t word, std::uint32_t sine, int shift) {
    const std::uint32_t sum = a + word + sine + ((c ^ d) ^ b);
    a = b + std::rotl(sum, shift);
}

inline void StepI(std::uint32_t& a, std::uint32_t b, std::uint32_t c, std::uint32_t d,
                  std::uint32_t word, std::uint32_t sine, int shift) {
    const std::uint32_t sum = a + word + sine + ((b | ~d) ^ c);
    a = b + std::rotl(sum, shift);
}

}  // namespace

void Md5::Reset() {
    state_ = {0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476};
    pendingLength_ = 0;
    totalLength_ = 0;
}

void Md5::Transform(const std::uint8_t* blocks, std::size_t count) {
    std::uint32_t a = state_[0];
    std::uint32_t b = state_[1];
    std::uint32_t c = state_[2];
    std::uint32_t d = state_[3];
    for (std::size_t block = 0; block < count; ++block) {
        const std::uint8_t* bytes = blocks + block * kBlockSize;
        std::array<std::uint32_t, 16> x;
        for (std::size_t i = 0; i < x.size(); ++i) {
            x[i] = LoadWord(bytes + 4 * i);
        }
        const std::uint32_t startA = a;
        const std::uint32_t startB = b;
        const std::uint32_t startC = c;
        const std::uint32_t startD = d;
        // Each of the 64 steps names its message word, its constant
        // floor(|sin(i)| * 2^32) for step i = 1 .. 64, and its rotation.
        // Round 1.
        StepF(a, b, c, d, x[0], 0xD76AA478, 7);
        StepF(d, a, b, c, x[1], 0xE8C7B756, 12);
        StepF(c, d, a, b, x[2], 0x242070DB, 17);
        StepF(b, c, d, a, x[3], 0xC1BDCEEE, 22);
        StepF(a, b, c, d, x[4], 0xF57C0FAF, 7);
        StepF(d, a, b, c, x[5], 0x4787C62A, 12);
        StepF(c, d, a, b, x[6], 0xA8304613, 17);
        StepF(b, c, d, a, x[7], 0xFD469501, 22);
        StepF(a, b, c, d, x[8], 0x698098D8, 7);
        StepF(d, a, b, c, x[9], 0x8B44F7AF, 12);
        StepF(c, d, a, b, x[10], 0xFFFF5BB1, 17);
        StepF(b, c, d, a, x[11], 0x895CD7BE, 22);
        StepF(a, b, c, d, x[12], 0x6B901122, 7);
        StepF(d, a, b, c, x[13], 0xFD987193, 12);
        StepF(c, d, a, b, x[14], 0xA679438E, 17);
        StepF(b, c, d, a, x[15], 0x49B40821, 22);
        // Round 2.
        StepG(a, b, c, d, x[1], 0xF61E2562, 5);
        StepG(d, a, b, c, x[6], 0xC040B340, 9);
        StepG(c, d, a, b, x[11], 0x265E5A51, 14);
        StepG(b, c, d, a, x[0], 0xE9B6C7AA, 20);
        StepG(a, b, c, d, x[5], 0xD62F105D, 5);
        StepG(d, a, b, c, x[10], 0x02441453, 9);
        StepG(c, d, a, b, x[15], 0xD8A1E681, 14);
        StepG(b, c, d, a, x[4], 0xE7D3FBC8, 20);
        StepG(a, b, c, d, x[9], 0x21E1CDE6, 5);
        StepG(d, a, b, c, x[14], 0xC33707D6, 9);
        StepG(c, d, a, b, x[3], 0xF4D50D87, 14);
        StepG(b, c, d, a, x[8], 0x455A14ED, 20);
        StepG(a, b, c, d, x[13], 0xA9E3E905, 5);
        StepG(d, a, b, c, x[2], 0xFCEFA3F8, 9);
        StepG(c, d, a, b, x[7], 0x676F02D9, 14);
        StepG(b, c, d, a, x[12], 0x8D2A4C8A, 20);
        // Round 3.
        StepH(a, b, c, d, x[5], 0xFFFA3942, 4);
        StepH(d, a, b, c, x[8], 0x8771F681, 11);
        StepH(c, d, a, b, x[11], 0x6D9D6122, 16);
        StepH(b, c, d, a, x[14], 0xFDE5380C, 23);
        StepH(a, b, c, d, x[1], 0xA4BEEA44, 4);
        StepH(d, a, b, c, x[4], 0x4BDECFA9, 11);
        StepH(c, d, a, b, x[7], 0xF6BB4B60, 16);
        StepH(b, c, d, a, x[10], 0xBEBFBC70, 23);
        StepH(a, b, c, d, x[13], 0x289B7EC6, 4);
        StepH(d, a, b, c, x[0], 0xEAA127FA, 11);
        StepH(c, d, a, b, x[3], 0xD4EF3085, 16);
        StepH(b, c, d, a, x[6], 0x04881D05, 23);
        StepH(a, b, c, d, x[9], 0xD9D4D039, 4);
        StepH(d, a, b, c, x[12], 0xE6DB99E5, 11);
        StepH(c, d, a, b, x[15], 0x1FA27CF8, 16);
        StepH(b, c, d, a, x[2], 0xC4AC5665, 23);
        // Round 4.
        StepI(a, b, c, d, x[0], 0xF4292244, 6);
        StepI(d, a, b, c, x[7], 0x432AFF97, 10);
        StepI(c, d, a, b, x[14], 0xAB9423A7, 15);
        StepI(b, c, d, a, x[5], 0xFC93A039, 21);
        StepI(a, b, c, d, x[12], 0x655B59C3, 6);
        StepI(d, a, b, c, x[3], 0x8F0CCC92, 10);
        StepI(c, d, a, b, x[10], 0xFFEFF47D, 15);
        StepI(b, c, d, a, x[1], 0x85845DD1, 21);
        StepI(a, b, c, d, x[8], 0x6FA87E4F, 6);
        StepI(d, a, b, c, x[15], 0xFE2CE6E0, 10);
        StepI(c, d, a, b, x[6], 0xA3014314, 15);
        StepI(b, c, d, a, x[13], 0x4E0811A1, 21);
        StepI(a, b, c, d, x[4], 0xF7537E82, 6);
        StepI(d, a, b, c, x[11], 0xBD3AF235, 10);
        StepI(c, d, a, b, x[2], 0x2AD7D2BB, 15);
        StepI(b, c, d, a, x[9], 0xEB86D391, 21);
        a += startA;
        b += startB;
        c += startC;
        d += startD;
    }
    state_ = {a, b, c, d};
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

// Enciphered messages and downloaded files: the index-prefixed messages
// (the key's file list) and the prefix-less streams.
//
// The first input byte chooses the room of the output buffer (ample, or
// short of the deciphered blocks by up to 8 bytes), the size of the
// stream's pieces and which of the costlier checks run (each runs a key
// schedule of its own, so each runs for a quarter of the inputs); the rest
// is the message. Checked: the prefix names the
// index that comes back; only whole blocks are deciphered, into a buffer
// that holds them, and nothing past them is written; in place and apart
// give the same bytes; a message enciphered from the plaintext under the
// same index gives back the ciphertext. Then the same bytes as a stream
// under a seed from the message: any split into block-aligned pieces
// deciphers to the same bytes as the whole.

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "fuzz_support.h"
#include "net/blowfish.h"
#include "net/message_cipher.h"

namespace {

constexpr std::uint8_t kUntouched = 0xC5;

void CheckInPlace(std::span<const std::uint8_t> message, const std::vector<std::uint8_t>& apart,
                  int index, std::size_t length);
void CheckEncipheredAgain(std::span<const std::uint8_t> message,
                          const std::vector<std::uint8_t>& apart, int index, std::size_t length);

void CheckMessage(std::uint8_t mode, std::span<const std::uint8_t> message) {
    const net::KeyTable& table = fuzz::FuzzKeyTable();
    const std::size_t whole = message.size() < 2 ? 0 : (message.size() - 2) / 8 * 8;

    int index = -2;
    std::vector<std::uint8_t> apart(whole + 16, kUntouched);
    const std::size_t room =
        mode % 3 == 2 ? whole - std::min<std::size_t>(whole, mode / 3 % 9) : apart.size();
    const std::size_t length =
        net::DecipherWithPrefix(table, message, std::span(apart).first(room), &index);
    if (message.size() < 2) {
        FUZZ_CHECK(index == -1);
        FUZZ_CHECK(length == 0);
        return;
    }
    FUZZ_CHECK(index == ((message[0] & 1) << 8 | message[1]));
    FUZZ_CHECK(length == (room >= whole ? whole : 0));
    const std::size_t written = length;
    for (std::size_t i = written; i < apart.size(); ++i) {
        FUZZ_CHECK(apart[i] == kUntouched);
    }
    if (length == 0) {
        return;
    }

    if ((mode & 3) == 0) {
        CheckInPlace(message, apart, index, length);
    }
    if ((mode & 12) == 0) {
        CheckEncipheredAgain(message, apart, index, length);
    }
}

// In place: the plaintext lands two bytes before where its blocks were.
void CheckInPlace(std::span<const std::uint8_t> message, const std::vector<std::uint8_t>& apart,
                  int index, std::size_t length) {
    const net::KeyTable& table = fuzz::FuzzKeyTable();
    std::vector<std::uint8_t> inPlace(message.begin(), message.end());
    int inPlaceIndex = -2;
    const std::size_t inPlaceLength =
        net::DecipherWithPrefix(table, inPlace, inPlace, &inPlaceIndex);
    FUZZ_CHECK(inPlaceIndex == index);
    FUZZ_CHECK(inPlaceLength == length);
    FUZZ_CHECK(std::equal(apart.begin(), apart.begin() + static_cast<std::ptrdiff_t>(length),
                          inPlace.begin()));
    FUZZ_CHECK(std::equal(inPlace.begin() + static_cast<std::ptrdiff_t>(length), inPlace.end(),
                          message.begin() + static_cast<std::ptrdiff_t>(length)));
}

// Enciphering the plaintext again under that index gives the blocks back.
// Indices past 495 are never chosen by a sender.
void CheckEncipheredAgain(std::span<const std::uint8_t> message,
                          const std::vector<std::uint8_t>& apart, int index, std::size_t length) {
    const net::KeyTable& table = fuzz::FuzzKeyTable();
    if (index < net::kMessageIndexCount) {
        const std::int64_t now = message[0] >> 1;
        std::vector<std::uint8_t> again(net::EncipheredCapacity(length));
        const std::size_t total =
            net::EncipherWithIndex(table, std::span(apart).first(length), index, now, again);
        FUZZ_CHECK(total == 2 + length + static_cast<std::size_t>(now & 3));
        FUZZ_CHECK(again[0] == message[0] && again[1] == message[1]);
        FUZZ_CHECK(std::equal(again.begin() + 2,
                              again.begin() + 2 + static_cast<std::ptrdiff_t>(length),
                              message.begin() + 2));
    }
}

// The decipherer of a stream's key window, made once per window: its key
// schedule is the costly part. One input in sixteen makes its own from the
// seed and checks that it chose the same window.
const net::StreamDecipher& DecipherFor(std::int64_t seed, std::uint8_t mode) {
    static std::array<std::unique_ptr<net::StreamDecipher>, net::kStreamIndexCount> made;
    const std::int64_t remainder = seed % net::kStreamIndexCount;
    const int index =
        static_cast<int>(remainder < 0 ? remainder + net::kStreamIndexCount : remainder);
    auto& decipher = made[static_cast<std::size_t>(index)];
    if (!decipher) {
        decipher = std::make_unique<net::StreamDecipher>(fuzz::FuzzKeyTable(), index);
    }
    if (mode % 16 == 15) {
        const net::StreamDecipher own(fuzz::FuzzKeyTable(), seed);
        FUZZ_CHECK(own.KeyIndex() == index);
    }
    FUZZ_CHECK(decipher->KeyIndex() == index);
    return *decipher;
}

void CheckStream(std::uint8_t mode, std::span<const std::uint8_t> bytes) {
    std::int64_t seed = 0;
    std::memcpy(&seed, bytes.data(), std::min(sizeof seed, bytes.size()));
    const net::StreamDecipher& decipher = DecipherFor(seed, mode);

    std::vector<std::uint8_t> whole(bytes.begin(), bytes.end());
    const std::size_t done = decipher.Decipher(whole);
    FUZZ_CHECK(done == bytes.size() / 8 * 8);
    FUZZ_CHECK(std::equal(whole.begin() + static_cast<std::ptrdiff_t>(done), whole.end(),
                          bytes.begin() + static_cast<std::ptrdiff_t>(done)));

    // Pieces of 8 * (1 + mode % 16) bytes, the last one ragged, deciphered
    // last to first into another buffer.
    const std::size_t piece = 8 * (1 + mode % 16);
    std::vector<std::uint8_t> pieces(bytes.size(), kUntouched);
    for (std::size_t start = bytes.size() / piece * piece + piece; start >= piece;) {
        start -= piece;
        if (start >= bytes.size()) {
            continue;
        }
        const std::size_t count = std::min(piece, bytes.size() - start);
        decipher.Decipher(bytes.subspan(start, count), std::span(pieces).subspan(start, count));
    }
    FUZZ_CHECK(std::equal(pieces.begin(), pieces.begin() + static_cast<std::ptrdiff_t>(done),
                          whole.begin()));
    for (std::size_t i = done; i < pieces.size(); ++i) {
        FUZZ_CHECK(pieces[i] == kUntouched);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const std::span<const std::uint8_t> message(data + 1, size - 1);
    CheckMessage(data[0], message);
    CheckStream(data[0], message);
    return 0;
}

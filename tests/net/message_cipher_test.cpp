#include "net/message_cipher.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "crypto_oracle.h"
#include "net/key_table.h"

namespace {

using crypto_oracle::Bytes;
using crypto_oracle::OpenSslBlowfish;
using crypto_oracle::RandomBytes;

// The key at `index`, taken straight from the table's bytes: a plain slice,
// continued from the table's start when it reaches the end.
Bytes WindowFromTable(const Bytes& table, std::size_t index) {
    Bytes window;
    for (std::size_t i = 0; i < 16; ++i) {
        window.push_back(table[(index + i) % table.size()]);
    }
    return window;
}

// Arbitrary contents standing in for the deployment's table.
Bytes TestTableBytes() {
    std::mt19937 rng(0x7AB1E);
    return RandomBytes(rng, net::KeyTable::kSize);
}

Bytes ZeroPadded(Bytes bytes) {
    bytes.resize((bytes.size() + 7) / 8 * 8, 0);
    return bytes;
}

class MessageCipher : public testing::Test {
  protected:
    Bytes tableBytes_ = TestTableBytes();
    net::KeyTable table_{std::span<const std::uint8_t, net::KeyTable::kSize>(tableBytes_)};
};

TEST_F(MessageCipher, KeyTableWindowsAreSlicesThatWrapAtTheEnd) {
    for (std::size_t index : {0u, 1u, 200u, 495u, 496u, 497u, 500u, 510u, 511u, 512u, 1000u}) {
        SCOPED_TRACE(index);
        const net::KeyTable::Window window = table_.WindowAt(index);
        EXPECT_EQ(Bytes(window.begin(), window.end()), WindowFromTable(tableBytes_, index));
    }
    const net::KeyTable::Window last = table_.WindowAt(511);
    EXPECT_EQ(last[0], tableBytes_[511]);
    EXPECT_EQ(last[1], tableBytes_[0]);
    EXPECT_EQ(last[15], tableBytes_[14]);

    EXPECT_FALSE(net::KeyTable::FromBytes(std::span(tableBytes_).first(511)).has_value());
    Bytes longer = tableBytes_;
    longer.push_back(0);
    EXPECT_FALSE(net::KeyTable::FromBytes(longer).has_value());
    const auto fromBytes = net::KeyTable::FromBytes(tableBytes_);
    ASSERT_TRUE(fromBytes.has_value());
    EXPECT_EQ(fromBytes->WindowAt(100), table_.WindowAt(100));
}

TEST_F(MessageCipher, EncipherWithIndexLayout) {
    std::mt19937 rng(2);
    for (std::size_t length = 0; length <= 25; ++length) {
        for (std::int64_t now : {0, 1, 2, 3, 126, 127, 128, 1700000001, 1700000003}) {
            SCOPED_TRACE(testing::Message() << "length " << length << ", time " << now);
            const Bytes plain = RandomBytes(rng, length);
            const std::int64_t seed = (now * 7 + static_cast<std::int64_t>(length)) & 0x3FF;
            const std::size_t index = static_cast<std::size_t>(seed % 496);
            const std::size_t padded = (length + 7) / 8 * 8;
            const std::size_t filler = static_cast<std::size_t>(now & 3);

            Bytes out(net::EncipheredCapacity(length) + 4, 0xCC);
            const std::size_t written = net::EncipherWithIndex(table_, plain, seed, now, out);
            ASSERT_EQ(written, 2 + padded + filler);
            EXPECT_EQ(out[0] & 1, static_cast<int>(index >> 8));
            EXPECT_EQ(out[0] >> 1, static_cast<int>(now & 0x7F));
            EXPECT_EQ(out[1], static_cast<std::uint8_t>(index & 0xFF));

            const Bytes expected =
                OpenSslBlowfish(WindowFromTable(tableBytes_, index), ZeroPadded(plain), true);
            EXPECT_TRUE(std::equal(expected.begin(), expected.end(), out.begin() + 2));
            EXPECT_TRUE(std::all_of(out.begin() + static_cast<std::ptrdiff_t>(written), out.end(),
                                    [](std::uint8_t b) { return b == 0xCC; }));
        }
    }
}

TEST_F(MessageCipher, IndexAndPlaintextReadBackForEveryIndexAndTimeBits) {
    std::mt19937 rng(3);
    for (std::int64_t seed = 0; seed < 1024; ++seed) {
        const std::int64_t now = seed * 13 + 5;  // varies all 7 time bits and the filler
        const Bytes plain = RandomBytes(rng, 1 + static_cast<std::size_t>(seed % 40));
        Bytes message(net::EncipheredCapacity(plain.size()));
        message.resize(net::EncipherWithIndex(table_, plain, seed, now, message));

        int keyIndex = -2;
        Bytes out(message.size(), 0);
        const std::size_t length = net::DecipherWithPrefix(table_, message, out, &keyIndex);
        ASSERT_EQ(keyIndex, seed % 496) << "seed " << seed;
        ASSERT_EQ(length, (plain.size() + 7) / 8 * 8);
        ASSERT_TRUE(std::equal(plain.begin(), plain.end(), out.begin())) << "seed " << seed;
        ASSERT_TRUE(std::all_of(out.begin() + static_cast<std::ptrdiff_t>(plain.size()),
                                out.begin() + static_cast<std::ptrdiff_t>(length),
                                [](std::uint8_t b) { return b == 0; }));
    }
}

TEST_F(MessageCipher, NegativeSeedStillNamesAWindowInTheTable) {
    const Bytes plain = {'k', 'e', 'y', ',', 0};
    Bytes message(net::EncipheredCapacity(plain.size()));
    message.resize(net::EncipherWithIndex(table_, plain, -1, 0, message));
    int keyIndex = -2;
    Bytes out(message.size());
    net::DecipherWithPrefix(table_, message, out, &keyIndex);
    EXPECT_EQ(keyIndex, 495);
    EXPECT_TRUE(std::equal(plain.begin(), plain.end(), out.begin()));
}

TEST_F(MessageCipher, EncipherWithIndexInPlaceAndRefusingSmallOutput) {
    const Bytes plain = {'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H', 'I', 0};
    Bytes separate(net::EncipheredCapacity(plain.size()));
    separate.resize(net::EncipherWithIndex(table_, plain, 77, 6, separate));

    Bytes buffer(net::EncipheredCapacity(plain.size()), 0x99);
    std::copy(plain.begin(), plain.end(), buffer.begin());
    buffer.resize(
        net::EncipherWithIndex(table_, std::span(buffer).first(plain.size()), 77, 6, buffer));
    EXPECT_EQ(buffer, separate);

    // 2 + 16 + (6 AND 3) = 20 bytes are needed.
    Bytes small(19, 0x44);
    EXPECT_EQ(net::EncipherWithIndex(table_, plain, 77, 6, small), 0u);
    EXPECT_EQ(small, Bytes(19, 0x44));
}

TEST_F(MessageCipher, DecipherInPlaceMovesPlaintextToTheFrontAndKeepsTheRest) {
    std::mt19937 rng(4);
    const Bytes plain = RandomBytes(rng, 24);
    Bytes message(net::EncipheredCapacity(plain.size()));
    message.resize(net::EncipherWithIndex(table_, plain, 300, 3, message));  // 3 filler bytes
    ASSERT_EQ(message.size(), 2u + 24u + 3u);

    Bytes buffer = message;
    int keyIndex = -2;
    const std::size_t length = net::DecipherWithPrefix(table_, buffer, buffer, &keyIndex);
    EXPECT_EQ(keyIndex, 300);
    ASSERT_EQ(length, 24u);
    EXPECT_TRUE(std::equal(plain.begin(), plain.end(), buffer.begin()));
    EXPECT_TRUE(std::equal(message.begin() + 24, message.end(), buffer.begin() + 24));
}

TEST_F(MessageCipher, DecipherIgnoresBytesBeyondTheLastWholeBlock) {
    std::mt19937 rng(5);
    const Bytes plain = RandomBytes(rng, 16);
    Bytes message(net::EncipheredCapacity(plain.size()));
    message.resize(net::EncipherWithIndex(table_, plain, 9, 0, message));  // no filler
    ASSERT_EQ(message.size(), 18u);
    for (std::size_t extra = 1; extra <= 7; ++extra) {
        SCOPED_TRACE(extra);
        Bytes longer = message;
        const Bytes junk = RandomBytes(rng, extra);
        longer.insert(longer.end(), junk.begin(), junk.end());
        Bytes out(longer.size(), 0x77);
        ASSERT_EQ(net::DecipherWithPrefix(table_, longer, out), 16u);
        EXPECT_TRUE(std::equal(plain.begin(), plain.end(), out.begin()));
        EXPECT_TRUE(
            std::all_of(out.begin() + 16, out.end(), [](std::uint8_t b) { return b == 0x77; }));
    }
}

TEST_F(MessageCipher, ShortMessagesDecipherNothing) {
    for (std::size_t size = 0; size <= 9; ++size) {
        SCOPED_TRACE(size);
        Bytes message(size, 0x03);
        if (size >= 2) {
            message[1] = 0xFE;
        }
        Bytes out(16, 0x55);
        int keyIndex = -2;
        EXPECT_EQ(net::DecipherWithPrefix(table_, message, out, &keyIndex), 0u);
        EXPECT_EQ(keyIndex, size >= 2 ? 0x1FE : -1);
        EXPECT_EQ(out, Bytes(16, 0x55));
    }
}

// A received prefix can name indices up to 511, whose windows wrap.
TEST_F(MessageCipher, PrefixIndicesPastTheLastWholeWindowUseWrappedKeys) {
    std::mt19937 rng(6);
    for (std::size_t index = 497; index <= 511; ++index) {
        SCOPED_TRACE(index);
        const Bytes plain = RandomBytes(rng, 32);
        Bytes message = {static_cast<std::uint8_t>(index >> 8 | 0x5A << 1),
                         static_cast<std::uint8_t>(index & 0xFF)};
        const Bytes cipherText = OpenSslBlowfish(WindowFromTable(tableBytes_, index), plain, true);
        message.insert(message.end(), cipherText.begin(), cipherText.end());

        int keyIndex = -2;
        ASSERT_EQ(net::DecipherWithPrefix(table_, message, message, &keyIndex), 32u);
        EXPECT_EQ(keyIndex, static_cast<int>(index));
        EXPECT_TRUE(std::equal(plain.begin(), plain.end(), message.begin()));
    }
}

TEST_F(MessageCipher, StreamDecipherWholeBlocksOnly) {
    std::mt19937 rng(7);
    const net::StreamDecipher stream(table_, 1234);
    EXPECT_EQ(stream.KeyIndex(), 1234 % 511);
    const Bytes key = WindowFromTable(tableBytes_, 1234 % 511);

    const Bytes data = RandomBytes(rng, 13);
    Bytes buffer = data;
    EXPECT_EQ(stream.Decipher(buffer), 8u);
    const Bytes expected = OpenSslBlowfish(key, std::span(data).first(8), false);
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), buffer.begin()));
    EXPECT_TRUE(std::equal(data.begin() + 8, data.end(), buffer.begin() + 8));

    const Bytes unit = RandomBytes(rng, 2048);
    Bytes out(2048);
    EXPECT_EQ(stream.Decipher(unit, out), 2048u);
    EXPECT_EQ(out, OpenSslBlowfish(key, unit, false));

    Bytes seven(7, 0x31);
    EXPECT_EQ(stream.Decipher(seven), 0u);
    EXPECT_EQ(seven, Bytes(7, 0x31));
}

TEST_F(MessageCipher, StreamDecipherInUnitsEqualsWholeFile) {
    std::mt19937 rng(8);
    const Bytes file = RandomBytes(rng, 5 * 2048 + 1000 + 5);
    const net::StreamDecipher stream(table_, 42);
    Bytes whole = file;
    stream.Decipher(whole);

    // 2048-byte units, then a shorter last unit, as a mapped file is done.
    Bytes pieces = file;
    for (std::size_t at = 0; at < pieces.size(); at += 2048) {
        stream.Decipher(
            std::span(pieces).subspan(at, std::min<std::size_t>(2048, pieces.size() - at)));
    }
    EXPECT_EQ(pieces, whole);
    EXPECT_EQ(whole, [&] {
        Bytes expected = OpenSslBlowfish(WindowFromTable(tableBytes_, 42), file, false);
        std::copy(file.end() - 5, file.end(), expected.end() - 5);
        return expected;
    }());
}

TEST_F(MessageCipher, StreamSeedsChooseFromFiveHundredElevenWindows) {
    std::mt19937 rng(9);
    const Bytes data = RandomBytes(rng, 64);
    const std::int64_t seeds[] = {0, 496, 497, 505, 510, 511, 1021, -1, -511, -512, 2147483647};
    for (std::int64_t seed : seeds) {
        SCOPED_TRACE(seed);
        const net::StreamDecipher stream(table_, seed);
        const int expectedIndex = static_cast<int>(((seed % 511) + 511) % 511);
        EXPECT_EQ(stream.KeyIndex(), expectedIndex);
        Bytes buffer = data;
        stream.Decipher(buffer);
        EXPECT_EQ(buffer, OpenSslBlowfish(
                              WindowFromTable(tableBytes_, static_cast<std::size_t>(expectedIndex)),
                              data, false));
    }
}

}  // namespace

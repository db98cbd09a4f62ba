#include "net/blowfish.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include "crypto_oracle.h"

namespace {

using crypto_oracle::Bytes;
using crypto_oracle::FromHex;
using crypto_oracle::OpenSslBlowfish;
using crypto_oracle::RandomBytes;
using crypto_oracle::SwapWordBytes;

struct KnownAnswer {
    const char* key;
    const char* plain;
    const char* cipher;
};

// Eric Young's ECB test data, as published by Bruce Schneier (each block
// written most significant byte first).
constexpr KnownAnswer kEcbVectors[] = {
    {"0000000000000000", "0000000000000000", "4EF997456198DD78"},
    {"FFFFFFFFFFFFFFFF", "FFFFFFFFFFFFFFFF", "51866FD5B85ECB8A"},
    {"3000000000000000", "1000000000000001", "7D856F9A613063F2"},
    {"1111111111111111", "1111111111111111", "2466DD878B963C9D"},
    {"0123456789ABCDEF", "1111111111111111", "61F9C3802281B096"},
    {"1111111111111111", "0123456789ABCDEF", "7D0CC630AFDA1EC7"},
    {"FEDCBA9876543210", "0123456789ABCDEF", "0ACEAB0FC6A0A28D"},
    {"7CA110454A1A6E57", "01A1D6D039776742", "59C68245EB05282B"},
    {"0131D9619DC1376E", "5CD54CA83DEF57DA", "B1B8CC0B250F09A0"},
    {"07A1133E4A0B2686", "0248D43806F67172", "1730E5778BEA1DA4"},
    {"3849674C2602319E", "51454B582DDF440A", "A25E7856CF2651EB"},
    {"04B915BA43FEB5B6", "42FD443059577FA2", "353882B109CE8F1A"},
    {"0113B970FD34F2CE", "059B5E0851CF143A", "48F4D0884C379918"},
    {"0170F175468FB5E6", "0756D8E0774761D2", "432193B78951FC98"},
    {"43297FAD38E373FE", "762514B829BF486A", "13F04154D69D1AE5"},
    {"07A7137045DA2A16", "3BDD119049372802", "2EEDDA93FFD39C79"},
    {"04689104C2FD3B2F", "26955F6835AF609A", "D887E0393C2DA6E3"},
    {"37D06BB516CB7546", "164D5E404F275232", "5F99D04F5B163969"},
    {"1F08260D1AC2465E", "6B056E18759F5CCA", "4A057A3B24D3977B"},
    {"584023641ABA6176", "004BD6EF09176062", "452031C1E4FADA8E"},
    {"025816164629B007", "480D39006EE762F2", "7555AE39F59B87BD"},
    {"49793EBC79B3258F", "437540C8698F3CFA", "53C55F9CB49FC019"},
    {"4FB05E1515AB73A7", "072D43A077075292", "7A8E7BFA937E89A3"},
    {"49E95D6D4CA229BF", "02FE55778117F12A", "CF9C5D7A4986ADB5"},
    {"018310DC409B26D6", "1D9D5C5018F728C2", "D1ABB290658BC778"},
    {"1C587F1C13924FEF", "305532286D6F295A", "55CB3774D13EF201"},
    {"0101010101010101", "0123456789ABCDEF", "FA34EC4847B268B2"},
    {"1F1F1F1F0E0E0E0E", "0123456789ABCDEF", "A790795108EA3CAE"},
    {"E0FEE0FEF1FEF1FE", "0123456789ABCDEF", "C39E072D9FAC631D"},
    {"0000000000000000", "FFFFFFFFFFFFFFFF", "014933E0CDAFF6E4"},
    {"FFFFFFFFFFFFFFFF", "0000000000000000", "F21E9A77B71C49BC"},
    {"0123456789ABCDEF", "0000000000000000", "245946885754369A"},
    {"FEDCBA9876543210", "FFFFFFFFFFFFFFFF", "6B5C5A9C5D9E0A5A"},
};

// The same source's variable key length data: the first 1 to 24 bytes of
// one key, plaintext FEDCBA9876543210.
constexpr char kSetKeyKey[] = "F0E1D2C3B4A5968778695A4B3C2D1E0F0011223344556677";
constexpr const char* kSetKeyCiphers[] = {
    "F9AD597C49DB005E", "E91D21C1D961A6D6", "E9C2B70A1BC65CF3", "BE1E639408640F05",
    "B39E44481BDB1E6E", "9457AA83B1928C0D", "8BB77032F960629D", "E87A244E2CC85E82",
    "15750E7A4F4EC577", "122BA70B3AB64AE0", "3A833C9AFFC537F6", "9409DA87A90F6BF2",
    "884F80625060B8B4", "1F85031C19E11968", "79D9373A714CA34F", "93142887EE3BE15C",
    "03429E838CE2D14B", "A4299E27469FF67B", "AFD5AED1C1BC96A8", "10851C0E3858DA9F",
    "E6F51ED79B9DB21F", "64A6E14AFD36B46F", "80C7D7D45A5479AD", "05044B62FA52D080",
};

std::uint32_t BigEndianWord(const Bytes& bytes, std::size_t at) {
    return std::uint32_t{bytes[at]} << 24 | std::uint32_t{bytes[at + 1]} << 16 |
           std::uint32_t{bytes[at + 2]} << 8 | bytes[at + 3];
}

net::BlowfishCipher Keyed(const Bytes& key) {
    net::BlowfishCipher cipher;
    EXPECT_TRUE(cipher.SetCipherKey(key));
    return cipher;
}

void ExpectKnownAnswer(const Bytes& key, const Bytes& plain, const Bytes& cipherText) {
    const net::BlowfishCipher cipher = Keyed(key);

    // The block operations work on words, where byte order does not arise.
    std::uint32_t left = BigEndianWord(plain, 0);
    std::uint32_t right = BigEndianWord(plain, 4);
    cipher.EncipherBlock(left, right);
    EXPECT_EQ(left, BigEndianWord(cipherText, 0));
    EXPECT_EQ(right, BigEndianWord(cipherText, 4));
    cipher.DecipherBlock(left, right);
    EXPECT_EQ(left, BigEndianWord(plain, 0));
    EXPECT_EQ(right, BigEndianWord(plain, 4));

    // The buffer operations read each word least significant byte first.
    const Bytes ourPlain = SwapWordBytes(plain);
    const Bytes ourCipher = SwapWordBytes(cipherText);
    Bytes out(8);
    ASSERT_EQ(cipher.Encipher(ourPlain, out), 8u);
    EXPECT_EQ(out, ourCipher);
    ASSERT_EQ(cipher.Decipher(ourCipher, out), 8u);
    EXPECT_EQ(out, ourPlain);
}

TEST(BlowfishKnownAnswers, PublishedEcbVectors) {
    for (const KnownAnswer& row : kEcbVectors) {
        SCOPED_TRACE(row.key + std::string(" ") + row.plain);
        ExpectKnownAnswer(FromHex(row.key), FromHex(row.plain), FromHex(row.cipher));
    }
}

TEST(BlowfishKnownAnswers, PublishedVariableLengthKeys) {
    const Bytes fullKey = FromHex(kSetKeyKey);
    const Bytes plain = FromHex("FEDCBA9876543210");
    for (std::size_t length = 1; length <= std::size(kSetKeyCiphers); ++length) {
        SCOPED_TRACE(length);
        const Bytes key(fullKey.begin(), fullKey.begin() + static_cast<std::ptrdiff_t>(length));
        ExpectKnownAnswer(key, plain, FromHex(kSetKeyCiphers[length - 1]));
    }
}

TEST(BlowfishOracle, RandomKeysAndDataAgreeWithOpenSsl) {
    std::mt19937 rng(1321);
    const std::size_t keyLengths[] = {1, 4, 8, 15, 16, 16, 16, 17, 32, 55, 56};
    for (std::size_t keyLength : keyLengths) {
        for (std::size_t blocks : {1u, 3u, 4u, 5u, 9u, 256u}) {
            SCOPED_TRACE(testing::Message() << keyLength << "-byte key, " << blocks << " blocks");
            const Bytes key = RandomBytes(rng, keyLength);
            const Bytes plain = RandomBytes(rng, blocks * 8);
            const net::BlowfishCipher cipher = Keyed(key);

            Bytes enciphered(plain.size());
            ASSERT_EQ(cipher.Encipher(plain, enciphered), plain.size());
            EXPECT_EQ(enciphered, OpenSslBlowfish(key, plain, true));

            Bytes inPlace = enciphered;
            ASSERT_EQ(cipher.Decipher(inPlace, inPlace), plain.size());
            EXPECT_EQ(inPlace, plain);
            EXPECT_EQ(OpenSslBlowfish(key, enciphered, false), plain);
        }
    }
}

TEST(BlowfishKey, EmptyKeyIsRefusedAndKeyCanBeReplaced) {
    std::mt19937 rng(7);
    const Bytes first = RandomBytes(rng, 16);
    const Bytes second = RandomBytes(rng, 16);
    const Bytes plain = RandomBytes(rng, 8);
    net::BlowfishCipher cipher = Keyed(first);
    EXPECT_FALSE(cipher.SetCipherKey({}));
    Bytes out(8);
    cipher.Encipher(plain, out);
    EXPECT_EQ(out, OpenSslBlowfish(first, plain, true)) << "a refused key changes nothing";

    ASSERT_TRUE(cipher.SetCipherKey(second));
    cipher.Encipher(plain, out);
    EXPECT_EQ(out, OpenSslBlowfish(second, plain, true)) << "no trace of the earlier key";
}

class BlowfishBuffers : public testing::Test {
  protected:
    Bytes key_ = FromHex("00112233445566778899AABBCCDDEEFF");
    net::BlowfishCipher cipher_ = Keyed(key_);
};

TEST_F(BlowfishBuffers, EncipherPadsToWholeBlocksWithZeros) {
    std::mt19937 rng(99);
    EXPECT_EQ(net::BlowfishCipher::PaddedLength(0), 0u);
    for (std::size_t length = 0; length <= 17; ++length) {
        SCOPED_TRACE(length);
        const Bytes plain = RandomBytes(rng, length);
        const std::size_t padded = length == 0 ? 0 : length <= 8 ? 8 : length <= 16 ? 16 : 24;
        Bytes zeroFilled = plain;
        zeroFilled.resize(padded, 0);
        const Bytes expected = OpenSslBlowfish(key_, zeroFilled, true);

        // Into another buffer whose tail holds junk.
        Bytes out(padded + 4, 0xEE);
        EXPECT_EQ(cipher_.Encipher(plain, out), padded);
        EXPECT_TRUE(std::equal(expected.begin(), expected.end(), out.begin()));
        EXPECT_TRUE(std::all_of(out.begin() + static_cast<std::ptrdiff_t>(padded), out.end(),
                                [](std::uint8_t b) { return b == 0xEE; }));

        // In place, with junk after the plaintext that must not leak in.
        Bytes buffer = plain;
        buffer.resize(padded, 0xAB);
        EXPECT_EQ(cipher_.Encipher(std::span(buffer).first(length), buffer), padded);
        EXPECT_EQ(buffer, expected);
    }
}

TEST_F(BlowfishBuffers, EncipherRefusesShortDestination) {
    const Bytes plain(9, 0x41);
    Bytes out(15, 0x5A);
    EXPECT_EQ(cipher_.Encipher(plain, out), 0u);
    EXPECT_EQ(out, Bytes(15, 0x5A));
}

TEST_F(BlowfishBuffers, DecipherTakesWholeBlocksAndLeavesTheRest) {
    std::mt19937 rng(5);
    const Bytes data = RandomBytes(rng, 21);
    Bytes buffer = data;
    EXPECT_EQ(cipher_.Decipher(buffer, buffer), 16u);
    const Bytes expected = OpenSslBlowfish(key_, std::span(data).first(16), false);
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), buffer.begin()));
    EXPECT_TRUE(std::equal(data.begin() + 16, data.end(), buffer.begin() + 16));

    Bytes small(7, 0x11);
    EXPECT_EQ(cipher_.Decipher(small, small), 0u);
    EXPECT_EQ(small, Bytes(7, 0x11));

    Bytes tooShort(15, 0x22);
    EXPECT_EQ(cipher_.Decipher(data, tooShort), 0u);
    EXPECT_EQ(tooShort, Bytes(15, 0x22));
}

// A destination that overlaps the source at an offset, before or after it,
// must give the same result as separate buffers.
TEST_F(BlowfishBuffers, OverlappingBuffersActLikeSeparateOnes) {
    std::mt19937 rng(11);
    const Bytes cipherText = RandomBytes(rng, 64);
    const Bytes plain = OpenSslBlowfish(key_, cipherText, false);
    for (int shift : {-9, -2, -1, 1, 3, 8, 30}) {
        SCOPED_TRACE(shift);
        Bytes arena(64 + 2 * 32, 0);
        const std::size_t sourceAt = 32;
        std::copy(cipherText.begin(), cipherText.end(), arena.begin() + sourceAt);
        const std::size_t destinationAt = static_cast<std::size_t>(32 + shift);
        EXPECT_EQ(cipher_.Decipher(std::span(arena).subspan(sourceAt, 64),
                                   std::span(arena).subspan(destinationAt, 64)),
                  64u);
        EXPECT_TRUE(std::equal(plain.begin(), plain.end(), arena.begin() + shift + 32));

        std::fill(arena.begin(), arena.end(), 0);
        std::copy(plain.begin(), plain.end(), arena.begin() + sourceAt);
        EXPECT_EQ(cipher_.Encipher(std::span(arena).subspan(sourceAt, 64),
                                   std::span(arena).subspan(destinationAt, 64)),
                  64u);
        EXPECT_TRUE(std::equal(cipherText.begin(), cipherText.end(), arena.begin() + shift + 32));
    }
}

}  // namespace

#include "net/base64.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "crypto_oracle.h"

namespace {

using crypto_oracle::Bytes;
using crypto_oracle::RandomBytes;

Bytes BytesOf(std::string_view text) {
    return Bytes(text.begin(), text.end());
}

// RFC 4648, section 10.
TEST(Base64KnownAnswers, Rfc4648Vectors) {
    struct Row {
        const char* input;
        const char* text;
    };
    const Row rows[] = {
        {"", ""},
        {"f", "Zg=="},
        {"fo", "Zm8="},
        {"foo", "Zm9v"},
        {"foob", "Zm9vYg=="},
        {"fooba", "Zm9vYmE="},
        {"foobar", "Zm9vYmFy"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.input);
        const Bytes input = BytesOf(row.input);
        EXPECT_EQ(net::Base64Encode(input), row.text);

        std::vector<char> out(net::Base64Capacity(input.size()), '#');
        ASSERT_EQ(net::Base64Encode(input, out), net::kBase64Ok);
        EXPECT_STREQ(out.data(), row.text);

        EXPECT_EQ(net::Base64Decode(row.text), input);
    }
}

// The decoder takes only what the encoder writes, so that each byte string
// has exactly one text: lengths that are not a multiple of 4, blanks, other
// alphabets, padding out of place and padding bits that are not zero fail.
TEST(Base64KnownAnswers, TextsTheEncoderNeverWritesAreRefused) {
    for (const char* text : {"Zg=", "Zg", "Zm9v\n", "Zm 9", "Zm-_", "Zm9\x80",
                             "Z===", "Zm9v====", "=Zm9", "Zg=a", "Zh==", "Zm9="}) {
        EXPECT_FALSE(net::Base64Decode(text).has_value()) << text;
    }
}

// Every alphabet position and every input length a token can have, against
// OpenSSL's encoder; its texts decode to the bytes again.
TEST(Base64Oracle, RandomBytesAgreeWithOpenSsl) {
    std::mt19937 rng(4648);
    for (std::size_t length = 0; length <= 128; ++length) {
        SCOPED_TRACE(length);
        const Bytes input = RandomBytes(rng, length);
        std::vector<unsigned char> expected(net::Base64Capacity(length));
        EVP_EncodeBlock(expected.data(), input.data(), static_cast<int>(length));
        EXPECT_EQ(net::Base64Encode(input), reinterpret_cast<const char*>(expected.data()));
        EXPECT_EQ(net::Base64Decode(reinterpret_cast<const char*>(expected.data())), input);
    }
}

TEST(Base64Capacity, ExactRoomIsEnoughAndOneLessWritesNothing) {
    std::mt19937 rng(3);
    for (std::size_t length = 0; length <= 20; ++length) {
        SCOPED_TRACE(length);
        const Bytes input = RandomBytes(rng, length);
        const std::size_t needed = 4 * ((length + 2) / 3) + 1;
        ASSERT_EQ(net::Base64Capacity(length), needed);

        std::vector<char> exact(needed, '#');
        ASSERT_EQ(net::Base64Encode(input, exact), net::kBase64Ok);
        EXPECT_EQ(exact.back(), '\0');
        EXPECT_EQ(std::string(exact.data()), net::Base64Encode(input));

        std::vector<char> room(needed + 8, '#');
        std::vector<char> tooSmall(room);
        EXPECT_EQ(net::Base64Encode(input, std::span(tooSmall).first(needed - 1)),
                  net::kBase64OutputTooSmall);
        EXPECT_EQ(tooSmall, room) << "nothing may be written, not even the NUL";
    }
}

}  // namespace

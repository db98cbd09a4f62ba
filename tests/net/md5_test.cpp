#include "net/md5.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "crypto_oracle.h"

namespace {

using crypto_oracle::Bytes;
using crypto_oracle::FromHex;
using crypto_oracle::OpenSslMd5;
using crypto_oracle::RandomBytes;

net::Md5Digest DigestFromHex(const char* hex) {
    const Bytes bytes = FromHex(hex);
    net::Md5Digest digest{};
    std::copy(bytes.begin(), bytes.end(), digest.begin());
    return digest;
}

// The test suite of RFC 1321, appendix A.5.
TEST(Md5KnownAnswers, Rfc1321Suite) {
    struct Row {
        const char* text;
        const char* digest;
    };
    const Row rows[] = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"a", "0cc175b9c0f1b6a831c399e269772661"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
         "d174ab98d277d9f5a5611c2c9f419d9f"},
        {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         "57edf4a22be3c955ac49da2e2107b67a"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(net::ComputeMd5(std::string_view(row.text)), DigestFromHex(row.digest));
    }
}

// Lengths around the padding boundaries (55 still fits the length field
// into the last block, 56 does not) and across several blocks.
TEST(Md5Oracle, RandomDataAgreesWithOpenSsl) {
    std::mt19937 rng(1992);
    for (std::size_t length : {0u, 1u, 55u, 56u, 57u, 63u, 64u, 65u, 119u, 120u, 127u, 128u, 129u,
                               1000u, 4096u, 3u * 1024u * 1024u + 17u}) {
        SCOPED_TRACE(length);
        const Bytes data = RandomBytes(rng, length);
        EXPECT_EQ(net::ComputeMd5(data), OpenSslMd5(data));
    }
}

TEST(Md5Incremental, PiecesOfAnySizeGiveTheOneShotDigest) {
    std::mt19937 rng(404);
    const Bytes data = RandomBytes(rng, 5000);
    const net::Md5Digest whole = net::ComputeMd5(data);
    for (std::size_t piece : {1u, 3u, 7u, 63u, 64u, 65u, 100u, 129u, 4999u}) {
        SCOPED_TRACE(piece);
        net::Md5 md5;
        for (std::size_t at = 0; at < data.size(); at += piece) {
            md5.Update(std::span(data).subspan(at, std::min(piece, data.size() - at)));
        }
        EXPECT_EQ(md5.Finish(), whole);
    }

    // Irregular pieces, empty ones included.
    net::Md5 md5;
    std::uniform_int_distribution<std::size_t> size(0, 150);
    for (std::size_t at = 0; at < data.size();) {
        const std::size_t take = std::min(size(rng), data.size() - at);
        md5.Update(std::span(data).subspan(at, take));
        at += take;
    }
    EXPECT_EQ(md5.Finish(), whole);
}

TEST(Md5Incremental, FinishStartsAFreshMessage) {
    net::Md5 md5;
    md5.Update(Bytes(100, 0x61));
    EXPECT_EQ(md5.Finish(), net::ComputeMd5(Bytes(100, 0x61)));
    md5.Update(Bytes{0x61, 0x62, 0x63});
    EXPECT_EQ(md5.Finish(), DigestFromHex("900150983cd24fb0d6963f7d28e17f72"));
    EXPECT_EQ(md5.Finish(), DigestFromHex("d41d8cd98f00b204e9800998ecf8427e"));
}

}  // namespace

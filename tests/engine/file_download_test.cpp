// Files larger than the engine's working blocks, end to end through the
// key download with scripted replies: the description of a local copy
// hashes all of it, and an enciphered body comes out plain.

#include <gtest/gtest.h>

#include <random>

#include "engine/file_download.h"
#include "engine/key_operations.h"
#include "engine_fixture.h"
#include "net/blowfish.h"
#include "net/md5.h"
#include "net/request_builder.h"
#include "platform/file.h"

namespace {

using engine_testing::EngineFixture;

std::string RandomBytes(std::size_t size, unsigned seed) {
    std::mt19937 random(seed);
    std::string bytes(size, '\0');
    for (char& c : bytes) {
        c = static_cast<char>(random());
    }
    return bytes;
}

std::string ListReply(const std::string& text) {
    return "HTTP/1.1 200 OK\r\nX-QVN-CRUNCHYFROG: 0,0,0\r\nContent-Length: " +
           std::to_string(text.size()) + "\r\n\r\n" + text;
}

// One listed file, dated 1 January 2100.
std::string OneFile(std::size_t size) {
    return "1\tTop\\big.bin\t" + std::to_string(size) + "\t08340101000000\t0\t0\t\r\n";
}

// The request that asked for the file (the one after the list).
std::string DownloadRequest(EngineFixture& f) {
    const auto requests = f.server().Requests();
    EXPECT_EQ(requests.size(), 2u);
    return requests.size() == 2 ? requests[1] : "";
}

TEST(FileDownload, ADescribedCopyIsHashedWholeAcrossBlocks) {
    // Three blocks and a bit: every block boundary is crossed.
    const std::string copy = RandomBytes(3 * 1024 * 1024 + 5, 1);
    EngineFixture f;
    f.dir().Write("dest/big.bin", copy);
    f.block().verification = true;
    f.server().Add(ListReply(OneFile(copy.size())));
    f.server().Add("HTTP/1.1 200 OK\r\nX-QVN-CONCLUSION: UGOTIT\r\n\r\n");
    ASSERT_TRUE(engine::DownloadFilesUsingKey(f.context()));

    const auto digest = net::ComputeMd5(std::span<const std::uint8_t>(
        reinterpret_cast<const std::uint8_t*>(copy.data()), copy.size()));
    const std::string expected =
        net::RestartHeaderLine(digest, static_cast<std::int64_t>(copy.size()), "1");
    EXPECT_NE(DownloadRequest(f).find(expected), std::string::npos) << DownloadRequest(f);
    EXPECT_EQ(f.block().progress.status, control::status::kKept);
    EXPECT_EQ(f.dir().Read("dest/big.bin"), copy);
}

TEST(FileDownload, ALargeEncipheredBodyIsStoredPlain) {
    // Large enough to be shared between cores, with a short last unit.
    const std::string plain = RandomBytes(5 * 1024 * 1024 + 3001, 2);
    std::string sent = plain;
    sent.resize(net::BlowfishCipher::PaddedLength(sent.size()), '\0');
    constexpr std::int64_t kSeed = 1234;
    net::BlowfishCipher cipher;
    ASSERT_TRUE(cipher.SetCipherKey(engine_testing::TestKeyTable().WindowAt(kSeed % 511)));
    std::span<std::uint8_t> bytes(reinterpret_cast<std::uint8_t*>(sent.data()), sent.size());
    cipher.Encipher(bytes, bytes);

    EngineFixture f;
    f.server().Add(ListReply(OneFile(plain.size())));
    f.server().Add("HTTP/1.1 200 OK\r\nX-QVN-CONCLUSION: Successful\r\nX-QVN-Fang: " +
                   std::to_string(plain.size()) + "," + std::to_string(kSeed) +
                   ",0\r\nContent-Length: " + std::to_string(sent.size()) + "\r\n\r\n" + sent);
    // The list comes plain here; payloads count as enciphered from then on.
    ASSERT_TRUE(engine::GetKeyFileList(f.context()));
    engine::ParseFetchedList(f.context());
    f.context().state.payloadFlags = 1;
    ASSERT_TRUE(engine::DownloadFileList(f.context()));
    EXPECT_TRUE(f.dir().Read("dest/big.bin") == plain);
    EXPECT_FALSE(platform::Exists(f.dir().Sub("dest/big.bin~")));
}

}  // namespace

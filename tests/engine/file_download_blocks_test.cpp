// Files larger than the engine's working blocks, end to end through the
// key download with scripted replies: the description of a local copy
// hashes all of it, an enciphered body comes out plain, a body ends where
// its length says even when the next reply follows at once, and a body cut
// short leaves every byte received in the temporary file.

#include <gtest/gtest.h>

#include <vector>

#include "engine/file_download.h"
#include "engine/key_operations.h"
#include "engine_fixture.h"
#include "net/blowfish.h"
#include "net/md5.h"
#include "net/request_builder.h"
#include "platform/file.h"
#include "replies.h"
#include "support/random_bytes.h"

namespace {

using engine_testing::EngineFixture;
using engine_testing::FileReply;
using engine_testing::ListReply;

using testing_support::RandomBytes;

// One listed file, dated 1 January 2100.
std::string OneFile(std::size_t size) {
    return "1\tTop\\big.bin\t" + std::to_string(size) + "\t08340101000000\t0\t0\t\r\n";
}

// The list of `count` files named f1.bin, f2.bin ..., dated 1 January 2100.
std::string Files(const std::vector<std::size_t>& sizes) {
    std::string text;
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        const std::string id = std::to_string(i + 1);
        text +=
            id + "\tTop\\f" + id + ".bin\t" + std::to_string(sizes[i]) + "\t08340101000000\t0\t0\t";
    }
    return text + "\r\n";
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

TEST(FileDownload, ABodyEndsAtItsLengthWhenTheNextReplyFollowsAtOnce) {
    const std::string first = RandomBytes(3 * 1024 * 1024 + 17, 3);
    const std::string second = RandomBytes(70'000, 4);
    EngineFixture f;
    f.server().Add(ListReply(Files({first.size(), second.size()})));
    // Both replies go out together, before the second request arrives.
    f.server().Add(FileReply(first, first.size()) + FileReply(second, second.size()));
    f.server().Add("");
    ASSERT_TRUE(engine::DownloadFilesUsingKey(f.context()));
    EXPECT_TRUE(f.dir().Read("dest/f1.bin") == first);
    EXPECT_TRUE(f.dir().Read("dest/f2.bin") == second);
    EXPECT_EQ(f.server().Connections(), 1);
}

TEST(FileDownload, ABodyCutShortKeepsEveryByteReceived) {
    const std::string body = RandomBytes(3 * 1024 * 1024, 5);
    const std::size_t sent = 2 * 1024 * 1024 + 100;
    EngineFixture f;
    f.server().Add(ListReply(Files({body.size()})));
    f.server().Add(FileReply(body.substr(0, sent), body.size()), /*close=*/true);
    EXPECT_FALSE(engine::DownloadFilesUsingKey(f.context())) << "the file is incomplete";
    EXPECT_EQ(f.block().progress.status, control::status::kIncomplete);
    EXPECT_EQ(f.block().progress.doneK, static_cast<std::int32_t>(sent / 1024));
    EXPECT_TRUE(f.dir().Read("dest/f1.bin~") == body.substr(0, sent));
    EXPECT_FALSE(platform::Exists(f.dir().Sub("dest/f1.bin")));
}

TEST(FileDownload, AnEncipheredBodyThatTimesOutIsNeverContinued) {
    // Enciphered bytes that stop coming are left as they arrived, neither
    // deciphered nor cut to whole units: no later attempt may take them for
    // a plain prefix of the file, so the second attempt drops them.
    const std::string body = RandomBytes(2 * 1024 * 1024 + 4096, 6);
    const std::size_t sent = 1024 * 1024 + 3000;
    EngineFixture f;
    f.server().Add(ListReply(Files({body.size()})));
    testing_support::ScriptedReply stalled;
    stalled.bytes = "HTTP/1.1 200 OK\r\nX-QVN-Fang: " + std::to_string(body.size()) +
                    ",77,0\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" +
                    body.substr(0, sent);
    stalled.stall = true;
    f.server().Add(stalled);
    ASSERT_TRUE(engine::GetKeyFileList(f.context()));
    engine::ParseFetchedList(f.context());
    f.context().state.payloadFlags = 1;
    EXPECT_FALSE(engine::DownloadFileList(f.context()));
    EXPECT_FALSE(platform::Exists(f.dir().Sub("dest/f1.bin~")));
    const auto requests = f.server().Requests();
    ASSERT_EQ(requests.size(), 3u) << "the list, then two attempts";
    EXPECT_EQ(requests[2].find("X-QVN-RESTART2: "), std::string::npos) << "nothing described";
}

}  // namespace

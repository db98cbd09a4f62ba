// Deciphering received files in place.

#include <gtest/gtest.h>

#include "engine/file_decipher.h"
#include "engine_fixture.h"
#include "net/blowfish.h"
#include "platform/file.h"
#include "support/random_bytes.h"

namespace {

using engine::DecipherRequest;

using testing_support::RandomBytes;

// Enciphers as the service does: zero padding to whole blocks, every block
// under the stream's window.
std::string Encipher(std::string plain, std::int64_t seed) {
    plain.resize(net::BlowfishCipher::PaddedLength(plain.size()), '\0');
    const net::KeyTable table = engine_testing::TestKeyTable();
    const net::KeyTable::Window key = table.WindowAt(static_cast<std::size_t>(seed % 511));
    net::BlowfishCipher cipher;
    EXPECT_TRUE(cipher.SetCipherKey(key));
    std::span<std::uint8_t> bytes(reinterpret_cast<std::uint8_t*>(plain.data()), plain.size());
    cipher.Encipher(bytes, bytes);
    return plain;
}

class DecipherTest : public ::testing::Test {
  protected:
    bool Run(const DecipherRequest& request) {
        auto file = platform::File::Open(dir_.Sub("f~"), platform::FileAccess::ReadWrite);
        EXPECT_TRUE(file.ok());
        return file &&
               engine::DecipherDownloadedFile(*file, request, engine_testing::TestKeyTable());
    }
    testing_support::TempDir dir_;
};

TEST_F(DecipherTest, CompleteFileIsDecipheredAndCutToThePlainSize) {
    const std::string plain = RandomBytes(4100, 1);
    const std::string sent = Encipher(plain, 777);
    ASSERT_EQ(sent.size(), 4104u);
    dir_.Write("f~", sent);
    ASSERT_TRUE(Run({false, false, true, 4100, 777, 0}));
    EXPECT_EQ(dir_.Read("f~"), plain);
}

TEST_F(DecipherTest, IncompleteFileIsCutToWholeUnitsFirst) {
    const std::string plain = RandomBytes(9000, 2);
    const std::string sent = Encipher(plain, 5);
    dir_.Write("f~", sent.substr(0, 5000));
    ASSERT_TRUE(Run({false, true, true, 9000, 5, 0}));
    EXPECT_EQ(dir_.Read("f~"), plain.substr(0, 4096));
}

TEST_F(DecipherTest, RestartSkipsTheLocalCopysWholeUnits) {
    const std::string plain = RandomBytes(9000, 3);
    // The first 4096 bytes are the local copy (plain already); the rest
    // arrived enciphered as its own stream.
    const std::string rest = Encipher(plain.substr(4096), 9);
    dir_.Write("f~", plain.substr(0, 4096) + rest);
    ASSERT_TRUE(Run({true, false, true, 9000, 9, 4096}));
    EXPECT_EQ(dir_.Read("f~"), plain);
}

TEST_F(DecipherTest, NothingToDo) {
    dir_.Write("f~", "plain text");
    EXPECT_TRUE(Run({false, false, false, 3, 0, 0}));
    EXPECT_EQ(dir_.Read("f~"), "plain text");
}

TEST_F(DecipherTest, IncompleteFilesWithoutAWholeUnitAreLeftEmpty) {
    for (const std::size_t size : {0, 1000}) {
        dir_.Write("f~", std::string(size, 'x'));
        EXPECT_TRUE(Run({false, true, true, 5000, 1, 0})) << size;
        EXPECT_EQ(dir_.Read("f~"), "") << size;
    }
}

TEST_F(DecipherTest, LargeFileAcrossBlocksAndCores) {
    const std::string plain = RandomBytes(70 * 1024 * 1024 + 1234, 4);
    dir_.Write("f~", Encipher(plain, 100));
    ASSERT_TRUE(Run({false, false, true, static_cast<std::int64_t>(plain.size()), 100, 0}));
    EXPECT_TRUE(dir_.Read("f~") == plain);
}

TEST_F(DecipherTest, LargeRestartStartsItsPartsAfterTheLocalCopy) {
    // A local copy of a block and a bit (whole units), then a stream long
    // enough to be shared between cores.
    const std::string plain = RandomBytes(6 * 1024 * 1024 + 77, 5);
    const std::size_t copy = 1024 * 1024 + 4096;
    dir_.Write("f~", plain.substr(0, copy) + Encipher(plain.substr(copy), 33));
    ASSERT_TRUE(Run({true, false, true, static_cast<std::int64_t>(plain.size()), 33,
                     static_cast<std::int64_t>(copy)}));
    EXPECT_TRUE(dir_.Read("f~") == plain);
}

}  // namespace

// Service dates, the compressible-name rule and unpacking zip archives.

#include <gtest/gtest.h>

#include <cerrno>

#include "engine/service_date.h"
#include "engine/zip_extractor.h"
#include "net/request_builder.h"
#include "platform/file.h"
#include "support/temp_dir.h"
#include "support/zip_writer.h"

namespace {

TEST(ServiceDate, KnownDateParsesAndFormats) {
    const auto time = engine::ParseServerDate("07D60C1F0F2D1E");
    ASSERT_TRUE(time);
    EXPECT_EQ(*time, *platform::SystemTimeToFileTime({2006, 12, 0, 31, 15, 45, 30, 0}));
    EXPECT_EQ(net::FormatFileTime(*time, /*bare=*/true), "07D60C1F0F2D1E");
    EXPECT_EQ(engine::ParseServerDate("07d60c1f0f2d1e"), time);
}

TEST(ServiceDate, UnusableDates) {
    for (const char* text :
         {"", " ", "07D60C", "07D60C1F0F2D1", "07D60C1F0F2D1E0", "07D60D1F0F2D1E" /* month 13 */,
          "07D6021E0F2D1E" /* Feb 30 */, "07D60C1F0F2D1G"}) {
        EXPECT_FALSE(engine::ParseServerDate(text)) << text;
    }
}

TEST(ServiceDate, StampsTheLastWriteTime) {
    testing_support::TempDir dir;
    dir.Write("f.txt", "x");
    platform::SysError error;
    ASSERT_TRUE(engine::SetFileDateFromServer(dir.Sub("f.txt"), "07D60C1F0F2D1E", &error));
    EXPECT_EQ(platform::GetFileInfo(dir.Sub("f.txt"))->lastWrite,
              *platform::SystemTimeToFileTime({2006, 12, 0, 31, 15, 45, 30, 0}));
    // No date: nothing changes and it counts as done.
    EXPECT_TRUE(engine::SetFileDateFromServer(dir.Sub("f.txt"), " ", &error));
    EXPECT_TRUE(engine::SetFileDateFromServer(dir.Sub("missing"), "", &error));
    EXPECT_FALSE(engine::SetFileDateFromServer(dir.Sub("f.txt"), "07D60C1F", &error));
    EXPECT_EQ(error.code, EINVAL);
    EXPECT_FALSE(engine::SetFileDateFromServer(dir.Sub("missing"), "07D60C1F0F2D1E", &error));
    EXPECT_TRUE(error.NotFound());
}

TEST(IsCompressible, ExtensionTableAndSizeRule) {
    EXPECT_TRUE(engine::IsCompressible("report.PDF", 0));
    EXPECT_FALSE(engine::IsCompressible("photo.JPG", 0));
    EXPECT_FALSE(engine::IsCompressible("/d/x.tar.gz", 0));
    EXPECT_FALSE(engine::IsCompressible("song.mp3", 0));
    EXPECT_TRUE(engine::IsCompressible("README", 0));
    EXPECT_FALSE(engine::IsCompressible("notes.txt", 5000));
    EXPECT_TRUE(engine::IsCompressible("notes.txt", 200000));
    EXPECT_TRUE(engine::IsCompressible("notes.txt", 102400));
    EXPECT_FALSE(engine::IsCompressible("notes.txt", 102399));
    EXPECT_TRUE(engine::IsCompressible("/home/my.docs/readme", 0))
        << "a dot in a folder makes the rest of the path the extension";
    EXPECT_TRUE(engine::IsCompressible("archive.zipx", 0));
}

class UnzipTest : public ::testing::Test {
  protected:
    testing_support::TempDir dir_;
    engine::ZipExtractor zip_;
};

TEST_F(UnzipTest, OnlyTheFirstMemberIsExtracted) {
    const std::string first(100000, 'a');
    ASSERT_TRUE(testing_support::WriteZip(dir_.Sub("two.zip"),
                                          {{"first.txt", first}, {"second.txt", "second"}}));
    EXPECT_TRUE(zip_.UnzipFirstEntry(dir_.Sub("out.txt"), dir_.Sub("two.zip")));
    EXPECT_EQ(dir_.Read("out.txt"), first);
}

TEST_F(UnzipTest, EmptyArchiveGivesFalseAndNoTarget) {
    ASSERT_TRUE(testing_support::WriteZip(dir_.Sub("empty.zip"), {}));
    EXPECT_FALSE(zip_.UnzipFirstEntry(dir_.Sub("out.txt"), dir_.Sub("empty.zip")));
    EXPECT_FALSE(platform::Exists(dir_.Sub("out.txt")));
    EXPECT_FALSE(zip_.UnzipFirstEntry(dir_.Sub("out.txt"), dir_.Sub("missing.zip")));
    dir_.Write("garbage.zip", "not an archive at all");
    EXPECT_FALSE(zip_.UnzipFirstEntry(dir_.Sub("out.txt"), dir_.Sub("garbage.zip")));
    EXPECT_FALSE(platform::Exists(dir_.Sub("out.txt")));
}

TEST_F(UnzipTest, BadCrcGivesFalseButKeepsTheDataRead) {
    const std::string data = "stored text that will be checked";
    ASSERT_TRUE(testing_support::WriteZip(dir_.Sub("a.zip"), {{"a.txt", data}}));
    // The local header's CRC-32 sits at offset 14; spoil it and the copy in
    // the central directory, which minizip compares against.
    std::string bytes = dir_.Read("a.zip");
    const std::size_t central = bytes.find(std::string("PK\x01\x02", 4));
    ASSERT_NE(central, std::string::npos);
    bytes[14] = static_cast<char>(bytes[14] ^ 0xFF);
    bytes[central + 16] = static_cast<char>(bytes[central + 16] ^ 0xFF);
    dir_.Write("a.zip", bytes);
    EXPECT_FALSE(zip_.UnzipFirstEntry(dir_.Sub("out.txt"), dir_.Sub("a.zip")));
    EXPECT_EQ(dir_.Read("out.txt"), data);
}

TEST_F(UnzipTest, CorruptDataGivesFalse) {
    std::string data(50000, '\0');
    for (std::size_t i = 0; i < data.size(); ++i) {
        data[i] = static_cast<char>((i * 31) % 251);
    }
    ASSERT_TRUE(testing_support::WriteZip(dir_.Sub("c.zip"), {{"c.bin", data}}));
    std::string bytes = dir_.Read("c.zip");
    for (std::size_t i = 60; i < 400; ++i) {
        bytes[i] = static_cast<char>(bytes[i] ^ 0x5A);
    }
    dir_.Write("c.zip", bytes);
    EXPECT_FALSE(zip_.UnzipFirstEntry(dir_.Sub("out.bin"), dir_.Sub("c.zip")));
}

}  // namespace

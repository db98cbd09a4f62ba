// Dating files with service dates, the compressible-name rule and
// unpacking zip archives.

#include <gtest/gtest.h>

#include <cerrno>

#include "engine/service_date.h"
#include "engine/zip_extractor.h"
#include "platform/file.h"
#include "support/temp_dir.h"
#include "support/zip_writer.h"

namespace {

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

// Offsets of the fields the extractor judges, in the first member's local
// header and in its central directory entry (minizip compares the two).
struct HeaderField {
    std::size_t local;
    std::size_t central;
    std::size_t width;
};
constexpr HeaderField kFlag{6, 8, 2};
constexpr HeaderField kMethod{8, 10, 2};
constexpr HeaderField kCrc{14, 16, 4};
constexpr HeaderField kDeclaredSize{22, 24, 4};

class UnzipTest : public ::testing::Test {
  protected:
    // Writes the archive, then changes a field in both of its headers.
    void Archive(const std::vector<std::pair<std::string, std::string>>& members,
                 bool stored = false) {
        ASSERT_TRUE(testing_support::WriteZip(dir_.Sub("a.zip"), members, stored));
    }
    void Patch(HeaderField field, std::uint32_t value) {
        std::string bytes = dir_.Read("a.zip");
        const std::size_t central = bytes.find(std::string("PK\x01\x02", 4));
        ASSERT_NE(central, std::string::npos);
        for (std::size_t i = 0; i < field.width; ++i) {
            const char byte = static_cast<char>((value >> (8 * i)) & 0xFF);
            bytes[field.local + i] = byte;
            bytes[central + field.central + i] = byte;
        }
        dir_.Write("a.zip", bytes);
    }
    engine::UnzipFailure Unzip() {
        bytes_ = dir_.Read("a.zip");
        out_ = engine::MemorySink();
        return zip_.UnzipFirstEntry(engine::MemorySource(bytes_), out_).failure;
    }

    testing_support::TempDir dir_;
    engine::ZipExtractor zip_;
    std::string bytes_;
    engine::MemorySink out_;
};

TEST_F(UnzipTest, OnlyTheFirstMemberIsExtractedStoredOrDeflated) {
    const std::string first(100000, 'a');
    for (const bool stored : {false, true}) {
        Archive({{"first.txt", first}, {"second.txt", "second"}}, stored);
        EXPECT_EQ(Unzip(), engine::UnzipFailure::None) << stored;
        EXPECT_EQ(out_.bytes, first) << stored;
    }
    const std::string bytes = dir_.Read("a.zip");
    const auto member = zip_.FirstMember(engine::MemorySource(bytes));
    ASSERT_TRUE(member);
    EXPECT_EQ(member->declaredSize, first.size());
}

TEST_F(UnzipTest, WhatIsNoArchiveGivesNothing) {
    Archive({});
    EXPECT_EQ(Unzip(), engine::UnzipFailure::NotAnArchive);
    dir_.Write("a.zip", "not an archive at all");
    EXPECT_EQ(Unzip(), engine::UnzipFailure::NotAnArchive);
    EXPECT_EQ(out_.bytes, "");
}

// A member is unpacked only when it comes out exactly as declared: a
// method the extractor does not know would come out as packed bytes, and
// a member larger than declared is stopped where it passes its size.
TEST_F(UnzipTest, MembersThatDoNotUnpackAsDeclaredFail) {
    const std::string data(300000, 'z');  // deflates to very little
    const struct {
        const char* what;
        HeaderField field;
        std::uint32_t value;
        engine::UnzipFailure failure;
        std::size_t writtenAtMost;
    } cases[] = {
        {"bzip2", kMethod, 12, engine::UnzipFailure::UnsupportedMethod, 0},
        {"lzma", kMethod, 14, engine::UnzipFailure::UnsupportedMethod, 0},
        {"encrypted", kFlag, 1, engine::UnzipFailure::Encrypted, 0},
        // The library stops at the declared size; the part's CRC-32 fails.
        {"declared smaller", kDeclaredSize, 1000, engine::UnzipFailure::BadData, 1000},
        {"declared larger", kDeclaredSize, 400000, engine::UnzipFailure::SizeMismatch, 300000},
        {"wrong CRC-32", kCrc, 0x12345678, engine::UnzipFailure::BadData, 300000},
    };
    for (const auto& c : cases) {
        Archive({{"z.txt", data}});
        Patch(c.field, c.value);
        EXPECT_EQ(Unzip(), c.failure) << c.what;
        EXPECT_LE(out_.bytes.size(), c.writtenAtMost) << c.what;
    }
}

TEST_F(UnzipTest, CorruptDataGivesFalse) {
    std::string data(50000, '\0');
    for (std::size_t i = 0; i < data.size(); ++i) {
        data[i] = static_cast<char>((i * 31) % 251);
    }
    Archive({{"c.bin", data}});
    std::string bytes = dir_.Read("a.zip");
    for (std::size_t i = 60; i < 400; ++i) {
        bytes[i] = static_cast<char>(bytes[i] ^ 0x5A);
    }
    dir_.Write("a.zip", bytes);
    EXPECT_EQ(Unzip(), engine::UnzipFailure::BadData);
}

}  // namespace

// Files, mappings and file times of the platform layer.

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "platform/file.h"
#include "platform/file_time.h"
#include "platform/folder.h"
#include "platform/path.h"
#include "support/temp_dir.h"

namespace {

using platform::File;
using platform::FileAccess;

TEST(FileTime, KnownDateConvertsBothWays) {
    // 31 December 2006 15:45:30 UTC.
    const platform::SystemTime date{2006, 12, 0, 31, 15, 45, 30, 0};
    auto time = platform::SystemTimeToFileTime(date);
    ASSERT_TRUE(time);
    std::int64_t seconds = 0;
    std::int64_t nanoseconds = 0;
    platform::FileTimeToUnix(*time, &seconds, &nanoseconds);
    EXPECT_EQ(seconds, 1167579930);
    EXPECT_EQ(nanoseconds, 0);
    auto back = platform::FileTimeToSystemTime(*time);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->year, 2006);
    EXPECT_EQ(back->month, 12);
    EXPECT_EQ(back->day, 31);
    EXPECT_EQ(back->dayOfWeek, 0);  // a Sunday
    EXPECT_EQ(back->hour, 15);
    EXPECT_EQ(back->minute, 45);
    EXPECT_EQ(back->second, 30);
}

TEST(FileTime, EpochsAndLeapDays) {
    auto start = platform::SystemTimeToFileTime({1601, 1, 0, 1, 0, 0, 0, 0});
    ASSERT_TRUE(start);
    EXPECT_EQ(start->ticks, 0u);
    auto leap = platform::SystemTimeToFileTime({2000, 2, 0, 29, 23, 59, 59, 999});
    ASSERT_TRUE(leap);
    auto back = platform::FileTimeToSystemTime(*leap);
    ASSERT_TRUE(back);
    EXPECT_EQ(*back, (platform::SystemTime{2000, 2, 2, 29, 23, 59, 59, 999}));
}

TEST(FileTime, InvalidCalendarFieldsAreRefused) {
    const platform::SystemTime bad[] = {
        {2006, 13, 0, 1, 0, 0, 0, 0}, {2006, 0, 0, 1, 0, 0, 0, 0},  {2006, 2, 0, 29, 0, 0, 0, 0},
        {1900, 2, 0, 29, 0, 0, 0, 0}, {2006, 4, 0, 31, 0, 0, 0, 0}, {2006, 1, 0, 1, 24, 0, 0, 0},
        {2006, 1, 0, 1, 0, 60, 0, 0}, {2006, 1, 0, 1, 0, 0, 60, 0}, {1600, 12, 0, 31, 0, 0, 0, 0},
        {65535, 1, 0, 1, 0, 0, 0, 0},
    };
    for (const auto& t : bad) {
        EXPECT_FALSE(platform::SystemTimeToFileTime(t)) << t.year << "-" << t.month << "-" << t.day;
    }
}

class FileTest : public ::testing::Test {
  protected:
    testing_support::TempDir dir_;
};

TEST_F(FileTest, CreateAlwaysTruncatesAndWriteExistingDoesNotCreate) {
    dir_.Write("a.txt", "old content");
    {
        auto file = File::Open(dir_.Sub("a.txt"), FileAccess::CreateAlways);
        ASSERT_TRUE(file);
        ASSERT_TRUE(file->WriteAll("new", 3));
    }
    EXPECT_EQ(dir_.Read("a.txt"), "new");
    auto missing = File::Open(dir_.Sub("b.txt"), FileAccess::WriteExisting);
    ASSERT_FALSE(missing);
    EXPECT_TRUE(missing.error().NotFound());
    EXPECT_FALSE(platform::Exists(dir_.Sub("b.txt")));
}

TEST_F(FileTest, ExclusiveOpenMeetsASharingViolation) {
    dir_.Write("busy.txt", "data");
    auto holder = File::Open(dir_.Sub("busy.txt"), FileAccess::ReadWrite);
    ASSERT_TRUE(holder);
    auto reader = File::Open(dir_.Sub("busy.txt"), FileAccess::ReadShared);
    ASSERT_FALSE(reader);
    EXPECT_TRUE(reader.error().SharingViolation());
    EXPECT_FALSE(reader.error().NotFound());
    // A refused create must not have truncated the holder's file.
    auto creator = File::Open(dir_.Sub("busy.txt"), FileAccess::CreateAlways);
    EXPECT_FALSE(creator);
    holder->Close();
    EXPECT_EQ(dir_.Read("busy.txt"), "data");
    // Shared readers coexist.
    auto r1 = File::Open(dir_.Sub("busy.txt"), FileAccess::ReadShared);
    auto r2 = File::Open(dir_.Sub("busy.txt"), FileAccess::ReadShared);
    EXPECT_TRUE(r1);
    EXPECT_TRUE(r2);
}

TEST_F(FileTest, TruncateSeekAndAppend) {
    dir_.Write("t.bin", std::string(5000, 'x'));
    auto file = File::Open(dir_.Sub("t.bin"), FileAccess::ReadWrite);
    ASSERT_TRUE(file);
    ASSERT_TRUE(file->Truncate(4096));
    ASSERT_EQ(*file->Size(), 4096u);
    ASSERT_TRUE(file->SeekToEnd());
    ASSERT_TRUE(file->WriteAll("END", 3));
    file->Close();
    const std::string content = dir_.Read("t.bin");
    EXPECT_EQ(content.size(), 4099u);
    EXPECT_EQ(content.substr(4096), "END");
}

TEST_F(FileTest, LastWriteTimeIsSetAndReadBack) {
    dir_.Write("d.txt", "x");
    const auto when = *platform::SystemTimeToFileTime({2006, 12, 0, 31, 15, 45, 30, 0});
    {
        auto file = File::Open(dir_.Sub("d.txt"), FileAccess::WriteExisting);
        ASSERT_TRUE(file);
        ASSERT_TRUE(file->SetLastWriteTime(when));
    }
    auto info = platform::GetFileInfo(dir_.Sub("d.txt"));
    ASSERT_TRUE(info);
    EXPECT_EQ(info->lastWrite, when);
    EXPECT_FALSE(info->isDirectory);
    EXPECT_EQ(info->size, 1u);
}

TEST_F(FileTest, CopyMoveAndDelete) {
    dir_.Write("src", "source");
    dir_.Write("dst", "older and longer target");
    ASSERT_TRUE(platform::CopyFileReplace(dir_.Sub("src"), dir_.Sub("dst")));
    EXPECT_EQ(dir_.Read("dst"), "source");
    dir_.Write("moved~", "fresh");
    ASSERT_TRUE(platform::MoveFileReplace(dir_.Sub("moved~"), dir_.Sub("dst")));
    EXPECT_EQ(dir_.Read("dst"), "fresh");
    EXPECT_FALSE(platform::Exists(dir_.Sub("moved~")));
    ASSERT_TRUE(platform::DeleteFile(dir_.Sub("dst")));
    auto again = platform::DeleteFile(dir_.Sub("dst"));
    ASSERT_FALSE(again);
    EXPECT_TRUE(again.error().NotFound());
    EXPECT_FALSE(again.error().Message().empty());
}

// Paths far beyond Windows' old 260-character limit: destinations can be
// deep, and a file there is written, read, moved, listed and deleted like
// any other.
TEST_F(FileTest, PathsBeyondTheOldWindowsLimitWork) {
    std::string folder = dir_.path();
    for (const char level : {'a', 'b', 'c', 'd', 'e', 'f'}) {
        folder = platform::JoinName(folder, std::string(60, level));
        ASSERT_TRUE(platform::CreateFolder(folder)) << folder.size();
    }
    const std::string path = platform::JoinName(folder, "file.txt");
    ASSERT_GT(path.size(), 380u);
    ASSERT_TRUE(platform::WriteWholeFile(path, "deep"));
    const auto read = platform::ReadFileStart(path, 100);
    ASSERT_TRUE(read);
    EXPECT_EQ(*read, "deep");
    const std::string moved = platform::JoinName(folder, "moved.txt");
    ASSERT_TRUE(platform::MoveFileReplace(path, moved));
    const auto held = platform::Folder::Open(folder);
    ASSERT_TRUE(held);
    const auto names = held->Names();
    ASSERT_TRUE(names);
    EXPECT_EQ(*names, std::vector<std::string>{"moved.txt"});
    ASSERT_TRUE(platform::DeleteFile(moved));
    EXPECT_FALSE(platform::Exists(moved));
}

TEST_F(FileTest, ReadFileStartStopsAtTheLimit) {
    dir_.Write("k", std::string(300, 'k'));
    auto start = platform::ReadFileStart(dir_.Sub("k"), 255);
    ASSERT_TRUE(start);
    EXPECT_EQ(start->size(), 255u);
    EXPECT_TRUE(platform::ReadFileStart(dir_.Sub("none"), 255).error().NotFound());
}

TEST_F(FileTest, PositionalReadsAndWritesLeaveThePositionAndRunSideBySide) {
    std::string content(300000, '\0');
    for (std::size_t i = 0; i < content.size(); ++i) {
        content[i] = static_cast<char>(i * 13);
    }
    dir_.Write("p.bin", content);
    auto file = File::Open(dir_.Sub("p.bin"), FileAccess::ReadWrite);
    ASSERT_TRUE(file);
    ASSERT_TRUE(file->Seek(10));

    // Two threads turn their halves to upper case letters through one handle.
    auto fill = [&](std::uint64_t from, std::uint64_t to, char letter) {
        std::string block(1000, '\0');
        for (std::uint64_t at = from; at < to; at += block.size()) {
            auto got = file->ReadAt(block.data(), block.size(), at);
            ASSERT_TRUE(got);
            ASSERT_EQ(*got, block.size());
            ASSERT_EQ(block, content.substr(at, block.size()));
            block.assign(block.size(), letter);
            ASSERT_TRUE(file->WriteAllAt(block.data(), block.size(), at));
        }
    };
    std::thread first(fill, 0, 150000, 'A');
    std::thread second(fill, 150000, 300000, 'B');
    first.join();
    second.join();

    char byte = 0;
    auto read = file->Read(&byte, 1);
    ASSERT_TRUE(read);
    EXPECT_EQ(byte, 'A') << "the position stayed at 10";
    EXPECT_EQ(dir_.Read("p.bin"), std::string(150000, 'A') + std::string(150000, 'B'));

    char beyond[8];
    auto end = file->ReadAt(beyond, sizeof beyond, 299996);
    ASSERT_TRUE(end);
    EXPECT_EQ(*end, 4u);
    auto past = file->ReadAt(beyond, sizeof beyond, 400000);
    ASSERT_TRUE(past);
    EXPECT_EQ(*past, 0u);
    ASSERT_TRUE(file->WriteAllAt("zz", 2, 300002));
    EXPECT_EQ(dir_.Read("p.bin").size(), 300004u);
}

TEST_F(FileTest, MappingsReadAndWriteAtUnalignedOffsets) {
    std::string content(10000, '\0');
    for (std::size_t i = 0; i < content.size(); ++i) {
        content[i] = static_cast<char>(i * 7);
    }
    dir_.Write("m.bin", content);
    auto file = File::Open(dir_.Sub("m.bin"), FileAccess::ReadWrite);
    ASSERT_TRUE(file);
    {
        auto view = platform::Mapping::Map(*file, 5000, 100, platform::MapAccess::ReadWrite);
        ASSERT_TRUE(view);
        ASSERT_EQ(view->size(), 100u);
        EXPECT_EQ(std::memcmp(view->data(), content.data() + 5000, 100), 0);
        std::memset(view->data(), 'Z', 100);
    }
    auto readOnly = platform::Mapping::Map(*file, 0, 10000, platform::MapAccess::ReadOnly);
    ASSERT_TRUE(readOnly);
    EXPECT_EQ(readOnly->data()[4999], static_cast<std::uint8_t>(content[4999]));
    EXPECT_EQ(readOnly->data()[5000], 'Z');
    EXPECT_EQ(readOnly->data()[5100], static_cast<std::uint8_t>(content[5100]));
    EXPECT_FALSE(platform::Mapping::Map(*file, 0, 0, platform::MapAccess::ReadOnly));
}

}  // namespace

// Key folders, their file lists and dates, and the zip bodies, apart from
// the network.

#include <gtest/gtest.h>

#include <filesystem>

#include "service_support/service_test_support.h"
#include "tools/service/download_plan.h"
#include "tools/service/key_folder.h"
#include "tools/service/zip_body.h"

namespace {

using service_testing::NewYearsEve2006;

TEST(KeyFolderTest, KeysAreSingleFoldersDirectlyBelowTheRoot) {
    testing_support::TempDir root;
    std::filesystem::create_directories(root.Sub("Key/inner"));
    root.Write("file", "x");
    EXPECT_EQ(qvn_service::KeyFolder(root.path(), "Key"), root.Sub("Key"));
    for (const char* key : {"", ".", "..", "Key/inner", "Key\\inner", "file", "none"}) {
        EXPECT_FALSE(qvn_service::KeyFolder(root.path(), key).has_value()) << key;
    }
    EXPECT_FALSE(qvn_service::IsUsableKeyName(std::string("a\0b", 3)));
}

TEST(KeyFolderTest, ListsRegularFilesAtAnyDepthSortedWithStableIdentifiers) {
    testing_support::TempDir root;
    root.Write("K/b.txt", "bb");
    root.Write("K/a/z.txt", "z");
    root.Write("K/a.txt", "a");
    std::filesystem::create_directories(root.Sub("K/empty"));
    std::filesystem::create_symlink(root.Sub("K/b.txt"), root.Sub("K/link.txt"));
    const auto files = qvn_service::ListKeyFiles(root.Sub("K"));
    ASSERT_EQ(files.size(), 3u);
    EXPECT_EQ(files[0].relative, "a.txt");
    EXPECT_EQ(files[1].relative, "a/z.txt");
    EXPECT_EQ(files[2].relative, "b.txt");
    EXPECT_EQ(files[2].id, "3");
    EXPECT_EQ(files[2].size, 2u);
    EXPECT_EQ(qvn_service::FindFileById(files, "2"), &files[1]);
    EXPECT_EQ(qvn_service::FindFileById(files, "4"), nullptr);
    EXPECT_TRUE(qvn_service::ListKeyFiles(root.Sub("missing")).empty());

    // Names only: the same files and identifiers; the served one is read on demand.
    auto names = qvn_service::ListKeyFiles(root.Sub("K"), /*attributes=*/false);
    ASSERT_EQ(names.size(), 3u);
    for (std::size_t i = 0; i < names.size(); ++i) {
        EXPECT_EQ(names[i].relative, files[i].relative);
        EXPECT_EQ(names[i].id, files[i].id);
        EXPECT_EQ(names[i].path, files[i].path);
    }
    EXPECT_EQ(names[2].size, 0u);
    ASSERT_TRUE(qvn_service::ReadAttributes(names[2]));
    EXPECT_EQ(names[2].size, 2u);
    EXPECT_EQ(names[2].lastWrite, files[2].lastWrite);
    std::filesystem::remove(root.Sub("K/b.txt"));
    EXPECT_FALSE(qvn_service::ReadAttributes(names[2]));
}

TEST(KeyFolderTest, TheListDatesEachFileOrLeavesTheBlankThatStandsForNoDate) {
    const std::vector<qvn_service::ServedFile> files = {
        {"1", "a.txt", "", 2, NewYearsEve2006()},
        // Beyond the calendar.
        {"2", "sub/b.txt", "", 3, platform::FileTime{UINT64_MAX}}};
    EXPECT_EQ(qvn_service::BuildListText("K", files, {}),
              "1\tK\\a.txt\t2\t07D60C1F0F2D1E\t0\t0\t2\tK\\sub\\b.txt\t3\t \t0\t0\t\r\n");
}

TEST(KeyFolderTest, TheListGivesNamesInTheSettingsCodePageWhereTheyHaveAForm) {
    const std::vector<qvn_service::ServedFile> files = {
        {"1", "Caf\xc3\xa9/\xe2\x82\xac 5.txt", "", 2, NewYearsEve2006()},
        // No character of Windows-1252: as on disk.
        {"2", "\xe6\x97\xa5.txt", "", 3, NewYearsEve2006()}};
    qvn_service::KeySettings settings;
    settings.codePage = "WINDOWS-1252";
    EXPECT_EQ(qvn_service::BuildListText("K", files, settings),
              "1\tK\\Caf\xe9\\\x80 5.txt\t2\t07D60C1F0F2D1E\t0\t0\t"
              "2\tK\\\xe6\x97\xa5.txt\t3\t07D60C1F0F2D1E\t0\t0\t\r\n");
}

TEST(KeyFolderTest, TheListEndsWithCrLfOnlyWhenItHoldsAnything) {
    qvn_service::KeySettings settings;
    EXPECT_EQ(qvn_service::BuildListText("K", {}, settings), "");
    settings.extraRecords.push_back("5\tK\\x\t1\t \t0\t0\t");
    EXPECT_EQ(qvn_service::BuildListText("K", {}, settings), "5\tK\\x\t1\t \t0\t0\t\r\n");
}

TEST(DownloadPlanTest, DecidesFromSizeDigestAndCipherUnits) {
    testing_support::TempDir dir;
    const std::string content = service_testing::PatternBytes(6000);
    dir.Write("f", content);
    auto describe = [&](std::size_t size) {
        qvn_service::CopyDescription copy;
        copy.digest = net::ComputeMd5(std::string_view(content).substr(0, size));
        copy.size = size;
        return copy;
    };
    using Kind = qvn_service::DownloadPlan::Kind;
    const std::string path = dir.Sub("f");
    EXPECT_EQ(qvn_service::PlanDownload(path, 6000, describe(6000), true).kind,
              Kind::AlreadyComplete);
    auto plan = qvn_service::PlanDownload(path, 6000, describe(4096), true);
    EXPECT_EQ(plan.kind, Kind::Continuation);
    EXPECT_EQ(plan.offset, 4096u);
    EXPECT_EQ(qvn_service::PlanDownload(path, 6000, describe(4095), true).kind, Kind::Whole);
    EXPECT_EQ(qvn_service::PlanDownload(path, 6000, describe(4095), false).kind,
              Kind::Continuation);
    EXPECT_EQ(qvn_service::PlanDownload(path, 6000, std::nullopt, false).kind, Kind::Whole);
    // The file vanished: whatever the client holds, it gets the whole file.
    EXPECT_EQ(qvn_service::PlanDownload(dir.Sub("gone"), 6000, describe(100), false).kind,
              Kind::Whole);
}

TEST(ZipBodyTest, OneDeflatedMemberThatTheClientUnpacksUnlessDamaged) {
    const std::string data = std::string(20'000, 'r') + service_testing::PatternBytes(500);
    const auto archive = qvn_service::ZipSingleMember("f.txt", data, qvn_service::ZipDamage::None);
    ASSERT_TRUE(archive);
    EXPECT_LT(archive->size(), data.size() / 4);
    EXPECT_EQ(service_testing::UnzipWithClient(*archive), data);

    const auto empty = qvn_service::ZipSingleMember("e", "", qvn_service::ZipDamage::None);
    ASSERT_TRUE(empty);
    EXPECT_EQ(service_testing::UnzipWithClient(*empty), "");

    for (const auto damage : {qvn_service::ZipDamage::DeflateData, qvn_service::ZipDamage::Crc}) {
        const auto bad = qvn_service::ZipSingleMember("f.txt", data, damage);
        ASSERT_TRUE(bad);
        EXPECT_FALSE(service_testing::UnzipWithClient(*bad).has_value());
        const auto badEmpty = qvn_service::ZipSingleMember("e", "", damage);
        ASSERT_TRUE(badEmpty);
        EXPECT_FALSE(service_testing::UnzipWithClient(*badEmpty).has_value());
    }
}

}  // namespace

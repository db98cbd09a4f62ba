// The service with a cache folder answers exactly as without one, and a
// file or folder that changes is never answered from what was kept for its
// old state. Files are dated in the past so that they count as settled.

#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "net/blowfish.h"
#include "platform/file.h"
#include "service_support/service_test_support.h"
#include "support/fake_clock.h"
#include "tools/service/service_cache.h"

namespace {

using service_testing::DecipherFileBody;
using service_testing::NewYearsEve2006;
using service_testing::PatternBytes;
using service_testing::RestartFor;
using service_testing::UnzipWithClient;

class CacheTest : public service_testing::ServiceTest {
  protected:
    void StartCached() {
        StartService(
            [this](qvn_service::ServiceOptions& options) { options.cacheFolder = cache_.path(); });
    }

    // A file that has not changed for long.
    void WriteOld(const std::string& key, const std::string& relative, const std::string& bytes) {
        WriteFile(key, relative, bytes, NewYearsEve2006());
    }

    // Names of the cache entries with a suffix.
    std::set<std::string> Entries(const std::string& suffix) const {
        std::set<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(cache_.path())) {
            const std::string name = entry.path().filename().string();
            if (name.size() >= suffix.size() &&
                name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0) {
                names.insert(name);
            }
        }
        return names;
    }

    testing_support::TempDir cache_;
};

TEST_F(CacheTest, AFixedKeyIndexIsUsedForEveryEncipheredFile) {
    const std::string content = PatternBytes(7000);
    WriteFile("Top", "f.bin", content);
    WriteSettings("Top", "encipher = yes\nkey_index = 77\n");
    StartService();
    for (int i = 0; i < 3; ++i) {
        auto reply = Exchange(DownloadRequest("Top", "1"));
        ASSERT_TRUE(reply && reply->fields.fang);
        EXPECT_EQ(reply->fields.fang->keyIndex, 77);
        EXPECT_EQ(DecipherFileBody(table_, *reply), content);
    }
}

TEST_F(CacheTest, EncipheredBodiesComeFromOneEntryAndMatchTheUncachedOnes) {
    // Large enough to be enciphered in several parts on several cores.
    const std::string content = PatternBytes(9 * 1024 * 1024 + 13);
    WriteOld("Top", "f.bin", content);
    WriteSettings("Top", "encipher = yes\nkey_index = 5\n");
    StartCached();

    auto first = Exchange(DownloadRequest("Top", "1"));
    ASSERT_TRUE(first);
    EXPECT_EQ(first->body.size(), net::BlowfishCipher::PaddedLength(content.size()));
    EXPECT_EQ(DecipherFileBody(table_, *first), content);
    EXPECT_EQ(Entries(".cipher").size(), 1u);
    auto second = Exchange(DownloadRequest("Top", "1"));
    ASSERT_TRUE(second);
    EXPECT_EQ(second->body, first->body);
    EXPECT_EQ(Entries(".cipher").size(), 1u);

    // A continuation is a stream of its own, kept apart.
    auto rest = Exchange(DownloadRequest("Top", "1", RestartFor(content.substr(0, 4096), "1")));
    ASSERT_TRUE(rest);
    EXPECT_TRUE(rest->fields.restart);
    EXPECT_EQ(DecipherFileBody(table_, *rest, 4096), content.substr(4096));
    EXPECT_EQ(Entries(".cipher").size(), 2u);

    // The same bytes under another key window are another entry.
    WriteSettings("Top", "encipher = yes\nkey_index = 6\n");
    auto other = Exchange(DownloadRequest("Top", "1"));
    ASSERT_TRUE(other);
    EXPECT_NE(other->body.substr(0, 64), first->body.substr(0, 64));
    EXPECT_EQ(DecipherFileBody(table_, *other), content);
    EXPECT_EQ(Entries(".cipher").size(), 3u);
    // No half-written entry stays behind.
    EXPECT_TRUE(Entries("").size() == 3u);
}

TEST_F(CacheTest, ARewrittenFileIsNeverAnsweredFromItsOldEntries) {
    const std::string before = PatternBytes(6000, 1);
    const std::string after = PatternBytes(6100, 2);
    WriteOld("Top", "f.txt", before);
    WriteOld("Zip", "f.txt", before + std::string(20000, 'z'));
    WriteSettings("Top", "encipher = yes\nkey_index = 9\n");
    WriteSettings("Zip", "zip = yes\n");
    StartCached();

    EXPECT_EQ(Exchange(DownloadRequest("Top", "1", RestartFor(before, "1")))->Conclusion(),
              "UGOTIT");
    EXPECT_EQ(DecipherFileBody(table_, *Exchange(DownloadRequest("Top", "1"))), before);
    EXPECT_EQ(UnzipWithClient(Exchange(DownloadRequest("Zip", "1", "", true))->body),
              before + std::string(20000, 'z'));

    // Rewritten long ago as well, so that the new bytes are kept too.
    const platform::FileTime later{NewYearsEve2006().ticks + 10'000'000};
    WriteFile("Top", "f.txt", after, later);
    WriteFile("Zip", "f.txt", after, later);
    auto described = Exchange(DownloadRequest("Top", "1", RestartFor(before, "1")));
    ASSERT_TRUE(described);
    EXPECT_NE(described->Conclusion(), "UGOTIT");
    EXPECT_EQ(DecipherFileBody(table_, *described), after);
    EXPECT_EQ(DecipherFileBody(table_, *Exchange(DownloadRequest("Top", "1"))), after);
    auto zipped = Exchange(DownloadRequest("Zip", "1", "", true));
    ASSERT_TRUE(zipped && zipped->fields.fang);
    EXPECT_TRUE(zipped->fields.fang->packed);
    EXPECT_EQ(static_cast<std::size_t>(zipped->fields.fang->plainSize), zipped->body.size());
    EXPECT_EQ(UnzipWithClient(zipped->body), after);
    EXPECT_EQ(Entries(".zip").size(), 2u);
}

TEST_F(CacheTest, ArchivesAreKeptButDamagedOnesAreMadeForEachRequest) {
    const std::string content = std::string(40'000, 'a') + PatternBytes(2000);
    WriteOld("Top", "f.txt", content);
    WriteSettings("Top", "zip = yes\nencipher = yes\nkey_index = 3\nfault = corrupt_zip times=1\n");
    StartCached();

    auto damaged = Exchange(DownloadRequest("Top", "1", "", true));
    ASSERT_TRUE(damaged);
    EXPECT_FALSE(UnzipWithClient(DecipherFileBody(table_, *damaged)).has_value());
    EXPECT_TRUE(Entries(".zip").empty());

    for (int i = 0; i < 2; ++i) {
        auto good = Exchange(DownloadRequest("Top", "1", "", true));
        ASSERT_TRUE(good && good->fields.fang);
        EXPECT_TRUE(good->fields.fang->packed);
        EXPECT_EQ(UnzipWithClient(DecipherFileBody(table_, *good)), content);
    }
    EXPECT_EQ(Entries(".zip").size(), 1u);
    EXPECT_EQ(Entries(".cipher").size(), 1u);
}

TEST_F(CacheTest, BodyFaultsCountTheSameBytesWithAndWithoutTheCache) {
    const std::string content = PatternBytes(100'000);
    WriteOld("Top", "f.bin", content);
    WriteSettings("Top", "encipher = yes\nkey_index = 4\nfault = close_body after=5000\n");
    StartCached();
    service_testing::RawClient client(Port());
    ASSERT_TRUE(client.Send(DownloadRequest("Top", "1")));
    const std::string all = client.ReadToEnd();
    const std::size_t headerEnd = all.find("\r\n\r\n");
    ASSERT_NE(headerEnd, std::string::npos);
    EXPECT_EQ(all.size() - headerEnd - 4, 5000u);
}

TEST_F(CacheTest, FreshFilesAreServedAsWithoutACache) {
    const std::string content = std::string(30'000, 'f') + PatternBytes(3000);
    WriteFile("Top", "f.txt", content);
    WriteSettings("Top", "zip = yes\nencipher = yes\nkey_index = 8\n");
    StartCached();
    auto zipped = Exchange(DownloadRequest("Top", "1", "", true));
    ASSERT_TRUE(zipped && zipped->fields.fang);
    EXPECT_TRUE(zipped->fields.fang->packed);
    EXPECT_EQ(UnzipWithClient(DecipherFileBody(table_, *zipped)), content);
    auto whole = Exchange(DownloadRequest("Top", "1"));
    ASSERT_TRUE(whole);
    EXPECT_EQ(DecipherFileBody(table_, *whole), content);
    EXPECT_EQ(Exchange(DownloadRequest("Top", "1", RestartFor(content, "1")))->Conclusion(),
              "UGOTIT");
    EXPECT_TRUE(Entries("").empty());
}

TEST_F(CacheTest, IdentifiersFollowFilesAddedToAKeptFolder) {
    WriteOld("Top", "a.txt", "alpha");
    WriteOld("Top", "c.txt", "gamma");
    const auto old = std::filesystem::last_write_time(root_.Sub("Top/a.txt"));
    std::filesystem::last_write_time(root_.Sub("Top"), old);
    StartCached();
    EXPECT_EQ(Exchange(DownloadRequest("Top", "2"))->body, "gamma");
    EXPECT_EQ(Exchange(DownloadRequest("Top", "2"))->body, "gamma");

    WriteOld("Top", "b.txt", "beta");
    EXPECT_EQ(Exchange(DownloadRequest("Top", "2"))->body, "beta");
    EXPECT_EQ(Exchange(DownloadRequest("Top", "3"))->body, "gamma");
}

TEST_F(CacheTest, StartRefusesACacheThatIsNoFolder) {
    root_.Write("not-a-folder", "x");
    qvn_service::ServiceOptions options(table_);
    options.root = root_.path();
    options.cacheFolder = root_.Sub("not-a-folder");
    const auto start = qvn_service::QvnService::Start(std::move(options));
    EXPECT_FALSE(start.ok());
    EXPECT_NE(start.error.find("cache"), std::string::npos);
}

std::span<const std::uint8_t> Bytes(const std::string& text) {
    return std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(text.data()),
                                         text.size());
}

TEST(ServiceCacheTest, KeepsDigestsPerLengthAndForgetsThemWhenTheFileChanges) {
    testing_support::TempDir dir;
    testing_support::TempDir cacheDir;
    // Long after every file of the test was written.
    testing_support::FakeClock clock(4'000'000'000);
    qvn_service::ServiceCache cache(cacheDir.path(), clock);
    const std::string content = PatternBytes(3000);
    dir.Write("f.bin", content);
    const auto bytes = Bytes;
    EXPECT_EQ(cache.DigestOfStart(dir.Sub("f.bin"), 3000), net::ComputeMd5(bytes(content)));
    EXPECT_EQ(cache.DigestOfStart(dir.Sub("f.bin"), 1000),
              net::ComputeMd5(bytes(content.substr(0, 1000))));
    EXPECT_FALSE(cache.DigestOfStart(dir.Sub("f.bin"), 3001).has_value());
    EXPECT_FALSE(cache.DigestOfStart(dir.Sub("missing.bin"), 10).has_value());

    const std::string longer = PatternBytes(3500, 7);
    dir.Write("f.bin", longer);
    EXPECT_EQ(cache.DigestOfStart(dir.Sub("f.bin"), 3000),
              net::ComputeMd5(bytes(longer.substr(0, 3000))));
}

// Rewrites a file with other bytes of the same size and its old last-write
// time: a change that only the settling rule keeps from being missed.
void RewriteKeepingSizeAndTime(const std::string& path, const std::string& bytes) {
    const auto time = std::filesystem::last_write_time(path);
    ASSERT_TRUE(platform::WriteWholeFile(path, bytes).ok());
    std::filesystem::last_write_time(path, time);
}

TEST(ServiceCacheTest, KeepsNothingOfFilesThatChangedJustBefore) {
    testing_support::TempDir dir;
    testing_support::TempDir cacheDir;
    const std::string first = PatternBytes(2000, 1);
    const std::string second = PatternBytes(2000, 2);
    dir.Write("f.bin", first);

    testing_support::FakeClock settledClock(4'000'000'000);
    qvn_service::ServiceCache settled(cacheDir.path(), settledClock);
    testing_support::FakeClock freshClock(std::time(nullptr));
    qvn_service::ServiceCache fresh(cacheDir.path(), freshClock);
    EXPECT_EQ(settled.DigestOfStart(dir.Sub("f.bin"), 2000), net::ComputeMd5(Bytes(first)));
    EXPECT_EQ(fresh.DigestOfStart(dir.Sub("f.bin"), 2000), net::ComputeMd5(Bytes(first)));

    RewriteKeepingSizeAndTime(dir.Sub("f.bin"), second);
    // What was settled is kept (the one change a cache cannot see) ...
    EXPECT_EQ(settled.DigestOfStart(dir.Sub("f.bin"), 2000), net::ComputeMd5(Bytes(first)));
    // ... what was fresh never is.
    EXPECT_EQ(fresh.DigestOfStart(dir.Sub("f.bin"), 2000), net::ComputeMd5(Bytes(second)));
    EXPECT_FALSE(fresh.Enciphered({dir.Sub("f.bin"), 0, 2000}, {}).has_value());
    EXPECT_FALSE(fresh.Archive(dir.Sub("f.bin"), [] { return std::string("PK"); }).has_value());
    EXPECT_TRUE(settled.Archive(dir.Sub("f.bin"), [] { return std::string("PK"); }).has_value());
}

TEST(ServiceCacheTest, KeepsAFolderListingUntilOneOfItsFoldersChanges) {
    testing_support::TempDir dir;
    testing_support::TempDir cacheDir;
    testing_support::FakeClock clock(4'000'000'000);
    qvn_service::ServiceCache cache(cacheDir.path(), clock);
    dir.Write("K/a.txt", "a");
    dir.Write("K/sub/b.txt", "b");
    auto names = [&] {
        std::vector<std::string> relative;
        for (const auto& file : *cache.FileNames(dir.Sub("K"))) {
            relative.push_back(file.id + " " + file.relative);
        }
        return relative;
    };
    EXPECT_EQ(names(), (std::vector<std::string>{"1 a.txt", "2 sub/b.txt"}));

    // A file added below, with its folder's time put back: the kept listing stays.
    const auto time = std::filesystem::last_write_time(dir.Sub("K/sub"));
    dir.Write("K/sub/c.txt", "c");
    std::filesystem::last_write_time(dir.Sub("K/sub"), time);
    EXPECT_EQ(names(), (std::vector<std::string>{"1 a.txt", "2 sub/b.txt"}));

    // Any real change of a folder's time is a new listing.
    std::filesystem::last_write_time(dir.Sub("K/sub"), time + std::chrono::seconds(1));
    EXPECT_EQ(names(), (std::vector<std::string>{"1 a.txt", "2 sub/b.txt", "3 sub/c.txt"}));
    dir.Write("K/0.txt", "0");
    EXPECT_EQ(names().front(), "1 0.txt");
}

}  // namespace

// The service with a cache folder answers exactly as without one, and a
// file that changes is never answered from what was kept for its old bytes.

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "net/blowfish.h"
#include "net/request_builder.h"
#include "service_test_support.h"
#include "tools/service/service_cache.h"

namespace {

using service_testing::DecipherFileBody;
using service_testing::PatternBytes;
using service_testing::UnzipWithClient;

std::string RestartFor(const std::string& copy, std::string_view fileId) {
    return net::BuildRestartHeader(
        std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(copy.data()),
                                      copy.size()),
        fileId);
}

class CacheTest : public service_testing::ServiceTest {
  protected:
    void StartCached() {
        StartService(
            [this](qvn_service::ServiceOptions& options) { options.cacheFolder = cache_.path(); });
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
    WriteFile("Top", "f.bin", content);
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
    WriteFile("Top", "f.txt", before);
    WriteFile("Zip", "f.txt", before + std::string(20000, 'z'));
    WriteSettings("Top", "encipher = yes\nkey_index = 9\n");
    WriteSettings("Zip", "zip = yes\n");
    StartCached();

    EXPECT_EQ(Exchange(DownloadRequest("Top", "1", RestartFor(before, "1")))->Conclusion(),
              "UGOTIT");
    EXPECT_EQ(DecipherFileBody(table_, *Exchange(DownloadRequest("Top", "1"))), before);
    EXPECT_EQ(UnzipWithClient(Exchange(DownloadRequest("Zip", "1", "", true))->body),
              before + std::string(20000, 'z'));

    WriteFile("Top", "f.txt", after);
    WriteFile("Zip", "f.txt", after);
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
    WriteFile("Top", "f.txt", content);
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
    WriteFile("Top", "f.bin", content);
    WriteSettings("Top", "encipher = yes\nkey_index = 4\nfault = close_body after=5000\n");
    StartCached();
    service_testing::RawClient client(Port());
    ASSERT_TRUE(client.Send(DownloadRequest("Top", "1")));
    const std::string all = client.ReadToEnd();
    const std::size_t headerEnd = all.find("\r\n\r\n");
    ASSERT_NE(headerEnd, std::string::npos);
    EXPECT_EQ(all.size() - headerEnd - 4, 5000u);
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

TEST(ServiceCacheTest, KeepsDigestsPerLengthAndForgetsThemWhenTheFileChanges) {
    testing_support::TempDir dir;
    testing_support::TempDir cacheDir;
    qvn_service::ServiceCache cache(cacheDir.path());
    const std::string content = PatternBytes(3000);
    dir.Write("f.bin", content);
    const auto bytes = [](const std::string& text) {
        return std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(text.data()),
                                             text.size());
    };
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

}  // namespace

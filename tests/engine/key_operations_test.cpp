// The key operations and Reset on a real engine with scripted replies.

#include <gtest/gtest.h>

#include <unistd.h>

#include "engine/key_operations.h"
#include "engine_fixture.h"
#include "net/message_cipher.h"
#include "platform/file.h"
#include "replies.h"

namespace {

using engine_testing::EncipheredListReply;
using engine_testing::EngineFixture;
using engine_testing::ListReply;

const std::string kThreeFiles =
    "1\tTop\\a.txt\t1\t07D60C1F0F2D1E\t0\t0\t2\tTop\\sub\\b.txt\t1\t \t0\t0\t"
    "3\tTop\\c.txt\t1\t \t0\t0\t\r\n";

TEST(KeyOperations, VerifyRetriesOnceWithOneLine) {
    EngineFixture f;
    f.server().Add("HTTP/1.1 200 OK\r\nX-QVN", /*close=*/true);
    f.server().Add("HTTP/1.1 200 OK\r\nX-QVN-CONCLUSION: Successful\r\n\r\n");
    EXPECT_TRUE(engine::VerifyDownloadKey(f.context()));
    EXPECT_EQ(f.Count("Err - RETRY VerifyDownloadKey at Quorvane\n"), 1);
    EXPECT_EQ(f.Count("  Start VerifyDownloadKey\n"), 1);
    EXPECT_EQ(f.Count("  VerifyDownloadKey Complete\n"), 1);
    EXPECT_EQ(f.context().Conclusion(), "Successful");
    EXPECT_EQ(f.Results(), "") << "no note after a successful retry";
}

TEST(KeyOperations, TwoLostAttemptsLeaveACommunicationNote) {
    EngineFixture f;
    f.server().Add("HTTP/1.1", true);
    f.server().Add("HTTP/1.1", true);
    EXPECT_FALSE(engine::DownloadCompleteWithKey(f.context()));
    EXPECT_EQ(f.Count("Err - RETRY DownloadCompleteWithKey at Quorvane\n"), 1);
    EXPECT_NE(f.Results().find("Comm Request/File DLCK\r\n"), std::string::npos);
    // A refusal (407) is not a communication failure: no note.
    EngineFixture g;
    g.server().Add("HTTP/1.1 407 Proxy\r\n\r\n");
    g.server().Add("HTTP/1.1 407 Proxy\r\n\r\n");
    EXPECT_FALSE(engine::GetKeyFileList(g.context()));
    EXPECT_EQ(g.Results(), "");
}

TEST(KeyOperations, DestinationTestFindsTheFirstExistingFile) {
    EngineFixture f;
    f.dir().Write("dest/sub/b.txt", "old");
    f.server().Add(ListReply(kThreeFiles));
    ASSERT_TRUE(engine::TestDestUsingKey(f.context()));
    auto& block = f.block();
    EXPECT_EQ(block.progress.status, control::status::kSomeExist);
    EXPECT_TRUE(block.progress.hasFilePath);
    EXPECT_EQ(block.currentPath, f.dir().Sub("dest/sub/b.txt"));
    EXPECT_EQ(f.context().state.currentFileId, "2") << "the walk stopped at the second file";
}

TEST(KeyOperations, DestinationTestWithoutExistingFilesNamesTheLastPath) {
    EngineFixture f;
    f.block().progress.fileIndex = 7;
    f.block().progress.doneK = 9;
    f.server().Add(EncipheredListReply(kThreeFiles, 300));
    ASSERT_TRUE(engine::TestDestUsingKey(f.context()));
    EXPECT_EQ(f.block().progress.status, control::status::kNoneExist);
    EXPECT_EQ(f.block().currentPath, f.dir().Sub("dest/c.txt"));
    EXPECT_EQ(f.block().progress.fileIndex, 7) << "the test leaves the file number";
    EXPECT_EQ(f.block().progress.doneK, 0);
    EXPECT_EQ(f.context().state.keyFileList.size(), 3u);
}

TEST(KeyOperations, EncipheredListWithAWrappedIndexParses) {
    // An index near the table's end (seed mod 496 = 495 here) and a list
    // text of whole blocks without a zero after it.
    const std::string text = "1\tTop\\abcde.txt\t1\t \t0\t0\t";
    ASSERT_EQ(text.size() % 8, 0u);
    EngineFixture f;
    f.server().Add(EncipheredListReply(text, 495, /*zeroEnd=*/false));
    ASSERT_TRUE(engine::GetKeyFileList(f.context()));
    engine::ParseFetchedList(f.context());
    ASSERT_EQ(f.context().state.keyFileList.size(), 1u);
    EXPECT_EQ(f.context().state.keyFileList[0].relativeName, "Top\\abcde.txt");
    EXPECT_EQ(f.context().state.keyFileList[0].numberB, 0) << "nothing after the text is read";
}

TEST(KeyOperations, HostileNamesAreNeverTestedOutsideTheDestination) {
    EngineFixture f;
    // Files that exist outside the destination, named by hostile entries.
    f.dir().Write("outside.txt", "x");
    f.server().Add(
        ListReply("1\tTop\\..\\outside.txt\t1\t \t0\t0\t"
                  "2\tTop\\\\abs\t1\t \t0\t0\t"
                  "3\tTop\\.\t1\t \t0\t0\t"
                  "4\tTop\\fine.txt\t1\t \t0\t0\t"));
    ASSERT_TRUE(engine::TestDestUsingKey(f.context()));
    EXPECT_EQ(f.block().progress.status, control::status::kNoneExist);
    EXPECT_EQ(f.block().currentPath, f.dir().Sub("dest/fine.txt"));
}

TEST(KeyOperations, LocalNamesAreTheServicesNamesInUtf8OrRefusalsShowingTheirBytes) {
    const struct {
        const char* codePage;              // nothing: the engine's default
        std::string listed;                // as parsed, top folder and all
        std::optional<std::string> local;  // below the destination; nothing: refused
        std::string shown;                 // the entry's name afterwards
    } rows[] = {
        {nullptr, "Top\\Caf\xe9\\\x80 5.pdf", "Caf\xc3\xa9/\xe2\x82\xac 5.pdf",
         "Caf\xc3\xa9\\\xe2\x82\xac 5.pdf"},
        {nullptr, "Top\\plain.txt", "plain.txt", "plain.txt"},
        {nullptr, "Top\\Caf\xe9\x81.pdf", std::nullopt, R"(Caf\xe9\x81.pdf)"},
        {"ISO-8859-15", "Top\\\xa4.txt", "\xe2\x82\xac.txt", "\xe2\x82\xac.txt"},
        // A code page that is not ASCII below 0x80 (EBCDIC: "A:") is escaped
        // once converted.
        {"IBM037", "Top\\\xc1\x7a", "A%3a", "A%3a"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.listed);
        EngineFixture f;
        if (row.codePage != nullptr) {
            auto converter = platform::TextConverter::Open(row.codePage, platform::kUtf8);
            ASSERT_TRUE(converter.ok());
            f.context().serviceNames = std::move(converter);
        }
        engine::KeyFileEntry entry;
        entry.relativeName = row.listed;
        const std::optional<std::string> path = engine::LocalPathFor(f.context(), entry);
        EXPECT_EQ(path,
                  row.local ? std::optional(f.dir().Sub("dest/" + *row.local)) : std::nullopt);
        EXPECT_EQ(entry.relativeName, row.shown);
    }
}

TEST(KeyOperations, ListWithoutABodyMeansNoFiles) {
    EngineFixture f;
    f.block().progress.status = 99;
    f.server().Add("HTTP/1.1 200 OK\r\nX-QVN-CONCLUSION: Successful\r\n\r\n");
    EXPECT_TRUE(engine::TestDestUsingKey(f.context()));
    EXPECT_EQ(f.block().progress.status, 99) << "progress is left as it was";
    EXPECT_EQ(f.Count("  TestDestUsingKey No Files in Folder \n"), 1);
    f.server().Add("HTTP/1.1 200 OK\r\n\r\n");
    EXPECT_TRUE(engine::DownloadFilesUsingKey(f.context()));
    EXPECT_EQ(f.Count("  DownloadFilesUsingKey no files in table\n"), 1);
}

TEST(KeyOperations, ALargestContentLengthForAContinuedCopyIsNoOverflow) {
    // The check of an enciphered continuation weighs the plain size against
    // the body plus the local copy; a reply may announce the largest length
    // a number holds.
    EngineFixture f;
    f.block().verification = true;
    f.dir().Write("dest/a.txt~", "0123456789");
    f.MarkLeftover("dest/a.txt~");
    // An enciphered list: the key's files come enciphered too.
    f.server().Add(EncipheredListReply("1\tTop\\a.txt\t1\t \t0\t0\t\r\n", 7));
    f.server().Add(
        "HTTP/1.1 200 OK\r\nX-QVN-CONCLUSION: Successful\r\nX-QVN-CRUNCHYFROG: 1,0,0\r\n"
        "X-QVN-RESTART: 1\r\nX-QVN-Fang: 20,5,0\r\nContent-Length: 9223372036854775807\r\n\r\n" +
            std::string(100, 'x'),
        /*close=*/true);
    EXPECT_TRUE(engine::DownloadFilesUsingKey(f.context())) << "no retry brings more space";
    EXPECT_EQ(f.Count("Unusable X-QVN-Fang"), 0) << "the plain size fits what was announced";
    EXPECT_EQ(f.block().progress.status, control::status::kNoSpace);
    EXPECT_EQ(f.block().progress.failedFiles, 1);
    EXPECT_EQ(f.dir().Read("dest/a.txt~"), "0123456789") << "nothing was written";
}

TEST(KeyOperations, FailedListFailsBothOperations) {
    EngineFixture f;
    for (int i = 0; i < 4; ++i) {
        f.server().Add("garbage", true);
    }
    EXPECT_FALSE(engine::TestDestUsingKey(f.context()));
    EXPECT_FALSE(engine::DownloadFilesUsingKey(f.context()));
    EXPECT_EQ(f.Count("  DownloadFilesUsingKey no file list\n"), 1);
    EXPECT_EQ(f.Count("Err - RETRY Getting Key File List at Quorvane\n"), 2);
    EXPECT_NE(f.Results().find("Comm Request/File Key File List\r\n"), std::string::npos);
}

class ResetTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char buffer[4096];
        ASSERT_NE(getcwd(buffer, sizeof buffer), nullptr);
        previous_ = buffer;
        ASSERT_EQ(chdir(f_.dir().path().c_str()), 0);
    }
    void TearDown() override { ASSERT_EQ(chdir(previous_.c_str()), 0); }

    EngineFixture f_;
    std::string previous_;
};

TEST_F(ResetTest, ClearsTheRunAndKeepsWhatOutlivesIt) {
    control::ControlBlock& block = f_.block();
    block.verification = true;
    block.useQvnDate = true;
    block.transferCompress = true;
    block.syncFileAccess = true;
    block.command = 26;
    block.conclusionText = "Successful";
    block.progress.fileIndex = 3;
    block.progress.fileCount = 9;
    block.progress.status = 13;
    block.progress.hasFilePath = true;
    block.currentPath = "/somewhere";
    f_.context().state.currentFileId = "77";
    f_.context().state.keyFileList.resize(2);
    f_.context().link.server(0).failed = true;
    // The same names in the current folder (the user's home, from a
    // desktop launcher) and in the engine's work folder.
    for (const std::string name : {"diff.crc", "temp.crc", "temp.crc~", "other.crc"}) {
        f_.dir().Write(name, "x");
        f_.dir().Write("work/" + name, "x");
    }

    ASSERT_TRUE(f_.engine().Reset());
    EXPECT_EQ(block.command.load(), 0);
    EXPECT_FALSE(block.verification);
    EXPECT_FALSE(block.useQvnDate);
    EXPECT_FALSE(block.transferCompress);
    EXPECT_TRUE(block.syncFileAccess) << "kept";
    EXPECT_EQ(block.clientId, "ZEL") << "kept";
    EXPECT_FALSE(block.localDirectory);
    EXPECT_FALSE(block.downloadKey);
    EXPECT_EQ(block.conclusionText, "");
    EXPECT_EQ(block.currentPath, "");
    EXPECT_EQ(block.progress.fileIndex, 0);
    EXPECT_EQ(block.progress.fileCount, 0);
    EXPECT_EQ(block.progress.status, 0);
    EXPECT_FALSE(block.progress.hasFilePath);
    EXPECT_EQ(f_.context().state.currentFileId, "");
    EXPECT_TRUE(f_.context().state.keyFileList.empty());
    EXPECT_TRUE(f_.context().link.server(0).failed) << "the server list survives";
    for (const std::string name : {"diff.crc", "temp.crc", "temp.crc~"}) {
        EXPECT_FALSE(platform::Exists(f_.dir().Sub("work/" + name))) << name;
        EXPECT_TRUE(platform::Exists(name)) << name << " outside the work folder";
    }
    EXPECT_TRUE(platform::Exists(f_.dir().Sub("work/other.crc")));

    // Without a work folder there are no work files to delete.
    engine::TransferEngine withoutWorkFolder(
        f_.block(), engine::EngineConfig({}, engine_testing::TestKeyTable()));
    EXPECT_TRUE(withoutWorkFolder.Reset());
    EXPECT_TRUE(platform::Exists("diff.crc"));

    // A second Reset finds nothing to free or delete and still succeeds.
    EXPECT_TRUE(f_.engine().Reset());
    EXPECT_EQ(block.progress.fileIndex, 0);
}

TEST(PrepareServers, FirstListedServerIsTheHead) {
    EngineFixture f(2);
    net::ServerLink& link = f.context().link;
    ASSERT_EQ(link.serverCount(), 2u);
    EXPECT_EQ(link.server(0).portText, std::to_string(f.server(0).port()));
    EXPECT_EQ(link.server(1).portText, std::to_string(f.server(1).port()));
}

}  // namespace

// Downloads of whole key lists on a real engine with scripted replies: what
// lands in the destination, and what never may.

#include <gtest/gtest.h>

#include "engine/file_download.h"
#include "engine/key_operations.h"
#include "engine_fixture.h"
#include "platform/file.h"
#include "replies.h"
#include "support/system_files.h"

namespace {

using engine_testing::EngineFixture;
using engine_testing::FileReply;
using engine_testing::ListReply;
using engine_testing::Record;

// The switches of a run after the user agreed to replace existing files.
void ReplaceRun(EngineFixture& f) {
    f.block().verification = false;
    f.block().transferCompress = true;
    f.block().useQvnDate = false;
}

int DownloadRequests(EngineFixture& f) {
    int count = 0;
    for (const std::string& request : f.server().Requests()) {
        count += request.find("?DownLoad ") != std::string::npos ? 1 : 0;
    }
    return count;
}

class NameCollisionTest : public ::testing::Test {
  protected:
    bool Exists(const std::string& relative) { return platform::Exists(f_.dir().Sub(relative)); }
    std::string Read(const std::string& relative) { return f_.dir().Read(relative); }

    EngineFixture f_;
};

TEST_F(NameCollisionTest, AListedFileNamedAsAnothersPartialIsNeverDeletedOrOverwritten) {
    // "a.txt~" is a listed file of its own; fetching "a.txt" would receive
    // its body under that name.
    ReplaceRun(f_);
    f_.dir().Write("dest/a.txt", "earlier a");
    f_.dir().Write("dest/a.txt~", "earlier tilde");
    // (A reply never asked for fails the test: only "a.txt~" is fetched.)
    f_.server().Add(ListReply(Record(1, "a.txt~") + Record(2, "a.txt") + "\r\n"));
    f_.server().Add(FileReply("new tilde"));

    EXPECT_TRUE(engine::DownloadFilesUsingKey(f_.context()));
    EXPECT_EQ(Read("dest/a.txt~"), "new tilde");
    EXPECT_EQ(Read("dest/a.txt"), "earlier a") << "the entry is refused, its file left";
    EXPECT_EQ(DownloadRequests(f_), 1);
    EXPECT_EQ(f_.block().progress.status, control::status::kRefusedName);
    EXPECT_EQ(f_.Count(" Err - DownloadFile - Name taken by another listed file " +
                       f_.dir().Sub("dest/a.txt") + "\n"),
              1);

    // In the other order the same entry is refused, before the listed
    // "a.txt~" is fetched: its earlier copy stays whatever happens later.
    EngineFixture g;
    ReplaceRun(g);
    g.dir().Write("dest/a.txt~", "earlier tilde");
    g.server().Add(ListReply(Record(1, "a.txt") + Record(2, "a.txt~") + "\r\n"));
    g.server().Add("HTTP/1.1 200 OK\r\nX-QVN-CONCLUSION: maximum downloads exceeded\r\n\r\n");
    EXPECT_TRUE(engine::DownloadFilesUsingKey(g.context()));
    EXPECT_EQ(g.dir().Read("dest/a.txt~"), "earlier tilde");
    EXPECT_FALSE(platform::Exists(g.dir().Sub("dest/a.txt")));
}

TEST_F(NameCollisionTest, NamesThatEscapeAlikeFetchOnlyTheFirst) {
    // '?' is escaped to "%3f": both entries would land on "a%3f.txt", the
    // second over the first that was already shown complete.
    f_.block().verification = true;
    f_.block().transferCompress = true;
    f_.server().Add(ListReply(Record(1, "a%3f.txt") + Record(2, "a?.txt") + Record(3, "b.txt") +
                              Record(4, "sub\\c\r.txt") + Record(5, "sub\\c.txt") + "\r\n"));
    f_.server().Add(FileReply("first"));
    f_.server().Add(FileReply("b"));
    f_.server().Add(FileReply("c with cr"));

    EXPECT_TRUE(engine::DownloadFilesUsingKey(f_.context()));
    EXPECT_EQ(Read("dest/a%3f.txt"), "first");
    EXPECT_EQ(Read("dest/b.txt"), "b") << "the files after a refused one still come";
    EXPECT_EQ(Read("dest/sub/c.txt"), "c with cr");
    EXPECT_EQ(DownloadRequests(f_), 3);
    EXPECT_EQ(f_.Count(" Err - DownloadFile - Name taken by another listed file "), 2);
}

TEST_F(NameCollisionTest, AListedFileNamedAsAnothersUnpackedMemberIsKept) {
    ReplaceRun(f_);
    // Unpacking "b.txt" would write its member over "b.txt~unzip", then
    // move it away.
    f_.server().Add(ListReply(Record(1, "b.txt~unzip") + Record(2, "b.txt") + "\r\n"));
    f_.server().Add(FileReply("member"));

    EXPECT_TRUE(engine::DownloadFilesUsingKey(f_.context()));
    EXPECT_EQ(Read("dest/b.txt~unzip"), "member");
    EXPECT_FALSE(Exists("dest/b.txt"));
    EXPECT_EQ(DownloadRequests(f_), 1);
}

TEST(DownloadWrites, AFileThatCannotBeWrittenWholeNeverReplacesTheEarlierCopy) {
    if (!testing_support::FileSizeLimit::Exists()) {
        GTEST_SKIP() << "this system has no file size limit to stop the write";
    }
    EngineFixture f;
    ReplaceRun(f);
    f.dir().Write("dest/big.bin", "earlier");
    f.dir().Write("dest/small.txt", "earlier small");
    f.server().Add(ListReply(Record(1, "big.bin") + Record(2, "small.txt") + "\r\n"));
    const std::string body(3 * 1024 * 1024 + 5, 'x');
    f.server().Add(FileReply(body));
    f.server().Add(FileReply("new small"));
    {
        const testing_support::FileSizeLimit limit(1024 * 1024);
        ASSERT_TRUE(limit.Active());
        EXPECT_TRUE(engine::DownloadFilesUsingKey(f.context())) << "no retry makes it fit";
    }
    EXPECT_EQ(f.block().progress.failedFiles, 1);
    const std::string kept = f.dir().Read("dest/big.bin");
    EXPECT_TRUE(kept == "earlier") << "the earlier copy became " << kept.size() << " bytes";
    EXPECT_FALSE(platform::Exists(f.dir().Sub("dest/big.bin~"))) << "the useless part goes";
    EXPECT_EQ(f.Count(" Err - DownloadFile - Write Failed " + std::to_string(EFBIG) + " " +
                      f.dir().Sub("dest/big.bin") + "\n"),
              1);
    EXPECT_EQ(f.dir().Read("dest/small.txt"), "new small") << "the next file still comes";
}

// A local copy that another program holds cannot be looked at: the file
// is passed over with a note, and counts as not fetched.
TEST(DownloadWrites, ALocalCopyAnotherProgramHoldsIsPassedOverAsNotFetched) {
    EngineFixture f;
    f.block().verification = true;
    f.block().transferCompress = true;
    f.dir().Write("dest/held.txt", "held by another program");
    auto holder =
        platform::File::Open(f.dir().Sub("dest/held.txt"), platform::FileAccess::WriteExisting);
    ASSERT_TRUE(holder.ok());
    f.server().Add(ListReply(Record(1, "held.txt") + Record(2, "next.txt") + "\r\n"));
    f.server().Add(FileReply("next"));

    EXPECT_TRUE(engine::DownloadFilesUsingKey(f.context()));
    EXPECT_EQ(f.block().progress.failedFiles, 1);
    EXPECT_EQ(f.dir().Read("dest/held.txt"), "held by another program");
    EXPECT_EQ(f.dir().Read("dest/next.txt"), "next");
    EXPECT_EQ(DownloadRequests(f), 1);
    EXPECT_NE(f.Results().find("   could not be opened"), std::string::npos) << f.Results();
}

// The service spells names in its code page; a local copy is looked for
// under the name as this system writes it.
TEST(DownloadWrites, ALocalCopyIsDescribedUnderItsUtf8Name) {
    EngineFixture f;
    f.block().verification = true;
    f.dir().Write("dest/Caf\xc3\xa9.pdf", "local copy");
    f.server().Add(ListReply(Record(1, "Caf\xe9.pdf") + "\r\n"));
    f.server().Add(FileReply("service copy"));

    EXPECT_TRUE(engine::DownloadFilesUsingKey(f.context()));
    const auto requests = f.server().Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_NE(requests[1].find("X-QVN-RESTART2: "), std::string::npos) << requests[1];
    EXPECT_EQ(f.dir().Read("dest/Caf\xc3\xa9.pdf"), "service copy");
}

TEST(CollidingEntries, LaterSameNamesAndNamesWhoseWorkFilesAreListed) {
    using Paths = std::vector<std::optional<std::string>>;
    const Paths paths = {"/d/a",       "/d/a~", "/d/a~~",      "/d/b", "/d/b", std::nullopt,
                         "/d/c~unzip", "/d/c",  "/d/e~unzip~", "/d/e", "/d/f~"};
    const std::vector<bool> expected = {true,  true, false, false, true, false,
                                        false, true, false, false, false};
    EXPECT_EQ(engine::CollidingEntries(paths, platform::NameRules::Posix), expected);
    EXPECT_EQ(engine::CollidingEntries({}), std::vector<bool>{});
}

// Windows does not tell letter case apart: names that differ in it alone
// are one file there, and so are their work names.
TEST(CollidingEntries, NamesDifferingInLetterCaseAloneCollideUnderWindowsRules) {
    using Paths = std::vector<std::optional<std::string>>;
    const Paths paths = {"/d/Report.pdf", "/d/report.PDF", "/d/Sub/a",    "/d/SUB/A",
                         "/d/B~",         "/d/b",          "/d/\xc3\x89", "/d/\xc3\xa9"};
    EXPECT_EQ(engine::CollidingEntries(paths, platform::NameRules::Windows),
              (std::vector<bool>{false, true, false, true, false, true, false, true}));
    EXPECT_EQ(engine::CollidingEntries(paths, platform::NameRules::Posix),
              std::vector<bool>(paths.size(), false));
}

}  // namespace

// Folders held open: nothing below the chosen folder is reached through a
// link, and no open waits on a FIFO.

#include <gtest/gtest.h>

#include <cerrno>
#include <string_view>

#include "platform/folder.h"
#include "support/system_files.h"
#include "support/temp_dir.h"

namespace {

using platform::EntryKind;
using platform::FileAccess;
using platform::Folder;

class FolderTest : public ::testing::Test {
  protected:
    FolderTest() {
        dir_.Write("inside/plain.txt", "plain");
        dir_.Write("inside/sub/deeper.txt", "deeper");
        outside_.Write("secret.txt", "secret");
        links_ = Link(outside_.path(), "inside/away") &&
                 Link(outside_.Sub("secret.txt"), "inside/secret-link") &&
                 Link(outside_.Sub("made-by-link"), "inside/dangling");
        fifo_ = testing_support::MakeFifo(dir_.Sub("inside/fifo"));
        auto folder = Folder::Open(dir_.Sub("inside"));
        EXPECT_TRUE(folder.ok());
        if (folder) {
            inside_ = std::move(*folder);
        }
    }

    bool Link(const std::string& target, const std::string& name) {
        return testing_support::MakeLink(target, dir_.Sub(name));
    }
    // Whether the entry of that name could be made on this system.
    bool Made(std::string_view name) const {
        const bool link = name == "away" || name == "secret-link" || name == "dangling";
        return link ? links_ : (name != "fifo" || fifo_);
    }
    // Ends a test whose rows of links or FIFOs could not run here.
    void SkipIfSomeWereMissing() {
        if (!links_ || !fifo_) {
            GTEST_SKIP() << "only the rows without " << (links_ ? "" : "links ")
                         << (fifo_ ? "" : "FIFOs ") << "ran: this system could not make them";
        }
    }

    testing_support::TempDir dir_;
    testing_support::TempDir outside_;
    Folder inside_;
    bool links_ = false;
    bool fifo_ = false;
};

TEST_F(FolderTest, EntriesAreSeenAsWhatTheyAre) {
    const struct {
        const char* name;
        EntryKind kind;
    } cases[] = {{"plain.txt", EntryKind::Regular},
                 {"sub", EntryKind::Folder},
                 {"away", EntryKind::Link},
                 {"dangling", EntryKind::Link},
                 {"fifo", EntryKind::Other}};
    for (const auto& c : cases) {
        if (!Made(c.name)) {
            continue;
        }
        auto info = inside_.Inspect(c.name);
        ASSERT_TRUE(info.ok()) << c.name;
        EXPECT_EQ(info->kind, c.kind) << c.name;
    }
    EXPECT_TRUE(inside_.Inspect("none").error().NotFound());
    SkipIfSomeWereMissing();
}

TEST_F(FolderTest, LinksFifosAndFoldersAreRefusedWhereAFileOrFolderIsExpected) {
    for (const char* name : {"secret-link", "dangling", "fifo", "sub"}) {
        if (!Made(name)) {
            continue;
        }
        auto opened = inside_.OpenFile(name, FileAccess::ReadShared);
        EXPECT_TRUE(opened.error().WrongKind()) << name << ": " << opened.error().Message();
        EXPECT_TRUE(inside_.OpenUnlocked(name).error().WrongKind()) << name;
    }
    for (const char* name : {"away", "plain.txt", "fifo"}) {
        if (!Made(name)) {
            continue;
        }
        EXPECT_TRUE(inside_.Enter(name).error().WrongKind()) << name;
        EXPECT_TRUE(inside_.EnterOrCreate(name).error().WrongKind()) << name;
    }
    for (const char* name : {"", ".", "..", "sub/deeper.txt"}) {
        EXPECT_FALSE(inside_.Inspect(name).ok()) << name;
        EXPECT_FALSE(inside_.CreateNew(name).ok()) << name;
    }
    EXPECT_EQ(outside_.Read("secret.txt"), "secret");
    SkipIfSomeWereMissing();
}

TEST_F(FolderTest, NothingIsCreatedWhereALinkPoints) {
    EXPECT_EQ(inside_.CreateNew("plain.txt").error().code, EEXIST);
    if (!links_) {
        GTEST_SKIP() << "this system could not make links";
    }
    EXPECT_EQ(inside_.CreateNew("dangling").error().code, EEXIST);
    EXPECT_FALSE(platform::Exists(outside_.Sub("made-by-link")));

    auto made = inside_.CreateNew("new.txt");
    ASSERT_TRUE(made.ok());
    ASSERT_TRUE(made->WriteAll("new", 3).ok());
    made->Close();
    // A rename replaces the link itself; the file it pointed to stays.
    ASSERT_TRUE(inside_.Rename("new.txt", "secret-link").ok());
    EXPECT_EQ(dir_.Read("inside/secret-link"), "new");
    EXPECT_EQ(outside_.Read("secret.txt"), "secret");
    ASSERT_TRUE(inside_.Remove("dangling").ok());
    EXPECT_TRUE(inside_.Inspect("dangling").error().NotFound());
}

TEST_F(FolderTest, LevelsAreEnteredOrMadeAndFilesOpenedThere) {
    auto sub = inside_.Enter("sub");
    ASSERT_TRUE(sub.ok());
    auto deeper = sub->OpenFile("deeper.txt", FileAccess::ReadShared);
    ASSERT_TRUE(deeper.ok());
    char bytes[6] = {};
    ASSERT_TRUE(deeper->Read(bytes, sizeof bytes).ok());
    EXPECT_EQ(std::string(bytes, 6), "deeper");

    auto made = inside_.EnterOrCreate("made");
    ASSERT_TRUE(made.ok());
    EXPECT_TRUE(made->CreateNew("x").ok());
    EXPECT_TRUE(platform::Exists(dir_.Sub("inside/made/x")));
    auto names = made->Names();
    ASSERT_TRUE(names.ok());
    EXPECT_EQ(*names, std::vector<std::string>{"x"});
    auto free = inside_.FreeBytes();
    ASSERT_TRUE(free.ok());
    EXPECT_GT(*free, 0u);
}

TEST_F(FolderTest, IdentityFollowsTheFileAndLocksExcludeOtherOpens) {
    auto created = inside_.CreateNew("work~");
    ASSERT_TRUE(created.ok());
    auto identity = created->Identity();
    ASSERT_TRUE(identity.ok());
    ASSERT_TRUE(inside_.Rename("work~", "work").ok());
    auto again = inside_.OpenUnlocked("work");
    ASSERT_TRUE(again.ok());
    EXPECT_EQ(again->Identity().value(), *identity);
    EXPECT_EQ(inside_.Inspect("work")->identity, *identity);
    EXPECT_NE(inside_.OpenUnlocked("plain.txt")->Identity().value(), *identity);
    // The creator's lock keeps every other holder out until it goes.
    EXPECT_TRUE(again->TryLockExclusive().error().SharingViolation());
    EXPECT_TRUE(inside_.OpenFile("work", FileAccess::ReadShared).error().SharingViolation());
    created->Close();
    EXPECT_TRUE(again->TryLockExclusive().ok());
}

}  // namespace

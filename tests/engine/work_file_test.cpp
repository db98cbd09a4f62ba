// Work files beside a target: found again only when the program made them,
// kept from a second run while one holds them, and never made over
// someone else's file of the same name.

#include <gtest/gtest.h>

#include "engine/work_file.h"
#include "engine/work_file_ledger.h"
#include "platform/folder.h"
#include "support/system_files.h"
#include "support/temp_dir.h"

namespace {

using engine::CreateWorkFile;
using engine::FindLeftover;
using engine::kPartialSuffix;
using engine::WorkPlace;

class WorkFileTest : public ::testing::Test {
  protected:
    WorkFileTest() : ledger_(dir_.Sub("work")) {
        dir_.Write("work/.keep", "");
        dir_.Write("dest/.keep", "");
        folder_ = std::move(platform::Folder::Open(dir_.Sub("dest")).value());
    }

    WorkPlace Place() { return WorkPlace{folder_, dir_.Sub("dest"), ledger_}; }

    // A work file made by an earlier run, holding `bytes`, closed again.
    void Leftover(const std::string& bytes) {
        auto made = CreateWorkFile(Place(), "a.txt", kPartialSuffix);
        ASSERT_TRUE(made.ok());
        ASSERT_TRUE(made->file().WriteAll(bytes.data(), bytes.size()).ok());
    }

    testing_support::TempDir dir_;
    engine::WorkFileLedger ledger_;
    platform::Folder folder_;
};

TEST_F(WorkFileTest, OnlyTheProgramsOwnLeftoverIsFoundAndAHeldOneIsInUse) {
    dir_.Write("dest/b.txt~", "an editor's backup");
    EXPECT_FALSE(FindLeftover(Place(), "b.txt", kPartialSuffix).leftover);

    Leftover("partial");
    auto first = FindLeftover(Place(), "a.txt", kPartialSuffix);
    ASSERT_TRUE(first.leftover);
    EXPECT_EQ(first.leftover->name(), "a.txt~");
    // While this run holds it, another finds it in use and leaves it.
    auto second = FindLeftover(Place(), "a.txt", kPartialSuffix);
    EXPECT_TRUE(second.inUse);
    EXPECT_FALSE(second.leftover);
    first.leftover->Discard();
    EXPECT_FALSE(platform::Exists(dir_.Sub("dest/a.txt~")));
    EXPECT_FALSE(FindLeftover(Place(), "a.txt", kPartialSuffix).leftover);
}

TEST_F(WorkFileTest, SomeoneElsesFilesKeepTheirNamesAndTheWorkFileTakesTheNext) {
    dir_.Write("dest/a.txt~", "an editor's backup");
    // A link and a FIFO; where the system makes neither, a folder and
    // someone else's file of the same names.
    if (!testing_support::MakeLink(dir_.Sub("outside"), dir_.Sub("dest/a.txt~2"))) {
        ASSERT_TRUE(platform::CreateFolder(dir_.Sub("dest/a.txt~2")).ok());
    }
    if (!testing_support::MakeFifo(dir_.Sub("dest/a.txt~3"))) {
        dir_.Write("dest/a.txt~3", "someone else's");
    }
    {
        auto made = CreateWorkFile(Place(), "a.txt", kPartialSuffix);
        ASSERT_TRUE(made.ok());
        EXPECT_EQ(made->name(), "a.txt~4");
        ASSERT_TRUE(made->file().WriteAll("new", 3).ok());
        ASSERT_TRUE(made->Install("a.txt").ok());
    }
    EXPECT_EQ(dir_.Read("dest/a.txt"), "new");
    EXPECT_EQ(dir_.Read("dest/a.txt~"), "an editor's backup");
    EXPECT_FALSE(platform::Exists(dir_.Sub("outside")));

    // A later run finds its leftover under the name it took.
    Leftover("partial");
    auto found = FindLeftover(Place(), "a.txt", kPartialSuffix);
    ASSERT_TRUE(found.leftover);
    EXPECT_EQ(found.leftover->name(), "a.txt~4");
}

TEST_F(WorkFileTest, AWorkFileReplacedMeanwhileIsNeitherInstalledNorRemoved) {
    auto made = CreateWorkFile(Place(), "a.txt", kPartialSuffix);
    ASSERT_TRUE(made.ok());
    // Someone else's file takes the name while the work file is held.
    ASSERT_TRUE(platform::DeleteFile(dir_.Sub("dest/a.txt~")).ok());
    dir_.Write("dest/a.txt~", "theirs");
    EXPECT_FALSE(made->Install("a.txt").ok());
    made->Discard();
    EXPECT_EQ(dir_.Read("dest/a.txt~"), "theirs");
    EXPECT_FALSE(platform::Exists(dir_.Sub("dest/a.txt")));
}

TEST_F(WorkFileTest, TheLedgerForgetsWorkFilesThatAreGone) {
    Leftover("partial");
    auto identity = platform::File::Open(dir_.Sub("dest/a.txt~"), platform::FileAccess::ReadShared)
                        ->Identity()
                        .value();
    ASSERT_TRUE(ledger_.Holds(identity));
    ledger_.Prune(0);
    EXPECT_TRUE(ledger_.Holds(identity)) << "still there";
    ASSERT_TRUE(platform::DeleteFile(dir_.Sub("dest/a.txt~")).ok());
    ledger_.Prune(0);
    EXPECT_TRUE(ledger_.Holds(identity)) << "missing, perhaps on a drive not attached";
    ledger_.Prune(engine::WorkFileLedger::kStaleAfter + 4'000'000'000);
    EXPECT_FALSE(ledger_.Holds(identity)) << "missing for long";

    Leftover("partial");
    // Held open while it is replaced, so that the new file cannot be given
    // the old one's number (Wine hands a freed inode number on at once).
    const auto old =
        platform::File::Open(dir_.Sub("dest/a.txt~"), platform::FileAccess::ReadShared);
    ASSERT_TRUE(old.ok());
    ASSERT_TRUE(platform::DeleteFile(dir_.Sub("dest/a.txt~")).ok());
    dir_.Write("dest/a.txt~", "replaced");  // a new file under the name
    ledger_.Prune(0);
    EXPECT_EQ(platform::Folder::Open(dir_.Sub("work/work-files"))->Names()->size(), 0u);
}

}  // namespace

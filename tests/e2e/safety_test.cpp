// What a download may do to a person's folder whatever the service sends,
// another copy of the program does, or the folder holds: a file shown
// complete holds the service's bytes, nothing outside the destination is
// touched, no file of theirs is lost, and no cause found here starts a
// retry.

#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "e2e/e2e_harness.h"
#include "e2e/fault_support.h"
#include "platform/file.h"

namespace e2e {
namespace {

using service_testing::NewYearsEve2006;
using service_testing::PatternBytes;
using Strings = std::vector<std::string>;

const platform::FileTime kDate = NewYearsEve2006();

bool Contains(const Strings& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

// The final line the display showed for a file.
std::string FinalLineOf(const ProgramRun& run, const std::string& name) {
    for (const ShownFile& file : ShownFiles(run.lines)) {
        if (file.name == name) {
            return file.finalLine;
        }
    }
    return "(not shown)";
}

// A small file system of its own on the destination, so that a disk can
// be full; unmounted when the test ends.
class SmallDisk {
  public:
    SmallDisk(const std::string& folder, const char* size) : folder_(folder) {
        const std::string options = std::string("size=") + size;
        mounted_ = ::mount("tmpfs", folder.c_str(), "tmpfs", 0, options.c_str()) == 0;
    }
    ~SmallDisk() {
        if (mounted_) {
            (void)::umount2(folder_.c_str(), MNT_DETACH);
        }
    }
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;
    bool Mounted() const { return mounted_; }

  private:
    std::string folder_;
    bool mounted_ = false;
};

class SafetyTest : public EndToEndTest {
  protected:
    SafetyTest() { StartServices(); }

    void Link(const std::string& target, const std::string& name) {
        ASSERT_EQ(::symlink(target.c_str(), (Destination() + "/" + name).c_str()), 0) << name;
    }
};

// The person was asked about the files of the list the destination test
// fetched. A file that only the download's list names is theirs to keep:
// it is neither described to the service nor replaced.
TEST_F(SafetyTest, AFileOnlyTheLaterListNamesIsNeitherDescribedNorReplaced) {
    const Tree served{{"a.txt", {"alpha\n", kDate}}, {"late.txt", {"service's\n", kDate}}};
    const Tree mine{{"late.txt", {"mine\n", Shifted(kDate, -86400)}}};
    const std::string key = NextCase(served, "fault = hide_file file=late.txt\n");
    WriteDestination(mine);
    const ProgramRun run = Run(key, Answers());

    ExpectOutcome(run, {0,
                        {{"a.txt", served.at("a.txt")}, {"late.txt", mine.at("late.txt")}},
                        {"VDLK", "DKFL", "DKFL", "DownLoad 1", "DLCK"},
                        {"a\\.txt  1K  \\(1 of 2\\)", "Complete", "late\\.txt .*\\(2 of 2\\)",
                         "File Exists\\. Download Skipped\\.", "Processing Complete",
                         " Download Processing Complete"}});
}

// A header block that does not end within 4096 bytes is a broken reply:
// its rest never becomes the start of a file. The request is tried again.
TEST_F(SafetyTest, AReplyHeaderWithoutItsEndWithin4096BytesIsABrokenReply) {
    const Tree served{{"a.bin", {PatternBytes(10000, 5), kDate}}};
    const struct {
        const char* fault;
        const char* logLine;
    } cases[] = {
        {"fault = long_header word=DownLoad\n",
         " Err - DownloadFile - Recv Incomplete HTTP header"},
        {"fault = long_header word=DKFL\n", " Err - DKFL - Response header longer than 4096 bytes"},
        {"fault = long_header word=DownLoad after=4097\n",
         " Err - DownloadFile - Recv Incomplete HTTP header"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fault);
        const ProgramRun run = Run(NextCase(served, c.fault), Answers());
        EXPECT_EQ(run.ExitCode(), 0) << run.Describe();
        EXPECT_TRUE(SameTree(served, DestinationTree())) << run.Describe();
        EXPECT_EQ(FinalLineOf(run, "a.bin"), "Complete") << run.Describe();
        EXPECT_NE(run.log.find(c.logLine), std::string::npos) << run.Describe();
    }
}

// A second run on the same folder finds the first one's work file held:
// it never deletes, cuts or renames it, and passes the file over; the
// first run's file is the service's.
TEST_F(SafetyTest, TwoRunsOnOneFolderNeverTakeEachOthersWorkFiles) {
    const Tree served{{"big.bin", {PatternBytes(2 * 1024 * 1024, 9), kDate}}};
    const std::string key =
        NextCase(served, "fault = slow_body file=big.bin after=200000 for=1500\n");
    ProgramRun second;
    const ProgramRun first = Run(key, Answers(), [&] {
        ASSERT_TRUE(WaitForDownload("1"));
        // The first run is now in the pause, its work file made.
        const auto deadline = std::chrono::steady_clock::now() + kRunLimit;
        while (!platform::Exists(Destination() + "/big.bin~") &&
               std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        second = Run(key, Answers());
    });

    EXPECT_EQ(first.ExitCode(), 0) << first.Describe();
    EXPECT_EQ(FinalLineOf(first, "big.bin"), "Complete") << first.Describe();
    EXPECT_EQ(second.ExitCode(), 0) << second.Describe();
    EXPECT_EQ(FinalLineOf(second, "big.bin"), "File In Use. Download Skipped.")
        << second.Describe();
    EXPECT_EQ(second.DownloadsOf("1").size(), 0u) << second.Describe();
    EXPECT_TRUE(SameTree(served, DestinationTree())) << first.Describe();
}

// Links, FIFOs and folders inside the destination are never followed,
// opened or replaced: nothing outside it is created, changed or read, and
// a FIFO under a listed name does not hold the run.
TEST_F(SafetyTest, LinksFifosAndFoldersInTheDestinationAreNeverFollowed) {
    const Tree served{{"b.txt", {"bee\n", kDate}},
                      {"c.txt", {"sea\n", kDate}},
                      {"d.txt", {"dee\n", kDate}},
                      {"e.txt", {"ee\n", kDate}},
                      {"sub/a.txt", {"ay\n", kDate}}};
    const std::string key = NextCase(served, "");
    const std::string elsewhere = outside_.Sub("elsewhere");
    outside_.Write("elsewhere/secret.txt", "secret");
    const Tree outsideBefore = OutsideTree();
    Link(elsewhere, "sub");
    Link(elsewhere + "/secret.txt", "d.txt");
    Link(elsewhere + "/made-by-link", "b.txt~");
    ASSERT_EQ(::mkfifo((Destination() + "/c.txt").c_str(), 0600), 0);
    WriteDestination({{"e.txt/inside", {"a folder's file\n", kDate}}});

    const ProgramRun run = Run(key, Answers());
    const char* const refused = "Invalid File Name. Download Skipped.";
    EXPECT_EQ(run.ExitCode(), 0) << run.Describe();
    EXPECT_EQ(FinalLineOf(run, "b.txt"), "Complete") << run.Describe();
    for (const char* name : {"c.txt", "d.txt", "e.txt", "a.txt"}) {
        EXPECT_EQ(FinalLineOf(run, name), refused) << name << "\n" << run.Describe();
    }
    EXPECT_EQ(run.RequestSummary(), (Strings{"VDLK", "DKFL", "DKFL", "DownLoad 1", "DLCK"}));
    EXPECT_TRUE(SameTree(outsideBefore, OutsideTree()));
    Tree destination = DestinationTree();
    EXPECT_EQ(destination["b.txt"], served.at("b.txt"));
    EXPECT_EQ(destination["e.txt/inside"].bytes, "a folder's file\n");
    const struct {
        const char* name;
        bool (*kind)(mode_t);
    } kept[] = {{"c.txt", [](mode_t m) { return S_ISFIFO(m); }},
                {"d.txt", [](mode_t m) { return S_ISLNK(m); }},
                {"sub", [](mode_t m) { return S_ISLNK(m); }},
                // Someone else's link under a work file's name stays.
                {"b.txt~", [](mode_t m) { return S_ISLNK(m); }}};
    for (const auto& entry : kept) {
        struct stat st {};
        EXPECT_EQ(::lstat((Destination() + "/" + entry.name).c_str(), &st), 0) << entry.name;
        EXPECT_TRUE(entry.kind(st.st_mode)) << entry.name;
    }
}

// A cause found here ends that file with a line of its own; the others
// arrive, the earlier copy stays, and the run is not tried again. A run
// with a file that failed so does not tell the service it is complete.
TEST_F(SafetyTest, CausesFoundHereFailOneFileAndTheRunGoesOnWithoutARetry) {
    const std::string longName(255, 'n');
    const Tree old{{"big.bin", {"earlier copy\n", Shifted(kDate, -86400)}}};
    const struct {
        const char* what;
        std::string name;
        std::string settings;
        std::optional<std::uint64_t> fileSizeLimit;
        const char* line;
        int exitCode;
    } cases[] = {
        {"a name the file system refuses",
         longName,
         "",
         {},
         "Invalid File Name. Download Skipped.",
         0},
        {"a body larger than the disk",
         "big.bin",
         "fault = bad_content_length=999999999999999999 file=big.bin\n",
         {},
         "Not Enough Disk Space. Download Failed.",
         1},
        {"a file larger than may be written", "big.bin", "", 1024 * 1024,
         "File Too Large. Download Failed.", 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const Tree served{{"a.txt", {"alpha\n", kDate}},
                          {c.name, {PatternBytes(3 * 1024 * 1024, 2), kDate}},
                          {"z.txt", {"zed\n", kDate}}};
        const std::string key = NextCase(served, c.settings);
        WriteDestination(old);
        Start start;
        start.fileSizeLimit = c.fileSizeLimit;
        const ProgramRun run = RunAs(start, key, Answers());

        EXPECT_EQ(run.ExitCode(), c.exitCode) << run.Describe();
        EXPECT_EQ(FinalLineOf(run, c.name), c.line) << run.Describe();
        EXPECT_EQ(RetryAttempts(run.lines), 0) << run.Describe();
        Tree expected = old;
        expected["a.txt"] = served.at("a.txt");
        expected["z.txt"] = served.at("z.txt");
        EXPECT_TRUE(SameTree(expected, DestinationTree())) << run.Describe();
        EXPECT_EQ(Contains(run.RequestSummary(), "DLCK"), c.exitCode == 0) << run.Describe();
        EXPECT_EQ(run.lines.back(), c.exitCode == 0
                                        ? " Download Processing Complete"
                                        : " Download Processing Finished. Some Files Could Not "
                                          "Be Saved.");
    }
}

// An archive that claims to unpack to more than the disk holds is refused
// before anything is unpacked; the earlier copy stays.
TEST_F(SafetyTest, AnArchiveDeclaringMoreThanTheDiskHoldsIsRefusedBeforeUnpacking) {
    const SmallDisk disk(Destination(), "4m");
    if (!disk.Mounted()) {
        GTEST_SKIP() << "no file system of its own can be mounted here";
    }
    const Tree served{{"report.txt", {LedgerText(4000), kDate}}};
    const Tree old{{"report.txt", {"earlier report\n", Shifted(kDate, -86400)}}};
    const std::string key = "SMALLDISK";
    WriteKey(key, served, "zip = yes\nfault = zip_declared_size=100000000 file=report.txt\n");
    WriteDestination(old);
    const ProgramRun run = Run(key, Answers());

    EXPECT_EQ(run.ExitCode(), 1) << run.Describe();
    EXPECT_EQ(FinalLineOf(run, "report.txt"), "Not Enough Disk Space. Download Failed.")
        << run.Describe();
    EXPECT_TRUE(SameTree(old, DestinationTree())) << run.Describe();
}

// Files that carry a work file's name but were not made by the program
// (an editor's backup, anything of the person's) are never deleted or
// written over because of it.
TEST_F(SafetyTest, ThePersonsFilesNamedLikeWorkFilesAreKept) {
    const Tree served{{"notes.txt", {"new notes\n", kDate}},
                      {"report.doc", {LedgerText(3000), kDate}}};
    const Tree theirs{{"notes.txt", {"old notes\n", Shifted(kDate, -86400)}},
                      {"notes.txt~", {"my backup of the notes\n", Shifted(kDate, -90000)}},
                      {"report.doc~unzip", {"something of mine\n", Shifted(kDate, -5)}}};
    const std::string key = NextCase(served, "zip = yes\n");
    WriteDestination(theirs);
    const ProgramRun run = Run(key, Answers("yes"));

    EXPECT_EQ(run.ExitCode(), 0) << run.Describe();
    EXPECT_EQ(FinalLineOf(run, "notes.txt"), "Complete") << run.Describe();
    EXPECT_EQ(FinalLineOf(run, "report.doc"), "Complete") << run.Describe();
    Tree expected = served;
    expected["notes.txt~"] = theirs.at("notes.txt~");
    expected["report.doc~unzip"] = theirs.at("report.doc~unzip");
    EXPECT_TRUE(SameTree(expected, DestinationTree())) << run.Describe();
}

// Only stored and deflated members that unpack to exactly their declared
// size become the file; anything else fails the file, keeps the earlier
// copy and starts no retry.
TEST_F(SafetyTest, ArchivesTheExtractorCannotUnpackFailTheFileWithoutARetry) {
    const Tree served{{"a.txt", {"alpha\n", kDate}}, {"report.txt", {LedgerText(20000), kDate}}};
    const Tree old{{"report.txt", {"earlier report\n", Shifted(kDate, -86400)}}};
    for (const char* fault : {"bzip2_zip", "encrypted_zip", "zip_declared_size=1000",
                              "zip_declared_size=99999999", "corrupt_zip", "bad_crc_zip"}) {
        SCOPED_TRACE(fault);
        const std::string key =
            NextCase(served, std::string("fault = ") + fault + " file=report.txt\n");
        WriteDestination(old);
        const ProgramRun run = Run(key, Answers("yes"));

        ExpectOutcome(run,
                      {1,
                       {{"a.txt", served.at("a.txt")}, {"report.txt", old.at("report.txt")}},
                       {"VDLK", "DKFL", "DKFL", "DownLoad 1", "DownLoad 2"},
                       {"a\\.txt  1K  \\(1 of 2\\)", "Complete", "report\\.txt  .*\\(2 of 2\\)",
                        "Download Failed", "Processing Finished With Errors",
                        " Download Processing Finished\\. Some Files Could Not Be Saved\\."}});
    }
}

}  // namespace
}  // namespace e2e

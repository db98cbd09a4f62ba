// Downloads seen from outside: the files that arrive, byte for byte and
// dated as the service's, the lines shown, and what the service was asked,
// for the ways a file can travel and the ways a transfer can go wrong.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "e2e/e2e_harness.h"
#include "net/base64.h"
#include "net/md5.h"
#include "platform/file.h"
#include "service_support/service_test_support.h"

namespace e2e {
namespace {

using service_testing::NewYearsEve2006;
using service_testing::PatternBytes;
using service_testing::WriteDatedFile;
using ::testing::ElementsAreArray;
using ::testing::MatchesRegex;
using Strings = std::vector<std::string>;

const platform::FileTime kDate = NewYearsEve2006();

// Text that packs well, as office files do.
std::string LedgerText(std::size_t lines) {
    std::string text;
    for (std::size_t i = 0; i < lines; ++i) {
        text += "ledger " + std::to_string(i % 97) + " harbour parcel minutes archive ferry\n";
    }
    return text;
}

std::string Md5Base64(const std::string& bytes) {
    net::Md5 md5;
    md5.Update(std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                             bytes.size()));
    const net::Md5Digest digest = md5.Finish();
    return net::Base64Encode(digest);
}

class DownloadsTest : public EndToEndTest {};

// Every way a file can travel: as it is, enciphered, zipped, or both.
TEST_F(DownloadsTest, EveryTransferFormDeliversTheServicesFilesWithTheirDates) {
    const Tree files{
        {"Quarterly report.pdf", {"%PDF-1.4\n" + PatternBytes(150 * 1024, 7), Shifted(kDate, -7)}},
        // Beyond the program's 1 MB write blocks, ending inside one.
        {"big.bin", {PatternBytes(1100 * 1024 + 333, 11), Shifted(kDate, 1)}},
        {"empty.dat", {"", Shifted(kDate, -60)}},
        {"ledger.txt", {LedgerText(4000), kDate}},
        {"photos/harbour.jpg", {PatternBytes(5000, 3), Shifted(kDate, 3600)}},
        {"sub/deeper/note.txt", {"note\r\n", Shifted(kDate, -86400 * 400)}},
    };
    const struct {
        const char* settings;
        bool zipped;
    } forms[] = {
        {"", false},
        {"encipher = yes\n", false},
        {"zip = yes\n", true},
        {"encipher = yes\nzip = yes\n", true},
        // Every reply ends its connection: the program connects anew.
        {"encipher = yes\nconnection_close = yes\n", false},
    };
    StartServices();
    int n = 0;
    for (const auto& form : forms) {
        SCOPED_TRACE(form.settings);
        const std::string key = "FORM" + std::to_string(++n);
        WriteKey(key, files, form.settings);
        ClearDestination();

        const ProgramRun run = Run(key, Answers());
        EXPECT_EQ(run.ExitCode(), 0) << run.Describe();
        EXPECT_TRUE(SameTree(files, DestinationTree())) << run.Describe();
        EXPECT_EQ(run.RequestSummary(),
                  (Strings{"VDLK", "DKFL", "DKFL", "DownLoad 1", "DownLoad 2", "DownLoad 3",
                           "DownLoad 4", "DownLoad 5", "DownLoad 6", "DLCK"}))
            << run.Describe();
        for (const qvn_service::LoggedRequest& request : run.requests) {
            EXPECT_EQ(HeaderValue(request.block, "X-QVN-RESTART2: "), std::nullopt)
                << request.block;
        }
        const std::string packed = form.zipped ? "Compressed" : "";
        EXPECT_THAT(
            run.FinalLines(),
            ElementsAreArray({
                MatchesRegex("Quarterly report\\.pdf  15[0-9]K " + packed + " \\(1 of 6\\)"),
                MatchesRegex("Complete"),
                MatchesRegex("big\\.bin  1,10[0-9]K " + packed + " \\(2 of 6\\)"),
                MatchesRegex("Complete"),
                MatchesRegex(form.zipped ? "empty\\.dat  1K Compressed \\(3 of 6\\)"
                                         : "empty\\.dat  .* \\(3 of 6\\)"),
                MatchesRegex("Complete"),
                MatchesRegex("ledger\\.txt  [0-9,]+K " + packed + " \\(4 of 6\\)"),
                MatchesRegex("Complete"),
                MatchesRegex("harbour\\.jpg  [56]K " + packed + " \\(5 of 6\\)"),
                MatchesRegex("Complete"),
                MatchesRegex("note\\.txt  1K " + packed + " \\(6 of 6\\)"),
                MatchesRegex("Complete"),
                MatchesRegex("Processing Complete"),
                MatchesRegex(" Download Processing Complete"),
            }))
            << run.Describe();
    }
}

// Names the destination cannot hold as they are listed arrive under
// escaped names.
TEST_F(DownloadsTest, NamesWithReservedCharactersArriveEscaped) {
    WriteKey(
        "ODD",
        {{"what?.txt", {"q\n"}}, {"a:b <c> \"d\" e|f*.txt", {"odd\n"}}, {"café.txt", {"utf-8\n"}}});
    StartServices();
    const ProgramRun run = Run("ODD", Answers());
    EXPECT_EQ(run.ExitCode(), 0) << run.Describe();
    EXPECT_TRUE(SameTree({{"what%3f.txt", {"q\n"}},
                          {"a%3ab %3cc%3e %22d%22 e%7cf%2a.txt", {"odd\n"}},
                          {"café.txt", {"utf-8\n"}}},
                         DestinationTree()))
        << run.Describe();
}

TEST_F(DownloadsTest, AKeyWithoutFilesCompletesWithNothingToFetch) {
    WriteKey("NOFILES", {});
    StartServices();
    const ProgramRun run = Run("NOFILES", Answers());
    EXPECT_EQ(run.ExitCode(), 0) << run.Describe();
    EXPECT_EQ(run.lines, (Strings{"No Files Available", " Download Processing Complete"}))
        << run.Describe();
    EXPECT_EQ(run.RequestSummary(), (Strings{"VDLK", "DKFL", "DKFL", "DLCK"})) << run.Describe();
    EXPECT_TRUE(DestinationTree().empty());
}

// Targets that appear after the destination was found empty are checked
// against the service's copies, since nobody was asked to replace them:
// the program is held on the first file's reply while they are written.
TEST_F(DownloadsTest, TargetsThatAppearDuringTheRunAreKeptContinuedOrReplaced) {
    const std::string partBytes = PatternBytes(10000, 5);
    const Tree served{
        {"1-first.txt", {"first\n", kDate}},
        {"2-same-date.txt", {"service copy\n", kDate}},
        {"3-later.txt", {"service copy\n", kDate}},
        {"4-older-part.bin", {partBytes, kDate}},
        {"5-older-whole.bin", {"identical\n", kDate}},
        {"6-older-other.bin", {"service copy\n", kDate}},
        {"7-older-empty.bin", {"service copy\n", kDate}},
    };
    const platform::FileTime older = Shifted(kDate, -86400);
    const Tree local{
        {"2-same-date.txt", {"local copy\n", kDate}},
        {"3-later.txt", {"local copy\n", Shifted(kDate, 60)}},
        {"4-older-part.bin", {partBytes.substr(0, 4096), older}},
        {"5-older-whole.bin", {"identical\n", older}},
        {"6-older-other.bin", {"local copy\n", older}},
        {"7-older-empty.bin", {"", older}},
    };
    const struct {
        const char* settings;
        const char* packed;  // the word of a whole file's line
    } forms[] = {{"", ""}, {"encipher = yes\nzip = yes\n", "Compressed"}};
    StartServices();
    int n = 0;
    for (const auto& form : forms) {
        SCOPED_TRACE(form.settings);
        const std::string key = "HELD" + std::to_string(++n);
        WriteKey(key, served,
                 std::string(form.settings) + "fault = stall_header file=1-first.txt after=0\n");
        ClearDestination();
        // The first file's reply never comes; the program gives up on it
        // after the long time-out and asks again under the same number.
        timeouts_ = "10s 10s 1500ms";
        const ProgramRun run = Run(key, Answers(), [&] {
            ASSERT_TRUE(WaitForDownload("1"));
            WriteDestination(local);
        });

        EXPECT_EQ(run.ExitCode(), 0) << run.Describe();
        EXPECT_EQ(run.RequestSummary(),
                  (Strings{"VDLK", "DKFL", "DKFL", "DownLoad 1", "DownLoad 1", "DownLoad 4",
                           "DownLoad 5", "DownLoad 6", "DownLoad 7", "DLCK"}))
            << run.Describe();
        Tree expected = served;
        expected["2-same-date.txt"] = local.at("2-same-date.txt");
        expected["3-later.txt"] = local.at("3-later.txt");
        // The identical copy is taken as it is, date and all.
        expected["5-older-whole.bin"] = local.at("5-older-whole.bin");
        EXPECT_TRUE(SameTree(expected, DestinationTree())) << run.Describe();

        // Each older copy with contents is described: its digest, size and
        // number, then its date (30 December 2006 15:45:30); an empty one
        // is not.
        const struct {
            const char* id;
            std::string copy;
        } described[] = {{"4", local.at("4-older-part.bin").bytes},
                         {"5", local.at("5-older-whole.bin").bytes},
                         {"6", local.at("6-older-other.bin").bytes}};
        for (const auto& d : described) {
            const Strings blocks = run.DownloadsOf(d.id);
            ASSERT_EQ(blocks.size(), 1u) << d.id;
            EXPECT_EQ(HeaderValue(blocks[0], "X-QVN-RESTART2: "),
                      Md5Base64(d.copy) + "," + std::to_string(d.copy.size()) + "," + d.id + ";");
            EXPECT_EQ(HeaderValue(blocks[0], "X-QVN-DINSDALE: "), "07D60C1E0F2D1E");
        }
        ASSERT_EQ(run.DownloadsOf("7").size(), 1u);
        EXPECT_EQ(HeaderValue(run.DownloadsOf("7")[0], "X-QVN-RESTART2: "), std::nullopt);

        const std::string packed = form.packed;
        EXPECT_THAT(run.FinalLines(),
                    ElementsAreArray({
                        MatchesRegex("1-first\\.txt  1K " + packed + " \\(1 of 7\\)"),
                        MatchesRegex("Complete"),
                        MatchesRegex("2-same-date\\.txt   \\(2 of 7\\)"),
                        MatchesRegex("File Exists\\. Download Skipped\\."),
                        MatchesRegex("3-later\\.txt   \\(3 of 7\\)"),
                        MatchesRegex("File Exists\\. Download Skipped\\."),
                        // A continuation is never packed.
                        MatchesRegex("4-older-part\\.bin  6K  \\(4 of 7\\)"),
                        MatchesRegex("Update File Complete"),
                        MatchesRegex("5-older-whole\\.bin  .*\\(5 of 7\\)"),
                        MatchesRegex("File Exists\\. Download Skipped\\."),
                        MatchesRegex("6-older-other\\.bin  1K " + packed + " \\(6 of 7\\)"),
                        MatchesRegex("Complete"),
                        MatchesRegex("7-older-empty\\.bin  1K " + packed + " \\(7 of 7\\)"),
                        MatchesRegex("Complete"),
                        MatchesRegex("Processing Complete"),
                        MatchesRegex(" Download Processing Complete"),
                    }))
            << run.Describe();
    }
}

// A body cut short leaves the file incomplete and the run unfinished; the
// dialog's retry fetches it whole (a packed transfer is never continued)
// and keeps what the first run completed.
TEST_F(DownloadsTest, ABodyCutShortIsFetchedWholeByTheRetry) {
    const Tree files{{"a.txt", {"alpha\n"}}, {"b.bin", {PatternBytes(10000, 9)}}};
    WriteKey("CUT", files, "fault = close_body file=b.bin after=3000\n");
    StartServices();
    const ProgramRun run = Run("CUT", Answers());

    EXPECT_EQ(run.ExitCode(), 0) << run.Describe();
    EXPECT_TRUE(SameTree(files, DestinationTree())) << run.Describe();
    EXPECT_EQ(run.RequestSummary(), (Strings{"VDLK", "DKFL", "DKFL", "DownLoad 1", "DownLoad 2",
                                             "DKFL", "DownLoad 2", "DLCK"}))
        << run.Describe();
    EXPECT_EQ(HeaderValue(run.DownloadsOf("2").at(1), "X-QVN-RESTART2: "), std::nullopt);
    EXPECT_THAT(run.FinalLines(), ElementsAreArray({
                                      MatchesRegex("a\\.txt  1K  \\(1 of 2\\)"),
                                      MatchesRegex("Complete"),
                                      MatchesRegex("b\\.bin  10K  \\(2 of 2\\)"),
                                      MatchesRegex("Download Incomplete"),
                                      MatchesRegex("Processing Failed Retry Attempt 1"),
                                      MatchesRegex("a\\.txt   \\(1 of 2\\)"),
                                      MatchesRegex("File Exists\\. Download Skipped\\."),
                                      MatchesRegex("b\\.bin  10K  \\(2 of 2\\)"),
                                      MatchesRegex("Complete"),
                                      MatchesRegex("Processing Complete"),
                                      MatchesRegex(" Download Processing Complete"),
                                  }))
        << run.Describe();
}

// A connection lost before or during a reply is tried once more at once,
// under the same file number, without failing the run.
TEST_F(DownloadsTest, ALostConnectionIsRetriedUnderTheSameFileNumber) {
    const Tree files{{"a.txt", {"alpha\n"}}, {"b.bin", {PatternBytes(10000, 9)}}, {"c.txt", {"c"}}};
    const char* faults[] = {
        "fault = close_header file=b.bin after=20\n",
        // The program gives up on the silent body after the normal time-out.
        "fault = stall_body file=b.bin after=2000\n",
    };
    timeouts_ = "10s 1s 10s";
    StartServices();
    int n = 0;
    for (const char* fault : faults) {
        SCOPED_TRACE(fault);
        const std::string key = "LOST" + std::to_string(++n);
        WriteKey(key, files, fault);
        ClearDestination();
        const ProgramRun run = Run(key, Answers());

        EXPECT_EQ(run.ExitCode(), 0) << run.Describe();
        EXPECT_TRUE(SameTree(files, DestinationTree())) << run.Describe();
        EXPECT_EQ(run.RequestSummary(), (Strings{"VDLK", "DKFL", "DKFL", "DownLoad 1", "DownLoad 2",
                                                 "DownLoad 2", "DownLoad 3", "DLCK"}))
            << run.Describe();
        EXPECT_THAT(run.FinalLines(), ElementsAreArray({
                                          MatchesRegex("a\\.txt  1K  \\(1 of 3\\)"),
                                          MatchesRegex("Complete"),
                                          MatchesRegex("b\\.bin  10K  \\(2 of 3\\)"),
                                          MatchesRegex("Complete"),
                                          MatchesRegex("c\\.txt  1K  \\(3 of 3\\)"),
                                          MatchesRegex("Complete"),
                                          MatchesRegex("Processing Complete"),
                                          MatchesRegex(" Download Processing Complete"),
                                      }))
            << run.Describe();
    }
}

TEST_F(DownloadsTest, ARefusedFirstServerIsLeftForTheNextOne) {
    const Tree files{{"a.txt", {"alpha\n"}}, {"b.txt", {"beta\n"}}};
    WriteKey("OVER", files);
    StartServices();
    programServers_ = {RefusedPort(), Port()};
    const ProgramRun run = Run("OVER", Answers());

    EXPECT_EQ(run.ExitCode(), 0) << run.Describe();
    EXPECT_TRUE(SameTree(files, DestinationTree())) << run.Describe();
    EXPECT_EQ(run.RequestSummary(),
              (Strings{"VDLK", "DKFL", "DKFL", "DownLoad 1", "DownLoad 2", "DLCK"}))
        << run.Describe();
}

// A server that stops answering is marked failed; the attempt that follows
// goes to the other server.
TEST_F(DownloadsTest, AServerThatFallsSilentIsLeftForTheOtherOne) {
    const Tree files{{"a.txt", {"alpha\n"}}, {"b.txt", {"beta\n"}}};
    WriteKey("SILENT", files, "fault = stall_header file=b.txt\n");
    StartServices(2);
    timeouts_ = "10s 10s 1s";
    const ProgramRun run = Run("SILENT", Answers());

    EXPECT_EQ(run.ExitCode(), 0) << run.Describe();
    EXPECT_TRUE(SameTree(files, DestinationTree())) << run.Describe();
    EXPECT_EQ(run.RequestSummary(),
              (Strings{"VDLK", "DKFL", "DKFL", "DownLoad 1", "DownLoad 2", "DownLoad 2", "DLCK"}))
        << run.Describe();
    ASSERT_EQ(run.requests.size(), 7u);
    const std::vector<std::uint16_t> ports = service_->Ports();
    EXPECT_EQ(run.requests[4].port, ports[0]);
    EXPECT_EQ(run.requests[5].port, ports[1]) << "the retry went to the silent server";
}

TEST_F(DownloadsTest, FilesBeyondTheKeysDownloadLimitAreShownAndNotWritten) {
    const Tree files{{"a.txt", {"alpha\n"}}, {"b.txt", {"beta\n"}}, {"c.txt", {"gamma\n"}}};
    WriteKey("LIMIT", files, "max_downloads = 1\n");
    StartServices();
    const ProgramRun run = Run("LIMIT", Answers());

    EXPECT_EQ(run.ExitCode(), 0) << run.Describe();
    EXPECT_TRUE(SameTree({{"a.txt", files.at("a.txt")}}, DestinationTree())) << run.Describe();
    EXPECT_EQ(run.RequestSummary(),
              (Strings{"VDLK", "DKFL", "DKFL", "DownLoad 1", "DownLoad 2", "DownLoad 3", "DLCK"}))
        << run.Describe();
    EXPECT_THAT(run.FinalLines(), ElementsAreArray({
                                      MatchesRegex("a\\.txt  1K  \\(1 of 3\\)"),
                                      MatchesRegex("Complete"),
                                      MatchesRegex("b\\.txt  .*\\(2 of 3\\)"),
                                      MatchesRegex("Maximum Downloads Exceeded"),
                                      MatchesRegex("c\\.txt  .*\\(3 of 3\\)"),
                                      MatchesRegex("Maximum Downloads Exceeded"),
                                      MatchesRegex("Processing Complete"),
                                      MatchesRegex(" Download Processing Complete"),
                                  }))
        << run.Describe();
}

// A key settings line that makes the service list a record of its own:
// fields separated by TAB, written with the settings file's escapes.
std::string ExtraRecord(const std::string& id, const std::string& name) {
    std::string escaped;
    for (const char c : name) {
        escaped += c == '\\' ? std::string("\\\\") : std::string(1, c);
    }
    return "extra = " + id + "\\t" + escaped + "\\t5\\t07D60C1F0F2D1E\\t0\\t0\\t\n";
}

// Listed names that would lead out of the destination are refused one by
// one, each with its line; nothing is written outside and the run goes on.
TEST_F(DownloadsTest, HostileListedNamesAreRefusedAndTheRunGoesOn) {
    const Tree files{{"a.txt", {"alpha\n"}}};
    WriteKey("HOSTILE", files,
             ExtraRecord("90", "HOSTILE\\..\\evil.txt") +
                 ExtraRecord("91", "HOSTILE\\sub\\..\\..\\evil.txt") +
                 ExtraRecord("92", "HOSTILE\\\\evil.txt") + ExtraRecord("93", "HOSTILE\\..") +
                 // The run goes on: the first file once more, under another name.
                 ExtraRecord("1", "HOSTILE\\again\\a.txt"));
    StartServices();
    // Were the names followed, this would be found (and asked about) or
    // overwritten.
    const Tree outside{{"evil.txt", {"left alone\n"}}};
    WriteDatedFile(outside_, "evil.txt", "left alone\n", outside.at("evil.txt").lastWrite);
    const ProgramRun run = Run("HOSTILE", Answers());

    EXPECT_EQ(run.ExitCode(), 0) << run.Describe();
    EXPECT_TRUE(SameTree(outside, OutsideTree()));
    EXPECT_TRUE(
        SameTree({{"a.txt", files.at("a.txt")}, {"again/a.txt", {"alpha\n"}}}, DestinationTree()))
        << run.Describe();
    EXPECT_EQ(run.errorText.find("Replace existing files?"), std::string::npos) << run.errorText;
    EXPECT_EQ(run.RequestSummary(),
              (Strings{"VDLK", "DKFL", "DKFL", "DownLoad 1", "DownLoad 1", "DLCK"}))
        << run.Describe();
    EXPECT_EQ(run.FinalLines(),
              (Strings{"a.txt  1K  (1 of 6)", "Complete", "..\\evil.txt   (2 of 6)",
                       "Invalid File Name. Download Skipped.", "sub\\..\\..\\evil.txt   (3 of 6)",
                       "Invalid File Name. Download Skipped.", "\\evil.txt   (4 of 6)",
                       "Invalid File Name. Download Skipped.", "..   (5 of 6)",
                       "Invalid File Name. Download Skipped.", "a.txt  1K  (6 of 6)", "Complete",
                       "Processing Complete", " Download Processing Complete"}))
        << run.Describe();
}

// A reply the program cannot use (a damaged archive, a proxy's refusal, a
// cipher or length it cannot work with) never costs the earlier file: it
// stays, dated as it was, while the dialog retries, until a good reply
// replaces it.
TEST_F(DownloadsTest, AnUnusableReplyKeepsTheOldTargetUntilTheRetryFetchesTheFile) {
    const Tree served{{"a.txt", {"alpha\n"}}, {"b.txt", {LedgerText(50), kDate}}};
    const Tree old{{"b.txt", {"old contents\n", Shifted(kDate, -86400)}}};
    const char* faults[] = {
        "fault = corrupt_zip file=b.txt times=2\n",
        "fault = bad_crc_zip file=b.txt times=2\n",
        "fault = proxy_auth file=b.txt times=2\n",
        "encipher = yes\nfault = no_fang_index file=b.txt times=2\n",
        "fault = bad_content_length=-5 file=b.txt times=2\n",
        "fault = bad_content_length=abc file=b.txt times=2\n",
    };
    StartServices();
    int n = 0;
    for (const char* fault : faults) {
        SCOPED_TRACE(fault);
        const std::string key = "UNUSABLE" + std::to_string(++n);
        WriteKey(key, served, fault);
        ClearDestination();
        WriteDestination(old);
        // Once the second try is asked for, the first is over; the second
        // fails as well, so the target cannot change meanwhile.
        Tree duringSecondTry;
        const ProgramRun run = Run(key, Answers("yes"), [&] {
            ASSERT_TRUE(WaitForDownload("2", 2));
            duringSecondTry = DestinationTree();
        });

        EXPECT_EQ(run.ExitCode(), 0) << run.Describe();
        EXPECT_EQ(duringSecondTry.count("b.txt"), 1u);
        EXPECT_EQ(duringSecondTry["b.txt"], old.at("b.txt")) << run.Describe();
        EXPECT_TRUE(SameTree(served, DestinationTree())) << run.Describe();
        EXPECT_EQ(run.RequestSummary(),
                  (Strings{"VDLK", "DKFL", "DKFL", "DownLoad 1", "DownLoad 2", "DKFL", "DownLoad 1",
                           "DownLoad 2", "DKFL", "DownLoad 1", "DownLoad 2", "DLCK"}))
            << run.Describe();
        EXPECT_THAT(run.FinalLines(), ElementsAreArray({
                                          MatchesRegex("a\\.txt  1K  \\(1 of 2\\)"),
                                          MatchesRegex("Complete"),
                                          MatchesRegex("b\\.txt  .*\\(2 of 2\\)"),
                                          MatchesRegex("Download Failed"),
                                          MatchesRegex("Processing Failed Retry Attempt 1"),
                                          MatchesRegex("a\\.txt  1K  \\(1 of 2\\)"),
                                          MatchesRegex("Complete"),
                                          MatchesRegex("b\\.txt  .*\\(2 of 2\\)"),
                                          MatchesRegex("Download Failed"),
                                          MatchesRegex("Processing Failed Retry Attempt 2"),
                                          MatchesRegex("a\\.txt  1K  \\(1 of 2\\)"),
                                          MatchesRegex("Complete"),
                                          MatchesRegex("b\\.txt  [0-9]K  \\(2 of 2\\)"),
                                          MatchesRegex("Complete"),
                                          MatchesRegex("Processing Complete"),
                                          MatchesRegex(" Download Processing Complete"),
                                      }))
            << run.Describe();
    }
}

}  // namespace
}  // namespace e2e

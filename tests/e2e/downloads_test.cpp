// Downloads seen from outside: the files that arrive, byte for byte and
// dated as the service's, the lines shown, and what the service was asked,
// for the ways a file can travel and the ways a transfer can go wrong.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "e2e/e2e_harness.h"
#include "net/base64.h"
#include "net/md5.h"
#include "service_support/service_test_support.h"

namespace e2e {
namespace {

using service_testing::NewYearsEve2006;
using service_testing::PatternBytes;
using service_testing::WriteDatedFile;
using Strings = std::vector<std::string>;

const platform::FileTime kDate = NewYearsEve2006();

std::string Md5Base64(const std::string& bytes) {
    net::Md5 md5;
    md5.Update(std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                             bytes.size()));
    const net::Md5Digest digest = md5.Finish();
    return net::Base64Encode(digest);
}

// The requests of a run that fetches the files with these numbers, in
// order; a retried run asks for the list again ("DKFL").
Strings RequestsFetching(const Strings& fileIds) {
    Strings requests{"VDLK", "DKFL", "DKFL"};
    for (const std::string& id : fileIds) {
        requests.push_back(id == "DKFL" ? id : "DownLoad " + id);
    }
    requests.push_back("DLCK");
    return requests;
}

// The lines that end every completed run.
Strings Completed(Strings lines) {
    lines.push_back("Processing Complete");
    lines.push_back(" Download Processing Complete");
    return lines;
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
    for (const auto& form : forms) {
        SCOPED_TRACE(form.settings);
        const ProgramRun run = Run(NextCase(files, form.settings), Answers());
        const std::string packed = form.zipped ? "Compressed" : "";
        ExpectOutcome(run, {0, files, RequestsFetching({"1", "2", "3", "4", "5", "6"}),
                            Completed({
                                "Quarterly report\\.pdf  15[0-9]K " + packed + " \\(1 of 6\\)",
                                "Complete",
                                "big\\.bin  1,10[0-9]K " + packed + " \\(2 of 6\\)",
                                "Complete",
                                form.zipped ? "empty\\.dat  1K Compressed \\(3 of 6\\)"
                                            : "empty\\.dat  .* \\(3 of 6\\)",
                                "Complete",
                                "ledger\\.txt  [0-9,]+K " + packed + " \\(4 of 6\\)",
                                "Complete",
                                "harbour\\.jpg  [56]K " + packed + " \\(5 of 6\\)",
                                "Complete",
                                "note\\.txt  1K " + packed + " \\(6 of 6\\)",
                                "Complete",
                            })});
        for (const qvn_service::LoggedRequest& request : run.requests) {
            EXPECT_EQ(HeaderValue(request.block, "X-QVN-RESTART2: "), std::nullopt)
                << request.block;
        }
    }
}

// Files that each take far less than the dialog's one-second timer: the
// dialog goes on as soon as the worker has news, so the run ends well
// inside the run limit, and every file's final line is printed exactly
// once, in list order, with each acknowledgement releasing one file.
TEST_F(DownloadsTest, HundredsOfSmallFilesEachPrintTheirFinalLineOnceInOrder) {
    constexpr int kFiles = 300;
    Tree files;
    Strings fileIds;
    Strings expected;
    for (int i = 1; i <= kFiles; ++i) {
        std::string number = std::to_string(i);
        number.insert(0, 3 - number.size(), '0');  // listed in this order
        files["f" + number + ".txt"] = {
            PatternBytes(static_cast<std::size_t>(100 + 37 * i), static_cast<unsigned>(i))};
        fileIds.push_back(std::to_string(i));
        expected.push_back("f" + number + "\\.txt  [0-9]+K  \\(" + std::to_string(i) + " of " +
                           std::to_string(kFiles) + "\\)");
        expected.push_back("Complete");
    }
    StartServices();
    const ProgramRun run = Run(NextCase(files, ""), Answers());
    ExpectOutcome(run, {0, files, RequestsFetching(fileIds), Completed(expected)});
    EXPECT_EQ(std::count(run.lines.begin(), run.lines.end(), "Complete"), kFiles)
        << "a final line printed twice";
}

// Names the destination cannot hold as they are listed arrive under
// escaped names.
TEST_F(DownloadsTest, NamesWithReservedCharactersArriveEscaped) {
    StartServices();
    const ProgramRun run = Run(NextCase({{"what?.txt", {"q\n"}},
                                         {"a:b <c> \"d\" e|f*.txt", {"odd\n"}},
                                         {"café.txt", {"utf-8\n"}}},
                                        "code_page = WINDOWS-1252\n"),
                               Answers());
    EXPECT_EQ(run.ExitCode(), 0) << run.Describe();
    EXPECT_TRUE(SameTree({{"what%3f.txt", {"q\n"}},
                          {"a%3ab %3cc%3e %22d%22 e%7cf%2a.txt", {"odd\n"}},
                          {"café.txt", {"utf-8\n"}}},
                         DestinationTree()))
        << run.Describe();
}

TEST_F(DownloadsTest, AKeyWithoutFilesCompletesWithNothingToFetch) {
    StartServices();
    const ProgramRun run = Run(NextCase({}, ""), Answers());
    ExpectOutcome(
        run,
        {0, {}, RequestsFetching({}), {"No Files Available", " Download Processing Complete"}});
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
    Tree expected = served;
    expected["2-same-date.txt"] = local.at("2-same-date.txt");
    expected["3-later.txt"] = local.at("3-later.txt");
    // The identical copy is taken as it is, date and all.
    expected["5-older-whole.bin"] = local.at("5-older-whole.bin");

    const struct {
        const char* settings;
        const char* packed;  // the word of a whole file's line
    } forms[] = {{"", ""}, {"encipher = yes\nzip = yes\n", "Compressed"}};
    StartServices();
    // The first file's reply never comes; the program gives up on it after
    // the long time-out and asks again under the same number.
    timeouts_ = "10s 10s 1500ms";
    for (const auto& form : forms) {
        SCOPED_TRACE(form.settings);
        const std::string key = NextCase(
            served, std::string(form.settings) + "fault = stall_header file=1-first.txt after=0\n");
        const ProgramRun run = Run(key, Answers(), [&] {
            ASSERT_TRUE(WaitForDownload("1"));
            WriteDestination(local);
        });

        const std::string packed = form.packed;
        ExpectOutcome(run, {0, expected, RequestsFetching({"1", "1", "4", "5", "6", "7"}),
                            Completed({
                                "1-first\\.txt  1K " + packed + " \\(1 of 7\\)",
                                "Complete",
                                "2-same-date\\.txt   \\(2 of 7\\)",
                                "File Exists\\. Download Skipped\\.",
                                "3-later\\.txt   \\(3 of 7\\)",
                                "File Exists\\. Download Skipped\\.",
                                // A continuation is never packed.
                                "4-older-part\\.bin  6K  \\(4 of 7\\)",
                                "Update File Complete",
                                "5-older-whole\\.bin  .*\\(5 of 7\\)",
                                "File Exists\\. Download Skipped\\.",
                                "6-older-other\\.bin  1K " + packed + " \\(6 of 7\\)",
                                "Complete",
                                "7-older-empty\\.bin  1K " + packed + " \\(7 of 7\\)",
                                "Complete",
                            })});

        // Each older copy with contents is described: its digest, size and
        // number, then its date (30 December 2006 15:45:30); an empty one
        // is not.
        const struct {
            std::string id;
            std::string name;
        } described[] = {
            {"4", "4-older-part.bin"}, {"5", "5-older-whole.bin"}, {"6", "6-older-other.bin"}};
        for (const auto& [id, name] : described) {
            const std::string& copy = local.at(name).bytes;
            const Strings blocks = run.DownloadsOf(id);
            ASSERT_EQ(blocks.size(), 1u) << id;
            EXPECT_EQ(HeaderValue(blocks[0], "X-QVN-RESTART2: "),
                      Md5Base64(copy) + "," + std::to_string(copy.size()) + "," + id + ";");
            EXPECT_EQ(HeaderValue(blocks[0], "X-QVN-DINSDALE: "), "07D60C1E0F2D1E");
        }
        ASSERT_EQ(run.DownloadsOf("7").size(), 1u);
        EXPECT_EQ(HeaderValue(run.DownloadsOf("7")[0], "X-QVN-RESTART2: "), std::nullopt);
    }
}

// A body cut short leaves the file incomplete and the run unfinished; the
// dialog's retry fetches it whole (a packed transfer is never continued)
// and keeps what the first run completed.
TEST_F(DownloadsTest, ABodyCutShortIsFetchedWholeByTheRetry) {
    const Tree files{{"a.txt", {"alpha\n"}}, {"b.bin", {PatternBytes(10000, 9)}}};
    StartServices();
    const ProgramRun run =
        Run(NextCase(files, "fault = close_body file=b.bin after=3000\n"), Answers());

    ExpectOutcome(run, {0, files, RequestsFetching({"1", "2", "DKFL", "2"}),
                        Completed({
                            "a\\.txt  1K  \\(1 of 2\\)",
                            "Complete",
                            "b\\.bin  10K  \\(2 of 2\\)",
                            "Download Incomplete",
                            "Processing Failed Retry Attempt 1",
                            "a\\.txt   \\(1 of 2\\)",
                            "File Exists\\. Download Skipped\\.",
                            "b\\.bin  10K  \\(2 of 2\\)",
                            "Complete",
                        })});
    EXPECT_EQ(HeaderValue(run.DownloadsOf("2").at(1), "X-QVN-RESTART2: "), std::nullopt);
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
    for (const char* fault : faults) {
        SCOPED_TRACE(fault);
        const ProgramRun run = Run(NextCase(files, fault), Answers());
        ExpectOutcome(run, {0, files, RequestsFetching({"1", "2", "2", "3"}),
                            Completed({
                                "a\\.txt  1K  \\(1 of 3\\)",
                                "Complete",
                                "b\\.bin  10K  \\(2 of 3\\)",
                                "Complete",
                                "c\\.txt  1K  \\(3 of 3\\)",
                                "Complete",
                            })});
    }
}

// The two ways of leaving a server: a first server that refuses (before
// the activity log opens, and passed over afterwards, so the run can only
// succeed by leaving it), and a server that falls silent, which is marked
// failed so that the attempt that follows goes to the other one.
TEST_F(DownloadsTest, TheProgramFailsOverToTheNextServer) {
    const Tree files{{"a.txt", {"alpha\n"}}, {"b.txt", {"beta\n"}}};
    const Strings lines = Completed(
        {"a\\.txt  1K  \\(1 of 2\\)", "Complete", "b\\.txt  1K  \\(2 of 2\\)", "Complete"});
    StartServices(2);
    const std::vector<std::uint16_t> ports = service_->Ports();

    programServers_ = {RefusedPort(), ports[0]};
    const ProgramRun refused = Run(NextCase(files, ""), Answers());
    ExpectOutcome(refused, {0, files, RequestsFetching({"1", "2"}), lines});

    programServers_ = ports;
    timeouts_ = "10s 10s 1s";
    const ProgramRun silent = Run(NextCase(files, "fault = stall_header file=b.txt\n"), Answers());
    ExpectOutcome(silent, {0, files, RequestsFetching({"1", "2", "2"}), lines});
    ASSERT_EQ(silent.requests.size(), 7u);
    EXPECT_EQ(silent.requests[4].port, ports[0]);
    EXPECT_EQ(silent.requests[5].port, ports[1]) << "the retry went to the silent server";
}

TEST_F(DownloadsTest, FilesBeyondTheKeysDownloadLimitAreShownAndNotWritten) {
    const Tree files{{"a.txt", {"alpha\n"}}, {"b.txt", {"beta\n"}}, {"c.txt", {"gamma\n"}}};
    StartServices();
    const ProgramRun run = Run(NextCase(files, "max_downloads = 1\n"), Answers());
    ExpectOutcome(run, {0,
                        {{"a.txt", files.at("a.txt")}},
                        RequestsFetching({"1", "2", "3"}),
                        Completed({
                            "a\\.txt  1K  \\(1 of 3\\)",
                            "Complete",
                            "b\\.txt  .*\\(2 of 3\\)",
                            "Maximum Downloads Exceeded",
                            "c\\.txt  .*\\(3 of 3\\)",
                            "Maximum Downloads Exceeded",
                        })});
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
    StartServices();
    const std::string key = NextCase(files, "");
    const std::string top = key + "\\";
    WriteSettings(key, ExtraRecord("90", top + "..\\evil.txt") +
                           ExtraRecord("91", top + "sub\\..\\..\\evil.txt") +
                           ExtraRecord("92", top + "\\evil.txt") + ExtraRecord("93", top + "..") +
                           // The run goes on: the first file again, under another name.
                           ExtraRecord("1", top + "again\\a.txt"));
    // Were the names followed, this would be found (and asked about) or
    // overwritten.
    const Tree outside{{"evil.txt", {"left alone\n"}}};
    WriteDatedFile(outside_, "evil.txt", "left alone\n", outside.at("evil.txt").lastWrite);
    const ProgramRun run = Run(key, Answers());

    const std::string refused = "Invalid File Name\\. Download Skipped\\.";
    const bool windows = WindowsProgram();
    ExpectOutcome(run,
                  {0,
                   {{"a.txt", files.at("a.txt")}, {"again/a.txt", {"alpha\n"}}},
                   RequestsFetching({"1", "1"}),
                   Completed({
                       "a\\.txt  1K  \\(1 of 6\\)",
                       "Complete",
                       // The console shows a backslash doubled; on
                       // Windows, where it is the separator, a line
                       // shows the name after the last one.
                       windows ? R"(evil\.txt   \(2 of 6\))" : R"(\.\.\\\\evil\.txt   \(2 of 6\))",
                       refused,
                       windows ? R"(evil\.txt   \(3 of 6\))"
                               : R"(sub\\\\\.\.\\\\\.\.\\\\evil\.txt   \(3 of 6\))",
                       refused,
                       windows ? R"(evil\.txt   \(4 of 6\))" : R"(\\\\evil\.txt   \(4 of 6\))",
                       refused,
                       "\\.\\.   \\(5 of 6\\)",
                       refused,
                       "a\\.txt  1K  \\(6 of 6\\)",
                       "Complete",
                   })});
    EXPECT_TRUE(SameTree(outside, OutsideTree()));
    EXPECT_EQ(run.errorText.find("Replace existing files?"), std::string::npos) << run.errorText;
}

// Names that Windows would read as a device, cut short, or take for
// another listed file's (letter case aside) are refused there with the
// usual line and never stored as something else; Linux stores them as
// listed.
TEST_F(DownloadsTest, NamesWindowsCannotHoldAreRefusedThereOnly) {
    const struct {
        std::string name;
        bool storedOnWindows;
    } rows[] = {
        // In the order the service lists them (by their bytes).
        {"CON.txt", false}, {"REPORT.pdf", true}, {"Report.pdf", false}, {"aux", false},
        {"blank ", false},  {"dot.", false},      {"lpt1.log", false},   {"plain.txt", true},
    };
    const bool windows = WindowsProgram();
    Tree served;
    Tree stored;
    Strings fetched;
    Strings lines;
    const std::string count = std::to_string(std::size(rows));
    for (const auto& row : rows) {
        served[row.name] = {"the file " + row.name + "\n", kDate};
        const std::string number = std::to_string(served.size());
        std::string pattern = row.name;
        for (std::size_t at = pattern.find('.'); at != std::string::npos;
             at = pattern.find('.', at + 2)) {
            pattern.insert(at, "\\");
        }
        if (!windows || row.storedOnWindows) {
            stored[row.name] = served[row.name];
            fetched.push_back(number);
            lines.push_back(pattern + "  .*\\(" + number + " of " + count + "\\)");
            lines.push_back("Complete");
        } else {
            lines.push_back(pattern + "   \\(" + number + " of " + count + "\\)");
            lines.push_back("Invalid File Name\\. Download Skipped\\.");
        }
    }
    StartServices();
    const ProgramRun run = Run(NextCase(served, ""), Answers());
    ExpectOutcome(run, {0, stored, RequestsFetching(fetched), Completed(lines)});
}

// The service names its files in Windows-1252, the code page a deployment
// need not name: they arrive under their UTF-8 names, which the destination
// test and the lines use too. A name with a byte that has no character
// there (0x81) is refused, shown escaped, and stores nothing.
TEST_F(DownloadsTest, NamesInTheServicesCodePageArriveInUtf8) {
    const std::string cafe = "Caf\xc3\xa9.pdf";
    const std::string naive = "na\xc3\xafve.txt";
    const std::string resume = "\xe2\x82\xac 100/R\xc3\xa9sum\xc3\xa9.txt";
    const Tree served{{cafe, {"%PDF-1.4\n"}}, {naive, {"service copy\n"}}, {resume, {"euros\n"}}};
    // Asked about, then replaced.
    const Tree local{{naive, {"local copy\n", Shifted(kDate, -86400)}}};
    StartServices();
    const std::string key = NextCase(served, "");
    WriteSettings(key, "code_page = WINDOWS-1252\n" + ExtraRecord("4", key + "\\Bad\x81.txt"));
    WriteDestination(local);
    const ProgramRun run = Run(key, Answers("yes"));

    const std::string refused = "Invalid File Name\\. Download Skipped\\.";
    ExpectOutcome(
        run, {0, served, RequestsFetching({"1", "2", "3"}),
              Completed({
                  "Caf\xc3\xa9\\.pdf  1K  \\(1 of 4\\)",
                  "Complete",
                  "na\xc3\xafve\\.txt  .*\\(2 of 4\\)",
                  "Complete",
                  "R\xc3\xa9sum\xc3\xa9\\.txt  1K  \\(3 of 4\\)",
                  "Complete",
                  // The console shows a backslash doubled (on
                  // Windows a line shows what follows the last).
                  WindowsProgram() ? R"(x81\.txt   \(4 of 4\))" : R"(Bad\\\\x81\.txt   \(4 of 4\))",
                  refused,
              })});
    EXPECT_NE(run.errorText.find("Replace existing files?"), std::string::npos) << run.errorText;
    EXPECT_NE(run.log.find(" Err - DownloadFile - Refused name Bad\\x81.txt\n"), std::string::npos)
        << run.log;
}

// A deployment's code page is the one names are read in: 0xA4 is the euro
// sign in ISO-8859-15, where Windows-1252 has the currency sign.
TEST_F(DownloadsTest, TheDeploymentNamesTheServicesCodePage) {
    codePage_ = "ISO-8859-15";
    StartServices();
    const ProgramRun run =
        Run(NextCase({{"\xe2\x82\xac.txt", {"euros\n"}}}, "code_page = ISO-8859-15\n"), Answers());
    ExpectOutcome(run, {0,
                        {{"\xe2\x82\xac.txt", {"euros\n"}}},
                        RequestsFetching({"1"}),
                        Completed({"\xe2\x82\xac\\.txt  1K  \\(1 of 1\\)", "Complete"})});
}

// A reply the program cannot use (a damaged archive, a proxy's refusal, a
// cipher or length it cannot work with) never costs the earlier file: it
// stays, dated as it was, while the dialog retries, until a good reply
// replaces it.
TEST_F(DownloadsTest, AnUnusableReplyKeepsTheOldTargetUntilTheRetryFetchesTheFile) {
    const Tree served{{"a.txt", {"alpha\n"}}, {"b.txt", {LedgerText(50), kDate}}};
    const Tree old{{"b.txt", {"old contents\n", Shifted(kDate, -86400)}}};
    // (Archives that do not unpack are no reason to try again: see the
    // safety tests.)
    const char* faults[] = {
        "fault = proxy_auth file=b.txt times=2\n",
        "encipher = yes\nfault = no_fang_index file=b.txt times=2\n",
        "fault = bad_content_length=-5 file=b.txt times=2\n",
        "fault = bad_content_length=abc file=b.txt times=2\n",
    };
    StartServices();
    for (const char* fault : faults) {
        SCOPED_TRACE(fault);
        const std::string key = NextCase(served, fault);
        WriteDestination(old);
        // Once the second try is asked for, the first is over; the second
        // fails as well, so the target cannot change meanwhile.
        Tree duringSecondTry;
        const ProgramRun run = Run(key, Answers("yes"), [&] {
            ASSERT_TRUE(WaitForDownload("2", 2));
            duringSecondTry = DestinationTree();
        });

        EXPECT_EQ(duringSecondTry.count("b.txt"), 1u);
        EXPECT_EQ(duringSecondTry["b.txt"], old.at("b.txt")) << run.Describe();
        ExpectOutcome(run,
                      {0, served, RequestsFetching({"1", "2", "DKFL", "1", "2", "DKFL", "1", "2"}),
                       Completed({
                           "a\\.txt  1K  \\(1 of 2\\)",
                           "Complete",
                           "b\\.txt  .*\\(2 of 2\\)",
                           "Download Failed",
                           "Processing Failed Retry Attempt 1",
                           "a\\.txt  1K  \\(1 of 2\\)",
                           "Complete",
                           "b\\.txt  .*\\(2 of 2\\)",
                           "Download Failed",
                           "Processing Failed Retry Attempt 2",
                           "a\\.txt  1K  \\(1 of 2\\)",
                           "Complete",
                           "b\\.txt  [0-9]K  \\(2 of 2\\)",
                           "Complete",
                       })});
    }
}

}  // namespace
}  // namespace e2e

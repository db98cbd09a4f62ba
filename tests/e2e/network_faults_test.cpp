// The network fault matrix: the program, with the console front-end,
// against the service injecting one fault per case. Each case runs the
// program as often as a user would have to (again after a run that gave
// up) and then judges what every run showed and left: each file shown done
// was whole, nothing in the destination was ever wrong or lost, only the
// temporary files of an unfinished run remain, and in the end every file
// equals its source, dated as the service dates it.
//
// A case is one line of kRows below.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "e2e/e2e_harness.h"
#include "e2e/fault_support.h"
#include "net/blowfish.h"
#include "platform/strings.h"
#include "tools/service/zip_body.h"

namespace e2e {
namespace {

using service_testing::NewYearsEve2006;
using service_testing::PatternBytes;

// How the key's files go out.
enum class Kind {
    Plain,
    Enciphered,
    Zipped,
    EncipheredZipped,
    Update,  // plain, over an older b.bin in the destination (replaced after the question)
};

enum class Outcome {
    Clean,      // one run; the program gets over the fault without retrying the whole download
    Retried,    // one run, with one or more "Processing Failed Retry Attempt" lines
    SecondRun,  // the first run gives up (status 1); a second run completes
};

enum class Net {
    Normal,         // receive time-outs long enough for anything
    ShortTimeouts,  // 300 ms: a stall ends in a time-out
    FirstRefused,   // two servers, the first a port that refuses connections
};

struct FaultRow {
    const char* name;
    Kind kind;
    // The key's settings lines; "{last}" stands for the offset of the last
    // byte of b.bin's reply body as this kind sends it.
    const char* settings;
    Outcome outcome;
    int fetches;  // DownLoad requests for b.bin over all runs
    Net net = Net::Normal;
};

constexpr Kind P = Kind::Plain;
constexpr Kind E = Kind::Enciphered;
constexpr Kind Z = Kind::Zipped;
constexpr Kind EZ = Kind::EncipheredZipped;
constexpr Kind U = Kind::Update;
constexpr Outcome kClean = Outcome::Clean;
constexpr Outcome kRetried = Outcome::Retried;
constexpr Outcome kSecondRun = Outcome::SecondRun;
constexpr Net kShort = Net::ShortTimeouts;
constexpr Net kFirstRefused = Net::FirstRefused;

// clang-format off
const FaultRow kRows[] = {
    // The connection closes inside b.bin's body: the partial file is kept
    // as "b.bin~", shown "Download Incomplete", and the whole download is
    // retried.
    {"BodyCutAt0_Plain",          P,  "fault = close_body file=b.bin after=0",      kRetried, 2},
    {"BodyCutAt1_Plain",          P,  "fault = close_body file=b.bin after=1",      kRetried, 2},
    {"BodyCutAt1023_Plain",       P,  "fault = close_body file=b.bin after=1023",   kRetried, 2},
    {"BodyCutAt1024_Plain",       P,  "fault = close_body file=b.bin after=1024",   kRetried, 2},
    {"BodyCutAt1025_Plain",       P,  "fault = close_body file=b.bin after=1025",   kRetried, 2},
    {"BodyCutAt2047_Plain",       P,  "fault = close_body file=b.bin after=2047",   kRetried, 2},
    {"BodyCutAt2048_Plain",       P,  "fault = close_body file=b.bin after=2048",   kRetried, 2},
    {"BodyCutAt2049_Plain",       P,  "fault = close_body file=b.bin after=2049",   kRetried, 2},
    {"BodyCutAtLast_Plain",       P,  "fault = close_body file=b.bin after={last}", kRetried, 2},
    {"BodyCutAt0_Enciphered",     E,  "fault = close_body file=b.bin after=0",      kRetried, 2},
    {"BodyCutAt1_Enciphered",     E,  "fault = close_body file=b.bin after=1",      kRetried, 2},
    {"BodyCutAt1023_Enciphered",  E,  "fault = close_body file=b.bin after=1023",   kRetried, 2},
    {"BodyCutAt1024_Enciphered",  E,  "fault = close_body file=b.bin after=1024",   kRetried, 2},
    {"BodyCutAt1025_Enciphered",  E,  "fault = close_body file=b.bin after=1025",   kRetried, 2},
    {"BodyCutAt2047_Enciphered",  E,  "fault = close_body file=b.bin after=2047",   kRetried, 2},
    {"BodyCutAt2048_Enciphered",  E,  "fault = close_body file=b.bin after=2048",   kRetried, 2},
    {"BodyCutAt2049_Enciphered",  E,  "fault = close_body file=b.bin after=2049",   kRetried, 2},
    {"BodyCutAtLast_Enciphered",  E,  "fault = close_body file=b.bin after={last}", kRetried, 2},
    {"BodyCutAt0_Zipped",         Z,  "fault = close_body file=b.bin after=0",      kRetried, 2},
    {"BodyCutAt1_Zipped",         Z,  "fault = close_body file=b.bin after=1",      kRetried, 2},
    {"BodyCutAt1023_Zipped",      Z,  "fault = close_body file=b.bin after=1023",   kRetried, 2},
    {"BodyCutAt1024_Zipped",      Z,  "fault = close_body file=b.bin after=1024",   kRetried, 2},
    {"BodyCutAt1025_Zipped",      Z,  "fault = close_body file=b.bin after=1025",   kRetried, 2},
    {"BodyCutAt2047_Zipped",      Z,  "fault = close_body file=b.bin after=2047",   kRetried, 2},
    {"BodyCutAt2048_Zipped",      Z,  "fault = close_body file=b.bin after=2048",   kRetried, 2},
    {"BodyCutAt2049_Zipped",      Z,  "fault = close_body file=b.bin after=2049",   kRetried, 2},
    {"BodyCutAtLast_Zipped",      Z,  "fault = close_body file=b.bin after={last}", kRetried, 2},
    {"BodyCutAt2048_EncZipped",   EZ, "fault = close_body file=b.bin after=2048",   kRetried, 2},
    {"BodyCutAtLast_EncZipped",   EZ, "fault = close_body file=b.bin after={last}", kRetried, 2},
    {"BodyCutAt1024_Update",      U,  "fault = close_body file=b.bin after=1024",   kRetried, 2},
    {"BodyCutAtLast_Update",      U,  "fault = close_body file=b.bin after={last}", kRetried, 2},
    {"BodyCutTwice_Zipped",       Z,  "fault = close_body file=b.bin after=3000 times=2", kRetried, 3},
    {"BodyCutOnFirstFile",        P,  "fault = close_body file=a.txt after=1",      kRetried, 1},
    {"BodyCutOnLastFile",         E,  "fault = close_body file=c.txt after=1024",   kRetried, 1},
    // The whole body goes out, then the connection closes without saying
    // so: the next request meets the closed connection and is tried again.
    {"ClosedAfterBody_Plain",     P,  "fault = close_body file=b.bin after=100000", kClean, 1},
    {"ClosedAfterBody_Enciphered", E, "fault = close_body file=b.bin after=100000", kClean, 1},
    {"ClosedAfterBody_Zipped",    Z,  "fault = close_body file=b.bin after=100000", kClean, 1},

    // The connection closes inside a reply's header: the file is tried
    // once more at once; the key's requests are tried twice.
    {"HeaderCutAt0_Plain",        P,  "fault = close_header file=b.bin after=0",    kClean, 2},
    {"HeaderCutAt1_Plain",        P,  "fault = close_header file=b.bin after=1",    kClean, 2},
    {"HeaderCutAfterStatus_Plain", P, "fault = close_header file=b.bin after=17",   kClean, 2},
    {"HeaderCutAt40_Plain",       P,  "fault = close_header file=b.bin after=40",   kClean, 2},
    {"HeaderCutAt40_Enciphered",  E,  "fault = close_header file=b.bin after=40",   kClean, 2},
    {"HeaderCutAt40_Zipped",      Z,  "fault = close_header file=b.bin after=40",   kClean, 2},
    {"HeaderCutTwice_Plain",      P,  "fault = close_header file=b.bin after=40 times=2", kRetried, 3},
    {"HeaderCutOnList",           P,  "fault = close_header word=DKFL after=30",    kClean, 1},
    {"HeaderCutOnVerify",         P,  "fault = close_header word=VDLK after=30 times=2", kSecondRun, 1},

    // Nothing more comes: the short receive time-out ends the wait.
    {"StallHeader_Plain",         P,  "fault = stall_header file=b.bin after=20",   kClean, 2, kShort},
    {"StallBodyAt1024_Plain",     P,  "fault = stall_body file=b.bin after=1024",   kClean, 2, kShort},
    {"StallBodyAt1024_Enciphered", E, "fault = stall_body file=b.bin after=1024",   kClean, 2, kShort},
    {"StallBodyAt1024_Zipped",    Z,  "fault = stall_body file=b.bin after=1024",   kClean, 2, kShort},
    {"StallListBody",             P,  "fault = stall_body word=DKFL after=10",      kClean, 1, kShort},
    {"StallOnVerify",             P,  "fault = stall_header word=VDLK times=2",     kSecondRun, 1, kShort},

    // Every reply says "Connection: close" and ends its connection.
    {"ConnectionClose_Plain",     P,  "connection_close = yes",                     kClean, 1},
    {"ConnectionClose_Enciphered", E, "connection_close = yes",                     kClean, 1},
    {"ConnectionClose_Zipped",    Z,  "connection_close = yes",                     kClean, 1},
    {"ConnectionCloseAndBodyCut", P,  "connection_close = yes\n"
                                      "fault = close_body file=b.bin after=2048",   kRetried, 2},

    // The first server refuses; then, for a while, both do.
    {"FirstServerRefused_Plain",  P,  "",                                           kClean, 1, kFirstRefused},
    {"FirstServerRefused_Zipped", Z,  "",                                           kClean, 1, kFirstRefused},
    {"BothRefuseDuringDownload",  P,  "fault = refuse file=b.bin for=300",         kRetried, 2, kFirstRefused},
    {"BothRefuseDuringListing",   E,  "fault = refuse word=DKFL for=300",          kRetried, 1, kFirstRefused},
    {"BothRefuseAtVerification",  P,  "fault = refuse word=VDLK for=1000",          kSecondRun, 1, kFirstRefused},

    // "407 Proxy Authentication Required".
    {"ProxyAuthOnDownload_Plain", P,  "fault = proxy_auth file=b.bin",              kRetried, 2},
    {"ProxyAuthOnDownload_Enciphered", E, "fault = proxy_auth file=b.bin",          kRetried, 2},
    {"ProxyAuthOnDownload_Zipped", Z, "fault = proxy_auth file=b.bin",              kRetried, 2},
    {"ProxyAuthOnDownload_Update", U, "fault = proxy_auth file=b.bin",              kRetried, 2},
    {"ProxyAuthOnList",           P,  "fault = proxy_auth word=DKFL times=2",       kRetried, 1},
    {"ProxyAuthOnVerify",         P,  "fault = proxy_auth word=VDLK times=2",       kSecondRun, 1},
    {"ProxyAuthOnCompletion",     P,  "fault = proxy_auth word=DLCK times=2",       kClean, 1},

    // Bytes that are no HTTP at all instead of a header.
    {"GarbageOnDownload_Plain",   P,  "fault = garbage file=b.bin",                 kClean, 2},
    {"GarbageOnDownload_Enciphered", E, "fault = garbage file=b.bin",               kClean, 2},
    {"GarbageOnDownload_Zipped",  Z,  "fault = garbage file=b.bin",                 kClean, 2},
    {"GarbageOnList",             P,  "fault = garbage word=DKFL times=3",          kRetried, 1},
    {"GarbageOnVerify",           P,  "fault = garbage word=VDLK times=2",          kSecondRun, 1},
};
// clang-format on

// Three files; b.bin is the one the faults aim at. Its size is no multiple
// of 1024, 2048 or of the cipher block, and its bytes do not compress, so
// that a zipped reply is as long as the file and every cut point falls
// inside the body.
Tree KeyFiles() {
    return {{"a.txt", {PatternBytes(700, 2)}},
            {"b.bin", {PatternBytes(6003, 3), Shifted(NewYearsEve2006(), 3600)}},
            {"c.txt", {PatternBytes(1500, 4), Shifted(NewYearsEve2006(), -86400)}}};
}

// b.bin's identifier: its place in the key's files in name order.
constexpr std::string_view kFaultedFileId = "2";

// What the destination holds before the first run.
Tree InitialDestination(Kind kind) {
    if (kind != Kind::Update) {
        return {};
    }
    return {{"b.bin", {PatternBytes(4000, 9), Shifted(NewYearsEve2006(), -7 * 86400)}}};
}

std::uint64_t BodyLength(Kind kind, const std::string& bytes) {
    std::uint64_t length = bytes.size();
    if (kind == Kind::Zipped || kind == Kind::EncipheredZipped) {
        const auto archive =
            qvn_service::ZipSingleMember("b.bin", bytes, qvn_service::ZipDamage::None);
        EXPECT_TRUE(archive.has_value());
        length = archive ? archive->size() : 0;
    }
    if (kind == Kind::Enciphered || kind == Kind::EncipheredZipped) {
        length = net::BlowfishCipher::PaddedLength(length);
    }
    return length;
}

std::string SettingsFor(const FaultRow& row, const Tree& source) {
    std::string settings;
    if (row.kind == Kind::Enciphered || row.kind == Kind::EncipheredZipped) {
        settings += "encipher = yes\n";
    }
    if (row.kind == Kind::Zipped || row.kind == Kind::EncipheredZipped) {
        settings += "zip = yes\n";
    }
    std::string lines = row.settings;
    const std::string token = "{last}";
    if (const std::size_t at = lines.find(token); at != std::string::npos) {
        const std::uint64_t last = BodyLength(row.kind, source.at("b.bin").bytes) - 1;
        lines.replace(at, token.size(), std::to_string(last));
    }
    return settings + lines + "\n";
}

const char* OutcomeName(Outcome outcome) {
    switch (outcome) {
        case Outcome::Clean:
            return "clean";
        case Outcome::Retried:
            return "retried";
        case Outcome::SecondRun:
            return "second run";
    }
    return "?";
}

// Failure messages name the case rather than dump its bytes.
void PrintTo(const FaultRow& row, std::ostream* out) {
    *out << row.name;
}

class NetworkFaultsTest : public EndToEndTest, public ::testing::WithParamInterface<FaultRow> {};

TEST_P(NetworkFaultsTest, EveryFileArrivesWholeAndNothingIsShownDoneWrongly) {
    const FaultRow& row = GetParam();
    const auto started = std::chrono::steady_clock::now();
    const Tree source = KeyFiles();
    const Tree before = InitialDestination(row.kind);
    WriteKey("K", source, SettingsFor(row, source));
    WriteDestination(before);
    StartServices();
    if (row.net == Net::ShortTimeouts) {
        timeouts_ = "300ms 300ms 300ms";
    }
    if (row.net == Net::FirstRefused) {
        programServers_ = {RefusedPort(), service_->Ports().front()};
    }

    const int runsNeeded = row.outcome == Outcome::SecondRun ? 2 : 1;
    std::size_t fetches = 0;
    int retries = 0;
    for (int run = 1; run <= runsNeeded; ++run) {
        // A user runs the program again when the service answers again.
        ASSERT_TRUE(service_->WaitUntilListening(service_testing::kPatience));
        const ProgramRun result = Run("K", Answers("yes"));
        const bool last = run == runsNeeded;
        const Tree after = DestinationTree();
        // Only a run that replaces what is there fetches a finished file again.
        const bool replacing =
            result.errorText.find("Replace existing files?") != std::string::npos;
        SCOPED_TRACE(platform::StrPrintf("run %d of %d", run, runsNeeded));
        EXPECT_EQ(result.ExitCode(), last ? 0 : 1) << result.Describe();
        EXPECT_TRUE(ShownDoneIsDone(result.lines, source, after, !replacing)) << result.Describe();
        EXPECT_TRUE(NothingWrongOrLost(source, before, after, !last)) << result.Describe();
        fetches += result.DownloadsOf(kFaultedFileId).size();
        retries += RetryAttempts(result.lines);
    }
    EXPECT_TRUE(SameTree(source, DestinationTree()));
    EXPECT_TRUE(OutsideTree().empty());
    // The fault did strike, as often as intended.
    EXPECT_EQ(fetches, static_cast<std::size_t>(row.fetches));
    if (row.outcome == Outcome::Retried) {
        EXPECT_GT(retries, 0);
    } else {
        EXPECT_EQ(retries, 0);
    }

    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - started);
    std::printf("[ matrix   ] %-32s runs %d  retries %2d  fetches %zu  %-10s %-6s %5lld ms\n",
                row.name, runsNeeded, retries, fetches, OutcomeName(row.outcome),
                HasFailure() ? "FAILED" : "ok", static_cast<long long>(elapsed.count()));
}

INSTANTIATE_TEST_SUITE_P(Matrix, NetworkFaultsTest, ::testing::ValuesIn(kRows),
                         [](const ::testing::TestParamInfo<FaultRow>& info) {
                             return std::string(info.param.name);
                         });

// The checks themselves must see what they are there to see.
TEST(FaultChecksTest, TheDisplayIsReadAsFilesWithTheirFinalLines) {
    const std::vector<std::string> lines{
        "a.txt  1K  (1 of 3)",
        "Complete",
        "b.bin  Compressing Please Wait... (2 of 3)",
        "b.bin  6K Compressed (2 of 3)",
        "Download Incomplete",
        "c.txt  2K  (3 of 3)",
        "Processing Failed Retry Attempt 1",
        "a.txt  1K  (1 of 3)",
        "File Exists. Download Skipped.",
        "Processing Complete",
    };
    const std::vector<ShownFile> files = ShownFiles(lines);
    ASSERT_EQ(files.size(), 4u);
    EXPECT_EQ(files[1].name, "b.bin");
    EXPECT_EQ(files[1].finalLine, "Download Incomplete");
    EXPECT_EQ(files[2].name, "c.txt");
    EXPECT_EQ(files[2].finalLine, "");
    EXPECT_EQ(files[3].finalLine, "File Exists. Download Skipped.");
    EXPECT_EQ(RetryAttempts(lines), 1);
}

TEST(FaultChecksTest, AFileShownDoneMustBeWholeAndShownSoOnce) {
    const Tree source = KeyFiles();
    Tree destination = source;
    const std::vector<std::string> once{"b.bin  6K  (2 of 3)", "Complete"};
    EXPECT_TRUE(ShownDoneIsDone(once, source, destination, true));

    destination["b.bin"].bytes.pop_back();
    EXPECT_FALSE(ShownDoneIsDone(once, source, destination, true));
    destination = source;
    destination["b.bin"].lastWrite = NewYearsEve2006();
    EXPECT_FALSE(ShownDoneIsDone(once, source, destination, true));
    destination.erase("b.bin");
    EXPECT_FALSE(ShownDoneIsDone(once, source, destination, true));

    const std::vector<std::string> twice{"b.bin  6K  (2 of 3)", "Complete",
                                         "Processing Failed Retry Attempt 1", "b.bin  6K  (2 of 3)",
                                         "Complete"};
    EXPECT_FALSE(ShownDoneIsDone(twice, source, source, true));
    EXPECT_TRUE(ShownDoneIsDone(twice, source, source, false));
}

TEST(FaultChecksTest, TheDestinationHoldsOnlySourcesEarlierCopiesAndAllowedTemporaries) {
    const Tree source = KeyFiles();
    const Tree before = InitialDestination(Kind::Update);
    EXPECT_TRUE(NothingWrongOrLost(source, before, before, false));
    EXPECT_TRUE(NothingWrongOrLost(source, before, source, false));

    Tree partial = before;
    partial["b.bin~"] = {"part"};
    EXPECT_TRUE(NothingWrongOrLost(source, before, partial, true));
    EXPECT_FALSE(NothingWrongOrLost(source, before, partial, false));
    partial["b.bin~unzip"] = {"part"};
    EXPECT_FALSE(NothingWrongOrLost(source, before, partial, true));

    Tree wrong = source;
    wrong["c.txt"].bytes = "other";
    EXPECT_FALSE(NothingWrongOrLost(source, before, wrong, true));
    EXPECT_FALSE(NothingWrongOrLost(source, before, Tree{}, true)) << "the earlier b.bin is gone";
    Tree stray = source;
    stray["notes.txt~"] = {"x"};
    EXPECT_FALSE(NothingWrongOrLost(source, before, stray, true));
}

}  // namespace
}  // namespace e2e

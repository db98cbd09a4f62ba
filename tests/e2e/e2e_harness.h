#pragma once
// The end-to-end harness: the built program run as a child process with the
// console front-end, against the in-process service over loopback. A test
// writes a key folder (and perhaps files already in the destination),
// starts the service, runs the program with its answers and then looks at
// the files, their dates, the lines shown, the exit status and the requests
// the service received.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file_time.h"
#include "service_support/service_test_support.h"
#include "support/child_process.h"
#include "support/temp_dir.h"
#include "tools/service/request_log.h"

namespace e2e {

// A file as a test writes it or finds it: bytes and last write time.
struct TreeFile {
    std::string bytes;
    platform::FileTime lastWrite = service_testing::NewYearsEve2006();

    bool operator==(const TreeFile&) const = default;
};

// The files below a folder by relative name, '/' between levels.
using Tree = std::map<std::string, TreeFile>;

// Every regular file below a folder (an empty tree when there is none).
Tree ReadTree(const std::string& folder);

// Text that packs well, as office files do: `lines` lines of it.
std::string LedgerText(std::size_t lines);

// A date `seconds` after (or before) another, for files newer or older
// than the service's.
platform::FileTime Shifted(platform::FileTime time, std::int64_t seconds);

// Equal names, bytes and dates; the failure names each difference.
::testing::AssertionResult SameTree(const Tree& expected, const Tree& actual);

// One run of the program.
struct ProgramRun {
    std::optional<testing_support::ExitStatus> exit;   // nothing: killed at the time limit
    std::vector<std::string> lines;                    // standard output, one entry a line
    std::string errorText;                             // standard error (prompts)
    std::vector<qvn_service::LoggedRequest> requests;  // received during the run
    std::string log;                                   // the activity log

    // The exit code; -1 when the program did not exit by itself.
    int ExitCode() const;
    // The lines as the file list shows them at the end: a file's line that
    // the next line replaced (the same "(i of n)") is left out. When that
    // happens depends on the timer, so tests compare these.
    std::vector<std::string> FinalLines() const;
    // The requests in order as "VDLK", "DKFL", "DownLoad 2" (with the file
    // identifier), "DLCK".
    std::vector<std::string> RequestSummary() const;
    // The header blocks of the DownLoad requests for one file identifier.
    std::vector<std::string> DownloadsOf(std::string_view fileId) const;
    // Everything above, for failure messages.
    std::string Describe() const;
};

// What a run is expected to end with.
struct Outcome {
    int exitCode = 0;
    Tree destination;                   // every file, dated
    std::vector<std::string> requests;  // as ProgramRun::RequestSummary
    std::vector<std::string> lines;     // ProgramRun::FinalLines, as regular expressions
};

// How the program is started; the defaults are the web side's launch.
struct Start {
    // The arguments after the program's name; nothing: the key file's path.
    std::optional<std::vector<std::string>> arguments = std::nullopt;
    std::string workingDirectory = {};  // empty: the test's own
    bool deployment = true;             // false: TREVASTO_DEPLOYMENT names no file
    // The largest file the program may write, as a full disk would stop it.
    std::optional<std::uint64_t> fileSizeLimit = std::nullopt;
    // Standard input from this file (a FIFO the test holds open) instead
    // of the answers.
    std::string inputFile = {};
};

// A header line's value in a request block ("X-QVN-LUPIN: " -> "0,3;").
std::optional<std::string> HeaderValue(std::string_view block, std::string_view name);

class EndToEndTest : public service_testing::ServiceTest {
  protected:
    // Long enough for any healthy run on a loaded machine; only a hanging
    // program makes a test wait this long.
    static constexpr std::chrono::seconds kRunLimit{30};

    EndToEndTest();

    // A key folder with its files and, when not empty, its settings.
    void WriteKey(const std::string& key, const Tree& files, const std::string& settings = "");
    // Files already in the destination before the run.
    void WriteDestination(const Tree& files);
    // Empties the destination, sub-folders and all.
    void ClearDestination();
    // One case of a data-driven test: a key of its own with the files and
    // settings, and an empty destination. Returns the key.
    std::string NextCase(const Tree& files, const std::string& settings);

    // The service on `count` loopback ports chosen by the system.
    void StartServices(std::size_t count = 1);

    // Runs the program on a key file naming `key`, with the lines of
    // `answers` on its standard input; `meanwhile` is called once the
    // program has started.
    ProgramRun Run(const std::string& key, const std::vector<std::string>& answers,
                   const std::function<void()>& meanwhile = {});
    // The same, started as `start` says.
    ProgramRun RunAs(const Start& start, const std::string& key,
                     const std::vector<std::string>& answers,
                     const std::function<void()>& meanwhile = {});
    // Waits (up to the run limit) until the service has received the
    // `count`th DownLoad request for a file identifier.
    bool WaitForDownload(std::string_view fileId, int count = 1);
    // From a run's `meanwhile`: sends the program a signal; waits (up to
    // the run limit) for a line of its standard error that begins with
    // `prefix`.
    void SignalProgram(int signal);
    bool WaitForErrorLine(std::string_view prefix);
    // The answers of a run into the destination: the folder, then the
    // answer to the replace question (when it is asked).
    std::vector<std::string> Answers(const std::string& replace = "yes") const;

    std::string Destination() const { return outside_.Sub("destination"); }
    // The key file a run writes (and the program should delete).
    std::string KeyFile() const { return work_.Sub("key.txt"); }
    // The program's work folder: runs get XDG_CACHE_HOME in a temporary
    // folder, so that none touches the user's own cache.
    std::string WorkFolder() const { return cache_.Sub("trevasto"); }
    // The destination as the console shows it (a backslash doubled).
    std::string ShownDestination() const;
    Tree DestinationTree() const { return ReadTree(Destination()); }
    // Everything beside the destination's folder (which is left out).
    Tree OutsideTree() const;

    // Checks a run's exit code, the destination, the requests and the
    // lines; a failure shows the whole run.
    void ExpectOutcome(const ProgramRun& run, const Outcome& expected) const;

    // Whether the program under test is the Windows build's, run under
    // Wine (TREVASTO_E2E_PROGRAM names it); it has no signals, FIFOs or
    // file size limit, and keeps its work folder under the Wine prefix.
    static bool WindowsProgram();
    // A path of this system as the program under test names it (for the
    // Windows program: drive Z: and backslashes).
    static std::string ProgramPath(const std::string& path);

    // A port that refuses connections.
    static std::uint16_t RefusedPort();

    // The servers the program is given, first tried first; empty: the
    // service's ports in their order.
    std::vector<std::uint16_t> programServers_;
    // The deployment's receive time-outs: short, normal, long. (There is
    // no pause between connection attempts.)
    std::string timeouts_ = "10s 10s 10s";
    // The pauses before a failed run is tried again: first and longest.
    std::string retryPauses_ = "20ms 160ms";
    // The code page of the service's names; empty: the deployment gives
    // none (the program's default).
    std::string codePage_;

    testing_support::TempDir work_;     // key table, deployment, key file, log
    testing_support::TempDir outside_;  // holds the destination folder
    testing_support::TempDir cache_;    // the runs' XDG_CACHE_HOME

  private:
    // The service's request count when the current run started.
    std::size_t requestsBeforeRun_ = 0;
    // The program while its run's `meanwhile` is called.
    testing_support::ChildProcess* running_ = nullptr;
    int cases_ = 0;
};

}  // namespace e2e

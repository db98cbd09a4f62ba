#include "e2e/e2e_harness.h"

#include <gmock/gmock.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <utility>

#include "platform/file.h"
#include "platform/socket.h"
#include "platform/strings.h"

namespace e2e {
namespace {

constexpr std::int64_t kTicksPerSecond = 10'000'000;

std::string DateText(platform::FileTime time) {
    const auto fields = platform::FileTimeToSystemTime(time);
    if (!fields) {
        return "(no date)";
    }
    return platform::StrPrintf("%04d-%02d-%02d %02d:%02d:%02d.%03d", fields->year, fields->month,
                               fields->day, fields->hour, fields->minute, fields->second,
                               fields->milliseconds);
}

// Where two byte strings first differ (their common length when one is
// the start of the other).
std::size_t FirstDifference(const std::string& a, const std::string& b) {
    std::size_t at = 0;
    while (at < a.size() && at < b.size() && a[at] == b[at]) {
        ++at;
    }
    return at;
}

// The program under test: the one this build made, or another build's
// (the Windows trevasto.exe) named by TREVASTO_E2E_PROGRAM and started
// through TREVASTO_E2E_LAUNCHER (wine), against this build's service.
std::optional<std::string> Setting(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0' ? std::optional<std::string>(value) : std::nullopt;
}

// The program's output with its line ends as this system's: a Windows
// console program writes CR LF.
std::string ProgramText(std::string text) {
    if (Setting("TREVASTO_E2E_PROGRAM")) {
        for (std::size_t at = text.find("\r\n"); at != std::string::npos;
             at = text.find("\r\n", at)) {
            text.erase(at, 1);
        }
    }
    return text;
}

std::vector<std::string> ProgramCommand() {
    const std::optional<std::string> other = Setting("TREVASTO_E2E_PROGRAM");
    if (!other) {
        return {TREVASTO_PROGRAM};
    }
    std::vector<std::string> command;
    if (const std::optional<std::string> launcher = Setting("TREVASTO_E2E_LAUNCHER")) {
        command.push_back(*launcher);
    }
    command.push_back(*other);
    return command;
}

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            lines.push_back(text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

// "GET /scripts/qzupld9.dll?VDLK HTTP/1.1" -> "VDLK".
std::string RequestWord(std::string_view block) {
    const std::size_t query = block.find('?');
    const std::size_t blank = block.find(' ', query);
    if (query == std::string_view::npos || blank == std::string_view::npos) {
        return std::string(block.substr(0, block.find('\r')));
    }
    return std::string(block.substr(query + 1, blank - query - 1));
}

// "0,3;" -> "3".
std::string FileIdOf(std::string_view block) {
    const std::optional<std::string> lupin = HeaderValue(block, "X-QVN-LUPIN: ");
    if (!lupin) {
        return "";
    }
    const std::size_t comma = lupin->find(',');
    const std::size_t end = lupin->find(';');
    return comma == std::string::npos ? "" : lupin->substr(comma + 1, end - comma - 1);
}

std::string JoinPorts(const std::vector<std::uint16_t>& ports) {
    std::string text;
    for (const std::uint16_t port : ports) {
        text += (text.empty() ? "" : " ") + platform::StrPrintf("127.0.0.1:%u", port);
    }
    return text;
}

}  // namespace

Tree ReadTree(const std::string& folder) {
    namespace fs = std::filesystem;
    Tree tree;
    std::error_code error;
    for (fs::recursive_directory_iterator walk(folder, error), end; !error && walk != end;
         walk.increment(error)) {
        if (!walk->is_regular_file()) {
            continue;
        }
        const std::string path = walk->path().string();
        auto info = platform::GetFileInfo(path);
        auto bytes = platform::ReadFileStart(path, info ? info->size + 1 : 0);
        TreeFile file;
        file.bytes = bytes ? *bytes : std::string("(unreadable)");
        file.lastWrite = info ? info->lastWrite : platform::FileTime{};
        tree[walk->path().lexically_relative(folder).generic_string()] = std::move(file);
    }
    return tree;
}

std::string LedgerText(std::size_t lines) {
    std::string text;
    for (std::size_t i = 0; i < lines; ++i) {
        text += "ledger " + std::to_string(i % 97) + " harbour parcel minutes archive ferry\n";
    }
    return text;
}

platform::FileTime Shifted(platform::FileTime time, std::int64_t seconds) {
    return platform::FileTime{static_cast<std::uint64_t>(static_cast<std::int64_t>(time.ticks) +
                                                         seconds * kTicksPerSecond)};
}

::testing::AssertionResult SameTree(const Tree& expected, const Tree& actual) {
    std::string differences;
    for (const auto& [name, file] : expected) {
        const auto found = actual.find(name);
        if (found == actual.end()) {
            differences += "\n  missing: " + name;
            continue;
        }
        if (found->second.bytes != file.bytes) {
            differences +=
                platform::StrPrintf("\n  %s: %zu bytes instead of %zu, first difference at %zu",
                                    name.c_str(), found->second.bytes.size(), file.bytes.size(),
                                    FirstDifference(found->second.bytes, file.bytes));
        }
        if (found->second.lastWrite != file.lastWrite) {
            differences += "\n  " + name + ": dated " + DateText(found->second.lastWrite) +
                           " instead of " + DateText(file.lastWrite);
        }
    }
    for (const auto& [name, file] : actual) {
        if (expected.count(name) == 0) {
            differences += platform::StrPrintf("\n  unexpected: %s (%zu bytes)", name.c_str(),
                                               file.bytes.size());
        }
    }
    if (differences.empty()) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << "the trees differ:" << differences;
}

std::optional<std::string> HeaderValue(std::string_view block, std::string_view name) {
    const std::string start = "\r\n" + std::string(name);
    const std::size_t at = block.find(start);
    if (at == std::string_view::npos) {
        return std::nullopt;
    }
    const std::size_t from = at + start.size();
    return std::string(block.substr(from, block.find("\r\n", from) - from));
}

int ProgramRun::ExitCode() const {
    return exit && exit->exited ? exit->code : -1;
}

std::vector<std::string> ProgramRun::FinalLines() const {
    const auto counter = [](const std::string& line) -> std::string {
        const std::size_t open = line.rfind(" (");
        const bool isFileLine = open != std::string::npos && line.ends_with(")") &&
                                line.find(" of ", open) != std::string::npos;
        return isFileLine ? line.substr(open) : "";
    };
    std::vector<std::string> shown;
    for (const std::string& line : lines) {
        if (!shown.empty() && !counter(line).empty() && counter(line) == counter(shown.back())) {
            shown.back() = line;
        } else {
            shown.push_back(line);
        }
    }
    return shown;
}

std::vector<std::string> ProgramRun::RequestSummary() const {
    std::vector<std::string> summary;
    for (const qvn_service::LoggedRequest& request : requests) {
        std::string word = RequestWord(request.block);
        if (word == "DownLoad") {
            word += " " + FileIdOf(request.block);
        }
        summary.push_back(std::move(word));
    }
    return summary;
}

std::vector<std::string> ProgramRun::DownloadsOf(std::string_view fileId) const {
    std::vector<std::string> blocks;
    for (const qvn_service::LoggedRequest& request : requests) {
        if (RequestWord(request.block) == "DownLoad" && FileIdOf(request.block) == fileId) {
            blocks.push_back(request.block);
        }
    }
    return blocks;
}

std::string ProgramRun::Describe() const {
    std::string text = exit ? platform::StrPrintf("exit %d (signal %d)", exit->code, exit->signal)
                            : std::string("killed at the time limit");
    text += "\n-- standard output:\n";
    for (const std::string& line : lines) {
        text += line + "\n";
    }
    text += "-- standard error:\n" + errorText + "\n-- requests:";
    for (const std::string& word : RequestSummary()) {
        text += " " + word;
    }
    return text + "\n-- activity log:\n" + log;
}

EndToEndTest::EndToEndTest() {
    const auto table = service_testing::TableBytes();
    work_.Write("keytable.bin", std::string(table.begin(), table.end()));
    EXPECT_TRUE(platform::CreateFolder(Destination()).ok());
}

void EndToEndTest::WriteKey(const std::string& key, const Tree& files,
                            const std::string& settings) {
    (void)platform::CreateFolder(root_.Sub(key));
    for (const auto& [name, file] : files) {
        WriteFile(key, name, file.bytes, file.lastWrite);
    }
    if (!settings.empty()) {
        WriteSettings(key, settings);
    }
}

void EndToEndTest::WriteDestination(const Tree& files) {
    for (const auto& [name, file] : files) {
        service_testing::WriteDatedFile(outside_, "destination/" + name, file.bytes,
                                        file.lastWrite);
    }
}

void EndToEndTest::ClearDestination() {
    std::error_code error;
    std::filesystem::remove_all(Destination(), error);
    EXPECT_FALSE(error) << error.message();
    EXPECT_TRUE(platform::CreateFolder(Destination()).ok());
}

std::string EndToEndTest::NextCase(const Tree& files, const std::string& settings) {
    const std::string key = "CASE" + std::to_string(++cases_);
    WriteKey(key, files, settings);
    ClearDestination();
    return key;
}

void EndToEndTest::StartServices(std::size_t count) {
    StartService([count](qvn_service::ServiceOptions& options) { options.ports.assign(count, 0); });
}

Tree EndToEndTest::OutsideTree() const {
    Tree tree = ReadTree(outside_.path());
    std::erase_if(tree, [](const auto& entry) { return entry.first.starts_with("destination/"); });
    return tree;
}

void EndToEndTest::ExpectOutcome(const ProgramRun& run, const Outcome& expected) const {
    EXPECT_EQ(run.ExitCode(), expected.exitCode) << run.Describe();
    EXPECT_TRUE(SameTree(expected.destination, DestinationTree())) << run.Describe();
    EXPECT_EQ(run.RequestSummary(), expected.requests) << run.Describe();
    std::vector<::testing::Matcher<const std::string&>> lines;
    for (const std::string& pattern : expected.lines) {
        lines.push_back(::testing::MatchesRegex(pattern));
    }
    EXPECT_THAT(run.FinalLines(), ::testing::ElementsAreArray(lines)) << run.Describe();
}

std::uint16_t EndToEndTest::RefusedPort() {
    auto listener = platform::TcpListener::ListenLoopback(0);
    EXPECT_TRUE(listener.ok());
    return listener.ok() ? listener->Port() : 1;  // closed again on return
}

std::vector<std::string> EndToEndTest::Answers(const std::string& replace) const {
    return {ProgramPath(Destination()), replace};
}

std::string EndToEndTest::ShownDestination() const {
    std::string shown;
    for (const char c : ProgramPath(Destination())) {
        shown += c == '\\' ? std::string("\\\\") : std::string(1, c);
    }
    return shown;
}

bool EndToEndTest::WindowsProgram() {
    return Setting("TREVASTO_E2E_PROGRAM").has_value();
}

std::string EndToEndTest::ProgramPath(const std::string& path) {
    if (!WindowsProgram() || !path.starts_with('/')) {
        return path;
    }
    // Wine shows the root of this file system as drive Z:.
    std::string windows = "Z:" + path;
    std::replace(windows.begin(), windows.end(), '/', '\\');
    return windows;
}

bool EndToEndTest::WaitForDownload(std::string_view fileId, int count) {
    int seen = 0;
    return service_->WaitForRequest(
        [&](const qvn_service::LoggedRequest& request) {
            return request.sequence > requestsBeforeRun_ &&
                   RequestWord(request.block) == "DownLoad" && FileIdOf(request.block) == fileId &&
                   ++seen == count;
        },
        kRunLimit);
}

void EndToEndTest::SignalProgram(int signal) {
    ASSERT_NE(running_, nullptr) << "only while a run is under way";
    EXPECT_TRUE(running_->Kill(signal).ok());
}

bool EndToEndTest::WaitForErrorLine(std::string_view prefix) {
    return running_ != nullptr &&
           running_->WaitForLine(testing_support::ChildProcess::Stream::Error, prefix, kRunLimit);
}

ProgramRun EndToEndTest::Run(const std::string& key, const std::vector<std::string>& answers,
                             const std::function<void()>& meanwhile) {
    return RunAs(Start{}, key, answers, meanwhile);
}

ProgramRun EndToEndTest::RunAs(const Start& start, const std::string& key,
                               const std::vector<std::string>& answers,
                               const std::function<void()>& meanwhile) {
    ProgramRun run;
    const std::vector<std::uint16_t> servers =
        programServers_.empty() ? service_->Ports() : programServers_;
    work_.Write("deployment.conf",
                "servers = " + JoinPorts(servers) + "\nkey_table = keytable.bin\ntimeouts = " +
                    timeouts_ + "\nconnect_pause = 0ms\nretry_pauses = " + retryPauses_ + "\n" +
                    (codePage_.empty() ? "" : "code_page = " + codePage_ + "\n"));
    work_.Write("key.txt", "download=" + key);
    const std::string deployment =
        ProgramPath(work_.Sub(start.deployment ? "deployment.conf" : "missing.conf"));
    const testing_support::TempDir logFolder;

    std::string input;
    for (const std::string& answer : answers) {
        input += answer + "\n";
    }
    testing_support::ChildOptions options;
    const std::vector<std::string> command = ProgramCommand();
    options.argv = command;
    if (start.fileSizeLimit) {
        // The shell's limit is in 512-byte blocks and passes to the program.
        options.argv = {"/bin/sh", "-c", "ulimit -f \"$1\" && shift && exec \"$@\"", "sh",
                        std::to_string(*start.fileSizeLimit / 512)};
        options.argv.insert(options.argv.end(), command.begin(), command.end());
    }
    const std::vector<std::string> arguments =
        start.arguments.value_or(std::vector<std::string>{ProgramPath(KeyFile())});
    options.argv.insert(options.argv.end(), arguments.begin(), arguments.end());
    options.workingDirectory = start.workingDirectory;
    options.environment = {{"TREVASTO_UI", "console"},
                           {"TREVASTO_DEPLOYMENT", deployment},
                           {"TREVASTO_LOG_DIR", ProgramPath(logFolder.path())},
                           {"TREVASTO_LOG_FLAGS", "8"},
                           {"XDG_CACHE_HOME", cache_.path()}};
    options.input = start.inputFile.empty()
                        ? testing_support::ChildInput::FromText(input)
                        : testing_support::ChildInput::FromFile(start.inputFile);
    requestsBeforeRun_ = service_->RequestRecords().size();

    auto child = testing_support::ChildProcess::Start(options);
    if (!child.ok()) {
        ADD_FAILURE() << "the program did not start: " << child.error().Message();
        return run;
    }
    if (meanwhile) {
        testing_support::ChildProcess* const outer = std::exchange(running_, &*child);
        meanwhile();
        running_ = outer;
    }
    run.exit = child->WaitFor(kRunLimit);
    if (!run.exit) {
        (void)child->Kill(SIGKILL);
        (void)child->Wait();
    }
    run.lines =
        SplitLines(ProgramText(child->Captured(testing_support::ChildProcess::Stream::Output)));
    run.errorText = ProgramText(child->Captured(testing_support::ChildProcess::Stream::Error));
    std::vector<qvn_service::LoggedRequest> records = service_->RequestRecords();
    run.requests.assign(records.begin() + static_cast<std::ptrdiff_t>(requestsBeforeRun_),
                        records.end());
    for (const auto& [name, file] : ReadTree(logFolder.path())) {
        run.log += "[" + name + "]\n" + file.bytes;
    }
    return run;
}

}  // namespace e2e

#include "control/activity_log.h"

#include "platform/path.h"
#include "platform/strings.h"

namespace control {

std::string LogStamp(const platform::SystemTime& t) {
    return platform::StrPrintf("%4.4d%2.2d%2.2d%2.2d%2.2d%2.2d", t.year, t.month, t.day, t.hour,
                               t.minute, t.second);
}

std::string LogOpenLine(const platform::SystemTime& t) {
    return platform::StrPrintf("Log File Open %d/%d/%d %d:%d:%d\n", t.month, t.day, t.year, t.hour,
                               t.minute, t.second);
}

std::string LogCloseLine(const platform::SystemTime& t) {
    return platform::StrPrintf("Log File Close %d/%d/%d %d:%d:%d\n", t.month, t.day, t.year, t.hour,
                               t.minute, t.second);
}

void ActivityLog::SetDirectory(std::string directory) {
    std::lock_guard<std::mutex> lock(logLock_);
    directory_ = std::move(directory);
}

void ActivityLog::Open(std::uint32_t flags) {
    if (flags & kLogOperationTrace) {
        flags |= kLogProgress | kLogErrors | kLogControllerTrace;
    }
    flags_.store(flags);

    std::lock_guard<std::mutex> lock(logLock_);
    CloseLocked();
    // One reading of the clock names the file and dates its first line.
    const platform::SystemTime now = clock_.LocalNow();
    logPath_ = platform::JoinName(directory_, LogStamp(now) + ".log");
    auto file = platform::File::Open(logPath_, platform::FileAccess::CreateAlways);
    if (file) {
        logFile_ = std::move(*file);
        const std::string line = LogOpenLine(now);
        (void)logFile_.WriteAll(line.data(), line.size());
        open_.store(true);
    }
    if (!resultsFile_.IsOpen()) {
        auto results =
            platform::File::Open(platform::JoinName(directory_, resultsName_ + " Results.tmp"),
                                 platform::FileAccess::CreateAlways);
        if (results) {
            resultsFile_ = std::move(*results);
        }
    }
}

void ActivityLog::Close() {
    std::lock_guard<std::mutex> lock(logLock_);
    CloseLocked();
}

void ActivityLog::CloseLocked() {
    if (!logFile_.IsOpen()) {
        return;
    }
    const std::string line = LogCloseLine(clock_.LocalNow());
    (void)logFile_.WriteAll(line.data(), line.size());
    open_.store(false);
    logFile_.Close();
}

bool ActivityLog::Wants(net::LineKind kind) const {
    if (!open_.load()) {
        return false;
    }
    const std::uint32_t flags = flags_.load();
    switch (kind) {
        case net::LineKind::Progress:
            return (flags & kLogProgress) != 0;
        case net::LineKind::Error:
            return (flags & (kLogProgress | kLogErrors)) != 0;
        case net::LineKind::ErrorLine:
            return flags != 0;
        case net::LineKind::ControllerTrace:
            return (flags & kLogControllerTrace) != 0;
        case net::LineKind::OperationTrace:
            return (flags & kLogOperationTrace) != 0;
    }
    return false;
}

void ActivityLog::Write(net::LineKind kind, std::string_view line) {
    if (!Wants(kind)) {
        return;
    }
    std::lock_guard<std::mutex> lock(logLock_);
    if (logFile_.IsOpen()) {
        // One write per line: a line is never split between writers.
        (void)logFile_.WriteAll(line.data(), line.size());
    }
}

bool ActivityLog::ResultsOpen() const {
    std::lock_guard<std::mutex> lock(logLock_);
    return resultsFile_.IsOpen();
}

void ActivityLog::WriteResults(std::string_view text) {
    std::lock_guard<std::mutex> lock(logLock_);
    if (resultsFile_.IsOpen()) {
        (void)resultsFile_.WriteAll(text.data(), text.size());
    }
}

std::string ActivityLog::LogPath() const {
    std::lock_guard<std::mutex> lock(logLock_);
    return logPath_;
}

}  // namespace control

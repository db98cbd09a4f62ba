#pragma once
// The optional activity log shared by the dialog thread and the worker, and
// the results work file beside it. Every line is written and flushed under
// one lock, so lines of the two threads never interleave.

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

#include "net/log_sink.h"
#include "platform/clock.h"
#include "platform/file.h"

namespace control {

// Bits of the log flags.
inline constexpr std::uint32_t kLogProgress = 1;
inline constexpr std::uint32_t kLogErrors = 2;
inline constexpr std::uint32_t kLogControllerTrace = 4;
inline constexpr std::uint32_t kLogOperationTrace = 8;

class ActivityLog final : public net::LogSink {
  public:
    explicit ActivityLog(platform::Clock& clock) : clock_(clock) {}
    ActivityLog(const ActivityLog&) = delete;
    ActivityLog& operator=(const ActivityLog&) = delete;

    void SetDirectory(std::string directory);
    // Stores the flags (bit value 8 switches on 1, 2 and 4 too), closes an
    // open log with its closing line, opens a new time-stamped log, and opens
    // the results work file unless it is already open.
    void Open(std::uint32_t flags);
    // Writes the closing line and closes the log; nothing without a log.
    void Close();

    bool Wants(net::LineKind kind) const override;
    void Write(net::LineKind kind, std::string_view line) override;

    bool ResultsOpen() const;
    // Appends text to the results work file, when it is open.
    void WriteResults(std::string_view text);

    std::uint32_t Flags() const { return flags_.load(); }
    bool IsOpen() const { return open_.load(); }
    std::string LogPath() const;
    const std::string& ResultsName() const { return resultsName_; }

  private:
    void CloseLocked();

    platform::Clock& clock_;
    mutable std::mutex logLock_;
    std::atomic<std::uint32_t> flags_{0};
    std::atomic<bool> open_{false};
    std::string directory_;
    std::string logPath_;
    std::string resultsName_;  // the stem of the results file; this program leaves it empty
    platform::File logFile_;
    platform::File resultsFile_;
};

// The 14-digit time stamp of a log name, and the log's opening and closing
// lines, for the given local time.
std::string LogStamp(const platform::SystemTime& time);
std::string LogOpenLine(const platform::SystemTime& time);
std::string LogCloseLine(const platform::SystemTime& time);

}  // namespace control

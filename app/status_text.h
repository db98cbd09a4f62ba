#pragma once
// The words and figures of the dialog's status line: sizes, rates and
// times as people read them, and the rate of a transfer measured over the
// last few seconds.

#include <chrono>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>

#include "app/dialog_view.h"
#include "control/control_block.h"

namespace app {

// 999 -> "999 bytes", 1536 -> "1.5 KB", 312 * 2^20 -> "312 MB" (one decimal
// below ten).
std::string FormatBytes(std::int64_t bytes);
// 1.2 MB of 3.4 MB -> "1.2 of 3.4 MB"; the unit stays where they differ.
std::string FormatBytesOf(std::int64_t part, std::int64_t whole);
// 42 s -> "42 s", 150 s -> "2 min 30 s", 7500 s -> "2 h 5 min".
std::string FormatDuration(std::chrono::seconds duration);

// Bytes per second over the last few seconds of samples.
class RateMeter {
  public:
    static constexpr std::chrono::milliseconds kWindow{4000};

    // The total bytes received so far, at a time of a steady clock.
    void Sample(std::chrono::milliseconds at, std::int64_t totalBytes);
    void Clear() { samples_.clear(); }
    // Nothing until the samples span a quarter of a second.
    std::optional<double> BytesPerSecond() const;

  private:
    std::deque<std::pair<std::chrono::milliseconds, std::int64_t>> samples_;
};

// "1.2 of 3.4 MB, 2.1 MB/s, 1 s left; file 3 of 25, 312 of 840 MB", from
// the progress record and the rate; parts that are not known are left out.
std::string TransferStatus(const control::ProgressSnapshot& progress,
                           std::optional<double> bytesPerSecond);

// "Attempt 2 failed: no answer from b2.example.com:80 for 180 s. Trying
// again in 4 s."
std::string RetryStatus(int attempt, const control::FailureCause& cause,
                        std::chrono::milliseconds untilNext);

// How a run ended, for the dialogs' title: "Download Complete", "Download
// Stopped" or "Download Finished With Errors".
std::string EndTitleText(const RunSummary& summary);
// "3 files arrived" (one: "1 file arrived").
std::string FilesArrived(int count);
// " 1 skipped, 2 failed." (nothing when none were).
std::string OthersText(const RunSummary& summary);
// The status line at the end: "3 files arrived, 8.2 MB in 14 s. 1 skipped."
std::string EndStatusText(const RunSummary& summary);

}  // namespace app

#pragma once
// The one block of state that the dialog thread and the worker share:
// command hand-over, run parameters, the live progress record and the log.
//
// Hand-over rule: the dialog writes parameters and `command` first and
// signals `commandEvent` last; the worker reads them only after the event.
// `result` is read and written whole. `progress`, `currentPath` and
// `conclusionText` are guarded by `progressLock`.

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "control/activity_log.h"
#include "platform/clock.h"
#include "platform/sync.h"

namespace control {

// Command codes that this program posts.
namespace command {
inline constexpr std::int32_t kExit = 9;
inline constexpr std::int32_t kReset = 11;
inline constexpr std::int32_t kVerifyDownloadKey = 25;
inline constexpr std::int32_t kDownloadUsingKey = 26;
inline constexpr std::int32_t kDownloadCompleteWithKey = 27;
inline constexpr std::int32_t kTestDestUsingKey = 33;
inline constexpr std::int32_t kFirst = 1;
inline constexpr std::int32_t kLast = 33;
}  // namespace command

// Values of `result`.
inline constexpr std::int32_t kResultNone = 0;
inline constexpr std::int32_t kResultRunning = 1;
inline constexpr std::int32_t kResultSucceeded = 2;
inline constexpr std::int32_t kResultFailed = 3;

// Per-file status codes published by the engine.
namespace status {
inline constexpr std::int32_t kNoneExist = 0;
inline constexpr std::int32_t kDownloading = 2;
inline constexpr std::int32_t kContinued = 3;
inline constexpr std::int32_t kKept = 4;
inline constexpr std::int32_t kUnpacking = 8;
inline constexpr std::int32_t kMaximumDownloads = 12;
inline constexpr std::int32_t kSomeExist = 13;
// Final states that keep a file from being shown as complete.
inline constexpr std::int32_t kIncomplete = 14;   // the body was cut short
inline constexpr std::int32_t kRefusedName = 15;  // the listed name is not allowed here
inline constexpr std::int32_t kFailed = 16;       // the file could not be fetched
// Final states of a file that was not fetched for a reason found here.
inline constexpr std::int32_t kInUse = 17;         // another run is writing its work file
inline constexpr std::int32_t kNoSpace = 18;       // the disk is full, or would be
inline constexpr std::int32_t kTooLarge = 19;      // larger than the disk takes in one file
inline constexpr std::int32_t kAccessDenied = 20;  // the system does not let us write there
}  // namespace status

// Widths of the block's fixed texts (characters, without the terminator).
inline constexpr std::size_t kClientIdLimit = 6;
inline constexpr std::size_t kLoginIdLimit = 47;
inline constexpr std::size_t kPasswordLimit = 38;
inline constexpr std::size_t kConclusionLimit = 63;
inline constexpr std::size_t kProgressPathLimit = 511;

// Why an operation failed, in words a person reads: a kind, and the
// details ("b2.example.com:80, b1.example.com:80: connection refused").
struct FailureCause {
    enum class Kind {
        None,
        Unreachable,     // no connection to any server
        NoAnswer,        // a server kept silent for the whole receive time-out
        ConnectionLost,  // the connection broke or was closed mid-reply
        BrokenReply,     // a reply that cannot be used
        Local,           // a cause found here (the disk, the folder)
        Stopped,         // the user stopped the download
    };
    Kind kind = Kind::None;
    std::string text;

    bool operator==(const FailureCause&) const = default;
};

// The live per-file progress record, written only by the engine.
struct LiveProgress {
    std::int32_t fileIndex = 0;
    std::int32_t fileSizeK = 0;
    std::int32_t doneK = 0;
    bool hasFilePath = false;  // the file path is `currentPath` (else none)
    bool fileFinished = false;
    bool compressed = false;
    std::int32_t status = 0;
    std::int32_t fileCount = 0;
    // Files of this run that ended without arriving for a reason found
    // here (no space, no access, a broken archive): retrying the run would
    // not bring them.
    std::int32_t failedFiles = 0;
    // Bytes, for the status line: the body of the file in progress (0
    // while not known) and what of it arrived; the sizes the list gives for
    // the run's files (0 when it gives none) and those of the files over.
    std::int64_t fileBytes = 0;
    std::int64_t receivedBytes = 0;
    std::int64_t runBytes = 0;
    std::int64_t runBytesDone = 0;
};

// The dialog's copy of the progress record.
struct ProgressSnapshot {
    std::int32_t fileIndex = 0;
    std::int32_t fileSizeK = 0;
    std::int32_t doneK = 0;
    std::string filePath;  // empty when the engine names no file
    bool fileFinished = false;
    bool compressed = false;
    std::int32_t status = 0;
    std::int32_t fileCount = 0;
    std::int32_t failedFiles = 0;
    std::int64_t fileBytes = 0;
    std::int64_t receivedBytes = 0;
    std::int64_t runBytes = 0;
    std::int64_t runBytesDone = 0;
};

struct ControlBlock {
    explicit ControlBlock(platform::Clock& clockIn) : clock(clockIn), log(clockIn) {}
    ControlBlock(const ControlBlock&) = delete;
    ControlBlock& operator=(const ControlBlock&) = delete;

    platform::Clock& clock;
    ActivityLog log;

    platform::AutoResetEvent commandEvent;
    platform::AutoResetEvent doneEvent;
    platform::AutoResetEvent ackEvent;
    // Signalled whenever the worker has something for the dialog to show:
    // a stored result, or a file's final state. The dialog may tick on it
    // as well as on its timer.
    platform::AutoResetEvent newsEvent;
    // Called on the worker thread with every news; set before the worker
    // starts and never changed afterwards.
    std::function<void()> onNews;

    void Notify() {
        newsEvent.Signal();
        if (onNews) {
            onNews();
        }
    }

    std::atomic<std::int32_t> command{0};
    std::atomic<std::int32_t> result{kResultNone};

    // Run switches, set by the dialog before each operation.
    std::atomic<bool> verification{false};
    std::atomic<bool> useQvnDate{false};
    std::atomic<bool> transferCompress{false};
    std::atomic<bool> syncFileAccess{false};

    // Run parameters: written by the dialog before it posts, read by the
    // worker after the command event; Reset (on the worker) frees the two
    // optional ones.
    std::string loginId;
    std::string password;
    std::string clientId;
    std::optional<std::string> localDirectory;
    std::optional<std::string> downloadKey;

    std::mutex progressLock;
    LiveProgress progress;       // guarded by progressLock
    std::string currentPath;     // guarded by progressLock
    std::string conclusionText;  // guarded by progressLock
    // Why the last operation failed (guarded by progressLock).
    FailureCause failureCause;
    // The listed files the destination test found there already (guarded
    // by progressLock).
    std::vector<std::string> existingFiles;

    // Stop: set by the dialog; the engine ends the operation in progress
    // as soon as it can, keeping what it has, and starts no other.
    std::atomic<bool> stopRequested{false};
    // Ends a network wait under way at once; set by the engine when it is
    // made, called by the dialog's Stop (both under interruptLock).
    std::mutex interruptLock;
    std::function<void()> interrupt;
};

}  // namespace control

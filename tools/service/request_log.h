#pragma once
// Every request header block the service received, in order, kept in
// memory and, when a path is given, written to a file as it arrives:
//
//   === <port> <sequence>\n
//   key <KEY>\n                 (only when the request carried a readable key)
//   <the header block exactly as received, up to and including its empty line>
//
// Sequence numbers start at 1 for each service run and count across all
// ports. Each entry is written and flushed under a lock, so a reader sees
// whole entries.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/error.h"

namespace qvn_service {

struct LoggedRequest {
    std::uint16_t port = 0;
    std::uint64_t sequence = 0;
    std::optional<std::string> key;
    std::string block;
};

class RequestLog {
  public:
    RequestLog() = default;
    RequestLog(const RequestLog&) = delete;
    RequestLog& operator=(const RequestLog&) = delete;
    ~RequestLog();

    // Creates (or truncates) the log file; without a call the log is kept
    // in memory only.
    platform::Status OpenFile(const std::string& path);

    // Adds one entry and returns its sequence number.
    std::uint64_t Add(std::uint16_t port, const std::optional<std::string>& key,
                      const std::string& block);

    std::vector<LoggedRequest> Entries() const;

    // Waits up to `timeout` for an entry that `match` accepts, one logged
    // earlier included; false when none came.
    bool WaitFor(const std::function<bool(const LoggedRequest&)>& match,
                 std::chrono::milliseconds timeout) const;

  private:
    struct FileCloser {
        void operator()(std::FILE* file) const { std::fclose(file); }
    };

    mutable std::mutex mutex_;
    mutable std::condition_variable added_;
    std::vector<LoggedRequest> entries_;
    std::unique_ptr<std::FILE, FileCloser> file_;
};

}  // namespace qvn_service

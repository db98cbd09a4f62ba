#pragma once
// What the service answers to one request, and how it sends it when a
// scripted fault applies. This is the service without sockets: it reads the
// key folders and settings, keeps the per-run counts, and hands the
// connection code a finished plan.

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "net/key_table.h"
#include "platform/clock.h"
#include "tools/service/key_settings.h"
#include "tools/service/reply.h"
#include "tools/service/request.h"
#include "tools/service/service_cache.h"

namespace qvn_service {

// Counts that last for one service run: uses of each fault rule and file
// replies of each key. Safe to use from every connection thread.
class RunCounters {
  public:
    // Takes one use of a rule; false once `times` uses are taken.
    bool TryUseFault(const std::string& key, const std::string& identity, int times);
    // Whether the key may have another file reply under `limit` (none:
    // unlimited); `take` also counts the reply.
    bool DownloadAllowed(const std::string& key, std::optional<std::int64_t> limit, bool take);

  private:
    std::mutex mutex_;
    std::map<std::string, int> faultUses_;
    std::map<std::string, std::int64_t> downloads_;
};

// How a reply is cut short or held back.
struct TransportFault {
    // CloseBody, CloseHeader, StallBody, StallHeader or SlowBody
    FaultKind kind = FaultKind::CloseBody;
    std::uint64_t after = 0;             // bytes of the header or of the body sent first
    std::chrono::milliseconds pause{0};  // SlowBody: before the rest of the body
};

struct Response {
    // When given, these bytes are sent instead of any reply, and the
    // connection ends.
    std::optional<std::string> raw;
    Reply reply;
    std::optional<TransportFault> transport;
    // End the connection after the reply even though it does not say so.
    bool endConnection = false;
    // When given, nothing is sent: every port stops listening for this
    // long (connections are refused) and then this connection ends.
    std::optional<std::chrono::milliseconds> refuseFor;
};

class Responder {
  public:
    using ProblemSink = std::function<void(const std::string& key, const std::string& problem)>;

    // With a cache, enciphered file bodies, zip archives and digests of
    // described copies are made once and kept there.
    Responder(std::string root, const net::KeyTable& table, RunCounters& counters,
              platform::Clock& clock, ProblemSink problems, ServiceCache* cache = nullptr);

    // The response to a parsed request whose "X-QVN-RATTART3: " token gave
    // `key` (nothing when the token was missing or unreadable).
    Response Respond(const Request& request, const std::optional<std::string>& key,
                     std::mt19937& random) const;

  private:
    Response RespondToProtocol(const Request& request, const std::string& word,
                               const std::optional<std::string>& key, std::mt19937& random) const;
    Reply ReplyWithFile(const Target& target) const;

    std::string root_;
    const net::KeyTable& table_;
    RunCounters& counters_;
    platform::Clock& clock_;
    ProblemSink problems_;
    ServiceCache* cache_;
};

}  // namespace qvn_service

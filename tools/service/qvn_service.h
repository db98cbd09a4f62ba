#pragma once
// The local stand-in for the Quorvane document service: answers the
// client's "VDLK", "DKFL", "DLCK" and "DownLoad" requests on loopback ports
// from the key folders below a root folder, and serves plain file GETs
// below "/files/" for comparisons with other HTTP clients.
//
// Every folder "<root>/<KEY>/" is a key; its files, at any depth, are the
// key's files. "<root>/<KEY>.conf" holds the key's settings and scripted
// faults (key_settings.h). Files and settings are read anew for every
// request, so tests may change them while the service runs.
//
// The service is meant to withstand any client: header blocks are bounded,
// receives time out, request bodies are bounded and discarded, one thread
// serves each connection up to a cap, and Stop() ends everything promptly,
// stalled connections included.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "net/key_table.h"
#include "platform/socket.h"
#include "tools/service/request_log.h"
#include "tools/service/responder.h"

namespace qvn_service {

struct ServiceOptions {
    explicit ServiceOptions(const net::KeyTable& keyTable) : table(keyTable) {}

    std::string root;
    // Loopback ports to listen on; 0 lets the system choose. Empty: one
    // port chosen by the system.
    std::vector<std::uint16_t> ports;
    net::KeyTable table;
    // Also write the request log to this file (created anew); empty: kept
    // in memory only.
    std::string requestLogPath;
    // How long a connection may take to deliver a request's header block
    // (also how long an idle connection is kept), and how long a send may
    // wait for a client that does not read.
    std::chrono::milliseconds receiveTimeout{30'000};
    // Connections served at once; more are answered with status 503.
    std::size_t maxConnections = 64;
    // Told once about each problem found in a key's settings file.
    std::function<void(std::string_view)> diagnostics;
    // An existing folder where enciphered bodies and zip archives are kept
    // once made, and digests of described copies are remembered (see
    // service_cache.h); empty: everything is made anew for each request.
    std::string cacheFolder;
};

// Header blocks longer than this are refused with status 431.
inline constexpr std::size_t kMaxRequestHeader = 16 * 1024;
// Request bodies (which no client of this service sends) up to this size
// are read and discarded; larger ones end the connection with status 413.
inline constexpr std::uint64_t kMaxRequestBody = 64 * 1024;

class QvnService;

struct ServiceStart {
    std::unique_ptr<QvnService> service;
    std::string error;  // why it did not start

    bool ok() const { return service != nullptr; }
};

class QvnService {
  public:
    // Checks the root, opens the request log and starts listening on every
    // port; the service runs until Stop() or its destruction.
    static ServiceStart Start(ServiceOptions options);

    QvnService(const QvnService&) = delete;
    QvnService& operator=(const QvnService&) = delete;
    ~QvnService();

    // The ports actually listened on, in the order of the options.
    std::vector<std::uint16_t> Ports() const;

    // The header blocks received so far, in order.
    std::vector<std::string> Requests() const;
    // The same with their ports, sequence numbers and keys.
    std::vector<LoggedRequest> RequestRecords() const { return log_.Entries(); }
    // Waits up to `timeout` for a request that `match` accepts (one received
    // earlier included); false when none came.
    bool WaitForRequest(const std::function<bool(const LoggedRequest&)>& match,
                        std::chrono::milliseconds timeout) const {
        return log_.WaitFor(match, timeout);
    }

    // Stops listening, ends every connection (stalled ones included) and
    // waits for their threads. Safe to call more than once.
    void Stop();

    // Every port stops listening, so that connection attempts are refused,
    // and listens again once `duration` has passed (a refusal already under
    // way lasts at least as long as it was to).
    void RefuseConnectionsFor(std::chrono::milliseconds duration);
    // Waits until no refusal is under way and every port listens again;
    // false when `timeout` runs out first or the service stops.
    bool WaitUntilListening(std::chrono::milliseconds timeout);

  private:
    struct Connection;
    // One port; only its accept loop touches the listener while the
    // service runs (it also closes and reopens it for a refusal).
    struct Port {
        std::uint16_t number = 0;
        platform::TcpListener listener;
    };
    enum class ReadOutcome { Complete, Ended, TooLarge };

    explicit QvnService(ServiceOptions options);

    void AcceptLoop(Port* port);
    // Closes the port's listener, waits out the refusal and listens on the
    // same port again; false when the service stops first.
    bool RefuseOnPort(Port& port);
    bool RefusalUnderWay();
    void ReapFinished();
    void Serve(Connection* connection);
    // Waits for the next header block (and drops a request body); the block
    // goes into `block` when the outcome is Complete.
    ReadOutcome ReadRequest(Connection& connection, std::string& block);
    // Receives more bytes into the connection's pending bytes, waiting at
    // most until `deadline`; false when none came.
    bool ReceiveMore(Connection& connection, std::chrono::steady_clock::time_point deadline);
    // Reads and drops a request body of `length` bytes.
    bool DiscardBody(Connection& connection, std::uint64_t length);
    // Answers one request; false when the connection is to end.
    bool Answer(Connection& connection, const std::string& block);
    bool SendResponse(Connection& connection, const Response& response);
    // Sends a status-only reply that ends the connection.
    void Refuse(Connection& connection, std::string_view status);
    // Keeps a connection open without sending until the client closes it or
    // the service stops.
    void Stall(Connection& connection);
    // Waits `duration` unless the service stops first; false when it did.
    bool PauseUnlessStopping(std::chrono::milliseconds duration);
    void ReportProblem(const std::string& key, const std::string& problem);

    ServiceOptions options_;
    RequestLog log_;
    RunCounters counters_;
    std::unique_ptr<ServiceCache> cache_;
    Responder responder_;
    std::vector<std::unique_ptr<Port>> ports_;
    std::vector<std::thread> acceptThreads_;
    std::atomic<bool> stopping_{false};

    // When the current refusal ends, and how many ports listen; the
    // condition tells of every change of either, and of the stop (which is
    // all that a slow body's pause waits for).
    std::mutex refusalMutex_;
    std::condition_variable refusalChanged_;
    std::chrono::steady_clock::time_point refuseUntil_{};
    std::size_t portsListening_ = 0;

    std::mutex connectionsMutex_;
    std::vector<std::unique_ptr<Connection>> connections_;

    std::mutex problemsMutex_;
    std::set<std::string> reportedProblems_;
};

}  // namespace qvn_service

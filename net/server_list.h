#pragma once
// The service's servers and the connection in use: which server the next
// connection goes to, connecting with retries and fail-over, and dropping the
// connection again. Used on the worker thread only.

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "net/host_resolver.h"
#include "net/log_sink.h"
#include "net/server_connection.h"
#include "platform/clock.h"
#include "platform/socket.h"

namespace net {

// One server of the list, with its own connection object for as long as the
// entry lives.
struct ServerEntry {
    static constexpr std::size_t kMaxPortTextLength = 7;

    ServerEntry(std::string_view host, std::string_view portText, HostResolver& resolver,
                Timeouts timeouts, StreamConnector& connector);

    std::string host;      // at most 127 characters
    std::string portText;  // decimal text, for example "80"
    ServerConnection connection;
    bool failed = false;  // the last connection attempt to this server failed
    int skipCount = 0;    // how often selection has walked over this entry
};

// Starts the socket library; false when it cannot be used.
using SocketStarter = bool (*)();

class ServerLink {
  public:
    static constexpr std::uint32_t kConnectionOpen = 1;
    static constexpr std::uint32_t kCloseAfterReply = 4;
    static constexpr int kLastAttempt = 0;
    static constexpr int kFirstAttemptCounter = 3;
    // A failed server is passed over until it has been walked over this often.
    static constexpr int kSkipLimit = 50;

    // Starts the socket library through `startSockets`; when that fails every
    // Connect fails.
    ServerLink(LogSink& log, platform::Clock& clock, Timeouts timeouts = {},
               HostResolver& resolver = DefaultHostResolver(),
               SocketStarter startSockets = &platform::StartupSockets,
               StreamConnector& connector = SocketConnector());
    ServerLink(const ServerLink&) = delete;
    ServerLink& operator=(const ServerLink&) = delete;

    // Puts a new entry at the head of the list: adding servers 1 then 2 gives
    // the list 2, 1.
    ServerEntry& AddServer(std::string_view host, std::string_view portText);
    std::size_t serverCount() const { return serverList_.size(); }
    // The entry at a position, the head being 0.
    ServerEntry& server(std::size_t index) { return *serverList_.at(index); }

    // Moves currentServer to the next entry (after the last, the head),
    // passing over entries whose last connection failed.
    void SelectNextServer();

    // Makes sure a connection is open: up to four attempts, the time-outs'
    // connect pause apart, alternating between servers. Sets commFailed
    // when all of them fail.
    bool Connect();

    // Closes and forgets the connection in use; false when there was none.
    bool Disconnect();

    // Ends what the link is doing, from any thread: a wait, send or receive
    // under way fails at once, and every later Connect fails.
    void Interrupt();
    bool interrupted() const { return interrupted_.load(); }
    // Why the last Connect failed, in words: the servers tried and the
    // system's reason ("b2.example.com:80, b1.example.com:80: connection
    // refused").
    const std::string& connectFailure() const { return connectFailure_; }

    // Sends a whole request through the connection in use; a zero length
    // succeeds without touching it.
    bool SendRequest(const void* data, std::size_t length);
    bool SendRequest(std::string_view bytes) { return SendRequest(bytes.data(), bytes.size()); }

    // Receives once through the connection in use (see
    // ServerConnection::Receive); -1 when there is none.
    std::ptrdiff_t Receive(void* buffer, std::size_t capacity);
    void UseShortTimeout();
    void UseNormalTimeout();
    void UseLongTimeout();

    ServerEntry* currentServer() { return currentServer_; }
    // The host named in requests: that of the current server ("" before any).
    std::string currentHost() const;
    void MarkCurrentServerFailed();
    ServerConnection* connection() { return connection_; }

    std::uint32_t connectionFlags() const { return connectionFlags_; }
    bool connectionOpen() const { return (connectionFlags_ & kConnectionOpen) != 0; }
    bool closeAfterReply() const { return (connectionFlags_ & kCloseAfterReply) != 0; }
    void SetCloseAfterReply() { connectionFlags_ |= kCloseAfterReply; }

    bool commFailed() const { return commFailed_; }
    void SetCommFailed() { commFailed_ = true; }
    void ClearCommFailed() { commFailed_ = false; }
    bool commInitFailed() const { return commInitFailed_; }

  private:
    // Makes currentServer_'s connection the one in use, pointed at its host.
    void RetargetCurrent();

    LogSink& log_;
    platform::Clock& clock_;
    Timeouts timeouts_;
    HostResolver& resolver_;
    StreamConnector& connector_;
    // Guards the list against Interrupt from another thread while servers
    // are added.
    std::mutex listLock_;
    std::vector<std::unique_ptr<ServerEntry>> serverList_;
    ServerEntry* currentServer_ = nullptr;
    ServerConnection* connection_ = nullptr;
    std::uint32_t connectionFlags_ = 0;
    bool commFailed_ = false;
    bool commInitFailed_ = false;
    std::atomic<bool> interrupted_{false};
    std::string connectFailure_;
};

}  // namespace net

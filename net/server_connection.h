#pragma once
// One TCP connection to one service host: name resolution, connect, complete
// sends and receives with a time-out. A connection object always serves the
// same host, so a resolved address is kept for the object's whole life.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "net/byte_stream.h"
#include "net/host_resolver.h"

namespace net {

// The three receive time-outs, and the pause between two connection
// attempts. Tests shorten them to milliseconds.
struct Timeouts {
    std::chrono::milliseconds shortTimeout{std::chrono::seconds(30)};
    std::chrono::milliseconds normalTimeout{std::chrono::seconds(180)};
    std::chrono::milliseconds longTimeout{std::chrono::seconds(720)};
    std::chrono::milliseconds connectPause{std::chrono::seconds(5)};
};

class ServerConnection {
  public:
    static constexpr std::size_t kMaxHostLength = 127;
    static constexpr std::size_t kSendPieceSize = 4096;
    // Bytes one socket read may bring in ahead of the callers' receives.
    static constexpr std::size_t kReadAheadSize = 64 * 1024;

    // Creates a closed, unresolved connection for a host (cut to 127
    // characters) and a port given as decimal text (read as atoi would:
    // no digits give 0).
    ServerConnection(std::string_view host, std::string_view portText,
                     HostResolver& resolver = DefaultHostResolver(), Timeouts timeouts = {},
                     StreamConnector& connector = SocketConnector());
    ServerConnection(const ServerConnection&) = delete;
    ServerConnection& operator=(const ServerConnection&) = delete;

    // Closes the connection and points it at a host and port again, with the
    // normal receive time-out. The resolved address stays.
    ServerConnection& Retarget(std::string_view host, std::string_view portText);

    // Finds the address of the host: a dotted quad is taken as it is, any
    // other name is looked up. A failed lookup leaves the address at 0.
    bool ResolveHost();

    // Connects unless already open; resolves first while the address is 0.
    // On failure errorText() and lastError() tell why.
    bool Open();

    // Sends all bytes: the length on success, 0 on failure or for length 0.
    std::size_t SendAll(const void* data, std::size_t length);

    // Sends the buffer in consecutive 4096-byte pieces, stopping at the first
    // failed piece: the length, or 0 on failure.
    std::size_t SendInPieces(const void* data, std::size_t length);

    // The next received bytes, at most `capacity`: from what an earlier
    // socket read brought in, or else after one wait of up to the receive
    // time-out and one socket read (into the caller's buffer when
    // `capacity` is at least kReadAheadSize). The count (> 0), 0 when the
    // peer closed the connection, -1 on time-out or error; with 0 or -1 the
    // connection is closed. `capacity` must not be 0.
    std::ptrdiff_t Receive(void* buffer, std::size_t capacity);

    // Closes the socket if the connection is open; otherwise nothing.
    void Close();

    // Ends what the connection is doing, from any thread: a send, wait or
    // receive under way fails at once, and the connection stays closed
    // until it is opened again.
    void Interrupt();

    // errorText, 0 and lastError as "%s %d %d".
    std::string DescribeError() const;

    void UseShortTimeout() { receiveTimeout_ = timeouts_.shortTimeout; }
    void UseNormalTimeout() { receiveTimeout_ = timeouts_.normalTimeout; }
    void UseLongTimeout() { receiveTimeout_ = timeouts_.longTimeout; }

    bool isOpen() const { return isOpen_; }
    int lastError() const { return lastError_; }
    // The last receive failed because nothing came for the whole time-out.
    bool timedOut() const { return timedOut_; }
    std::chrono::milliseconds receiveTimeout() const { return receiveTimeout_; }
    // IPv4 address in network byte order; 0 while unresolved.
    std::uint32_t address() const { return address_; }
    const std::string& host() const { return host_; }
    std::uint16_t port() const { return port_; }
    const std::string& errorText() const { return errorText_; }

  private:
    void SetTarget(std::string_view host, std::string_view portText);
    // The only place that reads from the stream: one wait, then one receive.
    std::ptrdiff_t ReadFromStream(void* buffer, std::size_t capacity);

    HostResolver& resolver_;
    StreamConnector& connector_;
    Timeouts timeouts_;
    bool isOpen_ = false;
    int lastError_ = 0;
    bool timedOut_ = false;
    std::chrono::milliseconds receiveTimeout_;
    // Guards the stream's replacement against Interrupt from another
    // thread; the worker's own sends and receives run without it.
    std::mutex streamLock_;
    std::unique_ptr<ByteStream> stream_;
    std::uint32_t address_ = 0;
    std::string host_;
    std::uint16_t port_ = 0;
    std::string errorText_;
    std::vector<std::uint8_t> readAhead_;  // allocated at the first receive
    std::size_t readAheadStart_ = 0;
    std::size_t readAheadEnd_ = 0;
};

}  // namespace net

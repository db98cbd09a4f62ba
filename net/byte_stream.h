#pragma once
// The transport under a server connection: a connected byte stream with
// sends, readiness waits and receives, and what makes such streams. The
// socket is one implementation; tests script another in memory, so that
// short sends, interrupted calls, a reply split at every byte, pauses and
// errors can be played exactly, without a peer or a real wait.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "platform/error.h"
#include "platform/socket.h"

namespace net {

class ByteStream {
  public:
    virtual ~ByteStream() = default;
    // One send; it may take fewer bytes than offered.
    virtual platform::Result<std::size_t> Send(const void* data, std::size_t length) = 0;
    // Waits until data (or the peer's close) can be read.
    virtual platform::WaitResult WaitReadable(std::chrono::milliseconds timeout,
                                              platform::SysError* error) = 0;
    // One receive; 0 when the peer closed the stream.
    virtual platform::Result<std::size_t> Receive(void* buffer, std::size_t capacity) = 0;
    // Ends the stream from another thread: a send, wait or receive under
    // way returns at once, and every later one fails.
    virtual void Interrupt() = 0;
};

class StreamConnector {
  public:
    virtual ~StreamConnector() = default;
    // A stream connected to an IPv4 address (network byte order) and port.
    virtual platform::Result<std::unique_ptr<ByteStream>> Connect(std::uint32_t address,
                                                                  std::uint16_t port) = 0;
};

// Connects TCP sockets.
StreamConnector& SocketConnector();

}  // namespace net

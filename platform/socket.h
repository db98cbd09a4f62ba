#pragma once
// IPv4 TCP sockets: a connected stream with readiness waits, and a loopback
// listener for the local service and tests. Addresses are in network byte
// order, ports in host order.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/error.h"
#include "platform/file.h"

namespace platform {

// Prepares the process for socket use (a closed peer must give an error,
// never a signal). Safe to call more than once.
bool StartupSockets();

// A dotted-quad IPv4 address, without any lookup.
std::optional<std::uint32_t> ParseDottedQuad(std::string_view text);

// Looks a host name up; the first IPv4 address found.
Result<std::uint32_t> LookupHostIPv4(const std::string& host);

enum class WaitResult { Ready, TimedOut, Failed };

class TcpSocket {
  public:
    TcpSocket() = default;
    TcpSocket(TcpSocket&& other) noexcept;
    TcpSocket& operator=(TcpSocket&& other) noexcept;
    TcpSocket(const TcpSocket&) = delete;
    TcpSocket& operator=(const TcpSocket&) = delete;
    ~TcpSocket();

    static Result<TcpSocket> Connect(std::uint32_t address, std::uint16_t port);

    bool IsOpen() const { return fd_ != kNoHandle; }
    // One send call; may send less than asked.
    Result<std::size_t> Send(const void* data, std::size_t length);
    // Sends everything, retrying short sends.
    Status SendAll(const void* data, std::size_t length);
    // Sends `length` bytes of a file from `offset` straight from the file
    // (the file's own position stays), retrying short sends. Fails with EIO
    // when the file ends first.
    Status SendFile(const File& file, std::uint64_t offset, std::uint64_t length);
    // Waits until data (or the peer's close) can be read.
    WaitResult WaitReadable(std::chrono::milliseconds timeout, SysError* error);
    // One receive call; 0 when the peer closed the connection.
    Result<std::size_t> Receive(void* buffer, std::size_t capacity);
    // Ends our sending direction; the peer reads the end of the stream.
    void ShutdownSend();
    // Ends both directions without closing: a wait, receive or send that
    // another thread has under way on this socket returns at once. (On
    // Windows a wait and a receive do; a send that another thread has
    // already begun ends at the latest with its send time-out.)
    void Shutdown();
    // A send that can make no progress for this long fails (EAGAIN) instead
    // of blocking on a peer that does not read.
    Status SetSendTimeout(std::chrono::milliseconds timeout);
    // Closes at once, discarding unsent data with a reset.
    void Abort();
    void Close();

  private:
    friend class TcpListener;
    explicit TcpSocket(NativeHandle fd) : fd_(fd) {}
    NativeHandle fd_ = kNoHandle;
    // An event that Shutdown sets and every wait also waits for, where a
    // shut-down socket does not end a wait by itself (Windows); unused on
    // POSIX systems.
    NativeHandle wake_ = kNoHandle;
};

class TcpListener {
  public:
    TcpListener() = default;
    TcpListener(TcpListener&& other) noexcept;
    TcpListener& operator=(TcpListener&& other) noexcept;
    TcpListener(const TcpListener&) = delete;
    TcpListener& operator=(const TcpListener&) = delete;
    ~TcpListener();

    // Listens on 127.0.0.1; port 0 lets the system choose.
    static Result<TcpListener> ListenLoopback(std::uint16_t port);

    bool IsOpen() const { return fd_ != kNoHandle; }
    std::uint16_t Port() const { return port_; }
    WaitResult WaitAcceptable(std::chrono::milliseconds timeout);
    Result<TcpSocket> Accept();
    void Close();

  private:
    NativeHandle fd_ = kNoHandle;
    std::uint16_t port_ = 0;
};

}  // namespace platform

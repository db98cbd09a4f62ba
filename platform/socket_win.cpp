#include "platform/socket.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <utility>
#include <vector>

#include "platform/windows_win.h"

namespace platform {
namespace {

using windows::SystemError;

SysError SocketError() {
    return SystemError(static_cast<DWORD>(::WSAGetLastError()));
}

SOCKET AsSocket(NativeHandle handle) {
    return static_cast<SOCKET>(handle);
}

NativeHandle AsNative(SOCKET socket) {
    return socket == INVALID_SOCKET ? kNoHandle : static_cast<NativeHandle>(socket);
}

// Winsock for the whole process, started once on first use and cleaned up
// at exit.
class Winsock {
  public:
    Winsock() {
        WSADATA data{};
        started_ = ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }
    ~Winsock() {
        if (started_) {
            ::WSACleanup();
        }
    }
    Winsock(const Winsock&) = delete;
    Winsock& operator=(const Winsock&) = delete;
    bool Started() const { return started_; }

  private:
    bool started_ = false;
};

const Winsock& Library() {
    static const Winsock library;
    return library;
}

// A call's length within what one Winsock call takes.
int CallLength(std::size_t length) {
    return static_cast<int>(std::min<std::size_t>(length, INT_MAX));
}

void NoDelay(SOCKET socket) {
    const BOOL on = TRUE;
    ::setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
}

NativeHandle NewWakeEvent() {
    const HANDLE event = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    return event == nullptr ? kNoHandle : windows::AsNative(event);
}

bool IsSet(NativeHandle event) {
    return event != kNoHandle &&
           ::WaitForSingleObject(windows::AsHandle(event), 0) == WAIT_OBJECT_0;
}

// Waits until the socket can be read (or accepted from); select takes one
// socket, so no descriptor limit applies.
WaitResult WaitRead(SOCKET socket, std::chrono::milliseconds timeout, SysError* error) {
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(socket, &readable);
    const long long ms = std::max<long long>(timeout.count(), 0);
    timeval limit{};
    limit.tv_sec = static_cast<long>(std::min<long long>(ms / 1000, LONG_MAX));
    limit.tv_usec = static_cast<long>((ms % 1000) * 1000);
    const int rc = ::select(0, &readable, nullptr, nullptr, &limit);
    if (rc > 0) {
        return WaitResult::Ready;
    }
    if (rc == 0) {
        if (error) {
            *error = SysError{ETIMEDOUT};
        }
        return WaitResult::TimedOut;
    }
    if (error) {
        *error = SocketError();
    }
    return WaitResult::Failed;
}

}  // namespace

bool StartupSockets() {
    return Library().Started();
}

std::optional<std::uint32_t> ParseDottedQuad(std::string_view text) {
    const std::string copy(text);
    in_addr address{};
    if (copy.find('\0') != std::string::npos || ::inet_pton(AF_INET, copy.c_str(), &address) != 1) {
        return std::nullopt;
    }
    return address.s_addr;
}

Result<std::uint32_t> LookupHostIPv4(const std::string& host) {
    StartupSockets();
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const int rc = ::getaddrinfo(host.c_str(), nullptr, &hints, &found);
    if (rc != 0 || found == nullptr) {
        return SystemError(rc != 0 ? static_cast<DWORD>(rc) : WSAHOST_NOT_FOUND);
    }
    const auto* in = reinterpret_cast<const sockaddr_in*>(found->ai_addr);
    const std::uint32_t address = in->sin_addr.s_addr;
    ::freeaddrinfo(found);
    return address;
}

TcpSocket::TcpSocket(TcpSocket&& other) noexcept
    : fd_(std::exchange(other.fd_, kNoHandle)), wake_(std::exchange(other.wake_, kNoHandle)) {}

TcpSocket& TcpSocket::operator=(TcpSocket&& other) noexcept {
    if (this != &other) {
        Close();
        fd_ = std::exchange(other.fd_, kNoHandle);
        wake_ = std::exchange(other.wake_, kNoHandle);
    }
    return *this;
}

TcpSocket::~TcpSocket() {
    Close();
}

Result<TcpSocket> TcpSocket::Connect(std::uint32_t address, std::uint16_t port) {
    StartupSockets();
    const SOCKET fd = ::WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0,
                                   WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT);
    if (fd == INVALID_SOCKET) {
        return SocketError();
    }
    TcpSocket socket(AsNative(fd));
    socket.wake_ = NewWakeEvent();
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_port = htons(port);
    peer.sin_addr.s_addr = address;
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&peer), sizeof peer) != 0) {
        return SocketError();
    }
    NoDelay(fd);
    return socket;
}

Result<std::size_t> TcpSocket::Send(const void* data, std::size_t length) {
    const int n = ::send(AsSocket(fd_), static_cast<const char*>(data), CallLength(length), 0);
    if (n == SOCKET_ERROR) {
        return SocketError();
    }
    return static_cast<std::size_t>(n);
}

Status TcpSocket::SendAll(const void* data, std::size_t length) {
    const auto* p = static_cast<const std::uint8_t*>(data);
    while (length > 0) {
        auto sent = Send(p, length);
        if (!sent) {
            return sent.error();
        }
        p += *sent;
        length -= *sent;
    }
    return Status::Ok();
}

Status TcpSocket::SendFile(const File& file, std::uint64_t offset, std::uint64_t length) {
    // Read and sent in blocks: the one sender of whole files is the local
    // service, which runs on Linux.
    std::vector<std::uint8_t> block(
        static_cast<std::size_t>(std::min<std::uint64_t>(length, 256 * 1024)));
    while (length > 0) {
        const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(length, block.size()));
        auto got = file.ReadAt(block.data(), want, offset);
        if (!got) {
            return got.error();
        }
        if (*got == 0) {
            return SysError{EIO};
        }
        if (Status sent = SendAll(block.data(), *got); !sent) {
            return sent;
        }
        offset += *got;
        length -= *got;
    }
    return Status::Ok();
}

WaitResult TcpSocket::WaitReadable(std::chrono::milliseconds timeout, SysError* error) {
    // What is there already, or a shut-down socket, needs no waiting.
    if (IsSet(wake_)) {
        return WaitResult::Ready;
    }
    if (wake_ == kNoHandle) {
        return WaitRead(AsSocket(fd_), timeout, error);
    }
    const WaitResult now = WaitRead(AsSocket(fd_), std::chrono::milliseconds(0), error);
    if (now != WaitResult::TimedOut || timeout.count() <= 0) {
        return now;
    }
    // A shutdown from another thread does not end select on Windows: wait
    // for the socket's news and for Shutdown's event together.
    const windows::OwnedHandle news(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!news.IsValid() || ::WSAEventSelect(AsSocket(fd_), news.get(), FD_READ | FD_CLOSE) != 0) {
        if (error) {
            *error = news.IsValid() ? SocketError() : LastError();
        }
        return WaitResult::Failed;
    }
    const HANDLE events[] = {news.get(), windows::AsHandle(wake_)};
    const DWORD ms = static_cast<DWORD>(std::min<long long>(timeout.count(), 0x7ffffffe));
    const DWORD woke = ::WaitForMultipleObjects(2, events, FALSE, ms);
    // Back to an ordinary blocking socket (WSAEventSelect made it
    // non-blocking).
    ::WSAEventSelect(AsSocket(fd_), nullptr, 0);
    u_long blocking = 0;
    ::ioctlsocket(AsSocket(fd_), FIONBIO, &blocking);
    if (woke == WAIT_OBJECT_0 || woke == WAIT_OBJECT_0 + 1) {
        return WaitResult::Ready;
    }
    if (woke == WAIT_TIMEOUT) {
        if (error) {
            *error = SysError{ETIMEDOUT};
        }
        return WaitResult::TimedOut;
    }
    if (error) {
        *error = LastError();
    }
    return WaitResult::Failed;
}

Result<std::size_t> TcpSocket::Receive(void* buffer, std::size_t capacity) {
    if (IsSet(wake_)) {
        return std::size_t{0};  // shut down: the end of the stream here
    }
    const int n = ::recv(AsSocket(fd_), static_cast<char*>(buffer), CallLength(capacity), 0);
    if (n == SOCKET_ERROR) {
        return SocketError();
    }
    return static_cast<std::size_t>(n);
}

void TcpSocket::ShutdownSend() {
    if (fd_ != kNoHandle) {
        ::shutdown(AsSocket(fd_), SD_SEND);
    }
}

void TcpSocket::Shutdown() {
    if (fd_ != kNoHandle) {
        ::shutdown(AsSocket(fd_), SD_BOTH);
        if (wake_ != kNoHandle) {
            ::SetEvent(windows::AsHandle(wake_));
        }
    }
}

Status TcpSocket::SetSendTimeout(std::chrono::milliseconds timeout) {
    const DWORD ms = static_cast<DWORD>(std::clamp<long long>(timeout.count(), 0, 0x7fffffff));
    if (::setsockopt(AsSocket(fd_), SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&ms),
                     sizeof ms) != 0) {
        return SocketError();
    }
    return Status::Ok();
}

void TcpSocket::Abort() {
    if (fd_ != kNoHandle) {
        linger option{1, 0};
        ::setsockopt(AsSocket(fd_), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&option),
                     sizeof option);
        Close();
    }
}

void TcpSocket::Close() {
    if (fd_ != kNoHandle) {
        ::closesocket(AsSocket(fd_));
        fd_ = kNoHandle;
    }
    if (wake_ != kNoHandle) {
        ::CloseHandle(windows::AsHandle(wake_));
        wake_ = kNoHandle;
    }
}

TcpListener::TcpListener(TcpListener&& other) noexcept
    : fd_(std::exchange(other.fd_, kNoHandle)), port_(std::exchange(other.port_, 0)) {}

TcpListener& TcpListener::operator=(TcpListener&& other) noexcept {
    if (this != &other) {
        Close();
        fd_ = std::exchange(other.fd_, kNoHandle);
        port_ = std::exchange(other.port_, 0);
    }
    return *this;
}

TcpListener::~TcpListener() {
    Close();
}

Result<TcpListener> TcpListener::ListenLoopback(std::uint16_t port) {
    StartupSockets();
    const SOCKET fd = ::WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0,
                                   WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT);
    if (fd == INVALID_SOCKET) {
        return SocketError();
    }
    TcpListener listener;
    listener.fd_ = AsNative(fd);
    // No other socket may take the port over (SO_REUSEADDR means that on
    // Windows).
    const BOOL on = TRUE;
    ::setsockopt(fd, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&on),
                 sizeof on);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(port);
    local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0 ||
        ::listen(fd, 64) != 0) {
        return SocketError();
    }
    int length = sizeof local;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length) != 0) {
        return SocketError();
    }
    listener.port_ = ntohs(local.sin_port);
    return listener;
}

WaitResult TcpListener::WaitAcceptable(std::chrono::milliseconds timeout) {
    return WaitRead(AsSocket(fd_), timeout, nullptr);
}

Result<TcpSocket> TcpListener::Accept() {
    const SOCKET fd = ::accept(AsSocket(fd_), nullptr, nullptr);
    if (fd == INVALID_SOCKET) {
        return SocketError();
    }
    NoDelay(fd);
    TcpSocket socket(AsNative(fd));
    socket.wake_ = NewWakeEvent();
    return socket;
}

void TcpListener::Close() {
    if (fd_ != kNoHandle) {
        ::closesocket(AsSocket(fd_));
        fd_ = kNoHandle;
    }
}

}  // namespace platform

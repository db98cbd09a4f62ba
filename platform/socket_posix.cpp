#include "platform/socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/sendfile.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <utility>

namespace platform {

bool StartupSockets() {
    std::signal(SIGPIPE, SIG_IGN);
    return true;
}

std::optional<std::uint32_t> ParseDottedQuad(std::string_view text) {
    const std::string copy(text);
    in_addr address{};
    if (::inet_pton(AF_INET, copy.c_str(), &address) != 1) {
        return std::nullopt;
    }
    return address.s_addr;
}

Result<std::uint32_t> LookupHostIPv4(const std::string& host) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const int rc = ::getaddrinfo(host.c_str(), nullptr, &hints, &found);
    if (rc != 0 || found == nullptr) {
        // Lookup failures have their own codes; keep them apart from errno
        // values by their sign (glibc's EAI_ codes are negative).
        return SysError{rc == EAI_SYSTEM ? errno : (rc != 0 ? rc : EAI_NONAME)};
    }
    const auto* in = reinterpret_cast<const sockaddr_in*>(found->ai_addr);
    const std::uint32_t address = in->sin_addr.s_addr;
    ::freeaddrinfo(found);
    return address;
}

TcpSocket::TcpSocket(TcpSocket&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

TcpSocket& TcpSocket::operator=(TcpSocket&& other) noexcept {
    if (this != &other) {
        Close();
        fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
}

TcpSocket::~TcpSocket() {
    Close();
}

Result<TcpSocket> TcpSocket::Connect(std::uint32_t address, std::uint16_t port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return LastError();
    }
    TcpSocket socket(fd);
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_port = htons(port);
    peer.sin_addr.s_addr = address;
    int rc = 0;
    do {
        rc = ::connect(fd, reinterpret_cast<const sockaddr*>(&peer), sizeof peer);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        return LastError();
    }
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return socket;
}

Result<std::size_t> TcpSocket::Send(const void* data, std::size_t length) {
    for (;;) {
        const ssize_t n = ::send(fd_, data, length, MSG_NOSIGNAL);
        if (n >= 0) {
            return static_cast<std::size_t>(n);
        }
        if (errno != EINTR) {
            return LastError();
        }
    }
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
    // One call moves at most about 2 GiB.
    constexpr std::uint64_t kMostPerCall = std::uint64_t{1} << 30;
    off_t position = static_cast<off_t>(offset);
    while (length > 0) {
        const auto want = static_cast<std::size_t>(length < kMostPerCall ? length : kMostPerCall);
        const ssize_t n = ::sendfile(fd_, file.Descriptor(), &position, want);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return LastError();
        }
        if (n == 0) {
            return SysError{EIO};
        }
        length -= static_cast<std::uint64_t>(n);
    }
    return Status::Ok();
}

WaitResult TcpSocket::WaitReadable(std::chrono::milliseconds timeout, SysError* error) {
    pollfd entry{static_cast<int>(fd_), POLLIN, 0};
    const long long ms = timeout.count();
    for (;;) {
        const int rc = ::poll(&entry, 1, ms > 0x7fffffff ? 0x7fffffff : static_cast<int>(ms));
        if (rc > 0) {
            return WaitResult::Ready;
        }
        if (rc == 0) {
            if (error) {
                *error = SysError{ETIMEDOUT};
            }
            return WaitResult::TimedOut;
        }
        if (errno != EINTR) {
            if (error) {
                *error = LastError();
            }
            return WaitResult::Failed;
        }
    }
}

Result<std::size_t> TcpSocket::Receive(void* buffer, std::size_t capacity) {
    for (;;) {
        const ssize_t n = ::recv(fd_, buffer, capacity, 0);
        if (n >= 0) {
            return static_cast<std::size_t>(n);
        }
        if (errno != EINTR) {
            return LastError();
        }
    }
}

void TcpSocket::ShutdownSend() {
    if (fd_ >= 0) {
        ::shutdown(fd_, SHUT_WR);
    }
}

void TcpSocket::Shutdown() {
    if (fd_ >= 0) {
        ::shutdown(fd_, SHUT_RDWR);
    }
}

Status TcpSocket::SetSendTimeout(std::chrono::milliseconds timeout) {
    const long long ms = timeout.count() < 0 ? 0 : timeout.count();
    timeval value{};
    value.tv_sec = static_cast<time_t>(ms / 1000);
    value.tv_usec = static_cast<suseconds_t>((ms % 1000) * 1000);
    if (::setsockopt(fd_, SOL_SOCKET, SO_SNDTIMEO, &value, sizeof value) != 0) {
        return LastError();
    }
    return Status::Ok();
}

void TcpSocket::Abort() {
    if (fd_ >= 0) {
        linger option{1, 0};
        ::setsockopt(fd_, SOL_SOCKET, SO_LINGER, &option, sizeof option);
        Close();
    }
}

void TcpSocket::Close() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

TcpListener::TcpListener(TcpListener&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), port_(std::exchange(other.port_, 0)) {}

TcpListener& TcpListener::operator=(TcpListener&& other) noexcept {
    if (this != &other) {
        Close();
        fd_ = std::exchange(other.fd_, -1);
        port_ = std::exchange(other.port_, 0);
    }
    return *this;
}

TcpListener::~TcpListener() {
    Close();
}

Result<TcpListener> TcpListener::ListenLoopback(std::uint16_t port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return LastError();
    }
    TcpListener listener;
    listener.fd_ = fd;
    const int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(port);
    local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0 ||
        ::listen(fd, 64) != 0) {
        return LastError();
    }
    socklen_t length = sizeof local;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length) != 0) {
        return LastError();
    }
    listener.port_ = ntohs(local.sin_port);
    return listener;
}

WaitResult TcpListener::WaitAcceptable(std::chrono::milliseconds timeout) {
    pollfd entry{static_cast<int>(fd_), POLLIN, 0};
    const int rc = ::poll(&entry, 1, static_cast<int>(timeout.count()));
    if (rc > 0) {
        return WaitResult::Ready;
    }
    return rc == 0 || errno == EINTR ? WaitResult::TimedOut : WaitResult::Failed;
}

Result<TcpSocket> TcpListener::Accept() {
    for (;;) {
        const int fd = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd >= 0) {
            const int one = 1;
            ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
            return TcpSocket(fd);
        }
        if (errno != EINTR) {
            return LastError();
        }
    }
}

void TcpListener::Close() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

}  // namespace platform

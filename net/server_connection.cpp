#include "net/server_connection.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/strings.h"

namespace net {
namespace {

constexpr const char* kLookupFailed = "RACommLookup failed";
constexpr const char* kSocketCreateFailed = "socket create failed";
constexpr const char* kConnectFailed = "connect failed";

// The platform creates and connects the socket in one call; these are the
// codes that only the creation step gives, so the rest belong to connect.
bool IsSocketCreateError(int code) {
    switch (code) {
        case EMFILE:
        case ENFILE:
        case ENOBUFS:
        case ENOMEM:
        case EAFNOSUPPORT:
        case EPROTONOSUPPORT:
            return true;
        default:
            return false;
    }
}

}  // namespace

ServerConnection::ServerConnection(std::string_view host, std::string_view portText,
                                   HostResolver& resolver, Timeouts timeouts,
                                   StreamConnector& connector)
    : resolver_(resolver),
      connector_(connector),
      timeouts_(timeouts),
      receiveTimeout_(timeouts.normalTimeout) {
    SetTarget(host, portText);
}

void ServerConnection::SetTarget(std::string_view host, std::string_view portText) {
    host_ = std::string(platform::Cut(host, kMaxHostLength));
    // Like atoi into a 16-bit port: out-of-range values wrap.
    port_ = static_cast<std::uint16_t>(platform::ParseDecimal(portText));
}

ServerConnection& ServerConnection::Retarget(std::string_view host, std::string_view portText) {
    receiveTimeout_ = timeouts_.normalTimeout;
    Close();
    SetTarget(host, portText);
    return *this;
}

bool ServerConnection::ResolveHost() {
    if (const auto quad = platform::ParseDottedQuad(host_)) {
        address_ = *quad;
        return true;
    }
    auto found = resolver_.Lookup(host_);
    if (!found) {
        lastError_ = found.error().code;
        address_ = 0;
        return false;
    }
    address_ = *found;
    return true;
}

bool ServerConnection::Open() {
    if (isOpen_) {
        return true;
    }
    if (address_ == 0) {
        ResolveHost();
        if (address_ == 0) {
            errorText_ = kLookupFailed;
            return false;
        }
    }
    auto connected = connector_.Connect(address_, port_);
    if (!connected) {
        lastError_ = connected.error().code;
        errorText_ = IsSocketCreateError(lastError_) ? kSocketCreateFailed : kConnectFailed;
        return false;
    }
    {
        const std::lock_guard<std::mutex> lock(streamLock_);
        stream_ = std::move(*connected);
    }
    isOpen_ = true;
    return true;
}

std::size_t ServerConnection::SendAll(const void* data, std::size_t length) {
    if (length == 0) {
        return 0;
    }
    if (!isOpen_) {
        lastError_ = EBADF;
        return 0;
    }
    // A send may take part of the bytes, or be interrupted before taking
    // any: the rest is offered again.
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    for (std::size_t sent = 0; sent < length;) {
        const auto taken = stream_->Send(bytes + sent, length - sent);
        if (!taken) {
            if (taken.error().Interrupted()) {
                continue;
            }
            lastError_ = taken.error().code;
            return 0;
        }
        if (*taken == 0) {
            lastError_ = EIO;  // no progress is an end, never a loop
            return 0;
        }
        sent += *taken;
    }
    return length;
}

std::size_t ServerConnection::SendInPieces(const void* data, std::size_t length) {
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    for (std::size_t offset = 0; offset < length; offset += kSendPieceSize) {
        const std::size_t piece = std::min(kSendPieceSize, length - offset);
        if (SendAll(bytes + offset, piece) == 0) {
            return 0;
        }
    }
    return length;
}

std::ptrdiff_t ServerConnection::Receive(void* buffer, std::size_t capacity) {
    // Callers read the reply header a byte at a time; small reads are
    // served from what one socket read brought in. A read at least as large
    // as the read-ahead goes straight into the caller's buffer once nothing
    // is left over, which spares a copy of every byte of a large body.
    if (readAheadStart_ == readAheadEnd_) {
        if (capacity >= kReadAheadSize) {
            return ReadFromStream(buffer, capacity);
        }
        if (readAhead_.empty()) {
            readAhead_.resize(kReadAheadSize);
        }
        const std::ptrdiff_t got = ReadFromStream(readAhead_.data(), readAhead_.size());
        if (got <= 0) {
            return got;
        }
        readAheadStart_ = 0;
        readAheadEnd_ = static_cast<std::size_t>(got);
    }
    const std::size_t count = std::min(capacity, readAheadEnd_ - readAheadStart_);
    std::memcpy(buffer, readAhead_.data() + readAheadStart_, count);
    readAheadStart_ += count;
    return static_cast<std::ptrdiff_t>(count);
}

std::ptrdiff_t ServerConnection::ReadFromStream(void* buffer, std::size_t capacity) {
    // Every path that gives 0 or -1 closes through Close(), which clears
    // isOpen_ with the socket: a later Close does nothing.
    if (!isOpen_) {
        // No socket to wait on: fail as a receive on a closed socket would.
        lastError_ = EBADF;
        return -1;
    }
    platform::SysError waitError;
    auto waited = stream_->WaitReadable(receiveTimeout_, &waitError);
    while (waited == platform::WaitResult::Failed && waitError.Interrupted()) {
        waited = stream_->WaitReadable(receiveTimeout_, &waitError);
    }
    timedOut_ = waited == platform::WaitResult::TimedOut;
    if (timedOut_) {
        lastError_ = waitError.code;
        Close();
        return -1;
    }
    if (waited == platform::WaitResult::Failed) {
        lastError_ = waitError.code;
        if (lastError_ != 0) {
            Close();
            return -1;
        }
        // A failed wait without an error code: the receive below tells.
    }
    auto received = stream_->Receive(buffer, capacity);
    while (!received && received.error().Interrupted()) {
        received = stream_->Receive(buffer, capacity);
    }
    if (!received) {
        lastError_ = received.error().code;
        Close();
        return -1;
    }
    if (*received == 0) {
        Close();
        return 0;
    }
    return static_cast<std::ptrdiff_t>(*received);
}

void ServerConnection::Close() {
    // What was read ahead belonged to this connection only.
    readAheadStart_ = 0;
    readAheadEnd_ = 0;
    if (isOpen_) {
        isOpen_ = false;
        const std::lock_guard<std::mutex> lock(streamLock_);
        stream_.reset();
    }
}

void ServerConnection::Interrupt() {
    const std::lock_guard<std::mutex> lock(streamLock_);
    if (stream_) {
        stream_->Interrupt();
    }
}

std::string ServerConnection::DescribeError() const {
    return platform::StrPrintf("%s %d %d", errorText_.c_str(), 0, lastError_);
}

}  // namespace net

#pragma once
// Helpers for the connection and server-list tests: a log that keeps its
// lines, a resolver that counts and scripts lookups, loopback ports.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "net/host_resolver.h"
#include "net/log_sink.h"
#include "net/server_connection.h"
#include "platform/socket.h"

namespace connection_testing {

class RecordingLog final : public net::LogSink {
  public:
    bool Wants(net::LineKind) const override { return true; }
    void Write(net::LineKind kind, std::string_view line) override {
        std::lock_guard<std::mutex> lock(mutex_);
        kinds_.push_back(kind);
        lines_.emplace_back(line);
    }
    std::vector<std::string> Lines() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return lines_;
    }
    std::vector<net::LineKind> Kinds() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return kinds_;
    }

  private:
    mutable std::mutex mutex_;
    std::vector<net::LineKind> kinds_;
    std::vector<std::string> lines_;
};

// Answers lookups from a table; a name can be made to fail a number of times
// before it resolves. Unknown names fail. Every lookup is recorded.
class ScriptedResolver final : public net::HostResolver {
  public:
    static constexpr int kLookupError = -2;  // the resolver's "no such name"

    void Answer(const std::string& host, std::uint32_t address, int failuresFirst = 0) {
        answers_[host] = address;
        failuresLeft_[host] = failuresFirst;
    }
    platform::Result<std::uint32_t> Lookup(const std::string& host) override {
        looked_.push_back(host);
        auto found = answers_.find(host);
        if (found == answers_.end()) {
            return platform::SysError{kLookupError};
        }
        if (failuresLeft_[host] > 0) {
            --failuresLeft_[host];
            return platform::SysError{kLookupError};
        }
        return found->second;
    }
    const std::vector<std::string>& Looked() const { return looked_; }

  private:
    std::map<std::string, std::uint32_t> answers_;
    std::map<std::string, int> failuresLeft_;
    std::vector<std::string> looked_;
};

inline std::uint32_t LoopbackAddress() {
    return platform::ParseDottedQuad("127.0.0.1").value();
}

inline platform::TcpListener Listen() {
    auto listener = platform::TcpListener::ListenLoopback(0);
    EXPECT_TRUE(listener.ok()) << listener.error().Message();
    return listener.ok() ? std::move(*listener) : platform::TcpListener();
}

// A loopback port on which nothing listens: connecting to it is refused.
inline std::string RefusedPortText() {
    platform::TcpListener listener = Listen();
    const std::uint16_t port = listener.Port();
    listener.Close();
    return std::to_string(port);
}

// Accepts the connection that a connect has already completed.
inline platform::TcpSocket AcceptPending(platform::TcpListener& listener) {
    if (listener.WaitAcceptable(std::chrono::seconds(5)) != platform::WaitResult::Ready) {
        ADD_FAILURE() << "no connection arrived";
        return {};
    }
    auto peer = listener.Accept();
    EXPECT_TRUE(peer.ok());
    return peer.ok() ? std::move(*peer) : platform::TcpSocket();
}

// True when a connection waits on the listener right now.
inline bool HasPending(platform::TcpListener& listener) {
    return listener.WaitAcceptable(std::chrono::milliseconds(0)) == platform::WaitResult::Ready;
}

// Reads from a peer socket until the other side closes; what arrived.
inline std::string ReadToEnd(platform::TcpSocket& peer) {
    std::string received;
    char buffer[1500];
    for (;;) {
        if (peer.WaitReadable(std::chrono::seconds(5), nullptr) != platform::WaitResult::Ready) {
            ADD_FAILURE() << "the other side neither sent nor closed";
            return received;
        }
        auto n = peer.Receive(buffer, sizeof buffer);
        if (!n || *n == 0) {
            return received;
        }
        received.append(buffer, *n);
    }
}

// Time-outs short enough for tests; the normal one is long enough never to
// expire while a test's peer is working.
inline net::Timeouts TestTimeouts() {
    return net::Timeouts{std::chrono::milliseconds(30), std::chrono::seconds(5),
                         std::chrono::seconds(10)};
}

}  // namespace connection_testing

#pragma once
// A loopback peer that answers each request with the next scripted reply
// and records the requests it received, byte for byte.

#include <atomic>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/socket.h"

namespace testing_support {

struct ScriptedReply {
    std::string bytes;
    // Close the connection after sending (else it stays for the next request).
    bool close = false;
    // Send, then keep the connection open without sending more until the
    // client goes or the server stops.
    bool stall = false;
};

class ScriptedServer {
  public:
    ScriptedServer();
    ~ScriptedServer();
    ScriptedServer(const ScriptedServer&) = delete;
    ScriptedServer& operator=(const ScriptedServer&) = delete;

    std::uint16_t port() const { return port_; }
    void Add(ScriptedReply reply);
    void Add(std::string bytes, bool close = false) { Add(ScriptedReply{std::move(bytes), close}); }
    // The header blocks received so far, in order.
    std::vector<std::string> Requests() const;
    int Connections() const { return connections_.load(); }

  private:
    void Serve();
    bool ReadRequest(platform::TcpSocket& socket, std::string* request);

    platform::TcpListener listener_;
    std::uint16_t port_ = 0;
    mutable std::mutex mutex_;
    std::deque<ScriptedReply> replies_;
    std::vector<std::string> requests_;
    std::atomic<bool> stop_{false};
    std::atomic<int> connections_{0};
    std::thread thread_;
};

}  // namespace testing_support

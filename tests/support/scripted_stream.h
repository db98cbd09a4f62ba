#pragma once
// Streams played from scripts, in memory, for the code above a connection:
// no socket, no peer thread and no real wait. Two ways to script them:
//
// - ScriptedConnector: byte-level steps per connection (what each receive
//   gets, what each send must carry, pauses, a close, errors, interrupted
//   calls, short sends); a step left over at the end fails the test.
// - ScriptedPeer: a peer that answers each request with the next reply
//   of its queue, across connections; a reply left over fails the test.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "net/byte_stream.h"

namespace testing_support {

struct StreamStep {
    enum class Kind { Read, Expect, Request, Pause, Close, Fail, Interrupt, TakeAtMost };
    Kind kind = Kind::Read;
    std::string bytes;                   // Read: served; Expect: to be sent
    std::chrono::milliseconds pause{0};  // Pause
    int error = 0;                       // Fail
    std::size_t count = 0;               // TakeAtMost
};

// Served to the next receives, as much as each asks for.
StreamStep Read(std::string bytes);
// The next bytes sent must be these.
StreamStep Expect(std::string bytes);
// The next bytes sent are a request's header block (up to its empty line),
// recorded for Requests().
StreamStep ExpectRequest();
// Nothing to read for this long: a wait shorter than that times out (and
// the pause is over); a longer wait sees the next step.
StreamStep Pause(std::chrono::milliseconds duration);
// The peer closes: waits are ready and receives give 0 from here on.
StreamStep Close();
// The next wait or receive fails with this system error code.
StreamStep Fail(int code);
// The next send, wait or receive is interrupted before it does anything.
StreamStep Interrupt();
// From here on each send takes at most `count` bytes.
StreamStep TakeAtMost(std::size_t count);
// `bytes` as reads of `size` bytes each (1: a reply split at every byte).
std::vector<StreamStep> ReadInPieces(const std::string& bytes, std::size_t size);

class ScriptedConnector final : public net::StreamConnector {
  public:
    ScriptedConnector();
    ScriptedConnector(const ScriptedConnector&) = delete;
    ScriptedConnector& operator=(const ScriptedConnector&) = delete;
    // Fails the test when a connection was left unused or a step unplayed.
    ~ScriptedConnector() override;

    // The script of the next connection; connections take them in order.
    void AddConnection(std::vector<StreamStep> steps);
    // The next connection attempt fails with this code.
    void AddRefusal(int code);

    platform::Result<std::unique_ptr<net::ByteStream>> Connect(std::uint32_t address,
                                                               std::uint16_t port) override;

    // The request blocks of ExpectRequest steps so far, in order.
    std::vector<std::string> Requests() const;
    int Connections() const;

    struct State;

  private:
    std::shared_ptr<State> state_;
};

// A reply of a ScriptedPeer.
struct ScriptedReply {
    ScriptedReply() = default;
    ScriptedReply(std::string bytesIn, bool closeIn = false, bool stallIn = false)
        : bytes(std::move(bytesIn)), close(closeIn), stall(stallIn) {}

    std::string bytes;
    // Close the connection after sending (else it stays for the next request).
    bool close = false;
    // Send, then nothing more: every later wait on the connection times out.
    bool stall = false;
    // Runs once when the first `hookAfter` bytes of the reply have been read
    // (on the reading thread), as something else happens mid-reply.
    std::size_t hookAfter = 0;
    std::function<void()> hook;
};

class ScriptedPeer final : public net::StreamConnector {
  public:
    ScriptedPeer();
    ScriptedPeer(const ScriptedPeer&) = delete;
    ScriptedPeer& operator=(const ScriptedPeer&) = delete;
    // Fails the test when a reply was never asked for.
    ~ScriptedPeer() override;

    void Add(ScriptedReply reply);
    void Add(std::string bytes, bool close = false) { Add(ScriptedReply{std::move(bytes), close}); }

    platform::Result<std::unique_ptr<net::ByteStream>> Connect(std::uint32_t address,
                                                               std::uint16_t port) override;

    // The header blocks received so far, in order.
    std::vector<std::string> Requests() const;
    int Connections() const;
    // The port a ScriptedNetwork gave it (0 alone).
    std::uint16_t port() const { return port_; }

    struct State;

  private:
    friend class ScriptedNetwork;
    std::shared_ptr<State> state_;
    std::uint16_t port_ = 0;
};

// Peers on ports of 127.0.0.1 that exist only here: a connection goes to
// the peer of its port, and is refused on any other.
class ScriptedNetwork final : public net::StreamConnector {
  public:
    // A new peer and the port it answers on.
    ScriptedPeer& AddPeer(std::uint16_t port);

    platform::Result<std::unique_ptr<net::ByteStream>> Connect(std::uint32_t address,
                                                               std::uint16_t port) override;

  private:
    std::map<std::uint16_t, std::unique_ptr<ScriptedPeer>> peers_;
};

}  // namespace testing_support

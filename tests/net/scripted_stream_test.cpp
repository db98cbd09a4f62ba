// The connection over scripted streams: what a socket rarely shows on
// loopback (short sends, interrupted calls, a reply split at every byte,
// pauses around the time-out, resets) played exactly, without a peer.

#include <gtest/gtest.h>

#include <cerrno>
#include <string>

#include "net/server_connection.h"
#include "support/scripted_stream.h"

namespace {

using namespace testing_support;
using std::chrono::milliseconds;

const net::Timeouts kTimeouts{milliseconds(100), milliseconds(100), milliseconds(100)};

// Receives until the connection ends: the bytes, and how it ended (0 for
// the peer's close, -1 for an error or time-out).
std::pair<std::string, std::ptrdiff_t> ReceiveAll(net::ServerConnection& connection,
                                                  std::size_t capacity) {
    std::string bytes;
    std::string buffer(capacity, '\0');
    for (;;) {
        const std::ptrdiff_t got = connection.Receive(buffer.data(), capacity);
        if (got <= 0) {
            return {bytes, got};
        }
        bytes.append(buffer.data(), static_cast<std::size_t>(got));
    }
}

TEST(ScriptedStreamTest, ShortAndInterruptedSendsStillSendEverythingInOrder) {
    const std::string request(10000, 'r');
    ScriptedConnector connector;
    connector.AddConnection({TakeAtMost(7), Interrupt(), Expect(request), Interrupt(),
                             Read("reply"), Interrupt(), Close()});
    net::ServerConnection connection("127.0.0.1", "80", net::DefaultHostResolver(), kTimeouts,
                                     connector);
    ASSERT_TRUE(connection.Open());
    EXPECT_EQ(connection.SendInPieces(request.data(), request.size()), request.size());
    const auto [bytes, end] = ReceiveAll(connection, 64 * 1024);
    EXPECT_EQ(bytes, "reply");
    EXPECT_EQ(end, 0);
    EXPECT_FALSE(connection.isOpen());
}

TEST(ScriptedStreamTest, AReplySplitAnywhereReadsAsTheSameBytes) {
    const std::string reply = "HTTP/1.1 200 OK\r\nContent-Length: 3\r\n\r\nabc";
    for (const std::size_t piece : {std::size_t{1}, std::size_t{2}, std::size_t{7}}) {
        for (const std::size_t capacity : {std::size_t{1}, std::size_t{5}, std::size_t{65536}}) {
            ScriptedConnector connector;
            std::vector<StreamStep> steps = ReadInPieces(reply, piece);
            steps.push_back(Close());
            connector.AddConnection(steps);
            net::ServerConnection connection("127.0.0.1", "80", net::DefaultHostResolver(),
                                             kTimeouts, connector);
            ASSERT_TRUE(connection.Open());
            EXPECT_EQ(ReceiveAll(connection, capacity).first, reply) << piece << " " << capacity;
        }
    }
}

// A pause within the receive time-out only delays the bytes; a longer one,
// or an error, ends the connection with -1.
TEST(ScriptedStreamTest, PausesErrorsAndRefusals) {
    const struct {
        const char* what;
        std::vector<StreamStep> steps;
        std::string received;
        std::ptrdiff_t end;
        int lastError;
    } cases[] = {
        {"short pause", {Read("a"), Pause(milliseconds(99)), Read("b"), Close()}, "ab", 0, 0},
        {"long pause", {Read("a"), Pause(milliseconds(101))}, "a", -1, ETIMEDOUT},
        {"reset", {Read("a"), Fail(ECONNRESET)}, "a", -1, ECONNRESET},
    };
    for (const auto& c : cases) {
        ScriptedConnector connector;
        connector.AddConnection(c.steps);
        net::ServerConnection connection("127.0.0.1", "80", net::DefaultHostResolver(), kTimeouts,
                                         connector);
        ASSERT_TRUE(connection.Open()) << c.what;
        const auto [bytes, end] = ReceiveAll(connection, 16);
        EXPECT_EQ(bytes, c.received) << c.what;
        EXPECT_EQ(end, c.end) << c.what;
        EXPECT_EQ(connection.lastError(), c.lastError) << c.what;
    }

    ScriptedConnector refusing;
    refusing.AddRefusal(ECONNREFUSED);
    net::ServerConnection connection("127.0.0.1", "80", net::DefaultHostResolver(), kTimeouts,
                                     refusing);
    EXPECT_FALSE(connection.Open());
    EXPECT_EQ(connection.DescribeError(), "connect failed 0 " + std::to_string(ECONNREFUSED));
}

}  // namespace

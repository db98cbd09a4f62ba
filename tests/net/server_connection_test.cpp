#include "net/server_connection.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "connection_test_support.h"
#include "platform/strings.h"
#include "support/system_files.h"

namespace {

using namespace connection_testing;
using net::ServerConnection;
using std::chrono::milliseconds;

TEST(ServerConnectionTest, CreationKeepsAtMost127HostCharactersAndReadsPortLikeAtoi) {
    ScriptedResolver resolver;
    const net::Timeouts timeouts{milliseconds(1), milliseconds(2), milliseconds(3)};
    const std::string longHost(200, 'h');
    ServerConnection connection(longHost, "80", resolver, timeouts);
    EXPECT_EQ(connection.host(), std::string(127, 'h'));
    EXPECT_EQ(connection.port(), 80);
    EXPECT_FALSE(connection.isOpen());
    EXPECT_EQ(connection.address(), 0u);
    EXPECT_EQ(connection.receiveTimeout(), milliseconds(2));

    const struct {
        const char* text;
        std::uint16_t port;
    } ports[] = {{"8080abc", 8080}, {" 443", 443}, {"abc", 0}, {"", 0}};
    for (const auto& row : ports) {
        connection.Retarget("host", row.text);
        EXPECT_EQ(connection.port(), row.port) << row.text;
    }
    EXPECT_TRUE(resolver.Looked().empty()) << "creating a connection must not look anything up";
}

TEST(ServerConnectionTest, TimeoutSwitchesAndRetargetRestoresTheNormalOne) {
    ScriptedResolver resolver;
    ServerConnection connection("host", "80", resolver,
                                {milliseconds(1), milliseconds(2), milliseconds(3)});
    connection.UseShortTimeout();
    EXPECT_EQ(connection.receiveTimeout(), milliseconds(1));
    connection.UseLongTimeout();
    EXPECT_EQ(connection.receiveTimeout(), milliseconds(3));
    connection.Retarget("host", "80");
    EXPECT_EQ(connection.receiveTimeout(), milliseconds(2));
    connection.UseShortTimeout();
    connection.UseNormalTimeout();
    EXPECT_EQ(connection.receiveTimeout(), milliseconds(2));
}

TEST(ServerConnectionTest, DottedQuadIsUsedWithoutLookup) {
    platform::TcpListener listener = Listen();
    ScriptedResolver resolver;
    ServerConnection connection("127.0.0.1", std::to_string(listener.Port()), resolver,
                                TestTimeouts());
    ASSERT_TRUE(connection.Open()) << connection.DescribeError();
    EXPECT_TRUE(connection.isOpen());
    EXPECT_EQ(connection.address(), LoopbackAddress());
    EXPECT_TRUE(resolver.Looked().empty());
    AcceptPending(listener);
}

TEST(ServerConnectionTest, FailedLookupIsRetriedAtNextOpenButSuccessfulOneIsKept) {
    platform::TcpListener listener = Listen();
    const std::string port = std::to_string(listener.Port());
    ScriptedResolver resolver;
    resolver.Answer("svc.test", LoopbackAddress(), /*failuresFirst=*/1);
    ServerConnection connection("svc.test", port, resolver, TestTimeouts());

    EXPECT_FALSE(connection.Open());
    EXPECT_EQ(connection.address(), 0u);
    EXPECT_EQ(connection.errorText(), "RACommLookup failed");
    EXPECT_EQ(connection.lastError(), ScriptedResolver::kLookupError);
    EXPECT_EQ(connection.DescribeError(),
              platform::StrPrintf("RACommLookup failed 0 %d", ScriptedResolver::kLookupError));
    EXPECT_FALSE(HasPending(listener));

    ASSERT_TRUE(connection.Open()) << connection.DescribeError();
    EXPECT_EQ(connection.address(), LoopbackAddress());
    EXPECT_EQ(resolver.Looked().size(), 2u);
    AcceptPending(listener);

    // Later opens, also after a retarget to the same host, reuse the address.
    connection.Close();
    ASSERT_TRUE(connection.Open());
    AcceptPending(listener);
    connection.Retarget("svc.test", port);
    ASSERT_TRUE(connection.Open());
    AcceptPending(listener);
    EXPECT_EQ(resolver.Looked().size(), 2u);
}

TEST(ServerConnectionTest, RefusedConnectIsDescribedWithTheSocketError) {
    ScriptedResolver resolver;
    ServerConnection connection("127.0.0.1", RefusedPortText(), resolver, TestTimeouts());
    EXPECT_FALSE(connection.Open());
    EXPECT_FALSE(connection.isOpen());
    EXPECT_EQ(connection.errorText(), "connect failed");
    const int refused = testing_support::RefusedConnectionCode();
    EXPECT_EQ(connection.lastError(), refused);
    EXPECT_EQ(connection.DescribeError(), platform::StrPrintf("connect failed 0 %d", refused));
    // The address was resolved and stays even though the connect failed.
    EXPECT_EQ(connection.address(), LoopbackAddress());
}

TEST(ServerConnectionTest, OpenOnAnOpenConnectionKeepsTheSocket) {
    platform::TcpListener listener = Listen();
    ScriptedResolver resolver;
    ServerConnection connection("127.0.0.1", std::to_string(listener.Port()), resolver,
                                TestTimeouts());
    ASSERT_TRUE(connection.Open());
    platform::TcpSocket peer = AcceptPending(listener);
    ASSERT_TRUE(connection.Open());
    EXPECT_FALSE(HasPending(listener)) << "a second connection was made";
    // The first socket still carries data.
    ASSERT_EQ(connection.SendAll("x", 1), 1u);
    char byte = 0;
    ASSERT_EQ(peer.WaitReadable(std::chrono::seconds(5), nullptr), platform::WaitResult::Ready);
    ASSERT_TRUE(peer.Receive(&byte, 1).ok());
    EXPECT_EQ(byte, 'x');
}

// A connection opened to a fresh loopback listener, with the peer's end.
struct Connected {
    platform::TcpListener listener = Listen();
    ScriptedResolver resolver;
    ServerConnection connection{"127.0.0.1", std::to_string(listener.Port()), resolver,
                                TestTimeouts()};
    platform::TcpSocket peer;

    Connected() {
        EXPECT_TRUE(connection.Open()) << connection.DescribeError();
        peer = AcceptPending(listener);
    }
};

TEST(ServerConnectionReceiveTest, OneReceiveDeliversWhatArrivedUpToTheCapacity) {
    Connected c;
    ASSERT_TRUE(c.peer.SendAll("hello", 5).ok());
    char first = 0;
    ASSERT_EQ(c.connection.Receive(&first, 1), 1);
    EXPECT_EQ(first, 'h');
    std::string rest;
    char buffer[16];
    while (rest.size() < 4) {
        const std::ptrdiff_t n = c.connection.Receive(buffer, sizeof buffer);
        ASSERT_GT(n, 0);
        rest.append(buffer, static_cast<std::size_t>(n));
    }
    EXPECT_EQ(rest, "ello");
    EXPECT_TRUE(c.connection.isOpen());
}

TEST(ServerConnectionReceiveTest, BytesReadAheadComeOutInOrderAndGoWithTheConnection) {
    Connected c;
    const std::string sent = "HTTP/1.1 200 OK\r\nContent-Length: 3\r\n\r\nabcNEXT";
    ASSERT_TRUE(c.peer.SendAll(sent.data(), sent.size()).ok());
    c.peer.Close();
    // One byte at a time, as the header reader does, then bigger pieces;
    // the end of the stream comes only after every byte.
    std::string got;
    char byte = 0;
    while (got.size() < 10) {
        ASSERT_EQ(c.connection.Receive(&byte, 1), 1);
        got.push_back(byte);
    }
    char buffer[64];
    for (;;) {
        const std::ptrdiff_t n = c.connection.Receive(buffer, sizeof buffer);
        ASSERT_GE(n, 0);
        if (n == 0) {
            break;
        }
        got.append(buffer, static_cast<std::size_t>(n));
    }
    EXPECT_EQ(got, sent);
    EXPECT_FALSE(c.connection.isOpen());
}

TEST(ServerConnectionReceiveTest, LargeReadsTakeWhatWasReadAheadFirstThenTheSocket) {
    Connected c;
    std::string sent = "HTTP/1.1 200 OK\r\n\r\n";
    for (int i = 0; sent.size() < 300 * 1024; ++i) {
        sent += static_cast<char>('a' + i % 26);
    }
    std::thread sender([&] {
        EXPECT_TRUE(c.peer.SendAll(sent.data(), sent.size()).ok());
        c.peer.Close();
    });
    // The header a byte at a time, then reads larger than the read-ahead.
    std::string got;
    char byte = 0;
    while (got.size() < 19) {
        ASSERT_EQ(c.connection.Receive(&byte, 1), 1);
        got.push_back(byte);
    }
    std::vector<char> buffer(2 * ServerConnection::kReadAheadSize);
    for (;;) {
        const std::ptrdiff_t n = c.connection.Receive(buffer.data(), buffer.size());
        ASSERT_GE(n, 0);
        ASSERT_LE(static_cast<std::size_t>(n), buffer.size());
        if (n == 0) {
            break;
        }
        got.append(buffer.data(), static_cast<std::size_t>(n));
    }
    sender.join();
    EXPECT_TRUE(got == sent);
    EXPECT_FALSE(c.connection.isOpen());
}

TEST(ServerConnectionReceiveTest, CloseDropsWhatWasReadAhead) {
    Connected c;
    ASSERT_TRUE(c.peer.SendAll("first reply", 11).ok());
    char byte = 0;
    ASSERT_EQ(c.connection.Receive(&byte, 1), 1);
    c.connection.Close();
    ASSERT_TRUE(c.connection.Open());
    platform::TcpSocket second = AcceptPending(c.listener);
    ASSERT_TRUE(second.SendAll("Z", 1).ok());
    char buffer[16];
    ASSERT_EQ(c.connection.Receive(buffer, sizeof buffer), 1);
    EXPECT_EQ(buffer[0], 'Z') << "nothing of the first connection is left over";
}

TEST(ServerConnectionReceiveTest, PeerCloseGivesZeroAndClosesTheConnectionOnce) {
    Connected c;
    c.peer.Close();
    char buffer[8];
    EXPECT_EQ(c.connection.Receive(buffer, sizeof buffer), 0);
    EXPECT_FALSE(c.connection.isOpen());

    // Closing again and receiving again find no socket; the object can be
    // opened afresh.
    c.connection.Close();
    EXPECT_FALSE(c.connection.isOpen());
    EXPECT_EQ(c.connection.Receive(buffer, sizeof buffer), -1);
    ASSERT_TRUE(c.connection.Open());
    platform::TcpSocket second = AcceptPending(c.listener);
    ASSERT_TRUE(second.SendAll("z", 1).ok());
    ASSERT_EQ(c.connection.Receive(buffer, sizeof buffer), 1);
    EXPECT_EQ(buffer[0], 'z');
}

TEST(ServerConnectionReceiveTest, SilentPeerTimesOutWithMinusOneAndTheSocketIsClosed) {
    Connected c;
    c.connection.UseShortTimeout();
    char buffer[8];
    EXPECT_EQ(c.connection.Receive(buffer, sizeof buffer), -1);
    EXPECT_FALSE(c.connection.isOpen());
    EXPECT_EQ(c.connection.lastError(), ETIMEDOUT);
    c.connection.Close();
    EXPECT_FALSE(c.connection.isOpen());
    // The peer sees the end of the stream: our socket really went.
    EXPECT_EQ(ReadToEnd(c.peer), "");
}

TEST(ServerConnectionReceiveTest, ResetByPeerGivesMinusOne) {
    if (!testing_support::AbortReachesThePeerAsReset()) {
        GTEST_SKIP() << "this system delivers an aborted connection as an orderly end";
    }
    Connected c;
    c.peer.Abort();
    char buffer[8];
    EXPECT_EQ(c.connection.Receive(buffer, sizeof buffer), -1);
    EXPECT_EQ(c.connection.lastError(), testing_support::ResetConnectionCode());
    EXPECT_FALSE(c.connection.isOpen());
}

TEST(ServerConnectionSendTest, SendInPiecesDeliversEveryByteOfALargeBuffer) {
    Connected c;
    std::vector<char> bytes(10'000);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<char>((i * 7) % 251);
    }
    std::string received;
    {
        std::jthread reader([&] { received = ReadToEnd(c.peer); });
        EXPECT_EQ(c.connection.SendInPieces(bytes.data(), bytes.size()), bytes.size());
        c.connection.Close();
    }
    ASSERT_EQ(received.size(), bytes.size());
    EXPECT_EQ(std::memcmp(received.data(), bytes.data(), bytes.size()), 0);
}

TEST(ServerConnectionSendTest, ZeroLengthAndClosedConnectionsSendNothing) {
    Connected c;
    EXPECT_EQ(c.connection.SendAll("abc", 0), 0u);
    EXPECT_EQ(c.connection.SendInPieces("abc", 0), 0u);
    c.connection.Close();
    EXPECT_EQ(ReadToEnd(c.peer), "");
    EXPECT_EQ(c.connection.SendAll("abc", 3), 0u);
    EXPECT_EQ(c.connection.SendInPieces("abc", 3), 0u);
    EXPECT_EQ(c.connection.lastError(), EBADF);
}

TEST(ServerConnectionSendTest, RetargetClosesAnOpenConnectionAndKeepsTheAddress) {
    Connected c;
    c.connection.UseLongTimeout();
    c.connection.Retarget("127.0.0.1", std::to_string(c.listener.Port()));
    EXPECT_FALSE(c.connection.isOpen());
    EXPECT_EQ(c.connection.receiveTimeout(), TestTimeouts().normalTimeout);
    EXPECT_EQ(c.connection.address(), LoopbackAddress());
    EXPECT_EQ(ReadToEnd(c.peer), "");
}

}  // namespace

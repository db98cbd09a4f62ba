#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "platform/socket.h"

namespace {

using platform::TcpListener;
using platform::TcpSocket;
using platform::WaitResult;

struct Pair {
    TcpListener listener;
    TcpSocket client;
    TcpSocket server;
};

Pair Connected() {
    platform::StartupSockets();
    Pair pair;
    auto listener = TcpListener::ListenLoopback(0);
    EXPECT_TRUE(listener.ok());
    pair.listener = std::move(*listener);
    auto client =
        TcpSocket::Connect(platform::ParseDottedQuad("127.0.0.1").value(), pair.listener.Port());
    EXPECT_TRUE(client.ok());
    pair.client = std::move(*client);
    EXPECT_EQ(pair.listener.WaitAcceptable(std::chrono::seconds(5)), WaitResult::Ready);
    auto server = pair.listener.Accept();
    EXPECT_TRUE(server.ok());
    pair.server = std::move(*server);
    return pair;
}

TEST(SocketShutdownTest, ShutdownWakesAWaitInAnotherThreadAndThePeerSeesTheEnd) {
    Pair pair = Connected();
    WaitResult woke = WaitResult::Failed;
    std::size_t received = 99;
    std::thread waiter([&] {
        // Far longer than the test may take: only the shutdown can end it.
        woke = pair.server.WaitReadable(std::chrono::minutes(10), nullptr);
        char byte = 0;
        auto n = pair.server.Receive(&byte, 1);
        received = n.ok() ? *n : 99;
    });
    pair.server.Shutdown();
    waiter.join();
    EXPECT_EQ(woke, WaitResult::Ready);
    EXPECT_EQ(received, 0u);

    ASSERT_EQ(pair.client.WaitReadable(std::chrono::seconds(5), nullptr), WaitResult::Ready);
    char byte = 0;
    auto n = pair.client.Receive(&byte, 1);
    ASSERT_TRUE(n.ok());
    EXPECT_EQ(*n, 0u);
}

TEST(SocketShutdownTest, SendTimeoutEndsASendToAPeerThatDoesNotRead) {
    Pair pair = Connected();
    ASSERT_TRUE(pair.server.SetSendTimeout(std::chrono::milliseconds(100)).ok());
    // Far more than both socket buffers hold.
    const std::string bytes(64 << 20, 'x');
    const platform::Status sent = pair.server.SendAll(bytes.data(), bytes.size());
    EXPECT_FALSE(sent.ok());
}

}  // namespace

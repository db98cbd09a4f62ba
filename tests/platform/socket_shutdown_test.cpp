#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <string>
#include <thread>

#include "platform/socket.h"
#include "support/temp_dir.h"

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

// Reads until the peer has sent `count` bytes or closed.
std::string ReceiveUpTo(TcpSocket& socket, std::size_t count) {
    std::string got;
    char buffer[4096];
    while (got.size() < count &&
           socket.WaitReadable(std::chrono::seconds(5), nullptr) == WaitResult::Ready) {
        auto n = socket.Receive(buffer, sizeof buffer);
        if (!n.ok() || *n == 0) {
            break;
        }
        got.append(buffer, *n);
    }
    return got;
}

TEST(SocketShutdownTest, SendFileSendsAStretchAndLeavesTheFilePositionAlone) {
    testing_support::TempDir dir;
    std::string content;
    for (int i = 0; i < 300000; ++i) {
        content.push_back(static_cast<char>('a' + i % 23));
    }
    dir.Write("body.bin", content);
    auto file = platform::File::Open(dir.Sub("body.bin"), platform::FileAccess::ReadShared);
    ASSERT_TRUE(file.ok());
    Pair pair = Connected();

    std::string received;
    std::thread reader([&] { received = ReceiveUpTo(pair.client, 250000); });
    EXPECT_TRUE(pair.server.SendFile(*file, 1000, 250000).ok());
    reader.join();
    EXPECT_EQ(received, content.substr(1000, 250000));

    char first = 0;
    auto read = file->Read(&first, 1);
    ASSERT_TRUE(read.ok());
    EXPECT_EQ(first, 'a');
}

TEST(SocketShutdownTest, SendFileFailsWhenTheFileEndsFirst) {
    testing_support::TempDir dir;
    dir.Write("short.bin", std::string(5000, 's'));
    auto file = platform::File::Open(dir.Sub("short.bin"), platform::FileAccess::ReadShared);
    ASSERT_TRUE(file.ok());
    Pair pair = Connected();

    std::string received;
    std::thread reader([&] { received = ReceiveUpTo(pair.client, 5000); });
    const platform::Status sent = pair.server.SendFile(*file, 0, 8000);
    reader.join();
    EXPECT_FALSE(sent.ok());
    EXPECT_EQ(sent.error().code, EIO);
    EXPECT_EQ(received, std::string(5000, 's'));
}

}  // namespace

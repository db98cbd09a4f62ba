// Auto-reset events and loopback sockets.

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "platform/socket.h"
#include "platform/sync.h"

namespace {

using namespace std::chrono_literals;

TEST(AutoResetEvent, ASignalStaysPendingUntilOneWaitConsumesIt) {
    platform::AutoResetEvent event;
    event.Signal();
    event.Signal();  // signals do not count up
    EXPECT_TRUE(event.WaitFor(0ms));
    EXPECT_FALSE(event.WaitFor(0ms));
    event.Signal();
    event.Clear();
    EXPECT_FALSE(event.WaitFor(0ms));
}

TEST(AutoResetEvent, ReleasesExactlyOneWaiterPerSignal) {
    platform::AutoResetEvent event;
    platform::AutoResetEvent released;
    std::thread waiter([&] {
        event.Wait();
        released.Signal();
    });
    EXPECT_FALSE(released.WaitFor(20ms));
    event.Signal();
    EXPECT_TRUE(released.WaitFor(5s));
    waiter.join();
}

TEST(Sockets, DottedQuadParsesWithoutLookup) {
    auto address = platform::ParseDottedQuad("127.0.0.1");
    ASSERT_TRUE(address);
    EXPECT_EQ(*address, 0x0100007Fu);  // network byte order on this machine
    EXPECT_FALSE(platform::ParseDottedQuad("b1.example"));
    EXPECT_FALSE(platform::ParseDottedQuad("256.1.1.1"));
}

TEST(Sockets, LoopbackExchangeAndOrderlyClose) {
    ASSERT_TRUE(platform::StartupSockets());
    auto listener = platform::TcpListener::ListenLoopback(0);
    ASSERT_TRUE(listener);
    ASSERT_NE(listener->Port(), 0);
    auto client =
        platform::TcpSocket::Connect(*platform::ParseDottedQuad("127.0.0.1"), listener->Port());
    ASSERT_TRUE(client);
    auto server = listener->Accept();
    ASSERT_TRUE(server);

    platform::SysError error;
    EXPECT_EQ(client->WaitReadable(10ms, &error), platform::WaitResult::TimedOut);
    ASSERT_TRUE(server->SendAll("hello", 5));
    ASSERT_EQ(client->WaitReadable(5s, &error), platform::WaitResult::Ready);
    char buffer[16] = {};
    auto got = client->Receive(buffer, sizeof buffer);
    ASSERT_TRUE(got);
    EXPECT_EQ(std::string(buffer, *got), "hello");

    server->Close();
    ASSERT_EQ(client->WaitReadable(5s, &error), platform::WaitResult::Ready);
    auto end = client->Receive(buffer, sizeof buffer);
    ASSERT_TRUE(end);
    EXPECT_EQ(*end, 0u);
    // Sending into a closed peer reports an error instead of a signal.
    bool failed = false;
    for (int i = 0; i < 50 && !failed; ++i) {
        failed = !client->SendAll("x", 1);
        std::this_thread::yield();
    }
    EXPECT_TRUE(failed);
}

TEST(Sockets, RefusedConnectReportsTheError) {
    std::uint16_t port = 0;
    {
        auto listener = platform::TcpListener::ListenLoopback(0);
        ASSERT_TRUE(listener);
        port = listener->Port();
    }
    auto client = platform::TcpSocket::Connect(*platform::ParseDottedQuad("127.0.0.1"), port);
    ASSERT_FALSE(client);
    EXPECT_NE(client.error().code, 0);
}

}  // namespace

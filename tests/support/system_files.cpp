#include "support/system_files.h"

#include <chrono>

#include "platform/socket.h"

namespace testing_support {

bool AbortReachesThePeerAsReset() {
    platform::StartupSockets();
    auto listener = platform::TcpListener::ListenLoopback(0);
    if (!listener) {
        return false;
    }
    auto client = platform::TcpSocket::Connect(platform::ParseDottedQuad("127.0.0.1").value(),
                                               listener->Port());
    if (!client ||
        listener->WaitAcceptable(std::chrono::seconds(5)) != platform::WaitResult::Ready) {
        return false;
    }
    auto server = listener->Accept();
    if (!server) {
        return false;
    }
    server->Abort();
    if (client->WaitReadable(std::chrono::seconds(5), nullptr) != platform::WaitResult::Ready) {
        return false;
    }
    char byte = 0;
    const auto received = client->Receive(&byte, 1);
    return !received.ok() && received.error().code == ResetConnectionCode();
}

}  // namespace testing_support

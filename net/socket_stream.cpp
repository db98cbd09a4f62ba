#include "net/byte_stream.h"

namespace net {
namespace {

class SocketStream final : public ByteStream {
  public:
    explicit SocketStream(platform::TcpSocket socket) : socket_(std::move(socket)) {}

    platform::Result<std::size_t> Send(const void* data, std::size_t length) override {
        return socket_.Send(data, length);
    }
    platform::WaitResult WaitReadable(std::chrono::milliseconds timeout,
                                      platform::SysError* error) override {
        return socket_.WaitReadable(timeout, error);
    }
    platform::Result<std::size_t> Receive(void* buffer, std::size_t capacity) override {
        return socket_.Receive(buffer, capacity);
    }
    void Interrupt() override { socket_.Shutdown(); }

  private:
    platform::TcpSocket socket_;
};

class TcpConnector final : public StreamConnector {
  public:
    platform::Result<std::unique_ptr<ByteStream>> Connect(std::uint32_t address,
                                                          std::uint16_t port) override {
        auto socket = platform::TcpSocket::Connect(address, port);
        if (!socket) {
            return socket.error();
        }
        return std::unique_ptr<ByteStream>(std::make_unique<SocketStream>(std::move(*socket)));
    }
};

}  // namespace

StreamConnector& SocketConnector() {
    static TcpConnector connector;
    return connector;
}

}  // namespace net

#include "service_support/service_test_support.h"

#include <array>

#include "engine/zip_extractor.h"
#include "engine/zip_reader.h"
#include "net/message_cipher.h"
#include "net/request_builder.h"
#include "platform/file.h"
#include "platform/path.h"

namespace service_testing {

std::array<std::uint8_t, net::KeyTable::kSize> TableBytes() {
    std::array<std::uint8_t, net::KeyTable::kSize> bytes;
    std::uint32_t state = 0x2545F491u;
    for (std::uint8_t& byte : bytes) {
        state = state * 1664525u + 1013904223u;
        byte = static_cast<std::uint8_t>(state >> 24);
    }
    return bytes;
}

net::KeyTable Table() {
    const auto bytes = TableBytes();
    return net::KeyTable(bytes);
}

platform::FileTime NewYearsEve2006() {
    return platform::SystemTimeToFileTime({2006, 12, 0, 31, 15, 45, 30, 0}).value();
}

std::string PatternBytes(std::size_t size, unsigned seed) {
    std::string bytes(size, '\0');
    std::uint32_t state = seed * 2654435761u + 1;
    for (char& c : bytes) {
        state = state * 1103515245u + 12345u;
        c = static_cast<char>(state >> 16);
    }
    return bytes;
}

void WriteDatedFile(const testing_support::TempDir& dir, const std::string& relative,
                    const std::string& bytes, std::optional<platform::FileTime> lastWrite) {
    dir.Write(relative, bytes);
    if (lastWrite) {
        auto file = platform::File::Open(dir.Sub(relative), platform::FileAccess::WriteExisting);
        ASSERT_TRUE(file.ok()) << relative;
        ASSERT_TRUE(file->SetLastWriteTime(*lastWrite).ok()) << relative;
    }
}

bool ReplyRead::HasHeader(std::string_view line) const {
    return header.find(std::string(line) + "\r\n") != std::string::npos;
}

RawClient::RawClient(std::uint16_t port) {
    auto connected =
        platform::TcpSocket::Connect(platform::ParseDottedQuad("127.0.0.1").value(), port);
    EXPECT_TRUE(connected.ok()) << connected.error().Message();
    if (connected.ok()) {
        socket_ = std::move(*connected);
    }
}

bool RawClient::Send(std::string_view bytes) {
    return socket_.SendAll(bytes.data(), bytes.size()).ok();
}

std::string RawClient::ReadBytes(std::size_t count) {
    std::string bytes;
    std::array<char, 4096> buffer;
    while (bytes.size() < count) {
        if (socket_.WaitReadable(kPatience, nullptr) != platform::WaitResult::Ready) {
            ADD_FAILURE() << "the service neither sent nor closed";
            break;
        }
        auto n = socket_.Receive(buffer.data(), std::min(buffer.size(), count - bytes.size()));
        if (!n || *n == 0) {
            break;
        }
        bytes.append(buffer.data(), *n);
    }
    return bytes;
}

std::optional<ReplyRead> RawClient::ReadReply(bool expectEnd) {
    net::ReplyHeaderReader reader;
    while (!reader.Complete()) {
        if (socket_.WaitReadable(kPatience, nullptr) != platform::WaitResult::Ready) {
            ADD_FAILURE() << "no reply within the patience; got \"" << reader.Block() << "\"";
            return std::nullopt;
        }
        char byte = 0;
        auto n = socket_.Receive(&byte, 1);
        if (!n || *n == 0) {
            if (!expectEnd) {
                ADD_FAILURE() << "the connection ended after \"" << reader.Block() << "\"";
            }
            return std::nullopt;
        }
        reader.Feed(byte);
    }
    ReplyRead reply;
    reply.header = reader.Block();
    reply.fields = net::ParseReplyHeaders(reply.header);
    if (reply.fields.contentLength && *reply.fields.contentLength > 0) {
        const auto length = static_cast<std::size_t>(*reply.fields.contentLength);
        reply.body = ReadBytes(length);
        EXPECT_EQ(reply.body.size(), length) << "the body broke off";
    }
    return reply;
}

std::string RawClient::ReadToEnd() {
    std::string bytes;
    std::array<char, 4096> buffer;
    for (;;) {
        if (socket_.WaitReadable(kPatience, nullptr) != platform::WaitResult::Ready) {
            ADD_FAILURE() << "the service did not close the connection";
            return bytes;
        }
        auto n = socket_.Receive(buffer.data(), buffer.size());
        if (!n || *n == 0) {
            return bytes;
        }
        bytes.append(buffer.data(), *n);
    }
}

bool RawClient::ClosedByService() {
    if (socket_.WaitReadable(kPatience, nullptr) != platform::WaitResult::Ready) {
        return false;
    }
    char byte = 0;
    auto n = socket_.Receive(&byte, 1);
    // A reset counts as closed too.
    return !n || *n == 0;
}

bool RawClient::StaysSilent(std::chrono::milliseconds quiet) {
    return socket_.WaitReadable(quiet, nullptr) == platform::WaitResult::TimedOut;
}

ServiceTest::~ServiceTest() {
    if (service_) {
        service_->Stop();
    }
}

void ServiceTest::StartService(const std::function<void(qvn_service::ServiceOptions&)>& adjust) {
    qvn_service::ServiceOptions options(table_);
    options.root = root_.path();
    options.receiveTimeout = std::chrono::seconds(5);
    if (adjust) {
        adjust(options);
    }
    qvn_service::ServiceStart start = qvn_service::QvnService::Start(std::move(options));
    ASSERT_TRUE(start.ok()) << start.error;
    service_ = std::move(start.service);
}

std::uint16_t ServiceTest::Port() const {
    return service_->Ports().at(0);
}

void ServiceTest::WriteFile(const std::string& key, const std::string& relative,
                            const std::string& bytes, std::optional<platform::FileTime> lastWrite) {
    WriteDatedFile(root_, key + "/" + relative, bytes, lastWrite);
}

void ServiceTest::WriteSettings(const std::string& key, const std::string& text) {
    root_.Write(key + ".conf", text);
}

std::string ServiceTest::CredentialLines(const std::string& key) {
    net::Credentials credentials;
    credentials.downloadKey = key;
    credentials.clientId = "client-7";
    const auto lines = net::AddCredentialHeaders(table_, credentials, clock_);
    EXPECT_TRUE(lines.has_value());
    // Every request gets another token, as the client's clock moves on.
    clock_.Advance(std::chrono::seconds(37));
    return lines.value_or("");
}

std::string ServiceTest::ServiceRequest(std::string_view word, const std::string& key,
                                        std::string_view fileId) {
    return net::ServiceRequestText(word, "b2.qvn.test", CredentialLines(key), fileId);
}

std::string ServiceTest::DownloadRequest(const std::string& key, std::string_view fileId,
                                         std::string_view restartDescription,
                                         bool transferCompress) {
    net::FangRequest fang;
    fang.timeModulo = clock_.NowSeconds() % 1025;
    fang.timeBits = clock_.NowSeconds() & 0xFFF;
    fang.transferCompress = transferCompress;
    return net::DownloadRequestText("b2.qvn.test", CredentialLines(key), fileId, restartDescription,
                                    fang);
}

std::optional<ReplyRead> ServiceTest::Exchange(const std::string& request) {
    RawClient client(Port());
    if (!client.Send(request)) {
        ADD_FAILURE() << "the request could not be sent";
        return std::nullopt;
    }
    return client.ReadReply();
}

std::string DecipherFileBody(const net::KeyTable& table, const ReplyRead& reply,
                             std::size_t copySize) {
    EXPECT_TRUE(reply.fields.fang.has_value());
    if (!reply.fields.fang || !reply.fields.fang->keyIndex) {
        return {};
    }
    const net::StreamDecipher decipher(table, *reply.fields.fang->keyIndex);
    std::string body = reply.body;
    // The client deciphers in pieces of 2048 bytes; so does this.
    for (std::size_t at = 0; at < body.size(); at += 2048) {
        const std::size_t length = std::min<std::size_t>(2048, body.size() - at);
        decipher.Decipher(
            std::span<std::uint8_t>(reinterpret_cast<std::uint8_t*>(body.data()) + at, length));
    }
    // A continuation's plain size is the whole file's; the body holds the rest.
    const auto plainSize = static_cast<std::size_t>(reply.fields.fang->plainSize) - copySize;
    EXPECT_LE(plainSize, body.size());
    body.resize(std::min(plainSize, body.size()));
    return body;
}

std::optional<std::string> UnzipWithClient(const std::string& archive) {
    std::optional<std::string> product;
    for (const engine::ZipReaderKind& reader : engine::ZipReaders()) {
        engine::MemorySink file;
        const bool ok =
            engine::ZipExtractor(reader).UnzipFirstEntry(engine::MemorySource(archive), file).ok();
        std::optional<std::string> unzipped;
        if (ok) {
            unzipped = std::move(file.bytes);
        }
        if (reader.name == engine::ZipReaders().front().name) {
            product = std::move(unzipped);
        } else {
            EXPECT_EQ(unzipped, product) << reader.name << " differs from the product's reader";
        }
    }
    return product;
}

std::string RestartFor(const std::string& copy, std::string_view fileId) {
    return net::BuildRestartHeader(
        std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(copy.data()),
                                      copy.size()),
        fileId);
}

}  // namespace service_testing

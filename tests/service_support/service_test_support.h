#pragma once
// Helpers for the service tests: an in-process service on a loopback port
// with a temporary root, requests built by the client's own request
// builders, and a raw client that reads replies the way the client does.

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "net/key_table.h"
#include "net/reply_header.h"
#include "platform/file_time.h"
#include "platform/socket.h"
#include "support/fake_clock.h"
#include "support/temp_dir.h"
#include "tools/service/qvn_service.h"

namespace service_testing {

// Long enough for any healthy exchange on a loaded machine; only a fault
// of the service makes a test wait this long.
inline constexpr std::chrono::seconds kPatience{10};

// A key table whose windows all differ, so that a wrong index deciphers to
// garbage.
std::array<std::uint8_t, net::KeyTable::kSize> TableBytes();
net::KeyTable Table();

// 31 December 2006 15:45:30 UTC, service date 07D60C1F0F2D1E.
platform::FileTime NewYearsEve2006();

// Bytes that do not repeat within a block, so that misplaced pieces show.
std::string PatternBytes(std::size_t size, unsigned seed = 1);

// Writes a file below a folder ('/' between levels), optionally dated.
void WriteDatedFile(const testing_support::TempDir& dir, const std::string& relative,
                    const std::string& bytes, std::optional<platform::FileTime> lastWrite);

struct ReplyRead {
    std::string header;  // the header block as received
    std::string body;    // Content-Length bytes (none without the header)
    net::ReplyHeaders fields;

    std::string Conclusion() const { return fields.conclusion.value_or(""); }
    bool HasHeader(std::string_view line) const;
};

// A connection to the service that sends raw bytes and reads replies one
// byte at a time through the client's own header reader.
class RawClient {
  public:
    explicit RawClient(std::uint16_t port);

    bool IsConnected() const { return socket_.IsOpen(); }
    platform::TcpSocket& socket() { return socket_; }

    bool Send(std::string_view bytes);
    // One reply; nothing (and a test failure unless `expectEnd`) when the
    // connection ends or stays silent first.
    std::optional<ReplyRead> ReadReply(bool expectEnd = false);
    // Everything until the service closes the connection.
    std::string ReadToEnd();
    // The service closed the connection (after anything it still sent).
    bool ClosedByService();
    // Nothing arrives for `quiet` and the connection stays open.
    bool StaysSilent(std::chrono::milliseconds quiet);
    // Exactly `count` bytes (fewer when the connection ends).
    std::string ReadBytes(std::size_t count);

  private:
    platform::TcpSocket socket_;
};

class ServiceTest : public ::testing::Test {
  protected:
    ~ServiceTest() override;

    void StartService(const std::function<void(qvn_service::ServiceOptions&)>& adjust = {});
    std::uint16_t Port() const;

    // Writes "<root>/<key>/<relative>" ('/' between levels), optionally
    // dated.
    void WriteFile(const std::string& key, const std::string& relative, const std::string& bytes,
                   std::optional<platform::FileTime> lastWrite = std::nullopt);
    void WriteSettings(const std::string& key, const std::string& text);

    std::string CredentialLines(const std::string& key);
    std::string ServiceRequest(std::string_view word, const std::string& key,
                               std::string_view fileId = "");
    std::string DownloadRequest(const std::string& key, std::string_view fileId,
                                std::string_view restartDescription = "",
                                bool transferCompress = false);

    // Sends one request on a new connection and reads its reply.
    std::optional<ReplyRead> Exchange(const std::string& request);

    testing_support::TempDir root_;
    testing_support::FakeClock clock_;
    net::KeyTable table_ = Table();
    std::unique_ptr<qvn_service::QvnService> service_;
};

// Deciphers a file body sent under the key index of its "X-QVN-Fang: "
// header and cuts it to the plain size (less the client's copy for a
// continuation).
std::string DecipherFileBody(const net::KeyTable& table, const ReplyRead& reply,
                             std::size_t copySize = 0);

// Unpacks the first member of a zip archive held in memory with every zip
// reader the build has, which must agree (a test failure otherwise); gives
// the product reader's member, or nothing when it reports a failure.
std::optional<std::string> UnzipWithClient(const std::string& archive);

// The restart header block a client sends to describe its copy of a file.
std::string RestartFor(const std::string& copy, std::string_view fileId);

}  // namespace service_testing

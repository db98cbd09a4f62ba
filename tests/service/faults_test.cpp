// Scripted faults from a key's settings file: each kind does what the
// client's failure handling is tested against, for as many requests as the
// rule says, and only for the requests it names.

#include <gtest/gtest.h>
#include <minizip/unzip.h>
#include <zlib.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "service_support/service_test_support.h"

namespace {

using service_testing::NewYearsEve2006;
using service_testing::PatternBytes;
using service_testing::RawClient;
using service_testing::UnzipWithClient;

// What one of a zip member's two headers says.
struct MemberHeader {
    std::uint64_t method = 0;
    std::uint64_t flags = 0;
    std::uint64_t crc = 0;
    std::uint64_t packedSize = 0;
    std::uint64_t size = 0;

    bool operator==(const MemberHeader&) const = default;
};

std::uint32_t Little(const std::string& bytes, std::size_t at, std::size_t width) {
    std::uint32_t value = 0;
    for (std::size_t i = width; i > 0; --i) {
        value = (value << 8) | static_cast<unsigned char>(bytes.at(at + i - 1));
    }
    return value;
}

// The local header at the archive's start, read by hand.
MemberHeader LocalHeader(const std::string& archive) {
    EXPECT_EQ(Little(archive, 0, 4), 0x04034b50u) << "no local header at the start";
    return {Little(archive, 8, 2), Little(archive, 6, 2), Little(archive, 14, 4),
            Little(archive, 18, 4), Little(archive, 22, 4)};
}

// The first central directory entry, as minizip reads it.
std::optional<MemberHeader> CentralHeader(const std::string& archive) {
    testing_support::TempDir dir;
    dir.Write("body.zip", archive);
    const std::unique_ptr<void, int (*)(unzFile)> zip(unzOpen64(dir.Sub("body.zip").c_str()),
                                                      unzClose);
    unz_file_info64 info{};
    if (!zip || unzGoToFirstFile(zip.get()) != UNZ_OK ||
        unzGetCurrentFileInfo64(zip.get(), &info, nullptr, 0, nullptr, 0, nullptr, 0) != UNZ_OK) {
        return std::nullopt;
    }
    return MemberHeader{info.compression_method, info.flag, info.crc, info.compressed_size,
                        info.uncompressed_size};
}

// The member's data as raw deflate, whatever its headers claim; nothing
// when it is not a whole deflate stream.
std::optional<std::string> InflateMember(const std::string& archive) {
    const std::size_t start = 30 + Little(archive, 26, 2) + Little(archive, 28, 2);
    const std::size_t packed = Little(archive, 18, 4);
    if (start + packed > archive.size()) {
        return std::nullopt;
    }
    z_stream stream{};
    if (inflateInit2(&stream, -MAX_WBITS) != Z_OK) {
        return std::nullopt;
    }
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(archive.data() + start));
    stream.avail_in = static_cast<uInt>(packed);
    std::string data;
    std::array<char, 16384> buffer;
    int rc = Z_OK;
    while (rc == Z_OK) {
        stream.next_out = reinterpret_cast<Bytef*>(buffer.data());
        stream.avail_out = static_cast<uInt>(buffer.size());
        rc = inflate(&stream, Z_NO_FLUSH);
        data.append(buffer.data(), buffer.size() - stream.avail_out);
    }
    inflateEnd(&stream);
    return rc == Z_STREAM_END ? std::optional(data) : std::nullopt;
}

class FaultsTest : public service_testing::ServiceTest {
  protected:
    void SetUp() override {
        content_ = PatternBytes(6000);
        WriteFile("Top", "a.bin", content_);
        WriteFile("Top", "b.bin", "second file");
    }

    // The whole reply that the service sends before it closes.
    std::string ReplyUntilClosed(const std::string& request) {
        RawClient client(Port());
        EXPECT_TRUE(client.Send(request));
        return client.ReadToEnd();
    }

    // A request of `word`; a DownLoad asks for the key's first file.
    std::string RequestFor(const std::string& word, const std::string& key) {
        return word == "DownLoad" ? DownloadRequest(key, "1") : ServiceRequest(word, key);
    }

    // A reply's header block up to and with its empty line, read a byte at a
    // time so that no body byte goes with it, and with no length limit.
    static std::string HeaderBlock(RawClient& client) {
        std::string bytes;
        while (bytes.size() < 4 || bytes.compare(bytes.size() - 4, 4, "\r\n\r\n") != 0) {
            const std::string more = client.ReadBytes(1);
            if (more.empty()) {
                ADD_FAILURE() << "the header block broke off after " << bytes.size() << " bytes";
                break;
            }
            bytes += more;
        }
        return bytes;
    }

    std::string content_;
};

TEST_F(FaultsTest, CloseBodySendsTheHeaderAndSomeBodyBytesThenCloses) {
    WriteSettings("Top", "fault = close_body after=100\n");
    StartService();
    const std::string bytes = ReplyUntilClosed(DownloadRequest("Top", "1"));
    const std::size_t end = bytes.find("\r\n\r\n");
    ASSERT_NE(end, std::string::npos);
    EXPECT_NE(bytes.find("Content-Length: 6000\r\n"), std::string::npos);
    EXPECT_EQ(bytes.substr(end + 4), content_.substr(0, 100));

    // Used up: the next download is whole and the connection stays.
    RawClient client(Port());
    ASSERT_TRUE(client.Send(DownloadRequest("Top", "1")));
    EXPECT_EQ(client.ReadReply()->body, content_);
    ASSERT_TRUE(client.Send(ServiceRequest("VDLK", "Top")));
    EXPECT_EQ(client.ReadReply()->Conclusion(), "Successful");
}

TEST_F(FaultsTest, CloseHeaderSendsOnlyThatManyHeaderBytes) {
    WriteSettings("Top", "fault = close_header after=20 word=VDLK times=2\n");
    StartService();
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(ReplyUntilClosed(ServiceRequest("VDLK", "Top")), "HTTP/1.1 200 OK\r\nX-Q");
    }
    EXPECT_EQ(Exchange(ServiceRequest("VDLK", "Top"))->Conclusion(), "Successful");
}

TEST_F(FaultsTest, StallsHoldTheConnectionSilentUntilTheClientGoesOrTheServiceStops) {
    WriteSettings("Top",
                  "fault = stall_header after=9 word=DKFL\n"
                  "fault = stall_body after=50 file=a.bin\n");
    StartService();

    RawClient header(Port());
    ASSERT_TRUE(header.Send(ServiceRequest("DKFL", "Top")));
    EXPECT_EQ(header.ReadBytes(9), "HTTP/1.1 ");
    EXPECT_TRUE(header.StaysSilent(std::chrono::milliseconds(200)));
    // The client gives up; the service lets the connection go and goes on.
    header.socket().Close();
    EXPECT_EQ(Exchange(ServiceRequest("DKFL", "Top"))->Conclusion(), "Successful");

    // Another file is not stalled; the named one is.
    EXPECT_EQ(Exchange(DownloadRequest("Top", "2"))->body, "second file");
    RawClient body(Port());
    ASSERT_TRUE(body.Send(DownloadRequest("Top", "1")));
    HeaderBlock(body);
    EXPECT_EQ(body.ReadBytes(50), content_.substr(0, 50));
    EXPECT_TRUE(body.StaysSilent(std::chrono::milliseconds(200)));

    // Stop ends the stall at once; the client sees the end.
    const auto before = std::chrono::steady_clock::now();
    service_->Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(5));
    EXPECT_TRUE(body.ClosedByService());
}

TEST_F(FaultsTest, ProxyAuthenticationAnswersWith407ForTheNamedWordOnly) {
    WriteSettings("Top", "fault = proxy_auth word=DKFL\n");
    StartService();
    RawClient client(Port());
    ASSERT_TRUE(client.Send(ServiceRequest("VDLK", "Top")));
    EXPECT_EQ(client.ReadReply()->Conclusion(), "Successful");
    ASSERT_TRUE(client.Send(ServiceRequest("DKFL", "Top")));
    auto refused = client.ReadReply();
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->header.substr(0, 12), "HTTP/1.1 407");
    EXPECT_FALSE(refused->fields.conclusion.has_value());
    ASSERT_TRUE(client.Send(ServiceRequest("DKFL", "Top")));
    EXPECT_EQ(client.ReadReply()->Conclusion(), "Successful");
}

TEST_F(FaultsTest, GarbageIsNoHttpAndEndsTheConnection) {
    WriteSettings("Top", "fault = garbage word=VDLK\n");
    StartService();
    const std::string bytes = ReplyUntilClosed(ServiceRequest("VDLK", "Top"));
    EXPECT_GE(bytes.size(), 64u);
    EXPECT_NE(bytes.substr(0, 5), "HTTP/");
    EXPECT_EQ(Exchange(ServiceRequest("VDLK", "Top"))->Conclusion(), "Successful");
}

TEST_F(FaultsTest, ConnectionCloseMarksTheReplyAndEndsTheConnection) {
    WriteSettings("Top", "fault = connection_close word=DownLoad file=b.bin\n");
    StartService();
    RawClient client(Port());
    ASSERT_TRUE(client.Send(DownloadRequest("Top", "1")));
    EXPECT_FALSE(client.ReadReply()->fields.connectionClose);
    ASSERT_TRUE(client.Send(DownloadRequest("Top", "2")));
    auto reply = client.ReadReply();
    ASSERT_TRUE(reply);
    EXPECT_TRUE(reply->fields.connectionClose);
    EXPECT_EQ(reply->body, "second file");
    EXPECT_TRUE(client.ClosedByService());
}

TEST_F(FaultsTest, ConnectionCloseSettingAppliesToEveryReplyOfTheKey) {
    WriteSettings("Top", "connection_close = yes\n");
    WriteFile("Other", "x.txt", "x");
    StartService();
    for (const std::string& request :
         {ServiceRequest("VDLK", "Top"), ServiceRequest("DKFL", "Top"), DownloadRequest("Top", "2"),
          ServiceRequest("DLCK", "Top")}) {
        RawClient client(Port());
        ASSERT_TRUE(client.Send(request));
        auto reply = client.ReadReply();
        ASSERT_TRUE(reply);
        EXPECT_TRUE(reply->fields.connectionClose);
        EXPECT_TRUE(client.ClosedByService());
    }
    EXPECT_FALSE(Exchange(ServiceRequest("VDLK", "Other"))->fields.connectionClose);
}

TEST_F(FaultsTest, DamagedZipsFailTheClientsExtraction) {
    WriteSettings("Top",
                  "fault = corrupt_zip file=a.bin\n"
                  "fault = bad_crc_zip file=b.bin\n");
    StartService();
    // Packed although the key does not offer zip bodies and the client did
    // not ask: the fault is about the archive.
    auto corrupt = Exchange(DownloadRequest("Top", "1"));
    ASSERT_TRUE(corrupt);
    EXPECT_TRUE(corrupt->fields.fang->packed);
    EXPECT_EQ(corrupt->body.substr(0, 2), "PK");
    EXPECT_FALSE(UnzipWithClient(corrupt->body).has_value());

    auto badCrc = Exchange(DownloadRequest("Top", "2", "", true));
    ASSERT_TRUE(badCrc);
    EXPECT_TRUE(badCrc->fields.fang->packed);
    EXPECT_FALSE(UnzipWithClient(badCrc->body).has_value());

    // Once each: the next replies are the plain files.
    EXPECT_EQ(Exchange(DownloadRequest("Top", "1"))->body, content_);
    EXPECT_EQ(Exchange(DownloadRequest("Top", "2"))->body, "second file");
}

// The data stays what the client would unpack; only what the headers say
// of it is wrong, the same in the local header and the central directory.
TEST_F(FaultsTest, ZipHeaderFaultsMisdescribeWholeFileArchives) {
    struct Case {
        std::string kind;
        std::uint64_t method;
        std::uint64_t encryptedBit;
        std::uint64_t declaredSize;
    };
    const std::vector<Case> cases = {
        {"bzip2_zip", 12, 0, content_.size()},
        {"encrypted_zip", 8, 1, content_.size()},
        {"zip_declared_size=100", 8, 0, 100},
        {"zip_declared_size=4294967294", 8, 0, 4294967294u},
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        // Settled, so that the cache keeps the good archive made first.
        WriteFile("Z" + std::to_string(i), "a.bin", content_, NewYearsEve2006());
        WriteSettings("Z" + std::to_string(i), "zip = yes\n");
    }
    testing_support::TempDir cache;
    StartService([&](qvn_service::ServiceOptions& options) { options.cacheFolder = cache.path(); });
    const auto crc = crc32(0L, reinterpret_cast<const Bytef*>(content_.data()),
                           static_cast<uInt>(content_.size()));

    for (std::size_t i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        const std::string key = "Z" + std::to_string(i);
        auto good = Exchange(DownloadRequest(key, "1", "", true));
        ASSERT_TRUE(good && good->fields.fang);
        ASSERT_TRUE(good->fields.fang->packed);
        // Neither the key nor the client asks for zip now, and the kept
        // archive must not stand in for the damaged one.
        WriteSettings(key, "fault = " + c.kind + "\n");
        auto reply = Exchange(DownloadRequest(key, "1"));
        ASSERT_TRUE(reply && reply->fields.fang);
        EXPECT_TRUE(reply->fields.fang->packed) << c.kind;
        const MemberHeader local = LocalHeader(reply->body);
        EXPECT_EQ(CentralHeader(reply->body), local) << c.kind;
        EXPECT_EQ(local.method, c.method) << c.kind;
        EXPECT_EQ(local.flags & 1, c.encryptedBit) << c.kind;
        EXPECT_EQ(local.size, c.declaredSize) << c.kind;
        EXPECT_EQ(local.crc, crc) << c.kind;
        EXPECT_EQ(InflateMember(reply->body), content_) << c.kind;
    }
    EXPECT_FALSE(std::filesystem::is_empty(cache.path())) << "no good archive was kept";
}

TEST_F(FaultsTest, HideFileLeavesTheFileOutOfTheFirstListsAndKeepsEveryIdentifier) {
    // Dated, so that the list text is known to the byte.
    WriteFile("Top", "a.bin", content_, NewYearsEve2006());
    WriteFile("Top", "b.bin", "second file", NewYearsEve2006());
    WriteFile("Top", "sub/c.bin", "third", NewYearsEve2006());
    WriteSettings("Top",
                  "fault = hide_file file=b.bin\n"
                  "fault = hide_file file=sub\\c.bin times=2\n");
    StartService();
    auto record = [](const std::string& id, const std::string& name, std::size_t size) {
        return id + "\tTop\\" + name + "\t" + std::to_string(size) + "\t07D60C1F0F2D1E\t0\t0\t";
    };
    const std::string a = record("1", "a.bin", content_.size());
    const std::string b = record("2", "b.bin", 11);
    const std::string c = record("3", "sub\\c.bin", 5);

    // Only lists hide it: a download of the file is served meanwhile.
    EXPECT_EQ(Exchange(DownloadRequest("Top", "2"))->body, "second file");
    for (const std::string& list : {a, a + b, a + b + c, a + b + c}) {
        EXPECT_EQ(Exchange(ServiceRequest("DKFL", "Top"))->body, list + "\r\n");
    }
}

TEST_F(FaultsTest, LongHeaderPadsTheBlockSoThatItsEndComesLate) {
    struct Case {
        std::string key;
        std::string rule;
        std::string word;
        std::size_t after;
        bool padded;  // false: the real lines alone already reach `after`
    };
    const std::vector<Case> cases = {
        {"List", "long_header word=DKFL", "DKFL", 5000, true},
        {"File", "long_header after=9000 file=a.bin", "DownLoad", 9000, true},
        {"Short", "long_header after=10 word=VDLK", "VDLK", 10, false},
    };
    for (const Case& c : cases) {
        WriteFile(c.key, "a.bin", content_);
        WriteSettings(c.key, "fault = " + c.rule + "\n");
    }
    StartService();
    for (const Case& c : cases) {
        RawClient client(Port());
        ASSERT_TRUE(client.Send(RequestFor(c.word, c.key)));
        const std::string header = HeaderBlock(client);
        const std::size_t emptyLine = header.size() - 2;
        EXPECT_GE(emptyLine, c.after) << c.key;
        const std::size_t padding = header.find("\r\nX-Padding: ");
        EXPECT_EQ(padding != std::string::npos, c.padded) << c.key;
        if (c.padded) {
            EXPECT_LT(emptyLine, c.after + 1000) << c.key;
            // Every line after the first padding line is padding, none long.
            for (std::size_t at = padding + 2; at < emptyLine;) {
                const std::size_t end = header.find("\r\n", at);
                EXPECT_EQ(header.compare(at, 11, "X-Padding: "), 0) << c.key << " at " << at;
                EXPECT_LE(end + 2 - at, 1000u) << c.key;
                at = end + 2;
            }
        }
        // The real lines still say what the reply is, and the body follows.
        const net::ReplyHeaders fields = net::ParseReplyHeaders(header);
        EXPECT_EQ(fields.conclusion, "Successful") << c.key;
        const std::string body =
            client.ReadBytes(static_cast<std::size_t>(fields.contentLength.value_or(0)));
        if (c.word == "DownLoad") {
            EXPECT_EQ(body, content_);
        }
        // Once only; the connection is still in step.
        ASSERT_TRUE(client.Send(RequestFor(c.word, c.key)));
        auto next = client.ReadReply();
        ASSERT_TRUE(next);
        EXPECT_EQ(next->header.find("X-Padding"), std::string::npos) << c.key;
    }
}

TEST_F(FaultsTest, SlowBodyPausesAfterTheGivenBytesThenSendsTheRest) {
    WriteSettings("Top",
                  "fault = slow_body file=a.bin after=1000 for=300\n"
                  "fault = slow_body word=DKFL after=20 for=300\n");
    StartService();
    constexpr std::chrono::milliseconds kPause{300};
    // A file sent straight from disk, and a list sent from memory.
    for (const auto& [word, after] : {std::pair<std::string, std::size_t>{"DownLoad", 1000},
                                      std::pair<std::string, std::size_t>{"DKFL", 20}}) {
        RawClient client(Port());
        const auto asked = std::chrono::steady_clock::now();
        ASSERT_TRUE(client.Send(RequestFor(word, "Top")));
        const auto length = net::ParseReplyHeaders(HeaderBlock(client)).contentLength;
        ASSERT_TRUE(length) << word;
        std::string body = client.ReadBytes(after);
        EXPECT_TRUE(client.StaysSilent(std::chrono::milliseconds(100))) << word;
        body += client.ReadBytes(static_cast<std::size_t>(*length) - after);
        EXPECT_GE(std::chrono::steady_clock::now() - asked, kPause) << word;
        // Used up: the same reply now comes whole at once.
        EXPECT_EQ(body, Exchange(RequestFor(word, "Top"))->body) << word;
    }
}

TEST_F(FaultsTest, SlowBodyHoldsUpNoOtherConnectionAndStopEndsItsPause) {
    WriteSettings("Top", "fault = slow_body file=b.bin after=5 for=600000\n");
    StartService();
    RawClient slow(Port());
    ASSERT_TRUE(slow.Send(DownloadRequest("Top", "2")));
    HeaderBlock(slow);
    EXPECT_EQ(slow.ReadBytes(5), "secon");
    EXPECT_EQ(Exchange(DownloadRequest("Top", "1"))->body, content_);
    EXPECT_EQ(Exchange(DownloadRequest("Top", "2"))->body, "second file");

    const auto before = std::chrono::steady_clock::now();
    service_->Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(5));
    EXPECT_TRUE(slow.ClosedByService());
}

TEST_F(FaultsTest, BadContentLengthCarriesTheGivenTextAndEndsTheConnection) {
    WriteSettings("Top",
                  "fault = bad_content_length=-5 file=a.bin\n"
                  "fault = bad_content_length=abc word=VDLK\n");
    StartService();
    const std::string download = ReplyUntilClosed(DownloadRequest("Top", "1"));
    EXPECT_NE(download.find("\r\nContent-Length: -5\r\n"), std::string::npos);
    EXPECT_EQ(download.find("Content-Length: 6000"), std::string::npos);
    const std::string verify = ReplyUntilClosed(ServiceRequest("VDLK", "Top"));
    EXPECT_NE(verify.find("\r\nContent-Length: abc\r\n"), std::string::npos);
}

TEST_F(FaultsTest, NoFangIndexLeavesOnlyThePlainSize) {
    WriteSettings("Top", "encipher = yes\nfault = no_fang_index\n");
    StartService();
    auto reply = Exchange(DownloadRequest("Top", "2"));
    ASSERT_TRUE(reply);
    EXPECT_TRUE(reply->HasHeader("X-QVN-Fang: 11"));
    ASSERT_TRUE(reply->fields.fang);
    EXPECT_FALSE(reply->fields.fang->keyIndex.has_value());
    EXPECT_EQ(reply->body.size(), 16u);
}

// The client's next attempt, on any port, must meet a refusal rather
// than a connection that happens to be accepted before the ports shut.
TEST_F(FaultsTest, RefuseShutsEveryPortForAWhileThenTheServiceListensAgain) {
    WriteSettings("Top", "fault = refuse word=DKFL for=300\n");
    StartService([](qvn_service::ServiceOptions& options) { options.ports.assign(2, 0); });
    const std::vector<std::uint16_t> ports = service_->Ports();
    const std::uint32_t loopback = platform::ParseDottedQuad("127.0.0.1").value();
    EXPECT_TRUE(service_->WaitUntilListening(std::chrono::milliseconds(0)));

    // A connection served before the refusal stays in service.
    RawClient early(ports[1]);
    ASSERT_TRUE(early.Send(ServiceRequest("VDLK", "Top")));
    EXPECT_EQ(early.ReadReply()->Conclusion(), "Successful");
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(ReplyUntilClosed(ServiceRequest("DKFL", "Top")), "");
    for (const std::uint16_t port : ports) {
        auto attempt = platform::TcpSocket::Connect(loopback, port);
        ASSERT_FALSE(attempt.ok()) << "port " << port << " still accepts";
        EXPECT_EQ(attempt.error().code, ECONNREFUSED);
    }
    EXPECT_FALSE(service_->WaitUntilListening(std::chrono::milliseconds(0)));
    ASSERT_TRUE(early.Send(ServiceRequest("VDLK", "Top")));
    EXPECT_EQ(early.ReadReply()->Conclusion(), "Successful");

    ASSERT_TRUE(service_->WaitUntilListening(service_testing::kPatience));
    EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(300));
    // The same ports listen again, and the rule is used up.
    EXPECT_EQ(service_->Ports(), ports);
    for (const std::uint16_t port : ports) {
        RawClient client(port);
        ASSERT_TRUE(client.Send(ServiceRequest("DKFL", "Top")));
        EXPECT_EQ(client.ReadReply()->Conclusion(), "Successful");
    }
}

TEST_F(FaultsTest, StopEndsARefusalAtOnce) {
    WriteSettings("Top", "fault = refuse word=VDLK for=600000\n");
    StartService();
    EXPECT_EQ(ReplyUntilClosed(ServiceRequest("VDLK", "Top")), "");
    service_->Stop();
    EXPECT_FALSE(service_->WaitUntilListening(service_testing::kPatience));
}

TEST_F(FaultsTest, RulesCountPerServiceRunAcrossConnectionsAndRereads) {
    WriteSettings("Top", "fault = close_header after=0 word=DLCK times=3\n");
    StartService();
    std::vector<std::thread> clients;
    std::mutex mutex;
    int cut = 0;
    int answered = 0;
    for (int i = 0; i < 6; ++i) {
        const std::string request = ServiceRequest("DLCK", "Top");
        clients.emplace_back([&, request] {
            RawClient client(Port());
            client.Send(request);
            const bool replied = client.ReadReply(true).has_value();
            std::lock_guard<std::mutex> lock(mutex);
            (replied ? answered : cut) += 1;
        });
    }
    for (std::thread& client : clients) {
        client.join();
    }
    EXPECT_EQ(cut, 3);
    EXPECT_EQ(answered, 3);
}

TEST_F(FaultsTest, SettingsProblemsAreReportedOnceAndTheRestStillApplies) {
    WriteSettings("Top",
                  "encipher = maybe\n"
                  "fault = explode\n"
                  "fault = close_body after=lots\n"
                  "colour = blue\n"
                  "connection_close = yes\n");
    std::vector<std::string> reported;
    std::mutex mutex;
    StartService([&](qvn_service::ServiceOptions& options) {
        options.diagnostics = [&](std::string_view message) {
            std::lock_guard<std::mutex> lock(mutex);
            reported.emplace_back(message);
        };
    });
    for (int i = 0; i < 2; ++i) {
        auto reply = Exchange(ServiceRequest("DKFL", "Top"));
        ASSERT_TRUE(reply);
        EXPECT_TRUE(reply->fields.connectionClose);
        EXPECT_TRUE(reply->HasHeader("X-QVN-CRUNCHYFROG: 0,0,0"));
    }
    std::lock_guard<std::mutex> lock(mutex);
    ASSERT_EQ(reported.size(), 4u);
    EXPECT_EQ(reported[0], "Top.conf line 1: encipher needs yes or no");
    EXPECT_EQ(reported[1], "Top.conf line 2: unknown fault kind \"explode\"");
    EXPECT_EQ(reported[2], "Top.conf line 3: after= needs a number of bytes");
    EXPECT_EQ(reported[3], "Top.conf line 4: unknown setting \"colour\"");
}

}  // namespace

// The service's answers to the client's requests, over a real loopback
// connection, with requests built by the client's own request builders.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <thread>
#include <vector>

#include "engine/key_file_list.h"
#include "net/base64.h"
#include "net/blowfish.h"
#include "net/md5.h"
#include "net/message_cipher.h"
#include "net/request_builder.h"
#include "net/service_date.h"
#include "service_support/service_test_support.h"

namespace {

using service_testing::DecipherFileBody;
using service_testing::NewYearsEve2006;
using service_testing::PatternBytes;
using service_testing::RawClient;
using service_testing::ReplyRead;
using service_testing::RestartFor;
using service_testing::UnzipWithClient;

std::string DecipherList(const net::KeyTable& table, const std::string& body) {
    std::vector<std::uint8_t> bytes(body.begin(), body.end());
    const std::size_t length = net::DecipherWithPrefix(table, bytes, bytes);
    const auto* text = reinterpret_cast<const char*>(bytes.data());
    return std::string(text, std::find(text, text + length, '\0'));
}

class ProtocolTest : public service_testing::ServiceTest {};

TEST_F(ProtocolTest, VerifyAnswersSuccessfulOnlyForAKeyWithAFolder) {
    WriteFile("Top", "a.txt", "alpha");
    root_.Write("plain-file", "not a key");
    StartService();

    auto good = Exchange(ServiceRequest("VDLK", "Top"));
    ASSERT_TRUE(good);
    EXPECT_EQ(good->header.substr(0, 15), "HTTP/1.1 200 OK");
    EXPECT_EQ(good->Conclusion(), "Successful");
    EXPECT_FALSE(good->fields.contentLength.has_value());

    for (const std::string key : {"Nope", "plain-file", "..", "Top/.."}) {
        auto bad = Exchange(ServiceRequest("VDLK", key));
        ASSERT_TRUE(bad);
        EXPECT_EQ(bad->Conclusion(), "IDBAD") << key;
    }
    // No token, a token that is no Base64, and one made with another table.
    const std::string noToken = "GET /scripts/qzupld9.dll?VDLK HTTP/1.1\r\nHost: h\r\n\r\n";
    EXPECT_EQ(Exchange(noToken)->Conclusion(), "IDBAD");
    EXPECT_EQ(Exchange("GET /scripts/qzupld9.dll?VDLK HTTP/1.1\r\nX-QVN-RATTART3: %%%\r\n\r\n")
                  ->Conclusion(),
              "IDBAD");
    auto otherBytes = service_testing::TableBytes();
    for (auto& byte : otherBytes) {
        byte ^= 0x55;
    }
    const net::KeyTable other(otherBytes);
    net::Credentials credentials;
    credentials.downloadKey = "Top";
    const auto foreignToken = net::AddCredentialHeaders(other, credentials, clock_);
    ASSERT_TRUE(foreignToken);
    EXPECT_EQ(Exchange(net::ServiceRequestText("VDLK", "h", *foreignToken, ""))->Conclusion(),
              "IDBAD");
}

TEST_F(ProtocolTest, ATokenWhoseIndexRunsPastTheTableEndWrapsRound) {
    WriteFile("Top", "a.txt", "alpha");
    StartService();
    // Index 511: the key window takes the table's last byte and its first 15.
    std::vector<std::uint8_t> token = {0x01, 0xFF};
    std::vector<std::uint8_t> plain = {'T', 'o', 'p', ',', 0, 0, 0, 0};
    net::BlowfishCipher cipher;
    ASSERT_TRUE(cipher.SetCipherKey(table_.WindowAt(511)));
    cipher.Encipher(plain, plain);
    token.insert(token.end(), plain.begin(), plain.end());
    const std::string request =
        "GET /scripts/qzupld9.dll?VDLK HTTP/1.1\r\nX-QVN-RATTART3: " + net::Base64Encode(token) +
        "\r\n\r\n";
    auto reply = Exchange(request);
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->Conclusion(), "Successful");
}

TEST_F(ProtocolTest, OneConnectionCarriesSeveralRequestsAndCompleteIsSuccessful) {
    WriteFile("Top", "a.txt", "alpha");
    StartService();
    RawClient client(Port());
    for (const char* word : {"VDLK", "DKFL", "DLCK", "DownLoad"}) {
        const std::string request = std::string(word) == "DownLoad" ? DownloadRequest("Top", "1")
                                                                    : ServiceRequest(word, "Top");
        ASSERT_TRUE(client.Send(request));
        auto reply = client.ReadReply();
        ASSERT_TRUE(reply) << word;
        EXPECT_EQ(reply->Conclusion(), "Successful") << word;
        EXPECT_FALSE(reply->fields.connectionClose);
    }
    // Two requests sent at once are answered in order.
    ASSERT_TRUE(client.Send(ServiceRequest("DLCK", "Top") + ServiceRequest("VDLK", "Gone")));
    EXPECT_EQ(client.ReadReply()->Conclusion(), "Successful");
    EXPECT_EQ(client.ReadReply()->Conclusion(), "IDBAD");
}

TEST_F(ProtocolTest, ListNamesEveryFileBelowTheKeyInSortedOrderWithSizesAndDates) {
    WriteFile("Top", "b.txt", "bravo!", NewYearsEve2006());
    WriteFile("Top", "a.txt", "alpha", NewYearsEve2006());
    WriteFile("Top", "sub/deeper/c.bin", std::string(1234, 'c'), NewYearsEve2006());
    WriteSettings("Top", "duplicates.sub\\deeper\\c.bin = 3\n");
    StartService();

    auto reply = Exchange(ServiceRequest("DKFL", "Top"));
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->Conclusion(), "Successful");
    EXPECT_TRUE(reply->HasHeader("X-QVN-CRUNCHYFROG: 0,0,0"));
    EXPECT_EQ(reply->body,
              "1\tTop\\a.txt\t5\t07D60C1F0F2D1E\t0\t0\t"
              "2\tTop\\b.txt\t6\t07D60C1F0F2D1E\t0\t0\t"
              "3\tTop\\sub\\deeper\\c.bin\t1234\t07D60C1F0F2D1E\t3\t0\t\r\n");

    const engine::KeyFileList list = engine::ParseKeyFileList(reply->body, true);
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[2].fileId, "3");
    EXPECT_EQ(list[2].relativeName, "Top\\sub\\deeper\\c.bin");
    EXPECT_EQ(list[2].duplicateCount, 3);
    EXPECT_EQ(net::ParseServiceDate(list[0].serverDate), NewYearsEve2006());
}

TEST_F(ProtocolTest, EncipheredListDeciphersWithThePrefixIndexToTheSameText) {
    WriteFile("Top", "a.txt", "alpha", NewYearsEve2006());
    WriteFile("Top", "z/y.txt", "yankee", NewYearsEve2006());
    WriteSettings("Top", "encipher = yes\n");
    StartService();

    auto reply = Exchange(ServiceRequest("DKFL", "Top"));
    ASSERT_TRUE(reply);
    EXPECT_TRUE(reply->HasHeader("X-QVN-CRUNCHYFROG: 1,0,0"));
    const std::string expected =
        "1\tTop\\a.txt\t5\t07D60C1F0F2D1E\t0\t0\t2\tTop\\z\\y.txt\t6\t07D60C1F0F2D1E\t0\t0\t\r\n";
    EXPECT_EQ(reply->body.find("Top"), std::string::npos);
    EXPECT_EQ(DecipherList(table_, reply->body), expected);
}

TEST_F(ProtocolTest, AKeyWithoutFilesGetsAReplyWithoutABody) {
    std::filesystem::create_directories(root_.Sub("Empty/only/folders"));
    WriteSettings("Empty", "encipher = yes\n");
    StartService();
    RawClient client(Port());
    ASSERT_TRUE(client.Send(ServiceRequest("DKFL", "Empty")));
    auto reply = client.ReadReply();
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->Conclusion(), "Successful");
    EXPECT_FALSE(reply->fields.contentLength.has_value());
    // Nothing follows the header: the next reply starts right away.
    ASSERT_TRUE(client.Send(ServiceRequest("VDLK", "Empty")));
    EXPECT_EQ(client.ReadReply()->Conclusion(), "Successful");
}

TEST_F(ProtocolTest, ExtraRecordsServeHostileNamesThatTheClientEscapes) {
    WriteFile("Top", "a.txt", "alpha", NewYearsEve2006());
    WriteSettings("Top",
                  "# a name no folder could hold\n"
                  "extra = 99\\tTop\\\\re:port?.doc\\t10\\t \\t0\\t0\\t\n");
    StartService();
    auto reply = Exchange(ServiceRequest("DKFL", "Top"));
    ASSERT_TRUE(reply);
    EXPECT_NE(reply->body.find("\t0\t0\t99\tTop\\re:port?.doc\t10\t \t0\t0\t\r\n"),
              std::string::npos)
        << reply->body;
    const engine::KeyFileList list = engine::ParseKeyFileList(reply->body, true);
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[1].fileId, "99");
    EXPECT_EQ(list[1].relativeName, "Top\\re%3aport%3f.doc");
    EXPECT_EQ(list[1].serverDate, " ");
}

TEST_F(ProtocolTest, DownloadSendsTheWholeFileNamedByItsIdentifier) {
    const std::string content = PatternBytes(70'000);
    WriteFile("Top", "a.txt", "alpha");
    WriteFile("Top", "b.bin", content);
    StartService();

    auto reply = Exchange(DownloadRequest("Top", "2"));
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->Conclusion(), "Successful");
    EXPECT_FALSE(reply->fields.restart);
    ASSERT_TRUE(reply->fields.fang);
    EXPECT_EQ(reply->fields.fang->plainSize, 70'000);
    EXPECT_EQ(reply->fields.fang->keyIndex, 0);
    EXPECT_FALSE(reply->fields.fang->packed);
    EXPECT_EQ(reply->body, content);

    for (const char* id : {"3", "0", "", "2x"}) {
        auto unknown = Exchange(DownloadRequest("Top", id));
        ASSERT_TRUE(unknown);
        EXPECT_EQ(unknown->Conclusion(), "IDBAD") << id;
        EXPECT_FALSE(unknown->fields.contentLength.has_value());
    }
    EXPECT_EQ(Exchange(DownloadRequest("Other", "1"))->Conclusion(), "IDBAD");
}

TEST_F(ProtocolTest, ACopyDescriptionGivesCompleteContinueOrWhole) {
    const std::string content = PatternBytes(5000);
    WriteFile("Top", "f.bin", content);
    StartService();

    auto same = Exchange(DownloadRequest("Top", "1", RestartFor(content, "1")));
    ASSERT_TRUE(same);
    EXPECT_EQ(same->Conclusion(), "UGOTIT");
    EXPECT_FALSE(same->fields.contentLength.has_value());

    auto rest = Exchange(DownloadRequest("Top", "1", RestartFor(content.substr(0, 1000), "1")));
    ASSERT_TRUE(rest);
    EXPECT_EQ(rest->Conclusion(), "Successful");
    EXPECT_TRUE(rest->fields.restart);
    EXPECT_TRUE(rest->HasHeader("X-QVN-RESTART: 1"));
    EXPECT_EQ(rest->fields.fang->plainSize, 5000);
    EXPECT_EQ(rest->body, content.substr(1000));

    // A copy that differs, one longer than the file, and an empty one.
    std::string changed = content.substr(0, 1000);
    changed[500] ^= 1;
    for (const std::string& copy : {changed, content + "x", std::string()}) {
        auto whole = Exchange(DownloadRequest("Top", "1", RestartFor(copy, "1")));
        ASSERT_TRUE(whole);
        EXPECT_FALSE(whole->fields.restart) << copy.size();
        EXPECT_EQ(whole->body, content) << copy.size();
    }
    // A description the service cannot read is no description.
    auto unreadable = Exchange(DownloadRequest("Top", "1", "X-QVN-RESTART2: !!,1000,1;\r\n"));
    ASSERT_TRUE(unreadable);
    EXPECT_EQ(unreadable->body, content);
}

TEST_F(ProtocolTest, EncipheredFilesDecipherAndContinueOnlyFromWholeUnits) {
    const std::string content = PatternBytes(10'003);
    WriteFile("Top", "f.bin", content);
    WriteSettings("Top", "encipher = yes\n");
    StartService();

    std::vector<std::int64_t> indices;
    for (int i = 0; i < 3; ++i) {
        auto whole = Exchange(DownloadRequest("Top", "1"));
        ASSERT_TRUE(whole);
        ASSERT_TRUE(whole->fields.fang && whole->fields.fang->keyIndex);
        EXPECT_EQ(whole->fields.fang->plainSize, 10'003);
        EXPECT_EQ(whole->body.size(), 10'008u);
        EXPECT_LE(*whole->fields.fang->keyIndex, 510);
        EXPECT_NE(whole->body.substr(0, 64), content.substr(0, 64));
        EXPECT_EQ(DecipherFileBody(table_, *whole), content);
        indices.push_back(*whole->fields.fang->keyIndex);
    }

    // A copy of two whole units continues from its end as a stream of its own.
    auto rest = Exchange(DownloadRequest("Top", "1", RestartFor(content.substr(0, 4096), "1")));
    ASSERT_TRUE(rest);
    EXPECT_TRUE(rest->fields.restart);
    EXPECT_EQ(rest->fields.fang->plainSize, 10'003);
    EXPECT_EQ(rest->body.size(), net::BlowfishCipher::PaddedLength(10'003 - 4096));
    EXPECT_EQ(DecipherFileBody(table_, *rest, 4096), content.substr(4096));

    // A copy that ends inside a unit cannot be continued: the file comes whole.
    auto whole = Exchange(DownloadRequest("Top", "1", RestartFor(content.substr(0, 5000), "1")));
    ASSERT_TRUE(whole);
    EXPECT_FALSE(whole->fields.restart);
    EXPECT_EQ(DecipherFileBody(table_, *whole), content);

    auto complete = Exchange(DownloadRequest("Top", "1", RestartFor(content, "1")));
    EXPECT_EQ(complete->Conclusion(), "UGOTIT");
}

TEST_F(ProtocolTest, ZipBodiesOnlyWhenTheKeyAllowsAndTheClientAsks) {
    const std::string content = std::string(50'000, 'z') + PatternBytes(3000);
    WriteFile("Top", "dir/f.txt", content);
    WriteSettings("Top", "zip = yes\n");
    StartService();

    auto zipped = Exchange(DownloadRequest("Top", "1", "", true));
    ASSERT_TRUE(zipped);
    ASSERT_TRUE(zipped->fields.fang);
    EXPECT_TRUE(zipped->fields.fang->packed);
    EXPECT_EQ(static_cast<std::size_t>(zipped->fields.fang->plainSize), zipped->body.size());
    EXPECT_LT(zipped->body.size(), content.size());
    EXPECT_EQ(UnzipWithClient(zipped->body), content);

    auto plain = Exchange(DownloadRequest("Top", "1", "", false));
    EXPECT_FALSE(plain->fields.fang->packed);
    EXPECT_EQ(plain->body, content);

    // A continuation is never packed.
    auto rest =
        Exchange(DownloadRequest("Top", "1", RestartFor(content.substr(0, 100), "1"), true));
    EXPECT_TRUE(rest->fields.restart);
    EXPECT_FALSE(rest->fields.fang->packed);
    EXPECT_EQ(rest->body, content.substr(100));
}

TEST_F(ProtocolTest, ZipWithoutTheKeysConsentIsNotSentAndEncipheredZipsUnpackAfterDeciphering) {
    const std::string content = PatternBytes(9000) + std::string(9000, 'q');
    WriteFile("Plain", "f.txt", content);
    WriteFile("Both", "f.txt", content);
    WriteSettings("Both", "zip = yes\nencipher = yes\n");
    StartService();

    auto plain = Exchange(DownloadRequest("Plain", "1", "", true));
    EXPECT_FALSE(plain->fields.fang->packed);
    EXPECT_EQ(plain->body, content);

    auto both = Exchange(DownloadRequest("Both", "1", "", true));
    ASSERT_TRUE(both);
    EXPECT_TRUE(both->fields.fang->packed);
    const std::string archive = DecipherFileBody(table_, *both);
    EXPECT_EQ(archive.substr(0, 4), std::string("PK\x03\x04", 4));
    EXPECT_EQ(UnzipWithClient(archive), content);
}

TEST_F(ProtocolTest, AFilesOwnZipSettingOverridesTheKeys) {
    const std::string content = PatternBytes(9000) + std::string(9000, 'q');
    WriteFile("Mix", "a.txt", content);
    WriteFile("Mix", "sub/b.txt", content);
    WriteFile("Only", "a.txt", content);
    WriteFile("Only", "b.txt", content);
    WriteSettings("Mix", "encipher = yes\nzip = yes\nzip.sub\\b.txt = no\n");
    WriteSettings("Only", "zip.b.txt = yes\n");
    StartService();

    auto zipped = Exchange(DownloadRequest("Mix", "1", "", true));
    ASSERT_TRUE(zipped);
    EXPECT_TRUE(zipped->fields.fang->packed);
    EXPECT_EQ(UnzipWithClient(DecipherFileBody(table_, *zipped)), content);
    auto whole = Exchange(DownloadRequest("Mix", "2", "", true));
    ASSERT_TRUE(whole);
    EXPECT_FALSE(whole->fields.fang->packed);
    EXPECT_TRUE(whole->HasHeader("X-QVN-CRUNCHYFROG: 1,0,0")) << "enciphered all the same";
    EXPECT_EQ(DecipherFileBody(table_, *whole), content);

    EXPECT_FALSE(Exchange(DownloadRequest("Only", "1", "", true))->fields.fang->packed);
    auto chosen = Exchange(DownloadRequest("Only", "2", "", true));
    ASSERT_TRUE(chosen);
    EXPECT_TRUE(chosen->fields.fang->packed);
    EXPECT_EQ(UnzipWithClient(chosen->body), content);
    // Only when the client offers to take one.
    EXPECT_FALSE(Exchange(DownloadRequest("Only", "2", "", false))->fields.fang->packed);
}

TEST_F(ProtocolTest, TheDownloadLimitCountsFileRepliesPerKey) {
    const std::string content = PatternBytes(3000);
    WriteFile("Top", "a.bin", content);
    WriteFile("Top", "b.bin", "bee");
    WriteFile("Free", "a.bin", content);
    WriteSettings("Top", "max_downloads = 2\n");
    StartService();

    EXPECT_EQ(Exchange(DownloadRequest("Top", "1"))->body, content);
    // A complete copy takes no download.
    EXPECT_EQ(Exchange(DownloadRequest("Top", "1", RestartFor(content, "1")))->Conclusion(),
              "UGOTIT");
    EXPECT_EQ(Exchange(DownloadRequest("Top", "2"))->body, "bee");
    for (const char* id : {"1", "2", "9"}) {
        auto refused = Exchange(DownloadRequest("Top", id));
        ASSERT_TRUE(refused);
        EXPECT_EQ(refused->Conclusion(), "maximum downloads exceeded") << id;
        EXPECT_FALSE(refused->fields.contentLength.has_value());
    }
    // Other operations and other keys go on.
    EXPECT_EQ(Exchange(ServiceRequest("DKFL", "Top"))->Conclusion(), "Successful");
    EXPECT_EQ(Exchange(DownloadRequest("Free", "1"))->body, content);
}

TEST_F(ProtocolTest, PlainFileGetsServeRawBytesAndNothingOutsideTheRoot) {
    const std::string content = PatternBytes(100'000);
    WriteFile("Top", "sub/with space.bin", content);
    root_.Write("secret.txt", "outside every key");
    StartService();

    RawClient client(Port());
    ASSERT_TRUE(client.Send("GET /files/Top/sub/with%20space.bin HTTP/1.1\r\nHost: x\r\n\r\n"));
    auto reply = client.ReadReply();
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->header.substr(0, 15), "HTTP/1.1 200 OK");
    EXPECT_EQ(reply->body, content);

    for (const char* target : {"/files/Top/sub/../../secret.txt", "/files/Top/missing",
                               "/files/../secret.txt", "/files/Top/sub", "/elsewhere"}) {
        ASSERT_TRUE(client.Send("GET " + std::string(target) + " HTTP/1.1\r\n\r\n"));
        auto missing = client.ReadReply();
        ASSERT_TRUE(missing);
        EXPECT_EQ(missing->header.substr(0, 12), "HTTP/1.1 404") << target;
        EXPECT_EQ(missing->fields.contentLength, 0);
    }
}

TEST_F(ProtocolTest, RequestLogHoldsEveryHeaderBlockWithPortSequenceAndKey) {
    WriteFile("Top", "a.txt", "alpha");
    testing_support::TempDir logDir;
    StartService([&](qvn_service::ServiceOptions& options) {
        options.ports = {0, 0};
        options.requestLogPath = logDir.Sub("requests.log");
    });
    ASSERT_EQ(service_->Ports().size(), 2u);
    const std::uint16_t second = service_->Ports()[1];
    EXPECT_NE(second, Port());

    const std::string first = ServiceRequest("VDLK", "Top");
    const std::string other = "GET /files/Top/a.txt HTTP/1.1\r\n\r\n";
    ASSERT_TRUE(Exchange(first));
    RawClient client(second);
    ASSERT_TRUE(client.Send(other));
    ASSERT_TRUE(client.ReadReply());

    EXPECT_EQ(service_->Requests(), (std::vector<std::string>{first, other}));
    const auto records = service_->RequestRecords();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].key, "Top");
    EXPECT_EQ(records[1].key, std::nullopt);
    EXPECT_EQ(records[1].port, second);
    EXPECT_EQ(logDir.Read("requests.log"), "=== " + std::to_string(Port()) + " 1\nkey Top\n" +
                                               first + "=== " + std::to_string(second) + " 2\n" +
                                               other);
}

TEST_F(ProtocolTest, AWaitForARequestEndsWhenOneMatchesEarlierOrLater) {
    WriteFile("Top", "a.txt", "alpha");
    StartService();
    const auto secondRequest = [](const qvn_service::LoggedRequest& r) { return r.sequence == 2; };
    EXPECT_FALSE(service_->WaitForRequest(secondRequest, std::chrono::milliseconds(20)));

    ASSERT_TRUE(Exchange(ServiceRequest("VDLK", "Top")));
    std::thread later([&] { Exchange(ServiceRequest("DLCK", "Top")); });
    EXPECT_TRUE(service_->WaitForRequest(secondRequest, service_testing::kPatience));
    later.join();
    EXPECT_TRUE(service_->WaitForRequest(
        [](const qvn_service::LoggedRequest& r) {
            return r.block.find("?VDLK ") != std::string::npos;
        },
        std::chrono::milliseconds(0)));
}

}  // namespace

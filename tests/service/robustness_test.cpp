// Clients that misbehave: the service refuses or drops them without
// crashing or hanging, keeps serving everyone else, and stops promptly.

#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <string>
#include <vector>

#include "service_support/service_test_support.h"

namespace {

using service_testing::RawClient;

class RobustnessTest : public service_testing::ServiceTest {
  protected:
    void SetUp() override { WriteFile("Top", "a.txt", "alpha"); }

    // The service still answers a well-formed request on a new connection.
    void ExpectStillServing() {
        auto reply = Exchange(ServiceRequest("VDLK", "Top"));
        ASSERT_TRUE(reply);
        EXPECT_EQ(reply->Conclusion(), "Successful");
    }

    std::string StatusOf(const std::string& bytes) {
        RawClient client(Port());
        client.Send(bytes);
        const std::string reply = client.ReadToEnd();
        return reply.substr(0, reply.find("\r\n"));
    }
};

TEST_F(RobustnessTest, AnOversizedHeaderIsRefusedWith431) {
    StartService();
    RawClient client(Port());
    std::string request = "GET /scripts/qzupld9.dll?VDLK HTTP/1.1\r\n";
    while (request.size() < 100 * 1024) {
        request += "X-Filler: " + std::string(100, 'f') + "\r\n";
    }
    request += "\r\n";
    // The service may close while the rest is still on its way.
    client.Send(request);
    const std::string reply = client.ReadToEnd();
    EXPECT_EQ(reply.substr(0, 12), "HTTP/1.1 431");
    ExpectStillServing();

    // Long header lines without any line end are refused the same way.
    RawClient endless(Port());
    endless.Send(std::string(40 * 1024, 'a'));
    EXPECT_EQ(endless.ReadToEnd().substr(0, 12), "HTTP/1.1 431");
}

TEST_F(RobustnessTest, MalformedRequestsGet400AndTheConnectionEnds) {
    StartService();
    for (const std::string& request :
         {std::string("GET\r\n\r\n"), std::string("GET / HTTP/9.9\r\n\r\n"),
          std::string("GET /a b HTTP/1.1\r\n\r\n"), std::string("\r\n\r\n"),
          std::string("GET / HTTP/1.1\r\nno colon here\r\n\r\n"),
          std::string("GET / HTTP/1.1\r\n: empty name\r\n\r\n"),
          std::string("GET / HTTP/1.1\r\nContent-Length: 12x\r\n\r\n"),
          std::string("GET /\x01 HTTP/1.1\r\n\r\n")}) {
        EXPECT_EQ(StatusOf(request), "HTTP/1.1 400 Bad Request") << request;
    }
    EXPECT_EQ(StatusOf("POST /scripts/qzupld9.dll?VDLK HTTP/1.1\r\n\r\n"),
              "HTTP/1.1 405 Method Not Allowed");
    auto unknown = Exchange("GET /scripts/qzupld9.dll?FROB HTTP/1.1\r\n\r\n");
    ASSERT_TRUE(unknown);
    EXPECT_EQ(unknown->header.substr(0, 12), "HTTP/1.1 400");
    ExpectStillServing();
}

TEST_F(RobustnessTest, RandomBytesNeverCrashTheService) {
    StartService();
    std::mt19937 random(20061231);
    std::uniform_int_distribution<int> byte(0, 255);
    std::uniform_int_distribution<int> length(1, 3000);
    for (int round = 0; round < 40; ++round) {
        std::string junk(static_cast<std::size_t>(length(random)), '\0');
        for (char& c : junk) {
            c = static_cast<char>(byte(random));
        }
        // Every other round ends like a header block, so the parser sees it.
        if (round % 2 == 0) {
            junk += "\r\n\r\n";
        }
        RawClient client(Port());
        client.Send(junk);
        client.socket().ShutdownSend();
        client.ReadToEnd();
    }
    // Junk inside an otherwise fine request: tokens, identifiers, restarts.
    const std::vector<std::string> headers = {
        "X-QVN-RATTART3: \r\n",
        "X-QVN-RATTART3: AAAA\r\n",
        "X-QVN-RATTART3: AQ==\r\n",
        "X-QVN-RATTART3: " + std::string(8000, 'A') + "\r\n",
        "X-QVN-LUPIN: ;;;\r\nX-QVN-RESTART2: ,,;\r\n",
        "X-QVN-LUPIN: 0,1;\r\nX-QVN-RESTART2: AAAAAAAAAAAAAAAAAAAAAA==,99999999999999999999,1;\r\n",
        "X-QVN-FANG: 1,2,3,1\r\nX-QVN-FANG: ,,,,,,,,\r\n"};
    for (const std::string& header : headers) {
        for (const char* word : {"VDLK", "DKFL", "DownLoad"}) {
            auto reply = Exchange("GET /scripts/qzupld9.dll?" + std::string(word) +
                                  " HTTP/1.1\r\n" + header + "\r\n");
            ASSERT_TRUE(reply);
            EXPECT_EQ(reply->Conclusion(), "IDBAD");
        }
    }
    ExpectStillServing();
}

TEST_F(RobustnessTest, ARequestWithoutAnEndTimesOutAndSilentClientsAreHarmless) {
    StartService([](qvn_service::ServiceOptions& options) {
        options.receiveTimeout = std::chrono::milliseconds(300);
    });
    RawClient unfinished(Port());
    ASSERT_TRUE(unfinished.Send("GET /scripts/qzupld9.dll?VDLK HTTP/1.1\r\nHost: "));
    EXPECT_TRUE(unfinished.ClosedByService());

    // Connects and closes without a byte; connects and says nothing.
    for (int i = 0; i < 5; ++i) {
        RawClient gone(Port());
    }
    RawClient silent(Port());
    EXPECT_TRUE(silent.ClosedByService());

    // An idle kept-alive connection ends the same way.
    RawClient idle(Port());
    ASSERT_TRUE(idle.Send(ServiceRequest("VDLK", "Top")));
    ASSERT_TRUE(idle.ReadReply());
    EXPECT_TRUE(idle.ClosedByService());
    ExpectStillServing();
}

TEST_F(RobustnessTest, RequestBodiesAreDroppedUpToALimit) {
    StartService();
    RawClient client(Port());
    const std::string withBody =
        "GET /scripts/qzupld9.dll?DLCK HTTP/1.1\r\nContent-Length: 10\r\n\r\n0123456789";
    ASSERT_TRUE(client.Send(withBody + ServiceRequest("VDLK", "Top")));
    EXPECT_EQ(client.ReadReply()->Conclusion(), "IDBAD");
    EXPECT_EQ(client.ReadReply()->Conclusion(), "Successful");
    EXPECT_EQ(service_->Requests().size(), 2u);

    EXPECT_EQ(StatusOf("GET / HTTP/1.1\r\nContent-Length: 100000000\r\n\r\n"),
              "HTTP/1.1 413 Content Too Large");
    ExpectStillServing();
}

TEST_F(RobustnessTest, ConnectionsBeyondTheCapAreTurnedAway) {
    StartService([](qvn_service::ServiceOptions& options) { options.maxConnections = 2; });
    RawClient first(Port());
    RawClient second(Port());
    // Both are being served (each has had a reply) before the third comes.
    for (RawClient* client : {&first, &second}) {
        ASSERT_TRUE(client->Send(ServiceRequest("VDLK", "Top")));
        ASSERT_TRUE(client->ReadReply());
    }
    RawClient third(Port());
    EXPECT_EQ(third.ReadToEnd().substr(0, 12), "HTTP/1.1 503");

    // Once one of them goes, there is room again.
    first.socket().Close();
    bool served = false;
    for (int attempt = 0; attempt < 100 && !served; ++attempt) {
        RawClient next(Port());
        next.Send(ServiceRequest("VDLK", "Top"));
        auto reply = next.ReadReply(true);
        served = reply && reply->Conclusion() == "Successful";
    }
    EXPECT_TRUE(served);
}

TEST_F(RobustnessTest, StopReturnsPromptlyWhileClientsHoldConnections) {
    StartService([](qvn_service::ServiceOptions& options) {
        options.receiveTimeout = std::chrono::minutes(10);
    });
    RawClient idle(Port());
    RawClient halfway(Port());
    ASSERT_TRUE(halfway.Send("GET /scripts/qzupld9.dll?VDLK HTTP/1.1\r\n"));
    RawClient served(Port());
    ASSERT_TRUE(served.Send(ServiceRequest("VDLK", "Top")));
    ASSERT_TRUE(served.ReadReply());

    const auto before = std::chrono::steady_clock::now();
    service_->Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(5));
    for (RawClient* client : {&idle, &halfway, &served}) {
        EXPECT_TRUE(client->ClosedByService());
    }
    // Stopping again is harmless, and nobody listens any more.
    service_->Stop();
    auto refused =
        platform::TcpSocket::Connect(platform::ParseDottedQuad("127.0.0.1").value(), Port());
    EXPECT_FALSE(refused.ok());
}

TEST_F(RobustnessTest, StartRefusesARootThatIsNoFolderAndAnUnwritableLog) {
    qvn_service::ServiceOptions noRoot(table_);
    noRoot.root = root_.Sub("missing");
    auto start = qvn_service::QvnService::Start(noRoot);
    EXPECT_FALSE(start.ok());
    EXPECT_NE(start.error.find("missing"), std::string::npos);

    qvn_service::ServiceOptions badLog(table_);
    badLog.root = root_.path();
    badLog.requestLogPath = root_.Sub("no/such/folder/log");
    start = qvn_service::QvnService::Start(badLog);
    EXPECT_FALSE(start.ok());
    EXPECT_NE(start.error.find("request log"), std::string::npos);
}

}  // namespace

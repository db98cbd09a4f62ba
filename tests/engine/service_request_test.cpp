// The generic service request against scripted loopback replies: the
// request's lines, the reply header rules and every failure row.

#include <gtest/gtest.h>

#include "engine/service_request.h"
#include "engine_fixture.h"

namespace {

using engine_testing::EngineFixture;
using engine_testing::Lines;

const char* kOk = "HTTP/1.1 200 OK\r\nX-QVN-CONCLUSION: Successful\r\n\r\n";

TEST(ServiceRequest, RequestLinesInTheirOrder) {
    EngineFixture f;
    f.server().Add(kOk);
    ASSERT_TRUE(engine::ServiceRequest(f.context(), "VDLK"));
    const auto requests = f.server().Requests();
    ASSERT_EQ(requests.size(), 1u);
    const auto lines = Lines(requests[0]);
    ASSERT_EQ(lines.size(), 8u);
    EXPECT_EQ(lines[0], "GET /scripts/qzupld9.dll?VDLK HTTP/1.1");
    EXPECT_EQ(lines[1], "Host: 127.0.0.1");
    EXPECT_EQ(lines[2].rfind("X-QVN-RATTART3: ", 0), 0u);
    EXPECT_GT(lines[2].size(), 16u + 12u);
    EXPECT_EQ(lines[3], "X-QVN-FISHSLAP: ZEL,0");
    EXPECT_EQ(lines[4], "User-Agent: QVN Upload Manager(1.0.14)");
    EXPECT_EQ(lines[5], "X-QVN-BLACMANGE: NO,0");
    EXPECT_EQ(lines[6], "X-QVN-LUPIN: 0,;");
    EXPECT_EQ(lines[7], "");
    EXPECT_EQ(f.context().Conclusion(), "Successful");
}

TEST(ServiceRequest, LoginTokenAndNoClientHeaderWithoutAClientId) {
    EngineFixture f;
    f.block().downloadKey.reset();
    f.block().clientId.clear();
    f.context().state.currentFileId = "123";
    f.server().Add(kOk);
    ASSERT_TRUE(engine::ServiceRequest(f.context(), "DLCK"));
    const auto lines = Lines(f.server().Requests()[0]);
    EXPECT_EQ(lines[2].rfind("X-QVN-RATTART: ", 0), 0u);
    EXPECT_EQ(lines[3], "User-Agent: QVN Upload Manager(1.0.14)");
    EXPECT_EQ(lines[5], "X-QVN-LUPIN: 0,123;");
}

TEST(ServiceRequest, TokenChangesWithTheTime) {
    EngineFixture f;
    f.server().Add(kOk);
    f.server().Add(kOk);
    ASSERT_TRUE(engine::ServiceRequest(f.context(), "VDLK"));
    f.clock().Advance(std::chrono::seconds(1));
    ASSERT_TRUE(engine::ServiceRequest(f.context(), "VDLK"));
    const auto requests = f.server().Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_NE(Lines(requests[0])[2], Lines(requests[1])[2]);
    EXPECT_EQ(f.server().Connections(), 1) << "the open connection is reused";
}

TEST(ServiceRequest, HeaderEndingCrLfLfAndReplyHeaders) {
    EngineFixture f;
    f.server().Add("HTTP/1.1 500 Internal\r\nX-QVN-CONCLUSION: " + std::string(70, 'c') +
                   "\r\nX-QVN-LARCH: 42\r\nX-QVN-CRUNCHYFROG: 1,0,1\r\nContent-Length: 0\r\n\n");
    ASSERT_TRUE(engine::ServiceRequest(f.context(), "DKFL")) << "500 is handled like any reply";
    EXPECT_EQ(f.context().Conclusion(), std::string(63, 'c'));
    const engine::EngineState& state = f.context().state;
    EXPECT_EQ(state.larchFirst, 42);
    EXPECT_EQ(state.larchSecond, 0);
    EXPECT_EQ(state.payloadFlags, 5u);
    ASSERT_TRUE(state.replyBody);
    EXPECT_EQ(state.replyLength, 0);
    EXPECT_EQ(*state.replyBody, std::vector<std::uint8_t>(4, 0));
}

TEST(ServiceRequest, BodyIsReadWholeAndFollowedByZeros) {
    EngineFixture f;
    f.server().Add("HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello");
    ASSERT_TRUE(engine::ServiceRequest(f.context(), "DKFL"));
    const auto& body = *f.context().state.replyBody;
    EXPECT_EQ(std::string(body.begin(), body.end()), std::string("hello\0\0\0\0", 9));
    // A reply without Content-Length has no body.
    f.server().Add(kOk);
    ASSERT_TRUE(engine::ServiceRequest(f.context(), "DKFL"));
    EXPECT_FALSE(f.context().state.replyBody);
}

// Where the block's end lies decides: within 4096 bytes it is a reply;
// beyond, the rest of the header would be read as the body, so the reply
// is broken.
TEST(ServiceRequest, HeaderBlocksEndWithin4096BytesOrTheReplyIsBroken) {
    for (const std::size_t size : {std::size_t{4096}, std::size_t{4097}}) {
        EngineFixture f;
        std::string reply = "HTTP/1.1 200 OK\r\nX-QVN-CONCLUSION: Long\r\n";
        reply += "X-Pad: " + std::string(size - reply.size() - 11, 'p') + "\r\n\r\n";
        ASSERT_EQ(reply.size(), size);
        f.server().Add(reply);
        const bool whole = size <= 4096;
        EXPECT_EQ(engine::ServiceRequest(f.context(), "VDLK"), whole) << size;
        EXPECT_EQ(f.context().Conclusion(), whole ? "Long" : "") << size;
        EXPECT_EQ(f.context().link.commFailed(), !whole) << size;
        EXPECT_EQ(f.Count(" Err - VDLK - Response header longer than 4096 bytes\n"), whole ? 0 : 1);
    }
}

TEST(ServiceRequest, ProxyAuthenticationFailsWithoutCommFailed) {
    for (const char* status : {"HTTP/1.1 407 Proxy", "HTTP/1.0 407 Proxy"}) {
        EngineFixture f;
        f.server().Add(std::string(status) + "\r\nX-QVN-CONCLUSION: Successful\r\n\r\n");
        EXPECT_FALSE(engine::ServiceRequest(f.context(), "VDLK")) << status;
        EXPECT_FALSE(f.context().link.commFailed());
        EXPECT_FALSE(f.context().link.connectionOpen());
        EXPECT_EQ(f.context().Conclusion(), "");
        EXPECT_EQ(f.Count(" Err - VDLK - Proxy Authentication Failed\n"), 1);
    }
}

TEST(ServiceRequest, CloseInsideTheHeaderIsACommunicationFailure) {
    EngineFixture f;
    f.server().Add("HTTP/1.1 200 OK\r\nX-QVN-CONC", /*close=*/true);
    EXPECT_FALSE(engine::ServiceRequest(f.context(), "VDLK"));
    EXPECT_TRUE(f.context().link.commFailed());
    EXPECT_FALSE(f.context().link.server(0).failed) << "an orderly close marks nothing";
    EXPECT_EQ(f.Count(" Err - VDLK - Connection Closed Incomplete HTTP response header 27\n"), 1);
    EXPECT_EQ(f.Count("Err - VDLK - Connection Closed r=0 Incomplete response header \n"), 1);
}

TEST(ServiceRequest, SilentPeerTimesOutAndMarksTheServer) {
    EngineFixture f;
    f.server().Add(testing_support::ScriptedReply{"HTTP/1.1 200 OK\r\n", false, /*stall=*/true});
    EXPECT_FALSE(engine::ServiceRequest(f.context(), "DKFL"));
    EXPECT_TRUE(f.context().link.commFailed());
    EXPECT_TRUE(f.context().link.server(0).failed);
    EXPECT_EQ(f.Count("Err - DKFL - Connection Closed Incomplete response header\n"), 1);
}

TEST(ServiceRequest, BodyCutShortFails) {
    EngineFixture f;
    f.server().Add("HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nabc", /*close=*/true);
    EXPECT_FALSE(engine::ServiceRequest(f.context(), "DKFL"));
    EXPECT_FALSE(f.context().link.commFailed()) << "the peer closed: not a lost connection";
    EXPECT_EQ(f.Count(" Err - DKFL - Connection Closed Incomplete HTTP response data\n"), 1);
}

TEST(ServiceRequest, UnacceptableContentLengthsAreRefused) {
    for (const char* length : {"-5", "1001", "99999999999999999999"}) {
        EngineFixture f(1, /*maxReplyBody=*/1000);
        f.server().Add(std::string("HTTP/1.1 200 OK\r\nContent-Length: ") + length + "\r\n\r\n");
        EXPECT_FALSE(engine::ServiceRequest(f.context(), "DKFL")) << length;
        EXPECT_FALSE(f.context().state.replyBody);
        EXPECT_EQ(f.Count("Unacceptable Content-Length"), 1) << length;
    }
}

TEST(ServiceRequest, ConnectionCloseDropsTheConnectionAfterTheReply) {
    EngineFixture f;
    f.server().Add("HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n");
    f.server().Add(kOk);
    ASSERT_TRUE(engine::ServiceRequest(f.context(), "VDLK"));
    EXPECT_FALSE(f.context().link.connectionOpen());
    ASSERT_TRUE(engine::ServiceRequest(f.context(), "VDLK"));
    EXPECT_EQ(f.server().Connections(), 2);
}

TEST(ServiceRequest, ConnectFailureWritesItsLine) {
    EngineFixture f;
    f.context().link.server(0).connection.Retarget("127.0.0.1", "1");
    f.context().link.server(0).portText = "1";
    EXPECT_FALSE(engine::ServiceRequest(f.context(), "VDLK"));
    EXPECT_TRUE(f.context().link.commFailed());
    EXPECT_EQ(f.Count("Err - Connect to server failed\n"), 1);
    EXPECT_EQ(f.clock().Sleeps().size(), 3u);
}

}  // namespace

// One exchange, each failure as both kinds of asker see it: the lines it
// writes, and what it does to the connection and the server.

#include <gtest/gtest.h>

#include "engine/exchange.h"
#include "engine_fixture.h"

namespace {

using engine::Asker;
using engine::ExchangeFailure;
using engine_testing::EngineFixture;

TEST(ExchangeTest, EachFailureWritesItsLinesAndMarksWhatItShould) {
    const std::string header = "HTTP/1.1 200 OK\r\nX-QVN-CONCLUSION: Successful\r\n";
    const struct {
        const char* what;
        std::function<void(EngineFixture&)> peer;
        ExchangeFailure failure;
        const char* serviceLine;
        const char* downloadLine;
        bool commFailed;
        bool serverFailed;
    } cases[] = {
        {"silent peer",
         [&](EngineFixture& f) {
             f.server().Add(testing_support::ScriptedReply{header, false, /*stall=*/true});
         },
         ExchangeFailure::HeaderReceiveFailed,
         "Err - VDLK - Connection Closed Incomplete response header\n",
         " Err - DownloadFile - Recv Incomplete HTTP header\n", true, true},
        {"closed in the header", [&](EngineFixture& f) { f.server().Add(header, true); },
         ExchangeFailure::HeaderClosed,
         "Err - VDLK - Connection Closed r=0 Incomplete response header \n",
         " Err - DownloadFile - Recv Incomplete HTTP header\n", true, false},
        {"overlong header",
         [&](EngineFixture& f) { f.server().Add(header + std::string(4096, 'x') + "\r\n\r\n"); },
         ExchangeFailure::HeaderOverlong, " Err - VDLK - Response header longer than 4096 bytes\n",
         " Err - DownloadFile - Recv Incomplete HTTP header\n", true, false},
        {"proxy", [&](EngineFixture& f) { f.server().Add("HTTP/1.0 407 Proxy\r\n\r\n"); },
         ExchangeFailure::ProxyAuthentication, " Err - VDLK - Proxy Authentication Failed\n",
         " Err - DownloadFile - Proxy Authentication Failed /d/a.txt\n", false, false},
        {"credentials", [&](EngineFixture& f) { f.block().downloadKey = std::string(200, 'k'); },
         ExchangeFailure::CredentialsTooLong, " Err - VDLK - Credentials do not fit\n",
         " Err - DownloadFile - Credentials do not fit\n", false, false},
    };
    for (const auto& c : cases) {
        for (const Asker asker : {Asker::Service, Asker::Download}) {
            SCOPED_TRACE(std::string(c.what) +
                         (asker == Asker::Service ? ", service" : ", download"));
            EngineFixture f;
            c.peer(f);
            engine::ExchangeRequest request;
            request.asker = asker;
            request.name = asker == Asker::Service ? "VDLK" : "/d/a.txt";
            request.build = [](const std::string& credentials) {
                return "GET / HTTP/1.1\r\n" + credentials + "\r\n";
            };
            const engine::ExchangeResult result = engine::Exchange(f.context(), request);

            EXPECT_EQ(result.failure, c.failure);
            EXPECT_EQ(f.Count(asker == Asker::Service ? c.serviceLine : c.downloadLine), 1);
            EXPECT_FALSE(f.context().link.connectionOpen());
            EXPECT_EQ(f.context().link.commFailed(), c.commFailed);
            EXPECT_EQ(f.context().link.server(0).failed, c.serverFailed);
        }
    }
}

// Each failure leaves its cause in words for the dialog.
TEST(ExchangeTest, EachFailureSaysWhyInWords) {
    using Kind = control::FailureCause::Kind;
    const std::string header = "HTTP/1.1 200 OK\r\n";
    const struct {
        std::function<void(EngineFixture&)> peer;
        Kind kind;
        std::string text;
    } cases[] = {
        {[&](EngineFixture& f) {
             f.server().Add(testing_support::ScriptedReply(header, false, true));
         },
         Kind::NoAnswer, "no answer from 127.0.0.1:40001 for 180 s"},
        {[&](EngineFixture& f) { f.server().Add(header, true); }, Kind::ConnectionLost,
         "127.0.0.1:40001 closed the connection"},
        {[&](EngineFixture& f) { f.server().Add(header + std::string(5000, 'x')); },
         Kind::BrokenReply, "a reply from 127.0.0.1:40001 that never ends"},
        {[&](EngineFixture& f) { f.server().Add("HTTP/1.0 407 Proxy\r\n\r\n"); }, Kind::BrokenReply,
         "a proxy on the way to 127.0.0.1:40001 refused the request"},
    };
    for (const auto& c : cases) {
        EngineFixture f;
        c.peer(f);
        engine::ExchangeRequest request;
        request.name = "VDLK";
        request.build = [](const std::string& credentials) {
            return "GET / HTTP/1.1\r\n" + credentials + "\r\n";
        };
        EXPECT_FALSE(engine::Exchange(f.context(), request).ok());
        EXPECT_EQ(f.block().failureCause, (control::FailureCause{c.kind, c.text}));
    }
}

}  // namespace

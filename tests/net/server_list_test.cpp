#include "net/server_list.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <string>
#include <vector>

#include "connection_test_support.h"
#include "platform/strings.h"
#include "support/fake_clock.h"
#include "support/system_files.h"

namespace {

using namespace connection_testing;
using net::ServerLink;
using std::chrono::milliseconds;

// A server link over a recording log, a fake clock and a scripted resolver.
struct Link {
    RecordingLog log;
    testing_support::FakeClock clock;
    ScriptedResolver resolver;
    ServerLink link{log, clock, TestTimeouts(), resolver};
};

std::string ConnectFailedLine(int counter, const std::string& reason) {
    return platform::StrPrintf(" Err Communications connect to Quorvane failed %d %s\n", counter,
                               reason.c_str());
}

TEST(ServerLinkTest, EntriesGoInAtTheHeadWithTheirOwnConnection) {
    Link l;
    l.link.AddServer("b1.example.net", "80");
    l.link.AddServer("b2.example.net", "80");
    ASSERT_EQ(l.link.serverCount(), 2u);
    EXPECT_EQ(l.link.server(0).host, "b2.example.net");
    EXPECT_EQ(l.link.server(1).host, "b1.example.net");
    EXPECT_EQ(l.link.server(0).portText, "80");
    EXPECT_EQ(l.link.server(0).connection.host(), "b2.example.net");
    EXPECT_EQ(l.link.server(0).connection.port(), 80);
    EXPECT_FALSE(l.link.server(0).failed);
    EXPECT_EQ(l.link.server(0).skipCount, 0);
    EXPECT_EQ(l.link.currentServer(), nullptr);
    EXPECT_EQ(l.link.currentHost(), "");

    net::ServerEntry& longOne = l.link.AddServer(std::string(300, 'x'), "123456789");
    EXPECT_EQ(longOne.host.size(), 127u);
    EXPECT_EQ(longOne.portText, "1234567");
}

TEST(ServerLinkTest, NewConnectionsAlternateBetweenLiveServersStartingWithTheHead) {
    Link l;
    platform::TcpListener one = Listen();
    platform::TcpListener two = Listen();
    l.link.AddServer("127.0.0.1", std::to_string(one.Port()));
    l.link.AddServer("127.0.0.1", std::to_string(two.Port()));

    platform::TcpListener* expected[] = {&two, &one, &two, &one};
    for (platform::TcpListener* listener : expected) {
        ASSERT_TRUE(l.link.Connect());
        EXPECT_TRUE(l.link.connectionOpen());
        platform::TcpListener* other = listener == &one ? &two : &one;
        EXPECT_TRUE(HasPending(*listener));
        EXPECT_FALSE(HasPending(*other));
        AcceptPending(*listener);
        EXPECT_TRUE(l.link.Disconnect());
    }
    EXPECT_TRUE(l.log.Lines().empty());
    EXPECT_TRUE(l.clock.Sleeps().empty());
    EXPECT_TRUE(l.resolver.Looked().empty());
}

TEST(ServerLinkTest, OpenConnectionIsReusedWithoutSelectingAgain) {
    Link l;
    platform::TcpListener one = Listen();
    platform::TcpListener two = Listen();
    l.link.AddServer("127.0.0.1", std::to_string(one.Port()));
    l.link.AddServer("127.0.0.1", std::to_string(two.Port()));
    ASSERT_TRUE(l.link.Connect());
    net::ServerEntry* first = l.link.currentServer();
    AcceptPending(two);
    ASSERT_TRUE(l.link.Connect());
    EXPECT_EQ(l.link.currentServer(), first);
    EXPECT_FALSE(HasPending(one));
    EXPECT_FALSE(HasPending(two));
}

TEST(ServerLinkTest, RefusingServerIsLeftForTheOtherAndRetriedAfterFiftyOnePasses) {
    Link l;
    platform::TcpListener up = Listen();
    l.link.AddServer("127.0.0.1", std::to_string(up.Port()));
    l.link.AddServer("127.0.0.1", RefusedPortText());
    net::ServerEntry& down = l.link.server(0);
    net::ServerEntry& live = l.link.server(1);

    ASSERT_TRUE(l.link.Connect());
    AcceptPending(up);
    EXPECT_EQ(l.link.currentServer(), &live);
    EXPECT_EQ(l.link.currentHost(), "127.0.0.1");
    EXPECT_EQ(l.clock.Sleeps(), std::vector<milliseconds>{milliseconds(5000)});
    EXPECT_EQ(l.log.Lines(),
              std::vector<std::string>{ConnectFailedLine(
                  3, platform::StrPrintf("connect failed 0 %d",
                                         testing_support::RefusedConnectionCode()))});
    EXPECT_EQ(l.log.Kinds(), std::vector<net::LineKind>{net::LineKind::Error});
    EXPECT_TRUE(down.failed);
    EXPECT_FALSE(live.failed);
    EXPECT_FALSE(l.link.commFailed());
    ASSERT_TRUE(l.link.Disconnect());

    // Each later connection walks over the failed server once; while its
    // count has not passed 50 it is not tried.
    for (int pass = 1; pass <= 51; ++pass) {
        ASSERT_TRUE(l.link.Connect()) << pass;
        AcceptPending(up);
        EXPECT_EQ(l.link.currentServer(), &live) << pass;
        EXPECT_EQ(down.skipCount, pass);
        EXPECT_TRUE(down.failed);
        ASSERT_TRUE(l.link.Disconnect());
    }
    EXPECT_EQ(l.log.Lines().size(), 1u);
    EXPECT_EQ(l.clock.Sleeps().size(), 1u);

    // The next walk finds its count above 50: it is tried again, fails again
    // and the connection goes to the live server after one more pause.
    ASSERT_TRUE(l.link.Connect());
    AcceptPending(up);
    EXPECT_EQ(l.link.currentServer(), &live);
    EXPECT_EQ(down.skipCount, 0);
    EXPECT_TRUE(down.failed);
    EXPECT_EQ(l.log.Lines().size(), 2u);
    EXPECT_EQ(l.clock.Sleeps().size(), 2u);
}

TEST(ServerLinkTest, EveryServerRefusingGivesFourAttemptsThreePausesAndCommFailed) {
    Link l;
    const std::string first = RefusedPortText();
    const std::string second = RefusedPortText();
    l.link.AddServer("127.0.0.1", first);
    l.link.AddServer("127.0.0.1", second);
    EXPECT_FALSE(l.link.Connect());
    // Each server tried, once, in the order tried, and the system's reason.
    // The system's words, from a small letter ("connection refused").
    std::string refused = platform::SystemMessage(testing_support::RefusedConnectionCode());
    refused[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(refused[0])));
    EXPECT_EQ(l.link.connectFailure(),
              "127.0.0.1:" + second + ", 127.0.0.1:" + first + ": " + refused);

    const std::string reason =
        platform::StrPrintf("connect failed 0 %d", testing_support::RefusedConnectionCode());
    EXPECT_EQ(l.log.Lines(), (std::vector<std::string>{
                                 ConnectFailedLine(3, reason), ConnectFailedLine(2, reason),
                                 ConnectFailedLine(1, reason), ConnectFailedLine(0, reason)}));
    EXPECT_EQ(l.clock.Sleeps(), std::vector<milliseconds>(3, milliseconds(5000)));
    EXPECT_TRUE(l.link.commFailed());
    EXPECT_FALSE(l.link.connectionOpen());
    EXPECT_TRUE(l.link.server(0).failed);
    EXPECT_TRUE(l.link.server(1).failed);
}

TEST(ServerLinkTest, TheTimeoutsChooseThePauseBetweenAttempts) {
    RecordingLog log;
    testing_support::FakeClock clock;
    ScriptedResolver resolver;
    net::Timeouts timeouts = TestTimeouts();
    timeouts.connectPause = milliseconds(20);
    ServerLink link(log, clock, timeouts, resolver);
    link.AddServer("127.0.0.1", RefusedPortText());
    EXPECT_FALSE(link.Connect());
    EXPECT_EQ(clock.Sleeps(), std::vector<milliseconds>(3, milliseconds(20)));
}

TEST(ServerLinkTest, AttemptsAlternateAndFailedLookupsAreRetriedEachTime) {
    Link l;
    l.link.AddServer("b1.unknown.test", "80");
    l.link.AddServer("b2.unknown.test", "80");
    EXPECT_FALSE(l.link.Connect());
    EXPECT_EQ(l.resolver.Looked(),
              (std::vector<std::string>{"b2.unknown.test", "b1.unknown.test", "b2.unknown.test",
                                        "b1.unknown.test"}));
    const std::vector<std::string> lines = l.log.Lines();
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[3], ConnectFailedLine(0, platform::StrPrintf("RACommLookup failed 0 %d",
                                                                 ScriptedResolver::kLookupError)));
    EXPECT_TRUE(l.link.commFailed());
    // With every server failed the selection stays where alternation put it.
    EXPECT_EQ(l.link.currentServer(), &l.link.server(1));
}

TEST(ServerLinkTest, SuccessClearsTheFailedMarkOfASingleServer) {
    Link l;
    platform::TcpListener up = Listen();
    l.link.AddServer("127.0.0.1", std::to_string(up.Port()));
    ASSERT_TRUE(l.link.Connect());
    AcceptPending(up);
    // As the request layer does after a reply times out.
    l.link.MarkCurrentServerFailed();
    ASSERT_TRUE(l.link.Disconnect());

    ASSERT_TRUE(l.link.Connect());
    AcceptPending(up);
    EXPECT_FALSE(l.link.server(0).failed);
    EXPECT_EQ(l.link.server(0).skipCount, 1);
    EXPECT_TRUE(l.log.Lines().empty());
}

TEST(ServerLinkTest, FailedSocketStartMakesEveryConnectFail) {
    RecordingLog log;
    testing_support::FakeClock clock;
    ScriptedResolver resolver;
    ServerLink link(log, clock, TestTimeouts(), resolver, [] { return false; });
    platform::TcpListener up = Listen();
    link.AddServer("127.0.0.1", std::to_string(up.Port()));
    EXPECT_TRUE(link.commInitFailed());
    EXPECT_FALSE(link.Connect());
    EXPECT_FALSE(link.connectionOpen());
    EXPECT_EQ(link.currentServer(), nullptr);
    EXPECT_FALSE(HasPending(up));
    EXPECT_TRUE(log.Lines().empty());
    EXPECT_TRUE(clock.Sleeps().empty());
}

TEST(ServerLinkTest, ConnectWithoutAnyServerLogsInitFailure) {
    Link l;
    EXPECT_FALSE(l.link.commInitFailed());
    EXPECT_FALSE(l.link.Connect());
    EXPECT_EQ(l.log.Lines(), std::vector<std::string>{" Err Communications init failed\n"});
    EXPECT_FALSE(l.link.commFailed());
    EXPECT_TRUE(l.clock.Sleeps().empty());
}

TEST(ServerLinkTest, DisconnectWithoutConnectionChangesNothing) {
    Link l;
    l.link.AddServer("127.0.0.1", "80");
    l.link.SetCloseAfterReply();
    l.link.SetCommFailed();
    EXPECT_FALSE(l.link.Disconnect());
    EXPECT_EQ(l.link.connectionFlags(), ServerLink::kCloseAfterReply);
    EXPECT_TRUE(l.link.commFailed());
    EXPECT_EQ(l.link.currentServer(), nullptr);
}

TEST(ServerLinkTest, DisconnectClosesAndForgetsTheConnectionButKeepsTheServer) {
    Link l;
    platform::TcpListener up = Listen();
    l.link.AddServer("127.0.0.1", std::to_string(up.Port()));
    ASSERT_TRUE(l.link.Connect());
    platform::TcpSocket peer = AcceptPending(up);
    l.link.SetCloseAfterReply();
    EXPECT_EQ(l.link.connectionFlags(), ServerLink::kConnectionOpen | ServerLink::kCloseAfterReply);

    EXPECT_TRUE(l.link.Disconnect());
    EXPECT_EQ(l.link.connectionFlags(), 0u);
    EXPECT_EQ(l.link.connection(), nullptr);
    EXPECT_EQ(l.link.currentServer(), &l.link.server(0));
    EXPECT_FALSE(l.link.server(0).connection.isOpen());
    EXPECT_EQ(ReadToEnd(peer), "");
    EXPECT_FALSE(l.link.Disconnect());
}

TEST(ServerLinkTest, ZeroLengthRequestSucceedsWithoutAConnection) {
    Link l;
    l.link.AddServer("127.0.0.1", "80");
    EXPECT_TRUE(l.link.SendRequest("", 0));
    EXPECT_EQ(l.link.connection(), nullptr);
    EXPECT_EQ(l.link.currentServer(), nullptr);
    EXPECT_FALSE(l.link.server(0).connection.isOpen());
    EXPECT_FALSE(l.link.SendRequest("GET", 3));
}

TEST(ServerLinkTest, RequestAndReplyTravelThroughTheConnectionInUse) {
    Link l;
    platform::TcpListener up = Listen();
    l.link.AddServer("127.0.0.1", std::to_string(up.Port()));
    ASSERT_TRUE(l.link.Connect());
    platform::TcpSocket peer = AcceptPending(up);

    const std::string request(5000, 'r');
    ASSERT_TRUE(l.link.SendRequest(request));
    std::string got;
    char buffer[2048];
    while (got.size() < request.size()) {
        ASSERT_EQ(peer.WaitReadable(std::chrono::seconds(5), nullptr), platform::WaitResult::Ready);
        auto n = peer.Receive(buffer, sizeof buffer);
        ASSERT_TRUE(n.ok() && *n > 0);
        got.append(buffer, *n);
    }
    EXPECT_EQ(got, request);

    ASSERT_TRUE(peer.SendAll("k", 1).ok());
    char byte = 0;
    EXPECT_EQ(l.link.Receive(&byte, 1), 1);
    EXPECT_EQ(byte, 'k');

    // A short time-out switched on through the link ends a silent wait.
    l.link.UseShortTimeout();
    EXPECT_EQ(l.link.connection()->receiveTimeout(), TestTimeouts().shortTimeout);
    EXPECT_EQ(l.link.Receive(&byte, 1), -1);
    EXPECT_FALSE(l.link.connection()->isOpen());
    // The link still counts the connection as open until it is dropped.
    EXPECT_TRUE(l.link.connectionOpen());
    EXPECT_TRUE(l.link.Disconnect());
    EXPECT_EQ(l.link.Receive(&byte, 1), -1);
}

}  // namespace

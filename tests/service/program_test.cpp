// The trevasto-service program, started as a child process the way the
// demo and the end-to-end tests start it.

#include <gtest/gtest.h>

#include <csignal>
#include <string>

#include "platform/strings.h"
#include "service_support/service_test_support.h"
#include "support/child_process.h"

namespace {

using testing_support::ChildOptions;
using testing_support::ChildProcess;
using Stream = testing_support::ChildProcess::Stream;
using service_testing::RawClient;

class ProgramTest : public service_testing::ServiceTest {
  protected:
    void SetUp() override {
        WriteFile("Top", "a.txt", "alpha");
        const auto table = service_testing::TableBytes();
        config_.Write("keys/table.bin", std::string(table.begin(), table.end()));
        config_.Write("deployment.conf", "service_host = qvn.test\nkey_table = keys/table.bin\n");
    }

    ChildProcess Start(std::vector<std::string> arguments,
                       std::vector<std::pair<std::string, std::string>> environment = {}) {
        ChildOptions options;
        options.argv = {TREVASTO_SERVICE_PROGRAM};
        options.argv.insert(options.argv.end(), arguments.begin(), arguments.end());
        options.environment = std::move(environment);
        auto child = ChildProcess::Start(options);
        EXPECT_TRUE(child.ok()) << child.error().Message();
        return child.ok() ? std::move(*child) : ChildProcess();
    }

    // The port of a "listening 127.0.0.1:PORT" line.
    static std::uint16_t PortOf(const std::string& line) {
        const std::string prefix = "listening 127.0.0.1:";
        EXPECT_EQ(line.substr(0, prefix.size()), prefix);
        return static_cast<std::uint16_t>(platform::ParseDecimal(line.substr(prefix.size())));
    }

    testing_support::TempDir config_;
};

TEST_F(ProgramTest, ServesOnTheAnnouncedPortsAndEndsCleanlyOnSigterm) {
    ChildProcess child = Start({"--root", root_.path(), "--port", "0", "--port", "0",
                                "--request-log", config_.Sub("requests.log")},
                               {{"TREVASTO_DEPLOYMENT", config_.Sub("deployment.conf")}});
    ASSERT_TRUE(child.IsStarted());
    ASSERT_TRUE(child.WaitForLine(Stream::Output, "listening", service_testing::kPatience));
    // Both lines come out together, before the program waits.
    const std::string output = child.Captured(Stream::Output);
    const std::size_t second = output.find("listening", 1);
    ASSERT_NE(second, std::string::npos) << output;
    const std::uint16_t port = PortOf(output.substr(0, output.find('\n')));
    const std::uint16_t other = PortOf(output.substr(second, output.find('\n', second) - second));
    EXPECT_NE(port, other);

    const std::string request = ServiceRequest("VDLK", "Top");
    for (const std::uint16_t each : {port, other}) {
        RawClient client(each);
        ASSERT_TRUE(client.Send(request));
        auto reply = client.ReadReply();
        ASSERT_TRUE(reply);
        EXPECT_EQ(reply->Conclusion(), "Successful");
    }
    EXPECT_EQ(config_.Read("requests.log").substr(0, 4 + std::to_string(port).size() + 3),
              "=== " + std::to_string(port) + " 1\n");

    // A client that holds its connection does not keep the program alive.
    RawClient holder(port);
    ASSERT_TRUE(child.Kill(SIGTERM).ok());
    const auto status = child.WaitFor(service_testing::kPatience);
    ASSERT_TRUE(status.has_value());
    EXPECT_TRUE(status->Succeeded()) << child.Captured(Stream::Error);
}

TEST_F(ProgramTest, SigintStopsItAndTheDeploymentOptionWinsOverTheVariable) {
    ChildProcess child = Start(
        {"--root", root_.path(), "--port", "0", "--deployment", config_.Sub("deployment.conf")},
        {{"TREVASTO_DEPLOYMENT", config_.Sub("missing.conf")}});
    const auto line = child.WaitForLine(Stream::Output, "listening", service_testing::kPatience);
    ASSERT_TRUE(line) << child.Captured(Stream::Error);
    RawClient client(PortOf(*line));
    ASSERT_TRUE(client.Send(ServiceRequest("VDLK", "Top")));
    EXPECT_EQ(client.ReadReply()->Conclusion(), "Successful");
    ASSERT_TRUE(child.Kill(SIGINT).ok());
    const auto status = child.WaitFor(service_testing::kPatience);
    ASSERT_TRUE(status.has_value());
    EXPECT_TRUE(status->Succeeded());
}

TEST_F(ProgramTest, RefusesWrongCommandLinesAndMissingSettingsWithAMessage) {
    struct Case {
        std::vector<std::string> arguments;
        int code;
        std::string message;
    };
    const std::string deployment = config_.Sub("deployment.conf");
    const std::vector<Case> cases = {
        {{"--port", "0", "--deployment", deployment}, 2, "--root and --port are required"},
        {{"--root", root_.path(), "--port", "70000", "--deployment", deployment}, 2, "bad port"},
        {{"--root", root_.path(), "--port"}, 2, "needs a value"},
        {{"--root", root_.path(), "--port", "0", "--colour", "x"}, 2, "unknown option"},
        {{"--root", root_.path(), "--port", "0"}, 2, "no deployment file"},
        {{"--root", root_.path(), "--port", "0", "--deployment", config_.Sub("none.conf")},
         2,
         "none.conf"},
        {{"--root", root_.Sub("missing"), "--port", "0", "--deployment", deployment},
         1,
         "is not a folder"},
    };
    for (const Case& each : cases) {
        ChildProcess child = Start(each.arguments, {{"TREVASTO_DEPLOYMENT", ""}});
        const auto status = child.WaitFor(service_testing::kPatience);
        ASSERT_TRUE(status.has_value());
        EXPECT_EQ(status->code, each.code) << each.message;
        EXPECT_NE(child.Captured(Stream::Error).find(each.message), std::string::npos)
            << child.Captured(Stream::Error);
        EXPECT_EQ(child.Captured(Stream::Output), "");
    }
}

}  // namespace

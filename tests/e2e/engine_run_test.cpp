// The engine runner takes its waits from the deployment, as the program
// does: against a first server that refuses and a second that never
// answers, short time-outs and a short connect pause end the run in a
// moment, where the defaults (a 5 s pause, a 30 s time-out) would hold it
// for half a minute.

#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "platform/socket.h"
#include "platform/strings.h"
#include "service_support/service_test_support.h"
#include "support/child_process.h"
#include "support/temp_dir.h"

namespace {

TEST(EngineRunTest, TheDeploymentsTimeoutsAndConnectPauseAreHonoured) {
    // Listening but never accepting: the request is sent and nothing comes.
    auto silent = platform::TcpListener::ListenLoopback(0);
    ASSERT_TRUE(silent.ok());
    std::uint16_t refused = 0;
    {
        auto closed = platform::TcpListener::ListenLoopback(0);
        ASSERT_TRUE(closed.ok());
        refused = closed->Port();
    }
    testing_support::TempDir work;
    const auto table = service_testing::TableBytes();
    work.Write("keytable.bin", std::string(table.begin(), table.end()));
    work.Write(
        "deployment.conf",
        platform::StrPrintf("servers = 127.0.0.1:%u 127.0.0.1:%u\n"
                            "key_table = keytable.bin\ntimeouts = 200ms 200ms 200ms\n"
                            "connect_pause = 100ms\n",
                            static_cast<unsigned>(refused), static_cast<unsigned>(silent->Port())));

    testing_support::ChildOptions options;
    options.argv = {TREVASTO_ENGINE_RUN,
                    "--deployment",
                    work.Sub("deployment.conf"),
                    "--key",
                    "KEY1",
                    "--dest",
                    work.path(),
                    "--log-dir",
                    work.Sub("log")};
    options.environment = {{"XDG_CACHE_HOME", work.Sub("cache")}};
    const auto started = std::chrono::steady_clock::now();
    auto child = testing_support::ChildProcess::Start(options);
    ASSERT_TRUE(child.ok()) << child.error().Message();
    const std::optional<testing_support::ExitStatus> exit =
        child->WaitFor(std::chrono::seconds(60));
    const auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started);

    const std::string errorText = child->Captured(testing_support::ChildProcess::Stream::Error);
    ASSERT_TRUE(exit.has_value()) << "still running after a minute";
    EXPECT_EQ(*exit, (testing_support::ExitStatus{true, 1, 0})) << errorText;
    EXPECT_NE(errorText.find("the key was not verified"), std::string::npos) << errorText;
    // Generous for a loaded machine, and still below the default pause alone.
    EXPECT_LT(seconds.count(), 4.5) << errorText;
}

}  // namespace

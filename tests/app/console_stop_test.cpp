// What a signal asks of the console: the first during a run is handed to
// the loop, which it wakes; at a prompt, or a second one, it ends the
// program at once.

#include "app/console/console_stop.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace {

using namespace std::chrono_literals;

TEST(ConsoleStopTest, TheFirstSignalOfARunIsTakenOnceAndAnyOtherEndsTheProgram) {
    app::ConsoleStop stop;
    EXPECT_FALSE(stop.Take());
    EXPECT_TRUE(stop.Post());
    EXPECT_FALSE(stop.Post()) << "a second signal";
    EXPECT_TRUE(stop.Take());
    EXPECT_FALSE(stop.Take());
    EXPECT_FALSE(stop.EnterPrompt()) << "a stop already asked for answers the prompt";

    app::ConsoleStop prompting;
    EXPECT_TRUE(prompting.EnterPrompt());
    EXPECT_FALSE(prompting.Post()) << "a signal at a prompt";
    prompting.LeavePrompt();
    EXPECT_TRUE(prompting.Post());
}

// The loop's wait ends at once for a stop or the worker's news, from
// another thread too; the bound is far above the time that takes.
TEST(ConsoleStopTest, AStopOrNewsEndsTheLoopsWait) {
    const auto waited = [](app::ConsoleStop& stop) {
        const auto start = std::chrono::steady_clock::now();
        stop.WaitFor(5s);
        return std::chrono::steady_clock::now() - start;
    };
    app::ConsoleStop stop;
    {
        std::jthread signals([&] { EXPECT_TRUE(stop.Post()); });
        EXPECT_LT(waited(stop), 4s);
    }
    {
        std::jthread worker([&] { stop.Wake(); });
        EXPECT_LT(waited(stop), 4s);
    }
    const auto start = std::chrono::steady_clock::now();
    stop.WaitFor(20ms);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 20ms) << "nothing pending: a whole wait";
}

}  // namespace

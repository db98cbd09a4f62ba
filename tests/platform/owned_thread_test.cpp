// A thread owner joins a thread whose body has ended, waits no longer than
// asked for one that still runs, and passes such a thread to the process
// rather than blocking or detaching when it goes.

#include "platform/owned_thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <thread>

#include "platform/sync.h"

namespace {

using namespace std::chrono_literals;
using Steady = std::chrono::steady_clock;

constexpr auto kPatience = 10s;

// Something a body holds: the last copy to go sets `gone`, after a pause,
// on the thread that lets it go. A thread that counts as ended has let go
// of what its body held.
std::shared_ptr<int> HeldUntilGone(std::shared_ptr<std::atomic<bool>> gone) {
    return std::shared_ptr<int>(new int(0), [gone](int* value) {
        std::this_thread::sleep_for(30ms);
        gone->store(true);
        delete value;
    });
}

// A body that waits for `release` (at most kPatience) and says when it runs.
struct Gate {
    platform::AutoResetEvent entered;
    platform::AutoResetEvent release;
    std::atomic<bool> finished{false};

    std::function<void()> Body() {
        return [this] {
            entered.Signal();
            release.WaitFor(kPatience);
            finished.store(true);
        };
    }
};

TEST(OwnedThreadTest, JoinForJoinsOnceTheBodyAndWhatItHeldAreGone) {
    const auto gone = std::make_shared<std::atomic<bool>>(false);
    std::shared_ptr<int> held = HeldUntilGone(gone);
    platform::AutoResetEvent release;
    platform::OwnedThread thread([held, &release] { release.WaitFor(kPatience); });
    held.reset();  // the body's copy is the last
    release.Signal();
    EXPECT_TRUE(thread.JoinFor(kPatience));
    EXPECT_TRUE(gone->load()) << "joined before the body's captures were destroyed";
    EXPECT_FALSE(thread.IsJoinable());
    EXPECT_TRUE(thread.JoinFor(0ms)) << "nothing is left to join";
}

TEST(OwnedThreadTest, JoinForGivesABusyThreadOnlyItsTime) {
    Gate gate;
    platform::OwnedThread thread(gate.Body());
    ASSERT_TRUE(gate.entered.WaitFor(kPatience));
    for (const auto wait : {0ms, 40ms}) {
        const auto start = Steady::now();
        EXPECT_FALSE(thread.JoinFor(wait));
        const auto waited = Steady::now() - start;
        EXPECT_GE(waited, wait);
        EXPECT_LT(waited, wait + 2s) << "waited for the body instead of the time given";
        EXPECT_TRUE(thread.IsJoinable());
        EXPECT_FALSE(thread.HasEnded());
    }
    gate.release.Signal();
    EXPECT_TRUE(thread.JoinFor(kPatience));
    EXPECT_TRUE(gate.finished.load());
}

TEST(OwnedThreadTest, AnOwnerGoingWithoutWaitingPassesABusyThreadToTheProcess) {
    // The two ways an owner lets go of its thread.
    const std::function<void(platform::OwnedThread&)> goes[] = {
        [](platform::OwnedThread& thread) { platform::OwnedThread gone = std::move(thread); },
        [](platform::OwnedThread& thread) {
            thread = platform::OwnedThread([] {});
            EXPECT_TRUE(thread.JoinFor(kPatience));
        },
    };
    for (const auto& go : goes) {
        Gate gate;
        const std::size_t before = platform::JoinEndedThreads();
        {
            platform::OwnedThread thread(gate.Body());
            ASSERT_TRUE(gate.entered.WaitFor(kPatience));
            const auto start = Steady::now();
            go(thread);
            EXPECT_LT(Steady::now() - start, 2s) << "the owner waited for a busy thread";
        }
        EXPECT_EQ(platform::JoinEndedThreads(), before + 1) << "still running, and still owned";
        EXPECT_EQ(platform::JoinEndedThreads(20ms), before + 1);
        gate.release.Signal();
        EXPECT_EQ(platform::JoinEndedThreads(kPatience), before) << "joined once it had ended";
        EXPECT_TRUE(gate.finished.load());
    }
}

}  // namespace

// The worker loop and the controller's hand-over, driven through a scripted
// engine on the real worker thread.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "control/control_block.h"
#include "control/transfer_controller.h"
#include "control/worker.h"
#include "platform/owned_thread.h"
#include "support/fake_clock.h"

namespace {

using control::ControlBlock;
using namespace std::chrono_literals;

// Records the calls it receives; signals `called` at the end of every call,
// Disconnect included, so tests wait for the worker without sleeping.
class ScriptedEngine final : public control::WorkerEngine {
  public:
    struct Shared {
        std::mutex mutex;
        std::vector<std::string> calls;
        bool outcome = true;
        platform::AutoResetEvent called;
        // With `holdVerify`, VerifyDownloadKey signals `held` and then stays
        // busy until `release` (at most 10 s), as in a long network wait.
        bool holdVerify = false;
        platform::AutoResetEvent held;
        platform::AutoResetEvent release;
    };

    ScriptedEngine(ControlBlock& block, Shared& shared) : block_(block), shared_(shared) {}

    bool PrepareServers() override { return Record("PrepareServers"); }
    bool Disconnect() override { return Record("Disconnect"); }
    bool Reset() override { return Record("Reset"); }
    bool VerifyDownloadKey() override {
        if (shared_.holdVerify) {
            shared_.held.Signal();
            shared_.release.WaitFor(10s);
        }
        return Record("VerifyDownloadKey");
    }
    bool DownloadFilesUsingKey() override { return Record("DownloadFilesUsingKey"); }
    bool DownloadCompleteWithKey() override { return Record("DownloadCompleteWithKey"); }
    bool TestDestUsingKey() override { return Record("TestDestUsingKey"); }

  private:
    bool Record(const std::string& name) {
        bool outcome = true;
        {
            std::lock_guard<std::mutex> lock(shared_.mutex);
            shared_.calls.push_back(name);
            outcome = name == "PrepareServers" || name == "Disconnect" || shared_.outcome;
        }
        shared_.called.Signal();
        return outcome;
    }

    ControlBlock& block_;
    Shared& shared_;
};

class WorkerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        block_ = std::make_unique<ControlBlock>(clock_);
        worker_ = std::thread([this] {
            control::RunWorker(*block_, [this](ControlBlock& block) {
                return std::make_unique<ScriptedEngine>(block, shared_);
            });
        });
    }

    void TearDown() override {
        if (worker_.joinable()) {
            Post(control::command::kExit);
            worker_.join();
        }
    }

    void Post(std::int32_t code) {
        block_->result.store(control::kResultRunning);
        block_->command.store(code);
        block_->commandEvent.Signal();
    }

    // Waits for the engine calls to reach `count`.
    std::vector<std::string> CallsAfter(std::size_t count) {
        for (;;) {
            {
                std::lock_guard<std::mutex> lock(shared_.mutex);
                if (shared_.calls.size() >= count) {
                    return shared_.calls;
                }
            }
            EXPECT_TRUE(shared_.called.WaitFor(5s)) << "the worker stopped calling the engine";
        }
    }

    testing_support::FakeClock clock_;
    std::unique_ptr<ControlBlock> block_;
    ScriptedEngine::Shared shared_;
    std::thread worker_;
};

TEST_F(WorkerTest, ResetSignalsDoneWithoutClosingTheConnection) {
    Post(control::command::kReset);
    ASSERT_TRUE(block_->doneEvent.WaitFor(5s));
    EXPECT_EQ(block_->result.load(), control::kResultSucceeded);
    EXPECT_EQ(block_->command.load(), 0);
    // Prepared first, then the reset, and no disconnect.
    Post(control::command::kExit);
    worker_.join();
    EXPECT_EQ(shared_.calls, (std::vector<std::string>{"PrepareServers", "Reset"}));
}

TEST_F(WorkerTest, KeyOperationStoresResultThenClosesWithoutEvent) {
    shared_.outcome = false;
    Post(control::command::kVerifyDownloadKey);
    const auto calls = CallsAfter(3);
    EXPECT_EQ(calls,
              (std::vector<std::string>{"PrepareServers", "VerifyDownloadKey", "Disconnect"}));
    EXPECT_EQ(block_->result.load(), control::kResultFailed);
    EXPECT_FALSE(block_->doneEvent.WaitFor(0ms));
}

TEST_F(WorkerTest, CodesOutsideTheTableAreIgnored) {
    block_->result.store(control::kResultSucceeded);
    for (std::int32_t code : {0, 34, -1}) {
        block_->command.store(code);
        block_->commandEvent.Signal();
    }
    // The worker is still waiting and answers the next real command.
    Post(control::command::kTestDestUsingKey);
    const auto calls = CallsAfter(3);
    EXPECT_EQ(calls,
              (std::vector<std::string>{"PrepareServers", "TestDestUsingKey", "Disconnect"}));
}

TEST_F(WorkerTest, IgnoredCodeLeavesResultAndCommandUntouched) {
    block_->result.store(control::kResultSucceeded);
    block_->command.store(34);
    block_->commandEvent.Signal();
    // PrepareServers is the only call a first wake-up makes for code 34.
    CallsAfter(1);
    EXPECT_EQ(block_->command.load(), 34);
    EXPECT_EQ(block_->result.load(), control::kResultSucceeded);
    Post(control::command::kExit);
    worker_.join();
    EXPECT_EQ(shared_.calls, std::vector<std::string>{"PrepareServers"});
}

TEST_F(WorkerTest, ServersArePreparedExactlyOnce) {
    for (int i = 0; i < 3; ++i) {
        Post(control::command::kReset);
        ASSERT_TRUE(block_->doneEvent.WaitFor(5s));
    }
    Post(control::command::kExit);
    worker_.join();
    EXPECT_EQ(std::count(shared_.calls.begin(), shared_.calls.end(), "PrepareServers"), 1);
    EXPECT_EQ(shared_.calls.front(), "PrepareServers");
}

TEST_F(WorkerTest, ExitAsFirstCommandStillPreparesAndEndsTheLoop) {
    Post(control::command::kExit);
    worker_.join();  // returns only because the loop ended
    EXPECT_EQ(shared_.calls, std::vector<std::string>{"PrepareServers"});
    EXPECT_EQ(block_->result.load(), control::kResultRunning) << "exit stores no result";
}

TEST_F(WorkerTest, DormantCodesFailAndFinishAsTheirRowSays) {
    // 16 signals done then disconnects; 19 only signals done; 1 only disconnects.
    Post(16);
    ASSERT_TRUE(block_->doneEvent.WaitFor(5s));
    CallsAfter(2);
    EXPECT_EQ(block_->result.load(), control::kResultFailed);

    Post(19);
    ASSERT_TRUE(block_->doneEvent.WaitFor(5s));
    Post(1);
    CallsAfter(3);
    EXPECT_EQ(block_->result.load(), control::kResultFailed);
    Post(control::command::kExit);
    worker_.join();
    EXPECT_EQ(shared_.calls,
              (std::vector<std::string>{"PrepareServers", "Disconnect", "Disconnect"}));
}

// The controller over a real worker.
class ControllerTest : public ::testing::Test {
  protected:
    control::EngineFactory Factory() {
        return [this](ControlBlock& block) {
            return std::make_unique<ScriptedEngine>(block, shared_);
        };
    }
    void WaitForCalls(std::size_t count) {
        for (;;) {
            {
                std::lock_guard<std::mutex> lock(shared_.mutex);
                if (shared_.calls.size() >= count) {
                    return;
                }
            }
            ASSERT_TRUE(shared_.called.WaitFor(5s));
        }
    }
    testing_support::FakeClock clock_;
    ScriptedEngine::Shared shared_;
};

TEST_F(ControllerTest, PostingSetsRunningAndTheWorkerStoresTheOutcome) {
    control::TransferController controller(Factory(), clock_);
    EXPECT_EQ(controller.GetResult(), control::kResultNone);
    controller.TestDestUsingKey();
    WaitForCalls(3);  // prepared, tested, disconnected
    EXPECT_EQ(controller.GetResult(), control::kResultSucceeded);
    controller.Reset();
    EXPECT_EQ(controller.GetResult(), control::kResultSucceeded);
    controller.Shutdown();
    EXPECT_EQ(shared_.calls.back(), "Reset");
}

TEST_F(ControllerTest, ClientIdKeepsAtMostSixCharacters) {
    control::TransferController controller(Factory(), clock_);
    controller.SetClientId("ABCDEFGH");
    EXPECT_EQ(controller.Block().clientId, "ABCDEF");
    controller.SetClientId("ZEL");
    EXPECT_EQ(controller.Block().clientId, "ZEL");
    controller.Shutdown();
}

TEST_F(ControllerTest, ProgressCopyHasEmptyPathUntilTheEngineNamesAFile) {
    control::TransferController controller(Factory(), clock_);
    ControlBlock& block = controller.Block();
    {
        std::lock_guard<std::mutex> lock(block.progressLock);
        block.currentPath = "/dest/ignored";
        block.progress.fileIndex = 3;
    }
    auto copy = controller.GetProgress();
    EXPECT_EQ(copy.filePath, "");
    EXPECT_EQ(copy.fileIndex, 3);
    {
        std::lock_guard<std::mutex> lock(block.progressLock);
        block.progress.hasFilePath = true;
        block.currentPath = std::string(600, 'p');
    }
    copy = controller.GetProgress();
    EXPECT_EQ(copy.filePath.size(), 511u) << "the copy is cut to 511 characters";
    controller.Shutdown();
}

TEST_F(ControllerTest, ShutdownEndsTheWorkerAndClosesTheLog) {
    testing_support::FakeClock clock;
    auto controller = std::make_unique<control::TransferController>(Factory(), clock);
    controller->Reset();
    EXPECT_TRUE(controller->Shutdown());
    EXPECT_FALSE(controller->Block().log.IsOpen());
    EXPECT_EQ(shared_.calls, (std::vector<std::string>{"PrepareServers", "Reset"}));
}

TEST_F(ControllerTest, ShutdownJoinsTheWorkerOnceEverythingItHeldIsGone) {
    // The factory is the last thing the worker thread lets go of; its copy
    // there sets `gone` after a pause.
    auto gone = std::make_shared<std::atomic<bool>>(false);
    std::shared_ptr<int> held(new int(0), [gone](int* value) {
        std::this_thread::sleep_for(30ms);
        gone->store(true);
        delete value;
    });
    control::TransferController controller(
        [held, factory = Factory()](ControlBlock& block) { return factory(block); }, clock_);
    held.reset();
    controller.Reset();
    EXPECT_TRUE(controller.Shutdown());
    EXPECT_TRUE(gone->load()) << "Shutdown returned before the worker thread had ended";
    EXPECT_TRUE(controller.Shutdown()) << "a second Shutdown reports the same";
}

// A worker busy in an operation (a long network wait) when the controller
// goes: with a Shutdown, which waits only its grace, or without one, which
// never waits. Either way the worker finishes its operation, takes the exit
// command, and is joined once it has ended.
TEST_F(ControllerTest, ABusyWorkerIsNeverWaitedForBeyondTheGraceAndIsJoinedLater) {
    using Steady = std::chrono::steady_clock;
    for (const bool shutdownFirst : {true, false}) {
        SCOPED_TRACE(shutdownFirst ? "Shutdown, then destroyed" : "destroyed only");
        {
            std::lock_guard<std::mutex> lock(shared_.mutex);
            shared_.calls.clear();
            shared_.holdVerify = true;
        }
        const std::size_t before = platform::JoinEndedThreads();
        auto controller = std::make_unique<control::TransferController>(Factory(), clock_);
        controller->VerifyDownloadKey();
        ASSERT_TRUE(shared_.held.WaitFor(5s));

        if (shutdownFirst) {
            const auto start = Steady::now();
            EXPECT_FALSE(controller->Shutdown(50ms));
            const auto waited = Steady::now() - start;
            EXPECT_GE(waited, 50ms) << "the worker was not given its grace";
            EXPECT_LT(waited, 2s) << "Shutdown waited for the busy worker";
            EXPECT_FALSE(controller->Block().log.IsOpen());
        }
        const auto start = Steady::now();
        controller.reset();
        EXPECT_LT(Steady::now() - start, 2s) << "the controller waited for the busy worker";
        EXPECT_EQ(platform::JoinEndedThreads(), before + 1) << "the worker is still owned";

        shared_.release.Signal();
        EXPECT_EQ(platform::JoinEndedThreads(5s), before) << "the worker was not joined";
        std::lock_guard<std::mutex> lock(shared_.mutex);
        EXPECT_EQ(shared_.calls,
                  (std::vector<std::string>{"PrepareServers", "VerifyDownloadKey", "Disconnect"}));
    }
}

}  // namespace

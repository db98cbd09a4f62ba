// The activity log: its name and lines from a fixed clock, the flag rules,
// the results work file, and lines from two threads.

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <thread>

#include "control/activity_log.h"
#include "control/control_block.h"
#include "control/transfer_controller.h"
#include "platform/path.h"
#include "support/fake_clock.h"
#include "support/temp_dir.h"

namespace {

using net::LineKind;

// An engine for tests that only exercise the controller's own lines.
class IdleEngine final : public control::WorkerEngine {
  public:
    bool PrepareServers() override { return true; }
    bool Disconnect() override { return false; }
    bool Reset() override { return true; }
    bool VerifyDownloadKey() override { return false; }
    bool DownloadFilesUsingKey() override { return false; }
    bool DownloadCompleteWithKey() override { return false; }
    bool TestDestUsingKey() override { return false; }
};

std::unique_ptr<control::WorkerEngine> MakeIdle(control::ControlBlock&) {
    return std::make_unique<IdleEngine>();
}

class ActivityLogTest : public ::testing::Test {
  protected:
    ActivityLogTest() { clock_.SetLocal({2006, 3, 2, 7, 9, 5, 3, 0}); }

    std::string LogText() const { return dir_.Read("20060307090503.log"); }

    testing_support::FakeClock clock_;
    testing_support::TempDir dir_;
};

TEST_F(ActivityLogTest, NameAndFirstLineComeFromOneClockReading) {
    control::ActivityLog log(clock_);
    log.SetDirectory(dir_.path());
    log.Open(1);
    EXPECT_EQ(log.LogPath(), dir_.Sub("20060307090503.log"));
    EXPECT_EQ(LogText(), "Log File Open 3/7/2006 9:5:3\n");
    clock_.SetLocal({2006, 3, 2, 7, 10, 0, 0, 0});
    log.Close();
    EXPECT_EQ(LogText(), "Log File Open 3/7/2006 9:5:3\nLog File Close 3/7/2006 10:0:0\n");
    EXPECT_FALSE(log.IsOpen());
}

TEST_F(ActivityLogTest, DirectoryWithTrailingSeparatorGetsNoSecondOne) {
    control::ActivityLog log(clock_);
    log.SetDirectory(dir_.path() + platform::kPathSeparator);
    log.Open(1);
    EXPECT_EQ(log.LogPath(), dir_.Sub("20060307090503.log"));
}

TEST_F(ActivityLogTest, FlagsDecideWhichLinesAreWritten) {
    struct Case {
        std::uint32_t flags;
        bool progress, error, errorLine, controller, operation;
    };
    const Case cases[] = {
        {1, true, true, true, false, false},    {2, false, true, true, false, false},
        {4, false, false, true, true, false},   {8, true, true, true, true, true},
        {0, false, false, false, false, false},
    };
    for (const Case& c : cases) {
        control::ActivityLog log(clock_);
        log.SetDirectory(dir_.path());
        log.Open(c.flags);
        SCOPED_TRACE(c.flags);
        EXPECT_EQ(log.Wants(LineKind::Progress), c.progress);
        EXPECT_EQ(log.Wants(LineKind::Error), c.error);
        EXPECT_EQ(log.Wants(LineKind::ErrorLine), c.errorLine);
        EXPECT_EQ(log.Wants(LineKind::ControllerTrace), c.controller);
        EXPECT_EQ(log.Wants(LineKind::OperationTrace), c.operation);
    }
}

TEST_F(ActivityLogTest, NothingIsWrittenWithoutAnOpenLog) {
    control::ActivityLog log(clock_);
    log.SetDirectory(dir_.path());
    EXPECT_FALSE(log.Wants(LineKind::ErrorLine));
    log.Write(LineKind::ErrorLine, "Err - lost\n");
    EXPECT_FALSE(log.ResultsOpen());
}

TEST_F(ActivityLogTest, SecondOpenKeepsTheResultsFileAndReplacesTheLog) {
    control::ActivityLog log(clock_);
    log.SetDirectory(dir_.path());
    log.Open(1);
    log.WriteResults("first note\r\n");
    log.Write(LineKind::Progress, "first log line\n");
    // Same second: the same name, so the first log is replaced.
    log.Open(1);
    log.WriteResults("second note\r\n");
    EXPECT_EQ(dir_.Read(" Results.tmp"), "first note\r\nsecond note\r\n");
    EXPECT_EQ(LogText(), "Log File Open 3/7/2006 9:5:3\n");
}

TEST_F(ActivityLogTest, ControllerTraceLinesFollowFlagBitFour) {
    {
        control::TransferController controller(MakeIdle, clock_);
        controller.SetLogDirectory(dir_.path());
        controller.OpenLog(1);
        controller.SetVerification(true);
        controller.SetClientId("ZEL");
        controller.Block().log.Close();
        controller.Shutdown();
    }
    EXPECT_EQ(LogText().find("CALLMEMBER"), std::string::npos);
}

TEST_F(ActivityLogTest, EveryControllerTraceLineWithFlagEight) {
    {
        control::TransferController controller(MakeIdle, clock_);
        controller.SetLogDirectory(dir_.path());
        controller.OpenLog(8);
        controller.SetClientId("ZELDA99");
        controller.SetDownloadKey("K1");
        controller.SetLocalDirectory("/dest");
        controller.SetVerification(true);
        controller.UseQvnDate(false);
        controller.SetTransferCompress(true);
        controller.SyncFileAccess(true);
        controller.SetStartTime();
        controller.Block().log.Close();
        controller.Shutdown();
    }
    EXPECT_EQ(LogText(),
              "Log File Open 3/7/2006 9:5:3\n"
              "CALLMEMBER SetClientId ZELDA9\n"
              "CALLMEMBER SetDownloadKey K1\n"
              "CALLMEMBER SetLocalDirectory /dest\n"
              "CALLMEMBER SetVerification 1\n"
              "CALLMEMBER UseQvnDate 0\n"
              "CALLMEMBER SetTransferCompress 1\n"
              "CALLMEMBER SyncFileAccess 1\n"
              "CALLMEMBER SetStartTime \n"
              "Log File Close 3/7/2006 9:5:3\n");
}

TEST_F(ActivityLogTest, LinesFromTwoThreadsNeverInterleave) {
    control::ActivityLog log(clock_);
    log.SetDirectory(dir_.path());
    log.Open(8);
    constexpr int kLines = 2000;
    auto writer = [&log](char letter) {
        const std::string line = std::string(200, letter) + "\n";
        for (int i = 0; i < kLines; ++i) {
            log.Write(LineKind::Progress, line);
        }
    };
    std::thread a(writer, 'a');
    std::thread b(writer, 'b');
    a.join();
    b.join();
    log.Close();

    std::istringstream lines(LogText());
    std::string line;
    int counts[2] = {0, 0};
    std::getline(lines, line);  // opening line
    while (std::getline(lines, line)) {
        if (line.rfind("Log File Close", 0) == 0) {
            continue;
        }
        ASSERT_EQ(line.size(), 200u);
        ASSERT_TRUE(std::all_of(line.begin(), line.end(), [&](char c) { return c == line[0]; }))
            << "a line mixes two writers";
        ++counts[line[0] - 'a'];
    }
    EXPECT_EQ(counts[0], kLines);
    EXPECT_EQ(counts[1], kLines);
}

}  // namespace

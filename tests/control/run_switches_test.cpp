#include "control/run_switches.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Records the calls as the controller's trace would show them.
struct Recorder {
    std::vector<std::string> calls;
    void Call(const char* name, bool on) {
        calls.push_back(std::string(name) + (on ? " 1" : " 0"));
    }
    void SetTransferCompress(bool on) { Call("SetTransferCompress", on); }
    void UseQvnDate(bool on) { Call("UseQvnDate", on); }
    void SyncFileAccess(bool on) { Call("SyncFileAccess", on); }
};

// Each switch reaches its own call, always in the same order; the defaults
// are the dialog's.
TEST(RunSwitches, EachSwitchReachesItsOwnCallInTheTracesOrder) {
    const struct {
        control::RunSwitches switches;
        std::vector<std::string> calls;
    } rows[] = {
        {{}, {"SetTransferCompress 1", "UseQvnDate 1", "SyncFileAccess 1"}},
        {{.compressTransfers = false},
         {"SetTransferCompress 0", "UseQvnDate 1", "SyncFileAccess 1"}},
        {{.serviceDates = false}, {"SetTransferCompress 1", "UseQvnDate 0", "SyncFileAccess 1"}},
        {{.fileHandshake = false}, {"SetTransferCompress 1", "UseQvnDate 1", "SyncFileAccess 0"}},
    };
    for (const auto& row : rows) {
        Recorder recorder;
        control::ApplyRunSwitches(recorder, row.switches);
        EXPECT_EQ(recorder.calls, row.calls);
    }
}

}  // namespace

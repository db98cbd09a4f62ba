#pragma once
// The run switches: how the next operation's files travel and are dated.
// The dialog posts every operation with the defaults; the engine runner
// may turn compressed transfers off, the one way a partial copy is
// continued rather than dropped.

namespace control {

struct RunSwitches {
    bool compressTransfers = true;  // SetTransferCompress
    bool serviceDates = true;       // UseQvnDate: files bear the service's dates
    bool fileHandshake = true;      // SyncFileAccess
};

// Sets the switches through the controller's calls, always in this order,
// so that every run's trace shows them alike. `Controller` is the
// TransferController or the dialog's interface to it.
template <typename Controller>
void ApplyRunSwitches(Controller& controller, const RunSwitches& switches) {
    controller.SetTransferCompress(switches.compressTransfers);
    controller.UseQvnDate(switches.serviceDates);
    controller.SyncFileAccess(switches.fileHandshake);
}

}  // namespace control

#include "platform/stop_signal.h"

#include <atomic>
#include <csignal>

#include "platform/windows_win.h"

namespace platform {
namespace {

// Windows has no signals to block: a console's Ctrl+C, Ctrl+Break, close,
// log-off or shut-down calls a handler on a thread of its own. The handler
// only records which and sets an event; the waiting thread does the rest.
struct StopEvent {
    windows::OwnedHandle event{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    std::atomic<int> signal{0};
};

StopEvent& Stop() {
    static StopEvent stop;
    return stop;
}

BOOL WINAPI OnConsoleControl(DWORD control) {
    StopEvent& stop = Stop();
    stop.signal.store(control == CTRL_C_EVENT ? SIGINT : SIGTERM);
    ::SetEvent(stop.event.get());
    return TRUE;
}

}  // namespace

void BlockStopSignals() {
    (void)Stop();  // made before any handler call can need it
    ::SetConsoleCtrlHandler(&OnConsoleControl, TRUE);
}

int WaitForStopSignal() {
    StopEvent& stop = Stop();
    ::WaitForSingleObject(stop.event.get(), INFINITE);
    return stop.signal.load();
}

}  // namespace platform

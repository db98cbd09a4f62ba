#include "platform/stop_signal.h"

#include <atomic>
#include <csignal>
#include <cstdlib>

#include "platform/windows_win.h"

namespace platform {
namespace {

// Windows has no signals to block: a console's Ctrl+C, Ctrl+Break, close,
// log-off or shut-down calls a handler on a thread of its own. The handler
// only records which and sets an event; the waiting thread does the rest.
// The event resets as a wait takes it, so that a second Ctrl+C is a second
// stop.
struct StopEvent {
    windows::OwnedHandle event{::CreateEventW(nullptr, FALSE, FALSE, nullptr)};
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

void EndWithStopSignal(int) {
    // What Windows gives a console program that Ctrl+C ends, without
    // waiting for any other thread.
    ::TerminateProcess(::GetCurrentProcess(), STATUS_CONTROL_C_EXIT);
    std::_Exit(static_cast<int>(STATUS_CONTROL_C_EXIT));  // not reached
}

}  // namespace platform

#include "platform/stop_signal.h"

#include <pthread.h>
#include <signal.h>

#include <cerrno>
#include <cstdlib>

namespace platform {

namespace {

sigset_t StopSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    return set;
}

}  // namespace

void BlockStopSignals() {
    const sigset_t set = StopSignals();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

int WaitForStopSignal() {
    const sigset_t set = StopSignals();
    for (;;) {
        int signal = 0;
        if (sigwait(&set, &signal) == 0) {
            return signal;
        }
    }
}

void EndWithStopSignal(int signal) {
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    sigaction(signal, &action, nullptr);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, signal);
    pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
    raise(signal);
    std::_Exit(128 + signal);  // not reached: the default action ends the process
}

}  // namespace platform

#include "platform/stop_signal.h"

#include <pthread.h>
#include <signal.h>

#include <cerrno>

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

}  // namespace platform

#pragma once
// What Ctrl-C and SIGTERM ask of the console. The thread that takes the
// signals posts them here; the console's loop takes them between ticks and
// asks the dialog to stop, so nothing but this hand-over runs on the
// signal's thread.
//
// A first signal during a run stops it cleanly: the file in progress keeps
// its partial, the log is closed and the run's summary is printed. While a
// prompt waits for an answer nothing runs that a stop could save, and a
// second signal says the person will not wait for the stop: both end the
// program at once.

#include <chrono>
#include <mutex>

#include "platform/sync.h"

namespace app {

class ConsoleStop {
  public:
    // On the signal's thread: true when the loop will take this stop,
    // false when the program is to end at once.
    bool Post();
    // On the loop: whether a stop was posted and not taken yet.
    bool Take();

    // Around a prompt's wait for an answer; false (and no prompt) when a
    // stop was posted first.
    bool EnterPrompt();
    void LeavePrompt();

    // The loop's wait between ticks, which the worker's news (Wake) and a
    // posted stop end early.
    void Wake() { wake_.Signal(); }
    void WaitFor(std::chrono::milliseconds timeout) { (void)wake_.WaitFor(timeout); }

  private:
    std::mutex mutex_;
    bool posted_ = false;
    bool taken_ = false;
    bool prompting_ = false;
    platform::AutoResetEvent wake_;
};

}  // namespace app

#pragma once
// Orderly stops on SIGINT and SIGTERM for long-running programs: the signals
// are blocked in every thread and taken by one thread that waits for them,
// so no code runs inside a signal handler.

namespace platform {

// Blocks SIGINT and SIGTERM in the calling thread and in every thread it
// starts afterwards. Call it first in main, before any thread exists.
void BlockStopSignals();

// Waits until SIGINT or SIGTERM arrives (after BlockStopSignals) and
// returns its number.
int WaitForStopSignal();

// Ends the process as the signal's default action does, from the thread
// that took it: for a stop that must not wait for an orderly end (a second
// Ctrl-C), so that a shell sees the program ended by the signal.
[[noreturn]] void EndWithStopSignal(int signal);

}  // namespace platform

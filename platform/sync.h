#pragma once
// Events with the semantics the worker hand-over relies on: a signal stays
// pending until exactly one wait consumes it.

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace platform {

class AutoResetEvent {
  public:
    AutoResetEvent() = default;
    AutoResetEvent(const AutoResetEvent&) = delete;
    AutoResetEvent& operator=(const AutoResetEvent&) = delete;

    // Sets the event; a waiting thread (or the next wait) consumes it.
    void Signal();
    // Clears a pending signal.
    void Clear();
    // Waits without time limit and consumes the signal.
    void Wait();
    // Waits at most `timeout`; true when a signal was consumed.
    bool WaitFor(std::chrono::milliseconds timeout);

  private:
    std::mutex mutex_;
    std::condition_variable cv_;
    bool signalled_ = false;
};

}  // namespace platform

#pragma once
// A thread with one owner, who joins it, and who never blocks longer than
// it chooses to on a thread that is still busy.
//
// A thread's body returning is what "ended" means here: JoinFor waits for
// that (at most as long as asked) and then joins, which takes no longer
// than the thread's own exit. An owner that goes while its thread still
// runs (a worker in a long network wait when the program ends) neither
// waits nor detaches: the thread passes to the process's list of running
// threads, which joins it once it has ended (at the next start or hand-over
// of an owned thread, at JoinEndedThreads, at a normal exit). That list is
// never destroyed and never waited for, so a thread still running when the
// process ends ends with it.

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <thread>

namespace platform {

class OwnedThread {
  public:
    OwnedThread() = default;
    // Runs `body` on a new thread. The body and everything it holds are
    // destroyed on that thread before it counts as ended.
    explicit OwnedThread(std::function<void()> body);
    OwnedThread(OwnedThread&& other) noexcept = default;
    // The thread owned before is joined or passed on as in the destructor.
    OwnedThread& operator=(OwnedThread&& other) noexcept;
    OwnedThread(const OwnedThread&) = delete;
    OwnedThread& operator=(const OwnedThread&) = delete;
    // Joins a thread that has ended; passes one still running to the
    // process's list, without waiting.
    ~OwnedThread();

    // Waits at most `timeout` for the body to end and joins the thread when
    // it has; true when no thread is left to join.
    bool JoinFor(std::chrono::milliseconds timeout);
    // Whether a started thread has not been joined yet.
    bool IsJoinable() const { return thread_.joinable(); }
    // Whether the body has ended (the thread may still be joinable).
    bool HasEnded() const;

    // Whether the body has ended, shared with the thread (defined beside
    // the list of threads passed to the process, which holds it too).
    struct State;

  private:
    void Release();

    std::shared_ptr<State> state_;
    std::thread thread_;
};

// Joins the threads passed to the process whose bodies have ended, waiting
// at most `timeout` for the others to end; returns how many still run.
std::size_t JoinEndedThreads(std::chrono::milliseconds timeout = std::chrono::milliseconds(0));

}  // namespace platform

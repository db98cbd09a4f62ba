#include "platform/owned_thread.h"

#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <utility>
#include <vector>

namespace platform {

struct OwnedThread::State {
    std::mutex mutex;
    std::condition_variable changed;
    bool ended = false;

    void MarkEnded() {
        std::lock_guard<std::mutex> lock(mutex);
        ended = true;
        changed.notify_all();
    }
    bool Ended() {
        std::lock_guard<std::mutex> lock(mutex);
        return ended;
    }
    bool WaitUntil(std::chrono::steady_clock::time_point deadline) {
        std::unique_lock<std::mutex> lock(mutex);
        return changed.wait_until(lock, deadline, [this] { return ended; });
    }
};

namespace {

struct PassedThread {
    std::shared_ptr<OwnedThread::State> state;
    std::thread thread;
};

// The threads whose owners went while they still ran. Made once and never
// destroyed: destroying a joinable std::thread ends the program, and
// joining one still running at exit could wait for ever.
struct ProcessThreads {
    std::mutex mutex;
    std::vector<PassedThread> threads;
};

ProcessThreads& Passed() {
    static ProcessThreads* const list = [] {
        auto* made = new ProcessThreads;
        // A normal exit joins what has ended by then and leaves the rest.
        std::atexit([] { JoinEndedThreads(); });
        return made;
    }();
    return *list;
}

// Joins the entries whose bodies have ended and keeps the others; the
// joins are short, as those threads only have their exit left.
void JoinEnded(std::vector<PassedThread>& threads) {
    std::erase_if(threads, [](PassedThread& each) {
        if (!each.state->Ended()) {
            return false;
        }
        each.thread.join();
        return true;
    });
}

}  // namespace

OwnedThread::OwnedThread(std::function<void()> body) : state_(std::make_shared<State>()) {
    {
        ProcessThreads& passed = Passed();
        std::lock_guard<std::mutex> lock(passed.mutex);
        JoinEnded(passed.threads);
    }
    thread_ = std::thread([state = state_, body = std::move(body)]() mutable {
        body();
        body = nullptr;
        state->MarkEnded();
    });
}

OwnedThread& OwnedThread::operator=(OwnedThread&& other) noexcept {
    if (this != &other) {
        Release();
        state_ = std::move(other.state_);
        thread_ = std::move(other.thread_);
    }
    return *this;
}

OwnedThread::~OwnedThread() {
    Release();
}

void OwnedThread::Release() {
    if (!thread_.joinable()) {
        return;
    }
    if (state_->Ended()) {
        thread_.join();
        return;
    }
    ProcessThreads& passed = Passed();
    std::lock_guard<std::mutex> lock(passed.mutex);
    JoinEnded(passed.threads);
    passed.threads.push_back(PassedThread{std::move(state_), std::move(thread_)});
}

bool OwnedThread::JoinFor(std::chrono::milliseconds timeout) {
    if (!thread_.joinable()) {
        return true;
    }
    if (!state_->WaitUntil(std::chrono::steady_clock::now() + timeout)) {
        return false;
    }
    thread_.join();
    return true;
}

bool OwnedThread::HasEnded() const {
    return state_ && state_->Ended();
}

std::size_t JoinEndedThreads(std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    ProcessThreads& passed = Passed();
    // The waits happen outside the lock, so that an owner passing a thread
    // on meanwhile is not held up.
    std::vector<PassedThread> mine;
    {
        std::lock_guard<std::mutex> lock(passed.mutex);
        mine.swap(passed.threads);
    }
    for (PassedThread& each : mine) {
        each.state->WaitUntil(deadline);
    }
    JoinEnded(mine);
    std::lock_guard<std::mutex> lock(passed.mutex);
    for (PassedThread& each : mine) {
        passed.threads.push_back(std::move(each));
    }
    JoinEnded(passed.threads);
    return passed.threads.size();
}

}  // namespace platform

#include "support/scripted_stream.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <utility>

namespace testing_support {
namespace {

using Kind = StreamStep::Kind;

constexpr std::string_view kHeaderEnd = "\r\n\r\n";

const char* KindName(Kind kind) {
    switch (kind) {
        case Kind::Read:
            return "Read";
        case Kind::Expect:
            return "Expect";
        case Kind::Request:
            return "ExpectRequest";
        case Kind::Pause:
            return "Pause";
        case Kind::Close:
            return "Close";
        case Kind::Fail:
            return "Fail";
        case Kind::Interrupt:
            return "Interrupt";
        case Kind::TakeAtMost:
            return "TakeAtMost";
    }
    return "?";
}

StreamStep Step(Kind kind, std::string bytes = {}) {
    StreamStep step;
    step.kind = kind;
    step.bytes = std::move(bytes);
    return step;
}

}  // namespace

StreamStep Read(std::string bytes) {
    return Step(Kind::Read, std::move(bytes));
}

StreamStep Expect(std::string bytes) {
    return Step(Kind::Expect, std::move(bytes));
}

StreamStep ExpectRequest() {
    return Step(Kind::Request);
}

StreamStep Pause(std::chrono::milliseconds duration) {
    StreamStep step = Step(Kind::Pause);
    step.pause = duration;
    return step;
}

StreamStep Close() {
    return Step(Kind::Close);
}

StreamStep Fail(int code) {
    StreamStep step = Step(Kind::Fail);
    step.error = code;
    return step;
}

StreamStep Interrupt() {
    return Step(Kind::Interrupt);
}

StreamStep TakeAtMost(std::size_t count) {
    StreamStep step = Step(Kind::TakeAtMost);
    step.count = count;
    return step;
}

std::vector<StreamStep> ReadInPieces(const std::string& bytes, std::size_t size) {
    std::vector<StreamStep> steps;
    for (std::size_t at = 0; at < bytes.size(); at += size) {
        steps.push_back(Read(bytes.substr(at, size)));
    }
    return steps;
}

// ---- ScriptedConnector ----

struct ScriptedConnector::State {
    std::deque<std::vector<StreamStep>> scripts;
    std::deque<int> refusals;  // per script: 0, or the code its connect fails with
    std::vector<std::string> requests;
    int connections = 0;
    std::vector<std::string> leftovers;
};

namespace {

class StepStream final : public net::ByteStream {
  public:
    StepStream(std::shared_ptr<ScriptedConnector::State> state, std::vector<StreamStep> steps)
        : state_(std::move(state)), steps_(steps.begin(), steps.end()) {}

    void Interrupt() override { interrupted_ = true; }

    ~StepStream() override {
        // A peer closing after the client stopped listening is no step the
        // client could have played.
        if (!steps_.empty() && steps_.back().kind == Kind::Close) {
            steps_.pop_back();
        }
        for (const StreamStep& step : steps_) {
            state_->leftovers.push_back(std::string(KindName(step.kind)) + " " + step.bytes);
        }
    }

    platform::Result<std::size_t> Send(const void* data, std::size_t length) override {
        if (interrupted_) {
            return platform::SysError{EPIPE};
        }
        if (Front(Kind::TakeAtMost)) {
            takeAtMost_ = steps_.front().count;
            steps_.pop_front();
        }
        if (Front(Kind::Interrupt)) {
            steps_.pop_front();
            return platform::SysError{EINTR};
        }
        const auto* bytes = static_cast<const char*>(data);
        std::size_t take = std::min(length, takeAtMost_);
        if (Front(Kind::Expect)) {
            std::string& expected = steps_.front().bytes;
            take = std::min(take, expected.size());
            EXPECT_EQ(std::string_view(bytes, take), std::string_view(expected).substr(0, take))
                << "sent bytes differ from the script";
            expected.erase(0, take);
            if (expected.empty()) {
                steps_.pop_front();
            }
            return take;
        }
        if (Front(Kind::Request)) {
            // Taken up to the header block's end, no further.
            for (std::size_t i = 0; i < take; ++i) {
                request_.push_back(bytes[i]);
                if (request_.ends_with(kHeaderEnd)) {
                    state_->requests.push_back(std::move(request_));
                    request_.clear();
                    steps_.pop_front();
                    return i + 1;
                }
            }
            return take;
        }
        ADD_FAILURE() << "a send the script does not expect: " << std::string_view(bytes, length);
        return length;
    }

    platform::WaitResult WaitReadable(std::chrono::milliseconds timeout,
                                      platform::SysError* error) override {
        for (;;) {
            if (steps_.empty() || interrupted_) {
                return platform::WaitResult::Ready;  // the end of the script: closed
            }
            StreamStep& step = steps_.front();
            switch (step.kind) {
                case Kind::Interrupt:
                    steps_.pop_front();
                    *error = platform::SysError{EINTR};
                    return platform::WaitResult::Failed;
                case Kind::Pause: {
                    const bool timesOut = timeout < step.pause;
                    steps_.pop_front();
                    if (timesOut) {
                        *error = platform::SysError{ETIMEDOUT};
                        return platform::WaitResult::TimedOut;
                    }
                    continue;
                }
                case Kind::Fail:
                    *error = platform::SysError{step.error};
                    steps_.pop_front();
                    return platform::WaitResult::Failed;
                case Kind::Read:
                case Kind::Close:
                    return platform::WaitResult::Ready;
                case Kind::Expect:
                case Kind::Request:
                case Kind::TakeAtMost:
                    // The script waits for the client to send: nothing comes.
                    *error = platform::SysError{ETIMEDOUT};
                    return platform::WaitResult::TimedOut;
            }
        }
    }

    platform::Result<std::size_t> Receive(void* buffer, std::size_t capacity) override {
        if (steps_.empty() || Front(Kind::Close) || interrupted_) {
            return std::size_t{0};
        }
        StreamStep& step = steps_.front();
        if (step.kind == Kind::Interrupt) {
            steps_.pop_front();
            return platform::SysError{EINTR};
        }
        if (step.kind == Kind::Fail) {
            const int code = step.error;
            steps_.pop_front();
            return platform::SysError{code};
        }
        if (step.kind != Kind::Read) {
            ADD_FAILURE() << "a receive where the script has " << KindName(step.kind);
            return platform::SysError{EAGAIN};
        }
        const std::size_t count = std::min(capacity, step.bytes.size());
        std::memcpy(buffer, step.bytes.data(), count);
        step.bytes.erase(0, count);
        if (step.bytes.empty()) {
            steps_.pop_front();
        }
        return count;
    }

  private:
    bool Front(Kind kind) const { return !steps_.empty() && steps_.front().kind == kind; }

    std::shared_ptr<ScriptedConnector::State> state_;
    std::deque<StreamStep> steps_;
    std::size_t takeAtMost_ = static_cast<std::size_t>(-1);
    std::string request_;
    std::atomic<bool> interrupted_{false};
};

}  // namespace

ScriptedConnector::ScriptedConnector() : state_(std::make_shared<State>()) {}

ScriptedConnector::~ScriptedConnector() {
    EXPECT_TRUE(state_->scripts.empty())
        << state_->scripts.size() << " scripted connection(s) never made";
    for (const std::string& leftover : state_->leftovers) {
        ADD_FAILURE() << "a step was left over: " << leftover;
    }
}

std::vector<std::string> ScriptedConnector::Requests() const {
    return state_->requests;
}

int ScriptedConnector::Connections() const {
    return state_->connections;
}

void ScriptedConnector::AddConnection(std::vector<StreamStep> steps) {
    state_->scripts.push_back(std::move(steps));
    state_->refusals.push_back(0);
}

void ScriptedConnector::AddRefusal(int code) {
    state_->scripts.push_back({});
    state_->refusals.push_back(code);
}

platform::Result<std::unique_ptr<net::ByteStream>> ScriptedConnector::Connect(std::uint32_t,
                                                                              std::uint16_t) {
    if (state_->scripts.empty()) {
        ADD_FAILURE() << "a connection the script does not have";
        return platform::SysError{ECONNREFUSED};
    }
    std::vector<StreamStep> steps = std::move(state_->scripts.front());
    const int refusal = state_->refusals.front();
    state_->scripts.pop_front();
    state_->refusals.pop_front();
    if (refusal != 0) {
        return platform::SysError{refusal};
    }
    ++state_->connections;
    return std::unique_ptr<net::ByteStream>(std::make_unique<StepStream>(state_, std::move(steps)));
}

// ---- ScriptedPeer ----

struct ScriptedPeer::State {
    mutable std::mutex mutex;
    std::deque<ScriptedReply> replies;
    std::vector<std::string> requests;
    int connections = 0;
};

namespace {

class PeerStream final : public net::ByteStream {
  public:
    explicit PeerStream(std::shared_ptr<ScriptedPeer::State> state) : state_(std::move(state)) {}

    platform::Result<std::size_t> Send(const void* data, std::size_t length) override {
        inbound_.append(static_cast<const char*>(data), length);
        for (std::size_t end = inbound_.find(kHeaderEnd); end != std::string::npos;
             end = inbound_.find(kHeaderEnd)) {
            std::string request = inbound_.substr(0, end + kHeaderEnd.size());
            inbound_.erase(0, end + kHeaderEnd.size());
            Answer(std::move(request));
        }
        return length;
    }

    platform::WaitResult WaitReadable(std::chrono::milliseconds,
                                      platform::SysError* error) override {
        if (sent_ < pending_.size() || ends_ || interrupted_) {
            return platform::WaitResult::Ready;
        }
        *error = platform::SysError{ETIMEDOUT};
        return platform::WaitResult::TimedOut;
    }

    platform::Result<std::size_t> Receive(void* buffer, std::size_t capacity) override {
        if (interrupted_) {
            return std::size_t{0};
        }
        std::size_t count = std::min(capacity, pending_.size() - sent_);
        if (hook_ && sent_ < hookAt_) {
            count = std::min(count, hookAt_ - sent_);
        }
        std::memcpy(buffer, pending_.data() + sent_, count);
        sent_ += count;
        if (hook_ && sent_ >= hookAt_) {
            std::exchange(hook_, nullptr)();
        }
        return count;
    }

    void Interrupt() override { interrupted_ = true; }

  private:
    // The next reply of the queue, as a peer that reads whole requests and
    // closes when it has nothing more to say.
    void Answer(std::string request) {
        std::lock_guard<std::mutex> lock(state_->mutex);
        state_->requests.push_back(std::move(request));
        if (ends_ || stalled_) {
            return;
        }
        if (state_->replies.empty()) {
            ends_ = true;
            return;
        }
        ScriptedReply reply = std::move(state_->replies.front());
        state_->replies.pop_front();
        if (reply.hook) {
            hookAt_ = pending_.size() + reply.hookAfter;
            hook_ = std::move(reply.hook);
        }
        pending_ += reply.bytes;
        ends_ = reply.close;
        stalled_ = reply.stall;
    }

    std::shared_ptr<ScriptedPeer::State> state_;
    std::string inbound_;
    std::string pending_;
    std::size_t sent_ = 0;
    bool ends_ = false;     // once the pending bytes are read, receives give 0
    bool stalled_ = false;  // once they are read, waits time out
    std::size_t hookAt_ = 0;
    std::function<void()> hook_;
    std::atomic<bool> interrupted_{false};
};

}  // namespace

ScriptedPeer::ScriptedPeer() : state_(std::make_shared<State>()) {}

ScriptedPeer::~ScriptedPeer() {
    std::lock_guard<std::mutex> lock(state_->mutex);
    EXPECT_TRUE(state_->replies.empty())
        << state_->replies.size() << " scripted repl(ies) never asked for, the first: "
        << state_->replies.front().bytes.substr(0, 80);
}

void ScriptedPeer::Add(ScriptedReply reply) {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->replies.push_back(std::move(reply));
}

platform::Result<std::unique_ptr<net::ByteStream>> ScriptedPeer::Connect(std::uint32_t,
                                                                         std::uint16_t) {
    std::lock_guard<std::mutex> lock(state_->mutex);
    ++state_->connections;
    return std::unique_ptr<net::ByteStream>(std::make_unique<PeerStream>(state_));
}

std::vector<std::string> ScriptedPeer::Requests() const {
    std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->requests;
}

int ScriptedPeer::Connections() const {
    std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->connections;
}

ScriptedPeer& ScriptedNetwork::AddPeer(std::uint16_t port) {
    auto peer = std::make_unique<ScriptedPeer>();
    peer->port_ = port;
    ScriptedPeer& added = *peer;
    peers_[port] = std::move(peer);
    return added;
}

platform::Result<std::unique_ptr<net::ByteStream>> ScriptedNetwork::Connect(std::uint32_t address,
                                                                            std::uint16_t port) {
    const auto found = peers_.find(port);
    if (found == peers_.end()) {
        return platform::SysError{ECONNREFUSED};
    }
    return found->second->Connect(address, port);
}

}  // namespace testing_support

#include "support/fake_clock.h"

namespace testing_support {

std::int64_t FakeClock::NowSeconds() {
    std::lock_guard<std::mutex> lock(mutex_);
    return seconds_ + elapsedMs_ / 1000;
}

std::chrono::milliseconds FakeClock::SinceStart() {
    std::lock_guard<std::mutex> lock(mutex_);
    return std::chrono::milliseconds(steadyMs_);
}

platform::SystemTime FakeClock::LocalNow() {
    std::lock_guard<std::mutex> lock(mutex_);
    return local_;
}

void FakeClock::SleepFor(std::chrono::milliseconds duration) {
    std::lock_guard<std::mutex> lock(mutex_);
    sleeps_.push_back(duration);
    elapsedMs_ += duration.count();
    steadyMs_ += duration.count();
}

void FakeClock::SetSeconds(std::int64_t seconds) {
    std::lock_guard<std::mutex> lock(mutex_);
    seconds_ = seconds;
    elapsedMs_ = 0;
}

void FakeClock::SetLocal(const platform::SystemTime& local) {
    std::lock_guard<std::mutex> lock(mutex_);
    local_ = local;
}

void FakeClock::Advance(std::chrono::milliseconds duration) {
    std::lock_guard<std::mutex> lock(mutex_);
    elapsedMs_ += duration.count();
    steadyMs_ += duration.count();
}

std::vector<std::chrono::milliseconds> FakeClock::Sleeps() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return sleeps_;
}

}  // namespace testing_support

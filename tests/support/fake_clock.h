#pragma once
// A clock for tests: time stands still until a test (or a sleep) moves it,
// and sleeps return at once.

#include <chrono>
#include <cstdint>
#include <mutex>
#include <vector>

#include "platform/clock.h"

namespace testing_support {

class FakeClock final : public platform::Clock {
  public:
    explicit FakeClock(std::int64_t seconds = 1'165'000'000) : seconds_(seconds) {}

    std::int64_t NowSeconds() override;
    platform::SystemTime LocalNow() override;
    std::chrono::milliseconds SinceStart() override;
    // Records the sleep and advances the time by it, without waiting.
    void SleepFor(std::chrono::milliseconds duration) override;

    void SetSeconds(std::int64_t seconds);
    void SetLocal(const platform::SystemTime& local);
    void Advance(std::chrono::milliseconds duration);
    std::vector<std::chrono::milliseconds> Sleeps() const;

  private:
    mutable std::mutex mutex_;
    std::int64_t seconds_;
    std::int64_t elapsedMs_ = 0;
    std::int64_t steadyMs_ = 0;  // never set back
    platform::SystemTime local_{2006, 3, 2, 7, 9, 5, 3, 0};
    std::vector<std::chrono::milliseconds> sleeps_;
};

}  // namespace testing_support

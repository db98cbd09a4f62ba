#include "platform/clock.h"

#include <ctime>
#include <thread>

#include "platform/clock_local.h"

namespace platform {
namespace {

class RealClock final : public Clock {
  public:
    std::int64_t NowSeconds() override { return static_cast<std::int64_t>(std::time(nullptr)); }

    SystemTime LocalNow() override { return LocalTimeNow(); }

    std::chrono::milliseconds SinceStart() override {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now().time_since_epoch());
    }

    void SleepFor(std::chrono::milliseconds duration) override {
        std::this_thread::sleep_for(duration);
    }
};

}  // namespace

Clock& SystemClock() {
    static RealClock clock;
    return clock;
}

}  // namespace platform

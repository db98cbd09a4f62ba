#include "platform/clock.h"

#include <ctime>
#include <thread>

namespace platform {
namespace {

class RealClock final : public Clock {
  public:
    std::int64_t NowSeconds() override { return static_cast<std::int64_t>(std::time(nullptr)); }

    SystemTime LocalNow() override {
        timespec now{};
        clock_gettime(CLOCK_REALTIME, &now);
        tzset();
        tm local{};
        localtime_r(&now.tv_sec, &local);
        SystemTime out;
        out.year = local.tm_year + 1900;
        out.month = local.tm_mon + 1;
        out.dayOfWeek = local.tm_wday;
        out.day = local.tm_mday;
        out.hour = local.tm_hour;
        out.minute = local.tm_min;
        out.second = local.tm_sec;
        out.milliseconds = static_cast<int>(now.tv_nsec / 1'000'000);
        return out;
    }

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

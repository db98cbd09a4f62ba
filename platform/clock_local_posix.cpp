#include "platform/clock_local.h"

#include <ctime>

namespace platform {

SystemTime LocalTimeNow() {
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

}  // namespace platform

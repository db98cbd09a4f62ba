#include "platform/clock_local.h"

#include "platform/windows_win.h"

namespace platform {

SystemTime LocalTimeNow() {
    // The time zone of the system's settings.
    SYSTEMTIME local{};
    ::GetLocalTime(&local);
    SystemTime out;
    out.year = local.wYear;
    out.month = local.wMonth;
    out.dayOfWeek = local.wDayOfWeek;
    out.day = local.wDay;
    out.hour = local.wHour;
    out.minute = local.wMinute;
    out.second = local.wSecond;
    out.milliseconds = local.wMilliseconds;
    return out;
}

}  // namespace platform

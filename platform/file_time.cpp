#include "platform/file_time.h"

namespace platform {
namespace {

constexpr std::int64_t kTicksPerSecond = 10'000'000;
// Seconds from 1601-01-01 to 1970-01-01.
constexpr std::int64_t kEpochDifference = 11'644'473'600;
constexpr std::int64_t kSecondsPerDay = 86'400;

// Days since 1970-01-01 of a proleptic Gregorian date.
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void CivilFromDays(std::int64_t z, std::int64_t* y, unsigned* m, unsigned* d) {
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    *d = doy - (153 * mp + 2) / 5 + 1;
    *m = mp < 10 ? mp + 3 : mp - 9;
    *y = static_cast<std::int64_t>(yoe) + era * 400 + (*m <= 2);
}

bool IsLeap(int y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int DaysInMonth(int y, int m) {
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && IsLeap(y) ? 29 : kDays[m - 1];
}

}  // namespace

std::optional<FileTime> SystemTimeToFileTime(const SystemTime& t) {
    if (t.year < 1601 || t.year > 30827 || t.month < 1 || t.month > 12 || t.day < 1 ||
        t.day > DaysInMonth(t.year, t.month) || t.hour < 0 || t.hour > 23 || t.minute < 0 ||
        t.minute > 59 || t.second < 0 || t.second > 59 || t.milliseconds < 0 ||
        t.milliseconds > 999) {
        return std::nullopt;
    }
    const std::int64_t days =
        DaysFromCivil(t.year, static_cast<unsigned>(t.month), static_cast<unsigned>(t.day));
    const std::int64_t seconds =
        days * kSecondsPerDay + t.hour * 3600 + t.minute * 60 + t.second + kEpochDifference;
    return FileTime{
        static_cast<std::uint64_t>(seconds * kTicksPerSecond + t.milliseconds * 10'000)};
}

std::optional<SystemTime> FileTimeToSystemTime(FileTime time) {
    const std::uint64_t totalSeconds = time.ticks / kTicksPerSecond;
    const std::int64_t unixSeconds = static_cast<std::int64_t>(totalSeconds) - kEpochDifference;
    std::int64_t days = unixSeconds / kSecondsPerDay;
    std::int64_t rest = unixSeconds % kSecondsPerDay;
    if (rest < 0) {
        rest += kSecondsPerDay;
        --days;
    }
    SystemTime out;
    std::int64_t year = 0;
    unsigned month = 0;
    unsigned day = 0;
    CivilFromDays(days, &year, &month, &day);
    if (year > 30827) {
        return std::nullopt;
    }
    out.year = static_cast<int>(year);
    out.month = static_cast<int>(month);
    out.day = static_cast<int>(day);
    // 1970-01-01 was a Thursday.
    out.dayOfWeek = static_cast<int>(((days % 7) + 7 + 4) % 7);
    out.hour = static_cast<int>(rest / 3600);
    out.minute = static_cast<int>((rest / 60) % 60);
    out.second = static_cast<int>(rest % 60);
    out.milliseconds = static_cast<int>((time.ticks % kTicksPerSecond) / 10'000);
    return out;
}

FileTime FileTimeFromUnix(std::int64_t seconds, std::int64_t nanoseconds) {
    const std::int64_t ticks = (seconds + kEpochDifference) * kTicksPerSecond + nanoseconds / 100;
    return FileTime{ticks < 0 ? 0 : static_cast<std::uint64_t>(ticks)};
}

void FileTimeToUnix(FileTime time, std::int64_t* seconds, std::int64_t* nanoseconds) {
    *seconds = static_cast<std::int64_t>(time.ticks / kTicksPerSecond) - kEpochDifference;
    *nanoseconds = static_cast<std::int64_t>(time.ticks % kTicksPerSecond) * 100;
}

}  // namespace platform

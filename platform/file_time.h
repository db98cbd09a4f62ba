#pragma once
// File times as the service and the log know them: 100-nanosecond ticks
// since 1 January 1601, UTC, and their calendar fields.

#include <compare>
#include <cstdint>
#include <optional>

namespace platform {

struct FileTime {
    std::uint64_t ticks = 0;
    auto operator<=>(const FileTime&) const = default;
};

// Calendar fields of a time. Fields are 1-based where the calendar is
// (month 1..12, day 1..31); dayOfWeek 0 is Sunday.
struct SystemTime {
    int year = 0;
    int month = 0;
    int dayOfWeek = 0;
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
    int milliseconds = 0;
    bool operator==(const SystemTime&) const = default;
};

// Fails for fields that do not make a calendar date and time between the
// years 1601 and 30827 (dayOfWeek is not checked).
std::optional<FileTime> SystemTimeToFileTime(const SystemTime& time);

// Fails for times beyond the year 30827.
std::optional<SystemTime> FileTimeToSystemTime(FileTime time);

FileTime FileTimeFromUnix(std::int64_t seconds, std::int64_t nanoseconds);
void FileTimeToUnix(FileTime time, std::int64_t* seconds, std::int64_t* nanoseconds);

}  // namespace platform

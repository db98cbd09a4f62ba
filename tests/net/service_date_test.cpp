#include "net/service_date.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <string>

namespace {

platform::FileTime Time(int year, int month, int day, int hour, int minute, int second) {
    return platform::SystemTimeToFileTime({year, month, 0, day, hour, minute, second, 0}).value();
}

std::string Lower(std::string text) {
    for (char& c : text) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return text;
}

// Each field in its own digits, at both ends of the calendar and between.
TEST(ServiceDate, KnownDatesFormatAndParseBack) {
    const struct {
        platform::FileTime time;
        const char* text;
    } rows[] = {
        {Time(2006, 12, 31, 15, 45, 30), "07D60C1F0F2D1E"},
        {Time(1999, 1, 2, 3, 4, 5), "07CF0102030405"},
        {Time(2000, 2, 29, 23, 59, 59), "07D0021D173B3B"},
        {Time(1601, 1, 1, 0, 0, 0), "06410101000000"},
        {Time(30827, 12, 31, 23, 59, 59), "786B0C1F173B3B"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(net::FormatServiceDate(row.time), row.text);
        EXPECT_EQ(net::ParseServiceDate(row.text), row.time);
        EXPECT_EQ(net::ParseServiceDate(Lower(row.text)), row.time);
    }
    // Fractions of a second are not carried.
    const platform::FileTime late{Time(2006, 12, 31, 15, 45, 30).ticks + 9'999'999};
    EXPECT_EQ(net::FormatServiceDate(late), "07D60C1F0F2D1E");
}

// Whole seconds spread over the whole calendar come back as they went.
TEST(ServiceDate, EveryCalendarTimeRoundTrips) {
    const std::uint64_t first = Time(1601, 1, 1, 0, 0, 0).ticks;
    const std::uint64_t last = Time(30827, 12, 31, 23, 59, 59).ticks;
    constexpr std::uint64_t kTicksPerSecond = 10'000'000;
    const std::uint64_t step = (last - first) / 997 / kTicksPerSecond * kTicksPerSecond + 7;
    for (std::uint64_t ticks = first; ticks <= last; ticks += step) {
        const platform::FileTime time{ticks - ticks % kTicksPerSecond};
        const std::optional<std::string> text = net::FormatServiceDate(time);
        ASSERT_TRUE(text.has_value()) << ticks;
        ASSERT_EQ(text->size(), net::kServiceDateLength);
        EXPECT_EQ(net::ParseServiceDate(*text), time) << *text;
    }
}

TEST(ServiceDate, UnusableDates) {
    for (const char* text :
         {"", " ", "07D60C", "07D60C1F0F2D1", "07D60C1F0F2D1E0", "07D60D1F0F2D1E" /* month 13 */,
          "07D6021E0F2D1E" /* Feb 30 */, "07D60C1F0F2D1G", "07D60C1F0F2D+E", "-7D60C1F0F2D1E"}) {
        EXPECT_FALSE(net::ParseServiceDate(text)) << text;
    }
    EXPECT_FALSE(net::FormatServiceDate(platform::FileTime{UINT64_MAX}));
}

}  // namespace

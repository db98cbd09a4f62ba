#include "platform/strings.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

namespace {

TEST(ParseDecimal, ReadsLikeTheServiceNumbersAndNeverOverflows) {
    EXPECT_EQ(platform::ParseDecimal("  42abc"), 42);
    EXPECT_EQ(platform::ParseDecimal("-17"), -17);
    EXPECT_EQ(platform::ParseDecimal("+5"), 5);
    EXPECT_EQ(platform::ParseDecimal("abc"), 0);
    EXPECT_EQ(platform::ParseDecimal(""), 0);
    EXPECT_EQ(platform::ParseDecimal("99999999999999999999999"), LLONG_MAX);
    EXPECT_EQ(platform::ParseDecimal("-99999999999999999999999"), LLONG_MIN);
    // Sizes past 4 GiB read whole.
    EXPECT_EQ(platform::ParseDecimal("5368709120"), 5368709120LL);
}

TEST(ParseWholeDecimal, RefusesAnythingButDigitsThatFit) {
    EXPECT_EQ(platform::ParseWholeDecimal("0"), 0u);
    EXPECT_EQ(platform::ParseWholeDecimal("5368709120"), 5368709120u);
    EXPECT_EQ(platform::ParseWholeDecimal(std::string(18, '9')), 999999999999999999u);
    for (const char* bad : {"", " 1", "1 ", "-1", "+1", "12a", "0x10", "1234567890123456789"}) {
        EXPECT_FALSE(platform::ParseWholeDecimal(bad).has_value()) << '"' << bad << '"';
    }
}

}  // namespace

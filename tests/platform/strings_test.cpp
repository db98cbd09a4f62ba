#include "platform/strings.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstddef>
#include <string>

namespace {

// C99's sizes and long long, which the old Windows run-time's printf
// does not know, and a text longer than any first guess of its size.
TEST(StrPrintf, FormatsC99SizesAndLongTexts) {
    EXPECT_EQ(platform::StrPrintf("%zu %lld %llu %d%%", std::size_t{4096}, -9007199254740993LL,
                                  18446744073709551615ULL, 7),
              "4096 -9007199254740993 18446744073709551615 7%");
    const std::string wide(5000, 'w');
    EXPECT_EQ(platform::StrPrintf("<%s>", wide.c_str()), "<" + wide + ">");
}

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

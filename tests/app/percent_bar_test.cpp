// Tests the percentage bar's arithmetic that the Qt and Win32 bars share:
// where the filled part ends and how StepIt moves the position.

#include "app/percent_bar.h"

#include <gtest/gtest.h>

#include <climits>

namespace {

TEST(PercentBarTest, TheSplitIsTheFilledWidthFromTheLeftEdgeKeptInsideTheArea) {
    struct Row {
        int left;
        int width;
        int position;
        int rangeMin;
        int rangeMax;
        int split;
    };
    const Row rows[] = {
        {0, 200, 0, 0, 100, 0},              // nothing filled
        {0, 200, 29, 0, 100, 57},            // 0.29 * 200 = 57.99..., truncated
        {3, 200, 50, 0, 100, 103},           // from the left edge, not from 0
        {3, 200, 100, 0, 100, 203},          // all filled: the right edge
        {3, 200, 150, 0, 100, 203},          // beyond the range: still the right edge
        {3, 200, -20, 0, 100, 3},            // below the range: the left edge
        {0, 200, INT_MAX, INT_MIN, 0, 200},  // a span wider than int
        {10, 0, 5, 0, 10, 10},               // no width at all
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << "left " << row.left << ", width " << row.width
                                        << ", position " << row.position);
        EXPECT_EQ(app::SplitAt(row.left, row.width,
                               app::BarFraction(row.position, row.rangeMin, row.rangeMax)),
                  row.split);
    }
}

TEST(PercentBarTest, AnEmptyRangeFillsNothing) {
    // 0/0 is not a number: the filled width is 0 and the split the left edge.
    EXPECT_EQ(app::SplitAt(4, 100, app::BarFraction(5, 5, 5)), 4);
    EXPECT_EQ(app::FilledWidth(app::BarFraction(5, 5, 5), 100), 0);
}

TEST(PercentBarTest, StepsAddTheStepAndWrapLikeAThirtyTwoBitPosition) {
    EXPECT_EQ(app::SteppedPosition(0, 1), 1);
    EXPECT_EQ(app::SteppedPosition(10, -3), 7);
    EXPECT_EQ(app::SteppedPosition(INT_MAX, 1), INT_MIN);
    EXPECT_EQ(app::SteppedPosition(INT_MIN, -1), INT_MAX);
}

}  // namespace

#include "app/qt/dialog_units.h"

#include <gtest/gtest.h>
#include <QFont>
#include <QFontMetrics>

namespace app::qt {
namespace {

TEST(DialogUnitsTest, ConvertsWithRoundingToNearest) {
    // Base units 6 × 13, those of an 8-point "MS Sans Serif".
    const DialogUnits units(6, 13);
    EXPECT_EQ(units.X(4), 6);
    EXPECT_EQ(units.Y(8), 13);
    EXPECT_EQ(units.X(7), 11);     // 10.5 rounds up
    EXPECT_EQ(units.X(231), 347);  // 346.5
    EXPECT_EQ(units.Y(141), 229);  // 229.125
    EXPECT_EQ(units.Y(33), 54);    // 53.625
    EXPECT_EQ(units.X(0), 0);
    EXPECT_EQ(units.X(-7), -11);  // halves away from zero on both sides
}

TEST(DialogUnitsTest, RectanglesConvertBothCorners) {
    const DialogUnits units(6, 13);
    // 7,33 217×42: left 10.5→11, top 53.625→54, right 336, bottom 121.875→122.
    EXPECT_EQ(units.Rect(7, 33, 217, 42), QRect(11, 54, 325, 68));
    // Two rectangles that touch in units still touch in pixels.
    const QRect left = units.Rect(7, 0, 3, 8);
    const QRect right = units.Rect(10, 0, 3, 8);
    EXPECT_EQ(left.right() + 1, right.left());
    EXPECT_EQ(units.Size(231, 141), QSize(347, 229));
}

TEST(DialogUnitsTest, FollowTheFont) {
    QFont small(QStringLiteral("DejaVu Sans"));
    small.setPixelSize(11);
    QFont large = small;
    large.setPixelSize(22);
    const DialogUnits fromSmall = DialogUnits::ForFont(small);
    const DialogUnits fromLarge = DialogUnits::ForFont(large);
    EXPECT_EQ(fromSmall.baseHeight(), QFontMetrics(small).height());
    EXPECT_EQ(fromLarge.baseHeight(), QFontMetrics(large).height());
    // The average letter is narrower than a "W" and wider than an "i".
    EXPECT_LT(fromSmall.baseWidth(), QFontMetrics(small).horizontalAdvance(QLatin1Char('W')));
    EXPECT_GT(fromSmall.baseWidth(), QFontMetrics(small).horizontalAdvance(QLatin1Char('i')));
    EXPECT_GE(fromLarge.baseWidth(), 2 * fromSmall.baseWidth() - 1);
    EXPECT_LE(fromLarge.baseWidth(), 2 * fromSmall.baseWidth() + 1);
}

}  // namespace
}  // namespace app::qt

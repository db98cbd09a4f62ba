#include "app/qt/percent_progress_ctrl.h"

#include <gtest/gtest.h>
#include <QColor>
#include <QEvent>
#include <QEventLoop>
#include <QGuiApplication>
#include <QImage>
#include <QPalette>
#include <QRect>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>
#include <vector>

#include "qt_testing.h"

namespace app::qt {
namespace {

using app_qt_testing::Settle;

const QColor kUnpainted(255, 0, 255);

QColor Highlight() {
    return QGuiApplication::palette().color(QPalette::Active, QPalette::Highlight);
}
QColor Base() {
    return QGuiApplication::palette().color(QPalette::Active, QPalette::Base);
}

QImage Render(PercentProgressCtrl& bar) {
    QImage image(bar.size(), QImage::Format_RGB32);
    image.fill(kUnpainted);
    bar.render(&image);
    return image;
}

int ChannelDistance(QColor a, QColor b) {
    return std::max({std::abs(a.red() - b.red()), std::abs(a.green() - b.green()),
                     std::abs(a.blue() - b.blue())});
}

// Antialiased text blends its colour into the fill, so a pixel of text drawn
// over a fill lies on the straight line between the two colours. Where it
// lies on that line is the text's coverage: 0 for the fill, 1 for the text.
struct Blend {
    bool onLine;
    double coverage;
};

Blend BlendOf(QColor pixel, QColor fill, QColor text) {
    const double dr = text.red() - fill.red();
    const double dg = text.green() - fill.green();
    const double db = text.blue() - fill.blue();
    const double length = dr * dr + dg * dg + db * db;
    const double t =
        std::clamp(((pixel.red() - fill.red()) * dr + (pixel.green() - fill.green()) * dg +
                    (pixel.blue() - fill.blue()) * db) /
                       length,
                   0.0, 1.0);
    const QColor closest(std::lround(fill.red() + t * dr), std::lround(fill.green() + t * dg),
                         std::lround(fill.blue() + t * db));
    return {ChannelDistance(pixel, closest) <= 6, t};
}

// Within the columns [firstX, endX): pixels that are neither the fill, the
// text colour nor a blend of the two, and where the text is.
struct TextCheck {
    int offBlendPixels = 0;
    int textPixels = 0;
    QRect textBox;
};

TextCheck CheckRegion(const QImage& image, int firstX, int endX, QColor fill, QColor text) {
    TextCheck check;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = firstX; x < endX; ++x) {
            const Blend blend = BlendOf(image.pixelColor(x, y), fill, text);
            if (!blend.onLine) {
                ++check.offBlendPixels;
            } else if (blend.coverage >= 0.5) {
                ++check.textPixels;
                check.textBox |= QRect(x, y, 1, 1);
            }
        }
    }
    return check;
}

class PercentProgressCtrlTest : public ::testing::Test {
  protected:
    void SetUp() override {
        // Distinct, saturated colours make the two halves easy to tell apart.
        saved_ = QGuiApplication::palette();
        QPalette palette = saved_;
        palette.setColor(QPalette::Highlight, QColor(20, 60, 200));
        palette.setColor(QPalette::Base, QColor(250, 250, 240));
        QGuiApplication::setPalette(palette);
    }
    void TearDown() override { QGuiApplication::setPalette(saved_); }

    QPalette saved_;
};

TEST(PercentTextTest, TruncatesThePercentageTowardZero) {
    // 0.29 × 100 is just below 29 in double precision.
    EXPECT_EQ(PercentText(BarFraction(29, 0, 100)), "28%");
    EXPECT_EQ(PercentText(BarFraction(57, 0, 100)), "56%");
    EXPECT_EQ(PercentText(BarFraction(58, 0, 100)), "57%");
    EXPECT_EQ(PercentText(BarFraction(0, 0, 100)), "0%");
    EXPECT_EQ(PercentText(BarFraction(100, 0, 100)), "100%");
    EXPECT_EQ(PercentText(BarFraction(617, 0, 1234)), "50%");
    EXPECT_EQ(PercentText(BarFraction(15, 10, 20)), "50%");
    EXPECT_EQ(PercentText(BarFraction(-1, 0, 200)), "0%");
    EXPECT_EQ(PercentText(BarFraction(-2, 0, 100)), "-2%");
}

TEST(PercentTextTest, FilledWidthTruncatesAndStaysWithinInt) {
    EXPECT_EQ(FilledWidth(BarFraction(29, 0, 100), 200), 57);
    EXPECT_EQ(FilledWidth(BarFraction(50, 0, 100), 217), 108);
    EXPECT_EQ(FilledWidth(BarFraction(100, 0, 100), 217), 217);
    EXPECT_EQ(FilledWidth(-0.5 / 217, 217), 0);
    // Extreme ranges and an empty range neither overflow nor trap.
    const int most = std::numeric_limits<int>::max();
    const int least = std::numeric_limits<int>::min();
    EXPECT_EQ(BarFraction(most, least, most), 1.0);
    EXPECT_EQ(FilledWidth(BarFraction(most, 0, 1), 1000), most);
    EXPECT_EQ(FilledWidth(BarFraction(least, 0, 1), 1000), least);
    EXPECT_EQ(FilledWidth(BarFraction(5, 5, 5), 100), 0);
    EXPECT_EQ(FilledWidth(BarFraction(0, 5, 5), 100), least);
    EXPECT_EQ(PercentText(BarFraction(7, 5, 5)), "2147483647%");
}

// Counts the paint events a widget receives.
class PaintCounter : public QObject {
  public:
    explicit PaintCounter(QWidget& widget) { widget.installEventFilter(this); }
    int count = 0;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            ++count;
        }
        return QObject::eventFilter(watched, event);
    }
};

// A bar shown in a window of its own, as the dialog shows it.
class ShownBarTest : public ::testing::Test {
  protected:
    void SetUp() override {
        bar_.resize(200, 20);
        bar_.show();
        Settle();
    }

    PercentProgressCtrl bar_;
    PaintCounter paints_{bar_};
};

TEST_F(PercentProgressCtrlTest, StartsEmptyOverTheDefaultRange) {
    PercentProgressCtrl bar;
    EXPECT_EQ(bar.Position(), 0);
    EXPECT_EQ(bar.Step(), 1);
    EXPECT_EQ(bar.RangeMin(), 0);
    EXPECT_EQ(bar.RangeMax(), 100);
    EXPECT_EQ(bar.BarWidth(), -1);
    EXPECT_TRUE(bar.testAttribute(Qt::WA_OpaquePaintEvent));
}

TEST_F(PercentProgressCtrlTest, RendersTheTruncatedPercentage) {
    // On 100 pixels positions 28 and 29 both fill 28 pixels; the images can
    // only match if 29 also reads "28%". 30 differs in bar and text.
    PercentProgressCtrl bar;
    bar.resize(100, 20);
    auto renderAt = [&bar](int position) {
        bar.show();
        Settle();
        bar.SetPos(position);
        return Render(bar);
    };
    const QImage at28 = renderAt(28);
    const QImage at29 = renderAt(29);
    const QImage at30 = renderAt(30);
    EXPECT_EQ(at29, at28);
    EXPECT_NE(at29, at30);
}

TEST_F(PercentProgressCtrlTest, ZeroShowsOnlyTheBackgroundAndItsTextColour) {
    PercentProgressCtrl bar;
    bar.resize(200, 20);
    const QImage image = Render(bar);
    const TextCheck check = CheckRegion(image, 0, 200, Base(), Highlight());
    EXPECT_EQ(check.offBlendPixels, 0);
    EXPECT_GT(check.textPixels, 10) << "the text is missing";
    // The text stays in the middle; the edges are plain background.
    for (int y = 0; y < image.height(); ++y) {
        EXPECT_EQ(image.pixelColor(0, y), Base()) << "row " << y;
        EXPECT_EQ(image.pixelColor(199, y), Base()) << "row " << y;
    }
}

TEST_F(PercentProgressCtrlTest, FullBarShowsTheTextOnlyInTheTextOnBarColour) {
    PercentProgressCtrl bar;
    bar.resize(200, 20);
    bar.show();
    Settle();
    bar.SetPos(100);
    const QImage image = Render(bar);
    const TextCheck check = CheckRegion(image, 0, 200, Highlight(), Base());
    EXPECT_EQ(check.offBlendPixels, 0);
    EXPECT_GT(check.textPixels, 10) << "the text is missing";
    for (int x = 0; x < image.width(); ++x) {
        EXPECT_EQ(image.pixelColor(x, 0), Highlight()) << "column " << x;
        EXPECT_EQ(image.pixelColor(x, 19), Highlight()) << "column " << x;
    }
}

TEST_F(PercentProgressCtrlTest, TextChangesColourWhereTheBarEnds) {
    // At 50% the split runs through the centred text: its left part is
    // written over the bar, its right part over the background.
    PercentProgressCtrl bar;
    bar.resize(200, 20);
    bar.show();
    Settle();
    bar.SetPos(50);
    const QImage image = Render(bar);
    const TextCheck filled = CheckRegion(image, 0, 100, Highlight(), Base());
    const TextCheck unfilled = CheckRegion(image, 100, 200, Base(), Highlight());
    EXPECT_EQ(filled.offBlendPixels, 0);
    EXPECT_EQ(unfilled.offBlendPixels, 0);
    EXPECT_GT(filled.textPixels, 5);
    EXPECT_GT(unfilled.textPixels, 5);
    // Both halves of the text sit on the split and in the middle row band.
    EXPECT_GE(filled.textBox.right(), 95);
    EXPECT_LE(unfilled.textBox.left(), 104);
    const QRect text = filled.textBox | unfilled.textBox;
    EXPECT_LE(std::abs(text.center().x() - 100), 2) << "not centred across";
    EXPECT_LE(std::abs(text.center().y() - 10), 2) << "not centred vertically";
    // The split itself is exact: the fill changes between columns 99 and 100.
    EXPECT_EQ(image.pixelColor(99, 0), Highlight());
    EXPECT_EQ(image.pixelColor(100, 0), Base());
}

TEST_F(PercentProgressCtrlTest, ColoursAreReadOnceAtConstruction) {
    PercentProgressCtrl before;
    before.resize(50, 10);
    QPalette changed = QGuiApplication::palette();
    changed.setColor(QPalette::Highlight, QColor(200, 30, 30));
    changed.setColor(QPalette::Base, QColor(30, 200, 30));
    QGuiApplication::setPalette(changed);
    PercentProgressCtrl after;
    after.resize(50, 10);

    before.setPalette(changed);
    EXPECT_EQ(Render(before).pixelColor(0, 0), QColor(250, 250, 240));
    EXPECT_EQ(Render(after).pixelColor(0, 0), QColor(30, 200, 30));
}

TEST_F(PercentProgressCtrlTest, EmptyRangePaintsNothing) {
    PercentProgressCtrl bar;
    bar.resize(60, 12);
    for (const auto& [low, high] : {std::pair{10, 10}, std::pair{10, 5}}) {
        bar.SetRange(low, high);
        const QImage image = Render(bar);
        QImage untouched(image.size(), image.format());
        untouched.fill(kUnpainted);
        EXPECT_EQ(image, untouched) << low << ".." << high;
    }
}

TEST_F(PercentProgressCtrlTest, SetPosBeforeTheWindowExistsChangesNothing) {
    PercentProgressCtrl bar;
    bar.resize(200, 20);
    ASSERT_FALSE(bar.WindowExists());
    EXPECT_EQ(bar.SetPos(40), -1);
    EXPECT_EQ(bar.StepIt(), -1);
    EXPECT_EQ(bar.Position(), 0);
    EXPECT_EQ(bar.BarWidth(), -1);

    bar.show();
    Settle();
    ASSERT_TRUE(bar.WindowExists());
    EXPECT_EQ(bar.SetPos(40), 0);
    EXPECT_EQ(bar.Position(), 40);
    EXPECT_EQ(bar.BarWidth(), 80);
}

TEST_F(ShownBarTest, RepaintsOnlyWhenTheFilledWidthChanges) {
    bar_.SetRange(0, 1000);
    paints_.count = 0;
    EXPECT_EQ(bar_.SetPos(500), 0);
    EXPECT_EQ(paints_.count, 1) << "the first position is always painted, at once";
    EXPECT_EQ(bar_.BarWidth(), 100);

    // 501..504 of 1000 on 200 pixels stay at 100 pixels.
    EXPECT_EQ(bar_.SetPos(500), 500);
    EXPECT_EQ(bar_.SetPos(504), 500);
    Settle();
    EXPECT_EQ(paints_.count, 1);
    EXPECT_EQ(bar_.BarWidth(), 100);

    // 505 reaches the next pixel.
    EXPECT_EQ(bar_.StepIt(), 504);
    EXPECT_EQ(paints_.count, 2);
    EXPECT_EQ(bar_.Position(), 505);
    EXPECT_EQ(bar_.BarWidth(), 101);
}

TEST_F(ShownBarTest, StepItCrossesPixelsOnlyNowAndThen) {
    bar_.SetRange(0, 2000);
    EXPECT_EQ(bar_.SetStep(1), 1);
    bar_.SetPos(0);
    paints_.count = 0;
    for (int i = 0; i < 2000; ++i) {
        bar_.StepIt();
    }
    EXPECT_EQ(bar_.Position(), 2000);
    EXPECT_EQ(paints_.count, 200) << "one repaint per pixel of the bar";
}

TEST_F(ShownBarTest, StepAddsTheStoredStep) {
    EXPECT_EQ(bar_.SetStep(7), 1);
    EXPECT_EQ(bar_.SetStep(5), 7);
    bar_.SetPos(10);
    EXPECT_EQ(bar_.StepIt(), 10);
    EXPECT_EQ(bar_.StepIt(), 15);
    EXPECT_EQ(bar_.Position(), 20);
}

TEST_F(ShownBarTest, ResizeMakesTheNextSetPosRepaint) {
    bar_.SetPos(30);
    // Only the height changes, so the filled width stays the same.
    bar_.resize(200, 24);
    Settle();
    EXPECT_EQ(bar_.BarWidth(), -1);
    paints_.count = 0;
    bar_.SetPos(30);
    EXPECT_EQ(paints_.count, 1);
    EXPECT_EQ(bar_.BarWidth(), 60);
}

TEST_F(ShownBarTest, SetRangeAloneDoesNotRepaint) {
    bar_.SetPos(50);
    Settle();
    paints_.count = 0;
    bar_.SetRange(0, 400);
    Settle();
    EXPECT_EQ(paints_.count, 0);
    // The new range shows with the next change of width.
    bar_.SetPos(50);
    EXPECT_EQ(paints_.count, 1);
    EXPECT_EQ(bar_.BarWidth(), 25);
}

TEST_F(ShownBarTest, HideAndShow) {
    bar_.Hide();
    EXPECT_FALSE(bar_.isVisible());
    bar_.Show();
    EXPECT_TRUE(bar_.isVisible());
}

TEST(BusyBlockTest, GlidesToTheRightEdgeAndBack) {
    struct Case {
        int step;
        int clientWidth;
        BusyBlock block;
    };
    // 200 pixels: a block of 50 travels 150 in 24 steps each way.
    const Case cases[] = {
        {0, 200, {0, 50}},    {1, 200, {6, 50}},   {12, 200, {75, 50}}, {24, 200, {150, 50}},
        {25, 200, {143, 50}}, {36, 200, {75, 50}}, {48, 200, {0, 50}},  {49, 200, {6, 50}},
        {-1, 200, {6, 50}},   {20, 20, {10, 8}},   {5, 4, {0, 4}},      {7, 0, {0, 0}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(BusyBlockAt(c.step, c.clientWidth), c.block)
            << "step " << c.step << " of " << c.clientWidth << " pixels";
    }
}

// Columns of a rendered bar that are wholly one colour, and whether every
// pixel is one of the two.
struct Columns {
    std::vector<int> barColumns;
    bool onlyTheTwoColours = true;
};

Columns ColumnsOf(const QImage& image) {
    Columns columns;
    for (int x = 0; x < image.width(); ++x) {
        int bar = 0;
        for (int y = 0; y < image.height(); ++y) {
            const QColor pixel = image.pixelColor(x, y);
            bar += pixel == Highlight() ? 1 : 0;
            columns.onlyTheTwoColours &= pixel == Highlight() || pixel == Base();
        }
        if (bar == image.height()) {
            columns.barColumns.push_back(x);
        }
    }
    return columns;
}

std::vector<int> Span(int from, int count) {
    std::vector<int> span;
    for (int x = from; x < from + count; ++x) {
        span.push_back(x);
    }
    return span;
}

TEST_F(PercentProgressCtrlTest, BusyPaintsTheGlidingBlockInsteadOfThePosition) {
    PercentProgressCtrl bar;
    bar.resize(200, 20);
    bar.show();
    Settle();
    bar.SetPos(60);
    bar.SetBusy(true);
    ASSERT_TRUE(bar.Busy());
    const int step = bar.BusyStep();
    const BusyBlock block = BusyBlockAt(step, 200);
    Columns busy = ColumnsOf(Render(bar));
    EXPECT_EQ(busy.barColumns, Span(block.left, block.width));
    EXPECT_TRUE(busy.onlyTheTwoColours) << "no percentage is written";

    // Once the work has a position again, the position shows as before.
    bar.SetBusy(false);
    const QImage normal = Render(bar);
    EXPECT_EQ(ColumnsOf(normal).barColumns.front(), 0);
    // "60%" lies within the filled 120 pixels.
    const TextCheck text = CheckRegion(normal, 0, 120, Highlight(), Base());
    EXPECT_GT(text.textPixels, 0) << "the percentage is written again";
    EXPECT_EQ(bar.Position(), 60);
}

TEST_F(ShownBarTest, TheBusyBlockMovesWithItsTimerUntilTheWorkHasAPosition) {
    EXPECT_FALSE(bar_.BusyTimerRunning());
    bar_.SetBusy(true);
    EXPECT_TRUE(bar_.BusyTimerRunning());
    EXPECT_EQ(bar_.BusyStep(), 0);
    const int firstLeft = ColumnsOf(Render(bar_)).barColumns.front();
    // A few steps of the real timer; a stuck timer fails instead of hanging.
    QEventLoop loop;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, &loop, [&] {
        if (bar_.BusyStep() >= 3) {
            loop.quit();
        }
    });
    watch.start(kBusyStepMs / 4);
    QTimer::singleShot(5000, &loop, &QEventLoop::quit);
    paints_.count = 0;
    loop.exec();
    const int step = bar_.BusyStep();
    ASSERT_GE(step, 3);
    EXPECT_GT(paints_.count, 0) << "each step repaints";
    const int left = ColumnsOf(Render(bar_)).barColumns.front();
    EXPECT_EQ(left, BusyBlockAt(step, bar_.width()).left);
    EXPECT_GT(left, firstLeft);

    bar_.SetBusy(false);
    EXPECT_FALSE(bar_.BusyTimerRunning());
    Settle();
    EXPECT_EQ(bar_.BusyStep(), step);
}

}  // namespace
}  // namespace app::qt

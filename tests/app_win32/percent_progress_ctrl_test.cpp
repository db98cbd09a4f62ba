// Tests the Win32 percentage bar on real windows and device contexts: when
// it repaints, and what its painting leaves in the pixels (the split at the
// filled width, the text in one colour over each part).

#include "app/win32/percent_progress_ctrl.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "app/win32/gdi.h"

namespace {

using app::win32::MemoryDc;
using app::win32::OwnedBitmap;
using app::win32::OwnedWindow;
using app::win32::PercentProgressCtrl;
using app::win32::Selection;
using app::win32::WindowDc;

constexpr int kWidth = 200;
constexpr int kHeight = 24;

// A hidden top-level window owns it; both go with the fixture.
class BarTest : public testing::Test {
  protected:
    void SetUp() override {
        INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_PROGRESS_CLASS};
        ::InitCommonControlsEx(&controls);
        parent_ = OwnedWindow(::CreateWindowExW(0, L"STATIC", L"bar test", WS_POPUP, 0, 0, 400, 100,
                                                nullptr, nullptr, nullptr, nullptr));
        if (!parent_) {
            // scripts/check-win32-dialog runs these on a display.
            GTEST_SKIP() << "no desktop to make windows on (Wine without a display)";
        }
        control_ = ::CreateWindowExW(0, PROGRESS_CLASSW, L"", WS_CHILD | WS_VISIBLE, 0, 0, kWidth,
                                     kHeight, parent_.get(), nullptr, nullptr, nullptr);
        ASSERT_NE(control_, nullptr);
        // Shown, or it would get no paint messages; never activated.
        ::ShowWindow(parent_.get(), SW_SHOWNOACTIVATE);
        ASSERT_TRUE(bar_.Attach(control_));
        // Counts the paint messages that reach the bar, ahead of it.
        ::SetWindowSubclass(control_, &CountPaints, 7, reinterpret_cast<DWORD_PTR>(&paints_));
    }

    static LRESULT CALLBACK CountPaints(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                        UINT_PTR, DWORD_PTR counter) {
        if (message == WM_PAINT) {
            ++*reinterpret_cast<int*>(counter);
        }
        return ::DefSubclassProc(window, message, wParam, lParam);
    }

    // The bar's client area as painted for a print of it, over `ground`.
    std::vector<COLORREF> Print(COLORREF ground = RGB(255, 0, 255)) {
        const WindowDc screen(nullptr);
        const MemoryDc dc(::CreateCompatibleDC(screen.get()));
        const OwnedBitmap bitmap(::CreateCompatibleBitmap(screen.get(), kWidth, kHeight));
        std::vector<COLORREF> pixels;
        const Selection selected(dc.get(), bitmap.get());
        const RECT all{0, 0, kWidth, kHeight};
        const app::win32::OwnedBrush brush(::CreateSolidBrush(ground));
        ::FillRect(dc.get(), &all, brush.get());
        ::SendMessageW(control_, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc.get()), PRF_CLIENT);
        for (int y = 0; y < kHeight; ++y) {
            for (int x = 0; x < kWidth; ++x) {
                pixels.push_back(::GetPixel(dc.get(), x, y));
            }
        }
        return pixels;
    }

    static COLORREF At(const std::vector<COLORREF>& pixels, int x, int y) {
        return pixels[static_cast<std::size_t>(y * kWidth + x)];
    }

    // How many pixels of row y, columns [from, to), have `colour`.
    static int Count(const std::vector<COLORREF>& pixels, int y, int from, int to,
                     COLORREF colour) {
        int count = 0;
        for (int x = from; x < to; ++x) {
            count += At(pixels, x, y) == colour ? 1 : 0;
        }
        return count;
    }

    // Whether every channel of `pixel` lies between those of a and b, as in
    // a blend of the two.
    static bool Between(COLORREF pixel, COLORREF a, COLORREF b) {
        const auto inside = [](int value, int one, int other) {
            return value >= std::min(one, other) - 1 && value <= std::max(one, other) + 1;
        };
        return inside(GetRValue(pixel), GetRValue(a), GetRValue(b)) &&
               inside(GetGValue(pixel), GetGValue(a), GetGValue(b)) &&
               inside(GetBValue(pixel), GetBValue(a), GetBValue(b));
    }

    // Destroyed after the bar lets go of its control, which goes with it.
    OwnedWindow parent_;
    HWND control_ = nullptr;
    PercentProgressCtrl bar_;
    int paints_ = 0;
};

TEST(PercentProgressCtrlTest, SetPosBeforeTheControlExistsChangesNothing) {
    PercentProgressCtrl bar;
    EXPECT_EQ(bar.SetPos(40), -1);
    EXPECT_EQ(bar.Position(), 0);
    EXPECT_EQ(bar.StepIt(), -1);
    EXPECT_EQ(bar.Position(), 0);
}

TEST_F(BarTest, RepaintsOnlyWhenTheFilledWidthChanges) {
    bar_.SetRange(0, 1000);
    EXPECT_EQ(bar_.SetPos(500), 0);
    EXPECT_EQ(bar_.BarWidth(), 100);
    EXPECT_EQ(paints_, 1);
    // 501 of 1000 is still 100 pixels of 200.
    EXPECT_EQ(bar_.SetPos(501), 500);
    EXPECT_EQ(paints_, 1);
    bar_.SetStep(5);
    EXPECT_EQ(bar_.StepIt(), 501);
    EXPECT_EQ(bar_.Position(), 506);
    EXPECT_EQ(bar_.BarWidth(), 101);
    EXPECT_EQ(paints_, 2);
    // SetRange alone does not repaint.
    bar_.SetRange(0, 2000);
    EXPECT_EQ(paints_, 2);
}

TEST_F(BarTest, AResizeMakesTheNextSetPosRepaintAtAnUnchangedPosition) {
    bar_.SetPos(50);
    const int before = paints_;
    ::SetWindowPos(control_, nullptr, 0, 0, kWidth, kHeight + 2, SWP_NOZORDER | SWP_NOMOVE);
    EXPECT_EQ(bar_.BarWidth(), -1);
    ::UpdateWindow(control_);
    const int afterResize = paints_;
    bar_.SetPos(50);
    EXPECT_EQ(bar_.BarWidth(), 100);
    EXPECT_GT(paints_, afterResize);
    EXPECT_GE(afterResize, before);
}

TEST_F(BarTest, PaintsTheSplitAndTheTextInTheOtherPartsColour) {
    const COLORREF bar = bar_.BarColour();
    const COLORREF ground = bar_.BackgroundColour();
    ASSERT_NE(bar, ground);
    struct Row {
        int position;
        int split;
    };
    for (const Row row : {Row{0, 0}, Row{50, 100}, Row{100, kWidth}, Row{150, kWidth}}) {
        SCOPED_TRACE(testing::Message() << "position " << row.position);
        bar_.SetPos(row.position);
        const std::vector<COLORREF> pixels = Print();
        // The top and bottom rows hold no text: the parts' colours, split
        // exactly at the filled width.
        for (const int y : {0, kHeight - 1}) {
            EXPECT_EQ(Count(pixels, y, 0, row.split, bar), row.split);
            EXPECT_EQ(Count(pixels, y, row.split, kWidth, ground), kWidth - row.split);
        }
        // The text is in the other part's colour: every pixel of a part is
        // its colour or a blend of the two (smoothed letters), and the
        // middle holds letters.
        int letters = 0;
        for (int y = 0; y < kHeight; ++y) {
            for (int x = 0; x < kWidth; ++x) {
                const COLORREF pixel = At(pixels, x, y);
                EXPECT_TRUE(Between(pixel, bar, ground)) << "at " << x << "," << y;
                letters += pixel != (x < row.split ? bar : ground) ? 1 : 0;
            }
        }
        EXPECT_GT(letters, 20);
    }
}

TEST_F(BarTest, AnEmptyRangePaintsNothing) {
    bar_.SetRange(10, 10);
    const COLORREF untouched = RGB(255, 0, 255);
    const std::vector<COLORREF> pixels = Print(untouched);
    for (int y = 0; y < kHeight; ++y) {
        EXPECT_EQ(Count(pixels, y, 0, kWidth, untouched), kWidth);
    }
    // A paint cycle validates the window all the same.
    ::InvalidateRect(control_, nullptr, FALSE);
    ::UpdateWindow(control_);
    EXPECT_FALSE(::GetUpdateRect(control_, nullptr, FALSE));
}

}  // namespace

#include "app/win32/percent_progress_ctrl.h"

#include <commctrl.h>

#include "app/percent_bar.h"
#include "app/win32/gdi.h"
#include "app/win32/text.h"

namespace app::win32 {

namespace {

constexpr UINT_PTR kSubclassId = 1;

void Fill(HDC dc, const RECT& rect, COLORREF colour) {
    if (rect.right <= rect.left) {
        return;
    }
    const OwnedBrush brush(::CreateSolidBrush(colour));
    ::FillRect(dc, &rect, brush.get());
}

// Draws `text` centred in `client`, only inside `part`, in `colour`.
void DrawClipped(HDC dc, const std::wstring& text, RECT client, const RECT& part, COLORREF colour) {
    // A region is in device coordinates: off-screen the window origin has
    // moved, so the part is moved back to where the device has it.
    POINT origin{};
    ::GetWindowOrgEx(dc, &origin);
    const OwnedRegion clip(::CreateRectRgn(part.left - origin.x, part.top - origin.y,
                                           part.right - origin.x, part.bottom - origin.y));
    ::SelectClipRgn(dc, clip.get());
    ::SetTextColor(dc, colour);
    ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &client,
                DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    ::SelectClipRgn(dc, nullptr);
}

}  // namespace

PercentProgressCtrl::PercentProgressCtrl()
    : barColour_(::GetSysColor(COLOR_HIGHLIGHT)),
      backgroundColour_(::GetSysColor(COLOR_WINDOW)),
      textOnBackgroundColour_(::GetSysColor(COLOR_HIGHLIGHT)),
      textOnBarColour_(::GetSysColor(COLOR_WINDOW)) {}

PercentProgressCtrl::~PercentProgressCtrl() {
    if (window_ != nullptr) {
        ::RemoveWindowSubclass(window_, &Procedure, kSubclassId);
    }
}

bool PercentProgressCtrl::Attach(HWND control) {
    if (control == nullptr ||
        !::SetWindowSubclass(control, &Procedure, kSubclassId, reinterpret_cast<DWORD_PTR>(this))) {
        return false;
    }
    window_ = control;
    barWidth_ = -1;
    return true;
}

int PercentProgressCtrl::ClientWidth() const {
    RECT client{};
    ::GetClientRect(window_, &client);
    return client.right - client.left;
}

void PercentProgressCtrl::SetRange(int minimum, int maximum) {
    rangeMin_ = minimum;
    rangeMax_ = maximum;
}

int PercentProgressCtrl::SetPos(int position) {
    if (window_ == nullptr || !::IsWindow(window_)) {
        return -1;
    }
    const int previous = position_;
    position_ = position;
    const int filled = FilledWidth(BarFraction(position_, rangeMin_, rangeMax_), ClientWidth());
    // StepIt runs once per arrived kilobyte; painting only when a pixel
    // boundary is crossed keeps thousands of steps cheap.
    if (filled != barWidth_) {
        barWidth_ = filled;
        ::RedrawWindow(window_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    }
    return previous;
}

int PercentProgressCtrl::SetStep(int step) {
    const int previous = step_;
    step_ = step;
    return previous;
}

int PercentProgressCtrl::StepIt() {
    return SetPos(SteppedPosition(position_, step_));
}

void PercentProgressCtrl::Hide() {
    if (window_ != nullptr) {
        ::ShowWindow(window_, SW_HIDE);
    }
}

void PercentProgressCtrl::DrawParts(HDC dc, const RECT& client) const {
    const double fraction = BarFraction(position_, rangeMin_, rangeMax_);
    const int split = SplitAt(client.left, client.right - client.left, fraction);
    const RECT filled{client.left, client.top, split, client.bottom};
    const RECT unfilled{split, client.top, client.right, client.bottom};
    Fill(dc, filled, barColour_);
    Fill(dc, unfilled, backgroundColour_);
    if (!showText_) {
        return;
    }
    // The paint context's own font: the control selects none.
    const std::wstring text = Wide(PercentText(fraction));
    ::SetBkMode(dc, TRANSPARENT);
    DrawClipped(dc, text, client, filled, textOnBarColour_);
    DrawClipped(dc, text, client, unfilled, textOnBackgroundColour_);
}

void PercentProgressCtrl::Paint(HDC target, const RECT& area) const {
    if (rangeMax_ <= rangeMin_ || area.right <= area.left || area.bottom <= area.top) {
        return;
    }
    RECT client{};
    ::GetClientRect(window_, &client);
    // A printer gets the drawing directly: it keeps no pixels to copy.
    if (::GetDeviceCaps(target, TECHNOLOGY) == DT_RASPRINTER) {
        DrawParts(target, client);
        return;
    }
    const int width = area.right - area.left;
    const int height = area.bottom - area.top;
    const MemoryDc memory(::CreateCompatibleDC(target));
    const OwnedBitmap bitmap(::CreateCompatibleBitmap(target, width, height));
    if (!memory || !bitmap) {
        return;
    }
    {
        const Selection selected(memory.get(), bitmap.get());
        // Drawn in the control's own coordinates, whatever part is repainted.
        ::SetWindowOrgEx(memory.get(), area.left, area.top, nullptr);
        DrawParts(memory.get(), client);
        ::BitBlt(target, area.left, area.top, width, height, memory.get(), area.left, area.top,
                 SRCCOPY);
    }
}

LRESULT CALLBACK PercentProgressCtrl::Procedure(HWND window, UINT message, WPARAM wParam,
                                                LPARAM lParam, UINT_PTR, DWORD_PTR self) {
    auto* control = reinterpret_cast<PercentProgressCtrl*>(self);
    switch (message) {
        case WM_PAINT: {
            const PaintScope paint(window);
            if (control->rangeMax_ <= control->rangeMin_) {
                return 0;  // validated by the paint cycle, nothing drawn
            }
            RECT area{};
            ::GetClipBox(paint.dc(), &area);
            control->Paint(paint.dc(), area);
            return 0;
        }
        case WM_PRINTCLIENT: {
            RECT client{};
            ::GetClientRect(window, &client);
            control->Paint(reinterpret_cast<HDC>(wParam), client);
            return 0;
        }
        case WM_ERASEBKGND:
            return 1;  // every pixel is painted: erasing would only flicker
        case WM_TIMER:
            // The standard bar's own animation (the themed glow) has nothing
            // to show here: its ticks stop before they reach its drawing.
            return 0;
        case WM_SIZE: {
            const LRESULT result = ::DefSubclassProc(window, message, wParam, lParam);
            // The filled width depends on the client width: the next SetPos
            // repaints even with an unchanged position.
            control->barWidth_ = -1;
            return result;
        }
        case WM_NCDESTROY:
            ::RemoveWindowSubclass(window, &Procedure, kSubclassId);
            control->window_ = nullptr;
            break;
        default:
            break;
    }
    return ::DefSubclassProc(window, message, wParam, lParam);
}

}  // namespace app::win32

#pragma once
// The percentage bar of the Win32 dialog. It takes over a progress bar
// control of the dialog and replaces all of its painting: it keeps its own
// range and position, composes every repaint off-screen and shows it in
// one block copy (so the bar does not flicker while it advances), and
// writes the percentage across the bar twice, clipped to each part, so the
// letters the bar reaches under change colour exactly at its edge.

#include <windows.h>

#include "app/dialog_view.h"

namespace app::win32 {

class PercentProgressCtrl : public ProgressBarView {
  public:
    // Reads the four colours from the system once; later changes of the
    // system colours are not followed.
    PercentProgressCtrl();
    ~PercentProgressCtrl() override;
    PercentProgressCtrl(const PercentProgressCtrl&) = delete;
    PercentProgressCtrl& operator=(const PercentProgressCtrl&) = delete;

    // Takes over the control's painting, sizing and background erasing.
    bool Attach(HWND control);

    void SetRange(int minimum, int maximum) override;
    // Returns -1 and changes nothing before Attach. Repaints at once only
    // when the filled width in pixels changes.
    int SetPos(int position) override;
    int SetStep(int step) override;
    int StepIt() override;
    void Hide() override;
    void SetBusy(bool busy) override { busy_ = busy; }

    int Position() const { return position_; }
    int BarWidth() const { return barWidth_; }
    bool Busy() const { return busy_; }
    HWND Window() const { return window_; }
    COLORREF BarColour() const { return barColour_; }
    COLORREF BackgroundColour() const { return backgroundColour_; }

    // Paints the part `area` of the control into `target` (the window's own
    // paint context, or another for a print of the client area).
    void Paint(HDC target, const RECT& area) const;

  private:
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                      UINT_PTR id, DWORD_PTR self);
    void DrawParts(HDC dc, const RECT& client) const;
    int ClientWidth() const;

    HWND window_ = nullptr;
    bool busy_ = false;
    int position_ = 0;
    int step_ = 1;
    int rangeMax_ = 100;
    int rangeMin_ = 0;
    bool showText_ = true;
    int barWidth_ = -1;
    COLORREF barColour_;
    COLORREF backgroundColour_;
    COLORREF textOnBackgroundColour_;
    COLORREF textOnBarColour_;
};

}  // namespace app::win32

#pragma once
// The percentage bar of the transfer dialog. It keeps its own range and
// position, paints itself off-screen in one block (so it does not flicker
// while it advances) and writes the percentage across the bar: the letters
// over the filled part in one colour, the rest in another. While busy (work
// without a position to show) a block of the bar's colour glides to and fro
// instead, moved by a timer.

#include <QColor>
#include <QTimer>
#include <QWidget>
#include <string>

#include "app/dialog_view.h"
#include "app/percent_bar.h"

class QPainter;
class QPaintEvent;
class QRect;
class QResizeEvent;

namespace app::qt {

// The bar's arithmetic is the same in every dialog that paints it.
using app::BarFraction;
using app::FilledWidth;
using app::PercentText;

// The busy block at a step of its glide: a quarter of the client width (at
// least a few pixels), from the left edge to the right one in
// kBusyStepsPerSweep steps and back in as many. Its left edge and width.
inline constexpr int kBusyStepsPerSweep = 24;
inline constexpr int kBusyStepMs = 40;
struct BusyBlock {
    int left = 0;
    int width = 0;
    bool operator==(const BusyBlock&) const = default;
};
BusyBlock BusyBlockAt(int step, int clientWidth);

class PercentProgressCtrl : public QWidget, public ProgressBarView {
    Q_OBJECT

  public:
    // Reads the four colours from the application palette once; later palette
    // changes are not followed.
    explicit PercentProgressCtrl(QWidget* parent = nullptr);

    // Stores the range; the new range shows at the next repaint.
    void SetRange(int minimum, int maximum) override;
    // Returns -1 and changes nothing while the control's window does not
    // exist (see WindowExists). Repaints at once only when the filled width
    // in pixels changes.
    int SetPos(int position) override;
    int SetStep(int step) override;
    int StepIt() override;
    void Hide() override;
    // Starts or stops the glide; the position shows again once it stops.
    void SetBusy(bool busy) override;
    bool Busy() const { return busy_; }
    // The glide's step (it counts while busy) and whether its timer runs.
    int BusyStep() const { return busyStep_; }
    bool BusyTimerRunning() const { return busyTimer_.isActive(); }
    void Show();

    int Position() const { return position_; }
    int Step() const { return step_; }
    int RangeMin() const { return rangeMin_; }
    int RangeMax() const { return rangeMax_; }
    // The filled width of the last repaint request; -1 when none has been
    // made since construction or the last resize.
    int BarWidth() const { return barWidth_; }

    // The control's window exists once Qt has created it, which happens when
    // the control is first shown with its dialog (or its window id is asked
    // for). Before that there is nothing to paint into, as with a control
    // whose native window has not been created.
    bool WindowExists() const;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    void PaintPosition(QPainter& painter, const QRect& client) const;
    void PaintBusy(QPainter& painter, const QRect& client) const;

    bool busy_ = false;
    int busyStep_ = 0;
    QTimer busyTimer_;
    int position_ = 0;
    int step_ = 1;
    int rangeMax_ = 100;
    int rangeMin_ = 0;
    bool showText_ = true;
    int barWidth_ = -1;
    QColor barColour_;
    QColor backgroundColour_;
    QColor textOnBackgroundColour_;
    QColor textOnBarColour_;
};

}  // namespace app::qt

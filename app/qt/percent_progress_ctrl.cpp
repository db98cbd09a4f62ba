#include "app/qt/percent_progress_ctrl.h"

#include <QGuiApplication>
#include <QPaintEvent>
#include <QPainter>
#include <QPalette>
#include <QPixmap>
#include <QResizeEvent>
#include <algorithm>

namespace app::qt {

BusyBlock BusyBlockAt(int step, int clientWidth) {
    const int width = std::min(clientWidth, std::max(clientWidth / 4, 8));
    const int travel = std::max(0, clientWidth - width);
    constexpr int kCycle = 2 * kBusyStepsPerSweep;
    const int phase = ((step % kCycle) + kCycle) % kCycle;
    const int along = phase <= kBusyStepsPerSweep ? phase : kCycle - phase;
    return {travel * along / kBusyStepsPerSweep, width};
}

PercentProgressCtrl::PercentProgressCtrl(QWidget* parent) : QWidget(parent) {
    const QPalette palette = QGuiApplication::palette();
    barColour_ = palette.color(QPalette::Active, QPalette::Highlight);
    backgroundColour_ = palette.color(QPalette::Active, QPalette::Base);
    textOnBackgroundColour_ = barColour_;
    textOnBarColour_ = backgroundColour_;
    // Every pixel is painted by paintEvent, so Qt need not clear anything
    // first; clearing would make the bar flicker as it advances.
    setAttribute(Qt::WA_OpaquePaintEvent);
    busyTimer_.setInterval(kBusyStepMs);
    connect(&busyTimer_, &QTimer::timeout, this, [this] {
        ++busyStep_;
        update();
    });
}

bool PercentProgressCtrl::WindowExists() const {
    return testAttribute(Qt::WA_WState_Created);
}

void PercentProgressCtrl::SetRange(int minimum, int maximum) {
    rangeMin_ = minimum;
    rangeMax_ = maximum;
}

int PercentProgressCtrl::SetPos(int position) {
    if (!WindowExists()) {
        return -1;
    }
    const int previous = position_;
    position_ = position;
    const int filled = FilledWidth(BarFraction(position_, rangeMin_, rangeMax_), width());
    // StepIt runs once per arrived kilobyte; painting only when a pixel
    // boundary is crossed keeps thousands of steps cheap.
    if (filled != barWidth_) {
        barWidth_ = filled;
        repaint();
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
    hide();
}

void PercentProgressCtrl::SetBusy(bool busy) {
    if (busy == busy_) {
        return;
    }
    busy_ = busy;
    if (busy_) {
        busyStep_ = 0;
        busyTimer_.start();
    } else {
        busyTimer_.stop();
    }
    update();
}

void PercentProgressCtrl::Show() {
    show();
}

void PercentProgressCtrl::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    // The filled width depends on the client width: the next SetPos must
    // repaint even with an unchanged position.
    barWidth_ = -1;
}

void PercentProgressCtrl::PaintBusy(QPainter& painter, const QRect& client) const {
    const BusyBlock block = BusyBlockAt(busyStep_, client.width());
    painter.fillRect(client, backgroundColour_);
    painter.fillRect(QRect(client.left() + block.left, client.top(), block.width, client.height()),
                     barColour_);
}

void PercentProgressCtrl::PaintPosition(QPainter& painter, const QRect& client) const {
    const double fraction = BarFraction(position_, rangeMin_, rangeMax_);
    const int split = SplitAt(client.left(), client.width(), fraction);
    const QRect filled(client.left(), client.top(), split - client.left(), client.height());
    const QRect unfilled(split, client.top(), client.left() + client.width() - split,
                         client.height());
    painter.fillRect(filled, barColour_);
    painter.fillRect(unfilled, backgroundColour_);

    if (showText_) {
        const QString text = QString::fromStdString(PercentText(fraction));
        const int flags = Qt::AlignHCenter | Qt::AlignVCenter | Qt::TextSingleLine;
        painter.setBackgroundMode(Qt::TransparentMode);
        // The same text twice, each time clipped to one part, so letters
        // the bar reaches under change colour exactly at its edge.
        painter.setClipRect(filled);
        painter.setPen(textOnBarColour_);
        painter.drawText(client, flags, text);
        painter.setClipRect(unfilled);
        painter.setPen(textOnBackgroundColour_);
        painter.drawText(client, flags, text);
    }
}

void PercentProgressCtrl::paintEvent(QPaintEvent* event) {
    // A busy bar shows no position, so it needs no range.
    if (rangeMax_ <= rangeMin_ && !busy_) {
        return;
    }
    const QRect client = rect();
    const QRect area = event->rect();
    if (area.isEmpty()) {
        return;
    }

    // Compose the area to repaint off-screen in the control's own
    // coordinates, then show it in one copy.
    const qreal ratio = devicePixelRatioF();
    QPixmap offscreen(area.size() * ratio);
    offscreen.setDevicePixelRatio(ratio);
    {
        QPainter painter(&offscreen);
        painter.translate(-area.topLeft());
        painter.setFont(font());
        if (busy_) {
            PaintBusy(painter, client);
        } else {
            PaintPosition(painter, client);
        }
    }
    QPainter window(this);
    window.drawPixmap(area.topLeft(), offscreen);
}

}  // namespace app::qt

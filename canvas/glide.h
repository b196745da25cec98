#pragma once

#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <QVector>

// Inertial scrolling after a touch flick, and the zoom arithmetic of the
// canvas. Both are plain values driven by a clock reading the caller passes
// in (milliseconds), so the canvas owns the timers and the scroll bars and
// these only decide.

// One finger movement of a pan, content pixels; t in clock milliseconds.
struct PanSample
{
    qint64 t = 0;
    double dx = 0;
    double dy = 0;
};

// Scroll bar values and ranges (inclusive, as QScrollBar keeps them).
struct ScrollPosition
{
    int x = 0;
    int y = 0;
    int xMin = 0;
    int xMax = 0;
    int yMin = 0;
    int yMax = 0;
};

class Glide
{
public:
    // Records a pan step that moved the content by (dx, dy) at time now.
    // Non-finite movements are ignored: they would make a glide that never stops.
    void addPanSample(qint64 now, double dx, double dy);
    void clearSamples() { m_samples.clear(); }
    const QVector<PanSample> &samples() const { return m_samples; }

    // At the end of a one-finger pan: starts a glide from the recent samples,
    // or not (resting finger, too slow). Always consumes the samples.
    bool startFling(qint64 now);

    // One timer tick. Moves pos by whole pixels; an axis that hits the end of
    // its range loses its velocity. Returns false when the glide has stopped
    // (the caller stops its timer); pos is still updated for this tick.
    bool tick(qint64 now, ScrollPosition *pos);

    // Stops a running glide; true if one was running.
    bool stop();
    bool isRunning() const { return m_running; }
    // Finger velocity in pixels per millisecond; content moves with it.
    QPointF velocity() const { return QPointF(m_vx, m_vy); }

private:
    QVector<PanSample> m_samples;
    double m_vx = 0;
    double m_vy = 0;
    double m_rx = 0;
    double m_ry = 0;
    qint64 m_lastTick = 0;
    bool m_running = false;
};

// Scroll value for a pan or glide step: the content follows a positive delta
// right and down, so the value moves the other way. Saturates instead of
// overflowing.
int scrollValueAfter(int value, double delta);
// Rounds each coordinate to whole pixels, halves away from zero.
QPoint wholePixels(QPointF delta);

namespace ZoomMath {

constexpr double kMinZoom = 0.25;
constexpr double kMaxZoom = 4.0;

// Limits a requested zoom to [kMinZoom, kMaxZoom]. A request that is not a
// number keeps the current zoom.
double clampZoom(double target, double current);
// Equal up to relative rounding noise: |a - b| * 1e12 <= min(|a|, |b|).
bool fuzzyEqual(double a, double b);

// Where the anchor sits on its page, as fractions of the sheet.
struct Anchor
{
    double fx = 0.5;
    double fy = 0.5;
};
// sheet: the anchor page's sheet rectangle in viewport pixels; anchor: the
// fixed point in viewport pixels. An empty side anchors at its middle.
Anchor anchorOnSheet(const QRectF &sheet, QPointF anchor);

// The scroll values (horizontal, vertical) that put the same page point back
// under the anchor after a relayout. slotTop/slotSize: the page's new slot in
// content pixels; sheets are centred in contentWidth. The caller's scroll
// bars clamp the result to their ranges.
QPoint anchoredScroll(const Anchor &a, double slotTop, QSizeF slotSize,
                      double contentWidth, QPointF anchor);

} // namespace ZoomMath

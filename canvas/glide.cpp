#include "canvas/glide.h"

#include "system/diaglog.h"

#include <QPoint>
#include <QString>

#include <algorithm>
#include <climits>
#include <cmath>

namespace {

// Converts a pixel count toward zero into an int without overflow.
int truncToInt(double v)
{
    if (!std::isfinite(v))
        return 0;
    const double t = std::trunc(v);
    if (t >= double(INT_MAX))
        return INT_MAX;
    if (t <= double(INT_MIN))
        return INT_MIN;
    return int(t);
}

int clampToRange(int v, int lo, int hi)
{
    if (hi < lo)
        hi = lo;
    return std::clamp(v, lo, hi);
}

} // namespace

int scrollValueAfter(int value, double delta)
{
    if (!std::isfinite(delta))
        return value;
    return truncToInt(double(value) - delta);
}

QPoint wholePixels(QPointF delta)
{
    // std::round rounds halves away from zero.
    const double x = std::isfinite(delta.x()) ? std::round(delta.x()) : 0.0;
    const double y = std::isfinite(delta.y()) ? std::round(delta.y()) : 0.0;
    return QPoint(truncToInt(x), truncToInt(y));
}

void Glide::addPanSample(qint64 now, double dx, double dy)
{
    if (!std::isfinite(dx) || !std::isfinite(dy))
        return;
    constexpr qint64 kSampleWindowMs = 200;
    m_samples.append(PanSample{ now, dx, dy });
    while (m_samples.size() >= 3 && now - m_samples.first().t > kSampleWindowMs)
        m_samples.removeFirst();
}

bool Glide::startFling(qint64 now)
{
    constexpr qint64 kFlingWindowMs = 100;
    constexpr qint64 kMaxRestMs = 60;
    constexpr double kMinSpanMs = 8;
    constexpr double kAxisLock = 0.5;
    constexpr double kMinSpeed = 0.25; // px/ms
    constexpr double kMaxSpeed = 8.0;  // px/ms

    QVector<PanSample> recent;
    for (const PanSample &s : std::as_const(m_samples)) {
        if (now - s.t <= kFlingWindowMs)
            recent.append(s);
    }
    m_samples.clear();

    // A finger that rested before lifting does not glide.
    if (recent.size() < 2 || now - recent.last().t > kMaxRestMs)
        return false;

    double sx = 0;
    double sy = 0;
    for (int i = 1; i < recent.size(); ++i) {
        sx += recent.at(i).dx;
        sy += recent.at(i).dy;
    }
    const double span = std::max(double(recent.last().t - recent.first().t), kMinSpanMs);
    double vx = sx / span;
    double vy = sy / span;

    if (std::abs(vx) < kAxisLock * std::abs(vy))
        vx = 0;
    else if (std::abs(vy) < kAxisLock * std::abs(vx))
        vy = 0;

    const double speed = std::hypot(vx, vy);
    if (!std::isfinite(speed) || speed < kMinSpeed)
        return false;
    if (speed > kMaxSpeed) {
        vx *= kMaxSpeed / speed;
        vy *= kMaxSpeed / speed;
    }

    m_vx = vx;
    m_vy = vy;
    m_rx = 0;
    m_ry = 0;
    m_lastTick = now;
    m_running = true;
    if (isLogEnabled()) {
        logInfo(QStringLiteral("view"), QStringLiteral("惯性滚动：%1,%2 px/s")
                                            .arg(truncToInt(vx * 1000))
                                            .arg(truncToInt(vy * 1000)));
    }
    return true;
}

bool Glide::tick(qint64 now, ScrollPosition *pos)
{
    if (!m_running || !pos)
        return false;
    constexpr qint64 kMaxStepMs = 50;
    constexpr double kTimeConstantMs = 400;
    constexpr double kStopSpeed = 0.02; // px/ms

    const qint64 dt = std::min(now - m_lastTick, kMaxStepMs);
    m_lastTick = now;
    const double k = std::exp(-double(std::max<qint64>(dt, 1)) / kTimeConstantMs);
    m_ry += m_vy * kTimeConstantMs * (1 - k);
    m_rx += m_vx * kTimeConstantMs * (1 - k);
    m_vx *= k;
    m_vy *= k;

    const int iy = truncToInt(m_ry);
    const int ix = truncToInt(m_rx);
    m_ry -= iy;
    m_rx -= ix;

    if (iy != 0) {
        const int y = clampToRange(scrollValueAfter(pos->y, iy), pos->yMin, pos->yMax);
        if (y == pos->y)
            m_vy = 0; // end of the range
        pos->y = y;
    }
    if (ix != 0) {
        const int x = clampToRange(scrollValueAfter(pos->x, ix), pos->xMin, pos->xMax);
        if (x == pos->x)
            m_vx = 0;
        pos->x = x;
    }

    if (std::hypot(m_vx, m_vy) < kStopSpeed)
        stop();
    return m_running;
}

bool Glide::stop()
{
    const bool was = m_running;
    m_running = false;
    m_vx = m_vy = 0;
    m_rx = m_ry = 0;
    return was;
}

namespace ZoomMath {

double clampZoom(double target, double current)
{
    if (std::isnan(target))
        return current;
    return std::clamp(target, kMinZoom, kMaxZoom);
}

bool fuzzyEqual(double a, double b)
{
    constexpr double kScale = 1e12;
    return std::abs(a - b) * kScale <= std::min(std::abs(a), std::abs(b));
}

Anchor anchorOnSheet(const QRectF &sheet, QPointF anchor)
{
    Anchor a;
    if (sheet.height() > 0)
        a.fy = std::clamp((anchor.y() - sheet.top()) / sheet.height(), 0.0, 1.0);
    if (sheet.width() > 0)
        a.fx = std::clamp((anchor.x() - sheet.left()) / sheet.width(), 0.0, 1.0);
    if (std::isnan(a.fx))
        a.fx = 0.5;
    if (std::isnan(a.fy))
        a.fy = 0.5;
    return a;
}

QPoint anchoredScroll(const Anchor &a, double slotTop, QSizeF slotSize,
                      double contentWidth, QPointF anchor)
{
    const double v = a.fy * slotSize.height() + slotTop - anchor.y();
    const double h = a.fx * slotSize.width() + (contentWidth - slotSize.width()) / 2 - anchor.x();
    return QPoint(truncToInt(h), truncToInt(v));
}

} // namespace ZoomMath

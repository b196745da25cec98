#include "ink/strokecapture.h"

#include <QtMath>

#include <algorithm>
#include <cmath>

int appendDensified(Stroke &stroke, const QPointF &p, double step)
{
    constexpr double kRepeatDistance = 1e-6;
    if (stroke.points.isEmpty()) {
        stroke.points.append(p);
        return 1;
    }
    const QPointF last = stroke.points.last();
    const double d = std::hypot(p.x() - last.x(), p.y() - last.y());
    if (d < kRepeatDistance)
        return 0;
    if (!(d > step)) { // also a NaN step: no filling
        stroke.points.append(p);
        return 1;
    }
    const double steps = std::ceil(d / step);
    const int n = steps >= kDensifyLimit ? kDensifyLimit : std::max(1, int(steps));
    stroke.points.reserve(stroke.points.size() + n);
    for (int i = 1; i < n; ++i)
        stroke.points.append(last + (p - last) * (double(i) / n));
    stroke.points.append(p); // exactly p, free of rounding
    return n;
}

int appendSample(Stroke &stroke, const QPointF &p, double factor)
{
    const int added = appendDensified(stroke, p, kDensifyStep);
    for (int i = 0; i < added; ++i)
        stroke.widthFactors.append(factor);
    return added;
}

double strokeWidthFraction(double penWidthPx, double pageWidthPx)
{
    return pageWidthPx > 0.0 ? penWidthPx / pageWidthPx : kFallbackStrokeWidth;
}

QPointF smoothTouchSample(QVector<QPointF> &history, const QPointF &raw)
{
    constexpr double kJumpPx = 48.0;
    constexpr int kWindow = 3;
    if (!history.isEmpty()) {
        const QPointF d = raw - history.last();
        if (std::hypot(d.x(), d.y()) > kJumpPx) {
            history.clear();
            history.append(raw);
            return raw;
        }
    }
    history.append(raw);
    while (history.size() > kWindow)
        history.removeFirst();
    if (history.size() == 1)
        return raw;
    QPointF sum;
    for (const QPointF &p : history)
        sum += p;
    return sum / double(history.size());
}

double touchWidthFactor(const QVector<TouchContactSize> &contacts, const QPointF &writePoint,
                        double reference, TouchFactorAverage &average)
{
    constexpr double kMinFactor = 0.8;
    constexpr double kMaxFactor = 1.8;
    constexpr double kAveraging = 0.25;
    if (!(reference > 0.0))
        return 1.0;
    for (const TouchContactSize &c : contacts) {
        if (!c.sizeReported)
            return 1.0;
    }
    double best = 1e9;
    double size = 0.0;
    for (const TouchContactSize &c : contacts) {
        if (!(c.size > 0.0))
            continue;
        const QPointF d = c.position - writePoint;
        const double dist = std::hypot(d.x(), d.y());
        if (dist < best) {
            best = dist;
            size = c.size;
        }
    }
    if (!(size > 0.0))
        return 1.0;
    double f = std::clamp(size / reference, kMinFactor, kMaxFactor);
    if (average.primed)
        f = average.previous + (f - average.previous) * kAveraging;
    else
        average.primed = true;
    average.previous = f;
    return f;
}

double strokeLengthPx(const QVector<QPointF> &points, double pageWidthPx)
{
    double sum = 0.0;
    for (qsizetype i = 1; i < points.size(); ++i) {
        const QPointF d = points[i] - points[i - 1];
        sum += std::hypot(d.x(), d.y());
    }
    return pageWidthPx * sum;
}

StrokeJudgement judgeStroke(const QVector<QPointF> &points, double pageWidthPx,
                            StrokeOrigin origin)
{
    constexpr double kShortStrokePx = 3.0;
    StrokeJudgement j;
    if (points.isEmpty())
        return j;
    j.lengthPx = strokeLengthPx(points, pageWidthPx);
    if (j.lengthPx < kShortStrokePx && origin == StrokeOrigin::Touch) {
        j.verdict = StrokeVerdict::Discard;
        j.logText = QStringLiteral("ink discarded (touch tap/noise, len=%1 px)")
                        .arg(j.lengthPx, 0, 'f', 2);
    } else if (j.lengthPx < kShortStrokePx) {
        j.verdict = StrokeVerdict::Dot;
        j.logText = QStringLiteral("ink committed as a dot (len=%1 px, pts=%2)")
                        .arg(j.lengthPx, 0, 'f', 2)
                        .arg(points.size());
    } else {
        j.verdict = StrokeVerdict::Keep;
        j.logText = QStringLiteral("ink committed (len=%1 px, pts=%2)")
                        .arg(j.lengthPx, 0, 'f', 1)
                        .arg(points.size());
    }
    return j;
}

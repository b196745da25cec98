#include "ink/strokegeometry.h"

#include <QPainter>
#include <QtMath>

#include <algorithm>

namespace {

// Imported ink is kept as it is, so painting must cope with any finite
// number. Fractions are held within a few page sizes (the page clip hides
// the rest), widths within one page width and factors within a sane range,
// so that no coordinate or pen width can overwhelm the rasterizer.
constexpr double kFarFraction = 4.0;
constexpr double kMaxWidthFraction = 1.0;
constexpr double kMaxPaintFactor = 16.0;
constexpr double kMinPenWidth = 0.5;

double paintFraction(double v)
{
    if (!qIsFinite(v))
        return 0.0;
    return std::clamp(v, -kFarFraction, 1.0 + kFarFraction);
}

double paintWidthFraction(double w)
{
    if (!(w > 0.0)) // zero, negative or NaN: the thinnest line
        return 0.0;
    return std::min(w, kMaxWidthFraction);
}

double paintFactor(double f)
{
    if (!qIsFinite(f))
        return 1.0;
    return std::clamp(f, 0.0, kMaxPaintFactor);
}

// Factors a stroke paints with and the largest of them; the list is copied
// only when an imported factor is out of the paintable range.
QVector<double> strokePaintFactors(const Stroke &stroke, double *maxFactor)
{
    QVector<double> factors = stroke.widthFactors;
    *maxFactor = 0.0;
    bool inRange = true;
    for (double f : stroke.widthFactors) {
        inRange = inRange && f >= 0.0 && f <= kMaxPaintFactor;
        *maxFactor = std::max(*maxFactor, paintFactor(f));
    }
    if (!inRange) {
        for (double &f : factors)
            f = paintFactor(f);
    }
    return factors;
}

// Device-space extent of what the stroke may paint: its points plus half the
// widest line. Ink is paper-bound, so anything reaching past the page (an
// edge stroke's cap, or imported points outside 0..1) is clipped to it.
bool strokeLeavesPage(const QVector<QPointF> &mapped, const QRectF &pageRect, double linePx)
{
    const double reach = std::max(linePx, kMinPenWidth) * 0.5;
    const QRectF inner = pageRect.adjusted(reach, reach, -reach, -reach);
    return std::any_of(mapped.cbegin(), mapped.cend(), [&inner](const QPointF &p) {
        return !(p.x() >= inner.left() && p.x() <= inner.right() && p.y() >= inner.top()
                 && p.y() <= inner.bottom());
    });
}

QVector<QPointF> mapToPage(const QRectF &pageRect, const QVector<QPointF> &points)
{
    QVector<QPointF> out;
    out.reserve(points.size());
    const double w = pageRect.width(), h = pageRect.height();
    for (const QPointF &p : points)
        out.append(QPointF(pageRect.left() + paintFraction(p.x()) * w,
                           pageRect.top() + paintFraction(p.y()) * h));
    return out;
}

QPointF unitTangent(const QPointF &d, const QPointF &previous)
{
    const double len = std::hypot(d.x(), d.y());
    return len > 1e-9 ? d / len : previous;
}

} // namespace

QPainterPath inkOutline(const QVector<QPointF> &points, const QVector<double> &factors,
                        double width)
{
    QPainterPath path;
    const qsizetype n = points.size();
    if (n < 2 || !(width > 0.0) || !qIsFinite(width))
        return path;
    const bool parallel = factors.size() == n;

    QVector<QPointF> tangent(n), normal(n);
    QVector<double> half(n);
    QPointF previous(1.0, 0.0);
    for (qsizetype i = 0; i < n; ++i) {
        QPointF d;
        if (i == 0)
            d = points[1] - points[0];
        else if (i == n - 1)
            d = points[n - 1] - points[n - 2];
        else
            d = points[i + 1] - points[i - 1];
        previous = tangent[i] = unitTangent(d, previous);
        normal[i] = QPointF(-tangent[i].y(), tangent[i].x());
        const double f = parallel ? paintFactor(factors[i]) : 1.0;
        half[i] = std::max(f * width, 0.25) * 0.5;
    }

    constexpr int kCapSteps = 10;
    path.setFillRule(Qt::WindingFill);
    path.moveTo(points[0] + half[0] * normal[0]);
    for (qsizetype i = 1; i < n; ++i)
        path.lineTo(points[i] + half[i] * normal[i]);
    // End cap: from the left side around the tip to the right side.
    const qsizetype e = n - 1;
    for (int k = 0; k <= kCapSteps; ++k) {
        const double t = k * M_PI / kCapSteps;
        path.lineTo(points[e] + half[e] * (std::cos(t) * normal[e] + std::sin(t) * tangent[e]));
    }
    for (qsizetype i = n - 1; i >= 0; --i)
        path.lineTo(points[i] - half[i] * normal[i]);
    // Start cap: from the right side around the back to the left side.
    for (int k = kCapSteps - 1; k >= 1; --k) {
        const double t = k * M_PI / kCapSteps;
        path.lineTo(points[0] + half[0] * (std::cos(t) * normal[0] - std::sin(t) * tangent[0]));
    }
    path.closeSubpath();
    return path;
}

QPainterPath inkCentreLine(const QVector<QPointF> &points, const QRectF &area)
{
    QPainterPath path;
    const qsizetype n = points.size();
    if (n == 0)
        return path;
    if (n <= 2 || area.isNull()) {
        path.moveTo(points[0]);
        if (n == 2) {
            path.lineTo(points[1]);
            return path;
        }
        for (qsizetype i = 1; i + 1 < n; ++i)
            path.quadTo(points[i], (points[i] + points[i + 1]) * 0.5);
        if (n > 1)
            path.lineTo(points[n - 1]);
        return path;
    }
    // Piece i (1..n-2) is the quadratic from start to the midpoint after
    // P_i, bounded by its three defining points; the last piece is the line
    // to P_{n-1}. Pieces wholly outside area are left out; with round caps
    // and joins a piece's end looks the same whether it is joined or capped.
    auto hull = [](const QPointF &a, const QPointF &b, const QPointF &c) {
        const double x0 = std::min({ a.x(), b.x(), c.x() }), x1 = std::max({ a.x(), b.x(), c.x() });
        const double y0 = std::min({ a.y(), b.y(), c.y() }), y1 = std::max({ a.y(), b.y(), c.y() });
        return QRectF(QPointF(x0, y0), QPointF(x1, y1));
    };
    auto touches = [&area](const QRectF &r) {
        return r.right() >= area.left() && r.left() <= area.right() && r.bottom() >= area.top()
            && r.top() <= area.bottom();
    };
    bool open = false;
    QPointF start = points[0];
    for (qsizetype i = 1; i + 1 < n; ++i) {
        const QPointF end = (points[i] + points[i + 1]) * 0.5;
        if (touches(hull(start, points[i], end))) {
            if (!open)
                path.moveTo(start);
            path.quadTo(points[i], end);
            open = true;
        } else {
            open = false;
        }
        start = end;
    }
    if (touches(hull(start, points[n - 1], points[n - 1]))) {
        if (!open)
            path.moveTo(start);
        path.lineTo(points[n - 1]);
    }
    return path;
}

StrokeShape strokeShape(const QRectF &pageRect, const Stroke &stroke)
{
    StrokeShape shape;
    if (stroke.points.isEmpty() || pageRect.isEmpty())
        return shape;
    shape.points = mapToPage(pageRect, stroke.points);
    const double base = pageRect.width() * paintWidthFraction(stroke.width);
    const bool varying = stroke.widthVaries();
    double maxFactor = 1.0;
    const QVector<double> factors =
        varying ? strokePaintFactors(stroke, &maxFactor) : QVector<double>();
    shape.leavesPage = strokeLeavesPage(shape.points, pageRect, base * std::max(maxFactor, 1.0));

    if (shape.points.size() == 1) {
        const double f = varying ? factors.first() : 1.0;
        shape.kind = StrokeShape::Kind::Dot;
        shape.width = std::max(base * f, kMinPenWidth);
        return shape;
    }
    if (varying) {
        shape.outline = inkOutline(shape.points, factors, std::max(base, kMinPenWidth));
        if (!shape.outline.isEmpty()) {
            shape.kind = StrokeShape::Kind::Fill;
            return shape;
        }
    }
    shape.kind = StrokeShape::Kind::Line;
    shape.width = std::max(base, kMinPenWidth);
    return shape;
}

void drawStroke(QPainter *painter, const QRectF &pageRect, const Stroke &stroke)
{
    if (!painter)
        return;
    const StrokeShape shape = strokeShape(pageRect, stroke);
    if (shape.kind == StrokeShape::Kind::None)
        return;
    if (shape.leavesPage) {
        painter->save();
        painter->setClipRect(pageRect, Qt::IntersectClip);
    }

    switch (shape.kind) {
    case StrokeShape::Kind::Dot: {
        const QPen pen(stroke.color, shape.width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
        painter->save();
        painter->setPen(pen);
        painter->setBrush(Qt::NoBrush);
        painter->drawPoint(shape.points.first());
        painter->restore();
        break;
    }
    case StrokeShape::Kind::Fill:
        painter->fillPath(shape.outline, stroke.color);
        break;
    case StrokeShape::Kind::Line: {
        const QPen pen(stroke.color, shape.width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
        // Long strokes under a small clip (the live stroke while a
        // sample repaints its corner) only build the pieces that show.
        constexpr qsizetype kCullPieces = 32;
        QRectF area;
        if (shape.points.size() > kCullPieces && painter->hasClipping()) {
            const double grow = pen.widthF() * 0.5 + 2.0;
            area = painter->clipBoundingRect().adjusted(-grow, -grow, grow, grow);
        }
        painter->strokePath(inkCentreLine(shape.points, area), pen);
        break;
    }
    case StrokeShape::Kind::None:
        break;
    }

    if (shape.leavesPage)
        painter->restore();
}

bool strokeMayTouch(const Stroke &stroke, const QRectF &pageRect, const QRectF &clip)
{
    if (stroke.bounds.isNull())
        return true;
    const double w = pageRect.width(), h = pageRect.height();
    const QRectF &b = stroke.bounds;
    // Captured factors never exceed kMaxCaptureWidthFactor; imported ones may.
    double factor = kMaxCaptureWidthFactor;
    if (stroke.widthVaries()) {
        for (double f : stroke.widthFactors)
            factor = std::max(factor, paintFactor(f));
    }
    const double grow = std::max(w * paintWidthFraction(stroke.width) * 0.5 * factor, 2.0) + 1.0;
    const QRectF mapped(pageRect.left() + b.left() * w, pageRect.top() + b.top() * h,
                        b.width() * w, b.height() * h);
    return mapped.adjusted(-grow, -grow, grow, grow).intersects(clip);
}

void drawStrokes(QPainter *painter, const QRectF &pageRect, const QVector<Stroke> &strokes,
                 const QRectF &clip)
{
    for (const Stroke &s : strokes) {
        if (clip.isNull() || strokeMayTouch(s, pageRect, clip))
            drawStroke(painter, pageRect, s);
    }
}

double strokeRepaintPad(double strokePixelWidth)
{
    constexpr double kExtraPx = 4.0;
    return std::max(strokePixelWidth, 1.0) * 0.5 * kMaxCaptureWidthFactor + kExtraPx;
}

QRect strokeDirtyRect(const QRectF &pageRect, const QVector<QPointF> &points, int end, int start,
                      double pad)
{
    if (points.isEmpty() || end < 1 || pageRect.isEmpty())
        return QRect();
    end = int(std::min<qsizetype>(end, points.size()));
    start = std::max(std::min(start, end - 1), 0);

    double x0 = points[start].x(), x1 = x0, y0 = points[start].y(), y1 = y0;
    for (int i = start + 1; i < end; ++i) {
        x0 = std::min(x0, points[i].x());
        x1 = std::max(x1, points[i].x());
        y0 = std::min(y0, points[i].y());
        y1 = std::max(y1, points[i].y());
    }
    const double w = pageRect.width(), h = pageRect.height();
    const QRectF box(pageRect.left() + x0 * w, pageRect.top() + y0 * h, (x1 - x0) * w,
                     (y1 - y0) * h);
    return box.adjusted(-pad, -pad, pad, pad).toAlignedRect();
}

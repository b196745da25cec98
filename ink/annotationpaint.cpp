// Ink of the exports, painted from the annotation object rather than from
// the canvas's model, so no tool overlay of the canvas can reach an export.
#include "ink/annotationpaint.h"

#include "ink/strokegeometry.h"

#include <QColor>
#include <QJsonObject>
#include <QJsonValue>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace {

constexpr double kDefaultStrokeWidth = 0.004;
// Imported ink may hold any number; like the canvas, keep coordinates within
// a few page sizes and widths within one page width so that no value can
// overwhelm the rasteriser. Visible pages are unaffected for sane data.
constexpr double kFarFraction = 4.0;
constexpr double kMaxWidthFraction = 1.0;
constexpr double kMaxFactor = 16.0;

double clampFraction(double v)
{
    return std::clamp(v, -kFarFraction, 1.0 + kFarFraction);
}

void paintStroke(QPainter &painter, const QJsonObject &stroke, const QSize &size)
{
    const QJsonArray p = stroke.value(QStringLiteral("p")).toArray();
    if (p.size() < 2)
        return;
    QColor color = QColor::fromString(stroke.value(QStringLiteral("c")).toString());
    if (!color.isValid())
        color = Qt::red;
    const QJsonValue wValue = stroke.value(QStringLiteral("w"));
    const double w = wValue.isDouble() ? std::min(wValue.toDouble(), kMaxWidthFraction)
                                       : kDefaultStrokeWidth;
    const QJsonArray wf = stroke.value(QStringLiteral("wf")).toArray();
    const bool hasFactors = wf.size() * 2 == p.size();

    const double width = std::max(size.width() * w, 1.0);
    const double sx = size.width() - 1;
    const double sy = size.height() > 1 ? size.height() - 1 : 0;
    QVector<QPointF> points;
    QVector<double> factors;
    points.reserve(p.size() / 2);
    for (qsizetype i = 0; i + 1 < p.size(); i += 2)
        points.append(QPointF(clampFraction(p.at(i).toDouble()) * sx,
                              clampFraction(p.at(i + 1).toDouble()) * sy));
    bool varies = false;
    if (hasFactors) {
        factors.reserve(wf.size());
        for (const QJsonValue &f : wf) {
            const double factor = std::clamp(f.toDouble(1.0), 0.0, kMaxFactor);
            varies = varies || std::abs(factor - 1.0) > 0.01;
            factors.append(factor);
        }
    }

    if (points.size() == 1) {
        const double dot = std::max(hasFactors ? width * factors.first() : width, 1.0);
        painter.setPen(QPen(color, dot, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        painter.setBrush(Qt::NoBrush);
        painter.drawPoint(points.first());
        return;
    }
    if (varies) {
        const QPainterPath outline = inkOutline(points, factors, width);
        if (!outline.isEmpty()) {
            painter.fillPath(outline, color);
            return;
        }
    }
    painter.setPen(QPen(color, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(Qt::NoBrush);
    painter.drawPolyline(points.constData(), int(points.size()));
}

} // namespace

void paintAnnotationStrokes(QPainter &painter, const QJsonArray &strokes, const QSize &size)
{
    for (const QJsonValue &stroke : strokes)
        paintStroke(painter, stroke.toObject(), size);
}

#include "ink/inkmarks.h"

#include "ink/strokegeometry.h"

QList<InkMark> inkMarks(const QVector<Stroke> &strokes, const QSizeF &pagePt)
{
    QList<InkMark> marks;
    const QRectF page(QPointF(0, 0), pagePt);
    for (const Stroke &stroke : strokes) {
        const StrokeShape shape = strokeShape(page, stroke);
        InkMark mark;
        mark.color = stroke.color;
        switch (shape.kind) {
        case StrokeShape::Kind::None:
            continue;
        case StrokeShape::Kind::Dot: {
            // A round-capped point is a disc of the pen's width.
            const double r = shape.width / 2;
            mark.path.addEllipse(shape.points.first(), r, r);
            break;
        }
        case StrokeShape::Kind::Fill:
            mark.path = shape.outline;
            break;
        case StrokeShape::Kind::Line:
            mark.kind = InkMark::Kind::Line;
            mark.path = inkCentreLine(shape.points);
            mark.lineWidth = shape.width;
            break;
        }
        marks.append(mark);
    }
    return marks;
}

QList<int> inkAlphas(const QVector<Stroke> &strokes)
{
    QList<int> alphas;
    for (const Stroke &stroke : strokes) {
        const int alpha = stroke.color.alpha();
        if (alpha < 255 && !alphas.contains(alpha))
            alphas.append(alpha);
    }
    return alphas;
}

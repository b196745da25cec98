#include "canvas/glyphs.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>

namespace {

constexpr double kGrid = 24.0;

QPainterPath documentPath()
{
    QPainterPath p;
    // Sheet outline with the folded top-right corner.
    p.moveTo(6, 3);
    p.lineTo(14, 3);
    p.lineTo(19, 8);
    p.lineTo(19, 21);
    p.lineTo(6, 21);
    p.closeSubpath();
    p.moveTo(14, 3);
    p.lineTo(14, 8);
    p.lineTo(19, 8);
    // Two text lines.
    p.moveTo(9, 13);
    p.lineTo(16, 13);
    p.moveTo(9, 17);
    p.lineTo(14, 17);
    return p;
}

QPainterPath strokePath()
{
    QPainterPath p;
    p.moveTo(2, 15);
    p.cubicTo(6, 6, 9, 6, 11, 12);
    p.cubicTo(13, 18, 17, 18, 22, 9);
    return p;
}

QPainterPath eraserPath()
{
    QPainterPath p;
    p.moveTo(9, 20);
    p.lineTo(4, 15);
    p.lineTo(14, 5);
    p.lineTo(20, 11);
    p.lineTo(11, 20);
    p.closeSubpath();
    p.moveTo(8, 11);
    p.lineTo(14, 17);
    p.moveTo(11, 20);
    p.lineTo(20, 20);
    return p;
}

QPainterPath gridPath()
{
    QPainterPath p;
    for (int r = 0; r < 2; ++r)
        for (int c = 0; c < 2; ++c)
            p.addRoundedRect(QRectF(4 + c * 9, 4 + r * 9, 7, 7), 1.5, 1.5);
    return p;
}

} // namespace

void paintGlyph(QPainter &painter, int glyph, const QRectF &rect, const QColor &color,
                double lineWidth, const QColor &second)
{
    if (glyph < 0 || glyph >= kGlyphCount || rect.isEmpty())
        return;
    QPainterPath path;
    switch (Glyph(glyph)) {
    case Glyph::Document: path = documentPath(); break;
    case Glyph::PenStroke: path = strokePath(); break;
    case Glyph::Eraser: path = eraserPath(); break;
    case Glyph::PageGrid: path = gridPath(); break;
    default: return;
    }
    Q_UNUSED(second);
    const double side = std::min(rect.width(), rect.height());
    const double unit = side / kGrid;
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.translate(rect.center().x() - side / 2, rect.center().y() - side / 2);
    painter.scale(unit, unit);
    // The pen is given in target pixels; undo the grid scale for it.
    QPen pen(color, lineWidth / unit, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(path);
    painter.restore();
}

void paintGlyph(QPainter &painter, Glyph glyph, const QRectF &rect, const QColor &color,
                double lineWidth, const QColor &second)
{
    paintGlyph(painter, int(glyph), rect, color, lineWidth, second);
}

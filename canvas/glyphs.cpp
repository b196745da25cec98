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

// Four small portrait sheets in two rows, each with a line of text; the
// first sheet is the current page.
constexpr double kGridSheetW = 7.5;
constexpr double kGridSheetH = 8.5;
constexpr double kGridSheetX[2] = {3.5, 13};
constexpr double kGridSheetY[2] = {2.5, 13};

QRectF gridSheet(int index)
{
    return QRectF(kGridSheetX[index % 2], kGridSheetY[index / 2], kGridSheetW, kGridSheetH);
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
    case Glyph::PageGrid:
        paintPageGridGlyph(painter, rect, color, lineWidth, second);
        return;
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

void paintPageGridGlyph(QPainter &painter, const QRectF &rect, const QColor &color,
                        double lineWidth, const QColor &current, const QColor &lines)
{
    if (rect.isEmpty())
        return;
    const double side = std::min(rect.width(), rect.height());
    const double unit = side / kGrid;
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.translate(rect.center().x() - side / 2, rect.center().y() - side / 2);
    painter.scale(unit, unit);
    const double width = lineWidth / unit;
    const QColor text = lines.isValid() ? lines : color;
    for (int i = 0; i < 4; ++i) {
        const QRectF sheet = gridSheet(i);
        const bool highlighted = i == 0 && current.isValid();
        const QColor ink = highlighted ? current : color;
        painter.setPen(QPen(ink, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        if (highlighted) {
            QColor fill = current;
            fill.setAlphaF(fill.alphaF() * 0.3);
            painter.setBrush(fill);
        } else {
            painter.setBrush(Qt::NoBrush);
        }
        painter.drawRoundedRect(sheet, 1.2, 1.2);
        painter.setPen(QPen(text, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        const double y = sheet.top() + sheet.height() * 0.62;
        painter.drawLine(QPointF(sheet.left() + 2.2, y), QPointF(sheet.right() - 2.2, y));
    }
    painter.restore();
}

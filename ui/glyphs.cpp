#include "ui/glyphs.h"

#include <QPainter>
#include <QPainterPath>

#include <QtMath>

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <utility>

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

QPainterPath polyline(std::initializer_list<QPointF> points, bool closed = false)
{
    QPainterPath p;
    bool first = true;
    for (const QPointF &pt : points) {
        if (first)
            p.moveTo(pt);
        else
            p.lineTo(pt);
        first = false;
    }
    if (closed)
        p.closeSubpath();
    return p;
}

QPainterPath pencilPath()
{
    QPainterPath p = polyline({ { 5, 15 }, { 15, 5 }, { 19, 9 }, { 9, 19 } }, true);
    p.addPath(polyline({ { 5, 15 }, { 3.5, 20.5 }, { 9, 19 } }));
    p.addPath(polyline({ { 12.5, 7.5 }, { 16.5, 11.5 } }));
    return p;
}

QPainterPath pencilLine()
{
    QPainterPath p;
    p.moveTo(12, 21.5);
    p.cubicTo(15, 19.5, 17.5, 22.5, 21, 20);
    return p;
}

QPainterPath movePath()
{
    QPainterPath p = polyline({ { 12, 3 }, { 12, 21 } });
    p.addPath(polyline({ { 3, 12 }, { 21, 12 } }));
    p.addPath(polyline({ { 9, 6 }, { 12, 3 }, { 15, 6 } }));
    p.addPath(polyline({ { 9, 18 }, { 12, 21 }, { 15, 18 } }));
    p.addPath(polyline({ { 6, 9 }, { 3, 12 }, { 6, 15 } }));
    p.addPath(polyline({ { 18, 9 }, { 21, 12 }, { 18, 15 } }));
    return p;
}

QPainterPath undoPath()
{
    QPainterPath p = polyline({ { 9, 5 }, { 4, 10 }, { 9, 15 } });
    QPainterPath shaft;
    shaft.moveTo(4, 10);
    shaft.lineTo(14.5, 10);
    shaft.cubicTo(17.5, 10, 20, 12.2, 20, 15);
    shaft.cubicTo(20, 17.8, 17.5, 20, 14.5, 20);
    shaft.lineTo(10, 20);
    p.addPath(shaft);
    return p;
}

QPainterPath mirrored(const QPainterPath &path)
{
    return QTransform(-1, 0, 0, 1, kGrid, 0).map(path);
}

QPainterPath binPath()
{
    QPainterPath p = polyline({ { 4, 6 }, { 20, 6 } });
    p.addPath(polyline({ { 9, 6 }, { 9, 3.5 }, { 15, 3.5 }, { 15, 6 } }));
    p.addPath(polyline({ { 6, 6 }, { 7, 20.5 }, { 17, 20.5 }, { 18, 6 } }));
    p.addPath(polyline({ { 10, 10 }, { 10, 16.5 } }));
    p.addPath(polyline({ { 14, 10 }, { 14, 16.5 } }));
    return p;
}

QPainterPath fitWidthPath()
{
    QPainterPath p = polyline({ { 3, 5 }, { 3, 19 } });
    p.addPath(polyline({ { 21, 5 }, { 21, 19 } }));
    p.addPath(polyline({ { 6.5, 12 }, { 17.5, 12 } }));
    p.addPath(polyline({ { 9.5, 9 }, { 6.5, 12 }, { 9.5, 15 } }));
    p.addPath(polyline({ { 14.5, 9 }, { 17.5, 12 }, { 14.5, 15 } }));
    return p;
}

QPainterPath savePath()
{
    QPainterPath p = polyline({ { 4, 4 }, { 17, 4 }, { 20, 7 }, { 20, 20 }, { 4, 20 } }, true);
    p.addPath(polyline({ { 8, 4 }, { 8, 9 }, { 15, 9 }, { 15, 4 } }));
    p.addPath(polyline({ { 7.5, 20 }, { 7.5, 14 }, { 16.5, 14 }, { 16.5, 20 } }));
    return p;
}

QPainterPath saveAsPath()
{
    QPainterPath p = polyline({ { 11, 20 }, { 3, 20 }, { 3, 3 }, { 14, 3 }, { 17, 6 }, { 17, 10 } });
    p.addPath(polyline({ { 7, 3 }, { 7, 7.5 }, { 13, 7.5 }, { 13, 3 } }));
    p.addPath(polyline({ { 13, 21.5 }, { 13.5, 18 }, { 19.5, 12 }, { 22, 14.5 }, { 16, 20.5 } },
                       true));
    return p;
}

QPainterPath gearPath()
{
    constexpr int kTeeth = 8;
    constexpr double kOuter = 9.5;
    constexpr double kInner = 7;
    // Each tooth: radius and angle offset (degrees) of its four corners.
    constexpr std::pair<double, double> kTooth[] = {
        { kInner, -15 }, { kOuter, -8 }, { kOuter, 8 }, { kInner, 15 }
    };
    QPainterPath p;
    for (int k = 0; k < kTeeth; ++k) {
        const double a = k * 360.0 / kTeeth;
        for (const auto &[radius, offset] : kTooth) {
            const double rad = qDegreesToRadians(a + offset);
            const QPointF pt(12 + radius * std::cos(rad), 12 + radius * std::sin(rad));
            if (p.elementCount() == 0)
                p.moveTo(pt);
            else
                p.lineTo(pt);
        }
    }
    p.closeSubpath();
    p.addEllipse(QPointF(12, 12), 3, 3);
    return p;
}

QPainterPath cornersPath(bool inward)
{
    const double a = inward ? 9 : 4;
    const double b = inward ? 4 : 9;
    QPainterPath p = polyline({ { 4, b }, { a, a }, { b, 4 } });
    p.addPath(polyline({ { 24 - b, 4 }, { 24 - a, a }, { 20, b } }));
    p.addPath(polyline({ { 20, 24 - b }, { 24 - a, 24 - a }, { 24 - b, 20 } }));
    p.addPath(polyline({ { b, 20 }, { a, 24 - a }, { 4, 24 - b } }));
    return p;
}

QPainterPath chevronPath()
{
    return polyline({ { 9, 5 }, { 16, 12 }, { 9, 19 } });
}

QPainterPath sheetPath(double left, double top, double right, double bottom)
{
    QPainterPath p = polyline({ { left, top }, { right - 5, top }, { right, top + 5 },
                                { right, bottom }, { left, bottom } },
                              true);
    p.addPath(polyline({ { right - 5, top }, { right - 5, top + 5 }, { right, top + 5 } }));
    return p;
}

QPainterPath crossPath(QPointF centre, double half)
{
    QPainterPath p = polyline({ centre - QPointF(half, half), centre + QPointF(half, half) });
    p.addPath(polyline({ centre + QPointF(half, -half), centre + QPointF(-half, half) }));
    return p;
}

QPainterPath clearPagePath()
{
    QPainterPath p = sheetPath(6, 3, 19, 21);
    p.addPath(crossPath(QPointF(12.5, 14.5), 3));
    return p;
}

QPainterPath clearAllPath()
{
    QPainterPath p = polyline({ { 4, 7 }, { 16, 7 }, { 16, 21 }, { 4, 21 } }, true);
    p.addPath(polyline({ { 8, 7 }, { 8, 3 }, { 20, 3 }, { 20, 17 }, { 16, 17 } }));
    p.addPath(crossPath(QPointF(10, 14), 3));
    return p;
}

// What one glyph draws: an outline in the main colour, optionally a second
// outline and a fill in the second colour.
struct GlyphParts
{
    QPainterPath outline;
    QPainterPath second;
    QPainterPath fill;
};

GlyphParts glyphParts(Glyph glyph)
{
    switch (glyph) {
    case Glyph::Document: return { documentPath(), {}, {} };
    case Glyph::PenStroke: return { strokePath(), {}, {} };
    case Glyph::Eraser: return { eraserPath(), {}, {} };
    case Glyph::Pen: return { pencilPath(), pencilLine(), {} };
    case Glyph::Move: return { movePath(), {}, {} };
    case Glyph::Undo: return { undoPath(), {}, {} };
    case Glyph::Redo: return { mirrored(undoPath()), {}, {} };
    case Glyph::Clear: return { binPath(), {}, {} };
    case Glyph::FitWidth: return { fitWidthPath(), {}, {} };
    case Glyph::Save: return { savePath(), {}, {} };
    case Glyph::SaveAs: return { saveAsPath(), {}, {} };
    case Glyph::Settings: return { gearPath(), {}, {} };
    case Glyph::Fullscreen: return { cornersPath(false), {}, {} };
    case Glyph::ExitFullscreen: return { cornersPath(true), {}, {} };
    case Glyph::ChevronRight: return { chevronPath(), {}, {} };
    case Glyph::ChevronLeft: return { mirrored(chevronPath()), {}, {} };
    case Glyph::Dot: {
        QPainterPath circle;
        circle.addEllipse(QPointF(12, 12), 9, 9);
        return { circle, {}, circle };
    }
    case Glyph::ClearPage: return { clearPagePath(), {}, {} };
    case Glyph::ClearAll: return { clearAllPath(), {}, {} };
    }
    return {};
}

} // namespace

void paintGlyph(QPainter &painter, int glyph, const QRectF &rect, const QColor &color,
                double lineWidth, const QColor &second)
{
    if (glyph < 0 || glyph >= kGlyphCount || rect.isEmpty())
        return;
    // The page grid has its own painter: its current sheet and text lines
    // take further colours.
    if (Glyph(glyph) == Glyph::PageGrid) {
        paintPageGridGlyph(painter, rect, color, lineWidth, second);
        return;
    }
    const GlyphParts parts = glyphParts(Glyph(glyph));
    if (parts.outline.isEmpty())
        return;
    const QColor secondColor = second.isValid() ? second : color;
    const double side = std::min(rect.width(), rect.height());
    const double unit = side / kGrid;
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.translate(rect.center().x() - side / 2, rect.center().y() - side / 2);
    painter.scale(unit, unit);
    if (!parts.fill.isEmpty() && second.isValid())
        painter.fillPath(parts.fill, secondColor);
    // The pen is given in target pixels; undo the grid scale for it.
    QPen pen(color, lineWidth / unit, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(parts.outline);
    if (!parts.second.isEmpty()) {
        pen.setColor(secondColor);
        painter.setPen(pen);
        painter.drawPath(parts.second);
    }
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

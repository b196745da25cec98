#pragma once

#include "ink/stroke.h"

#include <QPainterPath>
#include <QRect>

class QPainter;

// How strokes become pixels. Page fractions are mapped into a page
// rectangle given in device (viewport or image) pixels. The canvas, the
// PDF/PNG export and the tests all paint through these functions.

// Widest factor capture produces; repaint and culling margins allow for it.
constexpr double kMaxCaptureWidthFactor = 1.8;

// Filled outline of a variable-width stroke with round caps. points are in
// device coordinates; factors multiply width per point and are used only
// when parallel to points. Empty with fewer than 2 points or width <= 0.
QPainterPath inkOutline(const QVector<QPointF> &points, const QVector<double> &factors,
                        double width);

// The smoothed centre line of a constant-width stroke (device coordinates):
// quadratic segments through the midpoints, ending on the last point. With a
// non-null area only the pieces that may reach it are built (they paint the
// same pixels inside area when stroked with round caps and joins no wider
// than the margin the caller added to area).
QPainterPath inkCentreLine(const QVector<QPointF> &points, const QRectF &area = QRectF());

// What one stroke paints, in the units of pageRect: a round dot, a filled
// variable-width outline, or a constant-width line through the smoothed
// centre of the points (round caps and joins). The canvas and every export
// take the stroke's look from here.
struct StrokeShape
{
    enum class Kind { None, Dot, Fill, Line };
    Kind kind = Kind::None;
    QVector<QPointF> points;   // mapped into pageRect
    QPainterPath outline;      // Fill
    double width = 0;          // Dot: diameter; Line: pen width
    bool leavesPage = false;   // must be clipped to pageRect
};
StrokeShape strokeShape(const QRectF &pageRect, const Stroke &stroke);

// Paints one stroke into pageRect (device pixels) with the painter's current
// render hints. A stroke reaching outside its page (imported data) is
// clipped to the page.
void drawStroke(QPainter *painter, const QRectF &pageRect, const Stroke &stroke);

// Paints a page's strokes in list order, skipping those whose padded bounds
// miss clip (a null clip draws everything).
void drawStrokes(QPainter *painter, const QRectF &pageRect, const QVector<Stroke> &strokes,
                 const QRectF &clip);

// Whether a committed stroke may touch clip: its bounds mapped to pageRect
// and grown for the widest line. Strokes with null bounds always may.
bool strokeMayTouch(const Stroke &stroke, const QRectF &pageRect, const QRectF &clip);

// Margin in pixels around new samples for a line strokePixelWidth wide.
double strokeRepaintPad(double strokePixelWidth);

// Integer rectangle (device pixels) to repaint after points[start..end-1]
// changed: their box mapped to pageRect, grown by pad, widened to whole
// pixels. start is pulled back to at most end - 1 and to at least 0. Null
// for no points, end < 1 or an empty page rectangle.
QRect strokeDirtyRect(const QRectF &pageRect, const QVector<QPointF> &points, int end, int start,
                      double pad);

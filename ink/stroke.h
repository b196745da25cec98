#pragma once

#include <QColor>
#include <QMap>
#include <QPointF>
#include <QRectF>
#include <QVector>

// One stroke of ink. Points are fractions of the page (x of its width, y of
// its height); width is a fraction of the page width. The lists are implicitly
// shared, so copying a stroke or a whole page list costs a reference.
struct Stroke
{
    QVector<QPointF> points;
    QRectF bounds;                // page fractions; null with fewer than 2 points
    QColor color = QColor(211, 47, 47);
    double width = 0.003;         // fraction of page width
    QVector<double> widthFactors; // empty, or exactly one per point

    bool hasFactors() const { return !widthFactors.isEmpty() && widthFactors.size() == points.size(); }
    double factorAt(int i) const { return hasFactors() ? widthFactors.at(i) : 1.0; }
    // Factors are parallel and some differs from 1 by more than 0.01: only
    // then are they written out or painted as a variable-width outline.
    bool widthVaries() const;
    void updateBounds();
};

// Page index -> strokes in drawing order. A page without strokes has no entry.
// QMap and QVector are copy-on-write: a snapshot of the whole map is a shared
// reference, and a change copies only the map nodes and the one page list it
// touches.
using InkPages = QMap<int, QVector<Stroke>>;

int strokeCount(const InkPages &ink);

inline void Stroke::updateBounds()
{
    if (points.size() < 2) {
        bounds = QRectF();
        return;
    }
    double x0 = points.first().x(), x1 = x0, y0 = points.first().y(), y1 = y0;
    for (const QPointF &p : points) {
        x0 = qMin(x0, p.x());
        x1 = qMax(x1, p.x());
        y0 = qMin(y0, p.y());
        y1 = qMax(y1, p.y());
    }
    bounds = QRectF(QPointF(x0, y0), QPointF(x1, y1));
}

inline bool Stroke::widthVaries() const
{
    constexpr double kFactorTolerance = 0.01;
    if (!hasFactors())
        return false;
    for (double f : widthFactors) {
        if (qAbs(f - 1.0) > kFactorTolerance)
            return true;
    }
    return false;
}

inline int strokeCount(const InkPages &ink)
{
    int n = 0;
    for (auto it = ink.cbegin(); it != ink.cend(); ++it)
        n += it.value().size();
    return n;
}

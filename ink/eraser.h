#pragma once

#include "ink/stroke.h"

#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <QString>
#include <QVector>

#include <functional>

// The cutting eraser: a disc removes the part of each stroke inside it and
// leaves the rest as separate strokes. Widget-free; the canvas supplies its
// page geometry and reacts through the callbacks of EraseTarget.
namespace InkErase {

// Selectable eraser radii in viewport pixels; the first is the default.
constexpr double kEraserSteps[] = { 14, 26, 44 };
constexpr double kDefaultRadius = kEraserSteps[0];

// Snaps any radius to the nearest step; ties go to the smaller step.
double snapRadius(double r);

// Radius of a running gesture: palm radius, else the finger override, else
// the selected step.
double effectiveRadius(double palmRadius, double overrideRadius, double selected);

// Eraser radius for a finger from its contact sizes (diameters in pixels,
// one per active contact, 0 or less when a contact reports none). Returns 0
// (no override) unless every contact reported a size.
double fingerRadius(const QVector<double> &contactSizes, double selected);

// Cuts one page's strokes by a disc. centre is in page fractions (it may lie
// off the sheet), pageSize is the sheet's size in pixels and radius is in
// pixels. Strokes whose bounds cannot reach the disc are copied untouched,
// so the work grows with the strokes hit. Returns true and fills *out when
// something was cut; out is left alone otherwise.
bool cutStrokes(const QVector<Stroke> &strokes, QPointF centre, QSizeF pageSize,
                double radius, QVector<Stroke> *out);

// The canvas side of an erase: where the pages are and what to do on a change.
struct EraseTarget
{
    InkPages *ink = nullptr;
    std::function<int(QPointF)> pageAt;      // viewport point -> page or -1
    std::function<QRectF(int)> pageRect;     // page -> sheet in viewport pixels
    std::function<void()> beforeFirstChange; // take the gesture's undo snapshot
    // After a call that changed ink: the last disc that cut (the indicator's
    // place) and the viewport area to repaint.
    std::function<void(QPointF, QRectF)> changed;
    std::function<void(const QString &)> log;     // the rate-limited input log
};

// One erase or palm gesture: the undo snapshot is taken once, before the
// gesture's first cut.
struct EraseGesture
{
    bool changed = false;
};

// Cuts the strokes of one page by the disc at viewport point c. Only strokes
// whose bounds can reach the disc are examined; the page list is rebuilt once
// per call, and only when something was cut.
bool eraseAt(const EraseTarget &target, EraseGesture *gesture, int page, QPointF c,
             double radius);

// Erases along from -> to (viewport pixels) in steps of half the radius.
// Only the last 40 px before `to` are swept, so a jump does not erase along
// its path. Points off every page erase on pageHint when that is a page.
bool sweepErase(const EraseTarget &target, EraseGesture *gesture, int pageHint,
                QPointF from, QPointF to, double radius);

} // namespace InkErase

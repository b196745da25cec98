#pragma once

#include "ink/stroke.h"

#include <QString>

// The pure rules of stroke capture: turning samples into stored points,
// smoothing touch input, the touch width factor and the verdict on a stroke
// at commit. The canvas feeds them and owns the state they are given.

// Largest gap between stored points (page fractions) and the most points
// one sample may insert, so a sample after a stall cannot explode a stroke.
constexpr double kDensifyStep = 0.0015;
constexpr int kDensifyLimit = 400;
// Width of a new stroke when the page's on-screen width is not positive.
constexpr double kFallbackStrokeWidth = 0.004;

// Appends p (page fractions) to the stroke: nothing when it repeats the last
// point (closer than 1e-6), intermediate points when it is farther than step.
// Returns the number of points appended. Factors are not touched.
int appendDensified(Stroke &stroke, const QPointF &p, double step);

// appendDensified with kDensifyStep, appending factor once per point added so
// the factor list stays parallel to the points.
int appendSample(Stroke &stroke, const QPointF &p, double factor);

// Nominal width of a new stroke as a fraction of the page width.
double strokeWidthFraction(double penWidthPx, double pageWidthPx);

// One touch sample through the 3-sample moving average (viewport pixels).
// A jump of more than 48 px from the newest raw sample restarts the history
// and comes out raw. The history must be emptied at every touch begin.
QPointF smoothTouchSample(QVector<QPointF> &history, const QPointF &raw);

// One active touch contact as the width factor sees it.
struct TouchContactSize
{
    QPointF position;        // viewport pixels
    double size = 0.0;       // larger ellipse diameter
    bool sizeReported = false;
};

// Running average of the touch width factor; clear primed at touch begin.
struct TouchFactorAverage
{
    double previous = 1.0;
    bool primed = false;
};

// Factor for the contact nearest to writePoint: its size over the finger
// reference, clamped to 0.8..1.8 and averaged with weight 0.25. 1 (average
// untouched) unless every contact reported a size and reference > 0.
double touchWidthFactor(const QVector<TouchContactSize> &contacts, const QPointF &writePoint,
                        double reference, TouchFactorAverage &average);

// Which device began the live stroke; fixed for the stroke's life.
enum class StrokeOrigin { Mouse, Pen, Touch };
enum class StrokeVerdict { Discard, Dot, Keep };

struct StrokeJudgement
{
    StrokeVerdict verdict = StrokeVerdict::Discard;
    double lengthPx = 0.0;
    QString logText; // empty when there is nothing to log
};

// Length of the centre line in pixels: the page width times the summed
// point distances in fraction space.
double strokeLengthPx(const QVector<QPointF> &points, double pageWidthPx);

// What commit does with a finished stroke: shorter than 3 px it is touch
// noise (dropped) or a dot (kept with all its points); otherwise it is kept.
// A stroke without points is discarded silently.
StrokeJudgement judgeStroke(const QVector<QPointF> &points, double pageWidthPx,
                            StrokeOrigin origin);

#pragma once

#include "files/inkedpdf.h"
#include "ink/stroke.h"

// A page's strokes as the vector marks of the inked PDF: the shapes the
// canvas paints (strokeShape), in points of the visible page.
QList<InkMark> inkMarks(const QVector<Stroke> &strokes, const QSizeF &pagePt);

// The distinct alpha values below 255 that strokes paint with.
QList<int> inkAlphas(const QVector<Stroke> &strokes);

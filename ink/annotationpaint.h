#pragma once

#include <QJsonArray>
#include <QSize>

class QPainter;

// Paints one page's strokes as the annotation object holds them (page
// fractions, colour, width and width factors) onto a page image of size
// pixels, in list order, with the painter's render hints. Imported numbers
// are held within sane bounds. Safe on any thread.
void paintAnnotationStrokes(QPainter &painter, const QJsonArray &strokes, const QSize &size);

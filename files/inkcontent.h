#pragma once

#include "files/inkedpdf.h"

#include <QByteArray>
#include <QMap>
#include <QRectF>
#include <QSizeF>
#include <QTransform>

// The PDF side of laying ink on a page: where the visible page sits in the
// page's own coordinates, and the content-stream text that draws the ink.

// A page's visible area as PDF viewers compute it: the crop box (the media
// box when missing or empty) cut to the media box, turned by /Rotate.
struct PageFrame
{
    QSizeF shown;          // visible size in points, after the rotation
    // Maps visible-page points (origin top-left, y down) to user space.
    QTransform toUser;
};

// rotate is the page's /Rotate as written (any integer; like the viewers,
// only whole quarter turns count). Boxes are in user space with any corner
// order; an empty media box stands for US Letter, as the viewers take it.
PageFrame pageFrame(int rotate, const QRectF &mediaBox, const QRectF &cropBox);

// The ink stream of a page: the marks inside q … Q, placed by the frame and
// clipped to the visible page. alphaStates names the ExtGState resource
// that sets each alpha below 255 the marks use.
QByteArray inkContentStream(const QList<InkMark> &marks, const PageFrame &frame,
                            const QMap<int, QByteArray> &alphaStates);

// The streams around the original content: `count` "q"s before it and
// `count` "Q"s after it (each on a line of its own).
QByteArray wrapOpening(int count);
QByteArray wrapClosing(int count);

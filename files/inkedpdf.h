#pragma once

#include <QColor>
#include <QList>
#include <QPainterPath>
#include <QSizeF>
#include <QString>

#include <functional>

// The inked PDF that keeps the original: every object of the source is
// carried over (text, vectors, fonts, outlines, links, forms, page labels,
// encryption with the same passwords), and each page with ink gets one more
// content stream that draws it as vector paths on top. Pages without ink are
// not touched. Written with qpdf; nothing of the source is edited by hand.

// One painted piece of ink in the coordinates of the page as the viewer
// shows it: points, origin at the top-left corner of the visible page
// (after its rotation, inside its crop box), y growing downwards.
struct InkMark
{
    enum class Kind { Fill, Line };
    Kind kind = Kind::Fill;
    QPainterPath path;     // Fill: an outline filled by the nonzero rule; Line: a centre line
    double lineWidth = 0;  // Line only; stroked with round caps and joins
    QColor color;          // alpha below 255 is kept
};

// The ink of one page, asked for once per inked page on a worker thread
// while qpdf reads the document. shownSizePt is the page's visible size in
// points.
using InkMarksSource = std::function<QList<InkMark>(int page, const QSizeF &shownSizePt)>;

struct InkedPage
{
    int index = -1;           // 0-based
    QList<int> alphas;        // distinct alpha values (< 255) its marks use
};

struct InkedPdfRequest
{
    QString sourcePath;
    QString password;         // of a locked source, as the viewer opened it
    QString target;
    // Every page's visible size as the viewer measured it: the ink was drawn
    // on those pages, so a source the library reads differently is refused.
    QList<QSizeF> shownSizes;
    QList<InkedPage> inkedPages; // ascending
    InkMarksSource marks;
    // Progress in [0, 1]; called on the thread that runs writeInkedPdf.
    std::function<void(double)> progress;
    // Polled on that thread; true stops the export.
    std::function<bool()> cancelled;
};

enum class InkedPdfOutcome {
    Written,    // target committed
    Refused,    // the library cannot keep this source; nothing written (export another way)
    Failed,     // the target could not be written; error says why
    Cancelled,  // stopped by request; nothing written
};

// Writes request.target atomically; an existing target stays as it was on
// any outcome but Written. error gets the Chinese message for Failed and a
// short reason (for the log) for Refused. Never throws.
InkedPdfOutcome writeInkedPdf(const InkedPdfRequest &request, QString *error);

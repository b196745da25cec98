#include "canvas/pdfcanvas.h"

#include "ink/strokegeometry.h"

#include <QPaintEngine>
#include <QPainter>

namespace {

// The area this paint may change, in the painter's coordinates. A widget's
// paint-event region reaches the painter as the engine's system clip, which
// hasClipping() does not report; without it nothing could be culled on a
// small repaint.
QRectF paintArea(QPainter &painter)
{
    if (painter.hasClipping())
        return painter.clipBoundingRect();
    const QPaintEngine *engine = painter.paintEngine();
    if (!engine || engine->systemClip().isEmpty())
        return QRectF();
    bool invertible = false;
    const QTransform toLogical = painter.deviceTransform().inverted(&invertible);
    if (!invertible)
        return QRectF();
    return toLogical.mapRect(QRectF(engine->systemClip().boundingRect()));
}

} // namespace

// Per-page ink overlay, drawn right after the page's tiles with antialiasing
// on. Committed strokes are culled by their cached bounds against the clip;
// the live stroke is drawn last and never culled.
void PdfCanvas::paintPageInk(QPainter &painter, int page, const QRectF &sheet)
{
    const QRectF clip = paintArea(painter);
    const InkPages &ink = m_history.ink();
    const auto it = ink.constFind(page);
    if (it != ink.cend())
        drawStrokes(&painter, sheet, it.value(), clip);
    if (m_drawing && m_livePage == page)
        drawStroke(&painter, sheet, m_liveStroke);
}

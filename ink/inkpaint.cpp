#include "canvas/pdfcanvas.h"

#include "ink/strokegeometry.h"

#include <QPainter>

// Per-page ink overlay, drawn right after the page's tiles with antialiasing
// on. Committed strokes are culled by their cached bounds against the clip;
// the live stroke is drawn last and never culled.
void PdfCanvas::paintPageInk(QPainter &painter, int page, const QRectF &sheet)
{
    const QRectF clip = painter.hasClipping() ? painter.clipBoundingRect() : QRectF();
    const InkPages &ink = m_history.ink();
    const auto it = ink.constFind(page);
    if (it != ink.cend())
        drawStrokes(&painter, sheet, it.value(), clip);
    if (m_drawing && m_livePage == page)
        drawStroke(&painter, sheet, m_liveStroke);
}

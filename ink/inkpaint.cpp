#include "canvas/pdfcanvas.h"

// Per-page ink overlay, drawn right after the page's tiles. The ink half
// draws the page's strokes here.
void PdfCanvas::paintPageInk(QPainter &painter, int page, const QRectF &sheet)
{
    Q_UNUSED(painter);
    Q_UNUSED(page);
    Q_UNUSED(sheet);
}

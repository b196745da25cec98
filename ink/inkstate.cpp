#include "canvas/pdfcanvas.h"

// Forgets the ink and input state of the previous document; called by
// openPdf and closeDocument, which emit the change signals themselves.
void PdfCanvas::resetInkState()
{
    cancelStroke();
    m_history.reset();
}

// No live stroke or erase gesture exists yet; capture fills this in.
void PdfCanvas::cancelStroke()
{
}

#include "canvas/pdfcanvas.h"

// Forgets the ink and input state of the previous document; called by
// openPdf and closeDocument. The ink half fills it in.
void PdfCanvas::resetInkState()
{
}

#include "canvas/pdfcanvas.h"

// Forgets the ink and input state of the previous document; called by
// openPdf and closeDocument, which emit the change signals themselves.
void PdfCanvas::resetInkState()
{
    cancelStroke();
    m_history.reset();
}

// Drops the live stroke without committing it. Emits nothing; the caller
// repaints or emits as its own change requires.
void PdfCanvas::cancelStroke()
{
    const bool hadLive = m_drawing && !m_liveStroke.points.isEmpty();
    abandonEraseGestures();
    m_drawing = false;
    m_inkingGate.leave();
    m_livePage = -1;
    m_liveStroke = Stroke();
    m_touchHistory.clear();
    m_factorAverage = TouchFactorAverage();
    m_strokeOrigin = StrokeOrigin::MouseOrPen;
    m_lastInkDirtyRect = QRect();
    if (hadLive)
        viewport()->update();
}

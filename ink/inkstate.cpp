#include "canvas/pdfcanvas.h"

#include <QTimer>

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
    stopFling();
    // beginStroke held the settle back; without this the view would stay on
    // stale scaled tiles until the next zoom.
    if (m_zoomInFlight && m_zoomSettleTimer)
        m_zoomSettleTimer->start();
    m_moveDrag = false;
    abandonEraseGestures();
    m_drawing = false;
    m_inkingGate.leave();
    m_livePage = -1;
    m_liveStroke = Stroke();
    m_touchHistory.clear();
    m_factorAverage = TouchFactorAverage();
    m_strokeOrigin = StrokeOrigin::Mouse;
    m_lastInkDirtyRect = QRect();
    if (hadLive)
        viewport()->update();
}

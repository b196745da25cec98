#include "canvas/pdfcanvas.h"

#include <QMouseEvent>
#include <QTabletEvent>

// Plain mouse and pen writing: press begins a stroke on a page, moves extend
// it, release commits it (a click without movement leaves a dot). Pen samples
// carry width factor 1; pressure is not used for width.

void PdfCanvas::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton) {
        QAbstractScrollArea::mousePressEvent(event);
        return;
    }
    noteProbeInput(1, 1);
    setStrokeOrigin(StrokeOrigin::MouseOrPen);
    beginStroke(event->position());
    event->accept();
}

void PdfCanvas::mouseMoveEvent(QMouseEvent *event)
{
    if (!(event->buttons() & Qt::LeftButton) || !m_drawing) {
        QAbstractScrollArea::mouseMoveEvent(event);
        return;
    }
    noteProbeInput(1, 1);
    addStrokePoint(event->position());
    event->accept();
}

void PdfCanvas::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton) {
        QAbstractScrollArea::mouseReleaseEvent(event);
        return;
    }
    noteProbeInput(1, 0);
    addStrokePoint(event->position());
    commitStroke();
    event->accept();
}

// Tablet events reach the viewport, not the scroll area; accepting them
// keeps Qt from replaying the same pen contact as mouse events.
bool PdfCanvas::handleTabletEvent(QTabletEvent *event)
{
    switch (event->type()) {
    case QEvent::TabletPress:
        if (event->button() != Qt::LeftButton)
            return false;
        noteProbeInput(1, 1);
        setStrokeOrigin(StrokeOrigin::MouseOrPen);
        beginStroke(event->position());
        break;
    case QEvent::TabletMove:
        if (!m_drawing)
            return false;
        noteProbeInput(1, 1);
        addStrokePoint(event->position());
        break;
    case QEvent::TabletRelease:
        if (!m_drawing)
            return false;
        noteProbeInput(1, 0);
        addStrokePoint(event->position());
        commitStroke();
        break;
    default:
        return false;
    }
    event->accept();
    return true;
}

bool PdfCanvas::viewportEvent(QEvent *event)
{
    switch (event->type()) {
    case QEvent::TabletPress:
    case QEvent::TabletMove:
    case QEvent::TabletRelease:
        if (handleTabletEvent(static_cast<QTabletEvent *>(event)))
            return true;
        break;
    default:
        break;
    }
    return QAbstractScrollArea::viewportEvent(event);
}

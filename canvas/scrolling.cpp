#include "canvas/pdfcanvas.h"

#include "system/diaglog.h"

#include <QScrollBar>
#include <QTimer>
#include <QWheelEvent>

// Scrolling by finger deltas and the inertial glide after a flick. The glide
// decides in Glide (canvas/glide.cpp); this side owns the timer and the bars.

void PdfCanvas::scrollBy(double dx, double dy)
{
    QScrollBar *v = verticalScrollBar();
    QScrollBar *h = horizontalScrollBar();
    v->setValue(scrollValueAfter(v->value(), dy));
    h->setValue(scrollValueAfter(h->value(), dx));
}

void PdfCanvas::addPanSample(double dx, double dy)
{
    m_glide.addPanSample(m_clock.elapsed(), dx, dy);
    m_swipe.dx += dx;
    m_swipe.dy += dy;
}

bool PdfCanvas::startFling()
{
    if (!m_glide.startFling(m_clock.elapsed()))
        return false;
    m_glideTimer->start();
    return true;
}

bool PdfCanvas::stopFling()
{
    if (m_glideTimer)
        m_glideTimer->stop();
    const bool settling = m_settle.stop();
    return m_glide.stop() || settling;
}

void PdfCanvas::onGlideTick()
{
    // A settling slide shares the glide's timer; only one of them runs.
    if (m_settle.isRunning()) {
        if (!settleTick())
            m_glideTimer->stop();
        return;
    }
    QScrollBar *v = verticalScrollBar();
    QScrollBar *h = horizontalScrollBar();
    ScrollPosition pos { h->value(), v->value(), h->minimum(), h->maximum(), v->minimum(),
                         v->maximum() };
    const bool running = m_glide.tick(m_clock.elapsed(), &pos);
    v->setValue(pos.y);
    h->setValue(pos.x);
    if (!running)
        m_glideTimer->stop();
}

// A wheel stands still while a touch or pen gesture owns the canvas and for
// 250 ms after it, so the hand's own wheel-like noise never scrolls or zooms.
bool PdfCanvas::wheelBlocked() const
{
    return m_pinch.active || m_drawing || m_erasing || m_touchLock
            || (m_lockReleaseTimer && m_lockReleaseTimer->isActive());
}

void PdfCanvas::wheelEvent(QWheelEvent *event)
{
    if (wheelBlocked()) {
        event->accept();
        if (isLogEnabled()) {
            inputLog(QStringLiteral("wheel 忽略（触摸手势进行中/刚结束）delta=%1,%2 ctrl=%3")
                             .arg(event->angleDelta().x())
                             .arg(event->angleDelta().y())
                             .arg((event->modifiers() & Qt::ControlModifier) ? 1 : 0));
        }
        return;
    }
    stopFling();
    wheelZoom(event);
}

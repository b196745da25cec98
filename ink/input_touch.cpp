#include "canvas/pdfcanvas.h"

#include <QTimer>
#include <QTouchEvent>

#include <cmath>

// The touch handler: one call per touch frame. The classifier decides what
// the frame means (write, pinch, palm or nothing); this side routes it to the
// stroke, the eraser, the pinch filter or a Move drag.

using namespace TouchInput;

namespace {

QVector<TouchContactSize> contactSizes(const ActiveContacts &active)
{
    QVector<TouchContactSize> out;
    out.reserve(active.points.size());
    for (int i = 0; i < active.points.size(); ++i) {
        const double s = active.sizes.value(i);
        out.append({ active.points.at(i), s > 0 ? s : 0.0, s > 0 });
    }
    return out;
}

QString ellipseText(const QList<QEventPoint> &points, int index)
{
    if (index >= points.size())
        return QStringLiteral("0.0x0.0");
    const QSizeF e = points.at(index).ellipseDiameters();
    return QStringLiteral("%1x%2").arg(e.width(), 0, 'f', 1).arg(e.height(), 0, 'f', 1);
}

} // namespace

void PdfCanvas::endPinch()
{
    pinchEnd(m_pinch);
    m_pinchInFlight = false;
}

bool PdfCanvas::moveDrag(const QPointF &pos)
{
    if (!m_moveDrag)
        return false;
    const QPoint delta = wholePixels(pos - m_moveLast);
    if (delta.isNull())
        return true;
    m_moveLast += QPointF(delta);
    scrollBy(delta.x(), delta.y());
    if (m_touchSequence)
        addPanSample(delta.x(), delta.y());
    return true;
}

void PdfCanvas::pinchStep(const QPointF &p0, const QPointF &p1)
{
    const PinchStep step = pinchUpdate(m_pinch, p0, p1);
    if (!step.pan.isNull()) {
        scrollBy(step.pan.x(), step.pan.y());
        addPanSample(step.pan.x(), step.pan.y());
    }
    if (step.zoom && m_document && !m_pageSizes.isEmpty()) {
        const double oldZoom = m_zoom;
        applyZoom(m_zoom * step.factor, step.anchor, ZoomMode::Settling);
        m_glide.clearSamples();
        pinchZoomApplied(m_pinch, oldZoom, m_zoom);
    }
}

void PdfCanvas::touchEnd()
{
    m_moveDrag = false;
    if (m_drawing && m_strokeOrigin == StrokeOrigin::Touch && !m_touchHistory.isEmpty())
        addStrokePoint(m_touchHistory.constLast(), 1.0);
    if (gestureFrom(StrokeOrigin::Touch))
        commitStroke();
    startLockRelease();
    endPinch();
}

// A touch sequence that met the pen is a resting hand: it neither starts,
// extends, ends nor cancels ink, and never zooms, until all its contacts lift.
bool PdfCanvas::ignoreHandTouch(QTouchEvent *event)
{
    const QEvent::Type type = event->type();
    inputLog(QStringLiteral("touch ignored (pen) type=%1 active=%2")
                     .arg(int(type))
                     .arg(event->points().size()));
    if (type == QEvent::TouchEnd || type == QEvent::TouchCancel) {
        m_touchIgnored = false;
        m_touchSequence = false;
        // While the pen is down its own lock holds; its release starts the timer.
        if (!m_penDown)
            startLockRelease();
    }
    event->accept();
    return true;
}

bool PdfCanvas::handleTouchEvent(QTouchEvent *event)
{
    const QEvent::Type type = event->type();
    const bool begin = type == QEvent::TouchBegin;
    const bool end = type == QEvent::TouchEnd || type == QEvent::TouchCancel;
    if (end) {
        m_touchSequence = false;
        m_palmLikeStart = false;
        m_touchWrote = false;
    }
    if (begin) {
        m_glideCaught = stopFling();
        m_glide.clearSamples();
        beginSlideSwipe();
    }
    if (m_tool != InkTool::Move && (!m_document || m_pageSizes.isEmpty()))
        return false;

    if (begin) {
        m_touchSequence = true;
        m_touchHistory.clear();
        m_factorAverage.primed = false;
        // The second tap of a double tap whose first tap opened this page
        // is as inert as a resting hand.
        const bool echo = !event->points().isEmpty()
                && takeTapEcho(event->points().constFirst().globalPosition());
        if (echo)
            inputLog(QStringLiteral("touch ignored (second tap of a tap that opened this page)"));
        m_touchIgnored = penOwnsInk() || echo;
    } else if (m_penDown) {
        m_touchIgnored = true;
    }
    if (m_touchIgnored)
        return ignoreHandTouch(event);

    QVector<TouchContact> contacts;
    const QList<QEventPoint> &points = event->points();
    contacts.reserve(points.size());
    for (const QEventPoint &p : points) {
        if (p.state() != QEventPoint::State::Released)
            contacts.append(contactFromEventPoint(p));
    }
    const ActiveContacts active = activeContacts(contacts);
    noteProbeInput(1, int(active.points.size()));

    if (begin) {
        m_palmLikeStart = palmLikeStart(active, m_palmState);
        m_touchWrote = false;
    }

    // A touch on the island or a palette card is theirs, never ink.
    if (!m_drawing && !m_erasing && !m_palmActive && !m_pinch.active && !m_moveDrag) {
        for (const QPointF &p : active.points) {
            if (overlayAt(p.toPoint())) {
                m_touchLock = true;
                startLockRelease();
                event->accept();
                return true;
            }
        }
    }

    inputLog(QStringLiteral("touch type=%1 total=%2 active=%3 pinch=%4 blocked=%5 contact0=%6 "
                            "contact1=%7")
                     .arg(int(type))
                     .arg(points.size())
                     .arg(active.points.size())
                     .arg(m_pinch.active ? 1 : 0)
                     .arg(m_touchLock ? 1 : 0)
                     .arg(ellipseText(points, 0), ellipseText(points, 1)));

    if (type == QEvent::TouchCancel) {
        // What the finger drew so far stays, as if it had lifted.
        if (gestureFrom(StrokeOrigin::Touch) && !m_touchLock) {
            if (m_drawing && !m_touchHistory.isEmpty())
                addStrokePoint(m_touchHistory.constLast(), 1.0);
            commitStroke();
        } else if (gestureFrom(StrokeOrigin::Touch)) {
            cancelStroke();
        }
        endPalmErase();
        m_touchSequence = false;
        m_moveDrag = false;
        endPinch();
        m_palmState.clearAll();
        startLockRelease();
        event->accept();
        return true;
    }

    TouchClass c = classifyTouch(active.points, active.sizes, m_palmState,
                                 m_palmEraserEnabled ? PalmSwitch::On : PalmSwitch::Off);
    if (m_tool == InkTool::Move && c.kind == TouchKind::Palm)
        c.kind = TouchKind::Pinch;

    if (c.kind == TouchKind::Palm) {
        if (m_palmLikeStart && !m_touchWrote && !m_drawing && !m_erasing)
            palmEraseAt(active.mean(), c.radius);
        if (type == QEvent::TouchEnd) {
            endPalmErase();
            touchEnd();
        }
        event->accept();
        return true;
    }
    endPalmErase();

    if (c.kind == TouchKind::Pinch) {
        m_moveDrag = false;
        if (m_pinch.active) {
            m_touchLock = true;
            pinchStep(active.points.at(0), active.points.at(1));
        } else {
            // Fingers landing for a pinch arrive within moments of each other;
            // a stroke written for longer is the teacher's, cut short by a
            // second contact (often a ghost): it stays.
            if (gestureFrom(StrokeOrigin::Touch)
                && m_clock.elapsed() - m_touchStrokeBeganMs >= kKeepStrokeBeforePinchMs) {
                if (m_drawing && !m_touchHistory.isEmpty())
                    addStrokePoint(m_touchHistory.constLast(), 1.0);
                commitStroke();
            } else {
                cancelStroke();
            }
            setTouchLockHeld();
            pinchBegin(m_pinch, active.points.at(0), active.points.at(1));
            m_pinchInFlight = true;
        }
    } else if (m_pinch.active) {
        if (active.points.size() < 2)
            endPinch();
        // Both fingers lifted in one frame: the pinch's lock must not outlive
        // the touch, or the mouse and the wheel would stay dead.
        if (type == QEvent::TouchEnd)
            startLockRelease();
    } else if (type == QEvent::TouchEnd) {
        touchEnd();
    } else if (c.write) {
        const double reference = m_palmState.calibrated ? m_palmState.reference : 0;
        const double f = touchWidthFactor(contactSizes(active), c.point, reference,
                                          m_factorAverage);
        const auto beginTouchStroke = [&] {
            const double r = m_tool == InkTool::Eraser
                    ? InkErase::fingerRadius(active.sizes, m_eraserRadius)
                    : 0;
            setStrokeOrigin(StrokeOrigin::Touch);
            m_touchStrokeBeganMs = m_clock.elapsed();
            beginStroke(smoothTouchSample(m_touchHistory, c.point), EraseRequest::ByTool, f, r);
            m_touchWrote = m_touchWrote || m_drawing;
        };
        if (begin) {
            m_lockReleaseTimer->stop();
            m_touchLock = false;
            if (m_tool == InkTool::Move) {
                m_moveDrag = true;
                m_moveLast = c.point;
            } else if (m_glideCaught) {
                m_touchLock = true;
            } else {
                beginTouchStroke();
            }
        } else if (!m_touchLock) {
            if (m_tool == InkTool::Move) {
                moveDrag(c.point);
            } else if (gestureFrom(StrokeOrigin::Touch) && !m_touchHistory.isEmpty()
                       && isFingerJump(m_touchHistory.constLast(), c.point,
                                       qint64(event->timestamp()) - qint64(m_touchSampleTs))) {
                // The writing contact leapt (another contact took its place):
                // what was written ends where it was, and writing goes on here.
                inputLog(QStringLiteral("touch jump: stroke split"));
                if (m_drawing)
                    addStrokePoint(m_touchHistory.constLast(), 1.0);
                commitStroke();
                m_touchHistory.clear();
                m_factorAverage.primed = false;
                beginTouchStroke();
            } else if (gestureFrom(StrokeOrigin::Touch)) {
                addStrokePoint(smoothTouchSample(m_touchHistory, c.point), f);
                m_touchWrote = m_touchWrote || m_drawing;
            }
        }
        m_touchSampleTs = event->timestamp();
    }

    event->accept();
    if (type == QEvent::TouchEnd) {
        m_touchSequence = false;
        // A deck's horizontal swipe steps one slide instead of gliding.
        if (!endSlideSwipe())
            startFling();
    }
    return true;
}

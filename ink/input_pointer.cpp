#include "canvas/pdfcanvas.h"

#include "ink/canvasmessagefilter.h"
#include "system/diaglog.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QCursor>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QNativeGestureEvent>
#include <QPointingDevice>
#include <QStyleHints>
#include <QTabletEvent>
#include <QTimer>

#include <cmath>

// Pen, mouse and the viewport's other events. Touch and pen input take the
// canvas for themselves (touchLock) and keep it 250 ms past their end, so the
// mouse events the system synthesizes from them never draw a second time.

void PdfCanvas::wireInput()
{
    viewport()->setMouseTracking(true);
    viewport()->setAttribute(Qt::WA_AcceptTouchEvents);
    viewport()->setCursor(Qt::CrossCursor);
    connect(m_pointerPollTimer, &QTimer::timeout, this, &PdfCanvas::onPointerPoll);
    m_lockReleaseTimer = new QTimer(this);
    m_lockReleaseTimer->setSingleShot(true);
    m_lockReleaseTimer->setInterval(250);
    connect(m_lockReleaseTimer, &QTimer::timeout, this, [this]() {
        // The pen's own lock holds until the pen lifts.
        if (m_penDown)
            return;
        m_touchLock = false;
        updateViewportCursor();
    });
    m_penQuietTimer = new QTimer(this);
    m_penQuietTimer->setSingleShot(true);
    m_penQuietTimer->setInterval(kPenQuietMs);
    connect(m_penQuietTimer, &QTimer::timeout, this,
            [this]() { endPenHold(QStringLiteral("pen silent %1 ms: hold ended").arg(kPenQuietMs)); });
    connect(this, &PdfCanvas::toolChanged, this, &PdfCanvas::updateViewportCursor);
    auto *filter = new CanvasMessageFilter(viewport());
    connect(this, &QObject::destroyed, [filter]() { delete filter; });
}

void PdfCanvas::inputLog(const QString &message)
{
    if (!isLogEnabled())
        return;
    constexpr qint64 kGapMs = 250;
    const qint64 now = m_clock.elapsed();
    if (now - m_lastInputLog < kGapMs) {
        ++m_mergedInputLogs;
        return;
    }
    QString line = message;
    if (m_mergedInputLogs > 0) {
        line += QStringLiteral("（另有 %1 条同类事件已合并）").arg(m_mergedInputLogs);
        m_mergedInputLogs = 0;
    }
    m_lastInputLog = now;
    logInfo(QStringLiteral("input"), line);
}

void PdfCanvas::startLockRelease()
{
    m_lockReleaseTimer->start();
}

bool PdfCanvas::penOwnsInk() const
{
    return m_penDown || (m_penReleasedMs >= 0 && m_clock.elapsed() - m_penReleasedMs < kPenHoldMs);
}

void PdfCanvas::setTouchLockHeld()
{
    m_touchLock = true;
    m_lockReleaseTimer->stop();
}

void PdfCanvas::updateViewportCursor()
{
    QWidget *v = viewport();
    switch (m_tool) {
    case InkTool::Pen:
        v->setCursor(Qt::CrossCursor);
        return;
    case InkTool::Move:
        v->setCursor(Qt::SizeAllCursor);
        return;
    case InkTool::Eraser:
        break;
    }
    const bool childUnder = overlayAt(v->mapFromGlobal(QCursor::pos())) != nullptr;
    const bool ringVisible = eraserIndicatorRadius() > 0;
    v->setCursor(ringVisible && !childUnder ? Qt::BlankCursor : Qt::PointingHandCursor);
}

QWidget *PdfCanvas::overlayAt(const QPoint &viewportPos) const
{
    QWidget *child = viewport()->childAt(viewportPos);
    if (!child || !child->isVisible())
        return nullptr;
    // The island's shadow margin is part of the page.
    if (m_islandMargin && m_islandMargin(child, viewportPos))
        return nullptr;
    return child;
}

void PdfCanvas::onPointerPoll()
{
    if (m_touchLock || m_touchSequence || m_pinch.active || m_moveDrag)
        return;
    if (m_drawing || m_erasing) {
        if (!gestureFrom(StrokeOrigin::Mouse) || QGuiApplication::mouseButtons() == Qt::NoButton)
            return;
        const QPoint p = viewport()->mapFromGlobal(QCursor::pos());
        if (m_pollValid && p == m_pollPoint)
            return;
        m_pollPoint = p;
        m_pollValid = true;
        if (viewport()->rect().contains(p))
            addStrokePoint(p, 1.0);
        return;
    }
    if (m_tool != InkTool::Eraser) {
        if (m_hoverShown)
            setHoverPoint(m_hoverPoint, false);
        return;
    }
    const QPoint p = viewport()->mapFromGlobal(QCursor::pos());
    const bool inside = viewport()->rect().contains(p);
    if (inside && (!m_hoverShown || m_hoverPoint != QPointF(p)))
        setHoverPoint(p, true);
    else if (!inside && m_hoverShown)
        setHoverPoint(m_hoverPoint, false);
}

void PdfCanvas::showEvent(QShowEvent *event)
{
    QAbstractScrollArea::showEvent(event);
    // A double click now needs a first click on this page as it is shown.
    m_ownClickMs = -1;
}

void PdfCanvas::expectTapEcho(const QPointF &globalPos, qint64 pressAgeMs)
{
    m_echoUntilMs = m_clock.elapsed() - pressAgeMs + QGuiApplication::styleHints()->mouseDoubleClickInterval();
    m_echoAt = globalPos;
}

bool PdfCanvas::takeTapEcho(const QPointF &globalPos)
{
    if (m_echoUntilMs < 0)
        return false;
    const QPointF d = globalPos - m_echoAt;
    const bool echo = m_clock.elapsed() <= m_echoUntilMs
            && std::hypot(d.x(), d.y()) <= QGuiApplication::styleHints()->touchDoubleTapDistance();
    m_echoUntilMs = -1;
    return echo;
}

void PdfCanvas::mousePressEvent(QMouseEvent *event)
{
    if (m_touchLock) {
        inputLog(QStringLiteral("mouse press ignored (touch lock)"));
        QAbstractScrollArea::mousePressEvent(event);
        return;
    }
    stopFling();
    if (event->button() != Qt::LeftButton) {
        event->accept();
        return;
    }
    if (m_tool == InkTool::Move) {
        m_moveDrag = true;
        m_moveLast = event->position();
        event->accept();
        return;
    }
    if (m_document && pageAt(event->position()) >= 0) {
        noteProbeInput(1, 1);
        m_pollValid = false;
        setStrokeOrigin(StrokeOrigin::Mouse);
        beginStroke(event->position(), EraseRequest::ByTool, 1.0, 0);
        event->accept();
        return;
    }
    QAbstractScrollArea::mousePressEvent(event);
}

void PdfCanvas::mouseMoveEvent(QMouseEvent *event)
{
    if (m_touchLock) {
        QAbstractScrollArea::mouseMoveEvent(event);
        return;
    }
    if (m_tool == InkTool::Move && moveDrag(event->position())) {
        event->accept();
        return;
    }
    if (m_tool == InkTool::Eraser && !m_drawing && !m_erasing) {
        setHoverPoint(event->position(), true);
        event->accept();
        return;
    }
    if (gestureFrom(StrokeOrigin::Mouse)) {
        noteProbeInput(1, 1);
        addStrokePoint(event->position(), 1.0);
        event->accept();
        return;
    }
    QAbstractScrollArea::mouseMoveEvent(event);
}

void PdfCanvas::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton) {
        event->accept();
        return;
    }
    if (m_touchLock) {
        inputLog(QStringLiteral("mouse release ignored (touch lock)"));
        QAbstractScrollArea::mouseReleaseEvent(event);
        return;
    }
    if (m_tool == InkTool::Move && m_moveDrag) {
        m_moveDrag = false;
        event->accept();
        return;
    }
    if (gestureFrom(StrokeOrigin::Mouse)) {
        noteProbeInput(1, 0);
        commitStroke();
        event->accept();
        return;
    }
    QAbstractScrollArea::mouseReleaseEvent(event);
}

// Pen input: the eraser end erases under any tool and leaves the tool alone.
// The pen has priority over touch, as a hand rests on the glass while the pen
// writes: a press always starts its stroke, whatever lock touch left behind.
bool PdfCanvas::handleTabletEvent(QTabletEvent *event)
{
    noteProbeInput(1, 1);
    inputLog(QStringLiteral("tablet type=%1 pointer=%2 pressure=%3 pos=%4,%5")
                     .arg(int(event->type()))
                     .arg(int(event->pointerType()))
                     .arg(event->pressure(), 0, 'f', 2)
                     .arg(int(event->position().x()))
                     .arg(int(event->position().y())));
    if (m_penDown)
        m_penQuietTimer->start();
    // Whatever the tool now, a pen that lifts or hovers (after a lost
    // release) gives the canvas back.
    const bool lifted = event->type() == QEvent::TabletRelease
            || (event->type() == QEvent::TabletMove && event->buttons() == Qt::NoButton);
    if (m_penDown && lifted && m_tool == InkTool::Move) {
        penRelease(event->position());
        return false;
    }
    if (m_tool == InkTool::Move || !m_document || m_pageSizes.isEmpty())
        return false;
    switch (event->type()) {
    case QEvent::TabletPress:
        m_penEcho = takeTapEcho(event->globalPosition());
        if (m_penEcho) {
            inputLog(QStringLiteral("pen press ignored (second tap of a tap that opened this page)"));
            break;
        }
        stopFling();
        penPress(event);
        break;
    case QEvent::TabletMove:
        // A hovering pen (no button) after a lost release gives the canvas back.
        if (m_penEcho && lifted)
            m_penEcho = false;
        else if (m_penDown && lifted)
            penRelease(event->position());
        else if (m_penDown && gestureFrom(StrokeOrigin::Pen))
            addStrokePoint(event->position(), 1.0);
        else if (!m_penDown && !m_penEcho && (event->buttons() & Qt::LeftButton))
            penPress(event); // still on the glass after its hold ended: it writes on
        break;
    case QEvent::TabletRelease:
        if (m_penEcho)
            m_penEcho = false;
        else if (m_penDown)
            penRelease(event->position());
        break;
    default:
        return false;
    }
    event->accept();
    return true;
}

void PdfCanvas::penPress(const QTabletEvent *event)
{
    // A touch stroke still live is the hand landing: dropped. A pen stroke
    // whose release got lost and a mouse stroke are kept; an erase keeps
    // what it cut.
    endPalmErase();
    if (m_pinch.active)
        endPinch();
    if (m_erasing || gestureFrom(StrokeOrigin::Pen) || gestureFrom(StrokeOrigin::Mouse))
        commitStroke();
    else if (m_drawing)
        cancelStroke();
    m_moveDrag = false;
    if (m_touchSequence)
        m_touchIgnored = true;
    m_palmState.reset();

    m_penDown = true;
    setTouchLockHeld();
    // Leaving proximity goes to the application, not to a widget.
    qApp->installEventFilter(this);
    m_penQuietTimer->start();
    setStrokeOrigin(StrokeOrigin::Pen);
    beginStroke(event->position(),
                event->pointerType() == QPointingDevice::PointerType::Eraser
                        ? EraseRequest::Force
                        : EraseRequest::ByTool,
                1.0, 0);
}

void PdfCanvas::penRelease(const QPointF &viewportPos)
{
    if (m_drawing && m_strokeOrigin == StrokeOrigin::Pen)
        addStrokePoint(viewportPos, 1.0);
    endPenHold(QString());
}

void PdfCanvas::endPenHold(const QString &why)
{
    if (!m_penDown)
        return;
    if (!why.isEmpty())
        inputLog(why);
    if (gestureFrom(StrokeOrigin::Pen))
        commitStroke();
    m_penDown = false;
    m_penReleasedMs = m_clock.elapsed();
    m_penQuietTimer->stop();
    qApp->removeEventFilter(this);
    // The mouse events the system synthesizes from the pen stay ignored
    // until the timer fires.
    startLockRelease();
}

bool PdfCanvas::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == qApp && event->type() == QEvent::TabletLeaveProximity)
        endPenHold(QStringLiteral("pen left proximity: hold ended"));
    return QAbstractScrollArea::eventFilter(watched, event);
}

bool PdfCanvas::viewportEvent(QEvent *event)
{
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove: {
        auto *mouse = static_cast<QMouseEvent *>(event);
        const bool otherButton = event->type() != QEvent::MouseMove
                && mouse->button() != Qt::LeftButton;
        // Any real mouse press catches a glide.
        if (event->type() == QEvent::MouseButtonPress && !m_touchLock && !m_touchSequence)
            stopFling();
        if (otherButton || m_touchSequence) {
            event->accept();
            return true;
        }
        if (event->type() == QEvent::MouseButtonPress) {
            m_echoUntilMs = -1;
            m_ownClickMs = m_clock.elapsed();
        } else if (event->type() == QEvent::MouseButtonDblClick) {
            // The second press of a double click begins a stroke like any
            // other, but only when the first click was ours: one that opened
            // this page elsewhere leaves no dot here.
            const bool ownFirst = m_ownClickMs >= 0
                    && m_clock.elapsed() - m_ownClickMs
                            <= QGuiApplication::styleHints()->mouseDoubleClickInterval();
            m_echoUntilMs = -1;
            m_ownClickMs = -1;
            if (!ownFirst) {
                inputLog(QStringLiteral("double click ignored (first click landed elsewhere)"));
                event->accept();
                return true;
            }
            mousePressEvent(mouse);
            return true;
        }
        break;
    }
    case QEvent::Leave:
        if (m_hoverShown && !m_erasing && !m_palmActive)
            setHoverPoint(m_hoverPoint, false);
        break;
    case QEvent::ContextMenu:
        event->accept();
        return true;
    case QEvent::TabletPress:
    case QEvent::TabletMove:
    case QEvent::TabletRelease:
        if (handleTabletEvent(static_cast<QTabletEvent *>(event)))
            return true;
        break;
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TouchCancel:
        if (handleTouchEvent(static_cast<QTouchEvent *>(event)))
            return true;
        break;
    case QEvent::NativeGesture:
        if (nativeZoomGesture(static_cast<QNativeGestureEvent *>(event)))
            return true;
        break;
    default:
        break;
    }
    return QAbstractScrollArea::viewportEvent(event);
}

#include "canvas/pdfcanvas.h"

#include "system/crashreport.h"
#include "system/diaglog.h"

#include <QNativeGestureEvent>
#include <QScrollBar>
#include <QTimer>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

// Zoom about a fixed point of the page. Settling zooms (wheel, touchpad,
// pinch, zoom-bar drags) only relayout and let painting rescale the old
// tiles; the full-resolution render waits until the zoom is still for 160 ms.

namespace {

int &applyDepthCounter()
{
    static int depth = 0;
    return depth;
}

struct ApplyDepthScope
{
    ApplyDepthScope() { ++applyDepthCounter(); }
    ~ApplyDepthScope() { --applyDepthCounter(); }
};

} // namespace

int PdfCanvas::applyDepth()
{
    return applyDepthCounter();
}

void PdfCanvas::wireZoomTimers()
{
    connect(m_zoomSettleTimer, &QTimer::timeout, this, &PdfCanvas::onZoomSettled);
    connect(m_glideTimer, &QTimer::timeout, this, &PdfCanvas::onGlideTick);
}

void PdfCanvas::applyZoom(double target, const QPointF &anchor, ZoomMode mode)
{
    stopFling();
    const ApplyDepthScope scope;
    if (applyDepthCounter() > 1)
        recordOperation("zoom-reentry",
                        QStringLiteral("applyZoom 重入第 %1 层").arg(applyDepthCounter()));
    if (!m_document || m_pageSizes.isEmpty())
        return;
    // A zoom of the teacher's own leaves the fitted slide.
    if (!m_slidePlacing)
        m_slideFitted = false;

    const int vValue = verticalScrollBar()->value();
    int page = pageAtContentY(vValue + anchor.y());
    ZoomMath::Anchor fraction;
    const ZoomAnchorMemo &memo = m_anchorMemo;
    const bool sameRun = memo.valid && memo.layoutCount == m_layoutCount
            && memo.zoom == m_zoom && memo.v == vValue
            && memo.h == horizontalScrollBar()->value()
            && std::abs(memo.anchor.x() - anchor.x()) < 0.5
            && std::abs(memo.anchor.y() - anchor.y()) < 0.5;
    if (sameRun) {
        page = memo.page;
        fraction = memo.fraction;
    } else if (page >= 0) {
        fraction = ZoomMath::anchorOnSheet(pageRect(page), anchor);
    }

    const double clamped = ZoomMath::clampZoom(target, m_zoom);
    if (ZoomMath::fuzzyEqual(clamped, m_zoom) && mode == ZoomMode::Settling)
        return;
    m_zoom = clamped;
    recordOperation("zoom", QString::number(m_zoom, 'f', 3));

    if (mode == ZoomMode::Immediate) {
        m_zoomInFlight = false;
        m_zoomSettleTimer->stop();
        dropAllTiles();
        relayout();
    } else {
        relayout();
        m_zoomInFlight = true;
        m_zoomSettleTimer->start();
    }

    if (page >= 0 && page < m_slots.size()) {
        const PageSlot &slot = m_slots.at(page);
        const QPoint scroll = ZoomMath::anchoredScroll(fraction, slot.top,
                                                       QSizeF(slot.width, slot.height),
                                                       m_contentWidth, anchor);
        verticalScrollBar()->setValue(scroll.y());
        horizontalScrollBar()->setValue(scroll.x());
        m_anchorMemo = { true, page, anchor, fraction, horizontalScrollBar()->value(),
                         verticalScrollBar()->value(), m_zoom, m_layoutCount };
    } else {
        m_anchorMemo = ZoomAnchorMemo();
    }
    viewport()->update();
    emit zoomChanged(m_zoom);
    emit pageChanged(currentPage(), pageCount());
}

void PdfCanvas::onZoomSettled()
{
    if (!m_zoomInFlight)
        return;
    m_zoomInFlight = false;
    dropAllTiles();
    relayout();
    viewport()->update();
    const QSize v = viewport()->size();
    logInfo(QStringLiteral("view"),
            QStringLiteral("缩放稳定：%1×（视口 %2×%3，缓存 %4 MB）")
                    .arg(m_zoom, 0, 'f', 2)
                    .arg(v.width())
                    .arg(v.height())
                    .arg(double(m_totalBytes) / (1024.0 * 1024.0), 0, 'f', 1));
}

static QPointF viewportCentre(const QWidget *viewport)
{
    return QPointF(viewport->width() * 0.5, viewport->height() * 0.5);
}

void PdfCanvas::setZoom(double zoom)
{
    if (!m_document || m_pageSizes.isEmpty())
        return;
    applyZoom(zoom, viewportCentre(viewport()), ZoomMode::Settling);
}

void PdfCanvas::fitWidth(bool on)
{
    if (!on)
        return;
    // Fitting a deck fits its slide whole: the width alone crops a 16:9
    // slide on a 4:3 or 16:10 board.
    if (m_slideMode && m_document && !m_pageSizes.isEmpty())
        showSlide(currentSlide(), SlideMotion::Jump);
    else
        applyZoom(1.0, viewportCentre(viewport()), ZoomMode::Immediate);
}

void PdfCanvas::zoomIn()
{
    constexpr double kStep = 1.25;
    applyZoom(m_zoom * kStep, viewportCentre(viewport()), ZoomMode::Immediate);
}

void PdfCanvas::zoomOut()
{
    constexpr double kStep = 1.25;
    applyZoom(m_zoom / kStep, viewportCentre(viewport()), ZoomMode::Immediate);
}

// Ctrl + wheel: one notch (120) multiplies or divides by 1.25; finer wheels
// zoom in proportion. Consumed even without a document.
void PdfCanvas::wheelZoom(QWheelEvent *event)
{
    const int dy = event->angleDelta().y();
    if (dy == 0 || !(event->modifiers() & Qt::ControlModifier)) {
        QAbstractScrollArea::wheelEvent(event);
        return;
    }
    event->accept();
    if (!m_document || m_pageSizes.isEmpty())
        return;
    constexpr double kNotch = 1.25;
    applyZoom(m_zoom * std::pow(kNotch, dy / 120.0), event->position(), ZoomMode::Settling);
}

bool PdfCanvas::nativeZoomGesture(QNativeGestureEvent *event)
{
    switch (event->gestureType()) {
    case Qt::BeginNativeGesture:
    case Qt::EndNativeGesture:
        event->accept();
        return true;
    case Qt::ZoomNativeGesture: {
        event->accept();
        const double value = event->value();
        if (!std::isfinite(value))
            return true;
        const double factor = std::clamp(1 + value, 0.5, 2.0);
        if (m_document && !m_pageSizes.isEmpty())
            applyZoom(factor * m_zoom, event->position(), ZoomMode::Settling);
        return true;
    }
    default:
        return false;
    }
}

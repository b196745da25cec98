#include "canvas/pdfcanvas.h"

#include "ui/theme.h"
#include "system/crashreport.h"

#include <QKeyEvent>
#include <QPdfDocument>
#include <QScrollBar>
#include <QTimer>

#include <algorithm>
#include <cmath>

// Slide mode: a deck is laid out like any document (one strip of sheets,
// spaced so a centred slide stands alone), but shown one whole slide at a
// time. Keys and swipes step exactly one slide and settle it centred at the
// zoom that fits it; the teacher may still zoom and scroll freely, and the
// next step fits again. Ink is kept per page as always, so it stays on its
// slide.

namespace {

constexpr int kSettleMs = 220;
// A horizontal swipe: at least this share of the viewport's width (and
// kSwipeMinPx), at least twice as far across as down.
constexpr double kSwipeWidthShare = 0.06;
constexpr double kSwipeMinPx = 40;
constexpr double kSwipeAxisRatio = 2.0;
// A two-finger swipe that changed the zoom by more than this was a pinch.
constexpr double kSwipeZoomTolerance = 0.1;

} // namespace

void PdfCanvas::setSlideMode(bool on)
{
    if (m_slideMode == on)
        return;
    m_slideMode = on;
    m_settle.stop();
    recordOperation("slides", on ? QStringLiteral("on") : QStringLiteral("off"));
    if (!m_document || m_pageSizes.isEmpty()) {
        m_slideFitted = on;
        return;
    }
    if (on) {
        showSlide(currentPage(), SlideMotion::Jump);
        return;
    }
    m_slideFitted = false;
    relayoutHoldingCentre();
    viewport()->update();
}

bool PdfCanvas::madeFromSlides() const
{
    if (!m_document)
        return false;
    const QString creator = m_document->metaData(QPdfDocument::MetaDataField::Creator).toString();
    for (const char *program : {"Impress", "PowerPoint", "Keynote", "Beamer", "WPS 演示", "WPS Presentation"}) {
        if (creator.contains(QString::fromUtf8(program), Qt::CaseInsensitive))
            return true;
    }
    return false;
}

int PdfCanvas::currentSlide() const
{
    if (m_slots.isEmpty())
        return 0;
    const double centre = verticalScrollBar()->value() + viewport()->height() / 2.0;
    int nearest = 0;
    double best = -1;
    for (int i = 0; i < m_slots.size(); ++i) {
        const PageSlot &slot = m_slots.at(i);
        if (centre >= slot.top && centre < slot.top + slot.height)
            return i;
        // In a gap: the slide whose edge is closer.
        const double distance = centre < slot.top ? slot.top - centre : centre - (slot.top + slot.height);
        if (best < 0 || distance < best) {
            best = distance;
            nearest = i;
        }
    }
    return nearest;
}

double PdfCanvas::slideFitZoom(int slide) const
{
    if (slide < 0 || slide >= m_pageSizes.size())
        return 1.0;
    const QSizeF pt = pageSizePt(slide);
    const int W = std::max(viewport()->width(), 100);
    const int H = viewport()->height();
    // The same width-fit scale relayout uses for zoom 1.
    const double fitWidthScale = m_widestPt > 0 ? std::max(W - 2 * m_sideMargin, 100.0) / m_widestPt : 1.0;
    if (pt.height() <= 0 || fitWidthScale <= 0 || H <= 0)
        return 1.0;
    // Room for the sheet's shadow above and below.
    const double room = std::max(H - 2 * m_pageGap, 1.0);
    const double zoom = std::min(1.0, room / (fitWidthScale * pt.height()));
    return std::isfinite(zoom) ? std::clamp(zoom, kMinZoom, kMaxZoom) : 1.0;
}

QPoint PdfCanvas::slideScroll(int slide) const
{
    if (slide < 0 || slide >= m_slots.size())
        return QPoint(horizontalScrollBar()->value(), verticalScrollBar()->value());
    const PageSlot &slot = m_slots.at(slide);
    const double v = slot.top + slot.height / 2 - viewport()->height() / 2.0;
    const double h = (m_contentWidth - viewport()->width()) / 2;
    const QScrollBar *hbar = horizontalScrollBar();
    const QScrollBar *vbar = verticalScrollBar();
    return QPoint(std::clamp(int(std::lround(h)), hbar->minimum(), hbar->maximum()),
                  std::clamp(int(std::lround(v)), vbar->minimum(), vbar->maximum()));
}

void PdfCanvas::stepSlide(int delta)
{
    if (!m_document || m_pageSizes.isEmpty())
        return;
    // Ink under way stays where it was written, on its slide.
    if (m_drawing || m_erasing)
        commitStroke();
    endPalmErase();
    if (gestureHoldsLayout())
        return;
    const int from = m_settle.isRunning() ? currentSlideTarget() : currentSlide();
    showSlide(std::clamp(from + delta, 0, pageCount() - 1), SlideMotion::Glide);
}

void PdfCanvas::showSlide(int slide, SlideMotion motion)
{
    if (!m_document || m_pageSizes.isEmpty())
        return;
    slide = std::clamp(slide, 0, pageCount() - 1);
    stopFling();
    m_slidePlacing = true;
    const double fit = slideFitZoom(slide);
    const bool refit = !ZoomMath::fuzzyEqual(fit, m_zoom);
    if (refit) {
        // The layout jumps with the zoom: the slide is placed, not glided.
        applyZoom(fit, QPointF(viewport()->width() / 2.0, viewport()->height() / 2.0), ZoomMode::Immediate);
    } else {
        relayout();
    }
    m_settleSlide = slide;
    const QPoint target = slideScroll(slide);
    const QPoint here(horizontalScrollBar()->value(), verticalScrollBar()->value());
    const int duration = motion == SlideMotion::Glide && !refit ? motionDuration(kSettleMs) : 0;
    if (duration > 0 && here != target) {
        m_settle.start(m_clock.elapsed(), here, target, duration);
        m_glideTimer->start();
    } else {
        horizontalScrollBar()->setValue(target.x());
        verticalScrollBar()->setValue(target.y());
    }
    m_slideFitted = true;
    m_slidePlacing = false;
    viewport()->update();
    emit pageChanged(slide, pageCount());
}

bool PdfCanvas::settleTick()
{
    QPoint pos;
    const bool running = m_settle.tick(m_clock.elapsed(), &pos);
    m_slidePlacing = true;
    horizontalScrollBar()->setValue(pos.x());
    verticalScrollBar()->setValue(pos.y());
    m_slidePlacing = false;
    return running;
}

void PdfCanvas::refitSlide(bool wasFitted)
{
    if (!m_slideMode || !m_document || m_pageSizes.isEmpty())
        return;
    if (wasFitted)
        showSlide(m_settle.isRunning() ? currentSlideTarget() : m_settleSlide, SlideMotion::Jump);
}

int PdfCanvas::currentSlideTarget() const
{
    return std::clamp(m_settleSlide, 0, std::max(pageCount() - 1, 0));
}

bool PdfCanvas::handleSlideKey(int key, Qt::KeyboardModifiers modifiers)
{
    if (!m_slideMode || !m_document || m_pageSizes.isEmpty())
        return false;
    // Shortcuts with Ctrl or Alt belong to the window.
    if (modifiers & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))
        return false;
    switch (key) {
    case Qt::Key_PageDown:
    case Qt::Key_Down:
    case Qt::Key_Right:
        stepSlide(1);
        return true;
    case Qt::Key_Space:
        stepSlide(modifiers & Qt::ShiftModifier ? -1 : 1);
        return true;
    case Qt::Key_PageUp:
    case Qt::Key_Up:
    case Qt::Key_Left:
    case Qt::Key_Backspace:
        stepSlide(-1);
        return true;
    case Qt::Key_Home:
        showSlide(0, SlideMotion::Glide);
        return true;
    case Qt::Key_End:
        showSlide(pageCount() - 1, SlideMotion::Glide);
        return true;
    default:
        return false;
    }
}

void PdfCanvas::keyPressEvent(QKeyEvent *event)
{
    if (handleSlideKey(event->key(), event->modifiers())) {
        event->accept();
        return;
    }
    QAbstractScrollArea::keyPressEvent(event);
}

void PdfCanvas::beginSlideSwipe()
{
    m_swipe = SlideSwipe();
    m_swipe.zoom = m_zoom;
    m_swipe.slide = m_settle.isRunning() ? currentSlideTarget() : currentSlide();
}

bool PdfCanvas::endSlideSwipe()
{
    if (!m_slideMode || !m_document || m_pageSizes.isEmpty())
        return false;
    // Zoomed in past the width, a sideways drag looks at the slide's edges.
    if (horizontalScrollBar()->maximum() > 0)
        return false;
    const double across = std::abs(m_swipe.dx);
    const double needed = std::max(kSwipeMinPx, kSwipeWidthShare * viewport()->width());
    if (across < needed || across < kSwipeAxisRatio * std::abs(m_swipe.dy))
        return false;
    if (m_swipe.zoom > 0 && std::abs(m_zoom / m_swipe.zoom - 1.0) > kSwipeZoomTolerance)
        return false;
    m_glide.clearSamples();
    // The finger pulls the next slide in from the right.
    const int delta = m_swipe.dx < 0 ? 1 : -1;
    showSlide(std::clamp(m_swipe.slide + delta, 0, pageCount() - 1), SlideMotion::Glide);
    return true;
}

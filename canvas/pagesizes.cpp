#include "canvas/pdfcanvas.h"

#include <QElapsedTimer>
#include <QPdfDocument>
#include <QScrollBar>
#include <QTimer>

#include <algorithm>
#include <cmath>

// Page sizes are read lazily: a long book opens with page 1's size standing
// in for the pages not read yet, a zero-interval timer reads the rest a few
// milliseconds at a time between frames, and any caller asking for a page's
// size or rect reads that page first. Reading stays on the user-interface
// thread: PDFium is serialised by one lock anyway, and a second document
// instance would parse the whole file again.

namespace {

constexpr qint64 kSliceNs = 4000000;       // per timer slice, well inside a frame
constexpr int kDeferredRetryMs = 50;       // a gesture holds the layout still

} // namespace

void PdfCanvas::startSizeReading(const QSizeF &firstPage)
{
    const int count = m_document ? m_document->pageCount() : 0;
    const QSizeF estimate = firstPage.width() > 0 && firstPage.height() > 0
            ? firstPage : QSizeF(595, 842);
    m_pageSizes = QList<QSizeF>(count, estimate);
    m_sizeRead = QList<bool>(count, false);
    m_knownSizes = 0;
    m_widestRead = 0;
    m_widestPt = 595;
    m_sizesChanged = false;
    if (count == 0)
        return;
    m_pageSizes[0] = firstPage;
    m_sizeRead[0] = true;
    m_knownSizes = 1;
    if (firstPage.width() > 0) {
        m_widestRead = firstPage.width();
        m_widestPt = m_widestRead;
    }
    m_sizeCursor = 1;
    if (!m_sizeTimer) {
        m_sizeTimer = new QTimer(this);
        connect(m_sizeTimer, &QTimer::timeout, this, &PdfCanvas::readSizeSlice);
    }
    m_sizeTimer->setInterval(0);
    if (count > 1)
        m_sizeTimer->start();
}

void PdfCanvas::stopSizeReading()
{
    if (m_sizeTimer)
        m_sizeTimer->stop();
    m_sizeRead.clear();
    m_knownSizes = 0;
    m_sizeCursor = 0;
    m_sizesChanged = false;
}

bool PdfCanvas::ensurePageSize(int page) const
{
    if (page < 0 || page >= m_sizeRead.size() || m_sizeRead.at(page) || !m_document || gestureHoldsLayout())
        return false;
    // A page whose size cannot be read comes back empty and gets the
    // smallest slot, as a zero-size page does.
    const QSizeF size = m_document->pagePointSize(page);
    m_sizeRead[page] = true;
    ++m_knownSizes;
    // The widest width counts the pages read so far.
    if (size.width() > m_widestRead) {
        m_widestRead = size.width();
        m_widestPt = m_widestRead;
        m_sizesChanged = true;
    }
    if (size == m_pageSizes.at(page))
        return false;
    m_pageSizes[page] = size;
    m_sizesChanged = true;
    return true;
}

void PdfCanvas::settleLayout() const
{
    if (m_sizesChanged && !m_painting)
        const_cast<PdfCanvas *>(this)->relayoutHoldingCentre();
}

void PdfCanvas::relayoutHoldingCentre()
{
    // The point under the viewport centre keeps its place on its sheet and
    // on screen; only the scroll bar settles.
    QScrollBar *v = verticalScrollBar();
    const double half = viewport()->height() / 2.0;
    const double centre = v->value() + half;
    int page = -1;
    for (int i = 0; i < m_slots.size() && m_slots.at(i).top <= centre; ++i)
        page = i;
    const double offset = page >= 0 ? centre - m_slots.at(page).top : 0;
    const double oldScale = m_scale;
    relayout();
    if (page < 0 || page >= m_slots.size() || m_sizesChanged)
        return;
    const double ratio = oldScale > 0 ? m_scale / oldScale : 1.0;
    v->setValue(int(std::lround(m_slots.at(page).top + offset * ratio - half)));
}

void PdfCanvas::ensureVisibleSizes()
{
    if (!m_document || m_knownSizes >= m_pageSizes.size() || m_ensuringVisible || gestureHoldsLayout())
        return;
    m_ensuringVisible = true;
    // Reading a visible page can pull others into view; a few rounds settle it.
    for (int round = 0; round < 4; ++round) {
        const double top = verticalScrollBar()->value();
        const double bottom = top + viewport()->height();
        for (int i = 0; i < m_slots.size(); ++i) {
            const PageSlot &slot = m_slots.at(i);
            if (slot.top + slot.height + m_pageGap < top)
                continue;
            ensurePageSize(i);
            if (slot.top > bottom)
                break;
        }
        if (!m_sizesChanged)
            break;
        relayoutHoldingCentre();
    }
    m_ensuringVisible = false;
}

bool PdfCanvas::gestureHoldsLayout() const
{
    return m_drawing || m_erasing || m_palmActive || m_pinch.active || m_pinchInFlight;
}

bool PdfCanvas::layoutHeldStill() const
{
    return gestureHoldsLayout() || m_zoomInFlight;
}

void PdfCanvas::readSizeSlice()
{
    const int count = int(m_pageSizes.size());
    if (!m_document || m_sizeRead.size() != count) {
        m_sizeTimer->stop();
        return;
    }
    // A stroke, erase, pinch or zoom in progress keeps its geometry: the
    // sizes wait, unread (reading costs the pen its frames too).
    if (layoutHeldStill()) {
        m_sizeTimer->setInterval(kDeferredRetryMs);
        return;
    }
    QElapsedTimer slice;
    slice.start();
    while (m_sizeCursor < count && slice.nsecsElapsed() < kSliceNs)
        ensurePageSize(m_sizeCursor++);
    if (m_sizesChanged) {
        relayoutHoldingCentre();
        ensureVisibleSizes();
        viewport()->update();
    }
    m_sizeTimer->setInterval(0);
    if (m_sizeCursor >= count && !m_sizesChanged)
        m_sizeTimer->stop();
}

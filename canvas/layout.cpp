#include "canvas/pdfcanvas.h"

#include "system/crashreport.h"

#include <QScrollBar>
#include <QTimer>

#include <algorithm>
#include <cmath>

namespace {

// Layout can recurse through the toolkit (a scroll bar range change showing
// the bar, which resizes the viewport); deeper nesting is cut off.
constexpr int kMaxRelayoutDepth = 4;

int &relayoutDepth()
{
    static int depth = 0;
    return depth;
}

int &relayoutRefusalCount()
{
    static int count = 0;
    return count;
}

int &relayoutMaxDepth()
{
    static int depth = 0;
    return depth;
}

struct DepthScope
{
    DepthScope() { relayoutMaxDepth() = std::max(relayoutMaxDepth(), ++relayoutDepth()); }
    ~DepthScope() { --relayoutDepth(); }
};

} // namespace

bool PdfCanvas::LayoutKey::operator==(const LayoutKey &o) const
{
    return document == o.document && zoom == o.zoom && width == o.width && height == o.height
            && pages == o.pages && widest == o.widest && slides == o.slides;
}

int PdfCanvas::relayoutRefusals()
{
    return relayoutRefusalCount();
}

void PdfCanvas::relayout()
{
    if (relayoutDepth() >= kMaxRelayoutDepth) {
        recordOperation("relayout-nested",
                        QStringLiteral("排版嵌套第 %1 层，已截断").arg(relayoutDepth() + 1));
        ++relayoutRefusalCount();
        return;
    }
    const DepthScope scope;

    if (!m_document || m_pageSizes.isEmpty()) {
        m_slots.clear();
        m_contentHeight = 0;
        m_contentWidth = 0;
        m_scale = 1.0;
        m_layoutKey = LayoutKey();
        verticalScrollBar()->setRange(0, 0);
        horizontalScrollBar()->setRange(0, 0);
        return;
    }

    const int W = viewport()->width();
    const int H = viewport()->height();
    const LayoutKey key { m_document, m_zoom, W, H, int(m_pageSizes.size()), m_widestPt, m_slideMode };
    if (key == m_layoutKey && m_slots.size() == m_pageSizes.size() && !m_sizesChanged)
        return;
    m_sizesChanged = false;
    m_layoutKey = key;
    ++m_layoutCount;

    const double fit = m_widestPt > 0
            ? std::max(std::max(W, 100) - 2 * m_sideMargin, 100.0) / m_widestPt
            : 1.0;
    m_scale = std::clamp(m_zoom * fit, 0.05, 8.0);

    // Slides are spaced so that a centred one is alone on screen, and the
    // first and last can be centred too.
    double gap = m_pageGap;
    double topMargin = m_topMargin;
    double bottomMargin = m_bottomMargin;
    if (m_slideMode) {
        const auto slotHeight = [this](const QSizeF &pt) { return std::max(pt.height() * m_scale, 1.0); };
        double tallest = 0;
        for (const QSizeF &pt : std::as_const(m_pageSizes))
            tallest = std::max(tallest, slotHeight(pt));
        if (std::isfinite(tallest)) {
            gap += std::max(0.0, (H - tallest) / 2);
            topMargin = std::max(topMargin, (H - slotHeight(m_pageSizes.first())) / 2);
            bottomMargin = std::max(bottomMargin, (H - slotHeight(m_pageSizes.last())) / 2);
        }
    }

    m_slots.resize(m_pageSizes.size());
    double y = topMargin;
    double widest = 0;
    for (int i = 0; i < m_pageSizes.size(); ++i) {
        const QSizeF pt = m_pageSizes.at(i);
        PageSlot &slot = m_slots[i];
        slot.top = y;
        // Zero-size and broken pages still get a 1 x 1 slot.
        slot.width = std::max(pt.width() * m_scale, 1.0);
        slot.height = std::max(pt.height() * m_scale, 1.0);
        if (!std::isfinite(slot.width))
            slot.width = 1;
        if (!std::isfinite(slot.height))
            slot.height = 1;
        widest = std::max(widest, slot.width);
        y += slot.height + gap;
    }
    m_contentHeight = y > 0 ? y - gap + bottomMargin : 0;
    if (m_addPageTile && m_contentHeight > 0)
        m_contentHeight += m_pageGap + addPageTileHeight();
    m_contentWidth = std::max(widest, double(W));

    QScrollBar *v = verticalScrollBar();
    v->setRange(0, std::max(0, int(m_contentHeight) - H));
    v->setPageStep(std::max(H, 1));
    v->setSingleStep(48);
    QScrollBar *hbar = horizontalScrollBar();
    hbar->setRange(0, std::max(0, int(m_contentWidth) - W));
    hbar->setPageStep(std::max(W, 1));
    hbar->setSingleStep(48);
    placeAddPageTile();
}

QRectF PdfCanvas::pageRect(int page) const
{
    if (page < 0 || page >= m_slots.size())
        return QRectF();
    if (!gestureHoldsLayout() && (ensurePageSize(page) || m_sizesChanged))
        settleLayout();
    return slotRect(page);
}

QRectF PdfCanvas::slotRect(int page) const
{
    if (page < 0 || page >= m_slots.size())
        return QRectF();
    const PageSlot &slot = m_slots.at(page);
    const double x = (m_contentWidth - slot.width) / 2 - horizontalScrollBar()->value();
    const double y = slot.top - verticalScrollBar()->value();
    return QRectF(x, y, slot.width, slot.height);
}

// Judged on the sheets as they are on screen: a pen press lands where the
// teacher saw the page, never on a layout that settles under it.
int PdfCanvas::pageAt(const QPointF &viewportPos) const
{
    const double c = verticalScrollBar()->value() + viewportPos.y();
    for (int i = 0; i < m_slots.size(); ++i) {
        const PageSlot &slot = m_slots.at(i);
        if (slot.top > c)
            return -1;
        if (c < slot.top + slot.height)
            return slotRect(i).contains(viewportPos) ? i : -1;
    }
    return -1;
}

int PdfCanvas::pageAtContentY(double contentY) const
{
    for (int i = 0; i < m_slots.size(); ++i) {
        const PageSlot &slot = m_slots.at(i);
        if (slot.top > contentY)
            return -1;
        if (contentY < slot.top + slot.height)
            return i;
    }
    return -1;
}

QPointF PdfCanvas::pageFraction(int page, const QPointF &viewportPos) const
{
    const QRectF r = pageRect(page);
    if (r.isEmpty())
        return QPointF(0, 0);
    return QPointF(std::clamp((viewportPos.x() - r.left()) / r.width(), 0.0, 1.0),
                   std::clamp((viewportPos.y() - r.top()) / r.height(), 0.0, 1.0));
}

int PdfCanvas::currentPage() const
{
    if (m_slots.isEmpty())
        return 0;
    const double c = verticalScrollBar()->value() + 1.0;
    // In a gap or the top margin the line belongs to the next sheet below it;
    // past the last sheet it belongs to the last one. Callers always get a
    // valid index.
    for (int i = 0; i < m_slots.size(); ++i) {
        const PageSlot &slot = m_slots.at(i);
        if (c < slot.top + slot.height)
            return i;
    }
    return int(m_slots.size()) - 1;
}

void PdfCanvas::goToPage(int page)
{
    if (m_pageSizes.isEmpty())
        return;
    stopFling();
    const int count = pageCount();
    page = std::clamp(page, 0, count - 1);
    if (m_slideMode) {
        showSlide(page, SlideMotion::Jump);
        return;
    }
    if (page < m_slots.size())
        verticalScrollBar()->setValue(int(m_slots.at(page).top));
    emit pageChanged(page, count);
}

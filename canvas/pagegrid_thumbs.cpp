#include "canvas/pagegrid.h"

#include "ui/theme.h"
#include "canvas/pdfcanvas.h"

#include <QPainter>
#include <QScrollArea>
#include <QTimer>

#include <cmath>

// The grid's thumbnails: asked for only when a cell on screen paints
// without one, at most two in flight, rendered on the canvas's worker and
// kept in a small cache that never drops what is on screen.

namespace {

constexpr int kMaxInFlight = 2;
constexpr int kMaxThumbnails = 80;
constexpr qint64 kMaxThumbnailBytes = 8388608; // 8 MiB
constexpr int kSizeWaitMs = 50;

} // namespace

bool PageGrid::isRequested(int page) const
{
    for (auto it = m_requests.cbegin(); it != m_requests.cend(); ++it) {
        if (it.value() == page)
            return true;
    }
    return false;
}

QRect PageGrid::visibleContainerRect() const
{
    if (!isVisible())
        return QRect();
    // What of the scroll area's view is really on screen, in the
    // coordinates the cells are placed in.
    QWidget *view = m_scroll->viewport();
    const QRect shown = view->visibleRegion().boundingRect();
    return shown.translated(m_container->mapFrom(view, QPoint(0, 0)));
}

bool PageGrid::isCellOnScreen(int page) const
{
    const PageCell *c = m_cells.value(page);
    if (!c || c->isHidden())
        return false;
    return visibleContainerRect().intersects(c->geometry());
}

const QImage *PageGrid::thumbnailForPaint(int page)
{
    const auto it = m_thumbnails.constFind(page);
    if (it != m_thumbnails.cend()) {
        m_recency.removeOne(page);
        m_recency.append(page);
        return &it.value();
    }
    if (!m_canvas || m_failed.contains(page))
        return nullptr;
    if (isRequested(page))
        return nullptr;
    if (!m_wanted.contains(page))
        m_wanted.append(page);
    schedulePump();
    return nullptr;
}

void PageGrid::schedulePump()
{
    if (m_pumpScheduled)
        return;
    m_pumpScheduled = true;
    QTimer::singleShot(0, this, [this] {
        m_pumpScheduled = false;
        pumpRequests();
    });
}

void PageGrid::pumpRequests()
{
    if (!m_canvas)
        return;
    // One look at what is on screen serves the whole run.
    const QRect view = visibleContainerRect();
    const QSize requested(int(std::lround(m_metrics.thumbWidth * m_ratio)), 0);
    QList<int> unsized;
    while (m_requests.size() < kMaxInFlight && !m_wanted.isEmpty()) {
        const int page = m_wanted.takeFirst();
        const PageCell *c = m_cells.value(page);
        // Cells scrolled away are asked for again when they next paint.
        if (view.isEmpty() || !c || c->isHidden() || !view.intersects(c->geometry())
            || m_thumbnails.contains(page))
            continue;
        // A thumbnail needs the page's shape; the canvas reads sizes in
        // the background, and this thread never reads one for the grid.
        if (!m_canvas->isPageSizeRead(page)) {
            unsized.append(page);
            continue;
        }
        const quint64 id = m_canvas->requestThumbnail(page, requested);
        if (id == 0) {
            m_failed.append(page);
            updateCell(page);
            continue;
        }
        m_requests.insert(id, page);
    }
    if (!unsized.isEmpty()) {
        m_wanted = unsized + m_wanted;
        if (!m_sizeWaitScheduled) {
            m_sizeWaitScheduled = true;
            QTimer::singleShot(kSizeWaitMs, this, [this] {
                m_sizeWaitScheduled = false;
                pumpRequests();
            });
        }
    }
}

void PageGrid::onThumbnailRendered(qulonglong requestId, const QImage &image)
{
    const auto it = m_requests.find(requestId);
    if (it == m_requests.end())
        return;
    const int page = it.value();
    m_requests.erase(it);
    if (image.isNull()) {
        m_failed.append(page);
    } else {
        // Rendered pages are transparent; the sheet is white paper.
        QImage source = image;
        source.setDevicePixelRatio(m_ratio);
        QImage flat(source.size(), QImage::Format_ARGB32_Premultiplied);
        flat.setDevicePixelRatio(m_ratio);
        flat.fill(theme().paper);
        QPainter painter(&flat);
        painter.drawImage(QPointF(0, 0), source);
        painter.end();
        m_thumbnailBytes += flat.sizeInBytes();
        m_thumbnails.insert(page, flat);
        m_recency.removeOne(page);
        m_recency.append(page);
        trimThumbnails();
    }
    updateCell(page);
    pumpRequests();
}

void PageGrid::trimThumbnails()
{
    const QRect view = visibleContainerRect();
    int i = 0;
    // The newest entry is never dropped: it was just asked for.
    while (i < m_recency.size() - 1
           && (m_thumbnails.size() > kMaxThumbnails || m_thumbnailBytes > kMaxThumbnailBytes)) {
        const int page = m_recency.at(i);
        const PageCell *c = m_cells.value(page);
        if (c && !c->isHidden() && view.intersects(c->geometry())) {
            ++i;
            continue;
        }
        m_thumbnailBytes -= m_thumbnails.take(page).sizeInBytes();
        m_recency.removeAt(i);
    }
}

void PageGrid::forgetThumbnails()
{
    m_thumbnails.clear();
    m_recency.clear();
    m_thumbnailBytes = 0;
    m_wanted.clear();
    // Late answers to these ids are ignored on arrival.
    m_requests.clear();
}

void PageGrid::checkDeviceRatio()
{
    const double ratio = devicePixelRatioF();
    if (qFuzzyCompare(ratio, m_ratio))
        return;
    m_ratio = ratio;
    paintHeaderGlyph();
    forgetThumbnails();
    for (PageCell *c : std::as_const(m_cells))
        c->update();
}

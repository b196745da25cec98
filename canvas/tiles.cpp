#include "canvas/pdfcanvas.h"

#include "files/pagerenderoptions.h"
#include "system/crashreport.h"
#include "system/diaglog.h"

#include <QElapsedTimer>
#include <QPainter>
#include <QPdfDocument>
#include <QPdfDocumentRenderOptions>
#include <QPdfPageRenderer>
#include <QScrollBar>
#include <QTimer>

#include <algorithm>
#include <cmath>

namespace {

constexpr int kTile = PdfCanvas::kTileSize;

int &renderDepth()
{
    static int depth = 0;
    return depth;
}

// Part of a page rendered at its full device size.
QPdfDocumentRenderOptions blockOptions(const QSize &fullSize, const QRect &block)
{
    QPdfDocumentRenderOptions options = pageRenderOptions();
    options.setScaledSize(fullSize);
    options.setScaledClipRect(QRect(block.x(), block.y(), block.width() + 1, block.height() + 1));
    return options;
}

QRect blockRect(const QSize &size, int c0, int r0, int c1, int r1)
{
    const int x = c0 * kTile;
    const int y = r0 * kTile;
    const int right = std::min((c1 + 1) * kTile, size.width());
    const int bottom = std::min((r1 + 1) * kTile, size.height());
    return QRect(x, y, right - x, bottom - y);
}

struct TileRange
{
    int c0 = 0, r0 = 0, c1 = -1, r1 = -1;
};

// Tiles of a record of device size (w, h) under the part v of the sheet.
TileRange tileRange(const QRectF &sheet, const QRectF &v, int w, int h, int cols, int rows)
{
    const int x0 = int((v.left() - sheet.left()) / sheet.width() * w);
    const int y0 = int((v.top() - sheet.top()) / sheet.height() * h);
    const int x1 = int(std::ceil((v.right() - sheet.left()) / sheet.width() * w));
    const int y1 = int(std::ceil((v.bottom() - sheet.top()) / sheet.height() * h));
    TileRange range;
    range.c0 = std::clamp(x0 / kTile, 0, cols - 1);
    range.c1 = std::clamp(std::max(x0, x1 - 1) / kTile, 0, cols - 1);
    range.r0 = std::clamp(y0 / kTile, 0, rows - 1);
    range.r1 = std::clamp(std::max(y0, y1 - 1) / kTile, 0, rows - 1);
    return range;
}

double toMb(qint64 bytes)
{
    return double(bytes) / 1048576.0;
}

} // namespace

quint64 PdfCanvas::tileKey(quint64 generation, int page, int col, int row)
{
    return ((generation & 0xffffu) << 48) | (quint64(quint16(page)) << 32)
            | (quint64(quint16(col)) << 16) | quint64(quint16(row));
}

double PdfCanvas::tileRatio() const
{
    return std::max(viewport()->devicePixelRatioF(), 1.0);
}

QSize PdfCanvas::sheetDeviceSize(const QRectF &sheet) const
{
    const double d = tileRatio();
    return QSize(std::max(1, int(std::lround(sheet.width() * d))),
                 std::max(1, int(std::lround(sheet.height() * d))));
}

QSize PdfCanvas::cachedPageSize(int page) const
{
    const auto it = m_pageTiles.constFind(page);
    return it == m_pageTiles.cend() ? QSize() : it->size;
}

int PdfCanvas::cachedTileCount(int page) const
{
    const auto it = m_pageTiles.constFind(page);
    if (it == m_pageTiles.cend())
        return 0;
    return int(std::count_if(it->tiles.cbegin(), it->tiles.cend(),
                             [](const QImage &tile) { return !tile.isNull(); }));
}

QSize PdfCanvas::tileGrid(int page) const
{
    const auto it = m_pageTiles.constFind(page);
    return it == m_pageTiles.cend() ? QSize() : QSize(it->cols, it->rows);
}

PdfCanvas::PageTiles &PdfCanvas::pageTiles(int page, const QSize &size)
{
    auto resetTo = [this](PageTiles &record, const QSize &newSize) {
        m_totalBytes -= record.bytes;
        record.bytes = 0;
        record.preview = QImage();
        record.size = newSize;
        record.cols = std::max(1, (newSize.width() + kTile - 1) / kTile);
        record.rows = std::max(1, (newSize.height() + kTile - 1) / kTile);
        record.tiles = QList<QImage>(record.cols * record.rows);
    };
    auto it = m_pageTiles.find(page);
    if (it != m_pageTiles.end()) {
        // While zooming the old tiles are kept and scaled.
        if (it->size != size && !m_pinchInFlight && !m_zoomInFlight)
            resetTo(*it, size);
    } else {
        PageTiles record;
        resetTo(record, size);
        it = m_pageTiles.insert(page, record);
    }
    m_recency.removeOne(page);
    m_recency.append(page);
    return *it;
}

void PdfCanvas::paintPageTiles(QPainter &painter, int page, const QRectF &sheet)
{
    if (!m_document || sheet.isEmpty())
        return;
    const QSize want = sheetDeviceSize(sheet);
    PageTiles &record = pageTiles(page, want);
    const bool stale = m_pinchInFlight || m_zoomInFlight || record.size != want;

    const QRectF inViewport = sheet.intersected(QRectF(viewport()->rect()));
    QRectF visible = inViewport;
    if (painter.hasClipping())
        visible = visible.intersected(painter.clipBoundingRect());
    if (visible.isEmpty())
        return;

    const int w = record.size.width();
    const int h = record.size.height();
    const TileRange range = tileRange(sheet, visible, w, h, record.cols, record.rows);
    const int c0 = range.c0, r0 = range.r0, c1 = range.c1, r1 = range.r1;

    int mc0 = record.cols, mr0 = record.rows, mc1 = -1, mr1 = -1;
    for (int r = r0; r <= r1; ++r) {
        for (int c = c0; c <= c1; ++c) {
            if (record.tiles.at(r * record.cols + c).isNull()) {
                mc0 = std::min(mc0, c);
                mc1 = std::max(mc1, c);
                mr0 = std::min(mr0, r);
                mr1 = std::max(mr1, r);
            }
        }
    }
    const bool missing = mc1 >= 0;

    if (!stale) {
        if (missing)
            renderBlockNow(page, record, mc0, mr0, mc1, mr1);
        painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    } else if (missing && ensurePreview(page, record)) {
        painter.drawImage(sheet, record.preview);
    }

    const double d = tileRatio();
    const double originX = std::round(sheet.left() * d);
    const double originY = std::round(sheet.top() * d);
    for (int r = r0; r <= r1; ++r) {
        for (int c = c0; c <= c1; ++c) {
            const int index = r * record.cols + c;
            if (record.tiles.at(index).isNull()) {
                if (stale || !renderBlockNow(page, record, c, r, c, r))
                    continue;
            }
            const QImage &tile = record.tiles.at(index);
            // Tile images carry the device ratio, so their logical size is
            // their pixel size divided by it.
            const double tw = tile.width();
            const double th = tile.height();
            QRectF target;
            if (!stale) {
                target = QRectF((originX + c * kTile) / d, (originY + r * kTile) / d, tw / d, th / d);
            } else {
                target = QRectF(double(c) * kTile / w * sheet.width() + sheet.left(),
                                double(r) * kTile / h * sheet.height() + sheet.top(),
                                tw / w * sheet.width(), th / h * sheet.height());
            }
            painter.drawImage(target, tile);
        }
    }

    if (record.bytes > kPageTrimBytes)
        trimPage(page, record, sheet);

    if (!stale && record.bytes < kPageTrimBytes && prefetchAllowed()) {
        const int a0 = std::max(c0 - 2, 0);
        const int a1 = std::min(c1 + 2, record.cols - 1);
        if (r1 < record.rows - 1)
            requestBlock(page, record, a0, r1 + 1, a1, r1 + 2);
        if (r0 > 0)
            requestBlock(page, record, a0, r0 - 2, a1, r0 - 1);
        if (c1 < record.cols - 1)
            requestBlock(page, record, c1 + 1, r0, a1, r1);
        if (c0 > 0)
            requestBlock(page, record, a0, r0, c0 - 1, r1);
    }

    evictTiles();
}

void PdfCanvas::trimPage(int page, PageTiles &record, const QRectF &sheet)
{
    Q_UNUSED(page);
    const QRectF inViewport = sheet.intersected(QRectF(viewport()->rect()));
    TileRange keep;
    if (!inViewport.isEmpty())
        keep = tileRange(sheet, inViewport, record.size.width(), record.size.height(),
                         record.cols, record.rows);
    for (int r = 0; r < record.rows; ++r) {
        for (int c = 0; c < record.cols; ++c) {
            if (c >= keep.c0 && c <= keep.c1 && r >= keep.r0 && r <= keep.r1)
                continue;
            QImage &tile = record.tiles[r * record.cols + c];
            if (tile.isNull())
                continue;
            const qint64 bytes = tile.sizeInBytes();
            tile = QImage();
            record.bytes -= bytes;
            m_totalBytes -= bytes;
        }
    }
}

bool PdfCanvas::prefetchAllowed() const
{
    // Hidden measuring canvases (exports, benchmarks off screen) must not
    // fill the renderer's queue.
    if (testAttribute(Qt::WA_DontShowOnScreen))
        return false;
    const QWidget *top = window();
    return !(top && top->testAttribute(Qt::WA_DontShowOnScreen));
}

void PdfCanvas::prefetchAhead(const QList<int> &visible)
{
    const double top = verticalScrollBar()->value();
    if (top != m_lastPaintTop)
        m_scrollDirection = top > m_lastPaintTop ? 1 : -1;
    m_lastPaintTop = top;
    if (visible.isEmpty() || m_zoomInFlight || m_pinchInFlight || !prefetchAllowed())
        return;
    // The edge that enters first: the top rows of the next sheet going
    // down, the bottom rows of the previous one going up.
    const int page = m_scrollDirection > 0 ? visible.last() + 1 : visible.first() - 1;
    if (page < 0 || page >= m_slots.size())
        return;
    const PageSlot &slot = m_slots.at(page);
    PageTiles &record = pageTiles(page, sheetDeviceSize(QRectF(0, 0, slot.width, slot.height)));
    const int rows = std::min(2, record.rows);
    if (m_scrollDirection > 0)
        requestBlock(page, record, 0, 0, record.cols - 1, rows - 1);
    else
        requestBlock(page, record, 0, record.rows - rows, record.cols - 1, record.rows - 1);
}

bool PdfCanvas::renderBlockNow(int page, PageTiles &record, int c0, int r0, int c1, int r1)
{
    if (!m_document || page < 0 || page >= pageCount())
        return false;
    const QRect block = blockRect(record.size, c0, r0, c1, r1);
    if (block.isEmpty())
        return false;

    QElapsedTimer timer;
    timer.start();
    if (++renderDepth() > 1)
        recordOperation("render-nested", QStringLiteral("渲染嵌套第 %1 层（第 %2 页）")
                                                 .arg(renderDepth()).arg(page + 1));
    ++m_syncRenders;
    const QImage image = m_document->render(page, block.size(), blockOptions(record.size, block));
    --renderDepth();
    if (image.isNull())
        return false;
    storeBlock(record, image, c0, r0, c1, r1);
    reportMeasurement(page, timer.elapsed(), image.size());
    return true;
}

void PdfCanvas::storeBlock(PageTiles &record, const QImage &block, int c0, int r0, int c1, int r1)
{
    const double d = tileRatio();
    for (int r = r0; r <= r1; ++r) {
        for (int c = c0; c <= c1; ++c) {
            QImage &tile = record.tiles[r * record.cols + c];
            if (!tile.isNull())
                continue;
            const QRect area = blockRect(record.size, c, r, c, r);
            tile = block.copy(area.translated(-c0 * kTile, -r0 * kTile));
            if (tile.isNull())
                continue;
            tile.setDevicePixelRatio(d);
            record.bytes += tile.sizeInBytes();
            m_totalBytes += tile.sizeInBytes();
            noteProbeRaster();
        }
    }
}

bool PdfCanvas::ensurePreview(int page, PageTiles &record)
{
    if (!record.preview.isNull())
        return true;
    if (!m_document)
        return false;
    constexpr int kMaxPreviewWidth = 1600;
    const int w = record.size.width();
    const int h = record.size.height();
    QSize size(std::max(w / 4, 1), std::max(h / 4, 1));
    if (size.width() > kMaxPreviewWidth)
        size = QSize(kMaxPreviewWidth, std::max(h / 4 * kMaxPreviewWidth / (w / 4), 1));
    QElapsedTimer timer;
    timer.start();
    ++m_syncRenders;
    record.preview = m_document->render(page, size, pageRenderOptions());
    if (record.preview.isNull())
        return false;
    record.bytes += record.preview.sizeInBytes();
    m_totalBytes += record.preview.sizeInBytes();
    noteProbeRaster();
    reportMeasurement(page, timer.elapsed(), size);
    return true;
}

void PdfCanvas::requestBlock(int page, PageTiles &record, int c0, int r0, int c1, int r1)
{
    if (!m_renderer || !m_document)
        return;
    c0 = std::max(c0, 0);
    r0 = std::max(r0, 0);
    c1 = std::min(c1, record.cols - 1);
    r1 = std::min(r1, record.rows - 1);
    int bc0 = record.cols, br0 = record.rows, bc1 = -1, br1 = -1;
    for (int r = r0; r <= r1; ++r) {
        for (int c = c0; c <= c1; ++c) {
            if (!record.tiles.at(r * record.cols + c).isNull()
                    || m_pendingKeys.contains(tileKey(m_tileGeneration, page, c, r)))
                continue;
            bc0 = std::min(bc0, c);
            bc1 = std::max(bc1, c);
            br0 = std::min(br0, r);
            br1 = std::max(br1, r);
        }
    }
    if (bc1 < 0 || m_requests.size() >= kMaxRequests)
        return;
    const QRect block = blockRect(record.size, bc0, br0, bc1, br1);
    if (block.isEmpty())
        return;
    const quint64 id = m_renderer->requestPage(page, block.size(), blockOptions(record.size, block));
    if (id == 0 || m_requests.contains(id))
        return;
    m_requests.insert(id, TileRequest { page, bc0, br0, bc1, br1, m_tileGeneration, record.size });
    for (int r = br0; r <= br1; ++r)
        for (int c = bc0; c <= bc1; ++c)
            m_pendingKeys.insert(tileKey(m_tileGeneration, page, c, r));
}

void PdfCanvas::onPageRendered(int page, QSize imageSize, const QImage &image,
                               const QPdfDocumentRenderOptions &options, quint64 requestId)
{
    Q_UNUSED(options);
    if (m_thumbnailIds.remove(requestId)) {
        emit thumbnailRendered(requestId, image);
        return;
    }
    const auto found = m_requests.constFind(requestId);
    if (found == m_requests.cend())
        return;
    const TileRequest request = *found;
    m_requests.erase(found);
    if (request.generation != m_tileGeneration)
        return;
    for (int r = request.r0; r <= request.r1; ++r)
        for (int c = request.c0; c <= request.c1; ++c)
            m_pendingKeys.remove(tileKey(request.generation, request.page, c, r));

    const auto it = m_pageTiles.find(request.page);
    if (it == m_pageTiles.end() || page != request.page)
        return;
    PageTiles &record = *it;
    if (record.size != request.size || request.c1 >= record.cols || request.r1 >= record.rows
            || image.isNull() || image.size() != imageSize)
        return;
    storeBlock(record, image, request.c0, request.r0, request.c1, request.r1);

    const QRectF sheet = pageRect(request.page);
    if (sheet.isEmpty())
        return;
    const QRect block = blockRect(record.size, request.c0, request.r0, request.c1, request.r1);
    const double sx = sheet.width() / record.size.width();
    const double sy = sheet.height() / record.size.height();
    const QRectF area(sheet.left() + block.x() * sx, sheet.top() + block.y() * sy,
                      block.width() * sx, block.height() * sy);
    viewport()->update(area.toAlignedRect().adjusted(-1, -1, 1, 1));
}

void PdfCanvas::dropAllTiles()
{
    ++m_tileGeneration;
    m_requests.clear();
    m_pendingKeys.clear();
    m_pageTiles.clear();
    m_recency.clear();
    m_totalBytes = 0;
    m_zoomInFlight = false;
}

void PdfCanvas::evictTiles()
{
    if (m_totalBytes <= m_byteCap)
        return;
    const double top = verticalScrollBar()->value();
    const double bottom = top + viewport()->height();
    auto isProtected = [&](int page) {
        if (page < 0 || page >= m_slots.size())
            return false;
        const PageSlot &slot = m_slots.at(page);
        return slot.top <= bottom && slot.top + slot.height >= top;
    };
    qint64 freed = 0;
    for (auto it = m_recency.begin(); it != m_recency.end() && m_totalBytes > m_byteCap;) {
        const int page = *it;
        if (isProtected(page)) {
            ++it;
            continue;
        }
        const auto record = m_pageTiles.constFind(page);
        if (record != m_pageTiles.cend()) {
            freed += record->bytes;
            m_totalBytes -= record->bytes;
            m_pageTiles.erase(record);
        }
        it = m_recency.erase(it);
    }
    if (freed > 0)
        logInfo(QStringLiteral("cache"), QStringLiteral("淘汰 %1 MB，瓦片缓存 %2 MB / 上限 %3 MB")
                                                 .arg(toMb(freed), 0, 'f', 1)
                                                 .arg(toMb(m_totalBytes), 0, 'f', 1)
                                                 .arg(toMb(m_byteCap), 0, 'f', 0));
}

void PdfCanvas::reportMeasurement(int page, qint64 ms, const QSize &size)
{
    m_measuredMs = ms;
    m_measuredSize = size;
    if (!m_measureQueued) {
        m_measureQueued = true;
        QTimer::singleShot(0, this, [this] {
            m_measureQueued = false;
            emit renderMeasured(m_measuredMs, m_measuredSize);
        });
    }
    if (ms > 40)
        logInfo(QStringLiteral("render"), QStringLiteral("第 %1 页栅格化 %2 ms（%3×%4）")
                                                  .arg(page + 1).arg(ms)
                                                  .arg(size.width()).arg(size.height()));
}

#include "canvas/pdfcanvas.h"
#include "testutil.h"

#include <QPainter>
#include <QPdfDocument>
#include <QPdfPageRenderer>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

// Reaches the tile machinery of a canvas directly, so grid edges and the
// asynchronous paths can be driven without depending on window sizes.
class CanvasTestAccess
{
public:
    explicit CanvasTestAccess(PdfCanvas &canvas) : c(canvas) {}

    void paintTiles(QPainter &painter, int page, const QRectF &sheet)
    {
        c.paintPageTiles(painter, page, sheet);
    }
    QImage tile(int page, int col, int row) const
    {
        const auto record = c.m_pageTiles.value(page);
        return record.tiles.value(row * record.cols + col);
    }
    bool requestBlock(int page, const QSize &size, int c0, int r0, int c1, int r1)
    {
        auto &record = c.pageTiles(page, size);
        const int before = int(c.m_requests.size());
        c.requestBlock(page, record, c0, r0, c1, r1);
        return c.m_requests.size() > before;
    }
    QSize recordSize(int page) const { return c.cachedPageSize(page); }
    void fakePage(int page, const QSize &size)
    {
        auto &record = c.pageTiles(page, size);
        QImage block(size, QImage::Format_ARGB32_Premultiplied);
        block.fill(Qt::white);
        c.storeBlock(record, block, 0, 0, record.cols - 1, record.rows - 1);
    }
    // Every tile of the page present, one small block per tile.
    void fillPage(int page, const QSize &size)
    {
        auto &record = c.pageTiles(page, size);
        for (int r = 0; r < record.rows; ++r) {
            for (int col = 0; col < record.cols; ++col) {
                QImage block(PdfCanvas::kTileSize, PdfCanvas::kTileSize, QImage::Format_ARGB32_Premultiplied);
                block.fill(Qt::white);
                c.storeBlock(record, block, col, r, col, r);
            }
        }
    }
    void setByteCap(qint64 cap) { c.m_byteCap = cap; }
    void evict() { c.evictTiles(); }
    QPdfPageRenderer *renderer() const { return c.m_renderer; }

private:
    PdfCanvas &c;
};

class TestCanvasTiles : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    QString pdf(const QString &name, const QList<QSizeF> &sizes)
    {
        const QString path = m_dir.filePath(name);
        if (!QFile::exists(path) && !TestUtil::writePdf(path, sizes, QStringLiteral("瓦片 tiles")))
            return QString();
        return path;
    }

    // A canvas that never prefetches, so every tile comes from a known call.
    // Its own first paints (and the relayout when the scroll bar appears)
    // happen in the event loop; let them pass before measuring.
    static void hideFromScreen(PdfCanvas &canvas)
    {
        canvas.setAttribute(Qt::WA_DontShowOnScreen);
        canvas.show();
        QTest::qWait(50);
    }
    static void settle(PdfCanvas &canvas)
    {
        Q_UNUSED(canvas);
        QTest::qWait(50);
    }

    static int darkPixels(const QImage &image)
    {
        int n = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if (qGray(image.pixel(x, y)) < 128 && qAlpha(image.pixel(x, y)) > 128)
                    ++n;
        return n;
    }

private slots:
    void tileKeyPacksFields()
    {
        QCOMPARE(PdfCanvas::tileKey(1, 2, 3, 4), 0x0001000200030004ull);
        // Only the generation's low 16 bits are kept.
        QCOMPARE(PdfCanvas::tileKey(0x10005, 0, 0, 0), 0x0005000000000000ull);
        QVERIFY(PdfCanvas::tileKey(1, 2, 3, 4) != PdfCanvas::tileKey(2, 2, 3, 4));
    }

    void smallPageHasOneTile()
    {
        PdfCanvas canvas;
        canvas.resize(800, 600);
        hideFromScreen(canvas);
        QVERIFY(canvas.openPdf(pdf(QStringLiteral("small.pdf"), { QSizeF(200, 150) })));
        CanvasTestAccess access(canvas);
        QImage target(800, 600, QImage::Format_ARGB32_Premultiplied);
        QPainter painter(&target);
        access.paintTiles(painter, 0, QRectF(10, 10, 300, 225));
        painter.end();
        QCOMPARE(canvas.tileGrid(0), QSize(1, 1));
        QCOMPARE(access.tile(0, 0, 0).size(), QSize(300, 225));
        QCOMPARE(canvas.syncRenderCount(), 1);
    }

    // Tiles cut out of block renders must put together the same page as one
    // whole render: the clip offsets and the one-pixel last column.
    void tilesAssembleThePage()
    {
        PdfCanvas canvas;
        canvas.resize(1200, 800);
        hideFromScreen(canvas);
        const QString path = pdf(QStringLiteral("wide.pdf"), { QSizeF(1025, 700) });
        QVERIFY(canvas.openPdf(path));
        CanvasTestAccess access(canvas);
        QImage target(canvas.viewport()->size(), QImage::Format_ARGB32_Premultiplied);
        target.fill(Qt::white);
        QPainter painter(&target);
        const QRectF sheet(0, 0, 1025, 700);
        // The upper right first (through the page number), so that some tiles
        // come from a block that does not start at the page origin.
        painter.setClipRect(QRect(515, 0, 510, 100));
        access.paintTiles(painter, 0, sheet);
        QCOMPARE(canvas.cachedTileCount(0), 2);
        painter.setClipping(false);
        access.paintTiles(painter, 0, sheet);
        painter.end();

        QCOMPARE(canvas.tileGrid(0), QSize(3, 2));
        QCOMPARE(access.tile(0, 2, 0).size(), QSize(1, 512));
        QCOMPARE(access.tile(0, 2, 1).size(), QSize(1, 188));
        QCOMPARE(access.tile(0, 0, 1).size(), QSize(512, 188));
        // One block render per paint, however many tiles were missing.
        QCOMPARE(canvas.syncRenderCount(), 2);

        QPdfDocument doc;
        doc.load(path);
        QImage whole(1025, 700, QImage::Format_ARGB32_Premultiplied);
        whole.fill(Qt::white);
        QPainter wp(&whole);
        wp.drawImage(0, 0, doc.render(0, QSize(1025, 700)));
        wp.end();
        const QImage painted = target.copy(0, 0, 1025, 700);
        QVERIFY(darkPixels(whole) > 500);
        int differing = 0;
        for (int y = 0; y < 700; ++y)
            for (int x = 0; x < 1025; ++x)
                if (qAbs(qGray(whole.pixel(x, y)) - qGray(painted.pixel(x, y))) > 64)
                    ++differing;
        QVERIFY2(differing < darkPixels(whole) / 200, qPrintable(QString::number(differing)));
    }

    void partialRepaintRendersOnlyClippedTiles()
    {
        PdfCanvas canvas;
        canvas.resize(1200, 900);
        hideFromScreen(canvas);
        QVERIFY(canvas.openPdf(pdf(QStringLiteral("big.pdf"), { QSizeF(1400, 1400) })));
        CanvasTestAccess access(canvas);
        QImage target(canvas.viewport()->size(), QImage::Format_ARGB32_Premultiplied);
        QPainter painter(&target);
        painter.setClipRect(QRect(600, 600, 40, 40));
        access.paintTiles(painter, 0, QRectF(0, 0, 1100, 1100));
        painter.end();
        QCOMPARE(canvas.tileGrid(0), QSize(3, 3));
        QCOMPARE(canvas.cachedTileCount(0), 1);
        QVERIFY(!access.tile(0, 1, 1).isNull());
        QCOMPARE(canvas.syncRenderCount(), 1);
    }

    void lateResultsAfterDropAreIgnored()
    {
        PdfCanvas canvas;
        canvas.resize(800, 600);
        hideFromScreen(canvas);
        QVERIFY(canvas.openPdf(pdf(QStringLiteral("tall.pdf"), { QSizeF(600, 2000) })));
        settle(canvas);
        CanvasTestAccess access(canvas);
        const QSize size(1000, 3000);
        QSignalSpy delivered(access.renderer(), &QPdfPageRenderer::pageRendered);
        QVERIFY(access.requestBlock(0, size, 0, 3, 1, 4));
        QCOMPARE(canvas.outstandingRequests(), 1);
        canvas.dropAllTiles();
        QCOMPARE(canvas.outstandingRequests(), 0);
        // A new record of the very same size: only the generation tells the
        // old answer apart.
        access.fakePage(0, QSize(1, 1));
        canvas.dropAllTiles();
        QImage target(800, 600, QImage::Format_ARGB32_Premultiplied);
        QPainter painter(&target);
        painter.setClipRect(QRect(0, 0, 10, 10));
        access.paintTiles(painter, 0, QRectF(0, 0, 1000, 3000));
        painter.end();
        QCOMPARE(access.recordSize(0), size);
        const int before = canvas.cachedTileCount(0);
        QTRY_VERIFY(delivered.count() >= 1);
        QCoreApplication::processEvents();
        QCOMPARE(canvas.cachedTileCount(0), before);
        QVERIFY(access.tile(0, 0, 3).isNull());
    }

    void prefetchFillsTilesBeyondTheView()
    {
        PdfCanvas canvas;
        canvas.resize(800, 600);
        canvas.show();
        QVERIFY(QTest::qWaitForWindowExposed(&canvas));
        QVERIFY(canvas.openPdf(pdf(QStringLiteral("tall.pdf"), { QSizeF(600, 2000) })));
        canvas.viewport()->repaint();
        const int afterPaint = canvas.cachedTileCount(0);
        QVERIFY(afterPaint > 0);
        QVERIFY(canvas.outstandingRequests() <= PdfCanvas::kMaxRequests);
        QTRY_VERIFY(canvas.cachedTileCount(0) > afterPaint);
        // Prefetched tiles cost no further synchronous render when shown.
        QTRY_COMPARE(canvas.outstandingRequests(), 0);
        const int renders = canvas.syncRenderCount();
        canvas.verticalScrollBar()->setValue(200);
        canvas.viewport()->repaint();
        QCOMPARE(canvas.syncRenderCount(), renders);
    }

    void evictionKeepsVisiblePagesOldestGoFirst()
    {
        PdfCanvas canvas;
        canvas.resize(800, 600);
        hideFromScreen(canvas);
        QVERIFY(canvas.openPdf(pdf(QStringLiteral("a4x6.pdf"), QList<QSizeF>(6, QSizeF(595, 842)))));
        CanvasTestAccess access(canvas);
        const QSize size(512, 512);
        // Painted order: 1, 0 (on screen), 2, 3, 4.
        for (const int page : { 1, 0, 2, 3, 4 })
            access.fakePage(page, size);
        const qint64 perPage = canvas.tileCacheBytes() / 5;
        // Room for three pages: two must go, the oldest off-screen ones.
        access.setByteCap(perPage * 3);
        access.evict();
        QCOMPARE(canvas.cachedPages(), QList<int>({ 0, 3, 4 }));
        QCOMPARE(canvas.tileCacheBytes(), perPage * 3);
        // With no room at all the page on screen still stays.
        access.setByteCap(0);
        access.evict();
        QCOMPARE(canvas.cachedPages(), QList<int>({ 0 }));
        QCOMPARE(canvas.tileCacheBytes(), perPage);
    }

    void hugePageIsTrimmedToTheView()
    {
        PdfCanvas canvas;
        canvas.resize(800, 600);
        hideFromScreen(canvas);
        QVERIFY(canvas.openPdf(pdf(QStringLiteral("a4x6.pdf"), QList<QSizeF>(6, QSizeF(595, 842)))));
        CanvasTestAccess access(canvas);
        const QSize size(5100, 5100); // 10 x 10 tiles, about 100 MiB
        access.fillPage(0, size);
        QVERIFY(canvas.tileCacheBytes() > PdfCanvas::kPageTrimBytes);
        QImage target(canvas.viewport()->size(), QImage::Format_ARGB32_Premultiplied);
        QPainter painter(&target);
        access.paintTiles(painter, 0, QRectF(QPointF(0, 0), QSizeF(size)));
        painter.end();
        // Only the tiles under the viewport (800 x 600: 2 x 2 tiles) stay.
        QCOMPARE(canvas.cachedTileCount(0), 4);
        QVERIFY(!access.tile(0, 1, 1).isNull());
        QVERIFY(access.tile(0, 2, 0).isNull());
        QCOMPARE(canvas.tileCacheBytes(), 4 * qint64(512 * 512 * 4));
    }

    void twoRendersOneMeasurement()
    {
        PdfCanvas canvas;
        canvas.resize(800, 600);
        hideFromScreen(canvas);
        QVERIFY(canvas.openPdf(pdf(QStringLiteral("a4x6.pdf"), QList<QSizeF>(6, QSizeF(595, 842)))));
        settle(canvas);
        const int rendersBefore = canvas.syncRenderCount();
        // Show the bottom of page 1 and the top of page 2.
        canvas.verticalScrollBar()->setValue(int(canvas.pageRect(1).top()) - 300);
        QSignalSpy spy(&canvas, &PdfCanvas::renderMeasured);
        canvas.viewport()->repaint();
        QCOMPARE(canvas.syncRenderCount(), rendersBefore + 2);
        QTRY_COMPARE(spy.count(), 1);
        QCoreApplication::processEvents();
        QCOMPARE(spy.count(), 1);
        // The second render was page 2's top block: full width, short.
        const QSize measured = spy.first().at(1).toSize();
        QCOMPARE(measured.width(), canvas.cachedPageSize(1).width());
        QVERIFY(measured.height() < canvas.cachedPageSize(1).height());
    }

    void thumbnailSize_data()
    {
        QTest::addColumn<QSizeF>("pagePt");
        QTest::addColumn<QSize>("requested");
        QTest::addColumn<QSize>("expected");
        QTest::newRow("huge square, natural width") << QSizeF(10000, 10000) << QSize(0, 0) << QSize(2048, 2048);
        QTest::newRow("ten times as high") << QSizeF(100, 1000) << QSize(2048, 0) << QSize(2048, 4096);
        QTest::newRow("asked width") << QSizeF(595, 842) << QSize(200, 0) << QSize(200, 283);
        QTest::newRow("natural width") << QSizeF(595, 842) << QSize(-1, -1) << QSize(595, 842);
    }

    void thumbnailSize()
    {
        QFETCH(QSizeF, pagePt);
        QFETCH(QSize, requested);
        QFETCH(QSize, expected);
        PdfCanvas canvas;
        QVERIFY(canvas.openPdf(pdf(QStringLiteral("thumb-%1x%2.pdf").arg(pagePt.width()).arg(pagePt.height()),
                                   { pagePt })));
        QCOMPARE(canvas.thumbnailSize(0, requested), expected);
    }

    void thumbnailArrivesAndIsForgottenOnReopen()
    {
        PdfCanvas canvas;
        const QString path = pdf(QStringLiteral("a4x6.pdf"), QList<QSizeF>(6, QSizeF(595, 842)));
        QVERIFY(canvas.openPdf(path));
        QCOMPARE(canvas.requestThumbnail(6, QSize(100, 0)), 0ull);
        QSignalSpy spy(&canvas, &PdfCanvas::thumbnailRendered);
        const quint64 id = canvas.requestThumbnail(2, QSize(120, 0));
        QVERIFY(id != 0);
        QTRY_COMPARE(spy.count(), 1);
        QCOMPARE(spy.first().at(0).toULongLong(), id);
        QCOMPARE(spy.first().at(1).value<QImage>().size(), QSize(120, 170));
        // A thumbnail of the previous document is never delivered.
        QVERIFY(canvas.requestThumbnail(3, QSize(120, 0)) != 0);
        QVERIFY(canvas.openPdf(path));
        QTest::qWait(300);
        QCOMPARE(spy.count(), 1);
    }

    void renderPageImageHasExactSize()
    {
        PdfCanvas canvas;
        QVERIFY(canvas.openPdf(pdf(QStringLiteral("a4x6.pdf"), QList<QSizeF>(6, QSizeF(595, 842)))));
        QCOMPARE(canvas.renderPageImage(0, QSize(3000, 5000)).size(), QSize(3000, 5000));
        QVERIFY(canvas.renderPageImage(6, QSize(100, 100)).isNull());
        QVERIFY(canvas.renderPageImage(-1, QSize(100, 100)).isNull());
    }
};

QTEST_MAIN(TestCanvasTiles)
#include "tst_canvas_tiles.moc"

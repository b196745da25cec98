#include "bench/bench.h"
#include "bench/benchrender_fling.h"
#include "bench/benchutil.h"

#include "bench/procinfo.h"
#include "canvas/pdfcanvas.h"
#include "island/inktoolbar.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QHash>
#include <QPdfDocument>
#include <QPdfDocumentRenderOptions>
#include <QScrollBar>
#include <QSet>

#include <algorithm>
#include <cmath>
#include <cstdio>

using BenchUtil::printLine;
using BenchUtil::printMs;
using BenchUtil::percentile;
using BenchUtil::msSince;

namespace {

constexpr int kBenchWidth = 1920;
constexpr int kBenchHeight = 1080;

// Lets prefetch results land, as they would between a user's page turns.
void settleRenderer(const PdfCanvas &canvas)
{
    const QDeadlineTimer deadline(2000);
    while (canvas.outstandingRequests() > 0 && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QCoreApplication::processEvents();
}

bool waitForExpose(QWidget &widget)
{
    const QDeadlineTimer deadline(5000);
    while (!widget.isVisible() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QCoreApplication::processEvents();
    return widget.isVisible();
}

// Plain QtPdf: load and render page 1 whole at the given device size.
double rawFirstRenderMs(const QString &file, const QSize &size, QImage *image)
{
    QElapsedTimer timer;
    timer.start();
    QPdfDocument raw;
    raw.load(file);
    QPdfDocumentRenderOptions options;
    options.setRenderFlags(QPdfDocumentRenderOptions::RenderFlag::Annotations);
    *image = raw.render(0, size, options);
    return msSince(timer);
}

QList<int> visiblePages(const PdfCanvas &canvas)
{
    QList<int> pages;
    const int height = canvas.viewport()->height();
    for (int page = 0; page < canvas.pageCount(); ++page) {
        const QRectF r = canvas.pageRect(page);
        if (r.bottom() < 0)
            continue;
        if (r.top() > height)
            break;
        pages.append(page);
    }
    return pages;
}

} // namespace

int runRenderBench(const QString &file)
{
    PdfCanvas canvas;
    new InkToolbar(&canvas);
    canvas.resize(kBenchWidth, kBenchHeight);
    canvas.show();
    waitForExpose(canvas);
    QWidget *view = canvas.viewport();
    const double ratio = std::max(view->devicePixelRatioF(), 1.0);

    // The page-1 size the canvas will use, from a throw-away layout, so the
    // raw render can run first: both then start with a cold process, and
    // the raw one pays the library's one-time start-up.
    QSize firstSheet;
    {
        PdfCanvas probe;
        probe.resize(kBenchWidth, kBenchHeight);
        probe.setAttribute(Qt::WA_DontShowOnScreen);
        probe.show();
        waitForExpose(probe);
        if (!probe.openPdf(file))
            firstSheet = QSize(kBenchWidth, kBenchHeight);
        else
            firstSheet = (probe.pageRect(0).size() * ratio).toSize();
    }
    QImage rawImage;
    const double rawColdMs = rawFirstRenderMs(file, firstSheet, &rawImage);

    qint64 firstRenderMs = -1;
    QObject::connect(&canvas, &PdfCanvas::renderMeasured, &canvas, [&](qlonglong ms, QSize) {
        if (firstRenderMs < 0)
            firstRenderMs = ms;
    });

    QElapsedTimer timer;
    timer.start();
    QString error;
    if (!canvas.openPdf(file, &error)) {
        std::fprintf(stderr, "--bench: %s\n", error.toUtf8().constData());
        return 1;
    }
    const double openMs = msSince(timer);

    timer.restart();
    view->repaint();
    const double firstPaintMs = msSince(timer);

    // A reader's fling from page 2, while the canvas is still fresh.
    const FlingFigures fling = runFling(canvas, 100, 2.0);
    canvas.goToPage(0);
    settleRenderer(canvas);

    // Page through the whole document one viewport at a time. A page is
    // painted cold in a frame when that frame had to render some of it.
    QScrollBar *bar = canvas.verticalScrollBar();
    const int step = std::max(view->height(), 1);
    QList<double> frames;
    qint64 cachePeak = canvas.tileCacheBytes();
    QSet<int> seen;
    int coldPaints = 0;
    const int rendersAtStart = canvas.syncRenderCount();
    for (const int page : visiblePages(canvas)) {
        seen.insert(page);
        coldPaints += canvas.cachedTileCount(page) > 0 ? 1 : 0;
    }
    int y = 0;
    while (y < bar->maximum()) {
        settleRenderer(canvas);
        y = std::min(y + step, bar->maximum());
        bar->setValue(y);
        const QList<int> pages = visiblePages(canvas);
        QHash<int, int> before;
        for (const int page : pages)
            before.insert(page, canvas.cachedTileCount(page));
        timer.restart();
        view->repaint();
        frames.append(msSince(timer));
        for (const int page : pages) {
            seen.insert(page);
            if (canvas.cachedTileCount(page) > before.value(page))
                ++coldPaints;
        }
        cachePeak = std::max(cachePeak, canvas.tileCacheBytes());
    }
    settleRenderer(canvas);
    QCoreApplication::processEvents();
    const int syncRenders = canvas.syncRenderCount();
    const int pages = canvas.pageCount();
    const double rssPeak = peakRssMb();
    canvas.closeDocument();

    // Once more with everything warm, for comparison.
    QImage warmImage;
    const double rawWarmMs = rawFirstRenderMs(file, firstSheet, &warmImage);

    auto ratioText = [&](double raw) {
        return raw > 0 ? QString::number((openMs + firstPaintMs) / raw, 'f', 3) : QStringLiteral("nan");
    };
    printLine("pages", QString::number(pages));
    printMs("open_ms", openMs);
    printMs("first_paint_ms", firstPaintMs);
    printLine("first_render_ms", QString::number(firstRenderMs));
    printLine("frames", QString::number(frames.size()));
    printMs("page_paint_ms_median", percentile(frames, 0.5));
    printMs("page_paint_ms_p95", percentile(frames, 0.95));
    printLine("sync_renders", QString::number(syncRenders));
    printLine("sync_renders_paging", QString::number(syncRenders - rendersAtStart));
    printLine("cold_page_paints", QString::number(coldPaints));
    printLine("pages_painted", QString::number(seen.size()));
    printLine("tile_cache_peak_mb", QString::number(double(cachePeak) / 1048576.0, 'f', 1));
    printLine("rss_peak_mb", QString::number(rssPeak, 'f', 1));
    printLine("fling_pages", QString::number(fling.pages));
    printLine("fling_frames", QString::number(fling.frames));
    printLine("fling_slow_frame_pct", QString::number(fling.slowFramePct, 'f', 1));
    printMs("fling_frame_ms_p95", fling.frameMsP95);
    printLine("fling_sync_renders", QString::number(fling.syncRenders));
    printMs("raw_first_render_ms", rawColdMs);
    printMs("raw_warm_render_ms", rawWarmMs);
    printLine("raw_render_size", QStringLiteral("%1x%2").arg(firstSheet.width()).arg(firstSheet.height()));
    printLine("overhead_ratio", ratioText(rawColdMs));
    printLine("overhead_ratio_warm", ratioText(rawWarmMs));
    const int gridResult = runGridBench(file);
    return rawImage.isNull() || gridResult != 0 ? 1 : 0;
}

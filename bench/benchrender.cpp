#include "bench/bench.h"

#include "bench/procinfo.h"
#include "canvas/pdfcanvas.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QMainWindow>
#include <QPdfDocument>
#include <QPdfDocumentRenderOptions>
#include <QScrollBar>
#include <QSet>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

constexpr int kBenchWidth = 1920;
constexpr int kBenchHeight = 1080;

void printLine(const char *key, const QString &value)
{
    std::printf("%s=%s\n", key, value.toUtf8().constData());
    std::fflush(stdout);
}

void printMs(const char *key, double ms)
{
    printLine(key, QString::number(ms, 'f', 2));
}

double percentile(QList<double> values, double p)
{
    if (values.isEmpty())
        return 0;
    std::sort(values.begin(), values.end());
    // Nearest rank.
    const int rank = std::clamp(int(std::ceil(p * values.size())) - 1, 0, int(values.size()) - 1);
    return values.at(rank);
}

double msSince(const QElapsedTimer &timer)
{
    return double(timer.nsecsElapsed()) / 1e6;
}

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

} // namespace

int runRenderBench(const QString &file)
{
    PdfCanvas canvas;
    canvas.resize(kBenchWidth, kBenchHeight);
    canvas.show();
    waitForExpose(canvas);

    QElapsedTimer timer;
    timer.start();
    QString error;
    if (!canvas.openPdf(file, &error)) {
        std::fprintf(stderr, "--bench: %s\n", error.toUtf8().constData());
        return 1;
    }
    const double openMs = msSince(timer);

    QWidget *view = canvas.viewport();
    timer.restart();
    view->repaint();
    const double firstPaintMs = msSince(timer);
    const QSize firstSheet =
            (canvas.pageRect(0).size() * std::max(view->devicePixelRatioF(), 1.0)).toSize();

    // Page through the whole document one viewport at a time.
    QScrollBar *bar = canvas.verticalScrollBar();
    const int step = std::max(view->height(), 1);
    QList<double> frames;
    qint64 cachePeak = canvas.tileCacheBytes();
    QSet<int> seen;
    int coldPages = 0;
    auto countCold = [&]() {
        for (int page = 0; page < canvas.pageCount(); ++page) {
            const QRectF r = canvas.pageRect(page);
            if (r.bottom() < 0)
                continue;
            if (r.top() > view->height())
                break;
            if (!seen.contains(page)) {
                seen.insert(page);
                ++coldPages;
            }
        }
    };
    countCold();
    for (int y = step; y <= bar->maximum() + step - 1; y += step) {
        settleRenderer(canvas);
        bar->setValue(std::min(y, bar->maximum()));
        countCold();
        timer.restart();
        view->repaint();
        frames.append(msSince(timer));
        cachePeak = std::max(cachePeak, canvas.tileCacheBytes());
        if (bar->value() >= bar->maximum())
            break;
    }
    settleRenderer(canvas);
    const int syncRenders = canvas.syncRenderCount();
    const int pages = canvas.pageCount();
    const double rssPeak = peakRssMb();
    canvas.closeDocument();

    // The same first render without the canvas, after it: the canvas paid
    // the one-time library start-up, so the ratio is not flattered.
    timer.restart();
    QPdfDocument raw;
    raw.load(file);
    QPdfDocumentRenderOptions options;
    options.setRenderFlags(QPdfDocumentRenderOptions::RenderFlag::Annotations);
    const QImage image = raw.render(0, firstSheet, options);
    const double rawMs = msSince(timer);

    printLine("pages", QString::number(pages));
    printMs("open_ms", openMs);
    printMs("first_paint_ms", firstPaintMs);
    printLine("frames", QString::number(frames.size()));
    printMs("page_paint_ms_median", percentile(frames, 0.5));
    printMs("page_paint_ms_p95", percentile(frames, 0.95));
    printLine("sync_renders", QString::number(syncRenders));
    printLine("cold_pages", QString::number(coldPages));
    printLine("tile_cache_peak_mb", QString::number(double(cachePeak) / 1048576.0, 'f', 1));
    printLine("rss_peak_mb", QString::number(rssPeak, 'f', 1));
    printMs("raw_first_render_ms", rawMs);
    printLine("raw_first_render_size", QStringLiteral("%1x%2").arg(image.width()).arg(image.height()));
    printLine("overhead_ratio", rawMs > 0 ? QString::number((openMs + firstPaintMs) / rawMs, 'f', 3)
                                          : QStringLiteral("nan"));
    return image.isNull() ? 1 : 0;
}

int runOpenBench(const QString &file)
{
    const qint64 startedBefore = processUptimeMs();
    QElapsedTimer timer;
    timer.start();

    QMainWindow window;
    auto *canvas = new PdfCanvas(&window);
    window.setCentralWidget(canvas);
    window.resize(kBenchWidth, kBenchHeight);
    window.show();
    QString error;
    if (!canvas->openPdf(file, &error)) {
        std::fprintf(stderr, "--bench-open: %s\n", error.toUtf8().constData());
        return 1;
    }
    // The first frame with page 1's tiles is the first painted page.
    const QDeadlineTimer deadline(30000);
    while (canvas->syncRenderCount() == 0 && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    const double inProcessMs = msSince(timer);
    if (canvas->syncRenderCount() == 0) {
        std::fprintf(stderr, "--bench-open: no page was painted\n");
        return 1;
    }
    printLine("pages", QString::number(canvas->pageCount()));
    printLine("process_start_ms", QString::number(startedBefore));
    printMs("bench_open_ms", inProcessMs);
    printMs("start_to_first_paint_ms",
            inProcessMs + double(std::max<qint64>(startedBefore, 0)));
    return 0;
}

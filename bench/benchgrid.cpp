#include "bench/bench.h"
#include "bench/benchutil.h"

#include "bench/procinfo.h"
#include "canvas/pagegrid.h"
#include "canvas/pdfcanvas.h"
#include "island/inktoolbar.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFont>
#include <QMouseEvent>
#include <QPainter>
#include <QPdfDocument>
#include <QPdfWriter>
#include <QScrollArea>
#include <QScrollBar>
#include <QTemporaryDir>

#include <algorithm>
#include <cmath>
#include <cstdio>

// The page grid on a long document: opening it from the page button, a
// finger dragging through every row, and what that costs in memory.

using BenchUtil::printLine;
using BenchUtil::printMs;
using BenchUtil::percentile;
using BenchUtil::msSince;

namespace {

constexpr int kBenchWidth = 1920;
constexpr int kBenchHeight = 1080;
// Shorter documents do not show what the grid does with thousands of cells.
constexpr int kLongDocumentPages = 1000;
constexpr int kGeneratedPages = 2415;
// About 1500 px/s at 60 frames a second: a brisk flick.
constexpr int kDragStepPx = 24;

int pageCountOf(const QString &file)
{
    QPdfDocument document;
    document.load(file);
    return document.status() == QPdfDocument::Status::Ready ? document.pageCount() : 0;
}

void sendMouse(QWidget *target, QEvent::Type type, const QPoint &global, Qt::MouseButtons buttons)
{
    const QPointF local = target->mapFromGlobal(QPointF(global));
    QMouseEvent event(type, local, local, QPointF(global), Qt::LeftButton, buttons, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &event);
}

// Counts cell paints, to show that frames really drew cells.
class PaintCounter : public QObject
{
public:
    int cellPaints = 0;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && qobject_cast<PageGrid::PageCell *>(watched))
            ++cellPaints;
        return false;
    }
};

} // namespace

int runGridBench(const QString &file)
{
    QTemporaryDir temp;
    QString path = file;
    const bool generate = pageCountOf(file) < kLongDocumentPages;
    if (generate) {
        path = temp.filePath(QStringLiteral("grid-bench.pdf"));
        QElapsedTimer writing;
        writing.start();
        if (!temp.isValid() || !BenchUtil::writeLessonPdf(path, kGeneratedPages, 20)) {
            std::fprintf(stderr, "--bench: cannot write the long grid document\n");
            return 1;
        }
        printMs("grid_generate_ms", msSince(writing));
    }
    printLine("grid_generated_document", generate ? QStringLiteral("1") : QStringLiteral("0"));

    PdfCanvas canvas;
    new InkToolbar(&canvas);
    canvas.resize(kBenchWidth, kBenchHeight);
    QString error;
    if (!canvas.openPdf(path, &error)) {
        std::fprintf(stderr, "--bench: %s\n", error.toUtf8().constData());
        return 1;
    }
    canvas.show();
    const QDeadlineTimer exposed(5000);
    while (!canvas.isVisible() && !exposed.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    canvas.viewport()->repaint();
    const QDeadlineTimer settled(3000);
    while (canvas.outstandingRequests() > 0 && !settled.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QCoreApplication::processEvents();
    const double rssBefore = currentRssMb();

    PaintCounter counter;
    qApp->installEventFilter(&counter);
    qint64 thumbnailsDelivered = 0;
    QObject::connect(&canvas, &PdfCanvas::thumbnailRendered, &canvas,
                     [&] { ++thumbnailsDelivered; });

    // The page button's first click creates the grid and opens it; the
    // frame it asks for is painted at once here.
    const int rendersBefore = canvas.syncRenderCount();
    QElapsedTimer timer;
    timer.start();
    auto *grid = new PageGrid(&canvas, nullptr);
    grid->openGrid();
    grid->repaint();
    const double firstOpenMs = msSince(timer);
    const int firstFrameCells = counter.cellPaints;
    const int rendersAfterOpen = canvas.syncRenderCount();
    const double rssAfterOpen = currentRssMb();

    grid->hide();
    QCoreApplication::processEvents();
    timer.restart();
    grid->openGrid();
    grid->repaint();
    const double reopenMs = msSince(timer);

    // Drag through every row: a finger lands on a cell near the bottom of
    // the view, slides up to the top, lifts, and lands again.
    QScrollArea *area = grid->scrollArea();
    QScrollBar *bar = area->verticalScrollBar();
    bar->setValue(0);
    QCoreApplication::processEvents();
    QWidget *view = area->viewport();
    QWidget *container = area->widget();
    QList<double> frames;
    qint64 peakBytes = grid->thumbnailBytes();
    int gestures = 0;
    const QDeadlineTimer dragLimit(600000);
    while (bar->value() < bar->maximum() && !dragLimit.hasExpired()) {
        // The lowest cell of the first column that the view shows.
        PageGrid::PageCell *cell = nullptr;
        QPoint landing(grid->cell(0)->width() / 2, view->height() - 2);
        for (; landing.y() > 0 && !cell; landing.ry() -= 4)
            cell = qobject_cast<PageGrid::PageCell *>(
                    container->childAt(container->mapFrom(view, landing)));
        if (!cell)
            break;
        const QPoint start = view->mapToGlobal(landing);
        sendMouse(cell, QEvent::MouseButtonPress, start, Qt::LeftButton);
        int travelled = 0;
        const int reach = view->height() - cell->height();
        while (travelled < reach && bar->value() < bar->maximum()) {
            travelled = std::min(travelled + kDragStepPx, reach);
            timer.restart();
            sendMouse(cell, QEvent::MouseMove, start - QPoint(0, travelled), Qt::LeftButton);
            QCoreApplication::processEvents();
            frames.append(msSince(timer));
            peakBytes = std::max(peakBytes, grid->thumbnailBytes());
        }
        sendMouse(cell, QEvent::MouseButtonRelease, start - QPoint(0, travelled), Qt::NoButton);
        ++gestures;
    }
    const bool reachedEnd = bar->value() == bar->maximum();
    const QDeadlineTimer drain(5000);
    while (grid->requestsInFlight() > 0 && !drain.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    peakBytes = std::max(peakBytes, grid->thumbnailBytes());
    int shownCells = 0;
    for (int i = 0; i < grid->cellCount(); ++i)
        shownCells += grid->cell(i)->isHidden() ? 0 : 1;
    const double rssAfter = currentRssMb();
    qApp->removeEventFilter(&counter);

    printLine("grid_pages", QString::number(grid->cellCount()));
    printLine("grid_columns", QString::number(grid->columns()));
    printMs("grid_first_open_to_frame_ms", firstOpenMs);
    printLine("grid_first_frame_cells", QString::number(firstFrameCells));
    printMs("grid_reopen_to_frame_ms", reopenMs);
    printLine("grid_open_sync_renders", QString::number(rendersAfterOpen - rendersBefore));
    printLine("grid_drag_frames", QString::number(frames.size()));
    printLine("grid_drag_gestures", QString::number(gestures));
    printLine("grid_drag_reached_end", reachedEnd ? QStringLiteral("1") : QStringLiteral("0"));
    printMs("grid_drag_frame_ms_median", percentile(frames, 0.5));
    printMs("grid_drag_frame_ms_p95", percentile(frames, 0.95));
    printMs("grid_drag_frame_ms_max", percentile(frames, 1.0));
    printLine("grid_sync_renders_total", QString::number(canvas.syncRenderCount() - rendersBefore));
    printLine("grid_thumbnails_delivered", QString::number(thumbnailsDelivered));
    printLine("grid_thumbnails_held", QString::number(grid->thumbnailCount()));
    printLine("grid_thumbnail_peak_bytes", QString::number(peakBytes));
    printLine("grid_cells_shown", QString::number(shownCells));
    printLine("grid_rss_before_mb", QString::number(rssBefore, 'f', 1));
    printLine("grid_rss_after_open_mb", QString::number(rssAfterOpen, 'f', 1));
    printLine("grid_rss_after_scroll_mb", QString::number(rssAfter, 'f', 1));
    delete grid;
    return reachedEnd ? 0 : 1;
}

#include "bench/benchrender_fling.h"

#include "bench/benchutil.h"
#include "canvas/pdfcanvas.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHash>
#include <QScrollBar>
#include <QSet>

#include <algorithm>
#include <cmath>

namespace {

constexpr double kFrameMs = 1000.0 / 60.0;

QList<int> shownPages(const PdfCanvas &canvas)
{
    QList<int> pages;
    const int height = canvas.viewport()->height();
    for (int page = canvas.currentPage(); page < canvas.pageCount(); ++page) {
        const QRectF r = canvas.pageRect(page);
        if (r.top() > height)
            break;
        pages.append(page);
    }
    return pages;
}

} // namespace

FlingFigures runFling(PdfCanvas &canvas, int pages, double pagesPerSecond)
{
    FlingFigures figures;
    QWidget *view = canvas.viewport();
    QScrollBar *bar = canvas.verticalScrollBar();
    const int first = std::min(1, canvas.pageCount() - 1);
    const int last = std::min(first + pages, canvas.pageCount() - 1);
    if (first < 0 || last <= first)
        return figures;
    canvas.goToPage(first);
    view->repaint();
    const double from = canvas.pageRect(first).top() + bar->value();
    const double to = canvas.pageRect(last).top() + bar->value();
    const double pxPerFrame = (to - from) / (last - first) * pagesPerSecond / 60.0;
    figures.pages = last - first;

    QList<double> frames;
    QSet<int> onScreen;
    double y = from;
    QElapsedTimer frame;
    while (y < to && bar->value() < bar->maximum()) {
        frame.start();
        y = std::min(y + pxPerFrame, to);
        bar->setValue(int(std::lround(y)));
        QHash<int, int> before;
        for (const int page : shownPages(canvas))
            before.insert(page, canvas.cachedTileCount(page));
        view->repaint();
        frames.append(BenchUtil::msSince(frame));
        // A page whose tiles grew inside the paint was rendered on screen.
        for (auto it = before.cbegin(); it != before.cend(); ++it) {
            if (canvas.cachedTileCount(it.key()) > it.value())
                onScreen.insert(it.key());
        }
        // The rest of the frame belongs to the event loop: finished
        // prefetches land, background work runs.
        while (BenchUtil::msSince(frame) < kFrameMs) {
            const int left = int(kFrameMs - BenchUtil::msSince(frame));
            QCoreApplication::processEvents(QEventLoop::AllEvents, std::max(left, 1));
        }
    }
    figures.syncRenders = int(onScreen.size());
    figures.frames = int(frames.size());
    const auto slow = std::count_if(frames.cbegin(), frames.cend(),
                                    [](double ms) { return ms > kFrameMs; });
    figures.slowFramePct = frames.isEmpty() ? 0 : 100.0 * double(slow) / double(frames.size());
    figures.frameMsP95 = BenchUtil::percentile(frames, 0.95);
    return figures;
}

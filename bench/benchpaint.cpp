#include "bench/bench.h"
#include "bench/benchutil.h"
#include "bench/benchinput.h"

#include "ui/theme.h"
#include "canvas/pdfcanvas.h"
#include "island/inktoolbar.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonObject>
#include <QMouseEvent>
#include <QRandomGenerator>

#include <algorithm>
#include <cmath>
#include <cstdio>

// --bench-paint: the cost of writing on a page that already carries a lot of
// ink. Each section is its own function so further input kinds (touch,
// erasing) can be measured the same way on the same prepared canvas.

using BenchUtil::printMs;
using BenchUtil::percentile;
using BenchUtil::msSince;

namespace {

constexpr int kBenchWidth = 3840;
constexpr int kBenchHeight = 2160;
constexpr int kInkStrokes = 2000;
constexpr int kLiveSamples = 600;

void printRatio(const char *key, double value)
{
    std::printf("%s=%.5f\n", key, value);
    std::fflush(stdout);
}

// Processes events until the canvas has painted at least once more.
bool waitForPaint(int paintsBefore)
{
    const QDeadlineTimer deadline(2000);
    while (PdfCanvas::paintCount() == paintsBefore && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    return PdfCanvas::paintCount() != paintsBefore;
}

void settle(const PdfCanvas &canvas)
{
    const QDeadlineTimer deadline(5000);
    while ((!canvas.isVisible() || canvas.outstandingRequests() > 0) && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QCoreApplication::processEvents();
}


void sendMouse(QWidget *target, QEvent::Type type, const QPointF &pos, Qt::MouseButton button,
               Qt::MouseButtons buttons)
{
    QMouseEvent event(type, pos, target->mapToGlobal(pos), button, buttons, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &event);
}

double fullRepaintMs(PdfCanvas &canvas)
{
    QList<double> times;
    for (int i = 0; i < 5; ++i) {
        QElapsedTimer timer;
        timer.start();
        canvas.viewport()->repaint();
        times.append(msSince(timer));
    }
    return percentile(times, 0.5);
}

// One live mouse stroke: a wave across the page, each sample painted before
// the next arrives. Ends with the release (commit) and an undo.
void benchMouseStroke(PdfCanvas &canvas)
{
    QWidget *view = canvas.viewport();
    const QRectF page = canvas.pageRect(0).intersected(QRectF(view->rect()));
    const double viewArea = double(view->width()) * view->height();
    auto sample = [&](int i) {
        const double t = double(i) / kLiveSamples;
        return QPointF(page.left() + page.width() * (0.1 + 0.8 * t),
                       page.top() + page.height() * (0.5 + 0.2 * std::sin(t * 12)));
    };

    QList<double> sampleMs;
    QList<double> dirtyRatio;
    sendMouse(view, QEvent::MouseButtonPress, sample(0), Qt::LeftButton, Qt::LeftButton);
    waitForPaint(PdfCanvas::paintCount() - 1);
    QCoreApplication::processEvents();
    for (int i = 1; i <= kLiveSamples; ++i) {
        const int before = PdfCanvas::paintCount();
        QElapsedTimer timer;
        timer.start();
        sendMouse(view, QEvent::MouseMove, sample(i), Qt::NoButton, Qt::LeftButton);
        waitForPaint(before);
        sampleMs.append(msSince(timer));
        const QRect dirty = canvas.lastInkDirtyRect();
        dirtyRatio.append(double(dirty.width()) * dirty.height() / viewArea);
    }

    int before = PdfCanvas::paintCount();
    QElapsedTimer timer;
    timer.start();
    sendMouse(view, QEvent::MouseButtonRelease, sample(kLiveSamples), Qt::LeftButton,
              Qt::NoButton);
    waitForPaint(before);
    const double commitMs = msSince(timer);

    before = PdfCanvas::paintCount();
    timer.restart();
    canvas.undo();
    waitForPaint(before);
    const double undoMs = msSince(timer);

    printMs("sample_ms_median", percentile(sampleMs, 0.5), 3);
    printMs("sample_ms_p99", percentile(sampleMs, 0.99), 3);
    printRatio("dirty_area_ratio_median", percentile(dirtyRatio, 0.5));
    printMs("full_repaint_ms", fullRepaintMs(canvas), 3);
    printMs("commit_ms", commitMs, 3);
    printMs("undo_ms", undoMs, 3);
}

// Full repaints with the ink island at rest, faded and hidden: the fade's
// opacity effect must cost no more than the island's own area. The states
// take turns so drift on a busy machine hits all three alike.
void benchIsland(PdfCanvas &canvas)
{
    constexpr int kRounds = 8;
    constexpr int kFramesPerRound = 8;
    InkToolbar *island = canvas.inkToolbar();
    const bool reduced = reduceMotion();
    setReduceMotion(true);
    QList<double> rest, faded, hidden;
    const auto frames = [&canvas](QList<double> &into) {
        canvas.viewport()->repaint();
        for (int i = 0; i < kFramesPerRound; ++i) {
            QElapsedTimer timer;
            timer.start();
            canvas.viewport()->repaint();
            into.append(msSince(timer));
        }
    };
    for (int round = 0; round < kRounds; ++round) {
        island->show();
        island->setFaded(false);
        frames(rest);
        island->setFaded(true);
        frames(faded);
        island->setFaded(false);
        island->hide();
        frames(hidden);
    }
    island->show();
    setReduceMotion(reduced);
    printMs("island_rest_repaint_ms", percentile(rest, 0.5), 3);
    printMs("island_faded_repaint_ms", percentile(faded, 0.5), 3);
    printMs("island_hidden_repaint_ms", percentile(hidden, 0.5), 3);
}

} // namespace

int runPaintBench(const QString &file)
{
    PdfCanvas canvas;
    new InkToolbar(&canvas);
    canvas.resize(kBenchWidth, kBenchHeight);
    canvas.show();
    QString error;
    if (!canvas.openPdf(file, &error)) {
        std::fprintf(stderr, "--bench-paint: %s\n", error.toUtf8().constData());
        return 1;
    }
    settle(canvas);
    // Before the ink arrives, so the pages alone set the baseline.
    benchIsland(canvas);
    canvas.importAnnotations(generatedInk(kInkStrokes, 20240601));
    canvas.viewport()->repaint();
    settle(canvas);
    std::printf("strokes=%d\n", canvas.strokeCount());
    benchMouseStroke(canvas);
    benchTouchInput(canvas);
    benchErasing(canvas, 200);
    benchErasing(canvas, 2000);
    return 0;
}

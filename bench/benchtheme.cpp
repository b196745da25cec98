#include "bench/bench.h"
#include "bench/benchutil.h"

#include "app/mainwindow.h"
#include "ui/theme.h"
#include "canvas/pagegrid.h"
#include "canvas/pdfcanvas.h"
#include "island/inktoolbar.h"
#include "island/palettecards.h"
#include "pages/settingspage.h"
#include "system/settings.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QToolButton>

#include <cstdio>

// --bench-theme: the time from a theme setting change to the repainted
// window, with several documents open and the island, a card and the page
// overview showing; no page may be rendered again for it.

using BenchUtil::msSince;
using BenchUtil::percentile;
using BenchUtil::printLine;
using BenchUtil::printMs;

namespace {

constexpr int kDocuments = 5;
constexpr int kSwitches = 16;

void settle(const MainWindow &window)
{
    const QDeadlineTimer deadline(10000);
    const auto busy = [&window] {
        for (int i = 0; i < window.documentCount(); ++i) {
            if (window.canvas(i)->outstandingRequests() > 0)
                return true;
        }
        return false;
    };
    while (busy() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QCoreApplication::processEvents();
}

// Work the pages cost: synchronous renders, tile requests and thumbnails.
struct RenderWork
{
    qint64 syncRenders = 0;
    qint64 requests = 0;
    quint64 generations = 0;
    int thumbnails = 0;
};

RenderWork renderWork(const MainWindow &window)
{
    RenderWork work;
    for (int i = 0; i < window.documentCount(); ++i) {
        const PdfCanvas *canvas = window.canvas(i);
        work.syncRenders += canvas->syncRenderCount();
        work.requests += canvas->outstandingRequests();
        work.generations += canvas->tileGeneration();
        if (const PageGrid *grid = canvas->inkToolbar()->pageGrid())
            work.thumbnails += grid->thumbnailCount();
    }
    return work;
}

} // namespace

int runThemeBench(const QString &file)
{
    QTemporaryDir dir;
    if (!dir.isValid())
        return 1;
    // The bench writes the theme settings; the user's own come back after.
    const int oldMode = themeMode();
    const int oldPreset = themePreset();
    const int oldStyle = themeStyle();

    MainWindow window;
    window.resize(1920, 1080);
    window.show();
    for (int i = 0; i < kDocuments; ++i) {
        const QString copy = dir.filePath(QStringLiteral("doc%1.pdf").arg(i));
        if (!QFile::copy(file, copy)) {
            std::fprintf(stderr, "--bench-theme: cannot copy %s\n", qPrintable(file));
            return 1;
        }
        window.openPath(copy);
    }
    if (window.documentCount() != kDocuments) {
        std::fprintf(stderr, "--bench-theme: %s did not open\n", qPrintable(file));
        return 1;
    }
    settle(window);
    InkToolbar *island = window.currentCanvas()->inkToolbar();
    island->button(InkToolbar::Button::Page)->click();
    settle(window);
    // The island shows one overlay at a time; both are put up here so that
    // both are restyled and repainted.
    island->penPalette()->popUp(island->button(InkToolbar::Button::Pen));
    settle(window);
    const PageGrid *grid = island->pageGrid();
    // Let the overview's thumbnails arrive before counting them.
    for (int seen = -1; grid && grid->thumbnailCount() != seen;) {
        seen = grid->thumbnailCount();
        const QDeadlineTimer pause(300);
        while (!pause.hasExpired())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    printLine("documents", QString::number(window.documentCount()));
    printLine("island_visible", QString::number(island->isVisible()));
    printLine("card_visible", QString::number(island->penPalette()->isVisible()));
    printLine("grid_visible", QString::number(grid && grid->isVisible()));

    const RenderWork before = renderWork(window);
    QList<double> times;
    QList<double> catchUp;
    int unpainted = 0;
    for (int i = 0; i < kSwitches; ++i) {
        // Light and dark in turn, walking through the presets and styles.
        setThemeMode(1 + i % 2);
        setThemePreset((i / 2) % 8);
        setThemeStyle((i / 4) % 4);
        QElapsedTimer timer;
        timer.start();
        const int paintsBefore = PdfCanvas::paintCount();
        emit window.settingsPage()->themeChanged();
        // What the event loop does next: posted events (polish, layout and
        // the window's update request, which paints) before any timer.
        QCoreApplication::sendPostedEvents();
        times.append(msSince(timer));
        if (PdfCanvas::paintCount() == paintsBefore)
            ++unpainted;
        // Documents out of sight follow one per turn of the event loop.
        const QDeadlineTimer deadline(5000);
        while (window.canvasesAwaitingTheme() > 0 && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        catchUp.append(msSince(timer));
    }
    settle(window);
    const RenderWork after = renderWork(window);
    printLine("switches", QString::number(kSwitches));
    printLine("switches_without_repaint", QString::number(unpainted));
    printMs("theme_switch_ms_median", percentile(times, 0.5));
    printMs("theme_switch_ms_p90", percentile(times, 0.9));
    printMs("theme_switch_ms_max", percentile(times, 1.0));
    printMs("hidden_documents_restyled_ms_median", percentile(catchUp, 0.5));
    printLine("tiles_rendered_during_switches",
              QString::number(after.syncRenders - before.syncRenders + after.requests));
    printLine("tiles_dropped_during_switches", QString::number(after.generations - before.generations));
    printLine("thumbnails_before", QString::number(before.thumbnails));
    printLine("thumbnails_after", QString::number(after.thumbnails));

    setThemeMode(oldMode);
    setThemePreset(oldPreset);
    setThemeStyle(oldStyle);
    return 0;
}

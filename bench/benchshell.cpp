#include "bench/bench.h"
#include "bench/benchutil.h"

#include "app/documenttabstrip.h"
#include "app/mainwindow.h"
#include "app/transitionlayer.h"
#include "bench/procinfo.h"
#include "canvas/pdfcanvas.h"
#include "pages/homepage.h"
#include "pages/homepage_probe.h"
#include "pages/homepage_row.h"
#include "system/settings.h"
#include "system/settingsstore.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFont>
#include <QMouseEvent>
#include <QPainter>
#include <QPdfWriter>
#include <QSettings>
#include <QStackedWidget>
#include <QThread>
#include <QVariantAnimation>
#include <QWheelEvent>

#include <cstdio>

// The window's shell under load: a page switch at 4K, twenty long documents
// visited through their tabs, and the home page with dead recent entries.

using BenchUtil::msSince;
using BenchUtil::percentile;
using BenchUtil::printLine;
using BenchUtil::printMs;

namespace {

constexpr int kDocuments = 20;
constexpr int kPagesPerDocument = 300;
constexpr int kFrameStepMs = 16;
// A dead share answers after this long (a real one can take far longer).
constexpr int kDeadShareMs = 3000;

void settle(int ms)
{
    const QDeadlineTimer deadline(ms);
    while (!deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

// Runs a started transition frame by frame, timing each frame's paint.
void stepTransition(MainWindow &window, QList<double> *frames, QList<double> *cpu)
{
    QVariantAnimation *animation = window.transitionAnimation();
    if (!window.isTransitionRunning())
        return;
    animation->pause();
    for (int t = kFrameStepMs; t < animation->duration(); t += kFrameStepMs) {
        QElapsedTimer frame;
        frame.start();
        const double cpuStart = threadCpuMs();
        animation->setCurrentTime(t);
        frames->append(msSince(frame));
        cpu->append(threadCpuMs() - cpuStart);
    }
    animation->resume();
    animation->setCurrentTime(animation->duration());
    window.finishTransition();
}

int transitionBench(const QString &folder)
{
    const QString pdf = folder + QStringLiteral("/transition.pdf");
    if (!BenchUtil::writeLessonPdf(pdf, 6, 24)) {
        std::fprintf(stderr, "--bench-shell: cannot write %s\n", qPrintable(pdf));
        return 1;
    }
    MainWindow window;
    window.resize(3840, 2160);
    window.show();
    settle(200);
    // The pictures' memory, on pages whose own content never changes: the
    // first switches at this size, to the settings page and back home.
    const double rssFirst = currentRssMb();
    QList<double> ignored;
    window.showSettingsPage();
    stepTransition(window, &ignored, &ignored);
    window.showHomePage();
    stepTransition(window, &ignored, &ignored);
    settle(100);
    const double rssPages = currentRssMb();
    const QString second = folder + QStringLiteral("/transition-2.pdf");
    QFile::copy(pdf, second);
    window.openPath(pdf);
    window.openPath(second);
    window.finishTransition();
    if (window.documentCount() < 2) {
        std::fprintf(stderr, "--bench-shell: the document did not open\n");
        return 1;
    }
    // Warm both directions once so that allocator pools are in place.
    for (int i = 0; i < 2; ++i) {
        window.showHomePage();
        window.finishTransition();
        window.onTabCurrentChanged(0);
        window.finishTransition();
    }
    window.showHomePage();
    window.finishTransition();
    settle(100);
    const double rssBefore = currentRssMb();

    QList<double> frames;
    QList<double> frameCpu;
    QElapsedTimer start;
    start.start();
    window.onTabCurrentChanged(0);
    const double startMs = msSince(start);
    const double rssDuring = currentRssMb();
    bool animated = window.isTransitionRunning();
    stepTransition(window, &frames, &frameCpu);
    const bool released = window.transitionLayer()->incomingPicture().isNull()
                          && window.transitionLayer()->outgoingPicture().isNull()
                          && !window.transitionLayer()->isVisible();
    settle(100);
    // Both pages kept their content, so what is left over is the pictures'.
    const double rssAfter = currentRssMb();
    // And sideways, from one document to the next (the next one renders
    // its tiles, so memory is not compared here).
    window.onTabCurrentChanged(1);
    animated = animated && window.isTransitionRunning();
    stepTransition(window, &frames, &frameCpu);

    printLine("transition_size", QStringLiteral("%1x%2").arg(window.pageStack()->width()).arg(window.pageStack()->height()));
    printLine("transition_animated", animated ? QStringLiteral("1") : QStringLiteral("0"));
    printMs("transition_start_ms", startMs);
    printLine("transition_frames", QString::number(frames.size()));
    printMs("transition_frame_ms_median", percentile(frames, 0.5));
    printMs("transition_frame_ms_p95", percentile(frames, 0.95));
    printMs("transition_frame_cpu_ms_median", percentile(frameCpu, 0.5));
    printMs("transition_frame_cpu_ms_p95", percentile(frameCpu, 0.95));
    printLine("transition_pages_rss_before_mb", QString::number(rssFirst, 'f', 1));
    printLine("transition_pages_rss_after_mb", QString::number(rssPages, 'f', 1));
    printLine("transition_rss_before_mb", QString::number(rssBefore, 'f', 1));
    printLine("transition_rss_during_mb", QString::number(rssDuring, 'f', 1));
    printLine("transition_rss_after_mb", QString::number(rssAfter, 'f', 1));
    printLine("transition_rss_delta_mb", QString::number(rssAfter - rssBefore, 'f', 1));
    printLine("transition_pictures_released", released ? QStringLiteral("1") : QStringLiteral("0"));
    return animated && released ? 0 : 1;
}

// Brings tab index into the band by wheel, then taps it.
void tapTab(DocumentTabs *tabs, int index)
{
    for (int guard = 0; guard < 8; ++guard) {
        const QRect chip = tabs->tabRect(index);
        int shift = 0;
        if (chip.left() < tabs->bandStart())
            shift = chip.left() - tabs->bandStart() - 8;
        else if (chip.right() >= tabs->bandEnd())
            shift = chip.right() - tabs->bandEnd() + 8;
        if (shift == 0)
            break;
        const QPointF at(tabs->bandStart() + 1, tabs->height() / 2.0);
        QWheelEvent wheel(at, tabs->mapToGlobal(at), QPoint(), QPoint(0, -2 * shift), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(tabs, &wheel);
    }
    const QPointF centre = QRectF(tabs->tabRect(index)).center() - QPointF(tabs->closeRect(index).width(), 0);
    QMouseEvent press(QEvent::MouseButtonPress, centre, tabs->mapToGlobal(centre), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QCoreApplication::sendEvent(tabs, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, centre, tabs->mapToGlobal(centre), Qt::LeftButton,
                        Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(tabs, &release);
}

int tabsBench(const QString &folder)
{
    const QString first = folder + QStringLiteral("/lesson-1.pdf");
    QElapsedTimer writing;
    writing.start();
    if (!BenchUtil::writeLessonPdf(first, kPagesPerDocument, 24)) {
        std::fprintf(stderr, "--bench-shell: cannot write %s\n", qPrintable(first));
        return 1;
    }
    QStringList files{first};
    for (int i = 2; i <= kDocuments; ++i) {
        const QString copy = folder + QStringLiteral("/lesson-%1.pdf").arg(i);
        QFile::remove(copy);
        if (!QFile::copy(first, copy))
            return 1;
        files.append(copy);
    }
    printMs("tabs_generate_ms", msSince(writing));

    MainWindow window;
    window.resize(1920, 1080);
    window.show();
    settle(200);
    const double rssEmpty = currentRssMb();
    QElapsedTimer opening;
    opening.start();
    for (const QString &file : std::as_const(files)) {
        window.openPath(file);
        window.finishTransition();
    }
    printMs("tabs_open_all_ms", msSince(opening));
    if (window.documentCount() != kDocuments) {
        std::fprintf(stderr, "--bench-shell: %d of %d documents opened\n", window.documentCount(), kDocuments);
        return 1;
    }
    settle(300);

    QList<double> toContent;
    QList<double> contentCpu;
    QList<double> toSettled;
    for (int round = 0; round < 2; ++round) {
        for (int i = 0; i < kDocuments; ++i) {
            const int target = (i + 1) % kDocuments;
            QElapsedTimer click;
            click.start();
            const double cpuStart = threadCpuMs();
            tapTab(window.tabStrip(), target);
            // The tap returns once the new document's visible tiles are
            // rendered into the arriving picture and its first frame is drawn.
            toContent.append(msSince(click));
            contentCpu.append(threadCpuMs() - cpuStart);
            if (window.currentIndex() != target) {
                std::fprintf(stderr, "--bench-shell: tab %d did not come to the front\n", target);
                return 1;
            }
            const QDeadlineTimer done(2000);
            while (window.isTransitionRunning() && !done.hasExpired())
                QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            window.currentCanvas()->viewport()->repaint();
            toSettled.append(msSince(click));
        }
    }
    settle(300);
    qint64 backgroundTiles = 0;
    for (int i = 0; i < window.documentCount(); ++i) {
        if (window.canvas(i) != window.currentCanvas())
            backgroundTiles += window.canvas(i)->tileCacheBytes();
    }
    printLine("tabs_documents", QString::number(kDocuments));
    printLine("tabs_pages_each", QString::number(kPagesPerDocument));
    printMs("tab_click_to_first_frame_ms_median", percentile(toContent, 0.5));
    printMs("tab_click_to_first_frame_ms_p95", percentile(toContent, 0.95));
    printMs("tab_click_to_first_frame_cpu_ms_median", percentile(contentCpu, 0.5));
    printMs("tab_click_to_first_frame_cpu_ms_p95", percentile(contentCpu, 0.95));
    printMs("tab_click_to_settled_ms_median", percentile(toSettled, 0.5));
    printLine("tabs_background_tile_bytes", QString::number(backgroundTiles));
    printLine("tabs_rss_empty_mb", QString::number(rssEmpty, 'f', 1));
    printLine("tabs_rss_after_visits_mb", QString::number(currentRssMb(), 'f', 1));
    return backgroundTiles == 0 ? 0 : 1;
}

int homeBench(const QString &folder)
{
    // The bench's recent list lives in its own settings file.
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, folder + QStringLiteral("/config"));
    QStringList recent;
    for (int i = 1; i <= 4; ++i) {
        const QString live = folder + QStringLiteral("/近期课件-%1.pdf").arg(i);
        QFile file(live);
        if (!file.open(QIODevice::WriteOnly))
            return 1;
        file.write("%PDF-1.4\n");
        recent << live << QStringLiteral("/net/教研室服务器/共享/第%1课.pdf").arg(i);
    }
    // Written as the store holds it: the list refuses files in the
    // temporary folder, where the bench keeps its live ones.
    if (!writeSettingsStore([&recent](QSettings &store) { store.setValue(QStringLiteral("RecentFiles"), recent); },
                            QString(), nullptr))
        return 1;

    FileExistenceProbe *probe = FileExistenceProbe::instance();
    probe->setCheck([](const QString &path) {
        if (path.startsWith(QStringLiteral("/net/"))) {
            QThread::msleep(kDeadShareMs);
            return false;
        }
        return QFileInfo::exists(path);
    });
    QElapsedTimer build;
    build.start();
    const double buildCpu = threadCpuMs();
    HomePage page;
    page.resize(1920, 1000);
    page.show();
    page.repaint();
    const double firstPaint = msSince(build);
    const double firstPaintCpu = threadCpuMs() - buildCpu;
    int missing = 0;
    const QDeadlineTimer deadline(kDeadShareMs + 3000);
    while (missing < 4 && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        missing = 0;
        for (const auto *row : page.rows())
            missing += row->isMissing() ? 1 : 0;
    }
    const double marked = msSince(build);
    probe->setCheck({});
    printLine("home_rows", QString::number(page.rows().size()));
    printMs("home_first_paint_ms", firstPaint);
    printMs("home_first_paint_cpu_ms", firstPaintCpu);
    printLine("home_dead_share_delay_ms", QString::number(kDeadShareMs));
    printMs("home_missing_marked_ms", marked);
    printLine("home_missing_rows", QString::number(missing));
    return page.rows().size() == 8 && missing == 4 ? 0 : 1;
}

} // namespace

int runShellBench(const QString &folder)
{
    QDir base(folder.isEmpty() ? QDir::tempPath() : folder);
    const QString dir = base.filePath(QStringLiteral("lectern-bench-shell"));
    QDir(dir).removeRecursively();
    if (!QDir().mkpath(dir)) {
        std::fprintf(stderr, "--bench-shell: cannot create %s\n", qPrintable(dir));
        return 1;
    }
    // The open flow writes the recent list: keep the user's own untouched.
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir + QStringLiteral("/config"));
    int failures = 0;
    failures += homeBench(dir);
    failures += transitionBench(dir);
    failures += tabsBench(dir);
    QDir(dir).removeRecursively();
    return failures == 0 ? 0 : 1;
}

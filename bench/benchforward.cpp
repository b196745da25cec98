// --bench-forward: a teacher double-clicks a lesson while the window runs.
// A real second process hands the file over; the running window opens it.
#include "bench/bench.h"
#include "bench/benchopen.h"
#include "bench/benchutil.h"
#include "bench/procinfo.h"

#include "app/mainwindow.h"
#include "app/singleinstance.h"
#include "app/startup.h"
#include "canvas/pdfcanvas.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QPdfDocument>
#include <QPdfDocumentRenderOptions>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>

using BenchUtil::printLine;
using BenchUtil::printMs;

namespace {

double nsToMs(qint64 ns)
{
    return double(ns) / 1e6;
}

} // namespace

int runForwardBench(const QString &file)
{
    // The handover's socket lives in a runtime folder of this run only, so
    // that a teacher's running window is neither reached nor displaced.
    QTemporaryDir runtime;
    if (!runtime.isValid())
        return 1;
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));

    MainWindow window;
    window.show();
    auto *server = new SingleInstanceServer(&window);
    if (!server->listen()) {
        std::fprintf(stderr, "--bench-forward: cannot listen\n");
        return 1;
    }
    qint64 requestNs = -1;
    double requestCpuMs = -1;
    QObject::connect(server, &SingleInstanceServer::openRequested, &window, [&](const QString &path) {
        requestNs = steadyClockNs();
        requestCpuMs = processCpuMs();
        window.openPath(path);
    });
    // The home page is up and idle, as when the teacher double-clicks.
    const QDeadlineTimer idle(5000);
    while (!window.isVisible() && !idle.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QCoreApplication::processEvents();

    const qint64 spawnNs = steadyClockNs();
    QProcess second;
    second.setProgram(QCoreApplication::applicationFilePath());
    second.setArguments({QFileInfo(file).absoluteFilePath()});
    second.setStandardOutputFile(QProcess::nullDevice());
    second.setStandardErrorFile(QProcess::nullDevice());
    second.start();
    const bool painted = waitForFirstTile(window, 30000);
    const qint64 paintedNs = steadyClockNs();
    const double paintedCpuMs = processCpuMs();
    // A second process that found no window would open its own: end it.
    if (!second.waitForFinished(10000)) {
        second.kill();
        second.waitForFinished();
        std::fprintf(stderr, "--bench-forward: the second process did not hand over\n");
        return 1;
    }
    if (!painted || requestNs < 0) {
        std::fprintf(stderr, "--bench-forward: no page was painted\n");
        return 1;
    }
    const PdfCanvas &canvas = *window.currentCanvas();
    const QSize sheet = firstPageDeviceSize(canvas);
    const MainWindow::OpenSteps steps = window.lastOpenSteps();

    // The reference in this warm process: QtPdf loads and renders page 1.
    const double rawCpuStart = processCpuMs();
    QElapsedTimer timer;
    timer.start();
    QPdfDocument raw;
    raw.load(file);
    const qint64 loadNs = timer.nsecsElapsed();
    QPdfDocumentRenderOptions options;
    options.setRenderFlags(QPdfDocumentRenderOptions::RenderFlag::Annotations);
    const QImage page = raw.render(0, sheet, options);
    const qint64 rawNs = timer.nsecsElapsed();
    const double rawCpuMs = processCpuMs() - rawCpuStart;
    if (page.isNull()) {
        std::fprintf(stderr, "--bench-forward: the plain QtPdf render failed\n");
        return 1;
    }

    const double requestMs = nsToMs(paintedNs - requestNs);
    printLine("pages", QString::number(canvas.pageCount()));
    printLine("first_page_px", QStringLiteral("%1x%2").arg(sheet.width()).arg(sheet.height()));
    printMs("second_process_to_request_ms", nsToMs(requestNs - spawnNs));
    printMs("canvas_ms", nsToMs(steps.canvasNs));
    printMs("pdf_load_ms", nsToMs(steps.loadNs));
    printMs("request_to_first_paint_ms", requestMs);
    printMs("raw_load_ms", nsToMs(loadNs));
    printMs("raw_page_ms", nsToMs(rawNs - loadNs));
    printMs("raw_load_and_page_ms", nsToMs(rawNs));
    printLine("forward_ratio", QString::number(requestMs / std::max(nsToMs(rawNs), 0.001), 'f', 3));
    // Processor time of this process over the same spans (see --bench-open).
    printMs("request_to_first_paint_cpu_ms", paintedCpuMs - requestCpuMs);
    printMs("raw_load_and_page_cpu_ms", rawCpuMs);
    printLine("forward_cpu_ratio", QString::number((paintedCpuMs - requestCpuMs) / std::max(rawCpuMs, 0.001), 'f', 3));
    return 0;
}

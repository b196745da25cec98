// --bench-open: the program's start, from the top of main() to the first
// painted tile of the file, against plain QtPdf started the same way.
#include "bench/bench.h"
#include "bench/benchimage.h"
#include "bench/benchopen.h"
#include "bench/benchutil.h"
#include "bench/procinfo.h"

#include "app/mainwindow.h"
#include "app/singleinstance.h"
#include "app/startup.h"
#include "canvas/pdfcanvas.h"
#include "files/crc32.h"
#include "files/imageimport.h"
#include "files/package.h"
#include "files/wordconvert.h"
#include "files/workingcopy.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QJsonObject>
#include <QPdfDocument>
#include <QPdfDocumentRenderOptions>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <QWindow>

#include <algorithm>
#include <cstdio>

using BenchUtil::msSince;
using BenchUtil::percentile;
using BenchUtil::printLine;
using BenchUtil::printMs;

namespace {

double nsToMs(qint64 ns)
{
    return double(ns) / 1e6;
}

// A package's CRC pass timed again on its own over the same bytes, so its
// share of the open shows in one run.
bool packageCrcForBench(const QString &file, double *crcMs)
{
    QByteArray pdf;
    QJsonObject json;
    QString error;
    QList<PackageDamage> damage;
    if (!readPackage(file, &pdf, &json, &error, &damage)) {
        std::fprintf(stderr, "--bench-open: %s\n", error.toUtf8().constData());
        return false;
    }
    printLine("package_pdf_bytes", QString::number(pdf.size()));
    printLine("package_damaged_entries", QString::number(damage.size()));
    QElapsedTimer step;
    step.start();
    volatile quint32 sink = zipCrc32(pdf.constData(), pdf.size());
    (void)sink;
    *crcMs = msSince(step);
    printMs("package_crc_ms", *crcMs);
    return true;
}

QHash<QString, QString> readKeyValues(const QByteArray &output)
{
    QHash<QString, QString> values;
    for (const QByteArray &line : output.split('\n')) {
        const int equals = line.indexOf('=');
        if (equals > 0)
            values.insert(QString::fromUtf8(line.left(equals)), QString::fromUtf8(line.mid(equals + 1)).trimmed());
    }
    return values;
}

bool isDirectory(const QString &path)
{
    return QFileInfo(path).isDir();
}

int runOpenFolder(const QString &folder);

} // namespace

namespace {

// Counts the window's frames: the first one comes with its expose, later
// ones with an update request.
class FrameCounter : public QObject
{
    Q_OBJECT
public:
    explicit FrameCounter(MainWindow *window)
        : m_window(window)
    {
        window->installEventFilter(this);
        if (window->windowHandle())
            window->windowHandle()->installEventFilter(this);
    }
    // Frames begun while a canvas was in front.
    int frames = 0;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if ((event->type() == QEvent::UpdateRequest || event->type() == QEvent::Expose) && m_window->currentCanvas())
            ++frames;
        return QObject::eventFilter(watched, event);
    }

private:
    MainWindow *m_window;
};

} // namespace

bool waitForFirstTile(MainWindow &window, int timeoutMs)
{
    FrameCounter counter(&window);
    const QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        const PdfCanvas *canvas = window.currentCanvas();
        // A frame has gone out since the canvas came to the front, and the
        // canvas has a tile of its own by then.
        if (canvas && canvas->syncRenderCount() > 0 && counter.frames > 0)
            return true;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return false;
}

QSize firstPageDeviceSize(const PdfCanvas &canvas)
{
    const double ratio = std::max(canvas.viewport()->devicePixelRatioF(), 1.0);
    return (canvas.pageRect(0).size() * ratio).toSize();
}

QHash<QString, QString> runChild(const QStringList &arguments, int timeoutMs, const QProcessEnvironment &environment)
{
    QProcess child;
    child.setProgram(QCoreApplication::applicationFilePath());
    child.setArguments(arguments);
    child.setProcessEnvironment(environment);
    child.setStandardErrorFile(QProcess::nullDevice());
    child.start();
    if (!child.waitForFinished(timeoutMs)) {
        child.kill();
        child.waitForFinished();
        return {};
    }
    if (child.exitStatus() != QProcess::NormalExit || child.exitCode() != 0)
        return {};
    return readKeyValues(child.readAllStandardOutput());
}

int runOpenBench(const QString &file, const StartupMarks &marks)
{
    if (isDirectory(file))
        return runOpenFolder(file);
    const qint64 switchNs = steadyClockNs();
    // Making a missing test photo is no part of the start.
    double madeMs = 0;
    if (isImageFile(file) && !ensureBenchPhoto(file, &madeMs))
        return 1;
    const qint64 madeNs = qint64(madeMs * 1e6);
    const qint64 windowStartNs = steadyClockNs();

    MainWindow window;
    const qint64 constructedNs = steadyClockNs();
    window.show();
    // As the real start does before it opens the file; the server listens
    // on a private name so that a running window keeps its own.
    QTemporaryDir runtime;
    auto *server = new SingleInstanceServer(&window);
    if (server->listen(runtime.path() + QStringLiteral("/bench.sock"))) {
        migrateLegacyWorkingCopies();
        sweepTempFolder();
        sweepConverterLeftovers();
    }
    const qint64 shownNs = steadyClockNs();
    window.openPath(QFileInfo(file).absoluteFilePath());
    const qint64 openedNs = steadyClockNs();
    if (!window.currentCanvas()) {
        std::fprintf(stderr, "--bench-open: %s did not open\n", file.toUtf8().constData());
        return 1;
    }
    if (!waitForFirstTile(window, 30000)) {
        std::fprintf(stderr, "--bench-open: no page was painted\n");
        return 1;
    }
    const qint64 paintedNs = steadyClockNs();
    const double cpuMs = processCpuMs() - madeMs;
    const PdfCanvas &canvas = *window.currentCanvas();
    const QSize sheet = firstPageDeviceSize(canvas);
    const MainWindow::OpenSteps steps = window.lastOpenSteps();

    // The process's age when main() began: /proc's start time is in clock
    // ticks (10 ms here), so this one is coarse.
    const qint64 uptimeMs = processUptimeMs();
    const double processMs = uptimeMs < 0 ? -1 : double(uptimeMs) - nsToMs(steadyClockNs() - marks.mainNs);
    const double totalMs = nsToMs(paintedNs - marks.mainNs - madeNs);

    printLine("pages", QString::number(canvas.pageCount()));
    printLine("first_page_px", QStringLiteral("%1x%2").arg(sheet.width()).arg(sheet.height()));
    printMs("process_to_main_ms", processMs, 1);
    printMs("application_ms", nsToMs(marks.applicationNs - marks.mainNs));
    printMs("theme_ms", nsToMs(marks.themeNs - marks.applicationNs));
    printMs("switch_ms", nsToMs(switchNs - marks.themeNs));
    printMs("window_ms", nsToMs(constructedNs - windowStartNs - window.pagesBuildNs()));
    printMs("pages_ms", nsToMs(window.pagesBuildNs()));
    printMs("show_and_server_ms", nsToMs(shownNs - constructedNs));
    printMs("canvas_ms", nsToMs(steps.canvasNs));
    printMs("pdf_load_ms", nsToMs(steps.loadNs));
    printMs("open_rest_ms", nsToMs(openedNs - shownNs - steps.canvasNs - steps.loadNs));
    // From the open's return until a frame with the page's tiles has gone
    // out: the first expose paints the whole window, the page included.
    printMs("first_frame_ms", nsToMs(paintedNs - openedNs));
    printMs("main_to_first_paint_ms", totalMs);
    printMs("start_to_first_paint_ms", processMs < 0 ? -1 : processMs + totalMs, 1);
    printMs("cpu_to_first_paint_ms", cpuMs);

    // The reference: a fresh process of the same binary that only makes the
    // application, loads the PDF with QtPdf and renders page 1 as large.
    double crcMs = -1;
    if (looksLikePackage(file) && !packageCrcForBench(file, &crcMs))
        return 1;
    if (crcMs >= 0)
        printLine("package_crc_share_pct", QString::number(100.0 * crcMs / std::max(totalMs, 1.0), 'f', 1));
    QString pdfPath = file;
    if (isImageFile(file) && !wrapImageForBench(file, &pdfPath))
        return 1;
    if (looksLikePackage(file)) {
        QByteArray pdf;
        QJsonObject json;
        QString error;
        QList<PackageDamage> damage;
        if (!readPackage(file, &pdf, &json, &error, &damage) || !extractPackagePdf(file, pdf, &pdfPath, &error))
            return 1;
    }
    const QHash<QString, QString> raw =
        runChild({QString::fromLatin1(kRawOpenSwitch), pdfPath, QString::number(sheet.width()),
                  QString::number(sheet.height())},
                 60000, QProcessEnvironment::systemEnvironment());
    const double rawMs = raw.value(QStringLiteral("raw_main_to_page_ms")).toDouble();
    if (rawMs <= 0) {
        std::fprintf(stderr, "--bench-open: the plain QtPdf run failed\n");
        return 1;
    }
    for (const char *key : {"raw_process_to_main_ms", "raw_application_ms", "raw_load_ms", "raw_page_ms"})
        printLine(key, raw.value(QString::fromLatin1(key)));
    printMs("raw_main_to_page_ms", rawMs);
    printLine("ratio", QString::number(totalMs / rawMs, 'f', 3));
    // Processor time from exec on, both processes alike: steadier than the
    // clock when other work shares the machine.
    const double rawCpuMs = raw.value(QStringLiteral("raw_cpu_to_page_ms")).toDouble();
    printMs("raw_cpu_to_page_ms", rawCpuMs);
    printLine("cpu_ratio", QString::number(rawCpuMs > 0 ? cpuMs / rawCpuMs : 0.0, 'f', 3));
    return 0;
}

int runRawOpenBench(int argc, char **argv, qint64 mainNs)
{
    if (argc < 5)
        return 1;
    QApplication app(argc, argv);
    const qint64 appNs = steadyClockNs();
    const QString file = QString::fromLocal8Bit(argv[2]);
    const QSize size(QByteArray(argv[3]).toInt(), QByteArray(argv[4]).toInt());
    QPdfDocument document;
    document.load(file);
    const qint64 loadedNs = steadyClockNs();
    QPdfDocumentRenderOptions options;
    options.setRenderFlags(QPdfDocumentRenderOptions::RenderFlag::Annotations);
    const QImage page = document.render(0, size, options);
    const qint64 renderedNs = steadyClockNs();
    const double cpuMs = processCpuMs();
    if (page.isNull())
        return 1;
    const qint64 uptimeMs = processUptimeMs();
    printMs("raw_process_to_main_ms", uptimeMs < 0 ? -1 : double(uptimeMs) - nsToMs(steadyClockNs() - mainNs), 1);
    printMs("raw_application_ms", nsToMs(appNs - mainNs));
    printMs("raw_load_ms", nsToMs(loadedNs - appNs));
    printMs("raw_page_ms", nsToMs(renderedNs - loadedNs));
    printMs("raw_main_to_page_ms", nsToMs(renderedNs - mainNs));
    printMs("raw_cpu_to_page_ms", cpuMs);
    return 0;
}

namespace {

// Every PDF below folder, each opened by a fresh --bench-open process.
int runOpenFolder(const QString &folder)
{
    QStringList files;
    QSet<QString> seen;
    QDirIterator it(folder, {QStringLiteral("*.pdf"), QStringLiteral("*.PDF")}, QDir::Files,
                    QDirIterator::Subdirectories | QDirIterator::FollowSymlinks);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString canonical = QFileInfo(path).canonicalFilePath();
        if (!canonical.isEmpty() && !seen.contains(canonical)) {
            seen.insert(canonical);
            files.append(canonical);
        }
    }
    files.sort();
    QList<double> ratios;
    QList<double> totals;
    QList<double> raws;
    QList<double> cpuRatios;
    int failed = 0;
    for (const QString &path : std::as_const(files)) {
        const QHash<QString, QString> figures =
            runChild({QStringLiteral("--bench-open"), path}, 90000, QProcessEnvironment::systemEnvironment());
        const double ratio = figures.value(QStringLiteral("ratio")).toDouble();
        if (ratio <= 0) {
            ++failed;
            printLine("failed_file", path);
            continue;
        }
        ratios.append(ratio);
        cpuRatios.append(figures.value(QStringLiteral("cpu_ratio")).toDouble());
        totals.append(figures.value(QStringLiteral("main_to_first_paint_ms")).toDouble());
        raws.append(figures.value(QStringLiteral("raw_main_to_page_ms")).toDouble());
        printLine("file", QStringLiteral("%1 pages=%2 ms=%3 raw_ms=%4 ratio=%5 cpu_ratio=%6")
                              .arg(path, figures.value(QStringLiteral("pages")),
                                   figures.value(QStringLiteral("main_to_first_paint_ms")),
                                   figures.value(QStringLiteral("raw_main_to_page_ms")),
                                   figures.value(QStringLiteral("ratio")), figures.value(QStringLiteral("cpu_ratio"))));
    }
    printLine("files", QString::number(ratios.size()));
    printLine("files_failed", QString::number(failed));
    printMs("main_to_first_paint_ms_median", percentile(totals, 0.5));
    printMs("raw_main_to_page_ms_median", percentile(raws, 0.5));
    printLine("ratio_median", QString::number(percentile(ratios, 0.5), 'f', 3));
    printLine("ratio_p90", QString::number(percentile(ratios, 0.9), 'f', 3));
    printLine("ratio_max", QString::number(percentile(ratios, 1.0), 'f', 3));
    printLine("cpu_ratio_median", QString::number(percentile(cpuRatios, 0.5), 'f', 3));
    return ratios.isEmpty() ? 1 : 0;
}

} // namespace

#include "benchopen.moc"

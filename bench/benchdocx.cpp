// --bench-docx FILE: a Word document's first open (LibreOffice conversion
// included) against a bare soffice run on the same file, and its second open
// from the cache against opening the cached PDF itself. A FILE that does
// not exist is generated: 55 pages, one picture each.
#include "bench/bench.h"
#include "bench/benchutil.h"

#include "app/mainwindow.h"
#include "canvas/pdfcanvas.h"
#include "files/wordconvert.h"
#include "files/wordconvertsample.h"
#include "system/settings.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QPdfDocument>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>

using BenchUtil::msSince;
using BenchUtil::percentile;
using BenchUtil::printLine;
using BenchUtil::printMs;

namespace {

constexpr int kGeneratedPages = 55;
constexpr int kRepeats = 5;
// LibreOffice's time varies by seconds on a busy machine: the two first
// opens being compared alternate, and the medians are compared.
constexpr int kConvertRepeats = 3;
constexpr int kConvertDeadlineMs = 300000;

// Opens path in a fresh window and waits for its first painted page; the
// time from openPath to that frame, or -1.
double openToFirstPaint(const QString &path)
{
    MainWindow window;
    window.resize(1920, 1080);
    window.show();
    QElapsedTimer timer;
    timer.start();
    window.openPath(path);
    const QDeadlineTimer deadline(kConvertDeadlineMs);
    while (!deadline.hasExpired()
           && (window.documentCount() == 0 || window.canvas(0)->syncRenderCount() == 0))
        // Waiting, not spinning: a busy loop here would take a core from LibreOffice.
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return window.documentCount() > 0 && window.canvas(0)->syncRenderCount() > 0 ? msSince(timer) : -1;
}

double bareSofficeMs(const QString &soffice, const QString &file)
{
    QTemporaryDir out;
    QProcess process;
    QElapsedTimer timer;
    timer.start();
    process.start(soffice, {QStringLiteral("--headless"), QStringLiteral("--convert-to"), QStringLiteral("pdf"),
                            QStringLiteral("--outdir"), out.path(), QFileInfo(file).absoluteFilePath()});
    if (!process.waitForFinished(kConvertDeadlineMs))
        return -1;
    const double ms = msSince(timer);
    return QFileInfo::exists(out.filePath(QFileInfo(file).completeBaseName() + QStringLiteral(".pdf"))) ? ms : -1;
}

} // namespace

int runDocxBench(const QString &file)
{
    if (!QFileInfo::exists(file)) {
        QString error;
        if (!writeSampleDocx(file, kGeneratedPages, SamplePictures::OnePerPage, &error)) {
            std::fprintf(stderr, "--bench-docx: %s\n", error.toUtf8().constData());
            return 1;
        }
        printLine("docx_generated_pages", QString::number(kGeneratedPages));
    }
    printLine("docx_bytes", QString::number(QFileInfo(file).size()));
    const QString soffice = findSoffice();
    if (soffice.isEmpty()) {
        std::fprintf(stderr, "--bench-docx: no LibreOffice found\n");
        return 1;
    }
    // The bench converts whatever the setting says; it puts it back after.
    const int mode = wordOpenMode();
    setWordOpenMode(1);
    const QString cached = wordCachePath(file, WordEngine::LibreOffice);
    QList<double> bares;
    QList<double> firsts;
    for (int i = 0; i < kConvertRepeats; ++i) {
        QFile::remove(cached);
        bares.append(bareSofficeMs(soffice, file));
        firsts.append(openToFirstPaint(file));
    }
    const double bare = bares.contains(-1) ? -1 : percentile(bares, 0.5);
    const double first = firsts.contains(-1) ? -1 : percentile(firsts, 0.5);
    QList<double> direct;
    QList<double> again;
    for (int i = 0; i < kRepeats && first >= 0; ++i) {
        direct.append(openToFirstPaint(cached));
        again.append(openToFirstPaint(file));
    }
    setWordOpenMode(mode);
    if (bare < 0 || first < 0) {
        std::fprintf(stderr, "--bench-docx: a conversion failed\n");
        return 1;
    }
    const double directMs = percentile(direct, 0.5);
    const double againMs = percentile(again, 0.5);
    QPdfDocument pdf;
    pdf.load(cached);
    printLine("pdf_pages", QString::number(pdf.pageCount()));
    printMs("bare_soffice_ms", bare, 0);
    printMs("first_open_to_paint_ms", first, 0);
    printMs("cached_pdf_open_to_paint_ms", directMs);
    printMs("second_open_to_paint_ms", againMs);
    printLine("first_vs_bare_plus_pdf_open", QString::number(first / (bare + directMs), 'f', 3));
    printLine("second_vs_cached_pdf", QString::number(againMs / std::max(directMs, 0.01), 'f', 3));
    return 0;
}

// --bench-export FILE: the injected-PDF export at 150 dpi against poppler's
// pdftoppm -r 150 -jpeg on the same file, in the same run. A FILE that is
// not a readable PDF is replaced by a generated 300-page text document.
#include "bench/bench.h"
#include "bench/benchinput.h"
#include "bench/benchutil.h"
#include "bench/procinfo.h"

#include "canvas/canvasexport.h"
#include "canvas/pdfcanvas.h"
#include "files/pdfexport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QPageSize>
#include <QPainter>
#include <QPdfDocument>
#include <QPdfWriter>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>
#include <ctime>

using BenchUtil::msSince;
using BenchUtil::printLine;
using BenchUtil::printMs;

namespace {

constexpr int kGeneratedPages = 300;
constexpr int kInkStrokes = 200;
constexpr int kPdftoppmTimeoutMs = 30 * 60 * 1000;

bool readablePdf(const QString &file)
{
    QPdfDocument document;
    document.load(file);
    return document.status() == QPdfDocument::Status::Ready && document.pageCount() > 0;
}

double cpuMs()
{
    return double(std::clock()) * 1000.0 / CLOCKS_PER_SEC;
}

} // namespace

int runExportBench(const QString &file)
{
    QTemporaryDir temp;
    if (!temp.isValid()) {
        std::fprintf(stderr, "--bench-export: no temporary folder\n");
        return 1;
    }
    QString path = file;
    const bool generate = !readablePdf(file);
    if (generate) {
        path = temp.filePath(QStringLiteral("export-bench.pdf"));
        if (!BenchUtil::writeLessonPdf(path, kGeneratedPages, 40)) {
            std::fprintf(stderr, "--bench-export: cannot write the text document\n");
            return 1;
        }
    }
    printLine("export_generated_document", generate ? QStringLiteral("1") : QStringLiteral("0"));

    PdfCanvas canvas;
    QString error;
    if (!canvas.openPdf(path, &error)) {
        std::fprintf(stderr, "--bench-export: %s\n", error.toUtf8().constData());
        return 1;
    }
    canvas.importAnnotations(generatedInk(kInkStrokes));
    printLine("export_pages", QString::number(canvas.pageCount()));
    printMs("export_rss_before_mb", currentRssMb(), 1);

    const QString target = temp.filePath(QStringLiteral("exported.pdf"));
    QElapsedTimer timer;
    timer.start();
    const double cpuStart = cpuMs();
    if (!exportInjectedPdf(&canvas, target, &error, 150)) {
        std::fprintf(stderr, "--bench-export: %s\n", error.toUtf8().constData());
        return 1;
    }
    const double exportMs = msSince(timer);
    printMs("export_pdf_ms", exportMs, 0);
    printMs("export_pdf_ms_per_page", exportMs / canvas.pageCount());
    printMs("export_pdf_cpu_ms", cpuMs() - cpuStart, 0);
    printMs("export_pdf_mb", double(QFileInfo(target).size()) / (1024.0 * 1024.0), 1);
    printMs("export_peak_rss_mb", peakRssMb(), 1);
    QFile::remove(target);

    const QString jpegDir = temp.filePath(QStringLiteral("pdftoppm"));
    QDir().mkpath(jpegDir);
    QProcess poppler;
    timer.restart();
    poppler.start(QStringLiteral("pdftoppm"),
                  {QStringLiteral("-r"), QStringLiteral("150"), QStringLiteral("-jpeg"), path,
                   jpegDir + QStringLiteral("/p")});
    const bool ran = poppler.waitForStarted() && poppler.waitForFinished(kPdftoppmTimeoutMs)
        && poppler.exitStatus() == QProcess::NormalExit && poppler.exitCode() == 0;
    const double popplerMs = ran ? msSince(timer) : -1;
    if (!ran)
        poppler.kill();
    printMs("pdftoppm_jpeg_ms", popplerMs, 0);
    if (ran)
        printMs("export_vs_pdftoppm", exportMs / popplerMs, 2);
    return 0;
}

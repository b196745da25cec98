// --bench-export FILE: the inked PDF both ways on FILE with ink on every
// page, in one run: the export that keeps the original (time, peak memory,
// size against the source plus the ink, words pdftotext finds), the
// whole-page-image export, and poppler's pdftoppm -r 150 -jpeg on the same
// file. A FILE that is not a readable PDF is replaced by a generated
// 300-page text document.
#include "app/pdfshare.h"
#include "bench/bench.h"
#include "bench/benchutil.h"
#include "bench/procinfo.h"

#include "canvas/canvasexport.h"
#include "canvas/pdfcanvas.h"
#include "files/pdfexport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QPdfDocument>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <cmath>
#include <cstdio>
#include <ctime>

using BenchUtil::msSince;
using BenchUtil::printLine;
using BenchUtil::printMs;

namespace {

constexpr int kGeneratedPages = 300;
constexpr int kStrokesPerPage = 10;
constexpr int kPointsPerStroke = 60;
constexpr int kToolTimeoutMs = 30 * 60 * 1000;

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

// A lesson's worth of writing on every page: curved strokes, every other
// one with pen pressure, in the palette's colours.
QJsonObject inkOnEveryPage(int pages)
{
    QRandomGenerator random(20261209);
    const QStringList colours{QStringLiteral("#d32f2f"), QStringLiteral("#1565c0"), QStringLiteral("#2e7d32"),
                              QStringLiteral("#212121")};
    QJsonObject all;
    for (int page = 0; page < pages; ++page) {
        QJsonArray strokes;
        for (int s = 0; s < kStrokesPerPage; ++s) {
            double x = 0.1 + 0.7 * random.generateDouble();
            double y = 0.1 + 0.8 * random.generateDouble();
            QJsonArray points;
            QJsonArray factors;
            for (int i = 0; i < kPointsPerStroke; ++i) {
                x += 0.004 * std::cos(i / 6.0 + s);
                y += 0.003 * std::sin(i / 5.0 + s);
                points.append(x);
                points.append(y);
                factors.append(0.6 + 0.8 * std::abs(std::sin(i / 9.0)));
            }
            QJsonObject stroke{{QStringLiteral("c"), colours.at(s % colours.size())},
                               {QStringLiteral("w"), 0.003},
                               {QStringLiteral("p"), points}};
            if (s % 2 == 1)
                stroke.insert(QStringLiteral("wf"), factors);
            strokes.append(stroke);
        }
        all.insert(QString::number(page), strokes);
    }
    return QJsonObject{{QStringLiteral("version"), 1}, {QStringLiteral("pages"), all}};
}

// Starts the peak-memory count afresh (Linux; elsewhere it keeps counting).
void resetPeakRss()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}

// Runs a tool to the end; its time in ms, or -1.
double runTool(const QString &program, const QStringList &arguments)
{
    QProcess tool;
    QElapsedTimer timer;
    timer.start();
    tool.start(program, arguments);
    const bool ran = tool.waitForStarted() && tool.waitForFinished(kToolTimeoutMs)
        && tool.exitStatus() == QProcess::NormalExit && tool.exitCode() == 0;
    if (!ran) {
        tool.kill();
        tool.waitForFinished();
        return -1;
    }
    return msSince(timer);
}

// The words pdftotext reads from pdf; empty when it cannot.
QStringList wordsOf(const QString &pdf, const QString &text)
{
    if (runTool(QStringLiteral("pdftotext"), {pdf, text}) < 0)
        return {};
    QFile file(text);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll()).split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
}

double mb(qint64 bytes)
{
    return double(bytes) / (1024.0 * 1024.0);
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
    const QJsonObject ink = inkOnEveryPage(canvas.pageCount());
    canvas.importAnnotations(ink);
    const qint64 sourceBytes = QFileInfo(path).size();
    const qint64 inkBytes = QJsonDocument(ink).toJson(QJsonDocument::Compact).size();
    printLine("export_pages", QString::number(canvas.pageCount()));
    printLine("export_strokes", QString::number(canvas.strokeCount()));
    printMs("source_mb", mb(sourceBytes), 2);
    printMs("ink_json_mb", mb(inkBytes), 2);
    const ExportSource source = exportSource(&canvas);
    printMs("export_rss_before_mb", currentRssMb(), 1);

    // The original kept, ink as vectors.
    const QString vector = temp.filePath(QStringLiteral("vector.pdf"));
    resetPeakRss();
    QElapsedTimer timer;
    timer.start();
    double cpuStart = cpuMs();
    const PdfShareResult kept = exportSharedPdf(source, vector, PdfExportWay::KeepOriginal);
    const double vectorMs = msSince(timer);
    if (!kept.ok || kept.fellBack) {
        std::fprintf(stderr, "--bench-export: %s\n",
                     (kept.ok ? kept.fallbackReason : kept.error).toUtf8().constData());
        return 1;
    }
    printMs("vector_pdf_ms", vectorMs, 0);
    printMs("vector_pdf_cpu_ms", cpuMs() - cpuStart, 0);
    printMs("vector_peak_rss_mb", peakRssMb(), 1);
    const qint64 vectorBytes = QFileInfo(vector).size();
    printMs("vector_pdf_mb", mb(vectorBytes), 2);
    printMs("vector_size_vs_source_and_ink", double(vectorBytes) / double(sourceBytes + inkBytes), 3);
    const QStringList before = wordsOf(path, temp.filePath(QStringLiteral("source.txt")));
    const QStringList after = wordsOf(vector, temp.filePath(QStringLiteral("vector.txt")));
    printLine("pdftotext_words", QString::number(before.size()));
    printLine("pdftotext_words_equal", before == after && !before.isEmpty() ? QStringLiteral("1") : QStringLiteral("0"));
    QFile::remove(vector);

    // Whole-page images, as before.
    const QString raster = temp.filePath(QStringLiteral("raster.pdf"));
    timer.restart();
    cpuStart = cpuMs();
    const PdfShareResult images = exportSharedPdf(source, raster, PdfExportWay::PageImages);
    const double rasterMs = msSince(timer);
    if (!images.ok) {
        std::fprintf(stderr, "--bench-export: %s\n", images.error.toUtf8().constData());
        return 1;
    }
    printMs("export_pdf_ms", rasterMs, 0);
    printMs("export_pdf_ms_per_page", rasterMs / canvas.pageCount());
    printMs("export_pdf_cpu_ms", cpuMs() - cpuStart, 0);
    printMs("export_pdf_mb", mb(QFileInfo(raster).size()), 1);
    printMs("export_peak_rss_mb", peakRssMb(), 1);
    QFile::remove(raster);
    printMs("vector_vs_raster_export", vectorMs / rasterMs, 3);

    const QString jpegDir = temp.filePath(QStringLiteral("pdftoppm"));
    QDir().mkpath(jpegDir);
    const double popplerMs = runTool(QStringLiteral("pdftoppm"), {QStringLiteral("-r"), QStringLiteral("150"),
                                                                  QStringLiteral("-jpeg"), path,
                                                                  jpegDir + QStringLiteral("/p")});
    printMs("pdftoppm_jpeg_ms", popplerMs, 0);
    if (popplerMs > 0) {
        printMs("export_vs_pdftoppm", rasterMs / popplerMs, 2);
        printMs("vector_vs_pdftoppm", vectorMs / popplerMs, 3);
    }
    return 0;
}

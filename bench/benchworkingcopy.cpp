// --bench-workingcopy FILE: what one working-copy write costs while the
// teacher writes on a large PDF. Times the first write of a fresh working
// copy and the writes that follow it (one new stroke each, as the writer
// sees them once a second), the bytes one write puts on the disk, and the
// private copy of the PDF made (on a worker thread) after the first stroke.
#include "bench/bench.h"
#include "bench/benchutil.h"

#include "app/documentwriter.h"
#include "files/package.h"
#include "files/privatecopy.h"
#include "files/workingcopy.h"
#include "ink/annotationjson.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cmath>

namespace {

constexpr qint64 kGeneratedBytes = 200ll * 1024 * 1024;
constexpr int kGeneratedPages = 4;
constexpr int kStrokes = 2000;
constexpr int kPointsPerStroke = 12;
constexpr int kFollowingWrites = 20;

// A PDF of kGeneratedPages pages, each a full-page RGB picture of random
// (incompressible) bytes: its size is all stream data, as in scanned books.
bool writeImagePdf(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const int side = int(std::sqrt(double(kGeneratedBytes / kGeneratedPages / 3)));
    const qint64 imageBytes = qint64(side) * side * 3;
    QList<qint64> offsets; // object n at offsets[n - 1]
    auto object = [&](const QByteArray &text) {
        offsets.append(file.pos());
        return file.write(QByteArray::number(offsets.size()) + " 0 obj\n" + text + "\nendobj\n") > 0;
    };
    bool ok = file.write("%PDF-1.4\n%\xE2\xE3\xCF\xD3\n") > 0;
    // 1 catalog, 2 page tree, then per page: page, contents, image.
    QByteArray kids;
    for (int i = 0; i < kGeneratedPages; ++i)
        kids += QByteArray::number(3 + 3 * i) + " 0 R ";
    ok = ok && object("<< /Type /Catalog /Pages 2 0 R >>");
    ok = ok && object("<< /Type /Pages /Kids [" + kids + "] /Count " + QByteArray::number(kGeneratedPages) + " >>");
    QByteArray chunk(1 << 20, Qt::Uninitialized);
    for (int i = 0; ok && i < kGeneratedPages; ++i) {
        const QByteArray contents = QByteArray::number(3 + 3 * i + 1);
        const QByteArray image = QByteArray::number(3 + 3 * i + 2);
        ok = object("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Contents " + contents
                    + " 0 R /Resources << /XObject << /Im0 " + image + " 0 R >> >> >>");
        const QByteArray draw("q 595 0 0 842 0 0 cm /Im0 Do Q");
        ok = ok && object("<< /Length " + QByteArray::number(draw.size()) + " >>\nstream\n" + draw + "\nendstream");
        offsets.append(file.pos());
        ok = ok && file.write(image + " 0 obj\n<< /Type /XObject /Subtype /Image /Width " + QByteArray::number(side)
                              + " /Height " + QByteArray::number(side)
                              + " /ColorSpace /DeviceRGB /BitsPerComponent 8 /Length "
                              + QByteArray::number(imageBytes) + " >>\nstream\n") > 0;
        for (qint64 done = 0; ok && done < imageBytes; done += chunk.size()) {
            const qint64 n = qMin<qint64>(chunk.size(), imageBytes - done);
            QRandomGenerator::global()->fillRange(reinterpret_cast<quint32 *>(chunk.data()), chunk.size() / 4);
            ok = file.write(chunk.constData(), n) == n;
        }
        ok = ok && file.write("\nendstream\nendobj\n") > 0;
    }
    const qint64 xref = file.pos();
    QByteArray table = "xref\n0 " + QByteArray::number(offsets.size() + 1) + "\n0000000000 65535 f \n";
    for (qint64 offset : std::as_const(offsets))
        table += QByteArray::number(offset).rightJustified(10, '0') + " 00000 n \n";
    table += "trailer\n<< /Size " + QByteArray::number(offsets.size() + 1) + " /Root 1 0 R >>\nstartxref\n"
        + QByteArray::number(xref) + "\n%%EOF\n";
    return ok && file.write(table) == table.size() && file.flush();
}

// Handwriting-like strokes spread over the pages: short curved runs of points.
Stroke makeStroke(int index)
{
    Stroke stroke;
    const double x0 = 0.05 + 0.85 * ((index * 37) % 100) / 100.0;
    const double y0 = 0.05 + 0.85 * ((index * 61) % 100) / 100.0;
    for (int i = 0; i < kPointsPerStroke; ++i)
        stroke.points.append(QPointF(x0 + 0.004 * i, y0 + 0.01 * std::sin(i * 0.7 + index)));
    stroke.updateBounds();
    return stroke;
}

} // namespace

int runWorkingCopyBench(const QString &file)
{
    if (!QFileInfo::exists(file)) {
        QElapsedTimer made;
        made.start();
        if (!writeImagePdf(file)) {
            qWarning("cannot write %s", qPrintable(file));
            return 1;
        }
        BenchUtil::printMs("workingcopy_generate_ms", BenchUtil::msSince(made), 0);
    }
    const QJsonObject fingerprint = sourceFingerprint(file);
    if (fingerprint.isEmpty()) {
        qWarning("cannot read %s", qPrintable(file));
        return 1;
    }
    InkPages ink;
    for (int i = 0; i < kStrokes; ++i)
        ink[i % kGeneratedPages].append(makeStroke(i));
    // Whatever an earlier run or a lesson left there: the first write must be a fresh one.
    removeWorkingCopy(file);
    const QString copy = workingCopyPath(file);

    QString error;
    QElapsedTimer timer;
    timer.start();
    if (!writeWorkingCopySnapshot(file, file, ink, fingerprint, &error)) {
        qWarning("working copy not written: %s", qPrintable(error));
        return 1;
    }
    BenchUtil::printMs("workingcopy_first_write_ms", BenchUtil::msSince(timer));

    QList<double> times;
    for (int i = 0; i < kFollowingWrites; ++i) {
        ink[0].append(makeStroke(kStrokes + i));
        timer.start();
        if (!writeWorkingCopySnapshot(file, file, ink, fingerprint, &error)) {
            qWarning("working copy not written: %s", qPrintable(error));
            return 1;
        }
        times.append(BenchUtil::msSince(timer));
    }
    BenchUtil::printMs("workingcopy_write_ms", BenchUtil::percentile(times, 0.5));
    BenchUtil::printMs("workingcopy_write_p95_ms", BenchUtil::percentile(times, 0.95));
    // Each write replaces the whole file, so its size is what one write costs.
    BenchUtil::printLine("workingcopy_bytes", QString::number(QFileInfo(copy).size()));
    BenchUtil::printLine("workingcopy_pdf_bytes", QString::number(QFileInfo(file).size()));
    BenchUtil::printLine("workingcopy_strokes", QString::number(strokeCount(ink)));
    // Bench ink must never come back on the real document.
    removeWorkingCopy(file);

    // Reference: a working copy that holds the whole PDF, as a package save
    // writes it (read the PDF, store it with the ink), beside the copy.
    const QString reference = copy + QStringLiteral("-reference.dpz");
    timer.start();
    QFile source(file);
    const bool wrote = source.open(QIODevice::ReadOnly)
        && writePackage(reference, source.readAll(), annotationsFromInk(ink), &error, fingerprint);
    if (!wrote) {
        qWarning("reference package not written: %s", qPrintable(error));
        return 1;
    }
    BenchUtil::printMs("workingcopy_full_pdf_write_ms", BenchUtil::msSince(timer));
    BenchUtil::printLine("workingcopy_full_pdf_bytes", QString::number(QFileInfo(reference).size()));
    QFile::remove(reference);

    // The private copy, from the file held open since the load.
    const QString privateCopy = privateCopyPath(fingerprint);
    QFile::remove(privateCopy);
    QFile held(file);
    timer.start();
    if (!held.open(QIODevice::ReadOnly) || !writePrivateCopy(&held, fingerprint, privateCopy, &error)) {
        qWarning("private copy not written: %s", qPrintable(error));
        return 1;
    }
    BenchUtil::printMs("workingcopy_private_copy_ms", BenchUtil::msSince(timer));
    QFile::remove(privateCopy);
    return 0;
}

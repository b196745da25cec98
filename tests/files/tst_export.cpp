// The inked PDF and PNG exports on real files: the written bytes parsed
// back, the ink rendered back by the PDF engine, all-or-nothing PNG pages,
// a cancel, and the command-line switches run with the real program.
#include "canvas/canvasexport.h"
#include "canvas/pdfcanvas.h"
#include "files/package.h"
#include "files/pdfexport.h"
#include "testutil.h"

#include <QDir>
#include <QJsonArray>
#include <QPdfDocument>
#include <QPdfSelection>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <qpdf/QPDF.hh>

#include <cerrno>
#include <sys/resource.h>

namespace {

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Cancels as soon as the first page is done.
class CancelAfterFirst : public ExportMonitor
{
public:
    void progress(int done, int) override { cancelled = cancelled || done >= 1; }
    bool cancelRequested() const override { return cancelled; }
    bool cancelled = false;
};

QJsonObject stroke(const QString &color, double w, const QList<double> &points)
{
    QJsonObject s{{QStringLiteral("w"), w}, {QStringLiteral("p"), QJsonArray::fromVariantList(
                                                                      QVariant(QVariantList(points.begin(), points.end())).toList())}};
    if (!color.isEmpty())
        s.insert(QStringLiteral("c"), color);
    return s;
}

struct Run
{
    int code = -1;
    QStringList out;
    QString err;
};

Run runLectern(const QStringList &args, qint64 fileSizeLimit = 0)
{
    QProcess process;
    if (fileSizeLimit > 0) {
        // As "ulimit -f" does: writes beyond the limit fail (or kill).
        process.setChildProcessModifier([fileSizeLimit] {
            const struct rlimit limit{rlim_t(fileSizeLimit), rlim_t(fileSizeLimit)};
            ::setrlimit(RLIMIT_FSIZE, &limit);
        });
    }
    process.start(TestUtil::lecternBinary(), args);
    Run run;
    if (!process.waitForFinished(60000)) {
        process.kill();
        process.waitForFinished();
        return run;
    }
    run.code = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -2;
    run.out = QString::fromUtf8(process.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

} // namespace

class TestExport : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    QString path(const QString &name) const { return m_dir.filePath(name); }

private slots:
    void layoutParsesBack_data()
    {
        QTest::addColumn<QList<QSizeF>>("sizes");
        QTest::addColumn<QString>("box");
        QTest::addColumn<QSize>("pixels");
        QTest::newRow("one A4 page") << QList<QSizeF>{{595.28, 841.89}} << QStringLiteral("595 842")
                                     << QSize(1240, 1754);
        QTest::newRow("three pages") << QList<QSizeF>(3, QSizeF(595.28, 841.89)) << QStringLiteral("595 842")
                                     << QSize(1240, 1754);
        QTest::newRow("huge page capped") << QList<QSizeF>{{10000, 10000}} << QStringLiteral("10000 10000")
                                          << QSize(6325, 6325);
    }

    void layoutParsesBack()
    {
        QFETCH(QList<QSizeF>, sizes);
        QFETCH(QString, box);
        QFETCH(QSize, pixels);
        const QString source = path(QStringLiteral("layout.pdf"));
        const QString target = path(QStringLiteral("layout-out.pdf"));
        QVERIFY(TestUtil::writePdf(source, sizes));
        PdfCanvas canvas;
        QVERIFY(canvas.openPdf(source));
        QString error;
        QVERIFY2(exportInjectedPdf(&canvas, target, &error, 150), qPrintable(error));

        const QByteArray pdf = readAll(target);
        const int n = int(sizes.size());
        QVERIFY(pdf.startsWith(QByteArray("%PDF-1.4\n\x25\xE2\xE3\xCF\xD3\n")));
        QVERIFY(pdf.endsWith("\n%%EOF\n"));
        const qsizetype startxref = pdf.lastIndexOf("startxref\n");
        const qint64 xref = pdf.mid(startxref + 10).split('\n').first().toLongLong();
        const QByteArray head = "xref\n0 " + QByteArray::number(3 * n + 3) + "\n0000000000 65535 f \n";
        QCOMPARE(pdf.mid(xref, head.size()), head);
        for (int object = 1; object <= 3 * n + 2; ++object) {
            const QByteArray entry = pdf.mid(xref + head.size() + 20 * (object - 1), 20);
            QVERIFY(entry.endsWith(" 00000 n \n"));
            const QByteArray header = QByteArray::number(object) + " 0 obj\n";
            QCOMPARE(pdf.mid(entry.left(10).toLongLong(), header.size()), header);
        }
        QVERIFY(pdf.contains("trailer\n<< /Size " + QByteArray::number(3 * n + 3) + " /Root 1 0 R >>"));
        QByteArray kids;
        for (int k = 0; k < n; ++k)
            kids += QByteArray::number(3 * k + 5) + " 0 R ";
        QVERIFY(pdf.contains("/Kids [" + kids + "] /Count " + QByteArray::number(n) + " >>"));
        const QByteArray b = box.toLatin1();
        QCOMPARE(pdf.count("/MediaBox [0 0 " + b + "]"), n);
        QCOMPARE(pdf.count("q " + b.split(' ').first() + " 0 0 " + b.split(' ').last() + " 0 0 cm /Im0 Do Q"), n);
        QCOMPARE(pdf.count("/Width " + QByteArray::number(pixels.width()) + " /Height "
                           + QByteArray::number(pixels.height())),
                 n);

        const QString qpdf = QStandardPaths::findExecutable(QStringLiteral("qpdf"));
        if (qpdf.isEmpty())
            QSKIP("qpdf is not installed");
        QProcess check;
        check.start(qpdf, {QStringLiteral("--check"), target});
        QVERIFY(check.waitForFinished(60000));
        QVERIFY2(check.exitCode() == 0, check.readAllStandardOutput().constData());
    }

    void inkComesFromTheAnnotationObject()
    {
        const QString source = path(QStringLiteral("ink.pdf"));
        const QString target = path(QStringLiteral("ink-out.pdf"));
        QVERIFY(TestUtil::writePdf(source, {{595.28, 841.89}}));
        PdfCanvas canvas;
        QVERIFY(canvas.openPdf(source));
        const QJsonArray strokes{stroke(QStringLiteral("#0000ff"), 0.01, {0.2, 0.75, 0.8, 0.75}),
                                 stroke(QString(), 0.02, {0.15, 0.9})};
        canvas.importAnnotations(QJsonObject{{QStringLiteral("version"), 1},
                                             {QStringLiteral("pages"), QJsonObject{{QStringLiteral("0"), strokes}}}});
        QVERIFY(exportInjectedPdf(&canvas, target));

        QPdfDocument back;
        back.load(target);
        QCOMPARE(back.pageCount(), 1);
        const QImage image = back.render(0, QSize(1240, 1754)).convertToFormat(QImage::Format_RGB32);
        auto at = [&image](double fx, double fy) { return QColor(image.pixel(int(fx * 1239), int(fy * 1753))); };
        const QColor line = at(0.5, 0.75);
        QVERIFY2(line.blue() > 180 && line.red() < 90, qPrintable(line.name()));
        const QColor dot = at(0.15, 0.9);
        QVERIFY2(dot.red() > 160 && dot.blue() < 100, qPrintable(dot.name()));
        for (const QPointF &blank : {QPointF(0.5, 0.7), QPointF(0.85, 0.9), QPointF(0.1, 0.75)})
            QVERIFY2(at(blank.x(), blank.y()).lightness() > 235, qPrintable(at(blank.x(), blank.y()).name()));
    }

    void pngPagesAreAllOrNothing()
    {
        QCOMPARE(pngPageName(QStringLiteral("D:\\课件\\第1课.png"), 3, 12), QStringLiteral("D:\\课件\\第1课-03.png"));
        QCOMPARE(pngPageName(QStringLiteral("D:\\a.b\\c"), 9, 9), QStringLiteral("D:\\a.b\\c-9.png"));
        QCOMPARE(pngPageName(QStringLiteral("/a.b/c"), 1, 1), QStringLiteral("/a.b/c-1.png"));

        const QString source = path(QStringLiteral("png.pdf"));
        QVERIFY(TestUtil::writeA4Pdf(source, 4));
        PdfCanvas canvas;
        QVERIFY(canvas.openPdf(source));
        QDir().mkpath(path(QStringLiteral("png")));
        QStringList written;
        QString error;
        QCOMPARE(exportPngPages(&canvas, path(QStringLiteral("png/ok")), &error, 96, nullptr, &written), 4);
        QCOMPARE(written.last(), path(QStringLiteral("png/ok-4.png")));
        QCOMPARE(QImage(written.first()).size(), QSize(793, 1123)); // 595 x 842 pt at 96 dpi

        // The PDF lost a page since it was opened: page 5 cannot render, and
        // pages 1 to 4 written before it go again.
        ExportSource stale = exportSource(&canvas);
        stale.pageSizes.append(QSizeF(595, 842));
        QCOMPARE(exportPngPages(stale, path(QStringLiteral("png/bad")), &error), -1);
        QCOMPARE(error, QStringLiteral("第 5 页渲染失败"));
        QCOMPARE(QDir(path(QStringLiteral("png"))).entryList(QDir::Files).filter(QStringLiteral("bad")),
                 QStringList());
    }

    void cancelLeavesNothing()
    {
        const QString source = path(QStringLiteral("cancel.pdf"));
        QVERIFY(TestUtil::writeA4Pdf(source, 12));
        PdfCanvas canvas;
        QVERIFY(canvas.openPdf(source));
        const QString folder = path(QStringLiteral("cancel"));
        QDir().mkpath(folder);
        const QString target = folder + QStringLiteral("/old.pdf");
        QFile old(target);
        QVERIFY(old.open(QIODevice::WriteOnly) && old.write("old bytes") == 9);
        old.close();

        CancelAfterFirst pdfMonitor;
        QString error;
        QVERIFY(!exportInjectedPdf(&canvas, target, &error, 150, &pdfMonitor));
        QCOMPARE(error, exportCancelledText());
        CancelAfterFirst pngMonitor;
        QCOMPARE(exportPngPages(&canvas, folder + QStringLiteral("/p"), &error, 96, &pngMonitor), -1);
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("old.pdf")});
        QCOMPARE(readAll(target), QByteArray("old bytes"));
    }

    void commandLine()
    {
        const QString pdf = path(QStringLiteral("cli.pdf"));
        QVERIFY(TestUtil::writeA4Pdf(pdf, 2, QStringLiteral("命令行导出")));
        const QString out = path(QStringLiteral("cli-out.pdf"));
        Run run = runLectern({QStringLiteral("--export-pdf"), pdf, out});
        QCOMPARE(run.code, 0);
        QCOMPARE(run.out, QStringList{QDir::toNativeSeparators(out)});
        QPdfDocument back;
        back.load(out);
        QCOMPARE(back.pageCount(), 2);
        QPdfDocument source;
        source.load(pdf);
        QVERIFY(!source.getAllText(1).text().isEmpty());
        QCOMPARE(back.getAllText(1).text(), source.getAllText(1).text());
        back.close();

        // --raster, wherever it stands: one picture per page, no text.
        const QString pictures = path(QStringLiteral("cli-raster.pdf"));
        run = runLectern({QStringLiteral("--export-pdf"), QStringLiteral("--raster"), pdf, pictures});
        QCOMPARE(run.code, 0);
        QCOMPARE(run.out, QStringList{QDir::toNativeSeparators(pictures)});
        back.load(pictures);
        QCOMPARE(back.pageCount(), 2);
        QCOMPARE(back.getAllText(1).text(), QString());
        back.close();

        // A source qpdf reads differently from the viewer (its /Count says
        // one page, its kids hold two) still exports, as pictures, with a
        // note on standard error and status 0.
        const QString tree = path(QStringLiteral("cli-tree.pdf"));
        QVERIFY(TestUtil::writeA4Pdf(tree, 2));
        QVERIFY(TestUtil::editPdf(tree, [](QPDF &document) {
            document.getRoot().getKey("/Pages").replaceKey("/Count", QPDFObjectHandle::newInteger(1));
        }));
        run = runLectern({QStringLiteral("--export-pdf"), tree, path(QStringLiteral("cli-tree-out.pdf"))});
        QCOMPARE(run.code, 0);
        QVERIFY2(run.err.contains(QStringLiteral("原文无法保留，已按整页图片导出")), qPrintable(run.err));
        QVERIFY(QFileInfo::exists(path(QStringLiteral("cli-tree-out.pdf"))));

        // A package brings its ink; the pages keep the package's name.
        const QString package = path(QStringLiteral("cli.dpz"));
        const QJsonArray strokes{stroke(QStringLiteral("#0000ff"), 0.05, {0.1, 0.9, 0.9, 0.9})};
        QVERIFY(writePackage(package, readAll(pdf),
                             QJsonObject{{QStringLiteral("version"), 1},
                                         {QStringLiteral("pages"), QJsonObject{{QStringLiteral("1"), strokes}}}}));
        const QString base = path(QStringLiteral("cli-page"));
        run = runLectern({QStringLiteral("--export-png"), package, base + QStringLiteral(".PNG")});
        QCOMPARE(run.code, 0);
        QCOMPARE(run.out, (QStringList{base + QStringLiteral("-1.png"), base + QStringLiteral("-2.png")}));
        const QColor ink(QImage(base + QStringLiteral("-2.png")).pixel(397, 1010));
        QVERIFY2(ink.blue() > 180 && ink.red() < 90, qPrintable(ink.name()));

        // A picture goes through its wrapper: 800 x 600 pixels come back at 96 dpi.
        const QString picture = path(QStringLiteral("photo.png"));
        QImage drawn(800, 600, QImage::Format_RGB32);
        drawn.fill(Qt::white);
        drawn.setPixel(700, 500, qRgb(0, 0, 0));
        QVERIFY(drawn.save(picture));
        const QString photoBase = path(QStringLiteral("photo-page"));
        run = runLectern({QStringLiteral("--export-png"), picture, photoBase});
        QCOMPARE(run.code, 0);
        QCOMPARE(run.out, QStringList{photoBase + QStringLiteral("-1.png")});
        QCOMPARE(QImage(photoBase + QStringLiteral("-1.png")).size(), QSize(800, 600));

        run = runLectern({QStringLiteral("--export-pdf"), path(QStringLiteral("missing.pdf")), out});
        QCOMPARE(run.code, 1);
        QVERIFY(run.out.isEmpty());
        QVERIFY(run.err.contains(QStringLiteral("打开失败：")));

        const QByteArray before = readAll(pdf);
        run = runLectern({QStringLiteral("--export-pdf"), pdf, pdf});
        QCOMPARE(run.code, 1);
        QVERIFY(run.err.contains(QStringLiteral("不能用源文件本身作为导出目标，请换一个文件名")));
        QCOMPARE(readAll(pdf), before);

        run = runLectern({QStringLiteral("--export-pdf"), pdf, out + QStringLiteral("/under-a-file.pdf")});
        QCOMPARE(run.code, 1);
        QVERIFY(run.err.contains(QStringLiteral("导出失败：无法写入")));
    }

    // A script exporting a term's lessons learns which package was damaged:
    // the export is written, the warning goes to standard error and the
    // exit status is the one the usage text gives for it.
    void damagedPackageIsReportedByTheCommandLine()
    {
        const QString pdf = path(QStringLiteral("damaged-source.pdf"));
        QVERIFY(TestUtil::writeA4Pdf(pdf, 1));
        const QString package = path(QStringLiteral("第3课.dpz"));
        QVERIFY(writePackage(package, readAll(pdf), QJsonObject{{QStringLiteral("version"), 1}}));
        QByteArray bytes = readAll(package);
        // One flipped byte in the PDF's binary comment line: still a PDF,
        // but no longer the bytes the package recorded.
        const qsizetype at = bytes.indexOf("%PDF-1.");
        QVERIFY(at > 0);
        bytes[at + 11] = char(bytes.at(at + 11) ^ 0x01);
        QFile file(package);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
        file.close();

        const QString out = path(QStringLiteral("第3课-已批注.pdf"));
        const Run run = runLectern({QStringLiteral("--export-pdf"), package, out});
        QCOMPARE(run.code, 4);
        QCOMPARE(run.out, QStringList{QDir::toNativeSeparators(out)});
        QVERIFY2(run.err.contains(QStringLiteral("批注包已损坏：source.pdf 校验不符，内容可能不完整")), qPrintable(run.err));
        QPdfDocument back;
        back.load(out);
        QCOMPARE(back.pageCount(), 1);

        const Run help = runLectern({QStringLiteral("--help")});
        QCOMPARE(help.code, 0);
        const QString usage = help.out.join(QLatin1Char('\n'));
        QVERIFY2(usage.contains(QStringLiteral("--export-pdf [--raster]")), qPrintable(usage));
        QVERIFY2(usage.contains(QStringLiteral("4  已导出，但批注包已损坏")), qPrintable(usage));
    }

    // "ulimit -f" during an export: the write fails with the system's reason
    // (not SIGXFSZ, not "encoding failed"), and no page is left behind.
    void fileSizeLimitFailsTheWriteWithItsReason()
    {
        const QString pdf = path(QStringLiteral("limit.pdf"));
        QVERIFY(TestUtil::writePdf(pdf, QList<QSizeF>(2, QSizeF(1500, 1500)), QStringLiteral("满满一页的板书")));
        const QString folder = path(QStringLiteral("limit"));
        QVERIFY(QDir().mkpath(folder));
        constexpr qint64 kLimit = 16 * 1024;
        const Run run = runLectern({QStringLiteral("--export-png"), pdf, folder + QStringLiteral("/p")}, kLimit);
        QCOMPARE(run.code, 1);
        QVERIFY2(run.err.contains(QStringLiteral("导出失败：写入 ")) && run.err.contains(qt_error_string(EFBIG)),
                 qPrintable(run.err));
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList());

        // The PDF that keeps the original is written by qpdf: the same.
        constexpr qint64 kTinyLimit = 2 * 1024;
        const Run kept = runLectern({QStringLiteral("--export-pdf"), pdf, folder + QStringLiteral("/kept.pdf")},
                                    kTinyLimit);
        QCOMPARE(kept.code, 1);
        QVERIFY2(kept.err.contains(QStringLiteral("导出失败：写入 ")) && kept.err.contains(qt_error_string(EFBIG)),
                 qPrintable(kept.err));
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList());
    }
};

QTEST_MAIN(TestExport)
#include "tst_export.moc"

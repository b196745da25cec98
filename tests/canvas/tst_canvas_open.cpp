#include "canvas/pdfcanvas.h"
#include "testutil.h"

#include <QFile>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

// Files handed to the canvas may be anything: each either opens cleanly or
// fails with the one open message, and the canvas stays usable.
class TestCanvasOpen : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    static bool writeBytes(const QString &path, const QByteArray &bytes)
    {
        QFile file(path);
        return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
    }

    // A hand-written PDF whose page boxes are given verbatim, for sizes no
    // PDF writer would produce.
    static QByteArray pdfWithMediaBoxes(const QStringList &boxes)
    {
        QByteArray out = "%PDF-1.4\n";
        QList<qsizetype> offsets;
        const int pages = int(boxes.size());
        auto object = [&](const QByteArray &body) {
            offsets.append(out.size());
            out += QByteArray::number(offsets.size()) + " 0 obj\n" + body + "\nendobj\n";
        };
        object("<< /Type /Catalog /Pages 2 0 R >>");
        QByteArray kids;
        for (int i = 0; i < pages; ++i)
            kids += QByteArray::number(3 + i) + " 0 R ";
        object("<< /Type /Pages /Kids [" + kids + "] /Count " + QByteArray::number(pages) + " >>");
        for (const QString &box : boxes)
            object("<< /Type /Page /Parent 2 0 R /MediaBox [" + box.toLatin1() + "] >>");
        const qsizetype xref = out.size();
        out += "xref\n0 " + QByteArray::number(offsets.size() + 1) + "\n0000000000 65535 f \n";
        for (const qsizetype offset : offsets)
            out += QByteArray::number(offset).rightJustified(10, '0') + " 00000 n \n";
        out += "trailer\n<< /Size " + QByteArray::number(offsets.size() + 1)
                + " /Root 1 0 R >>\nstartxref\n" + QByteArray::number(xref) + "\n%%EOF\n";
        return out;
    }

private slots:
    void badFilesFailWithTheMessage_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("create");
        QTest::newRow("not a PDF") << QByteArray("这不是 PDF，只是一段文字。\n") << true;
        QTest::newRow("empty file") << QByteArray() << true;
        QTest::newRow("missing path") << QByteArray() << false;
        QTest::newRow("header only") << QByteArray("%PDF-1.7\n") << true;
        QTest::newRow("no pages") << pdfWithMediaBoxes({}) << true;
    }

    void badFilesFailWithTheMessage()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, create);
        const QString path = m_dir.filePath(QStringLiteral("bad %1.pdf").arg(QTest::currentDataTag()));
        if (create)
            QVERIFY(writeBytes(path, bytes));
        PdfCanvas canvas;
        canvas.resize(600, 400);
        canvas.show();
        const int serial = canvas.documentSerial();
        QString error;
        QVERIFY(!canvas.openPdf(path, &error));
        QVERIFY2(QRegularExpression(QStringLiteral("^QPdfDocument::load failed \\(error \\d+\\)$"))
                         .match(error).hasMatch(), qPrintable(error));
        // "No error" is never what a failed open reports.
        QVERIFY(error != QStringLiteral("QPdfDocument::load failed (error 0)"));
        QVERIFY(!canvas.hasDocument());
        QCOMPARE(canvas.pageCount(), 0);
        QVERIFY(canvas.path().isEmpty());
        QCOMPARE(canvas.documentSerial(), serial + 1);
        // Painting the empty canvas and opening a good file afterwards work.
        canvas.grab();
        const QString good = m_dir.filePath(QStringLiteral("good.pdf"));
        QVERIFY(TestUtil::writeA4Pdf(good, 2));
        QVERIFY(canvas.openPdf(good));
        QCOMPARE(canvas.pageCount(), 2);
        QVERIFY(!canvas.grab().isNull());
    }

    void failedOpenDropsThePreviousDocument()
    {
        const QString good = m_dir.filePath(QStringLiteral("good.pdf"));
        QVERIFY(TestUtil::writeA4Pdf(good, 2));
        const QString bad = m_dir.filePath(QStringLiteral("bad.pdf"));
        QVERIFY(writeBytes(bad, "not a pdf"));
        PdfCanvas canvas;
        canvas.resize(600, 400);
        canvas.show();
        QVERIFY(canvas.openPdf(good));
        canvas.grab();
        QVERIFY(!canvas.openPdf(bad));
        QCOMPARE(canvas.pageCount(), 0);
        QCOMPARE(canvas.tileCacheBytes(), 0);
        QVERIFY(canvas.pageRect(0).isEmpty());
        QVERIFY(!canvas.grab().isNull());
    }

    void truncatedFileFailsOrOpensCleanly_data()
    {
        QTest::addColumn<double>("keep");
        QTest::newRow("first tenth") << 0.1;
        QTest::newRow("half") << 0.5;
        QTest::newRow("all but the trailer") << 0.97;
    }

    void truncatedFileFailsOrOpensCleanly()
    {
        QFETCH(double, keep);
        const QString whole = m_dir.filePath(QStringLiteral("whole.pdf"));
        QVERIFY(TestUtil::writeA4Pdf(whole, 6, QStringLiteral("截断测试")));
        QFile source(whole);
        QVERIFY(source.open(QIODevice::ReadOnly));
        const QByteArray bytes = source.readAll();
        const QString path = m_dir.filePath(QStringLiteral("truncated.pdf"));
        QVERIFY(writeBytes(path, bytes.left(qsizetype(bytes.size() * keep))));

        PdfCanvas canvas;
        canvas.resize(600, 400);
        canvas.show();
        QString error;
        if (canvas.openPdf(path, &error)) {
            QVERIFY(canvas.pageCount() > 0);
            QVERIFY(error.isEmpty());
            for (int page = 0; page < canvas.pageCount(); ++page) {
                canvas.goToPage(page);
                QVERIFY(!canvas.grab().isNull());
            }
        } else {
            QVERIFY(error.startsWith(QStringLiteral("QPdfDocument::load failed (error ")));
            QCOMPARE(canvas.pageCount(), 0);
        }
    }

    void chinesePathWithSpacesOpens()
    {
        const QString folder = m_dir.filePath(QStringLiteral("三年级 语文"));
        QVERIFY(QDir().mkpath(folder));
        const QString path = folder + QStringLiteral("/第 一 课 课件.pdf");
        QVERIFY(TestUtil::writeA4Pdf(path, 3, QStringLiteral("春眠不觉晓")));
        PdfCanvas canvas;
        canvas.resize(600, 400);
        canvas.show();
        QSignalSpy pages(&canvas, &PdfCanvas::pageChanged);
        QString error;
        QVERIFY2(canvas.openPdf(path, &error), qPrintable(error));
        QCOMPARE(canvas.path(), path);
        QCOMPARE(canvas.pageCount(), 3);
        QVERIFY(!pages.isEmpty());
        QCOMPARE(pages.last().at(0).toInt(), 0);
        QCOMPARE(pages.last().at(1).toInt(), 3);
    }

    // PDFium replaces an all-zero box by a default size, so the page that
    // reaches the layout with (almost) no area is a tiny one.
    void zeroSizePageGetsASlot()
    {
        const QString path = m_dir.filePath(QStringLiteral("zero.pdf"));
        QVERIFY(writeBytes(path, pdfWithMediaBoxes({ QStringLiteral("0 0 0.001 0.001"),
                                                     QStringLiteral("0 0 595 842") })));
        PdfCanvas canvas;
        canvas.resize(600, 400);
        canvas.show();
        QString error;
        QVERIFY2(canvas.openPdf(path, &error), qPrintable(error));
        QCOMPARE(canvas.pageCount(), 2);
        const QRectF first = canvas.pageRect(0);
        QCOMPARE(first.size(), QSizeF(1, 1));
        QVERIFY(canvas.pageRect(1).top() > first.top());
        QVERIFY(!canvas.grab().isNull());
    }

    void tinyWidestPageStopsAtTheScaleLimit()
    {
        const QString path = m_dir.filePath(QStringLiteral("allzero.pdf"));
        QVERIFY(writeBytes(path, pdfWithMediaBoxes({ QStringLiteral("0 0 0.001 0.001"),
                                                     QStringLiteral("0 0 0.001 0.002") })));
        PdfCanvas canvas;
        canvas.resize(600, 400);
        canvas.show();
        if (!canvas.openPdf(path))
            return; // refusing such a file is as good as showing it
        QCOMPARE(canvas.scale(), 8.0);
        QCOMPARE(canvas.pageRect(0).size(), QSizeF(1, 1));
        QVERIFY(!canvas.grab().isNull());
    }
};

QTEST_MAIN(TestCanvasOpen)
#include "tst_canvas_open.moc"

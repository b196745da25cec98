#include "canvas/pdfcanvas.h"
#include "testutil.h"

#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

// Page layout and the three coordinate mappings of the canvas.
class TestCanvasLayout : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    QString makePdf(const QString &name, const QList<QSizeF> &sizes)
    {
        const QString path = m_dir.filePath(name);
        if (!QFile::exists(path) && !TestUtil::writePdf(path, sizes))
            return QString();
        return path;
    }

    static QList<QSizeF> a4Pages(int count)
    {
        return QList<QSizeF>(count, QSizeF(595, 842));
    }

private slots:
    void mixedWidthsAreCentredAtOneScale()
    {
        const QList<QSizeF> sizes { QSizeF(595, 842), QSizeF(300, 400), QSizeF(842, 595) };
        const QString path = makePdf(QStringLiteral("mixed.pdf"), sizes);
        PdfCanvas canvas;
        canvas.resize(900, 700);
        canvas.show();
        QVERIFY(canvas.openPdf(path));
        const double w = canvas.viewport()->width();
        // The widest page fills the viewport less two side margins.
        const QRectF widest = canvas.pageRect(2);
        const double margin = (w - widest.width()) / 2;
        QVERIFY(margin >= 14);
        QVERIFY(qAbs(margin - canvas.pageRect(2).left()) < 1e-6);
        for (int i = 0; i < sizes.size(); ++i) {
            const QRectF r = canvas.pageRect(i);
            QVERIFY2(qAbs(r.center().x() - w / 2) < 1e-6, qPrintable(QString::number(i)));
            QVERIFY(qAbs(r.width() / sizes.at(i).width() - canvas.scale()) < 1e-3);
            QVERIFY(qAbs(r.height() / sizes.at(i).height() - canvas.scale()) < 1e-3);
        }
        QVERIFY(canvas.pageRect(1).top() > canvas.pageRect(0).bottom());
        QVERIFY(canvas.pageRect(3).isEmpty());
        QVERIFY(canvas.pageRect(-1).isEmpty());
        QCOMPARE(canvas.pageSizePt(1).toSize(), QSize(300, 400));
        QVERIFY(!canvas.pageSizePt(3).isValid());
    }

    void sameSizeTwiceLaysOutOnce()
    {
        const QString path = makePdf(QStringLiteral("a4x3.pdf"), a4Pages(3));
        PdfCanvas canvas;
        canvas.resize(700, 500);
        canvas.show();
        QVERIFY(canvas.openPdf(path));
        QVERIFY(QTest::qWaitForWindowExposed(&canvas));
        canvas.resize(640, 480);
        QCoreApplication::processEvents();
        const int before = canvas.layoutCount();
        canvas.relayout();
        canvas.resize(640, 480);
        QCoreApplication::processEvents();
        QCOMPARE(canvas.layoutCount(), before);
        canvas.resize(660, 480);
        QCoreApplication::processEvents();
        QVERIFY(canvas.layoutCount() > before);
    }

    void goToPageClamps_data()
    {
        QTest::addColumn<int>("asked");
        QTest::addColumn<int>("expected");
        QTest::newRow("before first") << -5 << 0;
        QTest::newRow("first") << 0 << 0;
        QTest::newRow("middle") << 3 << 3;
        QTest::newRow("last") << 9 << 9;
        QTest::newRow("past last") << 1000 << 9;
    }

    void goToPageClamps()
    {
        QFETCH(int, asked);
        QFETCH(int, expected);
        const QString path = makePdf(QStringLiteral("a4x10.pdf"), a4Pages(10));
        PdfCanvas canvas;
        canvas.resize(600, 400);
        canvas.show();
        QVERIFY(canvas.openPdf(path));
        canvas.goToPage(5);
        QSignalSpy spy(&canvas, &PdfCanvas::pageChanged);
        canvas.goToPage(asked);
        QVERIFY(!spy.isEmpty());
        QCOMPARE(spy.last().at(0).toInt(), expected);
        QCOMPARE(spy.last().at(1).toInt(), 10);
        QCOMPARE(canvas.currentPage(), expected);
        QVERIFY(canvas.pageRect(expected).top() <= 1);
    }

    void goToPageWithoutDocumentDoesNothing()
    {
        PdfCanvas canvas;
        QSignalSpy spy(&canvas, &PdfCanvas::pageChanged);
        canvas.goToPage(3);
        QCOMPARE(spy.count(), 0);
        QCOMPARE(canvas.currentPage(), 0);
        QCOMPARE(canvas.pageAt(QPointF(10, 10)), -1);
    }

    void scaleStopsAtLimits_data()
    {
        QTest::addColumn<QSizeF>("pagePt");
        QTest::addColumn<double>("zoom");
        QTest::addColumn<double>("expected");
        QTest::newRow("tiny page zoomed in") << QSizeF(10, 10) << 4.0 << 8.0;
        QTest::newRow("tiny page fit") << QSizeF(10, 10) << 1.0 << 8.0;
        QTest::newRow("huge page zoomed out") << QSizeF(14400, 14400) << 0.25 << 0.05;
    }

    void scaleStopsAtLimits()
    {
        QFETCH(QSizeF, pagePt);
        QFETCH(double, zoom);
        QFETCH(double, expected);
        const QString path = makePdf(QStringLiteral("page-%1.pdf").arg(pagePt.width()), { pagePt });
        PdfCanvas canvas;
        canvas.resize(800, 600);
        canvas.show();
        QVERIFY(canvas.openPdf(path));
        canvas.setZoom(zoom);
        QCOMPARE(canvas.scale(), expected);
        QVERIFY(qAbs(canvas.pageRect(0).width() - pagePt.width() * expected) < 0.5);
    }

    void zoomIsClamped()
    {
        const QString path = makePdf(QStringLiteral("a4x3.pdf"), a4Pages(3));
        PdfCanvas canvas;
        canvas.resize(600, 400);
        QVERIFY(canvas.openPdf(path));
        QSignalSpy spy(&canvas, &PdfCanvas::zoomChanged);
        canvas.setZoom(10);
        QCOMPARE(canvas.zoom(), 4.0);
        canvas.setZoom(0.1);
        QCOMPARE(canvas.zoom(), 0.25);
        canvas.setZoom(0.25);
        QCOMPARE(spy.count(), 2);
    }

    void mappingsHitSheetsOnly()
    {
        const QString path = makePdf(QStringLiteral("mixed.pdf"),
                                     { QSizeF(595, 842), QSizeF(300, 400), QSizeF(842, 595) });
        PdfCanvas canvas;
        canvas.resize(900, 700);
        canvas.show();
        QVERIFY(canvas.openPdf(path));
        const QRectF first = canvas.pageRect(0);
        QCOMPARE(canvas.pageAt(first.center()), 0);
        QCOMPARE(canvas.pageFraction(0, first.center()), QPointF(0.5, 0.5));
        QCOMPARE(canvas.pageFraction(0, first.topLeft() - QPointF(50, 50)), QPointF(0, 0));
        QCOMPARE(canvas.pageFraction(0, first.bottomRight() + QPointF(50, 50)), QPointF(1, 1));
        QCOMPARE(canvas.pageFraction(7, first.center()), QPointF(0, 0));
        // Desk beside a sheet, the top margin and the gap below it hit nothing.
        QCOMPARE(canvas.pageAt(QPointF(first.left() - 3, first.center().y())), -1);
        QCOMPARE(canvas.pageAt(QPointF(first.center().x(), first.top() - 2)), -1);
        QCOMPARE(canvas.pageAt(QPointF(first.center().x(), first.bottom() + 2)), -1);
        // The narrow second page: its row exists but left of the sheet is desk.
        canvas.goToPage(1);
        const QRectF second = canvas.pageRect(1);
        QCOMPARE(canvas.pageAt(second.center()), 1);
        QCOMPARE(canvas.pageAt(QPointF(second.left() - 5, second.center().y())), -1);
    }

    void onePixelScrollReportsPage()
    {
        const QString path = makePdf(QStringLiteral("a4x3.pdf"), a4Pages(3));
        PdfCanvas canvas;
        canvas.resize(600, 400);
        canvas.show();
        QVERIFY(canvas.openPdf(path));
        QSignalSpy spy(&canvas, &PdfCanvas::pageChanged);
        canvas.verticalScrollBar()->setValue(1);
        QCOMPARE(spy.count(), 1);
        QCOMPARE(spy.last().at(0).toInt(), 0);
        QCOMPARE(spy.last().at(1).toInt(), 3);
    }

    void currentPageInGapIsValid()
    {
        const QString path = makePdf(QStringLiteral("a4x3.pdf"), a4Pages(3));
        PdfCanvas canvas;
        canvas.resize(600, 400);
        canvas.show();
        QVERIFY(canvas.openPdf(path));
        const int gapY = int(canvas.pageRect(0).bottom()) + 2; // in the gap under page 1
        canvas.verticalScrollBar()->setValue(gapY);
        QCOMPARE(canvas.currentPage(), 1);
        canvas.verticalScrollBar()->setValue(canvas.verticalScrollBar()->maximum());
        QVERIFY(canvas.currentPage() >= 0 && canvas.currentPage() < 3);
    }

    void closeResetsEverything()
    {
        const QString path = makePdf(QStringLiteral("a4x3.pdf"), a4Pages(3));
        PdfCanvas canvas;
        canvas.resize(600, 400);
        canvas.show();
        QVERIFY(canvas.openPdf(path));
        const int serial = canvas.documentSerial();
        QSignalSpy spy(&canvas, &PdfCanvas::pageChanged);
        canvas.closeDocument();
        QCOMPARE(spy.count(), 1);
        QCOMPARE(spy.last().at(0).toInt(), 0);
        QCOMPARE(spy.last().at(1).toInt(), 0);
        QCOMPARE(canvas.pageCount(), 0);
        QVERIFY(!canvas.hasDocument());
        QVERIFY(canvas.path().isEmpty());
        QCOMPARE(canvas.documentSerial(), serial + 1);
        QCOMPARE(canvas.verticalScrollBar()->maximum(), 0);
        QCOMPARE(canvas.tileCacheBytes(), 0);
        QVERIFY(canvas.pageRect(0).isEmpty());
    }
};

QTEST_MAIN(TestCanvasLayout)
#include "tst_canvas_layout.moc"

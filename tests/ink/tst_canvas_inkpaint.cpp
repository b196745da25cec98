#include "canvas/pdfcanvas.h"
#include "testutil.h"

#include <QScrollBar>
#include <QTemporaryDir>
#include <QtTest>

// Ink as the user sees it: pixels grabbed from the real canvas.
class TestCanvasInkPaint : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_pdf;

    static bool isInk(QRgb c)
    {
        // The pen red against white paper.
        return qRed(c) > 150 && qGreen(c) < 120 && qBlue(c) < 120;
    }

    // Ink pixels in one image column.
    static int inkRun(const QImage &image, int x)
    {
        int n = 0;
        for (int y = 0; y < image.height(); ++y)
            n += isInk(image.pixel(x, y)) ? 1 : 0;
        return n;
    }

    static QImage grabViewport(PdfCanvas &canvas)
    {
        QCoreApplication::processEvents();
        return canvas.viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    }

    static QPoint at(const PdfCanvas &canvas, double fx, double fy)
    {
        const QRectF r = canvas.pageRect(0);
        return QPointF(r.left() + fx * r.width(), r.top() + fy * r.height()).toPoint();
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_pdf = m_dir.filePath(QStringLiteral("a.pdf"));
        QVERIFY(TestUtil::writeA4Pdf(m_pdf, 1));
    }

    void strokeThicknessFollowsZoom()
    {
        PdfCanvas canvas;
        canvas.resize(700, 900);
        QVERIFY(canvas.openPdf(m_pdf));
        canvas.show();
        QVERIFY(QTest::qWaitForWindowExposed(&canvas));
        canvas.setPenColor(QColor(220, 0, 0));
        canvas.setPenWidth(6);
        QWidget *vp = canvas.viewport();
        QTest::mousePress(vp, Qt::LeftButton, Qt::NoModifier, at(canvas, 0.1, 0.1));
        QTest::mouseMove(vp, at(canvas, 0.3, 0.1));
        QTest::mouseRelease(vp, Qt::LeftButton, Qt::NoModifier, at(canvas, 0.3, 0.1));
        QCOMPARE(canvas.strokeCount(), 1);

        const int fitRun = inkRun(grabViewport(canvas), at(canvas, 0.2, 0.1).x());
        QVERIFY2(fitRun >= 5 && fitRun <= 8, qPrintable(QString::number(fitRun)));

        canvas.setZoom(2.0);
        canvas.verticalScrollBar()->setValue(0);
        canvas.horizontalScrollBar()->setValue(0);
        const QImage zoomed = grabViewport(canvas);
        const int x = at(canvas, 0.2, 0.1).x();
        QVERIFY(x >= 0 && x < zoomed.width());
        const int zoomRun = inkRun(zoomed, x);
        QVERIFY2(qAbs(zoomRun - 2 * fitRun) <= 2,
                 qPrintable(QStringLiteral("%1 vs %2").arg(zoomRun).arg(fitRun)));
    }

    void liveStrokeIsVisibleAndUndoRemovesIt()
    {
        PdfCanvas canvas;
        canvas.resize(700, 900);
        QVERIFY(canvas.openPdf(m_pdf));
        canvas.show();
        QVERIFY(QTest::qWaitForWindowExposed(&canvas));
        canvas.setPenColor(QColor(220, 0, 0));
        canvas.setPenWidth(8);
        QWidget *vp = canvas.viewport();
        const int x = at(canvas, 0.5, 0.4).x();
        QCOMPARE(inkRun(grabViewport(canvas), x), 0);

        QTest::mousePress(vp, Qt::LeftButton, Qt::NoModifier, at(canvas, 0.4, 0.4));
        QTest::mouseMove(vp, at(canvas, 0.6, 0.4));
        QVERIFY(inkRun(grabViewport(canvas), x) > 0); // drawn before commit
        QTest::mouseRelease(vp, Qt::LeftButton, Qt::NoModifier, at(canvas, 0.6, 0.4));
        QVERIFY(inkRun(grabViewport(canvas), x) > 0);

        canvas.undo();
        QCOMPARE(inkRun(grabViewport(canvas), x), 0);
    }

    // A small repaint (one new sample's rectangle) culls strokes against its
    // region; a stroke inside the region must still be drawn there.
    void partialRepaintKeepsInkInsideIt_data()
    {
        QTest::addColumn<double>("fy");
        QTest::newRow("upper stroke") << 0.2;
        QTest::newRow("lower stroke") << 0.7;
    }

    void partialRepaintKeepsInkInsideIt()
    {
        QFETCH(double, fy);
        PdfCanvas canvas;
        canvas.resize(700, 900);
        QVERIFY(canvas.openPdf(m_pdf));
        canvas.show();
        QVERIFY(QTest::qWaitForWindowExposed(&canvas));
        canvas.setPenColor(QColor(220, 0, 0));
        canvas.setPenWidth(6);
        QWidget *vp = canvas.viewport();
        QTest::mousePress(vp, Qt::LeftButton, Qt::NoModifier, at(canvas, 0.2, fy));
        QTest::mouseMove(vp, at(canvas, 0.8, fy));
        QTest::mouseRelease(vp, Qt::LeftButton, Qt::NoModifier, at(canvas, 0.8, fy));
        QCoreApplication::processEvents();

        const QRect area(at(canvas, 0.5, fy) - QPoint(15, 15), QSize(30, 30));
        QImage part(area.size(), QImage::Format_RGB32);
        part.fill(Qt::white);
        vp->render(&part, QPoint(), QRegion(area));
        QVERIFY(inkRun(part, 15) >= 5);
    }
};

QTEST_MAIN(TestCanvasInkPaint)
#include "tst_canvas_inkpaint.moc"

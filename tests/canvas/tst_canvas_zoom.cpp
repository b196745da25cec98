#include "canvas/pdfcanvas.h"
#include "testutil.h"

#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QWheelEvent>
#include <QtTest>

// Zoom about the pointer, the zoom limits and steps, settling, and what
// stops a glide, driven through the real canvas and real wheel events.
class TestCanvasZoom : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_pdf;

    void openCanvas(PdfCanvas &canvas) { QVERIFY(TestUtil::showCanvas(canvas, m_pdf)); }

    static void wheel(QWidget *vp, QPointF pos, int delta, Qt::KeyboardModifiers mods)
    {
        QWheelEvent event(pos, vp->mapToGlobal(pos), QPoint(), QPoint(0, delta), Qt::NoButton,
                          mods, Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(vp, &event);
    }

    // Page point (in points) under a viewport position.
    static QPointF pagePoint(const PdfCanvas &canvas, int page, QPointF pos)
    {
        const QRectF r = canvas.pageRect(page);
        const QSizeF pt = canvas.pageSizePt(page);
        return QPointF((pos.x() - r.left()) / r.width() * pt.width(),
                       (pos.y() - r.top()) / r.height() * pt.height());
    }

    static QPointF viewportOf(const PdfCanvas &canvas, int page, QPointF pagePt)
    {
        const QRectF r = canvas.pageRect(page);
        const QSizeF pt = canvas.pageSizePt(page);
        return QPointF(r.left() + pagePt.x() / pt.width() * r.width(),
                       r.top() + pagePt.y() / pt.height() * r.height());
    }

    // One pixel at the current scale, in points.
    static double pixelInPoints(const PdfCanvas &canvas) { return 1.0 / canvas.scale(); }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_pdf = m_dir.filePath(QStringLiteral("a.pdf"));
        QVERIFY(TestUtil::writeA4Pdf(m_pdf, 3, QStringLiteral("word")));
    }

    void wheelKeepsPointUnderPointer_data()
    {
        QTest::addColumn<QPointF>("pos");
        QTest::addColumn<int>("notches");
        QTest::newRow("centre, three notches") << QPointF(400, 300) << 3;
        QTest::newRow("left part, one notch") << QPointF(150, 200) << 1;
        QTest::newRow("right low, five notches") << QPointF(650, 520) << 5;
        QTest::newRow("high-resolution wheel") << QPointF(300, 400) << -1; // 7 x 40
    }

    void wheelKeepsPointUnderPointer()
    {
        QFETCH(QPointF, pos);
        QFETCH(int, notches);
        PdfCanvas canvas;
        openCanvas(canvas);
        canvas.verticalScrollBar()->setValue(200);
        QWidget *vp = canvas.viewport();
        const int page = canvas.pageAt(pos);
        QVERIFY(page >= 0);
        const QPointF word = pagePoint(canvas, page, pos);

        auto checkStill = [&]() {
            const QPointF now = pagePoint(canvas, page, pos);
            const double tol = pixelInPoints(canvas) * 1.01;
            QVERIFY2(std::abs(now.x() - word.x()) <= tol && std::abs(now.y() - word.y()) <= tol,
                     qPrintable(QStringLiteral("moved to %1,%2 from %3,%4")
                                        .arg(now.x()).arg(now.y()).arg(word.x()).arg(word.y())));
        };
        const int steps = notches > 0 ? notches : 7;
        const int delta = notches > 0 ? 120 : 40;
        for (int i = 0; i < steps; ++i) {
            wheel(vp, pos, delta, Qt::ControlModifier);
            checkStill();
        }
        QVERIFY(canvas.zoom() > 1.2);
        QVERIFY(canvas.isZoomInFlight());
        for (int i = 0; i < steps; ++i) {
            wheel(vp, pos, -delta, Qt::ControlModifier);
            checkStill();
        }
        QCOMPARE(canvas.zoom(), 1.0);
        QTRY_VERIFY(!canvas.isZoomInFlight());
        // The settled layout keeps it too.
        checkStill();
        const QPointF back = viewportOf(canvas, page, word);
        QVERIFY(std::abs(back.x() - pos.x()) <= 1.01 && std::abs(back.y() - pos.y()) <= 1.01);
    }

    void wheelWithoutCtrlDoesNotZoom()
    {
        PdfCanvas canvas;
        openCanvas(canvas);
        QSignalSpy zoomed(&canvas, &PdfCanvas::zoomChanged);
        wheel(canvas.viewport(), QPointF(400, 300), -120, Qt::NoModifier);
        QCOMPARE(zoomed.count(), 0);
        QCOMPARE(canvas.zoom(), 1.0);
        // ...it scrolls instead.
        QVERIFY(canvas.verticalScrollBar()->value() > 0);
    }

    void limitsAndSteps_data()
    {
        QTest::addColumn<double>("request");
        QTest::addColumn<double>("expected");
        QTest::newRow("below the limit") << 0.1 << 0.25;
        QTest::newRow("above the limit") << 10.0 << 4.0;
        QTest::newRow("inside") << 2.5 << 2.5;
        QTest::newRow("not a number") << qQNaN() << 1.0;
    }

    void limitsAndSteps()
    {
        QFETCH(double, request);
        QFETCH(double, expected);
        PdfCanvas canvas;
        openCanvas(canvas);
        canvas.setZoom(request);
        QCOMPARE(canvas.zoom(), expected);
    }

    // A resize (full screen, a docked keyboard) lays the pages out anew
    // without touching zoom or scroll values; the next zoom must anchor on
    // the new layout, not on the one before.
    void wheelAfterResizeKeepsPointUnderPointer()
    {
        PdfCanvas canvas;
        openCanvas(canvas);
        canvas.verticalScrollBar()->setValue(200);
        QWidget *vp = canvas.viewport();
        const QPointF pos(300, 250);
        wheel(vp, pos, 120, Qt::ControlModifier);
        wheel(vp, pos, 120, Qt::ControlModifier);
        const int v = canvas.verticalScrollBar()->value();
        const int oldWidth = vp->width();
        canvas.resize(700, 600);
        QTRY_VERIFY(vp->width() < oldWidth);
        QCOMPARE(canvas.verticalScrollBar()->value(), v);
        const int page = canvas.pageAt(pos);
        QVERIFY(page >= 0);
        const QPointF word = pagePoint(canvas, page, pos);
        wheel(vp, pos, 120, Qt::ControlModifier);
        const QPointF now = pagePoint(canvas, page, pos);
        const double tol = pixelInPoints(canvas) * 1.01;
        QVERIFY2(std::abs(now.x() - word.x()) <= tol && std::abs(now.y() - word.y()) <= tol,
                 qPrintable(QStringLiteral("moved to %1,%2 from %3,%4")
                                    .arg(now.x()).arg(now.y()).arg(word.x()).arg(word.y())));
    }

    void repeatedZoomEmitsNothingAndStepsCompound()
    {
        PdfCanvas canvas;
        openCanvas(canvas);
        canvas.setZoom(2.0);
        QSignalSpy zoomed(&canvas, &PdfCanvas::zoomChanged);
        canvas.setZoom(2.0);
        QCOMPARE(zoomed.count(), 0);
        canvas.fitWidth(true);
        QCOMPARE(canvas.zoom(), 1.0);
        canvas.zoomIn();
        canvas.zoomIn();
        QCOMPARE(canvas.zoom(), 1.5625);
        QVERIFY(!canvas.isZoomInFlight()); // steps render at once
        canvas.zoomOut();
        QCOMPARE(canvas.zoom(), 1.25);
    }

    void fitWidthKeepsPage()
    {
        PdfCanvas canvas;
        openCanvas(canvas);
        canvas.setZoom(3.0);
        canvas.goToPage(1);
        QCOMPARE(canvas.currentPage(), 1);
        canvas.fitWidth(false);
        QCOMPARE(canvas.zoom(), 3.0);
        canvas.fitWidth(true);
        QCOMPARE(canvas.zoom(), 1.0);
        QCOMPARE(canvas.pageAt(QPointF(400, 300)), 1);
    }

    void noDocumentNoZoom()
    {
        PdfCanvas canvas;
        canvas.resize(800, 600);
        QSignalSpy zoomed(&canvas, &PdfCanvas::zoomChanged);
        canvas.setZoom(2);
        canvas.zoomIn();
        wheel(canvas.viewport(), QPointF(10, 10), 120, Qt::ControlModifier);
        QCOMPARE(zoomed.count(), 0);
        QCOMPARE(canvas.zoom(), 1.0);
    }

    void reentryIsTolerated()
    {
        PdfCanvas canvas;
        openCanvas(canvas);
        int deepest = 0;
        connect(&canvas, &PdfCanvas::zoomChanged, &canvas, [&](double z) {
            deepest = std::max(deepest, PdfCanvas::applyDepth());
            if (z < 2)
                canvas.setZoom(2.0);
        });
        canvas.setZoom(1.5);
        QCOMPARE(canvas.zoom(), 2.0);
        QCOMPARE(deepest, 2);
        QCOMPARE(PdfCanvas::applyDepth(), 0);
    }

    void glideStoppers_data()
    {
        QTest::addColumn<int>("stopper");
        QTest::newRow("zoom") << 0;
        QTest::newRow("wheel") << 1;
        QTest::newRow("go to page") << 2;
        QTest::newRow("close") << 3;
        QTest::newRow("mouse press") << 4;
    }

    void glideStoppers()
    {
        QFETCH(int, stopper);
        PdfCanvas canvas;
        openCanvas(canvas);
        canvas.setZoom(2.0);
        // A fast downward flick: samples a few ms apart, released at once.
        canvas.addPanSample(0, -40);
        canvas.addPanSample(0, -40);
        canvas.addPanSample(0, -40);
        canvas.verticalScrollBar()->setValue(1000);
        QVERIFY(canvas.startFling());
        QVERIFY(canvas.isGliding());
        QVERIFY(canvas.glide().velocity().y() < 0);
        QCOMPARE(canvas.glide().velocity().x(), 0.0);
        switch (stopper) {
        case 0: canvas.zoomIn(); break;
        case 1: wheel(canvas.viewport(), QPointF(400, 300), 0, Qt::NoModifier); break;
        case 2: canvas.goToPage(0); break;
        case 3: canvas.closeDocument(); break;
        case 4:
            QTest::mousePress(canvas.viewport(), Qt::RightButton, Qt::NoModifier, QPoint(5, 5));
            break;
        }
        QVERIFY(!canvas.isGliding());
    }

    void glideMovesByWholePixelsAndEnds()
    {
        PdfCanvas canvas;
        openCanvas(canvas);
        canvas.addPanSample(0, -30);
        canvas.addPanSample(0, -30);
        const int before = canvas.verticalScrollBar()->value();
        QVERIFY(canvas.startFling());
        QTRY_VERIFY_WITH_TIMEOUT(!canvas.isGliding(), 10000);
        // Content followed the upward finger: the view moved down.
        QVERIFY(canvas.verticalScrollBar()->value() > before);
    }

    void restingFingerDoesNotGlide()
    {
        PdfCanvas canvas;
        openCanvas(canvas);
        canvas.addPanSample(0, -30);
        canvas.addPanSample(0, -30);
        QTest::qWait(80); // the finger rests before lifting
        QVERIFY(!canvas.startFling());
        QVERIFY(!canvas.isGliding());
    }
};

QTEST_MAIN(TestCanvasZoom)
#include "tst_canvas_zoom.moc"

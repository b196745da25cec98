#include "canvas/pdfcanvas.h"
#include "testutil.h"

#include <QPointingDevice>
#include <QSignalSpy>
#include <QTabletEvent>
#include <QTemporaryDir>
#include <QtTest>

// Erasing on the real canvas: cutting by mouse and pen eraser, one undo step
// per gesture, the radius steps, palm gestures and the jump guard.
class TestCanvasErase : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_pdf;

    void openCanvas(PdfCanvas &canvas) { QVERIFY(TestUtil::showCanvas(canvas, m_pdf)); }

    static QPoint onPage(const PdfCanvas &canvas, double fx, double fy)
    {
        return TestUtil::pagePoint(canvas, fx, fy).toPoint();
    }

    // A horizontal pen line across the middle of the first page's top part.
    static void drawLine(PdfCanvas &canvas, double y = 0.2)
    {
        QWidget *vp = canvas.viewport();
        canvas.setTool(PdfCanvas::InkTool::Pen);
        QTest::mousePress(vp, Qt::LeftButton, Qt::NoModifier, onPage(canvas, 0.2, y));
        QTest::mouseMove(vp, onPage(canvas, 0.5, y));
        QTest::mouseMove(vp, onPage(canvas, 0.8, y));
        QTest::mouseRelease(vp, Qt::LeftButton, Qt::NoModifier, onPage(canvas, 0.8, y));
    }

    static void sendTablet(QWidget *target, const QPointingDevice *device, QEvent::Type type,
                           const QPointF &pos, Qt::MouseButton button, Qt::MouseButtons buttons)
    {
        QTabletEvent event(type, device, pos, target->mapToGlobal(pos), 0.5, 0, 0, 0, 0, 0,
                           Qt::NoModifier, button, buttons);
        QCoreApplication::sendEvent(target, &event);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_pdf = m_dir.filePath(QStringLiteral("a.pdf"));
        QVERIFY(TestUtil::writeA4Pdf(m_pdf, 2));
    }

    void cutInTheMiddleIsOneUndoStep()
    {
        PdfCanvas canvas;
        openCanvas(canvas);
        drawLine(canvas);
        QCOMPARE(canvas.strokeCount(), 1);
        const int depth = canvas.undoDepth();

        canvas.setTool(PdfCanvas::InkTool::Eraser);
        QSignalSpy undoState(&canvas, &PdfCanvas::undoStateChanged);
        QWidget *vp = canvas.viewport();
        // A vertical sweep across the line's middle, in small steps.
        QTest::mousePress(vp, Qt::LeftButton, Qt::NoModifier, onPage(canvas, 0.5, 0.15));
        QVERIFY(canvas.isErasing());
        for (int i = 1; i <= 10; ++i)
            QTest::mouseMove(vp, onPage(canvas, 0.5, 0.15 + 0.01 * i));
        QTest::mouseRelease(vp, Qt::LeftButton, Qt::NoModifier, onPage(canvas, 0.5, 0.25));
        QVERIFY(!canvas.isErasing());

        QCOMPARE(canvas.strokeCount(), 2);
        QCOMPARE(canvas.undoDepth(), depth + 1);
        QVERIFY(undoState.count() >= 1);
        canvas.undo();
        QCOMPARE(canvas.strokeCount(), 1);
        canvas.redo();
        QCOMPARE(canvas.strokeCount(), 2);
    }

    void eraseOffThePageChangesNothing()
    {
        PdfCanvas canvas;
        openCanvas(canvas);
        drawLine(canvas);
        canvas.setTool(PdfCanvas::InkTool::Eraser);
        const int depth = canvas.undoDepth();
        QWidget *vp = canvas.viewport();
        // The desk left of the sheet.
        QTest::mousePress(vp, Qt::LeftButton, Qt::NoModifier, QPoint(2, 300));
        QTest::mouseMove(vp, QPoint(3, 320));
        QTest::mouseRelease(vp, Qt::LeftButton, Qt::NoModifier, QPoint(3, 320));
        QCOMPARE(canvas.strokeCount(), 1);
        QCOMPARE(canvas.undoDepth(), depth);
    }

    void penEraserEndKeepsTool()
    {
        PdfCanvas canvas;
        openCanvas(canvas);
        drawLine(canvas);
        QCOMPARE(canvas.tool(), PdfCanvas::InkTool::Pen);
        QPointingDevice eraser(QStringLiteral("test eraser"), 4242,
                               QInputDevice::DeviceType::Stylus,
                               QPointingDevice::PointerType::Eraser,
                               QInputDevice::Capability::Position
                                       | QInputDevice::Capability::Pressure,
                               1, 2);
        QWidget *vp = canvas.viewport();
        sendTablet(vp, &eraser, QEvent::TabletPress, onPage(canvas, 0.5, 0.15), Qt::LeftButton,
                   Qt::LeftButton);
        QVERIFY(canvas.isErasing());
        for (int i = 1; i <= 10; ++i)
            sendTablet(vp, &eraser, QEvent::TabletMove, onPage(canvas, 0.5, 0.15 + 0.01 * i),
                       Qt::NoButton, Qt::LeftButton);
        sendTablet(vp, &eraser, QEvent::TabletRelease, onPage(canvas, 0.5, 0.25), Qt::LeftButton,
                   Qt::NoButton);
        QCOMPARE(canvas.strokeCount(), 2);
        QCOMPARE(canvas.tool(), PdfCanvas::InkTool::Pen);
        QVERIFY(canvas.touchLock()); // until the release timer clears it
        QTRY_VERIFY(!canvas.touchLock());
    }

    void radiusSteps_data()
    {
        QTest::addColumn<double>("request");
        QTest::addColumn<double>("expected");
        QTest::addColumn<bool>("signalled");
        QTest::newRow("10") << 10.0 << 14.0 << false;
        QTest::newRow("20 ties to the smaller") << 20.0 << 14.0 << false;
        QTest::newRow("35 ties to the smaller") << 35.0 << 26.0 << true;
        QTest::newRow("60") << 60.0 << 44.0 << true;
        QTest::newRow("not a number") << qQNaN() << 14.0 << false;
    }

    void radiusSteps()
    {
        QFETCH(double, request);
        QFETCH(double, expected);
        QFETCH(bool, signalled);
        PdfCanvas canvas;
        QCOMPARE(canvas.eraserRadius(), 14.0);
        QSignalSpy changed(&canvas, &PdfCanvas::eraserChanged);
        canvas.setEraserRadius(request);
        QCOMPARE(canvas.eraserRadius(), expected);
        QCOMPARE(changed.count(), signalled ? 1 : 0);
    }

    void jumpGuard_data()
    {
        QTest::addColumn<double>("toY");
        QTest::addColumn<double>("fromY");
        QTest::addColumn<int>("strokes");
        // Offsets from the line; the radius is 14 px.
        QTest::newRow("short sweep across cuts") << 15.0 << -15.0 << 2;
        QTest::newRow("long jump across leaves it whole") << 60.0 << -140.0 << 1;
    }

    void jumpGuard()
    {
        QFETCH(double, toY);
        QFETCH(double, fromY);
        QFETCH(int, strokes);
        PdfCanvas canvas;
        openCanvas(canvas);
        drawLine(canvas);
        const QPointF line = onPage(canvas, 0.5, 0.2);
        canvas.sweepErase(0, line + QPointF(0, fromY), line + QPointF(0, toY), 14);
        QCOMPARE(canvas.strokeCount(), strokes);
    }

    void palmGestureIsOneUndoStep()
    {
        PdfCanvas canvas;
        openCanvas(canvas);
        drawLine(canvas, 0.2);
        drawLine(canvas, 0.3);
        QCOMPARE(canvas.strokeCount(), 2);
        const int depth = canvas.undoDepth();
        canvas.setPalmEraserEnabled(true);
        // A palm sliding down across both lines.
        for (int i = 0; i <= 20; ++i)
            canvas.palmEraseAt(onPage(canvas, 0.5, 0.15 + 0.01 * i), 40);
        QVERIFY(canvas.isPalmErasing());
        QVERIFY(canvas.eraserIndicatorRadius() == 40);
        canvas.endPalmErase();
        QVERIFY(!canvas.isPalmErasing());
        QCOMPARE(canvas.strokeCount(), 4);
        QCOMPARE(canvas.undoDepth(), depth + 1);
        canvas.undo();
        QCOMPARE(canvas.strokeCount(), 2);
    }

    void switchingPalmOffEndsGesture()
    {
        PdfCanvas canvas;
        openCanvas(canvas);
        canvas.setPalmEraserEnabled(true);
        canvas.palmEraseAt(onPage(canvas, 0.5, 0.5), 30);
        QVERIFY(canvas.isPalmErasing());
        canvas.setPalmEraserEnabled(false);
        QVERIFY(!canvas.isPalmErasing());
    }

    void ringIsPainted()
    {
        PdfCanvas canvas;
        openCanvas(canvas);
        canvas.setTool(PdfCanvas::InkTool::Eraser);
        canvas.setEraserRadius(44);
        const QPoint at = onPage(canvas, 0.5, 0.3);
        QTest::mouseMove(canvas.viewport(), at);
        QCOMPARE(canvas.eraserIndicatorRadius(), 44.0);
        const QImage image = canvas.viewport()->grab().toImage();
        const double ratio = image.devicePixelRatio();
        // The ring's dark stroke on white paper, 44 px right of the centre.
        const QColor ring = image.pixelColor(QPointF((at.x() + 44) * ratio, at.y() * ratio)
                                                     .toPoint());
        QVERIFY2(ring.lightness() < 200, qPrintable(ring.name()));
        canvas.setTool(PdfCanvas::InkTool::Pen);
        QCOMPARE(canvas.eraserIndicatorRadius(), 0.0);
    }
};

QTEST_MAIN(TestCanvasErase)
#include "tst_canvas_erase.moc"

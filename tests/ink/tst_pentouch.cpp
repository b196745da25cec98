#include "canvas/pdfcanvas.h"
#include "testutil.h"

#include <QPointingDevice>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTouchEvent>
#include <QWheelEvent>
#include <QtTest>

#include <memory>

// A pen writing while a hand rests on the glass, as on every classroom board:
// real tablet events from a stylus device interleaved with touch frames from
// a registered touch screen, on the real canvas.
class TestPenTouch : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_pdf;
    QPointingDevice *m_touch = nullptr;
    std::unique_ptr<QPointingDevice> m_stylus;
    std::unique_ptr<QPointingDevice> m_stylusEraser;

    void openCanvas(PdfCanvas &canvas) { QVERIFY(TestUtil::showCanvas(canvas, m_pdf)); }

    static QPointF onPage(const PdfCanvas &canvas, double fx, double fy)
    {
        return TestUtil::pagePoint(canvas, fx, fy);
    }

    void pen(QWidget *vp, QEvent::Type type, QPointF pos, const QPointingDevice *device = nullptr)
    {
        const Qt::MouseButton button = type == QEvent::TabletMove ? Qt::NoButton : Qt::LeftButton;
        const Qt::MouseButtons buttons = type == QEvent::TabletRelease ? Qt::NoButton
                                                                       : Qt::LeftButton;
        QTabletEvent event(type, device ? device : m_stylus.get(), pos, vp->mapToGlobal(pos),
                           type == QEvent::TabletRelease ? 0 : 0.6, 0, 0, 0, 0, 0, Qt::NoModifier,
                           button, buttons);
        QCoreApplication::sendEvent(vp, &event);
    }

    // A pen stroke from a to b in steps samples.
    void penStroke(QWidget *vp, QPointF a, QPointF b, int steps = 10)
    {
        pen(vp, QEvent::TabletPress, a);
        for (int i = 1; i <= steps; ++i)
            pen(vp, QEvent::TabletMove, a + (b - a) * (double(i) / steps));
        pen(vp, QEvent::TabletRelease, b);
    }

    static bool near(QPointF a, QPointF b, double tol = 0.01)
    {
        return std::abs(a.x() - b.x()) < tol && std::abs(a.y() - b.y()) < tol;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_pdf = m_dir.filePath(QStringLiteral("a.pdf"));
        QVERIFY(TestUtil::writeA4Pdf(m_pdf, 2));
        m_touch = QTest::createTouchDevice();
        const auto caps = QInputDevice::Capability::Position | QInputDevice::Capability::Pressure;
        m_stylus = std::make_unique<QPointingDevice>(
                QStringLiteral("test stylus"), 1001, QInputDevice::DeviceType::Stylus,
                QPointingDevice::PointerType::Pen, caps, 1, 2);
        m_stylusEraser = std::make_unique<QPointingDevice>(
                QStringLiteral("test stylus eraser"), 1001, QInputDevice::DeviceType::Stylus,
                QPointingDevice::PointerType::Eraser, caps, 1, 2);
    }

    // Handwriting: strokes a few tens of milliseconds apart each stay a stroke.
    void quickPenStrokesAllCount()
    {
        PdfCanvas canvas;
        openCanvas(canvas);
        QWidget *vp = canvas.viewport();
        for (int i = 0; i < 3; ++i) {
            const double y = 0.2 + 0.1 * i;
            penStroke(vp, onPage(canvas, 0.2, y), onPage(canvas, 0.5, y));
            QTest::qWait(40);
        }
        QCOMPARE(canvas.strokeCount(), 3);
        for (int i = 0; i < 3; ++i) {
            const Stroke s = canvas.ink().value(0).at(i);
            QVERIFY(near(s.points.first(), QPointF(0.2, 0.2 + 0.1 * i)));
            QVERIFY(near(s.points.last(), QPointF(0.5, 0.2 + 0.1 * i)));
        }
        // The pen's lock still keeps the mouse the system synthesizes out...
        QTest::mouseClick(vp, Qt::LeftButton, Qt::NoModifier, onPage(canvas, 0.7, 0.7).toPoint());
        QCOMPARE(canvas.strokeCount(), 3);
        // ...and lets a real mouse write once it has passed.
        QTRY_VERIFY(!canvas.touchLock());
        QTest::mouseClick(vp, Qt::LeftButton, Qt::NoModifier, onPage(canvas, 0.7, 0.7).toPoint());
        QCOMPARE(canvas.strokeCount(), 4);
    }

    void restingHandLeavesThePenStrokeWhole_data()
    {
        QTest::addColumn<bool>("handFirst");
        QTest::newRow("hand lands during the stroke") << false;
        QTest::newRow("hand lands just before the pen") << true;
    }

    // The hand touches down, rests, shifts and lifts while the pen writes: the
    // page gets exactly the pen's line, from its first to its last sample.
    void restingHandLeavesThePenStrokeWhole()
    {
        QFETCH(bool, handFirst);
        PdfCanvas canvas;
        openCanvas(canvas);
        QWidget *vp = canvas.viewport();
        const QPointF a = onPage(canvas, 0.15, 0.3);
        const QPointF b = onPage(canvas, 0.55, 0.3);
        const QPoint hand = onPage(canvas, 0.7, 0.45).toPoint();
        auto penAt = [&](int i) { return a + (b - a) * (i / 20.0); };

        if (handFirst) {
            // The side of the hand lands first and starts what looks like a
            // finger stroke; the pen touching down shows it was a hand.
            QTest::touchEvent(vp, m_touch).press(0, hand, vp);
            QTest::touchEvent(vp, m_touch).move(0, hand + QPoint(12, 4), vp);
            QVERIFY(canvas.isDrawing());
        }
        pen(vp, QEvent::TabletPress, penAt(0));
        for (int i = 1; i <= 20; ++i) {
            if (!handFirst && i == 5)
                QTest::touchEvent(vp, m_touch).press(0, hand, vp);
            else if (i > 5 && i < 15)
                QTest::touchEvent(vp, m_touch).move(0, hand + QPoint(i % 3, i), vp);
            else if (i == 15)
                QTest::touchEvent(vp, m_touch).release(0, hand + QPoint(0, 15), vp);
            pen(vp, QEvent::TabletMove, penAt(i));
            QVERIFY(canvas.isDrawing());
        }
        pen(vp, QEvent::TabletRelease, b);

        QCOMPARE(canvas.strokeCount(), 1);
        QCOMPARE(canvas.undoDepth(), 1);
        const Stroke s = canvas.ink().value(0).first();
        QVERIFY(near(s.points.first(), QPointF(0.15, 0.3)));
        QVERIFY(near(s.points.last(), QPointF(0.55, 0.3)));
        // A straight line: nothing runs toward the hand.
        for (const QPointF &p : s.points)
            QVERIFY2(std::abs(p.y() - 0.3) < 0.005,
                     qPrintable(QStringLiteral("point %1,%2").arg(p.x()).arg(p.y())));
    }

    // A hand still resting when the pen lifts stays a hand until it lifts;
    // once the pen is up, two fingers zoom again.
    void pinchZoomsWhenThePenIsUp()
    {
        PdfCanvas canvas;
        openCanvas(canvas);
        QWidget *vp = canvas.viewport();
        const QPoint p0 = onPage(canvas, 0.3, 0.4).toPoint();
        const QPoint p1 = onPage(canvas, 0.7, 0.4).toPoint();

        pen(vp, QEvent::TabletPress, onPage(canvas, 0.2, 0.2));
        QTest::touchEvent(vp, m_touch).press(0, p0, vp).press(1, p1, vp);
        pen(vp, QEvent::TabletMove, onPage(canvas, 0.4, 0.2));
        pen(vp, QEvent::TabletRelease, onPage(canvas, 0.4, 0.2));
        QTest::qWait(PdfCanvas::kPenHoldMs + 50);
        for (int i = 1; i <= 8; ++i)
            QTest::touchEvent(vp, m_touch).move(0, p0 - QPoint(8 * i, 0), vp)
                    .move(1, p1 + QPoint(8 * i, 0), vp);
        QCOMPARE(canvas.zoom(), 1.0);
        QTest::touchEvent(vp, m_touch).release(0, p0, vp).release(1, p1, vp);
        QCOMPARE(canvas.strokeCount(), 1);

        QTest::touchEvent(vp, m_touch).press(0, p0, vp).press(1, p1, vp);
        QVERIFY(canvas.isPinching());
        for (int i = 1; i <= 8; ++i)
            QTest::touchEvent(vp, m_touch).move(0, p0 - QPoint(8 * i, 0), vp)
                    .move(1, p1 + QPoint(8 * i, 0), vp);
        QVERIFY(canvas.zoom() > 1.05);
        QTest::touchEvent(vp, m_touch).release(0, p0, vp).release(1, p1, vp);
        QCOMPARE(canvas.strokeCount(), 1);
    }

    // A release lost by the system must not leave the canvas owned by a pen
    // that is no longer there: the next hover gives it back.
    void hoverAfterALostReleaseFreesTheCanvas()
    {
        PdfCanvas canvas;
        openCanvas(canvas);
        QWidget *vp = canvas.viewport();
        pen(vp, QEvent::TabletPress, onPage(canvas, 0.2, 0.2));
        pen(vp, QEvent::TabletMove, onPage(canvas, 0.4, 0.2));
        QTabletEvent hover(QEvent::TabletMove, m_stylus.get(), onPage(canvas, 0.6, 0.6),
                           vp->mapToGlobal(onPage(canvas, 0.6, 0.6)), 0, 0, 0, 0, 0, 0,
                           Qt::NoModifier, Qt::NoButton, Qt::NoButton);
        QCoreApplication::sendEvent(vp, &hover);
        QVERIFY(!canvas.isPenDown());
        QCOMPARE(canvas.strokeCount(), 1);
        QTRY_VERIFY(!canvas.touchLock());
        QTest::touchEvent(vp, m_touch).press(0, onPage(canvas, 0.2, 0.45).toPoint(), vp);
        for (int i = 1; i <= 6; ++i)
            QTest::touchEvent(vp, m_touch).move(0, onPage(canvas, 0.2 + 0.05 * i, 0.45).toPoint(), vp);
        QTest::touchEvent(vp, m_touch).release(0, onPage(canvas, 0.5, 0.45).toPoint(), vp);
        QCOMPARE(canvas.strokeCount(), 2);
    }

    // Other signs that the pen is gone, with no release and no hover: it
    // left the digitizer's range, the teacher switched to the move tool,
    // or it has sent nothing for a while. Each keeps the stroke drawn and
    // gives touch, mouse and wheel back.
    void penGoneByAnySignFreesTheCanvas()
    {
        PdfCanvas canvas;
        openCanvas(canvas);
        QWidget *vp = canvas.viewport();
        const auto penDownAndLost = [&](double y) {
            pen(vp, QEvent::TabletPress, onPage(canvas, 0.2, y));
            for (int i = 1; i <= 4; ++i)
                pen(vp, QEvent::TabletMove, onPage(canvas, 0.2 + 0.1 * i, y));
            QVERIFY(canvas.isPenDown());
            QVERIFY(canvas.touchLock());
        };
        const auto touchWrites = [&](double y) {
            const int before = canvas.strokeCount();
            QTest::touchEvent(vp, m_touch).press(0, onPage(canvas, 0.2, y).toPoint(), vp);
            for (int i = 1; i <= 6; ++i) // steps a finger can travel, not one jump
                QTest::touchEvent(vp, m_touch).move(0, onPage(canvas, 0.2 + 0.05 * i, y).toPoint(), vp);
            QTest::touchEvent(vp, m_touch).release(0, onPage(canvas, 0.5, y).toPoint(), vp);
            return canvas.strokeCount() == before + 1;
        };

        penDownAndLost(0.1);
        QTabletEvent leave(QEvent::TabletLeaveProximity, m_stylus.get(), QPointF(), QPointF(), 0, 0, 0, 0, 0, 0,
                           Qt::NoModifier, Qt::NoButton, Qt::NoButton);
        QCoreApplication::sendEvent(qApp, &leave);
        QVERIFY(!canvas.isPenDown());
        QCOMPARE(canvas.strokeCount(), 1);
        QTRY_VERIFY(!canvas.touchLock());
        QVERIFY(touchWrites(0.15));
        QTest::qWait(PdfCanvas::kPenHoldMs + 50); // the touch's own short lock

        penDownAndLost(0.25);
        canvas.setTool(PdfCanvas::InkTool::Move);
        QVERIFY(!canvas.isPenDown());
        QCOMPARE(canvas.strokeCount(), 3);
        QTRY_VERIFY(!canvas.touchLock());
        const int scrolled = canvas.verticalScrollBar()->value();
        QWheelEvent wheel(QPointF(400, 300), vp->mapToGlobal(QPointF(400, 300)), QPoint(), QPoint(0, -120),
                          Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(vp, &wheel);
        QVERIFY(canvas.verticalScrollBar()->value() > scrolled);
        canvas.verticalScrollBar()->setValue(0);
        canvas.setTool(PdfCanvas::InkTool::Pen);

        penDownAndLost(0.35);
        QTRY_VERIFY_WITH_TIMEOUT(!canvas.isPenDown(), PdfCanvas::kPenQuietMs + 3000);
        QCOMPARE(canvas.strokeCount(), 4);
        QTRY_VERIFY(!canvas.touchLock());
        QTest::mouseClick(vp, Qt::LeftButton, Qt::NoModifier, onPage(canvas, 0.7, 0.7).toPoint());
        QCOMPARE(canvas.strokeCount(), 5);
    }

    // The eraser end cuts under the pen tool and a resting hand does not
    // interrupt it; the tool stays the pen.
    void eraserEndWithRestingHand()
    {
        PdfCanvas canvas;
        openCanvas(canvas);
        QWidget *vp = canvas.viewport();
        penStroke(vp, onPage(canvas, 0.2, 0.3), onPage(canvas, 0.8, 0.3));
        QCOMPARE(canvas.strokeCount(), 1);
        QTest::qWait(PdfCanvas::kPenHoldMs + 50);

        const QPointF top = onPage(canvas, 0.5, 0.25);
        const QPointF bottom = onPage(canvas, 0.5, 0.35);
        pen(vp, QEvent::TabletPress, top, m_stylusEraser.get());
        QVERIFY(canvas.isErasing());
        QTest::touchEvent(vp, m_touch).press(0, onPage(canvas, 0.8, 0.45).toPoint(), vp);
        pen(vp, QEvent::TabletMove, bottom, m_stylusEraser.get());
        QTest::touchEvent(vp, m_touch).release(0, onPage(canvas, 0.8, 0.45).toPoint(), vp);
        QVERIFY(canvas.isErasing());
        pen(vp, QEvent::TabletRelease, bottom, m_stylusEraser.get());
        QVERIFY(!canvas.isErasing());
        QCOMPARE(canvas.strokeCount(), 2); // cut in two
        QCOMPARE(canvas.tool(), PdfCanvas::InkTool::Pen);
        QCOMPARE(canvas.undoDepth(), 2);
    }

    // A stroke begun during a settling zoom and then cancelled (here by a
    // tool change) must let the zoom settle to full-resolution tiles.
    void cancelledStrokeLetsTheZoomSettle()
    {
        PdfCanvas canvas;
        openCanvas(canvas);
        QWidget *vp = canvas.viewport();
        const QPointF centre(400, 300);
        QWheelEvent wheel(centre, vp->mapToGlobal(centre), QPoint(), QPoint(0, 120), Qt::NoButton,
                          Qt::ControlModifier, Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(vp, &wheel);
        QVERIFY(canvas.isZoomInFlight());
        QTest::mousePress(vp, Qt::LeftButton, Qt::NoModifier, centre.toPoint());
        QVERIFY(canvas.isDrawing());
        canvas.setTool(PdfCanvas::InkTool::Eraser);
        QVERIFY(!canvas.isDrawing());
        QTRY_VERIFY_WITH_TIMEOUT(!canvas.isZoomInFlight(), 2000);
        QTest::mouseRelease(vp, Qt::LeftButton, Qt::NoModifier, centre.toPoint());
        QCOMPARE(canvas.strokeCount(), 0);
    }
};

QTEST_MAIN(TestPenTouch)
#include "tst_pentouch.moc"

#include "canvas/pdfcanvas.h"
#include "testutil.h"

#include <QPointingDevice>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTouchEvent>
#include <QWheelEvent>
#include <QtTest>

// Touch, mouse and wheel routing on the real canvas through a registered
// touch screen. Qt 6.4's public API cannot set contact ellipse sizes on a
// touch point, so these frames carry no sizes (the cluster rule); the size
// rule is covered by the classifier's own tests.
class TestCanvasInput : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_pdf;
    QPointingDevice *m_touch = nullptr;

    void openCanvas(PdfCanvas &canvas) { QVERIFY(TestUtil::showCanvas(canvas, m_pdf)); }

    static QPoint onPage(const PdfCanvas &canvas, double fx, double fy)
    {
        return TestUtil::pagePoint(canvas, fx, fy).toPoint();
    }

    static void ctrlWheel(QWidget *vp, QPointF pos)
    {
        QWheelEvent event(pos, vp->mapToGlobal(pos), QPoint(), QPoint(0, 120), Qt::NoButton,
                          Qt::ControlModifier, Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(vp, &event);
    }

    // A frame built by hand, for frames the window system would never send.
    void sendFrame(QWidget *vp, QEvent::Type type, const QList<QEventPoint> &points)
    {
        QTouchEvent event(type, m_touch, Qt::NoModifier, points);
        QCoreApplication::sendEvent(vp, &event);
    }

    static QEventPoint point(int id, QEventPoint::State state, QPointF pos)
    {
        return QEventPoint(id, state, pos, pos);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_pdf = m_dir.filePath(QStringLiteral("a.pdf"));
        QVERIFY(TestUtil::writeA4Pdf(m_pdf, 2));
        m_touch = QTest::createTouchDevice();
    }

    void oneFingerWrites()
    {
        PdfCanvas canvas;
        openCanvas(canvas);
        QWidget *vp = canvas.viewport();
        QTest::touchEvent(vp, m_touch).press(0, onPage(canvas, 0.2, 0.2), vp);
        QVERIFY(canvas.isDrawing());
        for (int i = 1; i <= 8; ++i)
            QTest::touchEvent(vp, m_touch).move(0, onPage(canvas, 0.2 + 0.05 * i, 0.2), vp);
        QTest::touchEvent(vp, m_touch).release(0, onPage(canvas, 0.6, 0.2), vp);
        QVERIFY(!canvas.isDrawing());
        QCOMPARE(canvas.strokeCount(), 1);
    }

    void separatedFingersPinchWithoutInk()
    {
        PdfCanvas canvas;
        openCanvas(canvas);
        QWidget *vp = canvas.viewport();
        const QPoint a = onPage(canvas, 0.3, 0.3);
        const QPoint b = onPage(canvas, 0.7, 0.3);
        QTest::touchEvent(vp, m_touch).press(0, a, vp).press(1, b, vp);
        QVERIFY(canvas.isPinching());
        QVERIFY(canvas.touchLock());
        // Spread the fingers apart over a few frames.
        for (int i = 1; i <= 10; ++i)
            QTest::touchEvent(vp, m_touch)
                    .move(0, a - QPoint(8 * i, 0), vp)
                    .move(1, b + QPoint(8 * i, 0), vp);
        QVERIFY(canvas.zoom() > 1.05);
        QTest::touchEvent(vp, m_touch).release(0, a - QPoint(80, 0), vp)
                .release(1, b + QPoint(80, 0), vp);
        QVERIFY(!canvas.isPinching());
        QCOMPARE(canvas.strokeCount(), 0);
        // The pinch's lock does not outlive the touch.
        QTRY_VERIFY(!canvas.touchLock());
    }

    // A ghost contact flickering up far away while a finger writes turns
    // the frame into a pinch; what the finger wrote must not vanish.
    void ghostContactKeepsTheStrokeWritten()
    {
        PdfCanvas canvas;
        openCanvas(canvas);
        QWidget *vp = canvas.viewport();
        QTest::touchEvent(vp, m_touch).press(0, onPage(canvas, 0.2, 0.3), vp);
        for (int i = 1; i <= 6; ++i) {
            QTest::qWait(50);
            QTest::touchEvent(vp, m_touch).move(0, onPage(canvas, 0.2 + 0.05 * i, 0.3), vp);
        }
        QTest::touchEvent(vp, m_touch).move(0, onPage(canvas, 0.5, 0.3), vp)
                .press(1, onPage(canvas, 0.9, 0.45), vp);
        QTest::touchEvent(vp, m_touch).move(0, onPage(canvas, 0.5, 0.3), vp)
                .release(1, onPage(canvas, 0.9, 0.45), vp);
        QTest::touchEvent(vp, m_touch).release(0, onPage(canvas, 0.5, 0.3), vp);
        QCOMPARE(canvas.strokeCount(), 1);
        const Stroke s = canvas.ink().value(0).first();
        QVERIFY(qAbs(s.points.first().x() - 0.2) < 0.01);
        QVERIFY(qAbs(s.points.last().x() - 0.5) < 0.01);
    }

    void teleportingContactIsLimited()
    {
        PdfCanvas canvas;
        openCanvas(canvas);
        QWidget *vp = canvas.viewport();
        const QPoint a = onPage(canvas, 0.3, 0.3);
        const QPoint b = onPage(canvas, 0.45, 0.3);
        QTest::touchEvent(vp, m_touch).press(0, a, vp).press(1, b, vp);
        QTest::touchEvent(vp, m_touch).move(0, a, vp).move(1, b, vp);
        const double before = canvas.zoom();
        QTest::touchEvent(vp, m_touch).move(0, a, vp).move(1, b + QPoint(600, 250), vp);
        QVERIFY(canvas.zoom() <= before * 1.7 + 1e-9);
        QTest::touchEvent(vp, m_touch).release(0, a, vp).release(1, b + QPoint(600, 250), vp);
    }

    // Replayed: a hand lands flat with two fingertips apart from it. There is
    // no one place to write (their midpoint is nobody's), nor a pinch; with
    // a single fingertip beside the hand, that fingertip writes.
    void handWithSeparateFingers()
    {
        PdfCanvas canvas;
        openCanvas(canvas);
        QWidget *vp = canvas.viewport();
        const QPoint palm = onPage(canvas, 0.2, 0.3);
        const auto put = [vp](QTest::QTouchEventWidgetSequence &seq, int id, QPoint at, QEventPoint::State state) {
            if (state == QEventPoint::State::Pressed)
                seq.press(id, at, vp);
            else if (state == QEventPoint::State::Released)
                seq.release(id, at, vp);
            else
                seq.move(id, at, vp);
        };
        // Five contacts of the hand, a fingertip far above, and maybe one far below.
        const auto frame = [&](int step, bool secondFinger, QEventPoint::State state) {
            auto seq = QTest::touchEvent(vp, m_touch);
            for (int i = 0; i < 5; ++i)
                put(seq, i, palm + QPoint(18 * i, 6 * (i % 2)), state);
            put(seq, 5, onPage(canvas, 0.6, 0.1) + QPoint(8 * step, 0), state);
            if (secondFinger)
                put(seq, 6, onPage(canvas, 0.6, 0.45) + QPoint(8 * step, 0), state);
        };
        frame(0, true, QEventPoint::State::Pressed);
        for (int step = 1; step <= 8; ++step)
            frame(step, true, QEventPoint::State::Updated);
        frame(8, true, QEventPoint::State::Released);
        QCOMPARE(canvas.strokeCount(), 0);
        QVERIFY(!canvas.isPinching());

        frame(0, false, QEventPoint::State::Pressed);
        for (int step = 1; step <= 8; ++step)
            frame(step, false, QEventPoint::State::Updated);
        frame(8, false, QEventPoint::State::Released);
        QCOMPARE(canvas.strokeCount(), 1);
        const Stroke s = canvas.ink().value(0).first();
        QVERIFY(qAbs(s.points.first().y() - 0.1) < 0.02);
        QVERIFY(qAbs(s.points.last().y() - 0.1) < 0.02);
    }

    // Replayed: a finger writes, and in one frame its contact lifts while
    // another lands across the page (a contact id swap). No line joins the
    // two: the first stroke ends where the finger was, a second begins.
    void contactSwapSplitsTheStroke()
    {
        PdfCanvas canvas;
        openCanvas(canvas);
        QWidget *vp = canvas.viewport();
        QTest::touchEvent(vp, m_touch).press(0, onPage(canvas, 0.2, 0.1), vp);
        for (int i = 1; i <= 6; ++i)
            QTest::touchEvent(vp, m_touch).move(0, onPage(canvas, 0.2 + 0.05 * i, 0.1), vp);
        QTest::touchEvent(vp, m_touch).release(0, onPage(canvas, 0.5, 0.1), vp)
                .press(1, onPage(canvas, 0.8, 0.45), vp);
        for (int i = 1; i <= 6; ++i)
            QTest::touchEvent(vp, m_touch).move(1, onPage(canvas, 0.8 - 0.05 * i, 0.45), vp);
        QTest::touchEvent(vp, m_touch).release(1, onPage(canvas, 0.5, 0.45), vp);
        QCOMPARE(canvas.strokeCount(), 2);
        const QList<Stroke> strokes = canvas.ink().value(0);
        for (const Stroke &s : strokes) {
            const double y = s.points.first().y();
            for (const QPointF &p : s.points)
                QVERIFY2(qAbs(p.y() - y) < 0.02, qPrintable(QStringLiteral("%1 -> %2").arg(y).arg(p.y())));
        }
        QVERIFY(qAbs(strokes.at(0).points.last().x() - 0.5) < 0.02);
        QVERIFY(qAbs(strokes.at(1).points.first().x() - 0.8) < 0.02);
    }

    void restingFingersWithJitterStayPut()
    {
        PdfCanvas canvas;
        openCanvas(canvas);
        canvas.setZoom(2.0);
        QTRY_VERIFY(!canvas.isZoomInFlight());
        canvas.verticalScrollBar()->setValue(300);
        canvas.horizontalScrollBar()->setValue(100);
        QWidget *vp = canvas.viewport();
        const QPoint a(200, 300);
        const QPoint b(500, 300);
        QTest::touchEvent(vp, m_touch).press(0, a, vp).press(1, b, vp);
        for (int i = 0; i < 30; ++i) {
            const QPoint j((i % 3) - 1, ((i + 1) % 3) - 1);
            QTest::touchEvent(vp, m_touch).move(0, a + j, vp).move(1, b - j, vp);
        }
        QCOMPARE(canvas.zoom(), 2.0);
        QCOMPARE(canvas.verticalScrollBar()->value(), 300);
        QCOMPARE(canvas.horizontalScrollBar()->value(), 100);
        QTest::touchEvent(vp, m_touch).release(0, a, vp).release(1, b, vp);
        QCOMPARE(canvas.strokeCount(), 0);
    }

    void touchOnChildWidgetDoesNotDraw()
    {
        PdfCanvas canvas;
        openCanvas(canvas);
        QWidget *vp = canvas.viewport();
        auto *island = new QWidget(vp);
        island->setGeometry(300, 200, 120, 60);
        island->show();
        QTest::touchEvent(vp, m_touch).press(0, QPoint(350, 230), vp);
        QTest::touchEvent(vp, m_touch).move(0, QPoint(380, 230), vp);
        QTest::touchEvent(vp, m_touch).release(0, QPoint(380, 230), vp);
        QCOMPARE(canvas.strokeCount(), 0);
        QVERIFY(!canvas.isDrawing());
    }

    void mouseDuringTouchNeverDraws()
    {
        PdfCanvas canvas;
        openCanvas(canvas);
        QWidget *vp = canvas.viewport();
        QTest::touchEvent(vp, m_touch).press(0, onPage(canvas, 0.2, 0.3), vp);
        QVERIFY(canvas.isTouchSequence());
        QTest::touchEvent(vp, m_touch).move(0, onPage(canvas, 0.3, 0.3), vp);
        const Stroke live = canvas.liveStroke();
        // Mouse events arriving meanwhile (as synthesized from the touch).
        QTest::mouseMove(vp, onPage(canvas, 0.8, 0.8));
        QTest::mouseRelease(vp, Qt::LeftButton, Qt::NoModifier, onPage(canvas, 0.8, 0.8));
        QVERIFY(canvas.isDrawing());
        QCOMPARE(canvas.liveStroke().points.size(), live.points.size());
        QTest::touchEvent(vp, m_touch).release(0, onPage(canvas, 0.3, 0.3), vp);
        QCOMPARE(canvas.strokeCount(), 1);
    }

    void cancelledTouchKeepsStroke()
    {
        PdfCanvas canvas;
        openCanvas(canvas);
        QWidget *vp = canvas.viewport();
        QTest::touchEvent(vp, m_touch).press(0, onPage(canvas, 0.2, 0.4), vp);
        for (int i = 1; i <= 6; ++i)
            QTest::touchEvent(vp, m_touch).move(0, onPage(canvas, 0.2 + 0.05 * i, 0.4), vp);
        sendFrame(vp, QEvent::TouchCancel, {});
        QVERIFY(!canvas.isDrawing());
        QCOMPARE(canvas.strokeCount(), 1);
    }

    void wheelWaitsForTouchToSettle()
    {
        PdfCanvas canvas;
        openCanvas(canvas);
        QWidget *vp = canvas.viewport();
        QTest::touchEvent(vp, m_touch).press(0, onPage(canvas, 0.2, 0.3), vp);
        QTest::touchEvent(vp, m_touch).move(0, onPage(canvas, 0.4, 0.3), vp);
        ctrlWheel(vp, QPointF(400, 300));
        QCOMPARE(canvas.zoom(), 1.0);
        QTest::touchEvent(vp, m_touch).release(0, onPage(canvas, 0.4, 0.3), vp);
        ctrlWheel(vp, QPointF(400, 300)); // within 250 ms of the touch end
        QCOMPARE(canvas.zoom(), 1.0);
        QTest::qWait(400);
        ctrlWheel(vp, QPointF(400, 300));
        QCOMPARE(canvas.zoom(), 1.25);
    }

    void moveToolPansWithoutInk()
    {
        PdfCanvas canvas;
        openCanvas(canvas);
        canvas.setZoom(2.0);
        canvas.setTool(PdfCanvas::InkTool::Move);
        canvas.verticalScrollBar()->setValue(400);
        const int undo = canvas.undoDepth();
        QWidget *vp = canvas.viewport();
        QTest::mousePress(vp, Qt::LeftButton, Qt::NoModifier, QPoint(300, 300));
        QTest::mouseMove(vp, QPoint(300, 250));
        QTest::mouseRelease(vp, Qt::LeftButton, Qt::NoModifier, QPoint(300, 250));
        QCOMPARE(canvas.verticalScrollBar()->value(), 450);
        QCOMPARE(canvas.strokeCount(), 0);
        QCOMPARE(canvas.undoDepth(), undo);
        QVERIFY(!canvas.isGliding()); // mouse drags never glide
    }

    void restingHandErasesOnlyWithSwitch_data()
    {
        QTest::addColumn<bool>("palmSwitch");
        QTest::newRow("switch on erases") << true;
        QTest::newRow("switch off does nothing") << false;
    }

    void restingHandErasesOnlyWithSwitch()
    {
        QFETCH(bool, palmSwitch);
        PdfCanvas canvas;
        openCanvas(canvas);
        QWidget *vp = canvas.viewport();
        QTest::mousePress(vp, Qt::LeftButton, Qt::NoModifier, onPage(canvas, 0.2, 0.3));
        QTest::mouseMove(vp, onPage(canvas, 0.8, 0.3));
        QTest::mouseRelease(vp, Qt::LeftButton, Qt::NoModifier, onPage(canvas, 0.8, 0.3));
        QCOMPARE(canvas.strokeCount(), 1);
        const int undo = canvas.undoDepth();
        canvas.setPalmEraserEnabled(palmSwitch);
        // Five contacts close together (no sizes: the cluster rule) slide
        // down across the line.
        auto hand = [&](int frame, int i) {
            const QPointF c = QPointF(onPage(canvas, 0.5, 0.3)) + QPointF(0, -60 + 6 * frame);
            return (c + QPointF(15 * i, 5 * (i % 2))).toPoint();
        };
        {
            auto seq = QTest::touchEvent(vp, m_touch);
            for (int i = 0; i < 5; ++i)
                seq.press(i, hand(0, i), vp);
        }
        QVERIFY(!canvas.isPalmErasing()); // the first frame waits
        for (int f = 1; f <= 20; ++f) {
            auto seq = QTest::touchEvent(vp, m_touch);
            for (int i = 0; i < 5; ++i)
                seq.move(i, hand(f, i), vp);
        }
        QCOMPARE(canvas.isPalmErasing(), palmSwitch);
        {
            auto seq = QTest::touchEvent(vp, m_touch);
            for (int i = 0; i < 5; ++i)
                seq.release(i, hand(20, i), vp);
        }
        QVERIFY(!canvas.isPalmErasing());
        QVERIFY(!canvas.isPinching());
        if (palmSwitch) {
            QVERIFY(canvas.strokeCount() != 1);
            QCOMPARE(canvas.undoDepth(), undo + 1);
            canvas.undo();
        } else {
            QCOMPARE(canvas.undoDepth(), undo);
        }
        QCOMPARE(canvas.strokeCount(), 1);
        QCOMPARE(canvas.zoom(), 1.0);
    }

    void badFrames_data()
    {
        QTest::addColumn<int>("kind");
        QTest::newRow("empty begin") << 0;
        QTest::newRow("ten contacts") << 1;
        QTest::newRow("forty contacts") << 2;
        QTest::newRow("duplicate ids") << 3;
        QTest::newRow("update without begin") << 4;
        QTest::newRow("cancel inside a pinch") << 5;
        QTest::newRow("not-a-number position") << 6;
    }

    void badFrames()
    {
        QFETCH(int, kind);
        PdfCanvas canvas;
        openCanvas(canvas);
        QWidget *vp = canvas.viewport();
        const QPointF c = onPage(canvas, 0.5, 0.5);
        auto many = [&](int n, QEventPoint::State state) {
            QList<QEventPoint> pts;
            for (int i = 0; i < n; ++i)
                pts.append(point(i, state, c + QPointF(30 * (i % 8), 30 * (i / 8))));
            return pts;
        };
        switch (kind) {
        case 0:
            sendFrame(vp, QEvent::TouchBegin, {});
            sendFrame(vp, QEvent::TouchEnd, {});
            break;
        case 1:
        case 2: {
            const int n = kind == 1 ? 10 : 40;
            sendFrame(vp, QEvent::TouchBegin, many(n, QEventPoint::State::Pressed));
            sendFrame(vp, QEvent::TouchUpdate, many(n, QEventPoint::State::Updated));
            sendFrame(vp, QEvent::TouchEnd, many(n, QEventPoint::State::Released));
            break;
        }
        case 3:
            sendFrame(vp, QEvent::TouchBegin, { point(7, QEventPoint::State::Pressed, c),
                                                point(7, QEventPoint::State::Pressed, c + QPointF(300, 0)) });
            sendFrame(vp, QEvent::TouchEnd, { point(7, QEventPoint::State::Released, c) });
            break;
        case 4:
            sendFrame(vp, QEvent::TouchUpdate, { point(3, QEventPoint::State::Updated, c) });
            sendFrame(vp, QEvent::TouchEnd, { point(3, QEventPoint::State::Released, c) });
            break;
        case 5:
            sendFrame(vp, QEvent::TouchBegin, { point(0, QEventPoint::State::Pressed, c),
                                                point(1, QEventPoint::State::Pressed, c + QPointF(200, 0)) });
            QVERIFY(canvas.isPinching());
            sendFrame(vp, QEvent::TouchCancel, {});
            QVERIFY(!canvas.isPinching());
            break;
        case 6: {
            const QPointF nan(qQNaN(), qQNaN());
            sendFrame(vp, QEvent::TouchBegin, { point(0, QEventPoint::State::Pressed, nan) });
            sendFrame(vp, QEvent::TouchEnd, { point(0, QEventPoint::State::Released, nan) });
            break;
        }
        }
        QVERIFY(!canvas.isTouchSequence());
        QVERIFY(!canvas.isPinching());
        QVERIFY(!canvas.isDrawing());
        const int strokes = canvas.strokeCount();
        QVERIFY(strokes <= 1); // a lone finger may leave its dot, nothing else
        // No stuck lock: the mouse writes again once the release timer ran.
        QTRY_VERIFY(!canvas.touchLock());
        QTest::qWait(300);
        QTest::mousePress(vp, Qt::LeftButton, Qt::NoModifier, onPage(canvas, 0.2, 0.8));
        QTest::mouseMove(vp, onPage(canvas, 0.4, 0.8));
        QTest::mouseRelease(vp, Qt::LeftButton, Qt::NoModifier, onPage(canvas, 0.4, 0.8));
        QCOMPARE(canvas.strokeCount(), strokes + 1);
    }
};

QTEST_MAIN(TestCanvasInput)
#include "tst_canvas_input.moc"

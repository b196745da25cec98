#include "ui/theme.h"
#include "canvas/pdfcanvas.h"
#include "testutil.h"

#include <QPointingDevice>
#include <QSignalSpy>
#include <QTabletEvent>
#include <QTemporaryDir>
#include <QtTest>

// Writing with a real mouse and a real pen on the canvas: what is stored,
// what is repainted, and that the process-wide inking gate is given back.
class TestCanvasCapture : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_pdf;

    void openCanvas(PdfCanvas &canvas) { QVERIFY(TestUtil::showCanvas(canvas, m_pdf)); }

    QPoint onPage(const PdfCanvas &canvas, double fx, double fy)
    {
        return TestUtil::pagePoint(canvas, fx, fy).toPoint();
    }

    static void sendTablet(QWidget *target, QEvent::Type type, const QPointF &pos,
                           Qt::MouseButton button, Qt::MouseButtons buttons)
    {
        QTabletEvent event(type, QPointingDevice::primaryPointingDevice(), pos,
                           target->mapToGlobal(pos), 0.5, 0, 0, 0, 0, 0, Qt::NoModifier, button,
                           buttons);
        QCoreApplication::sendEvent(target, &event);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_pdf = m_dir.filePath(QStringLiteral("a.pdf"));
        QVERIFY(TestUtil::writeA4Pdf(m_pdf, 2));
    }

    void mouseWriting_data()
    {
        QTest::addColumn<int>("samples");
        QTest::addColumn<int>("minPoints");
        QTest::addColumn<int>("maxPoints");
        // A click is a one-point dot; three samples across 60 % of the page
        // are filled in to well over a hundred points.
        QTest::newRow("click makes a dot") << 0 << 1 << 1;
        QTest::newRow("long line is densified") << 2 << 101 << 1000;
    }

    void mouseWriting()
    {
        QFETCH(int, samples);
        QFETCH(int, minPoints);
        QFETCH(int, maxPoints);
        PdfCanvas canvas;
        openCanvas(canvas);
        QSignalSpy ink(&canvas, &PdfCanvas::inkChanged);
        QWidget *vp = canvas.viewport();

        QTest::mousePress(vp, Qt::LeftButton, Qt::NoModifier, onPage(canvas, 0.2, 0.1));
        QVERIFY(canvas.isDrawing());
        QCOMPARE(inkingGateCount(), 1);
        for (int i = 1; i <= samples; ++i)
            QTest::mouseMove(vp, onPage(canvas, 0.2 + 0.6 * i / samples, 0.1));
        const QPoint end = samples ? onPage(canvas, 0.8, 0.1) : onPage(canvas, 0.2, 0.1);
        QTest::mouseRelease(vp, Qt::LeftButton, Qt::NoModifier, end);

        QVERIFY(!canvas.isDrawing());
        QCOMPARE(inkingGateCount(), 0);
        QCOMPARE(canvas.strokeCount(), 1);
        QCOMPARE(ink.size(), 1);
        QCOMPARE(canvas.undoDepth(), 1);
        const Stroke s = canvas.ink().value(0).first();
        QVERIFY2(s.points.size() >= minPoints && s.points.size() <= maxPoints,
                 qPrintable(QString::number(s.points.size())));
        QCOMPARE(s.color, canvas.penColor());
        QVERIFY(qAbs(s.width * canvas.pageRect(0).width() - canvas.penWidth()) < 1e-6);
    }

    void samplesRepaintOnlyAroundTheNewPoints()
    {
        PdfCanvas canvas;
        openCanvas(canvas);
        QWidget *vp = canvas.viewport();
        const QPoint a = onPage(canvas, 0.3, 0.3);
        const QPoint b = a + QPoint(40, 0);
        const QPoint c = b + QPoint(40, 0);
        QTest::mousePress(vp, Qt::LeftButton, Qt::NoModifier, a);
        QTest::mouseMove(vp, b);
        QTest::mouseMove(vp, c);
        const QRect dirty = canvas.lastInkDirtyRect();
        QVERIFY(dirty.contains(b));
        QVERIFY(dirty.contains(c));
        QVERIFY(!dirty.contains(a)); // earlier samples are not redrawn
        QVERIFY(qint64(dirty.width()) * dirty.height() * 20 < qint64(vp->width()) * vp->height());

        // A repeated sample adds nothing and asks for no repaint.
        const int count = int(canvas.liveStroke().points.size());
        QTest::mouseMove(vp, c);
        QCOMPARE(canvas.liveStroke().points.size(), count);
        QTest::mouseRelease(vp, Qt::LeftButton, Qt::NoModifier, c);
        QCOMPARE(canvas.strokeCount(), 1);
    }

    void ignoredBegins_data()
    {
        QTest::addColumn<int>("tool");
        QTest::addColumn<bool>("offPage");
        QTest::newRow("move tool") << int(PdfCanvas::InkTool::Move) << false;
        QTest::newRow("outside every page") << int(PdfCanvas::InkTool::Pen) << true;
    }

    void ignoredBegins()
    {
        QFETCH(int, tool);
        QFETCH(bool, offPage);
        PdfCanvas canvas;
        openCanvas(canvas);
        canvas.setTool(PdfCanvas::InkTool(tool));
        const QPoint p = offPage ? QPoint(2, 2) : onPage(canvas, 0.5, 0.5);
        QTest::mousePress(canvas.viewport(), Qt::LeftButton, Qt::NoModifier, p);
        QVERIFY(!canvas.isDrawing());
        QCOMPARE(inkingGateCount(), 0);
        QTest::mouseRelease(canvas.viewport(), Qt::LeftButton, Qt::NoModifier, p);
        QCOMPARE(canvas.strokeCount(), 0);
        QCOMPARE(inkingGateCount(), 0);
    }

    void gateIsGivenBackOnCancelAndDestruction()
    {
        {
            PdfCanvas canvas;
            openCanvas(canvas);
            QTest::mousePress(canvas.viewport(), Qt::LeftButton, Qt::NoModifier,
                              onPage(canvas, 0.5, 0.5));
            // A second begin restarts the stroke without a second share.
            canvas.beginStroke(onPage(canvas, 0.4, 0.4));
            QCOMPARE(inkingGateCount(), 1);
            canvas.setTool(PdfCanvas::InkTool::Eraser); // tool change cancels
            QVERIFY(!canvas.isDrawing());
            QCOMPARE(inkingGateCount(), 0);
            canvas.setTool(PdfCanvas::InkTool::Pen);
            canvas.commitStroke(); // nothing running: harmless
            QCOMPARE(inkingGateCount(), 0);
            QCOMPARE(canvas.strokeCount(), 0);
            canvas.beginStroke(onPage(canvas, 0.5, 0.5));
            QCOMPARE(inkingGateCount(), 1);
        } // destroyed mid-stroke
        QCOMPARE(inkingGateCount(), 0);
    }

    void penWritesAStroke()
    {
        PdfCanvas canvas;
        openCanvas(canvas);
        QWidget *vp = canvas.viewport();
        const QPointF a = onPage(canvas, 0.2, 0.5);
        const QPointF b = onPage(canvas, 0.5, 0.6);
        sendTablet(vp, QEvent::TabletPress, a, Qt::LeftButton, Qt::LeftButton);
        QVERIFY(canvas.isDrawing());
        sendTablet(vp, QEvent::TabletMove, b, Qt::NoButton, Qt::LeftButton);
        sendTablet(vp, QEvent::TabletRelease, b, Qt::LeftButton, Qt::NoButton);
        QVERIFY(!canvas.isDrawing());
        QCOMPARE(canvas.strokeCount(), 1);
        const Stroke s = canvas.ink().value(0).first();
        QVERIFY(s.points.size() > 100);
        QVERIFY(qAbs(s.points.first().x() - 0.2) < 0.01);
        QVERIFY(qAbs(s.points.last().y() - 0.6) < 0.01);
        QCOMPARE(inkingGateCount(), 0);
    }

    void touchTapIsDroppedButMouseClickKept_data()
    {
        QTest::addColumn<bool>("touch");
        QTest::newRow("mouse") << false;
        QTest::newRow("touch") << true;
    }

    void touchTapIsDroppedButMouseClickKept()
    {
        QFETCH(bool, touch);
        PdfCanvas canvas;
        openCanvas(canvas);
        canvas.beginStroke(onPage(canvas, 0.5, 0.5));
        canvas.setStrokeOrigin(touch ? StrokeOrigin::Touch : StrokeOrigin::Mouse);
        canvas.addStrokePoint(onPage(canvas, 0.5, 0.5) + QPointF(1, 0));
        canvas.commitStroke();
        QCOMPARE(canvas.strokeCount(), touch ? 0 : 1);
        QCOMPARE(canvas.undoDepth(), touch ? 0 : 1);
    }
};

QTEST_MAIN(TestCanvasCapture)
#include "tst_canvas_capture.moc"

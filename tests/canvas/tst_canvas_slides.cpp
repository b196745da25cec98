#include "canvas/pdfcanvas.h"
#include "ink/stroke.h"
#include "testutil.h"

#include <QPointingDevice>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QtTest>

// A deck in slide mode, driven through the real canvas: it opens with one
// whole slide on screen; keys and swipes move exactly one slide and settle
// it centred; free zoom and scrolling still work and the next key fits
// again; ink stays on the slide it was written on.
class TestCanvasSlides : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_deck;
    QPointingDevice *m_touch = nullptr;
    static constexpr int kSlides = 5;

    // A 16:9 deck on a 4:3 board: fitting the width would crop nothing, but
    // a 16:10 board would; both are tried.
    void openDeck(PdfCanvas &canvas, const QSize &size = QSize(800, 600))
    {
        QVERIFY(TestUtil::showCanvas(canvas, m_deck, size));
        canvas.setSlideMode(true);
    }

    static QRectF viewportRect(const PdfCanvas &canvas) { return QRectF(canvas.viewport()->rect()); }

    // Slide shown whole, centred within a pixel, and alone on screen.
    static bool showsOnly(const PdfCanvas &canvas, int slide, QString *why)
    {
        const QRectF view = viewportRect(canvas);
        const QRectF sheet = canvas.pageRect(slide);
        const QPointF off = sheet.center() - view.center();
        *why = QStringLiteral("slide %1 at %2,%3 %4x%5 in %6x%7, current %8")
                   .arg(slide)
                   .arg(sheet.x()).arg(sheet.y()).arg(sheet.width()).arg(sheet.height())
                   .arg(view.width()).arg(view.height())
                   .arg(canvas.currentSlide());
        if (!view.contains(sheet) || std::abs(off.x()) > 1 || std::abs(off.y()) > 1)
            return false;
        for (const int other : {slide - 1, slide + 1}) {
            if (other >= 0 && other < canvas.pageCount() && canvas.pageRect(other).intersects(view))
                return false;
        }
        return true;
    }

    // Waits for the settle, then checks the slide is alone and centred.
    static void expectSlide(PdfCanvas &canvas, int slide)
    {
        QTRY_VERIFY_WITH_TIMEOUT(!canvas.isSettling(), 5000);
        QString why;
        QVERIFY2(showsOnly(canvas, slide, &why), qPrintable(why));
        QCOMPARE(canvas.currentSlide(), slide);
    }

    void swipe(PdfCanvas &canvas, QList<QPointF> fingers, QPointF travel)
    {
        QWidget *vp = canvas.viewport();
        constexpr int kSteps = 8;
        auto frame = QTest::touchEvent(vp, m_touch);
        for (int id = 0; id < fingers.size(); ++id)
            frame.press(id, fingers.at(id).toPoint(), vp);
        frame.commit();
        for (int step = 1; step <= kSteps; ++step) {
            QTest::qWait(10);
            auto move = QTest::touchEvent(vp, m_touch);
            for (int id = 0; id < fingers.size(); ++id)
                move.move(id, (fingers.at(id) + travel * step / kSteps).toPoint(), vp);
        }
        auto lift = QTest::touchEvent(vp, m_touch);
        for (int id = 0; id < fingers.size(); ++id)
            lift.release(id, (fingers.at(id) + travel).toPoint(), vp);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_deck = m_dir.filePath(QStringLiteral("deck.pdf"));
        QVERIFY(TestUtil::writePdf(m_deck, QList<QSizeF>(kSlides, QSizeF(960, 540))));
        m_touch = QTest::createTouchDevice();
    }

    void opensWithAWholeSlideOnScreen_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::newRow("4:3 board") << QSize(800, 600);
        QTest::newRow("16:10 board") << QSize(960, 600);
        QTest::newRow("16:9 board, a slide taller than fits by width") << QSize(1280, 700);
    }

    void opensWithAWholeSlideOnScreen()
    {
        QFETCH(QSize, size);
        PdfCanvas canvas;
        openDeck(canvas, size);
        expectSlide(canvas, 0);
        // Full screen: the slide is fitted again, still alone and centred.
        canvas.resize(size + QSize(320, 180));
        expectSlide(canvas, 0);
        // Slide mode chosen before the deck is read works the same.
        PdfCanvas early;
        early.setSlideMode(true);
        QVERIFY(TestUtil::showCanvas(early, m_deck, size));
        expectSlide(early, 0);
    }

    void keysMoveExactlyOneSlide()
    {
        PdfCanvas canvas;
        openDeck(canvas);
        const QList<std::pair<Qt::Key, int>> presses{
            {Qt::Key_PageDown, 1}, {Qt::Key_Space, 2}, {Qt::Key_Right, 3}, {Qt::Key_Down, 4},
            {Qt::Key_Down, 4}, // the last slide stays
            {Qt::Key_PageUp, 3}, {Qt::Key_Left, 2}, {Qt::Key_Up, 1}, {Qt::Key_Home, 0}, {Qt::Key_End, 4}};
        for (const auto &[key, slide] : presses) {
            QTest::keyClick(&canvas, key);
            expectSlide(canvas, slide);
        }
        QTest::keyClick(&canvas, Qt::Key_Space, Qt::ShiftModifier);
        expectSlide(canvas, 3);
        // Two presses in quick succession go two slides, not one.
        QTest::keyClick(&canvas, Qt::Key_PageUp);
        QTest::keyClick(&canvas, Qt::Key_PageUp);
        expectSlide(canvas, 1);
    }

    void freeZoomAndScrollThenTheNextKeyFitsAgain()
    {
        PdfCanvas canvas;
        openDeck(canvas);
        const double fit = canvas.zoom();
        canvas.zoomIn();
        canvas.zoomIn();
        QVERIFY(canvas.zoom() > fit * 1.5);
        canvas.scrollBy(-120, -90);
        QCOMPARE(canvas.currentSlide(), 0);
        // A sideways drag when zoomed in looks at the slide's edge.
        const int h = canvas.horizontalScrollBar()->value();
        canvas.setTool(PdfCanvas::InkTool::Move);
        swipe(canvas, {QPointF(500, 300)}, QPointF(-200, 0));
        QTRY_VERIFY(!canvas.isSettling());
        QVERIFY(canvas.horizontalScrollBar()->value() > h);
        QCOMPARE(canvas.currentSlide(), 0);
        QVERIFY(canvas.zoom() > fit * 1.5);

        QTest::keyClick(&canvas, Qt::Key_PageDown);
        expectSlide(canvas, 1);
        QVERIFY(qAbs(canvas.zoom() - fit) < 1e-9);

        // The zoom bar's fit button fits the whole slide, not the width.
        canvas.zoomIn();
        canvas.fitWidth(true);
        expectSlide(canvas, 1);
        QVERIFY(qAbs(canvas.zoom() - fit) < 1e-9);
    }

    void swipesMoveOneSlide()
    {
        PdfCanvas canvas;
        openDeck(canvas);
        // One finger with the move tool, leftwards: the next slide.
        canvas.setTool(PdfCanvas::InkTool::Move);
        swipe(canvas, {QPointF(600, 300)}, QPointF(-300, 20));
        expectSlide(canvas, 1);
        // Two fingers with the pen: no ink, the next slide again.
        canvas.setTool(PdfCanvas::InkTool::Pen);
        swipe(canvas, {QPointF(550, 260), QPointF(550, 360)}, QPointF(-260, 0));
        expectSlide(canvas, 2);
        QCOMPARE(canvas.strokeCount(), 0);
        // Rightwards: back one.
        swipe(canvas, {QPointF(250, 260), QPointF(250, 360)}, QPointF(260, -10));
        expectSlide(canvas, 1);
        // A short nudge is no swipe; a downward drag scrolls freely.
        canvas.setTool(PdfCanvas::InkTool::Move);
        swipe(canvas, {QPointF(400, 300)}, QPointF(-20, 0));
        QTRY_VERIFY(!canvas.isSettling());
        QCOMPARE(canvas.currentSlide(), 1);
        const int before = canvas.verticalScrollBar()->value();
        swipe(canvas, {QPointF(400, 400)}, QPointF(10, -200));
        QTRY_VERIFY(!canvas.isSettling());
        QVERIFY(canvas.verticalScrollBar()->value() > before + 100);
    }

    // Ink is kept on the slide it was written on: a key press in the middle
    // of a stroke keeps the stroke there, and the next slide shows none.
    void inkStaysOnItsSlide()
    {
        PdfCanvas canvas;
        openDeck(canvas);
        QTest::keyClick(&canvas, Qt::Key_PageDown);
        expectSlide(canvas, 1);
        QWidget *vp = canvas.viewport();
        const auto at = [&canvas](double fx) { return TestUtil::pagePoint(canvas, fx, 0.5, 1).toPoint(); };
        QTest::mousePress(vp, Qt::LeftButton, Qt::NoModifier, at(0.2));
        for (int i = 1; i <= 6; ++i)
            QTest::mouseMove(vp, at(0.2 + 0.05 * i));
        QTest::keyClick(&canvas, Qt::Key_PageDown);
        QTest::mouseMove(vp, at(0.8));
        QTest::mouseRelease(vp, Qt::LeftButton, Qt::NoModifier, at(0.8));
        expectSlide(canvas, 2);
        QCOMPARE(canvas.strokeCount(), 1);
        QCOMPARE(canvas.ink().keys(), QList<int>{1});
        const Stroke stroke = canvas.ink().value(1).first();
        QVERIFY(qAbs(stroke.points.first().x() - 0.2) < 0.02);
        QVERIFY(stroke.points.last().x() < 0.55);

        // On screen: slide 3 is clean; back on slide 2 the stroke is there.
        const auto redOnScreen = [&canvas] {
            const QImage shot = canvas.viewport()->grab().toImage();
            for (int y = 0; y < shot.height(); y += 2) {
                for (int x = 0; x < shot.width(); x += 2) {
                    const QColor c = shot.pixelColor(x, y);
                    if (c.red() > 150 && c.green() < 90 && c.blue() < 90)
                        return true;
                }
            }
            return false;
        };
        QVERIFY(!redOnScreen());
        QTest::keyClick(&canvas, Qt::Key_PageUp);
        expectSlide(canvas, 1);
        QVERIFY(redOnScreen());
    }
};

QTEST_MAIN(TestCanvasSlides)
#include "tst_canvas_slides.moc"

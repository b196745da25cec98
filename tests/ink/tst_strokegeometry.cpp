#include "ink/strokecapture.h"
#include "ink/strokegeometry.h"

#include <QImage>
#include <QPainter>
#include <QRandomGenerator>
#include <QtTest>

#include <cmath>

// Capture rules (what a sample turns into), the repaint rectangle of a new
// sample, stroke outlines and real pixels painted into images.
namespace {

QImage blankImage(int w, int h)
{
    QImage img(w, h, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::white);
    return img;
}

QImage paint(const QSize &size, const QRectF &pageRect, const Stroke &s)
{
    QImage img = blankImage(size.width(), size.height());
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    drawStroke(&p, pageRect, s);
    p.end();
    return img;
}

bool inked(const QImage &img, int x, int y)
{
    return qGray(img.pixel(x, y)) < 128;
}

bool anyInk(const QImage &img, const QRect &area)
{
    const QRect r = area.intersected(img.rect());
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            if (qGray(img.pixel(x, y)) < 250)
                return true;
    return false;
}

int inkedRunInColumn(const QImage &img, int x)
{
    int n = 0;
    for (int y = 0; y < img.height(); ++y)
        n += inked(img, x, y) ? 1 : 0;
    return n;
}

Stroke strokeOf(const QVector<QPointF> &pts, double width, const QVector<double> &factors = {})
{
    Stroke s;
    s.color = Qt::black;
    s.points = pts;
    s.width = width;
    s.widthFactors = factors;
    s.updateBounds();
    return s;
}

} // namespace

class TestStrokeGeometry : public QObject
{
    Q_OBJECT
private slots:
    // --- capture -------------------------------------------------------

    void densify_data()
    {
        QTest::addColumn<QVector<QPointF>>("start");
        QTest::addColumn<QPointF>("sample");
        QTest::addColumn<int>("added");
        QTest::newRow("first point") << QVector<QPointF>{} << QPointF(0.5, 0.5) << 1;
        QTest::newRow("repeat") << QVector<QPointF>{ { 0.5, 0.5 } } << QPointF(0.5, 0.5 + 5e-7) << 0;
        QTest::newRow("within one step") << QVector<QPointF>{ { 0.5, 0.5 } } << QPointF(0.501, 0.5) << 1;
        QTest::newRow("three steps") << QVector<QPointF>{ { 0.5, 0.5 } } << QPointF(0.5, 0.5044) << 3;
        QTest::newRow("30 % of the page") << QVector<QPointF>{ { 0.2, 0.5 } } << QPointF(0.5, 0.5) << 200;
        QTest::newRow("after a stall, capped") << QVector<QPointF>{ { 0, 0 } } << QPointF(1, 1) << 400;
    }
    void densify()
    {
        QFETCH(QVector<QPointF>, start);
        QFETCH(QPointF, sample);
        QFETCH(int, added);
        Stroke s;
        s.points = start;
        QCOMPARE(appendDensified(s, sample, kDensifyStep), added);
        QCOMPARE(s.points.size(), start.size() + added);
        if (added > 0)
            QCOMPARE(s.points.last(), sample);
        // Each gap is at most one step unless the cap kicked in.
        for (qsizetype i = 1; i < s.points.size() && added < kDensifyLimit; ++i) {
            const QPointF d = s.points[i] - s.points[i - 1];
            QVERIFY(std::hypot(d.x(), d.y()) <= kDensifyStep + 1e-12);
        }
    }

    void lineAcrossSixtyPercent()
    {
        Stroke s;
        appendSample(s, QPointF(0.2, 0.4), 1.0);
        appendSample(s, QPointF(0.5, 0.4), 1.0);
        appendSample(s, QPointF(0.8, 0.4), 1.0);
        QVERIFY(s.points.size() > 100);
        QCOMPARE(s.widthFactors.size(), s.points.size());
    }

    void repeatsCollapse()
    {
        const QVector<QPointF> distinct{ { 0.1, 0.1 }, { 0.1005, 0.1 }, { 0.3, 0.2 }, { 0.31, 0.2 } };
        Stroke plain, repeated;
        double f = 1.0;
        for (const QPointF &p : distinct) {
            f += 0.1;
            appendSample(plain, p, f);
            for (int k = 0; k < 3; ++k)
                appendSample(repeated, p + QPointF(k * 1e-7, 0), f);
        }
        QCOMPARE(repeated.points, plain.points);
        QCOMPARE(repeated.widthFactors, plain.widthFactors);
    }

    void strokeWidthFromPen()
    {
        QCOMPARE(strokeWidthFraction(4, 800), 0.005);
        QCOMPARE(strokeWidthFraction(4, 0), kFallbackStrokeWidth);
        QCOMPARE(strokeWidthFraction(4, -10), kFallbackStrokeWidth);
    }

    void smoothingReducesJitter_data()
    {
        QTest::addColumn<bool>("alternating");
        QTest::newRow("alternating ±3 px") << true;
        QTest::newRow("random ±3 px") << false;
    }
    void smoothingReducesJitter()
    {
        QFETCH(bool, alternating);
        QRandomGenerator rng(20261208);
        QVector<QPointF> history;
        double rawSq = 0, smoothSq = 0, smoothMax = 0;
        constexpr int kSamples = 400;
        constexpr double kPathX = 300;
        for (int i = 0; i < kSamples; ++i) {
            const double jitter = alternating ? (i % 2 ? 3.0 : -3.0) : rng.bounded(6.0) - 3.0;
            const QPointF raw(kPathX + jitter, 100 + 2.0 * i);
            const QPointF out = smoothTouchSample(history, raw);
            if (i < 3)
                continue; // the window is still filling
            rawSq += jitter * jitter;
            const double dev = out.x() - kPathX;
            smoothSq += dev * dev;
            smoothMax = qMax(smoothMax, qAbs(dev));
        }
        const double rawRms = std::sqrt(rawSq / (kSamples - 3));
        const double smoothRms = std::sqrt(smoothSq / (kSamples - 3));
        QVERIFY2(rawRms > 1.6, qPrintable(QString::number(rawRms)));
        QVERIFY2(smoothRms < 1.6, qPrintable(QString::number(smoothRms)));
        if (alternating)
            QVERIFY(smoothMax < 1.6);
    }

    void smoothingLagsOneSampleAndRestartsOnJumps()
    {
        QVector<QPointF> h;
        QCOMPARE(smoothTouchSample(h, QPointF(10, 10)), QPointF(10, 10)); // first comes out raw
        QCOMPARE(smoothTouchSample(h, QPointF(10, 14)), QPointF(10, 12));
        QCOMPARE(smoothTouchSample(h, QPointF(10, 18)), QPointF(10, 14)); // the previous raw sample
        QCOMPARE(smoothTouchSample(h, QPointF(10, 22)), QPointF(10, 18));
        QCOMPARE(h.size(), 3);
        // 47 px away still averages; farther than 48 px restarts and comes out raw.
        QCOMPARE(smoothTouchSample(h, QPointF(10, 69)), QPointF(10, (18 + 22 + 69) / 3.0));
        QCOMPARE(smoothTouchSample(h, QPointF(10, 118)), QPointF(10, 118));
        QCOMPARE(h.size(), 1);
        QCOMPARE(smoothTouchSample(h, QPointF(10, 120)), QPointF(10, 119));
        h.clear(); // touch begin
        QCOMPARE(smoothTouchSample(h, QPointF(50, 50)), QPointF(50, 50));
    }

    void touchFactor_data()
    {
        QTest::addColumn<QVector<TouchContactSize>>("contacts");
        QTest::addColumn<double>("reference");
        QTest::addColumn<bool>("primed");
        QTest::addColumn<double>("factor");
        QTest::addColumn<bool>("primedAfter");
        const QPointF at(100, 100);
        const TouchContactSize finger{ at, 30, true };
        QTest::newRow("first frame primes") << QVector<TouchContactSize>{ finger } << 20.0 << false << 1.5 << true;
        QTest::newRow("averaged with weight 0.25")
            << QVector<TouchContactSize>{ finger } << 20.0 << true << 1.0 + 0.5 * 0.25 << true;
        QTest::newRow("clamped high")
            << QVector<TouchContactSize>{ { at, 100, true } } << 20.0 << false << 1.8 << true;
        QTest::newRow("clamped low")
            << QVector<TouchContactSize>{ { at, 2, true } } << 20.0 << false << 0.8 << true;
        QTest::newRow("nearest contact wins")
            << QVector<TouchContactSize>{ { QPointF(400, 400), 40, true }, { QPointF(105, 100), 24, true } }
            << 20.0 << false << 1.2 << true;
        QTest::newRow("zero-size contacts are passed over")
            << QVector<TouchContactSize>{ { at, 0, true }, { QPointF(300, 100), 24, true } }
            << 20.0 << false << 1.2 << true;
        QTest::newRow("a contact without size") << QVector<TouchContactSize>{ finger, { at, 0, false } }
                                                << 20.0 << true << 1.0 << true;
        QTest::newRow("reference not calibrated") << QVector<TouchContactSize>{ finger } << 0.0 << false << 1.0 << false;
        QTest::newRow("no sized contact") << QVector<TouchContactSize>{ { at, 0, true } } << 20.0 << false << 1.0 << false;
    }
    void touchFactor()
    {
        QFETCH(QVector<TouchContactSize>, contacts);
        QFETCH(double, reference);
        QFETCH(bool, primed);
        QFETCH(double, factor);
        QFETCH(bool, primedAfter);
        TouchFactorAverage avg;
        avg.previous = 1.0;
        avg.primed = primed;
        QCOMPARE(touchWidthFactor(contacts, QPointF(100, 100), reference, avg), factor);
        QCOMPARE(avg.primed, primedAfter);
        if (factor == 1.0 && !primedAfter)
            QCOMPARE(avg.previous, 1.0); // left alone
    }

    void judgement_data()
    {
        QTest::addColumn<QVector<QPointF>>("points");
        QTest::addColumn<int>("origin");
        QTest::addColumn<int>("verdict");
        QTest::addColumn<QString>("log");
        const QVector<QPointF> click{ { 0.5, 0.5 } };
        const QVector<QPointF> wobble{ { 0.5, 0.5 }, { 0.501, 0.5 }, { 0.5015, 0.5 } }; // 1.5 px
        const QVector<QPointF> line{ { 0.1, 0.5 }, { 0.2, 0.5 } };                       // 100 px
        const int mouse = int(StrokeOrigin::Mouse), touch = int(StrokeOrigin::Touch);
        QTest::newRow("mouse click is a dot") << click << mouse << int(StrokeVerdict::Dot)
                                              << "ink committed as a dot (len=0.00 px, pts=1)";
        QTest::newRow("finger tap is noise") << click << touch << int(StrokeVerdict::Discard)
                                             << "ink discarded (touch tap/noise, len=0.00 px)";
        QTest::newRow("pen wobble is a dot") << wobble << mouse << int(StrokeVerdict::Dot)
                                             << "ink committed as a dot (len=1.50 px, pts=3)";
        QTest::newRow("finger wobble is noise") << wobble << touch << int(StrokeVerdict::Discard)
                                                << "ink discarded (touch tap/noise, len=1.50 px)";
        QTest::newRow("touch line kept") << line << touch << int(StrokeVerdict::Keep)
                                         << "ink committed (len=100.0 px, pts=2)";
        QTest::newRow("no points") << QVector<QPointF>{} << mouse << int(StrokeVerdict::Discard) << QString();
    }
    void judgement()
    {
        QFETCH(QVector<QPointF>, points);
        QFETCH(int, origin);
        QFETCH(int, verdict);
        QFETCH(QString, log);
        const StrokeJudgement j = judgeStroke(points, 1000, StrokeOrigin(origin));
        QCOMPARE(int(j.verdict), verdict);
        QCOMPARE(j.logText, log);
    }

    // --- repaint rectangle ----------------------------------------------

    void dirtyRectCoversOnlyTheNewEnd()
    {
        const QRectF page(50, 20, 1000, 1400);
        QVector<QPointF> pts;
        for (int i = 0; i < 50; ++i)
            pts.append(QPointF(0.1 + i * 0.01, 0.2 + i * 0.005));
        const double pad = strokeRepaintPad(4);
        QCOMPARE(pad, 4 * 0.5 * 1.8 + 4);
        const int k = 48; // two new points: 48 and 49
        const QRect r = strokeDirtyRect(page, pts, int(pts.size()), k - 2, pad);
        auto vp = [&](int i) {
            return QPointF(page.left() + pts[i].x() * page.width(), page.top() + pts[i].y() * page.height());
        };
        QVERIFY(r.contains(vp(49).toPoint()));
        QVERIFY(r.contains(vp(48).toPoint()));
        QVERIFY(r.contains(vp(47).toPoint()));
        QVERIFY(!r.contains(vp(44).toPoint()));
        QVERIFY(!r.contains(vp(0).toPoint()));
        const QRectF box = QRectF(vp(46), vp(49)).normalized();
        QVERIFY(r.width() >= box.width() + 2 * pad);
        QVERIFY(r.height() >= box.height() + 2 * pad);
        QVERIFY(QRectF(r).contains(box.adjusted(-pad, -pad, pad, pad)));
        // Far below the viewport for an ordinary sample.
        QVERIFY(double(r.width()) * r.height() < 0.01 * page.width() * page.height());
    }

    void dirtyRectEdges_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("end");
        QTest::addColumn<int>("start");
        QTest::addColumn<QRectF>("page");
        QTest::addColumn<bool>("null");
        const QRectF page(0, 0, 100, 100);
        QTest::newRow("no points") << 0 << 0 << 0 << page << true;
        QTest::newRow("end below 1") << 5 << 0 << 0 << page << true;
        QTest::newRow("empty page rect") << 5 << 5 << 0 << QRectF(10, 10, 0, 50) << true;
        QTest::newRow("single point at begin") << 1 << 1 << 0 << page << false;
        QTest::newRow("start beyond end pulled back") << 5 << 5 << 9 << page << false;
        QTest::newRow("negative start") << 5 << 5 << -3 << page << false;
        QTest::newRow("end beyond the points") << 5 << 12 << 0 << page << false;
    }
    void dirtyRectEdges()
    {
        QFETCH(int, count);
        QFETCH(int, end);
        QFETCH(int, start);
        QFETCH(QRectF, page);
        QFETCH(bool, null);
        QVector<QPointF> pts;
        for (int i = 0; i < count; ++i)
            pts.append(QPointF(0.1 * (i + 1), 0.5));
        const QRect r = strokeDirtyRect(page, pts, end, start, 5);
        QCOMPARE(r.isNull(), null);
        if (!null) {
            QVERIFY(r.width() >= 10 && r.height() >= 10);
            QVERIFY(r.contains(QPoint(int(pts[qMin(end, count) - 1].x() * 100), 50)));
        }
    }

    // --- outline --------------------------------------------------------

    void outline_data()
    {
        QTest::addColumn<QVector<QPointF>>("points");
        QTest::addColumn<QVector<double>>("factors");
        QTest::addColumn<QRectF>("bounds");
        const QVector<QPointF> h{ { 100, 50 }, { 200, 50 } };
        QTest::newRow("two points, width 10") << h << QVector<double>{} << QRectF(95, 45, 110, 10);
        QTest::newRow("factors of 2") << h << QVector<double>{ 2, 2 } << QRectF(90, 40, 120, 20);
        QTest::newRow("factors of the wrong length") << h << QVector<double>{ 2 } << QRectF(95, 45, 110, 10);
        QTest::newRow("vertical") << QVector<QPointF>{ { 50, 0 }, { 50, 100 } } << QVector<double>{}
                                  << QRectF(45, -5, 10, 110);
        QTest::newRow("growing") << QVector<QPointF>{ { 0, 0 }, { 50, 0 }, { 100, 0 } }
                                 << QVector<double>{ 1, 2, 3 } << QRectF(-5, -15, 120, 30);
        QTest::newRow("repeated points reuse the tangent")
            << QVector<QPointF>{ { 0, 0 }, { 0, 0 }, { 100, 0 } } << QVector<double>{} << QRectF(-5, -5, 110, 10);
    }
    void outline()
    {
        QFETCH(QVector<QPointF>, points);
        QFETCH(QVector<double>, factors);
        QFETCH(QRectF, bounds);
        const QPainterPath path = inkOutline(points, factors, 10);
        QCOMPARE(path.fillRule(), Qt::WindingFill);
        const QRectF b = path.boundingRect();
        QVERIFY2(qAbs(b.left() - bounds.left()) < 1e-9 && qAbs(b.top() - bounds.top()) < 1e-9
                     && qAbs(b.width() - bounds.width()) < 1e-9 && qAbs(b.height() - bounds.height()) < 1e-9,
                 qPrintable(QStringLiteral("%1,%2 %3x%4").arg(b.left()).arg(b.top()).arg(b.width()).arg(b.height())));
        for (const QPointF &p : points)
            QVERIFY(path.contains(p));
    }

    void outlineDegenerate()
    {
        QVERIFY(inkOutline({ { 1, 1 } }, {}, 10).isEmpty());
        QVERIFY(inkOutline({}, {}, 10).isEmpty());
        QVERIFY(inkOutline({ { 0, 0 }, { 10, 0 } }, {}, 0).isEmpty());
        QVERIFY(inkOutline({ { 0, 0 }, { 10, 0 } }, {}, qQNaN()).isEmpty());
        // Coincident points and a zero factor still give a thin closed shape.
        const QPainterPath thin = inkOutline({ { 5, 5 }, { 5, 5 } }, { 0, 0 }, 10);
        QVERIFY(!thin.isEmpty());
        QVERIFY(thin.boundingRect().width() <= 0.25 + 1e-9);
    }

    void centreLine()
    {
        const QPainterPath two = inkCentreLine({ { 0, 0 }, { 10, 0 } });
        QCOMPARE(two.elementCount(), 2);
        const QVector<QPointF> pts{ { 0, 0 }, { 10, 10 }, { 20, 0 }, { 30, 0 } };
        const QPainterPath path = inkCentreLine(pts);
        QCOMPARE(path.currentPosition(), pts.last());
        QCOMPARE(path.pointAtPercent(0), pts.first());
        // Rounded through the midpoints: the corner sample is not reached.
        QVERIFY(path.boundingRect().height() < 7);
        QVERIFY(path.boundingRect().height() > 6);
    }

    // --- pixels ---------------------------------------------------------

    void paintsConstantWidthLine()
    {
        const Stroke s = strokeOf({ { 0.1, 0.5 }, { 0.9, 0.5 } }, 0.05); // 10 px on a 200 px page
        const QImage img = paint(QSize(200, 200), QRectF(0, 0, 200, 200), s);
        QVERIFY(inked(img, 100, 100));
        QVERIFY(inked(img, 100, 96));
        QVERIFY(!inked(img, 100, 108));
        QVERIFY(inked(img, 18, 100));  // round cap past the first point
        QVERIFY(!inked(img, 12, 100)); // but only by half the width
        const int run = inkedRunInColumn(img, 100);
        QVERIFY2(run >= 9 && run <= 11, qPrintable(QString::number(run)));
    }

    void doubleZoomPaintsTwiceAsThick()
    {
        const Stroke s = strokeOf({ { 0.1, 0.3 }, { 0.5, 0.35 }, { 0.9, 0.3 } }, 0.02);
        const QImage fit = paint(QSize(300, 300), QRectF(0, 0, 300, 300), s);
        const QImage zoomed = paint(QSize(600, 600), QRectF(0, 0, 600, 600), s);
        const int thin = inkedRunInColumn(fit, 60);
        const int thick = inkedRunInColumn(zoomed, 120);
        QVERIFY2(thin >= 5 && thin <= 7, qPrintable(QString::number(thin)));
        QVERIFY2(qAbs(thick - 2 * thin) <= 1, qPrintable(QStringLiteral("%1 vs %2").arg(thick).arg(thin)));
    }

    void paintsRoundDot()
    {
        const Stroke s = strokeOf({ { 0.5, 0.5 } }, 0.1); // 20 px dot
        const QImage img = paint(QSize(200, 200), QRectF(0, 0, 200, 200), s);
        QVERIFY(inked(img, 100, 100));
        QVERIFY(inked(img, 100, 92));
        QVERIFY(inked(img, 92, 100));
        QVERIFY(!inked(img, 92, 92)); // round, not square
        QVERIFY(!inked(img, 100, 113));
    }

    void varyingWidthIsFilledOutline()
    {
        const Stroke even = strokeOf({ { 0.1, 0.5 }, { 0.9, 0.5 } }, 0.05, { 1, 1 });
        const Stroke wide = strokeOf({ { 0.1, 0.5 }, { 0.9, 0.5 } }, 0.05, { 2, 2 });
        const QImage a = paint(QSize(200, 200), QRectF(0, 0, 200, 200), even);
        const QImage b = paint(QSize(200, 200), QRectF(0, 0, 200, 200), wide);
        const int ra = inkedRunInColumn(a, 100), rb = inkedRunInColumn(b, 100);
        QVERIFY2(qAbs(rb - 2 * ra) <= 1, qPrintable(QStringLiteral("%1 vs %2").arg(rb).arg(ra)));
        QCOMPARE(b.pixel(100, 100), qRgb(0, 0, 0));
        // Imported factors beyond what capture produces paint as they are.
        const Stroke huge = strokeOf({ { 0.1, 0.5 }, { 0.9, 0.5 } }, 0.05, { 5, 5 });
        const int rh = inkedRunInColumn(paint(QSize(200, 200), QRectF(0, 0, 200, 200), huge), 100);
        QVERIFY2(qAbs(rh - 50) <= 1, qPrintable(QString::number(rh)));
    }

    void clippedRepaintMatchesFullPaint_data()
    {
        QTest::addColumn<QRect>("clip");
        QTest::newRow("middle") << QRect(180, 130, 40, 40);
        QTest::newRow("start") << QRect(0, 80, 60, 60);
        QTest::newRow("end") << QRect(350, 80, 50, 80);
        QTest::newRow("thin band") << QRect(0, 148, 400, 4);
        QTest::newRow("away from the ink") << QRect(10, 10, 30, 30);
    }
    void clippedRepaintMatchesFullPaint()
    {
        // A long live stroke repainted under a small clip (one new sample)
        // must leave the same pixels as painting it whole.
        QFETCH(QRect, clip);
        QVector<QPointF> pts;
        for (int i = 0; i < 400; ++i)
            pts.append(QPointF(0.05 + i * 0.0022, 0.5 + 0.1 * std::sin(i * 0.07)));
        const Stroke s = strokeOf(pts, 0.02);
        const QImage full = paint(QSize(400, 300), QRectF(0, 0, 400, 300), s);
        QImage part = blankImage(400, 300);
        QPainter p(&part);
        p.setRenderHint(QPainter::Antialiasing);
        p.setClipRect(clip);
        drawStroke(&p, QRectF(0, 0, 400, 300), s);
        p.end();
        int worst = 0;
        for (int y = clip.top(); y <= clip.bottom(); ++y)
            for (int x = clip.left(); x <= clip.right(); ++x)
                worst = qMax(worst, qAbs(qGray(full.pixel(x, y)) - qGray(part.pixel(x, y))));
        QVERIFY2(worst <= 1, qPrintable(QString::number(worst)));
    }

    void pageOffsetAndColour()
    {
        Stroke s = strokeOf({ { 0.0, 0.0 }, { 1.0, 1.0 } }, 0.04);
        s.color = QColor(211, 47, 47);
        const QImage img = paint(QSize(300, 300), QRectF(100, 50, 100, 200), s);
        QCOMPARE(QColor(img.pixel(150, 150)), s.color); // centre of the page
        QVERIFY(!anyInk(img, QRect(0, 0, 90, 300)));
    }

    void importedInkStaysOnItsPage_data()
    {
        QTest::addColumn<QVector<QPointF>>("points");
        QTest::addColumn<double>("width");
        QTest::addColumn<bool>("insidePainted");
        QTest::newRow("leaves the page") << QVector<QPointF>{ { 0.5, 0.5 }, { 3.0, 0.5 } } << 0.05 << true;
        QTest::newRow("dot outside") << QVector<QPointF>{ { 1.5, 0.5 } } << 0.05 << false;
        QTest::newRow("huge coordinates") << QVector<QPointF>{ { 0.5, 0.5 }, { 1e300, -1e300 } } << 0.05 << true;
        QTest::newRow("huge width") << QVector<QPointF>{ { 0.5, 0.5 }, { 0.6, 0.5 } } << 1e300 << true;
        QTest::newRow("NaN everywhere") << QVector<QPointF>{ { qQNaN(), 0.5 }, { 0.5, qInf() } } << qQNaN() << true;
        QTest::newRow("along the page edge") << QVector<QPointF>{ { 0.0, 0.2 }, { 0.0, 0.8 } } << 0.05 << true;
        QTest::newRow("negative width") << QVector<QPointF>{ { 0.2, 0.5 }, { 0.8, 0.5 } } << -3.0 << true;
    }
    void importedInkStaysOnItsPage()
    {
        QFETCH(QVector<QPointF>, points);
        QFETCH(double, width);
        QFETCH(bool, insidePainted);
        const QRectF page(50, 50, 100, 100);
        for (const QVector<double> &factors : { QVector<double>{}, QVector<double>(points.size(), 1e300) }) {
            Stroke s = strokeOf(points, width, factors);
            const QImage img = paint(QSize(200, 200), page, s);
            QImage outside = img;
            QPainter p(&outside);
            p.fillRect(page, Qt::white);
            p.end();
            QVERIFY(!anyInk(outside, outside.rect()));
            QCOMPARE(anyInk(img, page.toRect()), insidePainted);
        }
    }

    void cullingByBounds()
    {
        const QRectF page(0, 0, 1000, 1000);
        const Stroke s = strokeOf({ { 0.1, 0.1 }, { 0.2, 0.1 } }, 0.004); // 4 px line at y = 100
        QVERIFY(strokeMayTouch(s, page, QRectF(150, 95, 10, 10)));
        QVERIFY(strokeMayTouch(s, page, QRectF(150, 104, 10, 10))); // within the widest line
        QVERIFY(!strokeMayTouch(s, page, QRectF(150, 106, 10, 10)));
        QVERIFY(!strokeMayTouch(s, page, QRectF(500, 500, 100, 100)));
        // An imported factor of 10 makes a 40 px line: culling allows for it.
        const Stroke wide = strokeOf({ { 0.1, 0.1 }, { 0.2, 0.1 } }, 0.004, { 10, 10 });
        QVERIFY(strokeMayTouch(wide, page, QRectF(150, 118, 10, 10)));
        QVERIFY(!strokeMayTouch(wide, page, QRectF(150, 125, 10, 10)));
        const Stroke dot = strokeOf({ { 0.9, 0.9 } }, 0.004);
        QVERIFY(strokeMayTouch(dot, page, QRectF(0, 0, 10, 10))); // null bounds: never culled

        // drawStrokes honours the clip: the culled stroke leaves no pixel.
        QImage img = blankImage(1000, 1000);
        QPainter p(&img);
        drawStrokes(&p, page, { s, strokeOf({ { 0.5, 0.8 }, { 0.6, 0.8 } }, 0.004) }, QRectF(0, 700, 1000, 300));
        p.end();
        QVERIFY(!anyInk(img, QRect(90, 90, 130, 20)));
        QVERIFY(anyInk(img, QRect(490, 790, 130, 20)));
    }
};

QTEST_MAIN(TestStrokeGeometry)
#include "tst_strokegeometry.moc"

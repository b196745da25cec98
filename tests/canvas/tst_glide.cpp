#include "canvas/glide.h"

#include <QtTest>

#include <cmath>

// Flick decisions, the glide's stepping and stop rules, and the zoom
// arithmetic that keeps the page point under the pointer. Time is passed in,
// so nothing here waits.

using Samples = QVector<PanSample>;

namespace {

// A stand-in for the canvas layout: pages stacked with margins, centred in
// the content width, scaled with the zoom.
struct Layout
{
    static constexpr double kMargin = 16;
    static constexpr double kGap = 16;
    QSizeF viewport{ 800, 600 };
    QVector<QSizeF> pagesPt{ { 595, 842 }, { 595, 842 }, { 842, 595 } };
    double zoom = 1;
    int h = 0;
    int v = 0;

    double scale() const { return zoom * (viewport.width() - 2 * kMargin) / 842; }
    QSizeF slotSize(int i) const { return pagesPt.at(i) * scale(); }
    double slotTop(int i) const
    {
        double y = kMargin;
        for (int k = 0; k < i; ++k)
            y += slotSize(k).height() + kGap;
        return y;
    }
    double contentWidth() const
    {
        double w = viewport.width();
        for (int i = 0; i < pagesPt.size(); ++i)
            w = std::max(w, slotSize(i).width());
        return w;
    }
    double contentHeight() const { return slotTop(pagesPt.size()) - kGap + kMargin; }
    QRectF pageRect(int i) const
    {
        const QSizeF s = slotSize(i);
        return QRectF((contentWidth() - s.width()) / 2 - h, slotTop(i) - v, s.width(), s.height());
    }
    int pageAtContentY(double y) const
    {
        for (int i = 0; i < pagesPt.size(); ++i) {
            if (y >= slotTop(i) && y < slotTop(i) + slotSize(i).height())
                return i;
        }
        return -1;
    }
    void setScroll(QPoint p)
    {
        h = std::clamp(p.x(), 0, std::max(0, int(contentWidth()) - int(viewport.width())));
        v = std::clamp(p.y(), 0, std::max(0, int(contentHeight()) - int(viewport.height())));
    }
    // What the canvas's zoom does with these helpers.
    void zoomAbout(double target, QPointF anchor)
    {
        const int page = pageAtContentY(v + anchor.y());
        const ZoomMath::Anchor a = ZoomMath::anchorOnSheet(page >= 0 ? pageRect(page) : QRectF(), anchor);
        zoom = ZoomMath::clampZoom(target, zoom);
        if (page >= 0)
            setScroll(ZoomMath::anchoredScroll(a, slotTop(page), slotSize(page), contentWidth(), anchor));
    }
};

} // namespace

class TestGlide : public QObject
{
    Q_OBJECT
private slots:
    void fling_data()
    {
        QTest::addColumn<Samples>("samples");
        QTest::addColumn<qint64>("release");
        QTest::addColumn<bool>("glides");
        QTest::addColumn<double>("vx");
        QTest::addColumn<double>("vy");

        // 16 px every 16 ms downwards: 1 px/ms.
        const Samples down{ { 0, 0, 16 }, { 16, 0, 16 }, { 32, 0, 16 }, { 48, 0, 16 } };
        QTest::newRow("flick released moving") << down << qint64(50) << true << 0.0 << 1.0;
        QTest::newRow("rested 60 ms still glides") << down << qint64(108) << true << 0.0 << 1.0;
        QTest::newRow("rested 61 ms does not glide") << down << qint64(109) << false << 0.0 << 0.0;
        QTest::newRow("one sample") << Samples{ { 0, 0, 40 } } << qint64(5) << false << 0.0 << 0.0;
        QTest::newRow("too slow") << Samples{ { 0, 0, 1 }, { 16, 0, 3 }, { 32, 0, 3 } } << qint64(32)
                                  << false << 0.0 << 0.0;
        QTest::newRow("just fast enough")
            << Samples{ { 0, 0, 4 }, { 16, 4, 0 }, { 32, 4, 0 } } << qint64(32) << true << 0.25 << 0.0;
        QTest::newRow("capped at 8 px/ms")
            << Samples{ { 0, 0, 100 }, { 10, 0, 300 }, { 20, 0, 300 } } << qint64(20) << true << 0.0
            << 8.0;
        QTest::newRow("cap keeps direction")
            << Samples{ { 0, 0, 0 }, { 10, 300, 300 } } << qint64(10) << true << 8 / std::sqrt(2.0)
            << 8 / std::sqrt(2.0);
        QTest::newRow("diagonal locks to vertical")
            << Samples{ { 0, 0, 0 }, { 16, 7, 16 }, { 32, 7, 16 } } << qint64(32) << true << 0.0 << 1.0;
        QTest::newRow("diagonal locks to horizontal")
            << Samples{ { 0, 0, 0 }, { 16, -16, 7 }, { 32, -16, 7 } } << qint64(32) << true << -1.0 << 0.0;
        QTest::newRow("balanced diagonal keeps both")
            << Samples{ { 0, 0, 0 }, { 16, 10, 16 }, { 32, 10, 16 } } << qint64(32) << true << 0.625
            << 1.0;
        QTest::newRow("samples older than 100 ms ignored")
            << Samples{ { 0, 0, 5000 }, { 100, 0, 16 }, { 116, 0, 16 }, { 132, 0, 16 } } << qint64(132)
            << true << 0.0 << 1.0;
        QTest::newRow("short span counts as 8 ms")
            << Samples{ { 0, 0, 0 }, { 2, 0, 16 } } << qint64(2) << true << 0.0 << 2.0;
    }

    void fling()
    {
        QFETCH(Samples, samples);
        QFETCH(qint64, release);
        QFETCH(bool, glides);
        QFETCH(double, vx);
        QFETCH(double, vy);

        Glide g;
        for (const PanSample &s : samples)
            g.addPanSample(s.t, s.dx, s.dy);
        QCOMPARE(g.startFling(release), glides);
        QCOMPARE(g.isRunning(), glides);
        QVERIFY(g.samples().isEmpty());
        QVERIFY(std::abs(g.velocity().x() - vx) < 1e-9);
        QVERIFY(std::abs(g.velocity().y() - vy) < 1e-9);
    }

    void sampleWindowKeepsTwo()
    {
        Glide g;
        g.addPanSample(0, 1, 1);
        g.addPanSample(500, 1, 1);
        QCOMPARE(g.samples().size(), 2); // old, but at least two stay
        g.addPanSample(900, 1, 1);
        QCOMPARE(g.samples().size(), 2);
        QCOMPARE(g.samples().first().t, qint64(500));
        g.addPanSample(950, 1, 1);
        g.addPanSample(960, std::nan(""), 1);
        QCOMPARE(g.samples().size(), 2);
        QCOMPARE(g.samples().first().t, qint64(900));
        QCOMPARE(g.samples().last().t, qint64(950));
    }

    void glideSlowsAndStops()
    {
        Glide g;
        for (qint64 t = 0; t <= 48; t += 16)
            g.addPanSample(t, 0, 16);
        QVERIFY(g.startFling(50));

        ScrollPosition pos{ 0, 5000, 0, 0, 0, 100000 };
        qint64 now = 50;
        int previousStep = 1000;
        int ticks = 0;
        bool running = true;
        while (running && ticks < 1000) {
            now += 16;
            const int before = pos.y;
            running = g.tick(now, &pos);
            const int moved = before - pos.y;
            QVERIFY(moved >= 0);                 // content follows the finger down
            QVERIFY(moved <= previousStep + 1); // whole pixels, never speeding up
            previousStep = moved;
            ++ticks;
        }
        QVERIFY(!running);
        QVERIFY(!g.isRunning());
        // 1 px/ms with a 400 ms time constant, stopped at 0.02 px/ms: 392 px.
        QVERIFY2(std::abs((5000 - pos.y) - 392) <= 1, qPrintable(QString::number(pos.y)));
        QCOMPARE(pos.x, 0);
    }

    void rangeEndStopsOneAxis()
    {
        Glide g;
        g.addPanSample(0, 0, 0);
        g.addPanSample(16, 12, -16); // finger up and right: content scrolls down and left
        g.addPanSample(32, 12, -16);
        QVERIFY(g.startFling(32));
        ScrollPosition pos{ 500, 990, 0, 1000, 0, 1000 };
        QVERIFY(g.tick(48, &pos));
        QVERIFY(pos.x < 500);
        for (qint64 t = 64; t < 200; t += 16)
            g.tick(t, &pos);
        QCOMPARE(pos.y, 1000);
        QCOMPARE(g.velocity().y(), 0.0);
        QVERIFY(g.isRunning());
        QVERIFY(g.velocity().x() > 0);
        const int x = pos.x;
        g.tick(216, &pos);
        QVERIFY(pos.x < x);
    }

    void bothEndsStopTheGlide()
    {
        Glide g;
        g.addPanSample(0, 0, 0);
        g.addPanSample(16, 16, 16);
        QVERIFY(g.startFling(16));
        ScrollPosition pos{ 0, 0, 0, 1000, 0, 1000 };
        QVERIFY(!g.tick(32, &pos));
        QCOMPARE(pos.x, 0);
        QCOMPARE(pos.y, 0);
    }

    void longPauseIsOneCappedStep()
    {
        Glide a;
        Glide b;
        for (Glide *g : { &a, &b }) {
            g->addPanSample(0, 0, 0);
            g->addPanSample(16, 0, 32);
            QVERIFY(g->startFling(16));
        }
        ScrollPosition pa{ 0, 5000, 0, 0, 0, 10000 };
        ScrollPosition pb = pa;
        a.tick(16 + 50, &pa);
        b.tick(16 + 5000, &pb); // a stalled event loop does not jump the page
        QCOMPARE(pb.y, pa.y);
    }

    void stopReportsRunning()
    {
        Glide g;
        QVERIFY(!g.stop());
        g.addPanSample(0, 0, 0);
        g.addPanSample(16, 0, 32);
        QVERIFY(g.startFling(16));
        QVERIFY(g.stop());
        QVERIFY(!g.stop());
        QCOMPARE(g.velocity(), QPointF());
        ScrollPosition pos{ 0, 500, 0, 0, 0, 1000 };
        QVERIFY(!g.tick(32, &pos));
        QCOMPARE(pos.y, 500);
    }

    void scrollSteps_data()
    {
        QTest::addColumn<QPointF>("delta");
        QTest::addColumn<QPoint>("whole");
        QTest::newRow("halves away from zero") << QPointF(0.5, -0.5) << QPoint(1, -1);
        QTest::newRow("below half") << QPointF(1.49, -2.4) << QPoint(1, -2);
        QTest::newRow("not a number") << QPointF(std::nan(""), 3) << QPoint(0, 3);
        QTest::newRow("huge saturates") << QPointF(1e30, -1e30) << QPoint(INT_MAX, INT_MIN);
    }

    void scrollSteps()
    {
        QFETCH(QPointF, delta);
        QFETCH(QPoint, whole);
        QCOMPARE(wholePixels(delta), whole);
        QCOMPARE(scrollValueAfter(100, 30.7), 69);
        QCOMPARE(scrollValueAfter(100, std::nan("")), 100);
    }

    void clampZoom_data()
    {
        QTest::addColumn<double>("requested");
        QTest::addColumn<double>("expected");
        QTest::newRow("too small") << 0.1 << 0.25;
        QTest::newRow("too large") << 10.0 << 4.0;
        QTest::newRow("inside") << 1.5625 << 1.5625;
        QTest::newRow("limits") << 4.0 << 4.0;
        QTest::newRow("not a number keeps zoom") << std::nan("") << 1.3;
        QTest::newRow("infinite") << qInf() << 4.0;
        QTest::newRow("negative") << -2.0 << 0.25;
    }

    void clampZoom()
    {
        QFETCH(double, requested);
        QFETCH(double, expected);
        QCOMPARE(ZoomMath::clampZoom(requested, 1.3), expected);
    }

    void fuzzyEqual_data()
    {
        QTest::addColumn<double>("a");
        QTest::addColumn<double>("b");
        QTest::addColumn<bool>("equal");
        QTest::newRow("same") << 1.25 << 1.25 << true;
        QTest::newRow("rounding noise") << 1.0 << 1.0 + 1e-13 << true;
        QTest::newRow("small real change") << 1.0 << 1.0 + 1e-9 << false;
        QTest::newRow("zooming in twice") << 1.25 * 1.25 << 1.5625 << true;
        QTest::newRow("different") << 0.25 << 0.26 << false;
    }

    void fuzzyEqual()
    {
        QFETCH(double, a);
        QFETCH(double, b);
        QFETCH(bool, equal);
        QCOMPARE(ZoomMath::fuzzyEqual(a, b), equal);
    }

    void anchorOnSheet_data()
    {
        QTest::addColumn<QRectF>("sheet");
        QTest::addColumn<QPointF>("anchor");
        QTest::addColumn<double>("fx");
        QTest::addColumn<double>("fy");
        QTest::newRow("inside") << QRectF(100, 50, 400, 200) << QPointF(200, 100) << 0.25 << 0.25;
        QTest::newRow("clamped") << QRectF(100, 50, 400, 200) << QPointF(0, 900) << 0.0 << 1.0;
        QTest::newRow("empty sheet") << QRectF(100, 50, 0, -5) << QPointF(3, 4) << 0.5 << 0.5;
        QTest::newRow("not a number") << QRectF(0, 0, 10, 10) << QPointF(std::nan(""), 5) << 0.5 << 0.5;
    }

    void anchorOnSheet()
    {
        QFETCH(QRectF, sheet);
        QFETCH(QPointF, anchor);
        QFETCH(double, fx);
        QFETCH(double, fy);
        const ZoomMath::Anchor a = ZoomMath::anchorOnSheet(sheet, anchor);
        QCOMPARE(a.fx, fx);
        QCOMPARE(a.fy, fy);
    }

    // The page point under the pointer stays under it, to within a pixel,
    // through a run of zooms in and out.
    void pointStaysUnderAnchor_data()
    {
        QTest::addColumn<QPoint>("scroll");
        QTest::addColumn<QPointF>("anchor");
        QTest::addColumn<QVector<double>>("zooms");
        QTest::newRow("wheel in and out at the sheet centre line")
            << QPoint(0, 900) << QPointF(400, 240)
            << QVector<double>{ 1.25, 1.5625, 1.953125, 1.5625, 1.25 };
        QTest::newRow("pinch to the limit and back")
            << QPoint(0, 1200) << QPointF(520, 410) << QVector<double>{ 1.7, 2.9, 4.0, 2.5, 1.6 };
        QTest::newRow("zoomed page scrolled sideways")
            << QPoint(0, 2000) << QPointF(640, 120) << QVector<double>{ 2.0, 3.0, 2.2, 3.7 };
    }

    void pointStaysUnderAnchor()
    {
        QFETCH(QPoint, scroll);
        QFETCH(QPointF, anchor);
        QFETCH(QVector<double>, zooms);
        Layout layout;
        layout.setScroll(scroll);
        const int page = layout.pageAtContentY(layout.v + anchor.y());
        QVERIFY(page >= 0);
        for (double z : zooms) {
            // The page point under the anchor, in page fractions, before this step.
            const QRectF r0 = layout.pageRect(page);
            const QPointF f0((anchor.x() - r0.left()) / r0.width(),
                             (anchor.y() - r0.top()) / r0.height());
            QVERIFY(f0.x() > 0 && f0.x() < 1 && f0.y() > 0 && f0.y() < 1);
            layout.zoomAbout(z, anchor);
            QCOMPARE(layout.zoom, z);
            const QRectF r = layout.pageRect(page);
            const QPointF under = r.topLeft() + QPointF(f0.x() * r.width(), f0.y() * r.height());
            QVERIFY2(std::abs(under.x() - anchor.x()) <= 1 && std::abs(under.y() - anchor.y()) <= 1,
                     qPrintable(QStringLiteral("zoom %1: (%2, %3)").arg(z).arg(under.x()).arg(under.y())));
        }
    }
};

QTEST_MAIN(TestGlide)
#include "tst_glide.moc"

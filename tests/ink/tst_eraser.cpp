#include "ink/eraser.h"

#include <QtTest>

#include <cmath>

// The cutting eraser on real stroke data: what a disc removes, what stays as
// separate strokes, the sweep and its jump guard, and the one undo snapshot
// per gesture.

using namespace InkErase;

namespace {

// Two A4-ish sheets stacked in the viewport with a gap between them.
const QRectF kSheet0(100, 50, 400, 600);
const QRectF kSheet1(100, 700, 400, 600);
constexpr double kThin = 0.005; // 400 px * 0.005 * 0.5 * 1.8 = 1.8 px of reach

Stroke line(const QVector<QPointF> &fractions, double width = kThin)
{
    Stroke s;
    s.points = fractions;
    s.width = width;
    s.color = QColor(10, 20, 30);
    s.updateBounds();
    return s;
}

// Viewport point of a page-0 fraction.
QPointF at(double fx, double fy)
{
    return QPointF(kSheet0.left() + fx * kSheet0.width(), kSheet0.top() + fy * kSheet0.height());
}

double inkLength(const InkPages &ink)
{
    double total = 0;
    for (const QVector<Stroke> &page : ink) {
        for (const Stroke &s : page) {
            for (int i = 1; i < s.points.size(); ++i) {
                const QPointF d = s.points.at(i) - s.points.at(i - 1);
                total += std::hypot(d.x() * kSheet0.width(), d.y() * kSheet0.height());
            }
        }
    }
    return total;
}

struct Canvas
{
    InkPages ink;
    QVector<InkPages> undo;
    QStringList log;
    int changes = 0;
    QPointF hover;
    QRectF dirty;

    EraseTarget target()
    {
        EraseTarget t;
        t.ink = &ink;
        t.pageAt = [](QPointF p) {
            if (kSheet0.contains(p))
                return 0;
            return kSheet1.contains(p) ? 1 : -1;
        };
        t.pageRect = [](int page) { return page == 0 ? kSheet0 : page == 1 ? kSheet1 : QRectF(); };
        t.beforeFirstChange = [this] { undo.append(ink); };
        t.changed = [this](QPointF centre, QRectF area) {
            ++changes;
            hover = centre;
            dirty = dirty.united(area);
        };
        t.log = [this](const QString &line) { log.append(line); };
        return t;
    }
};

} // namespace

class TestEraser : public QObject
{
    Q_OBJECT
private slots:
    void snapRadius_data()
    {
        QTest::addColumn<double>("requested");
        QTest::addColumn<double>("step");
        QTest::newRow("10") << 10.0 << 14.0;
        QTest::newRow("20 ties to smaller") << 20.0 << 14.0;
        QTest::newRow("35 ties to smaller") << 35.0 << 26.0;
        QTest::newRow("60") << 60.0 << 44.0;
        QTest::newRow("26") << 26.0 << 26.0;
        QTest::newRow("not a number") << std::nan("") << 14.0;
        QTest::newRow("negative") << -5.0 << 14.0;
    }

    void snapRadius()
    {
        QFETCH(double, requested);
        QFETCH(double, step);
        QCOMPARE(InkErase::snapRadius(requested), step);
        QCOMPARE(kDefaultRadius, 14.0);
    }

    void fingerRadius_data()
    {
        QTest::addColumn<QVector<double>>("sizes");
        QTest::addColumn<double>("selected");
        QTest::addColumn<double>("radius");
        QTest::newRow("no contacts") << QVector<double>{} << 14.0 << 0.0;
        QTest::newRow("one without size") << QVector<double>{ 30, 0 } << 14.0 << 0.0;
        QTest::newRow("not a number") << QVector<double>{ std::nan("") } << 14.0 << 0.0;
        QTest::newRow("small finger keeps the step") << QVector<double>{ 12 } << 26.0 << 26.0;
        QTest::newRow("large contact grows") << QVector<double>{ 20, 100 } << 14.0 << 54.0;
        QTest::newRow("ceiling 88") << QVector<double>{ 400 } << 44.0 << 88.0;
    }

    void fingerRadius()
    {
        QFETCH(QVector<double>, sizes);
        QFETCH(double, selected);
        QFETCH(double, radius);
        QCOMPARE(InkErase::fingerRadius(sizes, selected), radius);
    }

    void effectiveRadius()
    {
        QCOMPARE(InkErase::effectiveRadius(60, 30, 14), 60.0);
        QCOMPARE(InkErase::effectiveRadius(0, 30, 14), 30.0);
        QCOMPARE(InkErase::effectiveRadius(0, 0, 26), 26.0);
    }

    void cutInTheMiddleMakesTwo()
    {
        Canvas c;
        c.ink[0] = { line({ { 0.1, 0.5 }, { 0.9, 0.5 } }) };
        EraseGesture g;
        QVERIFY(eraseAt(c.target(), &g, 0, at(0.5, 0.5), 14));
        const QVector<Stroke> page = c.ink.value(0);
        QCOMPARE(page.size(), 2);
        const double reach = (14 + 1.8) / 400; // disc radius grown by the half width, in fractions
        QCOMPARE(page.at(0).points.first(), QPointF(0.1, 0.5));
        QVERIFY(std::abs(page.at(0).points.last().x() - (0.5 - reach)) < 1e-9);
        QVERIFY(std::abs(page.at(1).points.first().x() - (0.5 + reach)) < 1e-9);
        QCOMPARE(page.at(1).points.last(), QPointF(0.9, 0.5));
        for (const Stroke &s : page) {
            QCOMPARE(s.color, QColor(10, 20, 30));
            QCOMPARE(s.width, kThin);
            QVERIFY(!s.hasFactors());
            Stroke fresh = s;
            fresh.updateBounds();
            QCOMPARE(s.bounds, fresh.bounds);
        }
        QCOMPARE(c.log.last(), QStringLiteral("cut page=0 strokes 1 -> 2"));
        QCOMPARE(c.hover, at(0.5, 0.5));
        QCOMPARE(c.dirty, QRectF(at(0.5, 0.5) - QPointF(18, 18), QSizeF(36, 36)));
        // One snapshot, holding the single uncut line.
        QCOMPARE(c.undo.size(), 1);
        QCOMPARE(strokeCount(c.undo.first()), 1);
        QCOMPARE(c.undo.first().value(0).first().points.size(), 2);
    }

    // Every sweep starts where the previous one ended, so the same disc cuts
    // twice; the pieces ending on its edge must survive the second pass.
    void sameDiscTwiceKeepsBothSides_data()
    {
        QTest::addColumn<double>("radius");
        for (double r : kEraserSteps)
            QTest::newRow(qPrintable(QString::number(r))) << r;
    }

    void sameDiscTwiceKeepsBothSides()
    {
        QFETCH(double, radius);
        for (int k = 0; k < 200; ++k) {
            const QPointF centre = at(0.4, 0.5) + QPointF(-radius + k * radius / 100.0 + 0.013, k * 0.37);
            Canvas c;
            c.ink[0] = { line({ { 0.4, 0.1 }, { 0.4, 0.9 } }) };
            EraseGesture g;
            QVERIFY(eraseAt(c.target(), &g, 0, centre, radius));
            QCOMPARE(c.ink.value(0).size(), 2);
            eraseAt(c.target(), &g, 0, centre, radius);
            QVERIFY2(c.ink.value(0).size() == 2, qPrintable(QStringLiteral("centre x %1").arg(centre.x())));
            QVERIFY(inkLength(c.ink) > 0.8 * 600 - 2 * radius - 4);
        }
    }

    void cutBetweenStoredPoints()
    {
        Canvas c;
        c.ink[0] = { line({ { 0.1, 0.5 }, { 0.5, 0.5 }, { 0.9, 0.5 } }) };
        EraseGesture g;
        QVERIFY(eraseAt(c.target(), &g, 0, at(0.3, 0.5), 14));
        const QVector<Stroke> page = c.ink.value(0);
        QCOMPARE(page.size(), 2);
        QCOMPARE(page.at(0).points.size(), 2);
        QCOMPARE(page.at(1).points.size(), 3);
        QCOMPARE(page.at(1).points.at(1), QPointF(0.5, 0.5));
    }

    void cutKeepsFactorsParallel_data()
    {
        QTest::addColumn<QVector<double>>("factors");
        QTest::addColumn<bool>("kept");
        QTest::newRow("parallel") << QVector<double>{ 1.0, 2.0 } << true;
        QTest::newRow("wrong length") << QVector<double>{ 1.0, 2.0, 3.0 } << false;
    }

    void cutKeepsFactorsParallel()
    {
        QFETCH(QVector<double>, factors);
        QFETCH(bool, kept);
        Canvas c;
        Stroke s = line({ { 0.0, 0.5 }, { 1.0, 0.5 } }, 0.0);
        s.widthFactors = factors;
        c.ink[0] = { s };
        EraseGesture g;
        QVERIFY(eraseAt(c.target(), &g, 0, at(0.5, 0.5), 40));
        const QVector<Stroke> page = c.ink.value(0);
        QCOMPARE(page.size(), 2);
        for (const Stroke &piece : page) {
            QCOMPARE(piece.hasFactors(), kept);
            QVERIFY(piece.widthFactors.isEmpty() || piece.hasFactors());
        }
        if (kept) {
            // The cut points sit 40 px either side of the middle: x = 0.4 and 0.6.
            QVERIFY(std::abs(page.at(0).widthFactors.last() - 1.4) < 1e-9);
            QVERIFY(std::abs(page.at(1).widthFactors.first() - 1.6) < 1e-9);
            QCOMPARE(page.at(1).widthFactors.last(), 2.0);
        }
    }

    void dotRemovedWithinGrownDisc_data()
    {
        QTest::addColumn<double>("distance");
        QTest::addColumn<bool>("removed");
        // width 0.01 on 400 px: half width 2 px, times 1.8 = 3.6; disc 14 -> reach 17.6.
        QTest::newRow("inside the grown disc") << 17.0 << true;
        QTest::newRow("just outside") << 18.0 << false;
        QTest::newRow("centre") << 0.0 << true;
    }

    void dotRemovedWithinGrownDisc()
    {
        QFETCH(double, distance);
        QFETCH(bool, removed);
        Canvas c;
        Stroke dot = line({ { 0.5, 0.5 } }, 0.01);
        QVERIFY(dot.bounds.isNull());
        c.ink[0] = { dot, line({ { 0.1, 0.1 }, { 0.2, 0.1 } }) };
        EraseGesture g;
        QCOMPARE(eraseAt(c.target(), &g, 0, at(0.5, 0.5) + QPointF(distance, 0), 14), removed);
        QCOMPARE(c.ink.value(0).size(), removed ? 1 : 2);
        QCOMPARE(c.undo.size(), removed ? 1 : 0);
    }

    void lastStrokeRemovesThePage()
    {
        Canvas c;
        c.ink[0] = { line({ { 0.5, 0.5 }, { 0.52, 0.5 } }) };
        c.ink[1] = { line({ { 0.5, 0.5 }, { 0.6, 0.5 } }) };
        EraseGesture g;
        QVERIFY(eraseAt(c.target(), &g, 0, at(0.51, 0.5), 26));
        QVERIFY(!c.ink.contains(0));
        QCOMPARE(c.ink.size(), 1);
    }

    void missChangesNothing()
    {
        Canvas c;
        c.ink[0] = { line({ { 0.1, 0.5 }, { 0.9, 0.5 } }) };
        const InkPages before = c.ink;
        EraseGesture g;
        QVERIFY(!eraseAt(c.target(), &g, 0, at(0.5, 0.6), 14));
        QVERIFY(!sweepErase(c.target(), &g, 0, at(0.1, 0.8), at(0.15, 0.8), 44));
        QVERIFY(!g.changed);
        QVERIFY(c.undo.isEmpty());
        QCOMPARE(c.changes, 0);
        QCOMPARE(c.ink.value(0).first().points, before.value(0).first().points);
    }

    void sweepAndJumpGuard_data()
    {
        QTest::addColumn<QPointF>("from");
        QTest::addColumn<QPointF>("to");
        QTest::addColumn<bool>("cut");
        QTest::addColumn<QString>("verdict");
        // A vertical line at x = 300 (viewport); a disc of 14 px.
        QTest::newRow("short sweep across") << QPointF(280, 350) << QPointF(318, 350) << true
                                            << QStringLiteral("ok");
        QTest::newRow("long jump across, far end") << QPointF(150, 350) << QPointF(360, 350) << false
                                                   << QStringLiteral("JUMP");
        QTest::newRow("long jump ending near the line")
            << QPointF(150, 350) << QPointF(330, 350) << true << QStringLiteral("JUMP");
    }

    void sweepAndJumpGuard()
    {
        QFETCH(QPointF, from);
        QFETCH(QPointF, to);
        QFETCH(bool, cut);
        QFETCH(QString, verdict);
        Canvas c;
        c.ink[0] = { line({ { 0.5, 0.1 }, { 0.5, 0.9 } }) };
        EraseGesture g;
        QCOMPARE(sweepErase(c.target(), &g, 0, from, to, 14), cut);
        QCOMPARE(c.ink.value(0).size(), cut ? 2 : 1);
        QVERIFY(c.log.first().startsWith(QStringLiteral("sweep (%1,%2)->").arg(from.x(), 0, 'f', 1).arg(from.y(), 0, 'f', 1)));
        QVERIFY(c.log.first().endsWith(verdict));
    }

    void oneSnapshotPerGesture()
    {
        Canvas c;
        c.ink[0] = { line({ { 0.2, 0.1 }, { 0.2, 0.9 } }), line({ { 0.4, 0.1 }, { 0.4, 0.9 } }),
                     line({ { 0.6, 0.1 }, { 0.6, 0.9 } }) };
        const InkPages before = c.ink;
        EraseGesture g;
        QPointF last = at(0.1, 0.5);
        for (double x = 0.13; x <= 0.7; x += 0.03) {
            sweepErase(c.target(), &g, 0, last, at(x, 0.5), 14);
            last = at(x, 0.5);
        }
        QCOMPARE(strokeCount(c.ink), 6);
        QVERIFY(c.changes >= 3);
        // Every cut area is repainted, not only the last one.
        for (double x : { 0.2, 0.4, 0.6 })
            QVERIFY(c.dirty.contains(at(x, 0.5)));
        QCOMPARE(c.undo.size(), 1);
        QCOMPARE(strokeCount(c.undo.first()), 3);
        for (int i = 0; i < 3; ++i)
            QCOMPARE(c.undo.first().value(0).at(i).points, before.value(0).at(i).points);

        // The next gesture takes its own snapshot of the state after the first.
        EraseGesture next;
        QVERIFY(eraseAt(c.target(), &next, 0, at(0.2, 0.2), 14));
        QCOMPARE(c.undo.size(), 2);
        QCOMPARE(strokeCount(c.undo.last()), 6);
    }

    void biggerStepRemovesMore()
    {
        QVector<double> remaining;
        for (double r : kEraserSteps) {
            Canvas c;
            c.ink[0] = { line({ { 0.1, 0.3 }, { 0.9, 0.3 } }), line({ { 0.1, 0.36 }, { 0.9, 0.36 } }),
                         line({ { 0.3, 0.1 }, { 0.3, 0.9 } }) };
            EraseGesture g;
            sweepErase(c.target(), &g, 0, at(0.2, 0.33), at(0.28, 0.33), r);
            remaining.append(inkLength(c.ink));
        }
        QVERIFY(remaining.at(0) > remaining.at(1));
        QVERIFY(remaining.at(1) > remaining.at(2));
    }

    void offPageUsesTheHint_data()
    {
        QTest::addColumn<int>("hint");
        QTest::addColumn<bool>("cut");
        QTest::newRow("hint page 0") << 0 << true;
        QTest::newRow("no hint") << -1 << false;
    }

    void offPageUsesTheHint()
    {
        QFETCH(int, hint);
        QFETCH(bool, cut);
        Canvas c;
        // Near the bottom edge of page 0 (viewport y 644); the sweep runs in the gap.
        c.ink[0] = { line({ { 0.1, 0.99 }, { 0.9, 0.99 } }) };
        EraseGesture g;
        QCOMPARE(sweepErase(c.target(), &g, hint, QPointF(300, 662), QPointF(300, 666), 26), cut);
        QCOMPARE(c.ink.value(0).size(), cut ? 2 : 1);
    }

    // Strokes out of reach are not rebuilt: their point lists stay shared.
    void untouchedStrokesStayShared()
    {
        Canvas c;
        QVector<Stroke> page;
        for (int i = 0; i < 2000; ++i) {
            const double y = 0.05 + 0.9 * (i % 100) / 100.0;
            const double x = 0.05 + 0.4 * (i / 100) / 20.0;
            page.append(line({ { x, y }, { x + 0.01, y + 0.005 } }));
        }
        page.append(line({ { 0.7, 0.5 }, { 0.9, 0.5 } }));
        c.ink[0] = page;
        const QVector<Stroke> original = c.ink.value(0);
        EraseGesture g;
        QVERIFY(eraseAt(c.target(), &g, 0, at(0.8, 0.5), 14));
        const QVector<Stroke> after = c.ink.value(0);
        QCOMPARE(after.size(), 2002);
        for (int i = 0; i < 2000; ++i)
            QCOMPARE(after.at(i).points.constData(), original.at(i).points.constData());
    }

    void nullBoundsAreExaminedInFull()
    {
        Canvas c;
        Stroke s;
        s.points = { { 0.1, 0.5 }, { 0.9, 0.5 } };
        s.width = kThin;
        QVERIFY(s.bounds.isNull()); // imported without bounds
        c.ink[0] = { s };
        EraseGesture g;
        QVERIFY(eraseAt(c.target(), &g, 0, at(0.5, 0.5), 14));
        QCOMPARE(c.ink.value(0).size(), 2);
        QVERIFY(!c.ink.value(0).first().bounds.isNull());
    }

    void badInput_data()
    {
        QTest::addColumn<int>("page");
        QTest::addColumn<QPointF>("centre");
        QTest::addColumn<double>("radius");
        QTest::addColumn<bool>("damagedStroke");
        QTest::newRow("page without sheet") << 5 << at(0.5, 0.5) << 14.0 << false;
        QTest::newRow("negative page") << -1 << at(0.5, 0.5) << 14.0 << false;
        QTest::newRow("centre not a number") << 0 << QPointF(std::nan(""), 300) << 14.0 << false;
        QTest::newRow("radius not a number") << 0 << at(0.5, 0.5) << std::nan("") << false;
        QTest::newRow("stroke with a point not a number") << 0 << at(0.5, 0.5) << 44.0 << true;
    }

    void badInput()
    {
        QFETCH(int, page);
        QFETCH(QPointF, centre);
        QFETCH(double, radius);
        QFETCH(bool, damagedStroke);
        Canvas c;
        Stroke s = line({ { 0.4, 0.5 }, { 0.6, 0.5 } });
        if (damagedStroke) {
            s.points.insert(1, QPointF(std::nan(""), 0.5));
            s.bounds = QRectF(); // examined in full
        }
        c.ink[0] = { s };
        c.ink[5] = { s };
        EraseGesture g;
        QVERIFY(!eraseAt(c.target(), &g, page, centre, radius));
        if (page == 0)
            QVERIFY(!sweepErase(c.target(), &g, page, centre, centre + QPointF(3, 0), radius));
        QCOMPARE(strokeCount(c.ink), 2);
        QVERIFY(c.undo.isEmpty());

        QVector<Stroke> out;
        QVERIFY(!cutStrokes({ s }, QPointF(0.5, 0.5), QSizeF(0, 600), 14, &out));
        QVERIFY(!cutStrokes({ s }, QPointF(0.5, 0.5), QSizeF(400, -1), 14, &out));
        QVERIFY(out.isEmpty());
    }
};

QTEST_MAIN(TestEraser)
#include "tst_eraser.moc"

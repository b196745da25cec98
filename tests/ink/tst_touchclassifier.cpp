#include "ink/touchclassifier.h"

#include <QtTest>

#include <cmath>

// Frames of touch contacts as a classroom display delivers them: fingers,
// palms, hands and stray contacts, with and without contact sizes. Each row
// replays a sequence of frames through one detector.

using namespace TouchInput;

namespace {

struct Contact
{
    double x = 0;
    double y = 0;
    double size = 0; // contact diameter; 0 = the device reports none
    bool operator==(const Contact &o) const { return x == o.x && y == o.y && size == o.size; }
};
using Frame = QVector<Contact>;
using Frames = QVector<Frame>;

constexpr double kFinger = 10;

Frame repeat(const Frame &f, int n, Frames *into)
{
    for (int i = 0; i < n; ++i)
        into->append(f);
    return f;
}

TouchClass classify(const Frame &frame, PalmState &state, PalmSwitch sw)
{
    QVector<QPointF> points;
    QVector<double> sizes;
    for (const Contact &c : frame) {
        points.append(QPointF(c.x, c.y));
        sizes.append(c.size);
    }
    return classifyTouch(points, sizes, state, sw);
}

// A hand resting flat: five contacts within a few centimetres, no sizes.
Frame hand(double x, double y)
{
    return { { x, y }, { x + 40, y - 20 }, { x + 80, y - 25 }, { x + 115, y - 10 }, { x + 30, y + 60 } };
}

} // namespace

Q_DECLARE_METATYPE(Frames)
Q_DECLARE_METATYPE(PalmSwitch)

class TestTouchClassifier : public QObject
{
    Q_OBJECT
private slots:
    void frames_data()
    {
        QTest::addColumn<PalmSwitch>("palmSwitch");
        QTest::addColumn<Frames>("frames");
        QTest::addColumn<QVector<int>>("kinds");
        QTest::addColumn<QVector<bool>>("writes");
        QTest::addColumn<QPointF>("lastPoint");

        const Frame finger{ { 200, 200, kFinger } };
        const Frame palm{ { 300, 300, 60 }, { 340, 320, 70 } };

        QTest::newRow("one finger writes")
            << PalmSwitch::On << Frames{ finger } << QVector<int>{ 1 } << QVector<bool>{ true }
            << QPointF(200, 200);
        QTest::newRow("one huge contact writes, uncalibrated")
            << PalmSwitch::On << Frames{ { { 300, 310, 200 } } } << QVector<int>{ 1 }
            << QVector<bool>{ true } << QPointF(300, 310);
        QTest::newRow("one huge contact writes, calibrated")
            << PalmSwitch::On << Frames{ finger, finger, { { 300, 310, 200 } } }
            << QVector<int>{ 1, 1, 1 } << QVector<bool>{ true, true, true } << QPointF(300, 310);
        QTest::newRow("one finger without size writes")
            << PalmSwitch::Off << Frames{ { { 90, 80, 0 } } } << QVector<int>{ 1 }
            << QVector<bool>{ true } << QPointF(90, 80);
        QTest::newRow("palm waits one frame, then erases")
            << PalmSwitch::On << Frames{ finger, finger, palm, palm, palm }
            << QVector<int>{ 1, 1, 1, 3, 3 } << QVector<bool>{ true, true, false, false, false }
            << QPointF();
        QTest::newRow("palm and a writing finger write at the finger")
            << PalmSwitch::On
            << Frames{ finger, palm + Frame{ { 600, 100, kFinger } }, palm + Frame{ { 605, 104, kFinger } } }
            << QVector<int>{ 1, 1, 1 } << QVector<bool>{ true, true, true } << QPointF(605, 104);
        QTest::newRow("resting palm with the switch off does nothing")
            << PalmSwitch::Off << Frames{ finger, palm, palm, palm, palm }
            << QVector<int>{ 1, 1, 1, 1, 1 } << QVector<bool>{ true, false, false, false, false }
            << QPointF();
        QTest::newRow("resting hand without sizes, switch off, does nothing")
            << PalmSwitch::Off << Frames{ hand(300, 300), hand(301, 300), hand(302, 301) }
            << QVector<int>{ 1, 1, 1 } << QVector<bool>{ false, false, false } << QPointF();
        QTest::newRow("resting hand without sizes, switch on, waits then erases")
            << PalmSwitch::On << Frames{ hand(300, 300), hand(301, 300), hand(302, 301) }
            << QVector<int>{ 1, 3, 3 } << QVector<bool>{ false, false, false } << QPointF();
        QTest::newRow("two separated fingers pinch")
            << PalmSwitch::On << Frames{ { { 100, 100 }, { 400, 120 } } } << QVector<int>{ 2 }
            << QVector<bool>{ false } << QPointF();
        QTest::newRow("two separated sized fingers pinch")
            << PalmSwitch::On << Frames{ finger, { { 100, 100, 11 }, { 400, 120, 9 } } }
            << QVector<int>{ 1, 2 } << QVector<bool>{ true, false } << QPointF();
        QTest::newRow("two close fingers pinch with the switch off")
            << PalmSwitch::Off << Frames{ { { 100, 100 }, { 150, 100 } } } << QVector<int>{ 2 }
            << QVector<bool>{ false } << QPointF();
        QTest::newRow("three close fingers pinch with the switch off")
            << PalmSwitch::Off << Frames{ { { 100, 100 }, { 150, 100 }, { 120, 140 } } }
            << QVector<int>{ 2 } << QVector<bool>{ false } << QPointF();
        QTest::newRow("two close fingers with the switch on neither pinch nor write")
            << PalmSwitch::On << Frames{ { { 100, 100 }, { 150, 100 } }, { { 100, 100 }, { 150, 100 } } }
            << QVector<int>{ 1, 1 } << QVector<bool>{ false, false } << QPointF();
        QTest::newRow("hand and a separate finger write at the finger")
            << PalmSwitch::Off << Frames{ hand(300, 300) + Frame{ { 700, 500 } } } << QVector<int>{ 1 }
            << QVector<bool>{ true } << QPointF(700, 500);
        QTest::newRow("two hands pinch")
            << PalmSwitch::On << Frames{ hand(100, 300) + hand(600, 300) } << QVector<int>{ 2 }
            << QVector<bool>{ false } << QPointF();
        QTest::newRow("lifting the palm to one finger writes")
            << PalmSwitch::On << Frames{ finger, palm, palm, palm, { { 310, 305, kFinger } } }
            << QVector<int>{ 1, 1, 3, 3, 1 } << QVector<bool>{ true, false, false, false, true }
            << QPointF(310, 305);
        QTest::newRow("flickering palm frames never pinch")
            << PalmSwitch::On << Frames{ finger, palm, palm, { { 300, 300, 60 } }, palm, palm }
            << QVector<int>{ 1, 1, 3, 1, 1, 3 } << QVector<bool>{ true, false, false, true, false, false }
            << QPointF();
    }

    void frames()
    {
        QFETCH(PalmSwitch, palmSwitch);
        QFETCH(Frames, frames);
        QFETCH(QVector<int>, kinds);
        QFETCH(QVector<bool>, writes);
        QFETCH(QPointF, lastPoint);
        QCOMPARE(kinds.size(), frames.size());

        PalmState state;
        TouchClass c;
        for (int i = 0; i < frames.size(); ++i) {
            c = classify(frames.at(i), state, palmSwitch);
            QCOMPARE(int(c.kind), kinds.at(i));
            QCOMPARE(c.write, writes.at(i));
            if (c.kind == TouchKind::Palm)
                QVERIFY2(c.radius >= 14 && c.radius <= 132, qPrintable(QString::number(c.radius)));
            else
                QCOMPARE(c.radius, 0.0);
        }
        if (c.write)
            QCOMPARE(c.point, lastPoint);
    }

    void noContactsResets()
    {
        PalmState state;
        const Frame palm{ { 300, 300, 60 }, { 340, 320, 70 } };
        classify({ { 0, 0, kFinger } }, state, PalmSwitch::On);
        classify(palm, state, PalmSwitch::On);
        QCOMPARE(classify(palm, state, PalmSwitch::On).kind, TouchKind::Palm);
        const TouchClass none = classify({}, state, PalmSwitch::On);
        QCOMPARE(none.kind, TouchKind::None);
        QCOMPARE(none.radius, 0.0);
        QVERIFY(!none.write);
        QVERIFY(!state.active);
        QCOMPARE(state.frames, 0);
        QVERIFY(state.calibrated); // calibration outlives the gesture
        // The next palm waits its frame again.
        QCOMPARE(classify(palm, state, PalmSwitch::On).kind, TouchKind::Write);
        state.clearAll();
        QVERIFY(!state.calibrated);
        QCOMPARE(state.count, 0);
    }

    void palmRadius_data()
    {
        QTest::addColumn<double>("size");
        QTest::addColumn<double>("radius");
        QTest::newRow("palm") << 60.0 << 36.0;
        QTest::newRow("wide palm") << 150.0 << 81.0;
        QTest::newRow("huge contact") << 1000.0 << 132.0;
    }

    void palmRadius()
    {
        QFETCH(double, size);
        QFETCH(double, radius);
        PalmState state;
        classify({ { 0, 0, kFinger } }, state, PalmSwitch::On);
        const Frame palm{ { 300, 300, size }, { 330, 310, size } };
        classify(palm, state, PalmSwitch::On);
        QCOMPARE(classify(palm, state, PalmSwitch::On).radius, radius);
    }

    // A resting palm jitters in position and size; its ring must not pulse.
    void restingPalmKeepsItsRadius()
    {
        PalmState state;
        classify({ { 0, 0, kFinger } }, state, PalmSwitch::On);
        double first = 0;
        for (int i = 0; i < 60; ++i) {
            const double j = (i * 37 % 7) - 3;   // -3..3 px
            const double s = 80 + (i * 53 % 11) - 5; // 75..85 px
            const TouchClass c = classify({ { 300 + j, 300 - j, s }, { 340 - j, 320, s + 3 } }, state,
                                          PalmSwitch::On);
            if (i == 0)
                continue;
            QCOMPARE(c.kind, TouchKind::Palm);
            if (i == 1)
                first = c.radius;
            QCOMPARE(c.radius, first);
        }
    }

    void movingPalmAdaptsGently()
    {
        PalmState state;
        double r = smoothPalmRadius(state, 30, QPointF(0, 0));
        QCOMPARE(r, 30.0);
        for (int i = 1; i <= 40; ++i) {
            const double next = smoothPalmRadius(state, 130, QPointF(i * 60, 0));
            QVERIFY(next >= r && next - r <= 0.28 * 14 + 1e-9);
            r = next;
        }
        QVERIFY(r > 100 && r <= 130);
    }

    void smoothPalmRadiusLimits_data()
    {
        QTest::addColumn<double>("raw");
        QTest::addColumn<double>("radius");
        QTest::newRow("small") << 3.0 << 14.0;
        QTest::newRow("large") << 900.0 << 132.0;
        QTest::newRow("not a number") << std::nan("") << 14.0;
        QTest::newRow("negative") << -40.0 << 14.0;
    }

    void smoothPalmRadiusLimits()
    {
        QFETCH(double, raw);
        QFETCH(double, radius);
        PalmState state;
        QCOMPARE(smoothPalmRadius(state, raw, QPointF(10, 10)), radius);
        QCOMPARE(smoothPalmRadius(state, raw, QPointF(std::nan(""), 10)), radius);
    }

    void calibrationIsTheMedian()
    {
        PalmState state;
        for (double s : { 10.0, 12.0, 8.0, 11.0 })
            classify({ { 0, 0, s } }, state, PalmSwitch::On);
        QCOMPARE(state.count, 4);
        QCOMPARE(state.reference, 11.0); // upper median of 8, 10, 11, 12
        classify({ { 0, 0, 60 }, { 30, 0, 60 } }, state, PalmSwitch::On);
        QCOMPARE(state.count, 4); // palm sizes do not enter the ring
        for (int i = 0; i < 20; ++i)
            classify({ { 0, 0, 9 } }, state, PalmSwitch::On);
        QCOMPARE(state.count, PalmState::kRingSize);
        QCOMPARE(state.reference, 9.0);
    }

    // Entering needs 2.2 x the finger size; staying needs only 1.6 x.
    void hysteresis()
    {
        PalmState state;
        for (int i = 0; i < 10; ++i)
            classify({ { 0, 0, 10 } }, state, PalmSwitch::On);
        // 20 px fingers pinch; a pinch teaches nothing, so the median stays 10.
        const Frame medium{ { 300, 300, 20 }, { 400, 300, 20 } };
        for (int i = 0; i < 3; ++i)
            QCOMPARE(classify(medium, state, PalmSwitch::On).kind, TouchKind::Pinch);
        const Frame large{ { 300, 300, 30 }, { 330, 300, 30 } };
        classify(large, state, PalmSwitch::On);
        QCOMPARE(classify(large, state, PalmSwitch::On).kind, TouchKind::Palm);
        QCOMPARE(state.reference, 10.0);
        const Frame shrunk{ { 300, 300, 20 }, { 330, 300, 20 } };
        QCOMPARE(classify(shrunk, state, PalmSwitch::On).kind, TouchKind::Palm);
    }

    // Recorded on a board: a teacher writes with one finger, then rests the
    // hand for two seconds while the palm pad flattens to about 1.7 times a
    // finger. Frames that are no writing must not teach the finger size, or
    // the hand soon passes for a finger and writes at its edge.
    void restingHandNeverTeachesTheFingerSize()
    {
        PalmState state;
        for (int i = 0; i < 8; ++i) {
            const TouchClass c = classify({ { 100.0 + 10 * i, 100, 12 } }, state, PalmSwitch::On);
            QVERIFY(c.kind == TouchKind::Write && c.write);
        }
        QCOMPARE(state.reference, 12.0);
        Frames rest;
        repeat({ { 400, 500, 34 }, { 440, 520, 70 } }, 2, &rest);
        repeat({ { 402, 501, 20 }, { 441, 521, 66 } }, 120, &rest);
        for (int i = 0; i < rest.size(); ++i) {
            const TouchClass c = classify(rest.at(i), state, PalmSwitch::On);
            QVERIFY2(!c.write, qPrintable(QStringLiteral("frame %1 writes").arg(i)));
            if (i > 0)
                QVERIFY2(c.kind == TouchKind::Palm, qPrintable(QStringLiteral("frame %1").arg(i)));
        }
        QCOMPARE(state.reference, 12.0);
        // The hand lifts; the finger writes as before.
        classify({}, state, PalmSwitch::On);
        QVERIFY(classify({ { 200, 200, 12 } }, state, PalmSwitch::On).write);
    }

    void clusters_data()
    {
        QTest::addColumn<QVector<QPointF>>("points");
        QTest::addColumn<QVector<QVector<int>>>("clusters");
        QTest::newRow("chain links transitively")
            << QVector<QPointF>{ { 0, 0 }, { 70, 0 }, { 140, 0 } } << QVector<QVector<int>>{ { 0, 1, 2 } };
        QTest::newRow("ordered by first contact")
            << QVector<QPointF>{ { 0, 0 }, { 300, 0 }, { 50, 0 }, { 330, 10 } }
            << QVector<QVector<int>>{ { 0, 2 }, { 1, 3 } };
        QTest::newRow("72 px links") << QVector<QPointF>{ { 0, 0 }, { 72, 0 } } << QVector<QVector<int>>{ { 0, 1 } };
        QTest::newRow("beyond 72 px")
            << QVector<QPointF>{ { 0, 0 }, { 72.01, 0 } } << QVector<QVector<int>>{ { 0 }, { 1 } };
        QTest::newRow("late link joins earlier cluster")
            << QVector<QPointF>{ { 0, 0 }, { 140, 0 }, { 70, 0 } } << QVector<QVector<int>>{ { 0, 1, 2 } };
        QTest::newRow("none") << QVector<QPointF>{} << QVector<QVector<int>>{};
    }

    void clusters()
    {
        QFETCH(QVector<QPointF>, points);
        QFETCH(QVector<QVector<int>>, clusters);
        QCOMPARE(clusterContacts(points), clusters);
    }

    void activeContactsFilter()
    {
        const QVector<TouchContact> raw{
            { 1, { 10, 10 }, { 20, 30 }, ContactState::Pressed },
            { 2, { 50, 50 }, { -4, -4 }, ContactState::Moved },
            { 1, { 90, 90 }, { 20, 30 }, ContactState::Moved },        // repeated id
            { 3, { std::nan(""), 5 }, { 9, 9 }, ContactState::Moved }, // broken position
            { 4, { 70, 70 }, { std::nan(""), 12 }, ContactState::Stationary },
            { 5, { 80, 80 }, { 9, 9 }, ContactState::Released },
        };
        const ActiveContacts a = activeContacts(raw);
        QCOMPARE(a.points, (QVector<QPointF>{ { 10, 10 }, { 50, 50 }, { 70, 70 } }));
        QCOMPARE(a.sizes, (QVector<double>{ 30, 0, 12 }));
        QVERIFY(!a.allSized());
        QCOMPARE(a.mean(), QPointF(130.0 / 3, 130.0 / 3));
    }

    void palmLikeStart_data()
    {
        QTest::addColumn<QVector<double>>("sizes");
        QTest::addColumn<bool>("calibrate");
        QTest::addColumn<bool>("palmLike");
        QTest::newRow("one large contact") << QVector<double>{ 80 } << true << false;
        QTest::newRow("two large contacts") << QVector<double>{ 80, 60 } << true << true;
        QTest::newRow("two, one small") << QVector<double>{ 80, 10 } << true << false;
        QTest::newRow("two large, not calibrated") << QVector<double>{ 80, 60 } << false << false;
        QTest::newRow("two without sizes") << QVector<double>{ 0, 0 } << true << false;
        QTest::newRow("four of any size") << QVector<double>{ 0, 0, 0, 0 } << false << true;
    }

    void palmLikeStart()
    {
        QFETCH(QVector<double>, sizes);
        QFETCH(bool, calibrate);
        QFETCH(bool, palmLike);
        PalmState state;
        if (calibrate)
            classify({ { 0, 0, kFinger } }, state, PalmSwitch::Off);
        ActiveContacts a;
        for (int i = 0; i < sizes.size(); ++i) {
            a.points.append(QPointF(i * 30, 0));
            a.sizes.append(sizes.at(i));
        }
        QCOMPARE(TouchInput::palmLikeStart(a, state), palmLike);
    }

    // Frames no device should send must not crash or leave ink behind.
    void badFrames_data()
    {
        QTest::addColumn<Frames>("frames");
        QTest::addColumn<PalmSwitch>("palmSwitch");
        Frame grid40;
        for (int i = 0; i < 40; ++i)
            grid40.append({ 100.0 + (i % 8) * 30, 100.0 + (i / 8) * 30, 0 });
        Frame spread10;
        for (int i = 0; i < 10; ++i)
            spread10.append({ 100.0 + i * 100, 500, 0 });
        const double nan = std::nan("");
        QTest::newRow("40 contacts, switch on") << Frames{ grid40, grid40, grid40 } << PalmSwitch::On;
        QTest::newRow("40 contacts, switch off") << Frames{ grid40, grid40 } << PalmSwitch::Off;
        QTest::newRow("10 separate contacts") << Frames{ spread10 } << PalmSwitch::On;
        QTest::newRow("sizes not a number")
            << Frames{ { { 10, 10, nan }, { 40, 10, nan } }, { { 10, 10, nan } } } << PalmSwitch::On;
        QTest::newRow("negative sizes") << Frames{ { { 10, 10, -50 }, { 400, 10, -50 } } } << PalmSwitch::On;
        QTest::newRow("positions not a number")
            << Frames{ { { nan, 10, 60 }, { 40, nan, 60 } }, { { nan, nan, 0 } } } << PalmSwitch::On;
        QTest::newRow("infinite size") << Frames{ { { 10, 10, qInf() }, { 40, 10, qInf() } } } << PalmSwitch::On;
    }

    void badFrames()
    {
        QFETCH(Frames, frames);
        QFETCH(PalmSwitch, palmSwitch);
        PalmState state;
        for (const Frame &f : frames) {
            const TouchClass c = classify(f, state, palmSwitch);
            QVERIFY(int(c.kind) >= 0 && int(c.kind) <= 3);
            QVERIFY(std::isfinite(c.radius) && c.radius >= 0 && c.radius <= 132);
            if (c.write) // never at a position that is not a number
                QVERIFY(std::isfinite(c.point.x()) && std::isfinite(c.point.y()));
        }
        // Mismatched size lists fall back to the cluster rule.
        const TouchClass c = classifyTouch({ { 10, 10 }, { 400, 10 } }, { 80 }, state, palmSwitch);
        QCOMPARE(c.kind, TouchKind::Pinch);
    }

    // A contact that teleports far away (a ghost) moves the zoom by at most
    // 1.7x in a frame, and the canvas's zoom follows only what was applied.
    void ghostContactLimitsZoom_data()
    {
        QTest::addColumn<QPointF>("ghost");
        QTest::addColumn<bool>("grows");
        QTest::newRow("far away") << QPointF(1600, 900) << true;
        QTest::newRow("next to the other finger") << QPointF(330, 300) << false;
    }

    void ghostContactLimitsZoom()
    {
        QFETCH(QPointF, ghost);
        QFETCH(bool, grows);
        PinchState pinch;
        pinchBegin(pinch, QPointF(300, 300), QPointF(420, 300));
        QVERIFY(pinch.active);
        double zoom = 1;
        bool zoomed = false;
        for (int frame = 0; frame < 12; ++frame) {
            const PinchStep step = pinchUpdate(pinch, QPointF(300, 300), ghost);
            if (!step.zoom)
                continue;
            zoomed = true;
            QVERIFY2(step.factor <= 1.7 && step.factor >= 1 / 1.7, qPrintable(QString::number(step.factor)));
            const double old = zoom;
            zoom = std::clamp(zoom * step.factor, 0.25, 4.0);
            QVERIFY(zoom / old <= 1.7 && zoom / old >= 1 / 1.7);
            pinchZoomApplied(pinch, old, zoom);
        }
        QVERIFY(zoomed);
        QCOMPARE(zoom > 1, grows);
    }

    void jitteryRestingFingersStayStill()
    {
        PinchState pinch;
        pinchBegin(pinch, QPointF(300, 300), QPointF(520, 340));
        for (int frame = 0; frame < 300; ++frame) {
            const double j = ((frame * 7919) % 5) - 2;  // -2..2 px
            const double k = ((frame * 104729) % 3) - 1; // -1..1 px
            const PinchStep step = pinchUpdate(pinch, QPointF(300 + j, 300 - k), QPointF(520 - k, 340 + j));
            QVERIFY2(step.pan.isNull(), qPrintable(QString::number(frame)));
            QVERIFY2(!step.zoom, qPrintable(QString::number(frame)));
        }
    }

    void spreadingFingersZoomAboutTheirMiddle()
    {
        PinchState pinch;
        pinchBegin(pinch, QPointF(400, 300), QPointF(500, 300));
        double total = 1;
        for (int frame = 1; frame <= 20; ++frame) {
            const PinchStep step = pinchUpdate(pinch, QPointF(400 - frame * 5, 300), QPointF(500 + frame * 5, 300));
            QVERIFY(step.pan.isNull());
            if (step.zoom) {
                QVERIFY(step.factor > 1);
                QVERIFY(std::abs(step.anchor.x() - 450) < 1);
                total *= step.factor;
                pinchZoomApplied(pinch, 1, step.factor);
            }
        }
        // Fingers went from 100 to 300 px apart; the smoothing lags behind.
        QVERIFY2(total > 2 && total < 3, qPrintable(QString::number(total)));
    }

    void twoFingerPanFollowsTheFingers()
    {
        PinchState pinch;
        pinchBegin(pinch, QPointF(300, 300), QPointF(450, 300));
        int panned = 0;
        for (int frame = 1; frame <= 30; ++frame) {
            const PinchStep step = pinchUpdate(pinch, QPointF(300 + frame * 8, 300), QPointF(450 + frame * 8, 300));
            QVERIFY(!step.zoom);
            QCOMPARE(step.pan.y(), 0);
            QVERIFY(step.pan.x() >= 0);
            panned += step.pan.x();
        }
        QVERIFY2(panned > 200 && panned <= 240, qPrintable(QString::number(panned)));
    }

    void updateWithoutBeginMovesNothing()
    {
        PinchState pinch;
        const PinchStep first = pinchUpdate(pinch, QPointF(100, 100), QPointF(900, 700));
        QVERIFY(first.pan.isNull());
        QVERIFY(!first.zoom);
        QVERIFY(pinch.active);
        QCOMPARE(pinch.p1, QPointF(900, 700));

        const PinchStep broken = pinchUpdate(pinch, QPointF(std::nan(""), 100), QPointF(900, 700));
        QVERIFY(broken.pan.isNull());
        QVERIFY(!broken.zoom);
        QCOMPARE(pinch.p0, QPointF(100, 100));

        pinchEnd(pinch);
        QVERIFY(!pinch.active);
    }

    // Spreading on at the zoom limit must not store up scale that a reversed
    // pinch has to work off before anything happens.
    void reversingAtTheLimitZoomsOutAtOnce()
    {
        PinchState pinch;
        pinchBegin(pinch, QPointF(400, 300), QPointF(500, 300));
        double zoom = 3.5;
        double gap = 100;
        for (int frame = 0; frame < 30; ++frame) {
            gap += 10;
            const PinchStep step = pinchUpdate(pinch, QPointF(450 - gap / 2, 300), QPointF(450 + gap / 2, 300));
            if (!step.zoom)
                continue;
            const double old = zoom;
            zoom = std::clamp(zoom * step.factor, 0.25, 4.0);
            pinchZoomApplied(pinch, old, zoom);
        }
        QCOMPARE(zoom, 4.0);
        int framesUntilZoomOut = 0;
        for (int frame = 0; frame < 30 && zoom == 4.0; ++frame) {
            gap -= 10;
            ++framesUntilZoomOut;
            const PinchStep step = pinchUpdate(pinch, QPointF(450 - gap / 2, 300), QPointF(450 + gap / 2, 300));
            if (!step.zoom)
                continue;
            const double old = zoom;
            zoom = std::clamp(zoom * step.factor, 0.25, 4.0);
            pinchZoomApplied(pinch, old, zoom);
        }
        QVERIFY2(zoom < 4.0 && framesUntilZoomOut <= 3, qPrintable(QString::number(framesUntilZoomOut)));
    }

    void zoomAppliedInStep()
    {
        PinchState pinch;
        pinchBegin(pinch, QPointF(300, 300), QPointF(400, 300));
        pinch.smoothedScale = 2;
        pinch.rawScale = 2.2;
        pinchZoomApplied(pinch, 1.0, 2.0); // reached what was asked
        QCOMPARE(pinch.appliedScale, 2.0);
        QCOMPARE(pinch.rawScale, 2.2);
        pinchZoomApplied(pinch, 0, 4.0); // no zoom before: nothing to scale by
        QCOMPARE(pinch.appliedScale, 2.0);
    }
};

QTEST_MAIN(TestTouchClassifier)
#include "tst_touchclassifier.moc"

#include "ink/inkhistory.h"

#include <QtTest>

// The committed ink with its snapshot undo: the step-by-step depths the
// toolbar shows, the history limit, and that snapshots share stroke data.
namespace {

Stroke line(double y, int points = 2)
{
    Stroke s;
    for (int i = 0; i < points; ++i)
        s.points.append(QPointF(0.1 + 0.8 * i / qMax(1, points - 1), y));
    return s;
}

// Stand-in for an erase through the middle of a page's first stroke: one
// snapshot, then the stroke is replaced by its two halves.
bool eraseSplitFirst(InkHistory &h, int page)
{
    QVector<Stroke> list = h.pageStrokes(page);
    if (list.isEmpty() || list.first().points.size() < 4)
        return false;
    const Stroke whole = list.takeFirst();
    const int mid = int(whole.points.size() / 2);
    Stroke a = whole, b = whole;
    a.points = whole.points.mid(0, mid - 1);
    b.points = whole.points.mid(mid + 1);
    a.updateBounds();
    b.updateBounds();
    list.prepend(b);
    list.prepend(a);
    h.pushUndo();
    h.setPageStrokes(page, list);
    return true;
}

// Runs one operation; returns whether it reported a change.
bool run(InkHistory &h, const QString &op)
{
    if (op == QLatin1String("draw"))
        return h.commitStroke(0, line(0.5, 20));
    if (op == QLatin1String("draw2"))
        return h.commitStroke(2, line(0.3, 20));
    if (op == QLatin1String("erase"))
        return eraseSplitFirst(h, 0);
    if (op == QLatin1String("undo"))
        return h.undo();
    if (op == QLatin1String("redo"))
        return h.redo();
    if (op == QLatin1String("clear"))
        return h.clearInk();
    if (op == QLatin1String("clearPage0"))
        return h.clearPage(0);
    if (op == QLatin1String("clearPage1"))
        return h.clearPage(1);
    if (op == QLatin1String("emptyStroke"))
        return h.commitStroke(0, Stroke());
    if (op == QLatin1String("negativePage"))
        return h.commitStroke(-1, line(0.5));
    qFatal("unknown op");
    return false;
}

} // namespace

class TestInkModel : public QObject
{
    Q_OBJECT
private slots:
    void sequences_data()
    {
        // Each expected entry: strokes/undoDepth/redoDepth/changed after the op.
        QTest::addColumn<QStringList>("ops");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("draw, erase split, undo, redo, undo twice")
            << QStringList{ "draw", "erase", "undo", "redo", "undo", "undo" }
            << QStringList{ "1/1/0/1", "2/2/0/1", "1/1/1/1", "2/2/0/1", "1/1/1/1", "0/0/2/1" };
        QTest::newRow("new change after undo empties redo")
            << QStringList{ "draw", "draw", "undo", "draw", "redo" }
            << QStringList{ "1/1/0/1", "2/2/0/1", "1/1/1/1", "2/2/0/1", "2/2/0/0" };
        QTest::newRow("clear on empty ink adds no step")
            << QStringList{ "clear", "undo" } << QStringList{ "0/0/0/0", "0/0/0/0" };
        QTest::newRow("clear is one step")
            << QStringList{ "draw", "draw2", "clear", "undo", "redo" }
            << QStringList{ "1/1/0/1", "2/2/0/1", "0/3/0/1", "2/2/1/1", "0/3/0/1" };
        QTest::newRow("clear page without ink changes nothing")
            << QStringList{ "draw", "clearPage1", "clearPage0", "undo" }
            << QStringList{ "1/1/0/1", "1/1/0/0", "0/2/0/1", "1/1/1/1" };
        QTest::newRow("empty stacks")
            << QStringList{ "undo", "redo" } << QStringList{ "0/0/0/0", "0/0/0/0" };
        QTest::newRow("stroke without points or page is refused")
            << QStringList{ "emptyStroke", "negativePage" } << QStringList{ "0/0/0/0", "0/0/0/0" };
    }
    void sequences()
    {
        QFETCH(QStringList, ops);
        QFETCH(QStringList, expected);
        QCOMPARE(ops.size(), expected.size());
        InkHistory h;
        for (int i = 0; i < ops.size(); ++i) {
            const bool changed = run(h, ops[i]);
            const QString state = QStringLiteral("%1/%2/%3/%4")
                                      .arg(h.strokeCount())
                                      .arg(h.undoDepth())
                                      .arg(h.redoDepth())
                                      .arg(changed ? 1 : 0);
            QVERIFY2(state == expected[i],
                     qPrintable(QStringLiteral("after %1 (step %2): %3, expected %4")
                                    .arg(ops[i]).arg(i).arg(state, expected[i])));
        }
        // The invariant that painting and export rely on.
        for (auto it = h.ink().cbegin(); it != h.ink().cend(); ++it)
            QVERIFY(!it.value().isEmpty());
    }

    void undoRestoresExactContent()
    {
        InkHistory h;
        h.commitStroke(0, line(0.2, 10));
        const InkPages afterFirst = h.ink();
        QVERIFY(eraseSplitFirst(h, 0));
        QCOMPARE(h.pageStrokes(0).size(), 2);
        QVERIFY(h.undo());
        QCOMPARE(h.pageStrokes(0).size(), 1);
        QCOMPARE(h.pageStrokes(0).first().points, afterFirst.value(0).first().points);
        QVERIFY(!h.pageStrokes(0).first().bounds.isNull());
    }

    void hundredFirstChangeDropsOldest()
    {
        InkHistory h;
        for (int i = 0; i < InkHistory::kMaxUndo + 1; ++i)
            QVERIFY(h.commitStroke(0, line(i / 200.0)));
        QCOMPARE(h.strokeCount(), 101);
        QCOMPARE(h.undoDepth(), 100);
        // The empty starting state is gone: the oldest snapshot has one stroke.
        QCOMPARE(strokeCount(h.undoSnapshots().first()), 1);
        int undos = 0;
        while (h.undo())
            ++undos;
        QCOMPARE(undos, 100);
        QCOMPARE(h.strokeCount(), 1);
        QCOMPARE(h.redoDepth(), 100);
        while (h.redo()) {
        }
        QCOMPARE(h.undoDepth(), 100);
        QCOMPARE(h.strokeCount(), 101);
    }

    void snapshotsShareStrokeData()
    {
        InkHistory h;
        Stroke big;
        for (int i = 0; i < 10000; ++i)
            big.points.append(QPointF((i % 100) / 100.0, (i / 100) / 100.0));
        QVERIFY(h.commitStroke(0, big));
        QVERIFY(h.commitStroke(5, line(0.5)));
        const QPointF *bigData = h.ink().value(0).first().points.constData();
        const Stroke *page5List = h.ink().value(5).constData();

        for (int i = 0; i < 100; ++i)
            QVERIFY(h.commitStroke(0, line(i / 100.0)));
        QCOMPARE(h.undoDepth(), 100);

        // Every snapshot and the live ink hold the very same 10 000 points,
        // and the untouched page's list was never copied at all.
        QCOMPARE(h.ink().value(0).first().points.constData(), bigData);
        QCOMPARE(h.ink().value(5).constData(), page5List);
        for (const InkPages &snap : h.undoSnapshots()) {
            QCOMPARE(snap.value(0).first().points.constData(), bigData);
            QCOMPARE(snap.value(5).constData(), page5List);
        }
        // The page that each change touched was copied (otherwise snapshots
        // would see later strokes).
        QCOMPARE(h.undoSnapshots().first().value(0).size(), 1);
        QVERIFY(h.undoSnapshots().first().value(0).constData() != h.ink().value(0).constData());

        // Undo and redo move shared references, never stroke data.
        QVERIFY(h.undo());
        QVERIFY(h.redo());
        QCOMPARE(h.ink().value(0).first().points.constData(), bigData);
        QCOMPARE(h.redoDepth(), 0);
    }

    void eraseStandInKeepsOtherStrokesShared()
    {
        InkHistory h;
        h.commitStroke(0, line(0.2, 30));
        h.commitStroke(0, line(0.8, 30));
        const QPointF *second = h.pageStrokes(0).at(1).points.constData();
        QVERIFY(eraseSplitFirst(h, 0));
        QCOMPARE(h.strokeCount(), 3);
        QCOMPARE(h.pageStrokes(0).at(2).points.constData(), second);
        QCOMPARE(h.undoSnapshots().last().value(0).at(1).points.constData(), second);
    }

    void setPageStrokesEmptyRemovesEntry()
    {
        InkHistory h;
        h.commitStroke(3, line(0.5));
        h.setPageStrokes(3, {});
        QVERIFY(!h.ink().contains(3));
        QCOMPARE(h.strokeCount(), 0);
        QCOMPARE(h.undoDepth(), 1); // the caller's snapshot, not this call's
    }

    void replaceAllAndReset()
    {
        InkHistory h;
        h.commitStroke(0, line(0.5));
        h.commitStroke(0, line(0.6));
        QVERIFY(h.undo());
        InkPages imported;
        imported.insert(40, { line(0.1), line(0.2) });
        imported.insert(2, {});
        h.replaceAll(imported);
        QCOMPARE(h.strokeCount(), 2);
        QVERIFY(!h.ink().contains(2));
        QCOMPARE(h.undoDepth(), 0);
        QCOMPARE(h.redoDepth(), 0);

        h.commitStroke(1, line(0.3));
        h.reset();
        QCOMPARE(h.strokeCount(), 0);
        QVERIFY(h.ink().isEmpty());
        QCOMPARE(h.undoDepth(), 0);
        QVERIFY(!h.undo());
    }

    void commitComputesBounds()
    {
        InkHistory h;
        Stroke s;
        s.points = { QPointF(0.2, 0.7), QPointF(0.6, 0.1), QPointF(0.4, 0.3) };
        QVERIFY(h.commitStroke(0, s));
        QCOMPARE(h.pageStrokes(0).first().bounds, QRectF(QPointF(0.2, 0.1), QPointF(0.6, 0.7)));
        Stroke dot;
        dot.points = { QPointF(0.5, 0.5) };
        QVERIFY(h.commitStroke(0, dot));
        QVERIFY(h.pageStrokes(0).last().bounds.isNull());
    }
};

QTEST_MAIN(TestInkModel)
#include "tst_inkmodel.moc"

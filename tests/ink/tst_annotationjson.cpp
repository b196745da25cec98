#include "ink/annotationjson.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QtTest>

// The annotation object is the only form in which ink survives a save, so
// export must be exact and import must survive anything a file can hold.
namespace {

// JSON written with single quotes for readability.
QJsonObject parse(const char *text)
{
    QJsonParseError error;
    const QByteArray json = QByteArray(text).replace('\'', '"');
    const QJsonDocument doc = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError)
        qFatal("bad test JSON: %s", text);
    return doc.object();
}

QJsonObject withPages(const QJsonObject &pages)
{
    return QJsonObject{ { QStringLiteral("pages"), pages } };
}

QJsonObject onePageStroke(const QJsonObject &stroke)
{
    return withPages(QJsonObject{ { QStringLiteral("0"), QJsonArray{ stroke } } });
}

// One line per stroke: page:colour(argb) w=... n=points f=factors first=(x,y)
QString describe(const InkPages &ink)
{
    QStringList lines;
    for (auto it = ink.cbegin(); it != ink.cend(); ++it) {
        for (const Stroke &s : it.value()) {
            lines << QStringLiteral("%1:%2 w=%3 n=%4 f=%5 first=(%6,%7)")
                         .arg(it.key())
                         .arg(s.color.name(QColor::HexArgb))
                         .arg(s.width)
                         .arg(s.points.size())
                         .arg(s.widthFactors.size())
                         .arg(s.points.first().x())
                         .arg(s.points.first().y());
        }
    }
    return lines.join(QLatin1Char('|'));
}

const char *kGood = "{'c':'#102030','w':0.01,'p':[0.1,0.2,0.3,0.4]}";

} // namespace

class TestAnnotationJson : public QObject
{
    Q_OBJECT
private slots:
    void exportShape()
    {
        InkPages ink;
        Stroke a;
        a.color = QColor(0xAB, 0xCD, 0xEF, 0x40);
        a.width = 0.005;
        a.points = { QPointF(0.25, 0.5), QPointF(0.75, 1.0) };
        a.widthFactors = { 1.005, 0.995 }; // within 0.01 of 1: not written
        Stroke dot;
        dot.points = { QPointF(0.125, 0.375) };
        Stroke varying = a;
        varying.widthFactors = { 1.0, 1.5 };
        ink.insert(0, { a });
        ink.insert(7, { dot });
        ink.insert(12, { varying });

        const QJsonObject root = annotationsFromInk(ink);
        QCOMPARE(root.value(QStringLiteral("version")).toInt(-1), 1);
        const QJsonObject pages = root.value(QStringLiteral("pages")).toObject();
        QCOMPARE(pages.keys(), (QStringList{ "0", "12", "7" }));

        const QJsonObject sa = pages.value("0").toArray().first().toObject();
        QCOMPARE(sa.value("c").toString(), QStringLiteral("#abcdef"));
        QCOMPARE(sa.value("w").toDouble(), 0.005);
        QCOMPARE(sa.value("p").toArray(), (QJsonArray{ 0.25, 0.5, 0.75, 1.0 }));
        QVERIFY(!sa.contains("wf"));

        const QJsonObject sd = pages.value("7").toArray().first().toObject();
        QCOMPARE(sd.value("p").toArray(), (QJsonArray{ 0.125, 0.375 }));
        QCOMPARE(sd.value("c").toString(), QStringLiteral("#d32f2f"));

        const QJsonObject sv = pages.value("12").toArray().first().toObject();
        QCOMPARE(sv.value("wf").toArray(), (QJsonArray{ 1.0, 1.5 }));
        QCOMPARE(sv.keys(), (QStringList{ "c", "p", "w", "wf" }));

        // Factors of the wrong length are never written.
        Stroke odd = varying;
        odd.widthFactors = { 2.0 };
        QVERIFY(!strokeToJson(odd).contains("wf"));
    }

    void roundTripThroughText()
    {
        InkPages ink;
        Stroke s;
        s.color = QColor(1, 2, 254, 100);
        s.width = 0.0123456789;
        s.points = { QPointF(0.1, 0.2), QPointF(0.30000000000000004, 0.4), QPointF(1, 0) };
        s.widthFactors = { 0.8, 1.8, 1.25 };
        Stroke t;
        t.color = Qt::black;
        t.width = 0.004;
        t.points = { QPointF(0.5, 0.5) };
        ink.insert(0, { s, t });
        ink.insert(40, { t }); // beyond any real document: kept and exported

        const QByteArray text = QJsonDocument(annotationsFromInk(ink)).toJson();
        const InkPages back = inkFromAnnotations(QJsonDocument::fromJson(text).object());
        QCOMPARE(back.keys(), ink.keys());
        const Stroke r = back.value(0).first();
        QCOMPARE(r.color, QColor(1, 2, 254)); // alpha dropped
        QCOMPARE(r.width, s.width);
        QCOMPARE(r.points, s.points);
        QCOMPARE(r.widthFactors, s.widthFactors);
        QCOMPARE(r.bounds, QRectF(QPointF(0.1, 0), QPointF(1, 0.4)));
        const Stroke rt = back.value(0).at(1);
        QCOMPARE(rt.points, t.points);
        QVERIFY(rt.widthFactors.isEmpty());
        QVERIFY(rt.bounds.isNull());
        // A second export is identical to the first.
        QCOMPARE(QJsonDocument(annotationsFromInk(back)).toJson(), text);
    }

    void hostileInput_data()
    {
        QTest::addColumn<QJsonObject>("input");
        QTest::addColumn<QString>("expected");
        const QString good = QStringLiteral("0:#ff102030 w=0.01 n=2 f=0 first=(0.1,0.2)");

        QTest::newRow("empty object") << QJsonObject() << QString();
        QTest::newRow("pages is an array") << parse("{'pages':[[{'p':[0,0]}]]}") << QString();
        QTest::newRow("pages is a string") << parse("{'pages':'0'}") << QString();
        QTest::newRow("version is ignored")
            << parse("{'version':'banana','source':7,'pages':{'0':["
                     "{'c':'#102030','w':0.01,'p':[0.1,0.2,0.3,0.4]}]}}")
            << good;
        for (const char *key : { "-1", "x", "1.5", "", "1e2", "0x1", "99999999999", "-0x" })
            QTest::newRow(qPrintable(QStringLiteral("key \"%1\" skipped").arg(key)))
                << withPages(QJsonObject{ { QString::fromLatin1(key), QJsonArray{ parse(kGood) } } })
                << QString();
        QTest::newRow("key 007")
            << withPages(QJsonObject{ { "007", QJsonArray{ parse(kGood) } } })
            << QStringLiteral("7:#ff102030 w=0.01 n=2 f=0 first=(0.1,0.2)");
        QTest::newRow("later key for the same page wins")
            << parse("{'pages':{'01':[{'p':[0.5,0.5]}],'1':[{'p':[0.7,0.7]}]}}")
            << QStringLiteral("1:#ffff0000 w=0.003 n=1 f=0 first=(0.7,0.7)");
        QTest::newRow("later empty list does not erase")
            << parse("{'pages':{'01':[{'p':[0.5,0.5]}],'1':[{'p':[]}]}}")
            << QStringLiteral("1:#ffff0000 w=0.003 n=1 f=0 first=(0.5,0.5)");
        QTest::newRow("page value not an array")
            << parse("{'pages':{'0':{'p':[0,0]},'1':3,'2':null}}") << QString();
        QTest::newRow("elements that are not objects")
            << parse("{'pages':{'0':[1,'a',null,[],true,"
                     "{'c':'#102030','w':0.01,'p':[0.1,0.2,0.3,0.4]}]}}")
            << good;
        QTest::newRow("p missing, empty, one number")
            << parse("{'pages':{'0':[{'c':'#fff'},{'p':[]},{'p':[0.5]},{'p':'0,0'}]}}")
            << QString();
        QTest::newRow("odd trailing number ignored")
            << parse("{'pages':{'3':[{'p':[0.25,0.5,0.75]}]}}")
            << QStringLiteral("3:#ffff0000 w=0.003 n=1 f=0 first=(0.25,0.5)");
        QTest::newRow("non-numbers in p read as 0")
            << parse("{'pages':{'0':[{'p':['a',null,true,{},0.5,[1]]}]}}")
            << QStringLiteral("0:#ffff0000 w=0.003 n=3 f=0 first=(0,0)");
        QTest::newRow("points outside the page kept as they are")
            << parse("{'pages':{'0':[{'p':[-5,1e308,2,3]}]}}")
            << QStringLiteral("0:#ffff0000 w=0.003 n=2 f=0 first=(-5,1e+308)");
        QTest::newRow("NaN and infinity in p read as 0")
            << onePageStroke({ { "p", QJsonArray{ qQNaN(), qInf(), -qInf(), 0.5 } } })
            << QStringLiteral("0:#ffff0000 w=0.003 n=2 f=0 first=(0,0)");
        QTest::newRow("colour missing is red")
            << parse("{'pages':{'0':[{'w':0.01,'p':[0.1,0.2]}]}}")
            << QStringLiteral("0:#ffff0000 w=0.01 n=1 f=0 first=(0.1,0.2)");
        for (const char *c : { "#12", "#1234", "#fff000fff", "#GGGGGG", "", "nosuchcolour", "#" })
            QTest::newRow(qPrintable(QStringLiteral("colour \"%1\" is red").arg(c)))
                << onePageStroke({ { "c", QString::fromLatin1(c) }, { "p", QJsonArray{ 0, 0 } } })
                << QStringLiteral("0:#ffff0000 w=0.003 n=1 f=0 first=(0,0)");
        QTest::newRow("colour not a string is red")
            << parse("{'pages':{'0':[{'c':16711680,'p':[0,0]}]}}")
            << QStringLiteral("0:#ffff0000 w=0.003 n=1 f=0 first=(0,0)");
        QTest::newRow("colour forms")
            << parse("{'pages':{'0':[{'c':'#abc','p':[0,0]},{'c':'#80102030','p':[0,0]},"
                     "{'c':'Blue','p':[0,0]}]}}")
            << QStringLiteral("0:#ffaabbcc w=0.003 n=1 f=0 first=(0,0)|"
                              "0:#80102030 w=0.003 n=1 f=0 first=(0,0)|"
                              "0:#ff0000ff w=0.003 n=1 f=0 first=(0,0)");
        QTest::newRow("width not a number")
            << parse("{'pages':{'0':[{'w':'0.5','p':[0,0]},{'w':null,'p':[0,0]},"
                     "{'w':[1],'p':[0,0]}]}}")
            << QStringLiteral("0:#ffff0000 w=0.003 n=1 f=0 first=(0,0)|"
                              "0:#ffff0000 w=0.003 n=1 f=0 first=(0,0)|"
                              "0:#ffff0000 w=0.003 n=1 f=0 first=(0,0)");
        QTest::newRow("width NaN or infinite")
            << withPages({ { "0", QJsonArray{ QJsonObject{ { "w", qQNaN() }, { "p", QJsonArray{ 0, 0 } } },
                                               QJsonObject{ { "w", qInf() }, { "p", QJsonArray{ 0, 0 } } } } } })
            << QStringLiteral("0:#ffff0000 w=0.003 n=1 f=0 first=(0,0)|"
                              "0:#ffff0000 w=0.003 n=1 f=0 first=(0,0)");
        QTest::newRow("huge and negative widths kept")
            << parse("{'pages':{'0':[{'w':1e300,'p':[0,0]},{'w':-2,'p':[0,0]}]}}")
            << QStringLiteral("0:#ffff0000 w=1e+300 n=1 f=0 first=(0,0)|"
                              "0:#ffff0000 w=-2 n=1 f=0 first=(0,0)");
        QTest::newRow("wf of the wrong length ignored")
            << parse("{'pages':{'0':[{'p':[0,0,1,1],'wf':[2]},{'p':[0,0,1,1],'wf':[2,2,2]}]}}")
            << QStringLiteral("0:#ffff0000 w=0.003 n=2 f=0 first=(0,0)|"
                              "0:#ffff0000 w=0.003 n=2 f=0 first=(0,0)");
        QTest::newRow("wf not an array ignored")
            << parse("{'pages':{'0':[{'p':[0,0,1,1],'wf':{'0':2,'1':2}}]}}")
            << QStringLiteral("0:#ffff0000 w=0.003 n=2 f=0 first=(0,0)");
        QTest::newRow("wf parallel")
            << parse("{'pages':{'0':[{'p':[0,0,1,1],'wf':[1.5,'x']}]}}")
            << QStringLiteral("0:#ffff0000 w=0.003 n=2 f=2 first=(0,0)");
        QTest::newRow("page 40 of a short document kept")
            << parse("{'pages':{'40':[{'p':[0.5,0.5,0.6,0.6]}]}}")
            << QStringLiteral("40:#ffff0000 w=0.003 n=2 f=0 first=(0.5,0.5)");
    }
    void hostileInput()
    {
        QFETCH(QJsonObject, input);
        QFETCH(QString, expected);
        const InkPages ink = inkFromAnnotations(input);
        QCOMPARE(describe(ink), expected);
        for (auto it = ink.cbegin(); it != ink.cend(); ++it) {
            QVERIFY(it.key() >= 0);
            QVERIFY(!it.value().isEmpty());
            for (const Stroke &s : it.value()) {
                QVERIFY(s.widthFactors.isEmpty() || s.widthFactors.size() == s.points.size());
                QCOMPARE(s.bounds.isNull(), s.points.size() < 2);
            }
        }
        // Whatever came in, the result exports and re-imports unchanged.
        const QJsonObject again = annotationsFromInk(ink);
        const QJsonObject text = QJsonDocument::fromJson(QJsonDocument(again).toJson()).object();
        QCOMPARE(annotationsFromInk(inkFromAnnotations(text)), again);
    }

    void nonFiniteFactorsReadAsOne()
    {
        const InkPages ink = inkFromAnnotations(onePageStroke(
            { { "p", QJsonArray{ 0, 0, 1, 1, 0.5, 0.5 } }, { "wf", QJsonArray{ qQNaN(), qInf(), 1.5 } } }));
        QCOMPARE(ink.value(0).first().widthFactors, (QVector<double>{ 1.0, 1.0, 1.5 }));
    }

    void millionPointStroke()
    {
        constexpr int kPoints = 1000000;
        QJsonArray p;
        for (int i = 0; i < kPoints; ++i) {
            p.append((i % 1000) / 1000.0);
            p.append((i / 1000) / 1000.0);
        }
        p.append(0.5); // odd trailing number
        const InkPages ink = inkFromAnnotations(onePageStroke({ { "p", p } }));
        QCOMPARE(ink.value(0).size(), 1);
        const Stroke s = ink.value(0).first();
        QCOMPARE(s.points.size(), kPoints);
        QCOMPARE(s.points.last(), QPointF(0.999, 0.999));
        QCOMPARE(s.bounds, QRectF(QPointF(0, 0), QPointF(0.999, 0.999)));
        QCOMPARE(annotationsFromInk(ink).value("pages").toObject().value("0").toArray()
                     .first().toObject().value("p").toArray().size(),
                 qsizetype(2 * kPoints));
    }

    void importOfNothingIsEmpty()
    {
        QVERIFY(inkFromAnnotations(parse("{'version':1}")).isEmpty());
        QVERIFY(inkFromAnnotations(parse("{'version':1,'pages':{}}")).isEmpty());
    }
};

QTEST_MAIN(TestAnnotationJson)
#include "tst_annotationjson.moc"

#include "ui/uimetrics.h"

#include <QApplication>
#include <QFontMetricsF>
#include <QtTest>

// The interface sizes derived from the font height.
class TestUiMetrics : public QObject
{
    Q_OBJECT
private slots:
    void table_data()
    {
        QTest::addColumn<double>("h");
        QTest::addColumn<double>("scale");
        QTest::addColumn<bool>("compact");
        QTest::addColumn<QString>("field");
        QTest::addColumn<double>("expected");
        auto row = [](const char *name, double h, double s, bool compact, const char *field, double v) {
            QTest::newRow(name) << h << s << compact << QString::fromLatin1(field) << v;
        };
        row("h12 touchTarget", 12, 1, false, "touchTarget", 48);
        row("h12 iconSize", 12, 1, false, "iconSize", 22);
        row("h12 hairline", 12, 1, false, "hairline", 1);
        row("h12 pageTopMargin", 12, 1, false, "pageTopMargin", 8);
        row("h12 pageBottomMargin", 12, 1, false, "pageBottomMargin", 20);
        row("h12 emblemSize", 12, 1, false, "emblemSize", 104);
        row("h12 emblemGlyph", 12, 1, false, "emblemGlyph", 47);
        row("h28 touchTarget", 28, 1, false, "touchTarget", 61);
        row("h28 hairline", 28, 1, false, "hairline", 2);
        row("h28 emblemSize", 28, 1, false, "emblemSize", 179);
        row("h28 emblemGlyph", 28, 1, false, "emblemGlyph", 82);
        row("h28 pageGap", 28, 1, false, "pageGap", 32.2);
        // Below 12 the height is raised to 12.
        row("h8 behaves as h12", 8, 1, false, "touchTarget", 48);
        row("h8 margins as h12", 8, 1, false, "pageBottomMargin", 20);
        // The ink toolbar's scale shrinks the floors but not the page fields.
        row("toolbar touchTarget", 12, 0.8, false, "touchTarget", 38);
        row("toolbar iconSize", 12, 0.8, false, "iconSize", 17);
        row("toolbar pageGap unscaled", 12, 0.8, false, "pageGap", 14);
        // 2*6 + max(4.8, 6) + 22 + 12 + 2 = 54, below touchTarget + 6.
        row("h12 toolButtonHeight", 12, 1, false, "toolButtonHeight", 54);
        row("h12 compact toolButtonHeight", 12, 1, true, "toolButtonHeight", 48);
        // h 20: inset 6 (6.8), icon 25, 2*6 + 8 + 25 + 20 + 2 = 67 over 48 + 6.
        row("h20 toolButtonHeight", 20, 1, false, "toolButtonHeight", 67);
        row("h20 compact toolButtonHeight", 20, 1, true, "toolButtonHeight", 48);
        row("h24 compact toolButtonHeight", 24, 1, true, "toolButtonHeight", 52);
        row("h20 extentS", 20, 1, false, "extentS", 4.4);
    }
    void table()
    {
        QFETCH(double, h);
        QFETCH(double, scale);
        QFETCH(bool, compact);
        QFETCH(QString, field);
        QFETCH(double, expected);
        const UiMetrics m = uiMetricsForHeight(h, scale, compact);
        const QHash<QString, double> values = {
            { QStringLiteral("touchTarget"), m.touchTarget },
            { QStringLiteral("toolButtonHeight"), m.toolButtonHeight },
            { QStringLiteral("iconSize"), m.iconSize },
            { QStringLiteral("hairline"), m.hairline },
            { QStringLiteral("pageTopMargin"), m.pageTopMargin },
            { QStringLiteral("pageBottomMargin"), m.pageBottomMargin },
            { QStringLiteral("emblemSize"), m.emblemSize },
            { QStringLiteral("emblemGlyph"), m.emblemGlyph },
            { QStringLiteral("pageGap"), m.pageGap },
            { QStringLiteral("extentS"), m.extentS },
        };
        QVERIFY2(values.contains(field), qPrintable(field));
        QCOMPARE(values.value(field), expected);
    }

    void fromFontUsesItsHeight()
    {
        QFont font;
        font.setPixelSize(40);
        const double h = QFontMetricsF(font).height();
        QVERIFY(h > 12);
        QCOMPARE(uiMetrics(font).touchTarget, uiMetricsForHeight(h).touchTarget);
        QCOMPARE(uiMetrics(font, 0.8, true).toolButtonHeight, uiMetricsForHeight(h, 0.8, true).toolButtonHeight);
    }

    void scaledFont_data()
    {
        QTest::addColumn<double>("pointSize");
        QTest::addColumn<int>("pixelSize");
        QTest::addColumn<double>("factor");
        QTest::addColumn<double>("expectedPoint");
        QTest::addColumn<int>("expectedPixel");
        QTest::newRow("points scaled") << 10.0 << -1 << 0.95 << 9.5 << -1;
        QTest::newRow("points floor 6") << 5.0 << -1 << 0.95 << 6.0 << -1;
        QTest::newRow("pixels truncated") << -1.0 << 20 << 0.95 << -1.0 << 19;
        QTest::newRow("pixels below 9 become 8") << -1.0 << 9 << 0.95 << -1.0 << 8;
        QTest::newRow("pixels at 9 stay") << -1.0 << 10 << 0.95 << -1.0 << 9;
    }
    void scaledFont()
    {
        QFETCH(double, pointSize);
        QFETCH(int, pixelSize);
        QFETCH(double, factor);
        QFETCH(double, expectedPoint);
        QFETCH(int, expectedPixel);
        QFont base;
        if (pointSize > 0)
            base.setPointSizeF(pointSize);
        else
            base.setPixelSize(pixelSize);
        const QFont f = ::scaledFont(base, factor, 500);
        if (expectedPoint > 0)
            QCOMPARE(f.pointSizeF(), expectedPoint);
        else
            QCOMPARE(f.pixelSize(), expectedPixel);
        QCOMPARE(f.weight(), QFont::Weight(500));
        QCOMPARE(base.weight(), QFont::Normal); // a copy, base untouched
    }
};

QTEST_MAIN(TestUiMetrics)
#include "tst_uimetrics.moc"

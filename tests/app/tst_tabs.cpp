// The document tab strip, standing alone and in the window.
#include "app/documenttabstrip.h"
#include "app/mainwindow.h"
#include "canvas/pdfcanvas.h"
#include "modalhelpers.h"
#include "testutil.h"

#include <QAbstractButton>
#include <QMessageBox>
#include <QStackedWidget>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

namespace {

void answer(const QString &choice)
{
    TestUtil::onNextModal<QMessageBox>([choice](QMessageBox *box) {
        for (QAbstractButton *button : box->buttons()) {
            if (button->text() == choice) {
                QTest::mouseClick(button, Qt::LeftButton);
                return;
            }
        }
        box->reject();
    });
}

// A point on the chip's title, clear of its close button.
QPoint titlePoint(const DocumentTabs &tabs, int index)
{
    const QRect chip = tabs.tabRect(index);
    return QPoint(chip.left() + 12, chip.center().y());
}

} // namespace

class TestTabs : public QObject
{
    Q_OBJECT

private slots:
    void overflowScrollsAndKeepsTheCurrentTabVisible()
    {
        DocumentTabs tabs;
        tabs.resize(640, tabs.sizeHint().height());
        tabs.show();
        for (int i = 0; i < 200; ++i)
            tabs.addTab(i == 7 ? QStringLiteral("很长很长的课件名称-%1-第二单元复习与练习题答案.pdf").arg(i)
                               : QStringLiteral("%1").arg(i));
        QVERIFY(tabs.maxScroll() > 0);
        QVERIFY(tabs.tabTitle(7) != QString() && tabs.tabRect(7).width() < tabs.width());
        QSignalSpy changed(&tabs, &DocumentTabs::currentChanged);
        QSignalSpy closed(&tabs, &DocumentTabs::closeRequested);
        const QRect home = tabs.homeChipRect();
        const QRect settings = tabs.settingsChipRect();

        for (int index : {199, 0, 120}) {
            tabs.setCurrentIndex(index);
            QCOMPARE(tabs.currentIndex(), index);
            QVERIFY(tabs.tabRect(index).left() >= tabs.bandStart());
            QVERIFY(tabs.tabRect(index).right() < tabs.bandEnd());
            QCOMPARE(tabs.homeChipRect(), home);
            QCOMPARE(tabs.settingsChipRect(), settings);
        }
        QCOMPARE(changed.count(), 3);
        // The current tab tapped from the home page comes back.
        tabs.setHomeActive(true);
        QTest::mouseClick(&tabs, Qt::LeftButton, {}, titlePoint(tabs, 120));
        QCOMPARE(changed.count(), 4);
        QVERIFY(!tabs.homeActive());

        // A drag of 7 px scrolls and neither selects nor closes, even from a close button.
        const int before = tabs.scrollOffset();
        const QPoint close = tabs.closeRect(119).center();
        QTest::mousePress(&tabs, Qt::LeftButton, {}, close);
        QTest::mouseMove(&tabs, close - QPoint(7, 0));
        QTest::mouseRelease(&tabs, Qt::LeftButton, {}, close - QPoint(7, 0));
        QCOMPARE(tabs.scrollOffset(), before + 7);
        QCOMPARE(changed.count(), 4);
        QCOMPARE(closed.count(), 0);
        // Exactly 6 px is still a tap.
        const QPoint title = titlePoint(tabs, 119);
        QTest::mousePress(&tabs, Qt::LeftButton, {}, title);
        QTest::mouseMove(&tabs, title + QPoint(6, 0));
        QTest::mouseRelease(&tabs, Qt::LeftButton, {}, title + QPoint(6, 0));
        QCOMPARE(tabs.currentIndex(), 119);
        QTest::mouseClick(&tabs, Qt::LeftButton, {}, tabs.closeRect(119).center());
        QCOMPARE(closed.count(), 1);
        QCOMPARE(closed.at(0).at(0).toInt(), 119);

        // A sideways wheel scrolls by half its delta.
        const int at = tabs.scrollOffset();
        QWheelEvent wheel(QPointF(300, 20), tabs.mapToGlobal(QPointF(300, 20)), QPoint(), QPoint(-240, 0),
                          Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(&tabs, &wheel);
        QCOMPARE(tabs.scrollOffset(), at + 120);

        // Removing a tab before the current one moves the index down; after it, nothing.
        changed.clear();
        tabs.removeTab(150);
        QCOMPARE(changed.count(), 0);
        tabs.removeTab(3);
        QCOMPARE(changed.count(), 1);
        QCOMPARE(changed.at(0).at(0).toInt(), 118);
    }

    void tapsAndClosesDriveTheWindow()
    {
        QTemporaryDir dir;
        MainWindow window;
        window.resize(1400, 700);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        for (const char *name : {"a.pdf", "b.pdf", "c.pdf"}) {
            const QString pdf = dir.filePath(QString::fromLatin1(name));
            QVERIFY(TestUtil::writeA4Pdf(pdf, 2));
            window.openPath(pdf);
        }
        DocumentTabs *tabs = window.tabStrip();
        QCOMPARE(tabs->count(), 3);
        QCOMPARE(window.currentIndex(), 2);
        QTest::mouseClick(tabs, Qt::LeftButton, {}, titlePoint(*tabs, 0));
        QCOMPARE(window.currentIndex(), 0);
        QCOMPARE(window.document(0).displayName, QStringLiteral("a.pdf"));

        // A clean document closes at once from its close button.
        QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->closeRect(1).center());
        QCOMPARE(window.documentCount(), 2);
        QCOMPARE(tabs->tabTitle(1), QStringLiteral("c.pdf"));

        // Unsaved ink asks first, as Ctrl+W does: cancel keeps, discard closes.
        QVERIFY(TestUtil::drawMouseStroke(window.currentCanvas()));
        QCOMPARE(tabs->tabTitle(0), QStringLiteral("*a.pdf"));
        answer(QStringLiteral("取消"));
        QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->closeRect(0).center());
        QCOMPARE(window.documentCount(), 2);
        answer(QStringLiteral("舍弃"));
        QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->closeRect(0).center());
        QCOMPARE(window.documentCount(), 1);
        QCOMPARE(window.currentIndex(), 0);
        QCOMPARE(tabs->currentIndex(), 0);
        QCOMPARE(window.document(0).displayName, QStringLiteral("c.pdf"));

        QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->homeChipRect().center());
        QVERIFY(window.homeShowing());
        QTest::mouseClick(tabs, Qt::LeftButton, {}, titlePoint(*tabs, 0));
        QVERIFY(!window.homeShowing());
        QCOMPARE(window.pageStack()->currentWidget(), window.canvas(0));
    }

    // A double tap is one tap: on "×" it closes that tab only (not the
    // similarly named one sliding under the finger), on "设置" it opens the
    // page once.
    void doubleTapsCountOnce()
    {
        QTemporaryDir dir;
        MainWindow window;
        window.resize(1400, 700);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        for (const char *name : {"第1课.pdf", "第1课 (2).pdf", "第1课 (3).pdf"}) {
            const QString pdf = dir.filePath(QString::fromUtf8(name));
            QVERIFY(TestUtil::writeA4Pdf(pdf, 2));
            window.openPath(pdf);
        }
        DocumentTabs *tabs = window.tabStrip();
        QWindow *handle = window.windowHandle();
        QTest::mouseDClick(handle, Qt::LeftButton, {}, tabs->mapTo(&window, tabs->closeRect(0).center()));
        QCOMPARE(window.documentCount(), 2);
        QCOMPARE(tabs->tabTitle(0), QStringLiteral("第1课 (2).pdf"));

        QTest::mouseDClick(handle, Qt::LeftButton, {}, tabs->mapTo(&window, tabs->settingsChipRect().center()));
        QVERIFY(window.settingsShowing());
        QVERIFY(tabs->settingsActive());
    }
};

QTEST_MAIN(TestTabs)
#include "tst_tabs.moc"

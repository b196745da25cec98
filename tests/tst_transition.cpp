// Page transitions of the window: pictures move, the real pages switch at once.
#include "app/mainwindow.h"
#include "app/transitionlayer.h"
#include "canvas/pdfcanvas.h"
#include "pages/homepage.h"
#include "testutil.h"

#include <QStackedWidget>
#include <QTemporaryDir>
#include <QVariantAnimation>
#include <QtTest>

class TestTransition : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    void openTwo(MainWindow &window)
    {
        for (const char *name : {"one.pdf", "two.pdf"}) {
            const QString pdf = m_dir.filePath(QString::fromLatin1(name));
            QVERIFY(TestUtil::writeA4Pdf(pdf, 2));
            window.openPath(pdf);
        }
        window.finishTransition();
    }

    static bool idle(const MainWindow &window)
    {
        const PageTransitionLayer *layer = window.transitionLayer();
        return !window.isTransitionRunning() && !layer->isVisible() && layer->incomingPicture().isNull()
               && layer->outgoingPicture().isNull();
    }

private slots:
    void picturesMoveAndAreReleased()
    {
        MainWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        openTwo(window);
        window.showHomePage();
        window.finishTransition();
        QVariantAnimation *animation = window.transitionAnimation();
        PageTransitionLayer *layer = window.transitionLayer();

        // Home to a document: the page rises from below while the home page sinks and dims.
        window.onTabCurrentChanged(0);
        QVERIFY(window.isTransitionRunning());
        QCOMPARE(window.transitionKind(), 1);
        QCOMPARE(window.pageStack()->currentWidget(), window.canvas(0));
        QVERIFY(layer->isVisible() && !layer->incomingPicture().isNull());
        // Input goes to the real page underneath the pictures.
        const QPoint middle = window.pageStack()->rect().center();
        QVERIFY(window.canvas(0)->isAncestorOf(window.pageStack()->childAt(middle)));
        animation->pause();
        int lastY = window.pageStack()->height() + 1;
        for (int t : {0, 60, 120, 180, 239}) {
            animation->setCurrentTime(t);
            QVERIFY(layer->incomingPos().y() < lastY);
            lastY = layer->incomingPos().y();
        }
        animation->setCurrentTime(120);
        QVERIFY(layer->outgoingPos().y() > 0);
        QVERIFY(layer->outgoingOpacity() > 0.55 && layer->outgoingOpacity() < 1.0);
        animation->resume();
        QTRY_VERIFY_WITH_TIMEOUT(idle(window), 2000);
        QCOMPARE(window.pageStack()->currentWidget(), window.canvas(0));

        // Sideways between documents, from the side of the tab.
        window.onTabCurrentChanged(1);
        QCOMPARE(window.transitionKind(), 2);
        QCOMPARE(window.transitionDirection(), 1);
        QVERIFY(layer->incomingPos().x() > 0);
        QCOMPARE(layer->outgoingPos(), QPoint(0, 0));
        // A new switch ends the first at once and animates only the second.
        window.onTabCurrentChanged(0);
        QCOMPARE(window.transitionDirection(), -1);
        QVERIFY(layer->incomingPos().x() < 0);
        QTRY_VERIFY_WITH_TIMEOUT(idle(window), 2000);
        QCOMPARE(window.pageStack()->currentWidget(), window.canvas(0));
        // Only the canvas in front keeps its tiles.
        QCOMPARE(window.canvas(1)->tileCacheBytes(), 0);
    }

    void closeAndResizeDuringATransition()
    {
        MainWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        openTwo(window);
        window.onTabCurrentChanged(0);
        QVERIFY(window.isTransitionRunning());
        PdfCanvas *closing = window.canvas(0);
        const int pages = window.pageStack()->count();
        window.onTabCloseRequested(0);
        QCOMPARE(window.documentCount(), 1);
        QCOMPARE(window.pageStack()->count(), pages - 1);
        QVERIFY(window.pageStack()->indexOf(closing) < 0);
        QCOMPARE(window.pageStack()->currentWidget(), window.canvas(0));
        QTRY_VERIFY_WITH_TIMEOUT(idle(window), 2000);

        window.showHomePage();
        QVERIFY(window.isTransitionRunning());
        window.resize(window.width() - 100, window.height() - 50);
        // Ended by the resize, well before the animation's own 240 ms.
        QTRY_VERIFY_WITH_TIMEOUT(idle(window), 150);
        QCOMPARE(window.pageStack()->currentWidget(), window.homePage());
        QTest::qWait(300);
        QVERIFY(idle(window));
    }
};

QTEST_MAIN(TestTransition)
#include "tst_transition.moc"

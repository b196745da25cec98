// Page transitions of the window: pictures move, the real pages switch at once.
#include "app/mainwindow.h"
#include "app/transitionlayer.h"
#include "canvas/pdfcanvas.h"
#include "pages/homepage.h"
#include "pages/settingspage.h"
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

    // Closing the last document slides it away to the home page; the
    // settings page never shows, not even in the first frame.
    void closingTheLastDocumentShowsNoSettingsPage()
    {
        MainWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const QString pdf = m_dir.filePath(QStringLiteral("last.pdf"));
        QVERIFY(TestUtil::writeA4Pdf(pdf, 2));
        window.openPath(pdf);
        window.finishTransition();
        PdfCanvas *canvas = window.currentCanvas();
        QTRY_VERIFY_WITH_TIMEOUT(canvas->outstandingRequests() == 0, 10000);
        const QImage document = canvas->grab().toImage();
        const QImage settings = window.settingsPage()->grab(QRect(QPoint(0, 0), canvas->size())).toImage();

        window.onCloseCurrent();
        QVERIFY(window.isTransitionRunning());
        window.transitionAnimation()->pause();
        window.transitionAnimation()->setCurrentTime(0);
        const QImage first = window.transitionLayer()->grab().toImage();
        // Mean difference per channel, 0..255.
        const auto difference = [](const QImage &a, const QImage &b) {
            const QImage x = a.convertToFormat(QImage::Format_RGB32);
            const QImage y = b.convertToFormat(QImage::Format_RGB32).scaled(x.size());
            qint64 sum = 0;
            for (int row = 0; row < x.height(); ++row) {
                for (int col = 0; col < x.width(); ++col) {
                    const QRgb p = x.pixel(col, row);
                    const QRgb q = y.pixel(col, row);
                    sum += qAbs(qRed(p) - qRed(q)) + qAbs(qGreen(p) - qGreen(q)) + qAbs(qBlue(p) - qBlue(q));
                }
            }
            return double(sum) / (3.0 * x.width() * x.height());
        };
        const double toDocument = difference(first, document);
        const double toSettings = difference(first, settings);
        QVERIFY2(toDocument < 2 && toSettings > 10,
                 qPrintable(QStringLiteral("document %1, settings %2").arg(toDocument).arg(toSettings)));
        QCOMPARE(window.pageStack()->currentWidget(), window.homePage());
        window.transitionAnimation()->resume();
        QTRY_VERIFY_WITH_TIMEOUT(idle(window), 2000);
    }
};

QTEST_MAIN(TestTransition)
#include "tst_transition.moc"

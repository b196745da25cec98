// The zoom bar in the window: slider and canvas in step both ways.
#include "app/mainwindow.h"
#include "app/zoombar.h"
#include "canvas/pdfcanvas.h"
#include "testutil.h"

#include <QSignalSpy>
#include <QSlider>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>

class TestZoomBar : public QObject
{
    Q_OBJECT

private slots:
    void sliderAndCanvasFollowEachOther()
    {
        QTemporaryDir dir;
        const QString a = dir.filePath(QStringLiteral("a.pdf"));
        const QString b = dir.filePath(QStringLiteral("b.pdf"));
        QVERIFY(TestUtil::writeA4Pdf(a, 3));
        QVERIFY(TestUtil::writeA4Pdf(b, 3));
        MainWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        ZoomBar *bar = window.zoomBar();
        QVERIFY(!bar->isVisible());
        window.openPath(a);
        QVERIFY(bar->isVisible());
        PdfCanvas *canvas = window.currentCanvas();
        QSlider *slider = bar->slider();
        QSignalSpy requests(bar, &ZoomBar::zoomRequested);

        // Slider to canvas: one page step is one request, on the log scale.
        slider->setFocus();
        QTest::keyClick(slider, Qt::Key_PageUp);
        QCOMPARE(requests.count(), 1);
        QCOMPARE(slider->value(), 550);
        QVERIFY(qAbs(canvas->zoom() - ZoomBar::zoomForSliderValue(550)) < 1e-6);
        QCOMPARE(bar->percentButton()->text(), QStringLiteral("%1%").arg(qRound(canvas->zoom() * 100)));

        // Canvas to slider, without a request coming back.
        canvas->setZoom(2.0);
        QCOMPARE(slider->value(), 750);
        QCOMPARE(bar->percentButton()->text(), QStringLiteral("200%"));
        QTest::keyClick(&window, Qt::Key_0, Qt::ControlModifier);
        QCOMPARE(slider->value(), ZoomBar::sliderValueFor(canvas->zoom()));
        QCOMPARE(requests.count(), 1);

        // Plus starts from the shown zoom; at the limit it asks for the limit.
        canvas->setZoom(1.0);
        QTest::mouseClick(bar->plusButton(), Qt::LeftButton);
        QVERIFY(qAbs(canvas->zoom() - 1.25) < 1e-6);
        QCOMPARE(slider->value(), 580);
        canvas->setZoom(4.0);
        QTest::mouseClick(bar->plusButton(), Qt::LeftButton);
        QCOMPARE(requests.last().at(0).toDouble(), 4.0);

        // While the slider is held only the text follows the canvas.
        slider->setSliderDown(true);
        canvas->setZoom(0.5);
        QCOMPARE(bar->percentButton()->text(), QStringLiteral("50%"));
        QCOMPARE(slider->value(), 1000);

        // The document closes under the held slider: the other one keeps its zoom.
        window.openPath(b);
        PdfCanvas *other = window.currentCanvas();
        const double otherZoom = other->zoom();
        window.onTabCurrentChanged(0);
        slider->setSliderDown(true);
        const int before = int(requests.count());
        window.onTabCloseRequested(0);
        QCOMPARE(window.currentCanvas(), other);
        QVERIFY(!slider->isSliderDown());
        QCOMPARE(int(requests.count()), before);
        QCOMPARE(other->zoom(), otherZoom);
        QCOMPARE(slider->value(), ZoomBar::sliderValueFor(otherZoom));

        window.showHomePage();
        QVERIFY(!bar->isVisible());
    }
};

QTEST_MAIN(TestZoomBar)
#include "tst_zoombar.moc"

// Window-level behaviour of the main window: status bar, memory figures,
// full screen, guarded zoom and the tab strip's chips.
#include "app/documenttabstrip.h"
#include "app/mainwindow.h"
#include "canvas/pdfcanvas.h"
#include "island/inktoolbar.h"
#include "modalhelpers.h"
#include "files/workingcopy.h"
#include "pages/homepage.h"
#include "platform/procmemory.h"
#include "testutil.h"

#include <QApplication>
#include <QFileDialog>
#include <QLabel>
#include <QToolButton>
#include <QPushButton>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QtTest>

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void procStatusParsing_data()
    {
        QTest::addColumn<QByteArray>("status");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<qint64>("workingSet");
        QTest::addColumn<qint64>("privateBytes");
        QTest::newRow("linux status") << QByteArray("Name:\tlectern\nVmPeak:\t  900 kB\nVmRSS:\t  204800 kB\n"
                                                    "RssAnon:\t  102400 kB\nRssFile:\t 1 kB\n")
                                      << true << qint64(204800) * 1024 << qint64(102400) * 1024;
        QTest::newRow("no RssAnon (old kernel)") << QByteArray("VmRSS:\t 10 kB\n") << false << qint64(0) << qint64(0);
        QTest::newRow("garbage value") << QByteArray("VmRSS:\tlots kB\nRssAnon:\t1 kB\n") << false << qint64(0)
                                       << qint64(0);
        QTest::newRow("empty") << QByteArray() << false << qint64(0) << qint64(0);
    }

    void procStatusParsing()
    {
        QFETCH(QByteArray, status);
        QFETCH(bool, ok);
        QFETCH(qint64, workingSet);
        QFETCH(qint64, privateBytes);
        const ProcessMemory memory = parseProcStatus(status);
        QCOMPARE(memory.ok, ok);
        QCOMPARE(memory.workingSetBytes, workingSet);
        QCOMPARE(memory.privateBytes, privateBytes);
    }

    void ownProcessMemoryIsRead()
    {
        const ProcessMemory memory = readProcessMemory();
        QVERIFY(memory.ok);
        QVERIFY(memory.workingSetBytes > 0);
        QVERIFY(memory.privateBytes > 0);
        QVERIFY(memory.privateBytes <= memory.workingSetBytes);
    }

    void statusLabelsKeepTheirWidth()
    {
        MainWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const QList<QLabel *> labels{window.pageLabel(), window.renderLabel(), window.strokesLabel(),
                                     window.memoryLabel()};
        for (QLabel *label : labels) {
            QCOMPARE(label->minimumWidth(), label->maximumWidth());
            QVERIFY(label->isVisible());
        }
        // The widest page text still fits the fixed width.
        const int before = window.pageLabel()->width();
        window.onPageChanged(9998, 9999);
        QCOMPARE(window.pageLabel()->text(), QStringLiteral("页码 9999/9999"));
        QVERIFY(window.pageLabel()->fontMetrics().horizontalAdvance(window.pageLabel()->text()) <= before);
        window.onRenderMeasured(12, QSize(800, 1131));
        QCOMPARE(window.renderLabel()->text(), QStringLiteral("渲染 12 ms (800×1131)"));
        // A temporary message hides the labels while it shows.
        window.statusBar()->showMessage(QStringLiteral("提示"), 6000);
        QVERIFY(!window.pageLabel()->isVisible());
        window.statusBar()->clearMessage();
        QVERIFY(window.pageLabel()->isVisible());
    }

    void fullscreenAndEsc()
    {
        MainWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QTest::keyClick(&window, Qt::Key_Escape);
        QVERIFY(!window.isFullScreen());
        QVERIFY(!window.fullscreenExitButton()->isVisible());

        window.showMaximized();
        QTRY_VERIFY(window.isMaximized());
        window.onFullscreen();
        QTRY_VERIFY(window.isFullScreen());
        QVERIFY(window.fullscreenExitButton()->isVisible());
        QCOMPARE(window.fullscreenExitButton()->text(), QStringLiteral("退出全屏（Esc）"));
        QTest::keyClick(&window, Qt::Key_Escape);
        QTRY_VERIFY(!window.isFullScreen());
        QTRY_VERIFY(window.isMaximized());
        QVERIFY(!window.fullscreenExitButton()->isVisible());

        window.showNormal();
        window.onFullscreen();
        QTRY_VERIFY(window.isFullScreen());
        QTest::mouseClick(window.fullscreenExitButton(), Qt::LeftButton);
        QTRY_VERIFY(!window.isFullScreen());
        QVERIFY(!window.isMaximized());
    }

    void fifthNestedZoomIsDropped()
    {
        QTemporaryDir dir;
        const QString pdf = dir.filePath(QStringLiteral("z.pdf"));
        QVERIFY(TestUtil::writeA4Pdf(pdf, 1));
        MainWindow window;
        window.show();
        window.openPath(pdf);
        PdfCanvas *canvas = window.currentCanvas();
        QVERIFY(canvas);
        // A canvas that answers every zoom with another request.
        connect(canvas, &PdfCanvas::zoomChanged, &window,
                [&window](double zoom) { window.requestZoom(zoom + 0.25); });
        QSignalSpy changes(canvas, &PdfCanvas::zoomChanged);
        window.requestZoom(1.5);
        QCOMPARE(changes.size(), 4);
        QCOMPARE(canvas->zoom(), 2.25);
        // Outside any nesting requests work again.
        window.requestZoom(0.5);
        QCOMPARE(changes.size(), 8);
    }

    void shortcutsReachTheFlows()
    {
        QTemporaryDir dir;
        const QString pdf = dir.filePath(QStringLiteral("k.pdf"));
        QVERIFY(TestUtil::writeA4Pdf(pdf, 1));
        MainWindow window;
        window.show();
        QApplication::setActiveWindow(&window);
        QVERIFY(QTest::qWaitForWindowActive(&window));
        window.openPath(pdf);
        QCOMPARE(window.documentCount(), 1);
        QTest::keyClick(&window, Qt::Key_F11);
        QTRY_VERIFY(window.isFullScreen());
        QTest::keyClick(&window, Qt::Key_F11);
        QTRY_VERIFY(!window.isFullScreen());
        const double before = window.currentCanvas()->zoom();
        QTest::keySequence(&window, QKeySequence::ZoomIn);
        QVERIFY(window.currentCanvas()->zoom() > before);
        QTest::keyClick(&window, Qt::Key_W, Qt::ControlModifier);
        QCOMPARE(window.documentCount(), 0);
        QVERIFY(window.homeShowing());
    }

    // The island's buttons reach the window's own flows, its full-screen
    // tooltip follows the window, and it fades when idle and wakes on a touch.
    void islandReachesTheWindow()
    {
        QTemporaryDir dir;
        const QString pdf = dir.filePath(QStringLiteral("i.pdf"));
        QVERIFY(TestUtil::writeA4Pdf(pdf, 2));
        MainWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.openPath(pdf);
        InkToolbar *island = window.currentCanvas()->inkToolbar();
        QToolButton *fullscreen = island->button(InkToolbar::Button::Fullscreen);

        QTest::mouseClick(fullscreen, Qt::LeftButton);
        QTRY_VERIFY(window.isFullScreen());
        QCOMPARE(fullscreen->toolTip(), QStringLiteral("退出全屏（Esc）"));
        QTest::mouseClick(fullscreen, Qt::LeftButton);
        QTRY_VERIFY(!window.isFullScreen());
        QCOMPARE(fullscreen->toolTip(), QStringLiteral("全屏显示（F11）"));

        QString dialogTitle;
        TestUtil::onNextModal<QFileDialog>([&dialogTitle](QFileDialog *dialog) {
            dialogTitle = dialog->windowTitle();
            dialog->reject();
        });
        QTest::mouseClick(island->button(InkToolbar::Button::Save), Qt::LeftButton);
        QCOMPARE(dialogTitle, QStringLiteral("另存为"));

        QTest::mouseClick(island->button(InkToolbar::Button::Settings), Qt::LeftButton);
        QVERIFY(window.settingsShowing());
        window.onTabCurrentChanged(0);

        QTRY_VERIFY_WITH_TIMEOUT(island->isFaded(), 7000);
        // Writing on the page leaves it faded; touching the island wakes it.
        QTest::mouseClick(window.currentCanvas()->viewport(), Qt::LeftButton, Qt::NoModifier,
                          TestUtil::pagePoint(*window.currentCanvas(), 0.3, 0.2).toPoint());
        QVERIFY(island->isFaded());
        QTest::mouseClick(island->button(InkToolbar::Button::Move), Qt::LeftButton);
        QVERIFY(!island->isFaded());
        QCOMPARE(window.currentCanvas()->tool(), PdfCanvas::InkTool::Move);
    }

    void tabStripSignalsReachTheWindow()
    {
        MainWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        DocumentTabs *strip = window.tabStrip();
        const auto tap = [strip](const QRect &chip) { QTest::mouseClick(strip, Qt::LeftButton, {}, chip.center()); };
        tap(strip->settingsChipRect());
        QVERIFY(window.settingsShowing());
        QVERIFY(strip->settingsActive());
        QCOMPARE(window.windowTitle(), QStringLiteral("设置 — 青简批注"));
        // Tapping the settings chip again with no document returns home.
        tap(strip->settingsChipRect());
        QVERIFY(window.homeShowing());
        QVERIFY(strip->homeActive());
        QVERIFY(!strip->settingsActive());
        tap(strip->settingsChipRect());
        tap(strip->homeChipRect());
        QVERIFY(window.homeShowing());
        QCOMPARE(window.windowTitle(), QStringLiteral("青简批注"));
    }

    void initialGeometryFitsTheScreen()
    {
        MainWindow window;
        const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
        QVERIFY(window.width() <= 1400 && window.height() <= 900);
        QCOMPARE(window.width(), qMin(int(available.width() * 0.92), 1400));
        QCOMPARE(window.height(), qMin(int(available.height() * 0.92), 900));
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"

#include "ui/theme.h"
#include "canvas/pagegrid.h"
#include "canvas/pdfcanvas.h"
#include "island/colorswatch.h"
#include "island/inktoolbar.h"
#include "island/palettecards.h"
#include "island/toolindicator.h"
#include "system/settings.h"
#include "modalhelpers.h"
#include "testutil.h"

#include <QElapsedTimer>
#include <QFrame>
#include <QGraphicsEffect>
#include <QMessageBox>
#include <QFontMetrics>
#include <QPointingDevice>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTabletEvent>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>

#include <algorithm>
#include <memory>

// The ink island on a real canvas, driven by real mouse and touch events.
// Motion is reduced unless a test is about an animation.
class TestInkToolbar : public QObject
{
    Q_OBJECT

    using B = InkToolbar::Button;

    QTemporaryDir m_dir;
    QString m_pdf;
    QPointingDevice *m_touch = nullptr;
    std::unique_ptr<QPointingDevice> m_stylus;

    void openCanvas(PdfCanvas &canvas, const QSize &size = QSize(1000, 700))
    {
        QVERIFY(TestUtil::showCanvas(canvas, m_pdf, size));
    }

    static QWidget *host(PdfCanvas &canvas) { return canvas.viewport(); }

    static QRect inHost(QWidget *widget, PdfCanvas &canvas)
    {
        return QRect(widget->mapTo(host(canvas), QPoint(0, 0)), widget->size());
    }

    static void click(InkToolbar *island, B which)
    {
        QTest::mouseClick(island->button(which), Qt::LeftButton);
    }

    static int distance(const QColor &a, const QColor &b)
    {
        return std::max({ std::abs(a.red() - b.red()), std::abs(a.green() - b.green()),
                          std::abs(a.blue() - b.blue()) });
    }

    static QColor over(const QColor &top, const QColor &bottom)
    {
        const double a = top.alphaF();
        return QColor::fromRgbF(float(top.redF() * a + bottom.redF() * (1 - a)),
                                float(top.greenF() * a + bottom.greenF() * (1 - a)),
                                float(top.blueF() * a + bottom.blueF() * (1 - a)));
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_pdf = m_dir.filePath(QStringLiteral("three.pdf"));
        QVERIFY(TestUtil::writeA4Pdf(m_pdf, 3));
        m_touch = QTest::createTouchDevice();
        m_stylus = std::make_unique<QPointingDevice>(
                QStringLiteral("test stylus"), 1001, QInputDevice::DeviceType::Stylus,
                QPointingDevice::PointerType::Pen,
                QInputDevice::Capability::Position | QInputDevice::Capability::Pressure, 1, 2);
    }

    void init() { setReduceMotion(true); }
    void cleanup() { setReduceMotion(false); }

    void eraserCardToggles()
    {
        PdfCanvas canvas;
        new InkToolbar(&canvas); // owned by the canvas's viewport
        openCanvas(canvas);
        InkToolbar *island = canvas.inkToolbar();
        EraserPalette *card = island->eraserPalette();
        click(island, B::Eraser);
        QCOMPARE(canvas.tool(), PdfCanvas::InkTool::Eraser);
        QVERIFY(!card->isVisible());
        click(island, B::Eraser);
        QVERIFY(card->isVisible());
        QVERIFY(island->hasOpenOverlay());
        // Above its button, inside the viewport.
        const QRect button = inHost(island->button(B::Eraser), canvas);
        const QRect frame = inHost(card->findChild<QFrame *>(QStringLiteral("eraserPalette")), canvas);
        QVERIFY(frame.bottom() < button.top());
        QVERIFY(host(canvas)->rect().contains(frame));
        click(island, B::Eraser);
        QVERIFY(!card->isVisible());
        click(island, B::Eraser);
        QTest::mouseClick(card->sizeButtons().at(2), Qt::LeftButton);
        QCOMPARE(canvas.eraserRadius(), 44.0);
        QVERIFY(!card->isVisible());
        QVERIFY(!island->hasOpenOverlay());
        QVERIFY(island->button(B::Eraser)->toolTip().endsWith(QStringLiteral("当前大小：大（直径 88 px）")));
    }

    void penCardPicksAndClosesOutside()
    {
        PdfCanvas canvas;
        new InkToolbar(&canvas); // owned by the canvas's viewport
        openCanvas(canvas);
        InkToolbar *island = canvas.inkToolbar();
        PenPalette *card = island->penPalette();
        click(island, B::Pen); // already the pen: opens
        QVERIFY(card->isVisible());
        QTest::mouseClick(card->swatches().at(1), Qt::LeftButton);
        QCOMPARE(canvas.penColor(), QColor(25, 118, 210));
        QVERIFY(!card->isVisible());

        click(island, B::Pen);
        QVERIFY(card->isVisible());
        QTest::keyClick(canvas.window(), Qt::Key_Escape);
        QVERIFY(!card->isVisible());

        click(island, B::Pen);
        QTest::mouseClick(card->widthButtons().at(2), Qt::LeftButton);
        QCOMPARE(canvas.penWidth(), 8.0);
        click(island, B::Pen);
        QVERIFY(card->isVisible());
        QTest::mouseClick(host(canvas), Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
        QVERIFY(!card->isVisible());
    }

    void clearCardClearsDocument()
    {
        PdfCanvas canvas;
        new InkToolbar(&canvas); // owned by the canvas's viewport
        openCanvas(canvas);
        InkToolbar *island = canvas.inkToolbar();
        QVERIFY(TestUtil::drawMouseStroke(&canvas, 0.1));
        canvas.goToPage(1);
        QVERIFY(TestUtil::drawMouseStroke(&canvas, 0.1));
        QCOMPARE(canvas.strokeCount(), 2);
        click(island, B::Clear);
        ClearPalette *card = island->clearPalette();
        QVERIFY(card->isVisible());
        QTest::mouseClick(card->scopeButton(ClearPalette::Document), Qt::LeftButton);
        QCOMPARE(canvas.strokeCount(), 0);
        QVERIFY(!card->isVisible());
        QVERIFY(!island->button(B::Clear)->isEnabled());
    }

    void bothStylesKeepTouchSizedButtons()
    {
        PdfCanvas canvas;
        new InkToolbar(&canvas); // owned by the canvas's viewport
        openCanvas(canvas, QSize(1400, 700));
        InkToolbar *island = canvas.inkToolbar();
        QCOMPARE(island->toolbarStyle(), int(InkToolbar::Compact));
        const int compactHeight = island->height();
        for (int style : { int(InkToolbar::Compact), int(InkToolbar::Text) }) {
            island->setToolbarStyle(style);
            QCoreApplication::processEvents();
            const int target = island->metrics().touchTarget;
            for (int i = 0; i <= int(B::Collapse); ++i) {
                QToolButton *b = island->button(B(i));
                QVERIFY(b->isVisible());
                QVERIFY(!b->toolTip().isEmpty());
                QVERIFY2(b->width() >= target && b->height() >= target, qPrintable(b->text()));
                QVERIFY(inHost(b, canvas).intersects(host(canvas)->rect()));
                const bool labelled = b->toolButtonStyle() != Qt::ToolButtonIconOnly;
                const bool wanted = (style == InkToolbar::Text && B(i) != B::Collapse) || B(i) == B::Page;
                QCOMPARE(labelled, wanted);
                if (labelled) {
                    // The label fits its button.
                    const int advance = QFontMetrics(b->font()).horizontalAdvance(b->text());
                    QVERIFY2(advance <= b->width(), qPrintable(b->text()));
                }
            }
        }
        QVERIFY(island->height() > compactHeight);
        QCOMPARE(island->button(B::Move)->text(), QStringLiteral("自由移动"));
    }

    void foldKeepsTheChevronAndReverses()
    {
        setReduceMotion(false);
        PdfCanvas canvas;
        new InkToolbar(&canvas); // owned by the canvas's viewport
        openCanvas(canvas);
        InkToolbar *island = canvas.inkToolbar();
        QSignalSpy hidden(island, &InkToolbar::hiddenChanged);
        QToolButton *chevron = island->button(B::Collapse);
        const int edge = inHost(chevron, canvas).right();
        const int expanded = island->width();

        island->setCollapsed(true);
        int last = island->width();
        QElapsedTimer clock;
        clock.start();
        while (island->width() > expanded - (expanded - 100) / 2 && clock.elapsed() < 2000) {
            QTest::qWait(5);
            QVERIFY(island->width() <= last);
            last = island->width();
            QCOMPARE(inHost(chevron, canvas).right(), edge);
        }
        QVERIFY(island->isFolding());
        const int reversedAt = island->width();
        island->setCollapsed(false);
        last = reversedAt;
        while (island->isFolding() && clock.elapsed() < 4000) {
            QTest::qWait(5);
            QVERIFY(island->width() >= last);
            last = island->width();
            QCOMPARE(inHost(chevron, canvas).right(), edge);
        }
        QCOMPARE(island->width(), expanded);
        QCOMPARE(inHost(chevron, canvas).right(), edge);
        QCOMPARE(hidden.count(), 1);
        QCOMPARE(hidden.at(0).at(0).toBool(), false);

        // Folded all the way: the chevron alone, same edge.
        setReduceMotion(true);
        island->setCollapsed(true);
        QVERIFY(!island->button(B::Pen)->isVisible());
        QVERIFY(island->width() < expanded / 4);
        QCOMPARE(inHost(chevron, canvas).right(), edge);
        QCOMPARE(island->button(B::Collapse)->toolTip(), QStringLiteral("展开工具栏"));
        // A card asked for while folded unfolds first.
        island->showPenPalette();
        QVERIFY(!island->isCollapsed());
        QVERIFY(island->penPalette()->isVisible());
    }

    void dragByButtonMovesWithoutClick()
    {
        PdfCanvas canvas;
        new InkToolbar(&canvas); // owned by the canvas's viewport
        openCanvas(canvas);
        InkToolbar *island = canvas.inkToolbar();
        QSignalSpy saves(island, &InkToolbar::saveRequested);
        QToolButton *save = island->button(B::Save);
        const QPoint start = island->pos();
        const QPoint grab = save->rect().center();
        QTest::mousePress(save, Qt::LeftButton, Qt::NoModifier, grab);
        for (int i = 1; i <= 10; ++i)
            QTest::mouseMove(save, grab - QPoint(6 * i, 20 * i) - (island->pos() - start));
        QTest::mouseRelease(save, Qt::LeftButton, Qt::NoModifier, grab);
        QCOMPARE(island->pos(), start - QPoint(60, 200));
        QCOMPARE(saves.count(), 0);
        QVERIFY(!save->isDown());
        QCOMPARE(canvas.strokeCount(), 0);
        QCOMPARE(canvas.undoDepth(), 0);
        QVERIFY(island->isUserPlaced());

        // A tap is a click, and a placed island stays put through a resize
        // and through scrolling.
        click(island, B::Save);
        QCOMPARE(saves.count(), 1);
        const QPoint placed = island->pos();
        canvas.resize(canvas.width() + 80, canvas.height());
        QTRY_COMPARE(host(canvas)->width(), canvas.viewport()->width());
        QCOMPARE(island->pos(), placed);
        canvas.verticalScrollBar()->setValue(canvas.verticalScrollBar()->value() + 120);
        QCOMPARE(island->pos(), placed);
    }

    // At the start of a lesson undo, redo and clear sit disabled in the
    // middle of the island; a drag begun on one still moves the island.
    void dragFromADisabledButton()
    {
        PdfCanvas canvas;
        new InkToolbar(&canvas); // owned by the canvas's viewport
        openCanvas(canvas);
        InkToolbar *island = canvas.inkToolbar();
        QToolButton *undo = island->button(B::Undo);
        QVERIFY(!undo->isEnabled());
        QWindow *window = canvas.windowHandle();
        const QPoint start = island->pos();
        const QPoint grab = undo->mapTo(&canvas, undo->rect().center());
        QTest::mousePress(window, Qt::LeftButton, {}, grab);
        for (int i = 1; i <= 10; ++i)
            QTest::mouseMove(window, grab - QPoint(6 * i, 20 * i));
        QTest::mouseRelease(window, Qt::LeftButton, {}, grab - QPoint(60, 200));
        QCOMPARE(island->pos(), start - QPoint(60, 200));
        QCOMPARE(canvas.strokeCount(), 0);
    }

    // The island's invisible shadow margin is the page's: a pen stroke or a
    // mouse stroke begun there writes and leaves the island where it is.
    void strokeFromTheMarginWrites()
    {
        PdfCanvas canvas;
        new InkToolbar(&canvas); // owned by the canvas's viewport
        openCanvas(canvas);
        InkToolbar *island = canvas.inkToolbar();
        const QRect chip = island->findChild<QFrame *>(QStringLiteral("inkChip"))->geometry();
        QVERIFY(chip.left() >= 8);
        const QPoint start = island->pos();
        QWindow *window = canvas.windowHandle();
        const QPoint margin = island->mapTo(&canvas, QPoint(chip.left() / 2, island->height() / 2));
        const QPoint above = margin - QPoint(40, 150);
        QCOMPARE(canvas.viewport()->childAt(canvas.viewport()->mapFrom(&canvas, margin)), island);
        const auto pen = [&](QEvent::Type type, const QPoint &at, Qt::MouseButtons buttons) {
            QTabletEvent event(type, m_stylus.get(), at, window->mapToGlobal(QPointF(at)), buttons ? 0.6 : 0, 0, 0,
                               0, 0, 0, Qt::NoModifier, Qt::LeftButton, buttons);
            QCoreApplication::sendEvent(window, &event);
        };
        pen(QEvent::TabletPress, margin, Qt::LeftButton);
        for (int i = 1; i <= 10; ++i)
            pen(QEvent::TabletMove, margin + (above - margin) * i / 10, Qt::LeftButton);
        pen(QEvent::TabletRelease, above, Qt::NoButton);
        QCOMPARE(canvas.strokeCount(), 1);
        QCOMPARE(island->pos(), start);

        QTRY_VERIFY(!canvas.touchLock());
        QTest::mousePress(window, Qt::LeftButton, {}, margin);
        QTest::mouseMove(window, above);
        QTest::mouseRelease(window, Qt::LeftButton, {}, above);
        QCOMPARE(canvas.strokeCount(), 2);
        QCOMPARE(island->pos(), start);
    }

    // An Escape meant for a dialog is the dialog's: the card and the page
    // overview behind it stay, and Escape in the window then closes them.
    void escapeInADialogIsTheDialogs()
    {
        PdfCanvas canvas;
        new InkToolbar(&canvas); // owned by the canvas's viewport
        openCanvas(canvas);
        QVERIFY(QTest::qWaitForWindowActive(&canvas));
        InkToolbar *island = canvas.inkToolbar();
        const auto escapeInDialog = [&canvas](QWidget *panel) {
            bool shownMeanwhile = false;
            TestUtil::onNextModal<QMessageBox>([&](QMessageBox *box) {
                QTest::keyClick(box->windowHandle(), Qt::Key_Escape);
                shownMeanwhile = panel->isVisible();
            });
            QMessageBox box(QMessageBox::Question, QStringLiteral("保存"), QStringLiteral("保存批注吗？"),
                            QMessageBox::Save | QMessageBox::Cancel, &canvas);
            QElapsedTimer clock;
            clock.start();
            QCOMPARE(box.exec(), int(QMessageBox::Cancel));
            QVERIFY(clock.elapsed() < TestUtil::kModalWatchdogMs);
            QVERIFY(shownMeanwhile);
            QVERIFY(panel->isVisible());
            // As the window manager does once the dialog is gone.
            canvas.activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(&canvas));
            QTest::keyClick(canvas.windowHandle(), Qt::Key_Escape);
            QVERIFY(!panel->isVisible());
        };
        island->showPenPalette();
        escapeInDialog(island->penPalette());
        QTest::mouseClick(island->button(B::Page), Qt::LeftButton);
        escapeInDialog(island->pageGrid());
    }

    void fingerTapsClickAndFingerDragsMove()
    {
        PdfCanvas canvas;
        new InkToolbar(&canvas); // owned by the canvas's viewport
        openCanvas(canvas);
        InkToolbar *island = canvas.inkToolbar();
        QToolButton *move = island->button(B::Move);
        const QPoint tap = move->mapTo(canvas.window(), move->rect().center());
        QTest::touchEvent(canvas.window(), m_touch).press(0, tap, canvas.window());
        QTest::touchEvent(canvas.window(), m_touch).release(0, tap, canvas.window());
        QCOMPARE(canvas.tool(), PdfCanvas::InkTool::Move);

        QToolButton *pen = island->button(B::Pen);
        const QPoint from = pen->mapTo(canvas.window(), pen->rect().center());
        const QPoint start = island->pos();
        QTest::touchEvent(canvas.window(), m_touch).press(0, from, canvas.window());
        for (int i = 1; i <= 8; ++i)
            QTest::touchEvent(canvas.window(), m_touch)
                    .move(0, from + QPoint(10 * i, -15 * i), canvas.window());
        QTest::touchEvent(canvas.window(), m_touch)
                .release(0, from + QPoint(80, -120), canvas.window());
        QCOMPARE(island->pos(), start + QPoint(80, -120));
        QCOMPARE(canvas.tool(), PdfCanvas::InkTool::Move);
        QCOMPARE(canvas.strokeCount(), 0);
        QCOMPARE(canvas.undoDepth(), 0);

        // A card takes finger taps the same way.
        canvas.setTool(PdfCanvas::InkTool::Pen);
        island->showPenPalette();
        ColorSwatch *green = island->penPalette()->swatches().at(3);
        const QPoint swatch = green->mapTo(canvas.window(), green->rect().center());
        QTest::touchEvent(canvas.window(), m_touch).press(0, swatch, canvas.window());
        QTest::touchEvent(canvas.window(), m_touch).release(0, swatch, canvas.window());
        QCOMPARE(canvas.penColor(), green->color());
        QVERIFY(!island->penPalette()->isVisible());
        QCOMPARE(canvas.strokeCount(), 0);
    }

    void placementIsClampedToTheHost()
    {
        PdfCanvas canvas;
        new InkToolbar(&canvas); // owned by the canvas's viewport
        openCanvas(canvas);
        InkToolbar *island = canvas.inkToolbar();
        const QSize area = host(canvas)->size();
        // Home: centred at the bottom.
        QCOMPARE(island->x(), (area.width() - island->width()) / 2);
        QVERIFY(island->geometry().bottom() < area.height());
        QVERIFY(island->geometry().bottom() > area.height() - island->height() / 2);

        island->moveBy(QPoint(100000, 100000));
        QCOMPARE(island->pos(), QPoint(area.width() - island->width(), area.height() - island->height()));
        island->moveBy(QPoint(-100000, -100000));
        QCOMPARE(island->pos(), QPoint(0, 0));

        canvas.setMinimumSize(1, 1);
        canvas.resize(200, 50);
        QTRY_VERIFY(host(canvas)->width() < island->width());
        QVERIFY(host(canvas)->height() < island->height());
        island->moveBy(QPoint(40, 30));
        QCOMPARE(island->pos(), QPoint(0, 0));
    }

    void idleFadeKeepsButtonsWorking()
    {
        setReduceMotion(false);
        PdfCanvas canvas;
        new InkToolbar(&canvas); // owned by the canvas's viewport
        openCanvas(canvas);
        InkToolbar *island = canvas.inkToolbar();
        QVERIFY(TestUtil::drawMouseStroke(&canvas, 0.1));
        QCOMPARE(island->opacity(), 1.0);
        QVERIFY(!island->graphicsEffect()->isEnabled());
        QElapsedTimer clock;
        clock.start();
        island->setFaded(true);
        QTRY_COMPARE_WITH_TIMEOUT(island->opacity(), 0.40, 2000);
        QVERIFY(clock.elapsed() >= 200);
        click(island, B::Undo);
        QCOMPARE(canvas.strokeCount(), 0);
        island->setFaded(false);
        QTRY_COMPARE_WITH_TIMEOUT(island->opacity(), 1.0, 2000);
        QVERIFY(!island->graphicsEffect()->isEnabled());
    }

    void pageButtonOpensTheOverview()
    {
        PdfCanvas canvas;
        new InkToolbar(&canvas); // owned by the canvas's viewport
        openCanvas(canvas);
        InkToolbar *island = canvas.inkToolbar();
        QToolButton *page = island->button(B::Page);
        QCOMPARE(page->text(), QStringLiteral("1 / 3"));
        canvas.goToPage(2);
        QTRY_COMPARE(page->text(), QStringLiteral("3 / 3"));
        QVERIFY(!island->pageGrid());
        QTest::mouseClick(page, Qt::LeftButton);
        QVERIFY(island->pageGrid() && island->pageGrid()->isVisible());
        QVERIFY(island->hasOpenOverlay());
        QTest::mouseClick(page, Qt::LeftButton);
        QVERIFY(!island->pageGrid()->isVisible());
        QVERIFY(!island->hasOpenOverlay());

        canvas.closeDocument();
        QCOMPARE(page->text(), QStringLiteral("- / -"));
        QVERIFY(!page->isEnabled());
    }

    void undoRedoFollowTheCanvas()
    {
        PdfCanvas canvas;
        new InkToolbar(&canvas); // owned by the canvas's viewport
        openCanvas(canvas);
        InkToolbar *island = canvas.inkToolbar();
        QToolButton *undo = island->button(B::Undo);
        QToolButton *redo = island->button(B::Redo);
        QVERIFY(!undo->isEnabled() && !redo->isEnabled());
        QVERIFY(TestUtil::drawMouseStroke(&canvas, 0.1));
        QVERIFY(undo->isEnabled() && !redo->isEnabled());
        QTest::mouseClick(undo, Qt::LeftButton);
        QCOMPARE(canvas.strokeCount(), 0);
        QVERIFY(!undo->isEnabled() && redo->isEnabled());
        QTest::mouseClick(redo, Qt::LeftButton);
        QCOMPARE(canvas.strokeCount(), 1);
        QVERIFY(undo->isEnabled() && !redo->isEnabled());
    }

    void requestButtonsEmit()
    {
        PdfCanvas canvas;
        new InkToolbar(&canvas); // owned by the canvas's viewport
        openCanvas(canvas);
        InkToolbar *island = canvas.inkToolbar();
        QSignalSpy save(island, &InkToolbar::saveRequested);
        QSignalSpy saveAs(island, &InkToolbar::saveAsRequested);
        QSignalSpy settings(island, &InkToolbar::settingsRequested);
        QSignalSpy fullscreen(island, &InkToolbar::fullscreenRequested);
        click(island, B::Pen);
        QVERIFY(island->penPalette()->isVisible());
        click(island, B::Save);
        QVERIFY(!island->penPalette()->isVisible());
        click(island, B::SaveAs);
        click(island, B::Settings);
        click(island, B::Fullscreen);
        QCOMPARE(save.count() + saveAs.count() + settings.count() + fullscreen.count(), 4);
        QVERIFY(save.count() == 1 && fullscreen.count() == 1);
        island->setFullscreenActive(true);
        QCOMPARE(island->button(B::Fullscreen)->toolTip(), QStringLiteral("退出全屏（Esc）"));
    }

    void swatchRingMarksThePenColour()
    {
        PdfCanvas canvas;
        new InkToolbar(&canvas); // owned by the canvas's viewport
        openCanvas(canvas);
        InkToolbar *island = canvas.inkToolbar();
        click(island, B::Pen);
        const QList<ColorSwatch *> &swatches = island->penPalette()->swatches();
        ColorSwatch *red = swatches.at(0);
        ColorSwatch *blue = swatches.at(1);
        QVERIFY(red->isChecked() && !blue->isChecked());
        QWidget *frame = island->penPalette()->findChild<QFrame *>(QStringLiteral("penPalette"));
        const auto pixel = [frame](ColorSwatch *swatch, const QPointF &at) {
            const QImage image = frame->grab().toImage();
            return image.pixelColor(swatch->mapTo(frame, at.toPoint()));
        };
        const auto ringPixel = [&](ColorSwatch *swatch) {
            const double b = std::max(0.085 * swatch->width(), 2.0);
            return pixel(swatch, QPointF(swatch->width() / 2.0, b / 2));
        };
        QVERIFY(distance(ringPixel(red), theme().accent) < 40);
        QCOMPARE(ringPixel(blue), theme().bar);
        QCOMPARE(pixel(blue, blue->rect().center()), blue->color());
        QTest::mouseMove(blue);
        QTRY_VERIFY(blue->underMouse());
        const QColor hover = ringPixel(blue);
        QVERIFY(distance(hover, theme().bar) > 6 && distance(hover, theme().accent) > 60);
    }

    void themeChangeRestylesTheIsland()
    {
        PdfCanvas canvas;
        new InkToolbar(&canvas); // owned by the canvas's viewport
        openCanvas(canvas);
        InkToolbar *island = canvas.inkToolbar();
        const QString lightBar = cssColor(theme().bar);
        QVERIFY(island->styleSheet().contains(lightBar));
        QVERIFY(setThemeMode(2));
        recomputeTheme();
        auto restore = qScopeGuard([] {
            setThemeMode(0);
            recomputeTheme();
        });
        canvas.applyCanvasTheme();
        QVERIFY(!island->styleSheet().contains(lightBar));
        QVERIFY(island->styleSheet().startsWith(
                QStringLiteral("QFrame#inkChip { background: %1;").arg(cssColor(theme().bar))));
        QVERIFY(island->penPalette()->styleSheet().contains(cssColor(theme().bar)));
    }

    void indicatorSitsUnderTheCheckedTool()
    {
        PdfCanvas canvas;
        new InkToolbar(&canvas); // owned by the canvas's viewport
        openCanvas(canvas);
        InkToolbar *island = canvas.inkToolbar();
        ToolIndicator *indicator = island->toolIndicator();
        const auto highlighted = [&](B which) {
            QToolButton *b = island->button(which);
            const QImage image = island->grab().toImage();
            const QPoint probe = b->mapTo(island, QPoint(b->width() / 2, 3));
            const QColor expected = over(theme().accentSoft, theme().bar);
            const QColor seen = image.pixelColor(probe);
            return distance(seen, expected) <= 4 && distance(seen, theme().bar) > 6;
        };
        QCOMPARE(indicator->geometry(), island->button(B::Pen)->geometry());
        QVERIFY(highlighted(B::Pen));
        QVERIFY(!highlighted(B::Eraser));
        canvas.setTool(PdfCanvas::InkTool::Eraser);
        QCOMPARE(indicator->geometry(), island->button(B::Eraser)->geometry());
        QVERIFY(highlighted(B::Eraser));
        QVERIFY(!highlighted(B::Pen));
        // It follows its button through a re-layout.
        island->setToolbarStyle(InkToolbar::Text);
        QCoreApplication::processEvents();
        QCOMPARE(indicator->geometry(), island->button(B::Eraser)->geometry());
    }
};

QTEST_MAIN(TestInkToolbar)
#include "tst_inktoolbar.moc"

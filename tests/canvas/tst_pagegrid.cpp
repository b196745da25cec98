#include "testutil.h"

#include "ui/theme.h"
#include "canvas/pagegrid.h"
#include "canvas/pdfcanvas.h"

#include <QElapsedTimer>
#include <QFile>
#include <QMouseEvent>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <memory>

namespace {

constexpr int kWaitMs = 10000;

// A PDF of good pages followed by one the library counts but cannot load:
// an empty page-tree node claiming a page. That last page has no size and
// renders as a null image, while the document itself opens fine.
bool writePdfWithBrokenLastPage(const QString &path, int goodPages)
{
    QList<QByteArray> objects;
    QByteArray kids;
    for (int i = 0; i < goodPages; ++i)
        kids += QByteArray::number(4 + i) + " 0 R ";
    kids += QByteArray::number(4 + goodPages) + " 0 R";
    objects << "<< /Type /Catalog /Pages 2 0 R >>";
    objects << "<< /Type /Pages /Kids [" + kids + "] /Count " + QByteArray::number(goodPages + 1)
                    + " >>";
    objects << "<< /Length 0 >>\nstream\n\nendstream";
    for (int i = 0; i < goodPages; ++i)
        objects << "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Contents 3 0 R >>";
    objects << "<< /Type /Pages /Parent 2 0 R /Kids [] /Count 1 >>";
    QByteArray out = "%PDF-1.4\n";
    QList<int> offsets;
    for (int i = 0; i < objects.size(); ++i) {
        offsets << int(out.size());
        out += QByteArray::number(i + 1) + " 0 obj\n" + objects.at(i) + "\nendobj\n";
    }
    const int xref = int(out.size());
    out += "xref\n0 " + QByteArray::number(objects.size() + 1) + "\n0000000000 65535 f \n";
    for (const int offset : offsets)
        out += QByteArray::number(offset).rightJustified(10, '0') + " 00000 n \n";
    out += "trailer\n<< /Size " + QByteArray::number(objects.size() + 1)
            + " /Root 1 0 R >>\nstartxref\n" + QByteArray::number(xref) + "\n%%EOF\n";
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(out) == out.size();
}

QList<int> onScreenPages(const PageGrid &grid)
{
    QList<int> pages;
    for (int i = 0; i < grid.cellCount(); ++i) {
        if (grid.isCellOnScreen(i))
            pages << i;
    }
    return pages;
}

// Spins the event loop until every cell on screen has its thumbnail (or
// failed).
bool waitForOnScreenThumbnails(const PageGrid &grid)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < kWaitMs) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        const QList<int> pages = onScreenPages(grid);
        const bool done = !pages.isEmpty() && std::all_of(pages.begin(), pages.end(), [&](int p) {
            return grid.hasThumbnail(p) || grid.isFailed(p);
        });
        if (done)
            return true;
    }
    return false;
}

// Spins until the grid has asked for as many thumbnails as it may at once.
bool waitForRequestsInFlight(const PageGrid &grid)
{
    QElapsedTimer clock;
    clock.start();
    while (grid.requestsInFlight() < 2 && clock.elapsed() < kWaitMs)
        QCoreApplication::processEvents();
    return grid.requestsInFlight() == 2;
}

// Mouse events with explicit screen positions: a cell that scrolls under
// a dragging finger must still see where the finger really is.
void sendMouse(QWidget *target, QEvent::Type type, const QPoint &global, Qt::MouseButtons buttons)
{
    const QPointF local = target->mapFromGlobal(QPointF(global));
    QMouseEvent event(type, local, local, QPointF(global), Qt::LeftButton, buttons, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &event);
}

int countNear(const QImage &image, const QColor &color, int tolerance = 24)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (std::abs(c.red() - color.red()) + std::abs(c.green() - color.green())
                        + std::abs(c.blue() - color.blue())
                < tolerance)
                ++count;
        }
    }
    return count;
}

} // namespace

class tst_PageGrid : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void requestsOnlyOnScreenTwoAtATime();
    void trimBoundsCache();
    void trimNeverDropsOnScreenCells();
    void tapJumpsAndDragScrolls();
    void currentPageFramedAndFollowsCanvas();
    void documentChangeForgetsThumbnails();
    void failedPageShowsGlyphInItsCellOnly();
    void closingWithRequestsInFlightIsSafe();
    void outsidePressAnchorAndEscape();
    void columns_data();
    void columns();
    void emptyCanvasDoesNotOpen();
    void tallerCanvasShowsNewRows();
    void neverReadsPageSizes();

private:
    QString writeA4(const QString &name, int pages, const QString &text = QString());
    std::unique_ptr<QTemporaryDir> m_dir;
};

void tst_PageGrid::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

QString tst_PageGrid::writeA4(const QString &name, int pages, const QString &text)
{
    const QString path = m_dir->filePath(name);
    return TestUtil::writeA4Pdf(path, pages, text) ? path : QString();
}

void tst_PageGrid::requestsOnlyOnScreenTwoAtATime()
{
    PdfCanvas canvas;
    QVERIFY(TestUtil::showCanvas(canvas, writeA4(QStringLiteral("a.pdf"), 120), QSize(1000, 700)));
    QTest::qWait(50);
    const int rendersBefore = canvas.syncRenderCount();
    PageGrid grid(&canvas, nullptr);
    grid.openGrid();
    QVERIFY(grid.isVisible());
    // Each arrival lets the grid ask again; count what is then in flight.
    int maxInFlight = 0;
    connect(&canvas, &PdfCanvas::thumbnailRendered, &grid,
            [&] { maxInFlight = std::max(maxInFlight, grid.requestsInFlight()); });
    QVERIFY(waitForRequestsInFlight(grid));
    const QList<int> firstScreen = onScreenPages(grid);
    QVERIFY(firstScreen.size() > 2);

    // The cells that asked first scroll away before their turn comes.
    QScrollBar *bar = grid.scrollArea()->verticalScrollBar();
    bar->setValue(bar->maximum());
    QVERIFY(waitForOnScreenThumbnails(grid));
    QCOMPARE(maxInFlight, 2);
    const QList<int> lastScreen = onScreenPages(grid);
    int fromFirstScreen = 0;
    for (int page = 0; page < grid.cellCount(); ++page) {
        if (!grid.hasThumbnail(page))
            continue;
        QVERIFY(lastScreen.contains(page) || firstScreen.contains(page));
        fromFirstScreen += firstScreen.contains(page) ? 1 : 0;
    }
    QVERIFY(fromFirstScreen <= 2); // only those already in flight
    QCOMPARE(grid.requestsInFlight(), 0);
    // Neither opening nor painting the grid rendered on this thread.
    QCOMPARE(canvas.syncRenderCount(), rendersBefore);
}

void tst_PageGrid::trimBoundsCache()
{
    PdfCanvas canvas;
    QVERIFY(TestUtil::showCanvas(canvas, writeA4(QStringLiteral("long.pdf"), 260), QSize(900, 700)));
    PageGrid grid(&canvas, nullptr);
    grid.openGrid();
    QScrollBar *bar = grid.scrollArea()->verticalScrollBar();
    QVERIFY(waitForOnScreenThumbnails(grid));
    // Every page here has the same size, so every thumbnail the same bytes.
    const qint64 each = grid.thumbnailBytes() / grid.thumbnailCount();
    QCOMPARE(grid.thumbnailBytes(), each * grid.thumbnailCount());
    int seen = 0;
    for (int value = 0;; value = std::min(value + grid.scrollArea()->height(), bar->maximum())) {
        bar->setValue(value);
        QVERIFY(waitForOnScreenThumbnails(grid));
        seen += int(onScreenPages(grid).size());
        if (value == bar->maximum())
            break;
    }
    QVERIFY(seen > 120);
    for (const int page : onScreenPages(grid))
        QVERIFY(grid.hasThumbnail(page));
    QVERIFY(grid.thumbnailCount() <= 80);
    QVERIFY(grid.thumbnailCount() >= 60);
    QCOMPARE(grid.thumbnailBytes(), each * grid.thumbnailCount());
    QVERIFY(!grid.hasThumbnail(0)); // the oldest went first
}

void tst_PageGrid::trimNeverDropsOnScreenCells()
{
    // A window tall enough to show more cells than the cache holds.
    PdfCanvas canvas;
    QVERIFY(TestUtil::showCanvas(canvas, writeA4(QStringLiteral("long.pdf"), 300), QSize(1020, 3900)));
    canvas.setZoom(PdfCanvas::kMinZoom);
    PageGrid grid(&canvas, nullptr);
    grid.openGrid();
    QVERIFY(waitForOnScreenThumbnails(grid));
    QVERIFY(onScreenPages(grid).size() > 80);
    QCOMPARE(grid.thumbnailCount(), onScreenPages(grid).size());

    QScrollBar *bar = grid.scrollArea()->verticalScrollBar();
    bar->setValue(bar->maximum());
    QVERIFY(waitForOnScreenThumbnails(grid));
    const QList<int> shown = onScreenPages(grid);
    QVERIFY(shown.size() > 80);
    // Over the cap with cells on screen alone: everything else is gone.
    QCOMPARE(grid.thumbnailCount(), shown.size());
    for (const int page : shown)
        QVERIFY(grid.hasThumbnail(page));
}

void tst_PageGrid::tapJumpsAndDragScrolls()
{
    PdfCanvas canvas;
    QVERIFY(TestUtil::showCanvas(canvas, writeA4(QStringLiteral("a.pdf"), 80), QSize(900, 700)));
    PageGrid grid(&canvas, nullptr);
    grid.openGrid();
    QVERIFY(waitForOnScreenThumbnails(grid));

    // A short tap jumps and closes.
    QTest::mouseClick(grid.cell(5), Qt::LeftButton, Qt::NoModifier, grid.cell(5)->rect().center());
    QCOMPARE(canvas.currentPage(), 5);
    QVERIFY(!grid.isVisible());

    // So does a finger: the touch no cell takes comes back as a click, and
    // never reaches the canvas beneath as ink.
    canvas.goToPage(0);
    grid.openGrid();
    const int strokes = canvas.strokeCount();
    QPointingDevice *touch = QTest::createTouchDevice();
    const QPoint at = grid.cell(7)->mapTo(canvas.window(), grid.cell(7)->rect().center());
    QTest::touchEvent(canvas.window(), touch).press(0, at);
    QTest::touchEvent(canvas.window(), touch).release(0, at);
    QTRY_COMPARE(canvas.currentPage(), 7);
    QVERIFY(!grid.isVisible());
    QCOMPARE(canvas.strokeCount(), strokes);

    // A drag across cells scrolls the grid and lands nowhere.
    canvas.goToPage(0);
    grid.openGrid();
    QVERIFY(waitForOnScreenThumbnails(grid));
    QScrollBar *bar = grid.scrollArea()->verticalScrollBar();
    QCOMPARE(bar->value(), 0);
    PageGrid::PageCell *pressed = grid.cell(grid.columns()); // second row
    QSignalSpy clicks(pressed, &QAbstractButton::clicked);
    const QPoint start = pressed->mapToGlobal(pressed->rect().center());
    sendMouse(pressed, QEvent::MouseButtonPress, start, Qt::LeftButton);
    QVERIFY(pressed->isDown());
    for (int step = 1; step <= 6; ++step)
        sendMouse(pressed, QEvent::MouseMove, start - QPoint(0, 20 * step), Qt::LeftButton);
    QVERIFY(pressed->isDragging());
    QVERIFY(!pressed->isDown());
    QCOMPARE(bar->value(), 120);
    sendMouse(pressed, QEvent::MouseButtonRelease, start - QPoint(0, 120), Qt::NoButton);
    QCOMPARE(clicks.count(), 0);
    QVERIFY(grid.isVisible());
    QCOMPARE(canvas.currentPage(), 0);
}

void tst_PageGrid::currentPageFramedAndFollowsCanvas()
{
    PdfCanvas canvas;
    QVERIFY(TestUtil::showCanvas(canvas, writeA4(QStringLiteral("a.pdf"), 12), QSize(900, 700)));
    PageGrid grid(&canvas, nullptr);
    grid.openGrid();
    QVERIFY(waitForOnScreenThumbnails(grid));
    const QColor accent = theme().accent;
    QVERIFY(countNear(grid.cell(0)->grab().toImage(), accent) > 50);
    QCOMPARE(countNear(grid.cell(4)->grab().toImage(), accent), 0);

    canvas.goToPage(4);
    QCOMPARE(canvas.currentPage(), 4);
    QCOMPARE(grid.currentPage(), 4);
    QVERIFY(countNear(grid.cell(4)->grab().toImage(), accent) > 50);
    QCOMPARE(countNear(grid.cell(0)->grab().toImage(), accent), 0);
}

void tst_PageGrid::documentChangeForgetsThumbnails()
{
    PdfCanvas canvas;
    QVERIFY(TestUtil::showCanvas(canvas, writeA4(QStringLiteral("a.pdf"), 30, QStringLiteral("A")),
                                 QSize(900, 700)));
    PageGrid grid(&canvas, nullptr);
    grid.openGrid();
    QVERIFY(waitForOnScreenThumbnails(grid));
    QVERIFY(grid.thumbnailCount() > 0);
    PageGrid::PageCell *firstCell = grid.cell(0);

    QVERIFY(canvas.openPdf(writeA4(QStringLiteral("b.pdf"), 30, QStringLiteral("B"))));
    QCOMPARE(grid.thumbnailCount(), 0);
    QCOMPARE(grid.thumbnailBytes(), 0);
    QCOMPARE(grid.requestsInFlight(), 0);
    QCOMPARE(grid.cell(0), firstCell); // same count: the cells stay
    QVERIFY(waitForOnScreenThumbnails(grid));
}

void tst_PageGrid::failedPageShowsGlyphInItsCellOnly()
{
    const QString pdf = m_dir->filePath(QStringLiteral("broken.pdf"));
    QVERIFY(writePdfWithBrokenLastPage(pdf, 2));
    PdfCanvas canvas;
    QVERIFY(TestUtil::showCanvas(canvas, pdf, QSize(900, 700)));
    QCOMPARE(canvas.pageCount(), 3);
    PageGrid grid(&canvas, nullptr);
    grid.openGrid();
    QVERIFY(waitForOnScreenThumbnails(grid));
    QVERIFY(grid.isFailed(2));
    QVERIFY(grid.hasThumbnail(0) && grid.hasThumbnail(1));

    // The glyph's grey strokes sit in the middle of the failed cell; the
    // others show white paper there.
    const auto middle = [&](int page) {
        const QImage image = grid.cell(page)->grab().toImage();
        return image.copy(image.width() / 4, image.height() / 4, image.width() / 2,
                          image.height() / 3);
    };
    const QImage fine = middle(1);
    QVERIFY(countNear(fine, Qt::white, 6) > fine.width() * fine.height() * 9 / 10);
    QCOMPARE(countNear(middle(2), Qt::white, 6), 0);
    // textDisabled is translucent: its strokes show blended over the frame's fill.
    const QColor ink = theme().textDisabled;
    const QColor under = theme().fillStrong;
    const auto mix = [&](int a, int b) { return int(std::lround(a * ink.alphaF() + b * (1 - ink.alphaF()))); };
    const QColor stroke(mix(ink.red(), under.red()), mix(ink.green(), under.green()),
                        mix(ink.blue(), under.blue()));
    QVERIFY(countNear(middle(2), stroke, 30) > 20);

    // Painting the failed cell again asks for nothing.
    grid.cell(2)->repaint();
    QTest::qWait(50);
    QCOMPARE(grid.requestsInFlight(), 0);
    QVERIFY(grid.isFailed(2));
}

void tst_PageGrid::closingWithRequestsInFlightIsSafe()
{
    const QString first = writeA4(QStringLiteral("a.pdf"), 60);
    auto canvas = std::make_unique<PdfCanvas>();
    QVERIFY(TestUtil::showCanvas(*canvas, first, QSize(900, 700)));
    auto *grid = new PageGrid(canvas.get(), nullptr);
    grid->openGrid();
    QVERIFY(waitForRequestsInFlight(*grid));

    canvas->closeDocument();
    QVERIFY(!grid->isVisible());
    QCOMPARE(grid->cellCount(), 0);
    QCOMPARE(grid->requestsInFlight(), 0);
    QTest::qWait(200); // late results land and are dropped
    QCOMPARE(grid->thumbnailCount(), 0);
    grid->openGrid();
    QVERIFY(!grid->isVisible());

    // The same file opened again in the same canvas gets its thumbnails:
    // requests cut off by a close must not stand for the new ones.
    for (int round = 0; round < 5; ++round) {
        QVERIFY(canvas->openPdf(first));
        grid->openGrid();
        QVERIFY(waitForOnScreenThumbnails(*grid));
        grid->hide();
        canvas->closeDocument();
        QVERIFY(canvas->openPdf(first));
        grid->openGrid();
        QVERIFY(waitForRequestsInFlight(*grid));
        canvas->closeDocument();
    }
    QVERIFY(canvas->openPdf(first));
    grid->openGrid();
    QVERIFY(waitForOnScreenThumbnails(*grid));

    // Destroying the canvas with thumbnails still being rendered.
    QVERIFY(canvas->openPdf(first));
    grid->openGrid();
    QVERIFY(waitForRequestsInFlight(*grid));
    canvas.reset();
    QTest::qWait(200);
}

void tst_PageGrid::outsidePressAnchorAndEscape()
{
    PdfCanvas canvas;
    QVERIFY(TestUtil::showCanvas(canvas, writeA4(QStringLiteral("a.pdf"), 20), QSize(900, 700)));
    auto *anchor = new QPushButton(QStringLiteral("页"), canvas.viewport());
    anchor->setGeometry(10, 10, 60, 40);
    anchor->show();
    PageGrid grid(&canvas, anchor);
    grid.openGrid();
    QVERIFY(grid.isVisible());

    QTest::mouseClick(anchor, Qt::LeftButton);
    QVERIFY(grid.isVisible());
    // The canvas scrolling under the open panel leaves it where it is.
    const QPoint placed = grid.pos();
    canvas.verticalScrollBar()->setValue(canvas.verticalScrollBar()->value() + 300);
    QCOMPARE(grid.pos(), placed);
    QTest::mousePress(&grid, Qt::LeftButton, Qt::NoModifier, QPoint(grid.width() / 2, 4));
    QVERIFY(grid.isVisible());

    const QPoint outside(canvas.viewport()->width() - 5, canvas.viewport()->height() - 5);
    QVERIFY(!grid.geometry().contains(outside));
    QTest::mousePress(canvas.viewport(), Qt::LeftButton, Qt::NoModifier, outside);
    QVERIFY(!grid.isVisible());
    QTest::mouseRelease(canvas.viewport(), Qt::LeftButton, Qt::NoModifier, outside);

    grid.openGrid();
    QPointingDevice *touch = QTest::createTouchDevice();
    QTest::touchEvent(canvas.window(), touch).press(0, canvas.viewport()->mapTo(canvas.window(), outside));
    QVERIFY(!grid.isVisible());
    QTest::touchEvent(canvas.window(), touch).release(0, canvas.viewport()->mapTo(canvas.window(), outside));

    grid.openGrid();
    QTest::keyClick(&canvas, Qt::Key_Escape);
    QVERIFY(!grid.isVisible());
}

void tst_PageGrid::columns_data()
{
    QTest::addColumn<int>("pages");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<int>("expected");
    QTest::newRow("one page, one column") << 1 << QSize(900, 700) << 1;
    QTest::newRow("wide window, at most eight") << 100 << QSize(2400, 900) << 8;
    QTest::newRow("narrow window, still two") << 40 << QSize(330, 600) << 2;
}

void tst_PageGrid::columns()
{
    QFETCH(int, pages);
    QFETCH(QSize, size);
    QFETCH(int, expected);
    PdfCanvas canvas;
    QVERIFY(TestUtil::showCanvas(canvas, writeA4(QStringLiteral("a.pdf"), pages), size));
    PageGrid grid(&canvas, nullptr);
    grid.openGrid();
    QCOMPARE(grid.columns(), expected);
    QVERIFY(grid.isCellOnScreen(0));
    QVERIFY(waitForOnScreenThumbnails(grid));
    // Centred over the canvas.
    const QWidget *view = canvas.viewport();
    QVERIFY(std::abs(grid.geometry().center().x() - view->rect().center().x()) <= 1
            || grid.x() == 0);

    // Narrowing the window while the grid is open lays it out again.
    if (expected == 8) {
        canvas.resize(330, 600);
        QTRY_COMPARE(grid.columns(), 2);
        QVERIFY(QRect(QPoint(0, 0), canvas.viewport()->size()).contains(grid.geometry()));
    }
}

void tst_PageGrid::emptyCanvasDoesNotOpen()
{
    PdfCanvas canvas;
    canvas.resize(800, 600);
    canvas.show();
    QVERIFY(QTest::qWaitForWindowExposed(&canvas));
    PageGrid grid(&canvas, nullptr);
    grid.openGrid();
    QVERIFY(!grid.isVisible());
    QCOMPARE(grid.cellCount(), 0);
}

QTEST_MAIN(tst_PageGrid)
// The canvas grows taller with the same columns (a window maximised, the
// tab strip hidden in full screen): the rows that come into view fill in.
void tst_PageGrid::tallerCanvasShowsNewRows()
{
    PdfCanvas canvas;
    QVERIFY(TestUtil::showCanvas(canvas, writeA4(QStringLiteral("tall.pdf"), 60), QSize(900, 420)));
    PageGrid grid(&canvas, nullptr);
    grid.openGrid();
    QVERIFY(waitForOnScreenThumbnails(grid));
    const int columns = grid.columns();
    const int before = int(onScreenPages(grid).size());

    canvas.resize(900, 1000);
    QTRY_VERIFY(grid.scrollArea()->height() > 400);
    QCOMPARE(grid.columns(), columns);
    // Every cell in the scroll area's view is shown and gets its picture.
    const QRect view(grid.scrollArea()->widget()->mapFrom(grid.scrollArea()->viewport(), QPoint(0, 0)),
                     grid.scrollArea()->viewport()->size());
    int inView = 0;
    for (int page = 0; page < grid.cellCount(); ++page) {
        if (!view.intersects(grid.cell(page)->geometry()))
            continue;
        ++inView;
        QVERIFY2(grid.isCellOnScreen(page), qPrintable(QStringLiteral("page %1 left blank").arg(page + 1)));
    }
    QVERIFY(inView > before);
    QVERIFY(waitForOnScreenThumbnails(grid));
}

// Sizes not yet read stay unread: the placeholders take the canvas's
// estimate and thumbnails wait for the canvas's own background pass.
void tst_PageGrid::neverReadsPageSizes()
{
    QList<QSizeF> sizes(80, QSizeF(595, 842));
    for (int page = 3; page < sizes.size(); page += 7)
        sizes[page] = QSizeF(842, 595);
    const QString path = m_dir->filePath(QStringLiteral("mixed.pdf"));
    QVERIFY(TestUtil::writePdf(path, sizes));
    PdfCanvas canvas;
    canvas.resize(900, 700);
    canvas.show();
    QVERIFY(QTest::qWaitForWindowExposed(&canvas));
    // Shown first, so no event runs between the open and the checks.
    QVERIFY(canvas.openPdf(path));
    const int known = canvas.knownPageSizes();
    QVERIFY(known < 10);
    PageGrid grid(&canvas, nullptr);
    grid.openGrid();
    QVERIFY(!grid.grab().isNull());
    QCOMPARE(canvas.knownPageSizes(), known);

    QVERIFY(waitForOnScreenThumbnails(grid));
    // Each picture has its page's real shape.
    for (int page : onScreenPages(grid)) {
        if (!grid.hasThumbnail(page))
            continue;
        const QSizeF pt = canvas.pageSizePt(page);
        QCOMPARE(grid.thumbnailSize(page).width() > grid.thumbnailSize(page).height(), pt.width() > pt.height());
    }
}

#include "tst_pagegrid.moc"

#include "ui/theme.h"
#include "canvas/pdfcanvas.h"
#include "testutil.h"

#include <QApplication>
#include <QPaintEvent>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>

class CanvasTestAccess
{
public:
    static void paint(PdfCanvas &canvas, QPainter &painter) { canvas.paintCanvas(painter); }
};

// Records the regions the viewport is asked to repaint.
class PaintRegions : public QObject
{
public:
    QRegion painted;
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            painted += static_cast<QPaintEvent *>(event)->region();
        return QObject::eventFilter(watched, event);
    }
};

// What the canvas paints, checked by its pixels.
class TestCanvasPaint : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_pdf;

    static int distance(QRgb a, const QColor &b)
    {
        return qAbs(qRed(a) - b.red()) + qAbs(qGreen(a) - b.green()) + qAbs(qBlue(a) - b.blue());
    }

    // The test pages are printed edge to edge in this colour, so that a
    // corner not clipped round would show it.
    static QColor pageFill() { return QColor(60, 120, 220); }
    static bool isPage(QRgb pixel) { return distance(pixel, pageFill()) <= 12; }
    // The corner of a sheet: the desk (a little darker under the shadow).
    static bool isDeskNotPage(QRgb pixel)
    {
        return distance(pixel, pageFill()) > 3 * 40 && distance(pixel, theme().desk) < 3 * 40;
    }

    static bool writeFullBleedPdf(const QString &path, int pages)
    {
        QPdfWriter writer(path);
        writer.setResolution(72);
        writer.setPageLayout(QPageLayout(QPageSize(QSizeF(595, 842), QPageSize::Point, QString(),
                                                   QPageSize::ExactMatch),
                                         QPageLayout::Portrait, QMarginsF()));
        QPainter painter;
        if (!painter.begin(&writer))
            return false;
        for (int i = 0; i < pages; ++i) {
            if (i > 0)
                writer.newPage();
            painter.fillRect(QRectF(-5, -5, 605, 852), pageFill());
        }
        return painter.end();
    }

private slots:
    void initTestCase()
    {
        // A large font gives a large corner radius, so the corner is
        // several whole pixels wide.
        QFont font = QApplication::font();
        font.setPixelSize(36);
        QApplication::setFont(font);
        m_pdf = m_dir.filePath(QStringLiteral("课件.pdf"));
        QVERIFY(writeFullBleedPdf(m_pdf, 3));
    }

    void roundedCornerShowsDesk()
    {
        PdfCanvas canvas;
        canvas.resize(800, 600);
        canvas.show();
        QVERIFY(QTest::qWaitForWindowExposed(&canvas));
        QVERIFY(canvas.openPdf(m_pdf));
        QVERIFY(canvas.sheetCornerRadius() >= 8);
        const QImage image = canvas.viewport()->grab().toImage();
        const QRectF sheet = canvas.pageRect(0);
        const QPoint corner(int(std::ceil(sheet.left())), int(std::ceil(sheet.top())));
        QVERIFY2(isDeskNotPage(image.pixel(corner)), qPrintable(QColor(image.pixel(corner)).name()));
        const QPoint otherCorner(int(sheet.right()) - 1, int(std::ceil(sheet.top())));
        QVERIFY(isDeskNotPage(image.pixel(otherCorner)));
        // Just inside the curve the page shows.
        const double r = canvas.sheetCornerRadius();
        QVERIFY(isPage(image.pixel(corner + QPoint(int(r), int(r)))));
        QVERIFY(isPage(image.pixel(QPoint(int(sheet.left() + r), int(sheet.top()) + 3))));
        // The desk beside the sheet.
        QVERIFY(distance(image.pixel(2, int(sheet.center().y())), theme().desk) <= 6);
    }

    void partialRepaints_data()
    {
        QTest::addColumn<bool>("atCorner");
        QTest::newRow("top-left corner only") << true;
        QTest::newRow("inside the sheet") << false;
    }

    void partialRepaints()
    {
        QFETCH(bool, atCorner);
        PdfCanvas canvas;
        canvas.resize(800, 600);
        canvas.setAttribute(Qt::WA_DontShowOnScreen);
        canvas.show();
        QTest::qWait(50);
        QVERIFY(canvas.openPdf(m_pdf));
        const QRectF sheet = canvas.pageRect(0);
        const QPoint corner(int(std::ceil(sheet.left())), int(std::ceil(sheet.top())));
        // Inside the first tile, clear of the corner squares and the text.
        const QPoint middle = sheet.topLeft().toPoint() + QPoint(80, 80);
        const QRect clip = atCorner ? QRect(corner - QPoint(4, 4), QSize(40, 40))
                                    : QRect(middle - QPoint(20, 20), QSize(40, 40));
        QImage image(canvas.viewport()->size(), QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::magenta);
        QPainter painter(&image);
        painter.setClipRect(clip);
        CanvasTestAccess::paint(canvas, painter);
        painter.end();
        // Outside the clip nothing was touched.
        QCOMPARE(image.pixel(clip.bottomRight() + QPoint(5, 5)), QColor(Qt::magenta).rgb());
        if (atCorner) {
            QVERIFY(isDeskNotPage(image.pixel(corner)));
            QVERIFY(isPage(image.pixel(clip.bottomRight() - QPoint(2, 2))));
        } else {
            // Only the tile under the clip was rendered.
            QCOMPARE(canvas.cachedTileCount(0), 1);
            QVERIFY(isPage(image.pixel(middle)));
        }
    }

    void emptyStateIsCentred()
    {
        PdfCanvas canvas;
        canvas.resize(900, 1000);
        const QImage image = canvas.viewport()->grab().toImage();
        const QColor desk = theme().desk;
        const int band = 80; // well below the shaded band
        int left = image.width(), right = -1, top = image.height(), bottom = -1;
        for (int y = band; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                if (distance(image.pixel(x, y), desk) > 6) {
                    left = std::min(left, x);
                    right = std::max(right, x);
                    top = std::min(top, y);
                    bottom = std::max(bottom, y);
                }
            }
        }
        QVERIFY(right > left && bottom > top);
        QVERIFY(qAbs((left + right) / 2.0 - image.width() / 2.0) <= 2);
        QVERIFY(qAbs((top + bottom) / 2.0 - image.height() / 2.0) <= 0.1 * image.height());
        // The title is wider than the icon box.
        QVERIFY(right - left > std::max(6.4 * 36, 104.0));
    }

    void emptyStateInLowViewportStartsAt32()
    {
        PdfCanvas canvas;
        canvas.resize(400, 240);
        const QImage image = canvas.viewport()->grab().toImage();
        const int cx = image.width() / 2;
        // Same row, far left: the desk and band without the box.
        auto boxAt = [&](int y) { return distance(image.pixel(cx, y), image.pixel(2, y)) > 3; };
        QVERIFY(!boxAt(30));
        QVERIFY(boxAt(34));
        QVERIFY(boxAt(40));
    }

    void scrollingRepaintsStripAndBandOnly()
    {
        PdfCanvas canvas;
        canvas.resize(800, 600);
        canvas.show();
        QVERIFY(QTest::qWaitForWindowExposed(&canvas));
        QVERIFY(canvas.openPdf(m_pdf));
        QTest::qWait(50);
        PaintRegions regions;
        canvas.viewport()->installEventFilter(&regions);
        canvas.verticalScrollBar()->setValue(canvas.verticalScrollBar()->value() + 5);
        QTest::qWait(50);
        canvas.viewport()->removeEventFilter(&regions);
        const QRect view = canvas.viewport()->rect();
        QVERIFY(!regions.painted.isEmpty());
        // The band at the top (the desk shade stays where it is) and the strip
        // at the bottom are repainted; the middle is moved, not painted.
        QVERIFY(regions.painted.contains(QRect(0, 0, view.width(), 10)));
        QVERIFY(regions.painted.contains(QRect(0, view.height() - 5, view.width(), 5)));
        QVERIFY(!regions.painted.contains(view.center()));
    }

    void styleSheetFollowsTheTheme()
    {
        PdfCanvas canvas;
        QCOMPARE(canvas.objectName(), QStringLiteral("pdfCanvas"));
        QVERIFY(canvas.styleSheet().startsWith(
                QStringLiteral("QAbstractScrollArea#pdfCanvas { border: none; background: %1; }")
                        .arg(cssColor(theme().deskEdge))));
        QVERIFY(canvas.styleSheet().contains(QStringLiteral("QScrollBar:horizontal { background: transparent; height: 10px; margin: 2px 6px 2px 6px; }")));
        QVERIFY(canvas.viewport()->testAttribute(Qt::WA_OpaquePaintEvent));
        QCOMPARE(canvas.horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    }
};

QTEST_MAIN(TestCanvasPaint)
#include "tst_canvas_paint.moc"

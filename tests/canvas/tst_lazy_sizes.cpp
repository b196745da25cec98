#include "canvas/pdfcanvas.h"
#include "testutil.h"

#include <QPointingDevice>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

// Page sizes read after the first paint: what the teacher looks at stays
// put, and every size asked for is the real one.
class TestLazySizes : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QList<QSizeF> m_sizes;
    QString m_mixed;

    // Shown first, so no event runs between the open and the checks.
    static bool openShown(PdfCanvas &canvas, const QString &pdf)
    {
        // A bar appearing later would resize the viewport under the checks.
        canvas.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        canvas.resize(900, 700);
        canvas.show();
        return QTest::qWaitForWindowExposed(&canvas) && canvas.openPdf(pdf);
    }

private slots:
    void initTestCase()
    {
        // Portrait book with a landscape page, a tiny page and a huge one
        // above the middle, and the same oddities far below it.
        m_sizes = QList<QSizeF>(120, QSizeF(595, 842));
        m_sizes[10] = QSizeF(842, 595);
        m_sizes[20] = QSizeF(20, 20);
        m_sizes[30] = QSizeF(2000, 2800);
        m_sizes[100] = QSizeF(842, 595);
        m_sizes[110] = QSizeF(20, 20);
        m_mixed = m_dir.filePath(QStringLiteral("mixed.pdf"));
        QVERIFY(TestUtil::writePdf(m_mixed, m_sizes));
    }

    void pageUnderCentreStaysWhileSizesArrive()
    {
        PdfCanvas canvas;
        QVERIFY(openShown(canvas, m_mixed));
        QVERIFY(canvas.knownPageSizes() < canvas.pageCount());
        canvas.goToPage(50);
        const QPointF centre(canvas.viewport()->width() / 2.0, canvas.viewport()->height() / 2.0);
        const int page = canvas.pageAt(centre);
        QVERIFY(page >= 49 && page <= 50);
        const QPointF before = canvas.pageFraction(page, centre);

        QTRY_COMPARE_WITH_TIMEOUT(canvas.knownPageSizes(), canvas.pageCount(), 10000);
        QCOMPARE(canvas.pageAt(centre), page);
        const QPointF after = canvas.pageFraction(page, centre);
        const QRectF sheet = canvas.pageRect(page);
        QVERIFY2(std::abs(after.y() - before.y()) * sheet.height() < 1.5,
                 qPrintable(QStringLiteral("%1 -> %2").arg(before.y()).arg(after.y())));
        // Once every size is known no sheet keeps an estimate: each has its
        // real size and the gaps between them are all alike.
        const double gap = canvas.pageRect(1).top() - canvas.pageRect(0).bottom();
        for (int i = 0; i < canvas.pageCount(); ++i) {
            const QRectF r = canvas.pageRect(i);
            QVERIFY(std::abs(r.height() / canvas.scale() - m_sizes.at(i).height()) < 0.01);
            if (i > 0)
                QVERIFY(std::abs(r.top() - canvas.pageRect(i - 1).bottom() - gap) < 0.01);
        }
    }

    void farPagesHaveTheirRealSizeAtOnce()
    {
        PdfCanvas canvas;
        QVERIFY(openShown(canvas, m_mixed));
        QVERIFY(canvas.knownPageSizes() < canvas.pageCount());
        for (const int page : { 110, 100, 20 }) {
            const QRectF r = canvas.pageRect(page);
            QVERIFY2(std::abs(r.width() / canvas.scale() - m_sizes.at(page).width()) < 0.01
                             && std::abs(r.height() / canvas.scale() - m_sizes.at(page).height()) < 0.01,
                     qPrintable(QStringLiteral("page %1").arg(page + 1)));
        }
        QCOMPARE(canvas.pageSizePt(30), m_sizes.at(30));
        // Page 1 stays where it was while the far pages were read.
        QCOMPARE(canvas.currentPage(), 0);
    }

    // Writing in the first second after opening a book of mixed page
    // sizes: the wide page the background pass finds meanwhile must not
    // rescale the sheet under the pen. The line drawn straight on screen
    // stays straight on the page; the layout follows once the pen lifts.
    void strokeStaysStraightWhileSizesArrive()
    {
        PdfCanvas canvas;
        QVERIFY(openShown(canvas, m_mixed));
        QVERIFY(canvas.knownPageSizes() < canvas.pageCount());
        const double scaleAtPress = canvas.scale();
        const QRectF sheet = canvas.pageRect(0);
        const QPointF from(sheet.left() + 0.1 * sheet.width(), sheet.top() + 0.3 * sheet.height());
        QWidget *vp = canvas.viewport();
        const QPointingDevice stylus(QStringLiteral("test stylus"), 1001, QInputDevice::DeviceType::Stylus,
                                     QPointingDevice::PointerType::Pen,
                                     QInputDevice::Capability::Position | QInputDevice::Capability::Pressure, 1, 2);
        const auto pen = [&](QEvent::Type type, const QPointF &pos) {
            QTabletEvent event(type, &stylus, pos, vp->mapToGlobal(pos), type == QEvent::TabletRelease ? 0 : 0.6, 0, 0,
                               0, 0, 0, Qt::NoModifier, type == QEvent::TabletMove ? Qt::NoButton : Qt::LeftButton,
                               type == QEvent::TabletRelease ? Qt::NoButton : Qt::LeftButton);
            QCoreApplication::sendEvent(vp, &event);
        };
        constexpr int kSamples = 100;
        pen(QEvent::TabletPress, from);
        QVERIFY(canvas.isDrawing());
        for (int i = 1; i <= kSamples; ++i) {
            pen(QEvent::TabletMove, from + QPointF(5 * i, 0));
            // Room for the background pass between samples, as between a
            // real pen's frames.
            QTest::qWait(10);
        }
        pen(QEvent::TabletRelease, from + QPointF(5 * kSamples, 0));

        QCOMPARE(canvas.strokeCount(), 1);
        const Stroke stroke = canvas.ink().value(0).first();
        QVERIFY(stroke.points.size() > 10);
        // Within a few pixels of the line (the smoothing may round a corner
        // by a hair), and always moving on to the right.
        const double y = stroke.points.first().y();
        for (int i = 1; i < stroke.points.size(); ++i) {
            const QPointF p = stroke.points.at(i);
            QVERIFY2(std::abs(p.y() - y) < 0.004 && p.x() > stroke.points.at(i - 1).x() - 0.003,
                     qPrintable(QStringLiteral("point %1: %2,%3").arg(i).arg(p.x()).arg(p.y())));
        }
        QVERIFY(std::abs(stroke.points.last().x() - stroke.points.first().x() - 500 / sheet.width()) < 0.01);
        // The wide page was there to be found: with the pen up, it is.
        QTRY_COMPARE_WITH_TIMEOUT(canvas.knownPageSizes(), canvas.pageCount(), 10000);
        QVERIFY(canvas.scale() < scaleAtPress * 0.5);
    }

    void closingOrReopeningWhileReadingIsClean()
    {
        const QString book = m_dir.filePath(QStringLiteral("book.pdf"));
        QVERIFY(TestUtil::writeA4Pdf(book, 400));
        auto canvas = std::make_unique<PdfCanvas>();
        QVERIFY(openShown(*canvas, book));
        QTest::qWait(5);
        canvas->closeDocument();
        QTest::qWait(50);
        QCOMPARE(canvas->pageCount(), 0);
        QCOMPARE(canvas->pageSizePt(3), QSizeF());

        // A new document while the old one is half read starts afresh.
        QVERIFY(canvas->openPdf(book));
        QTest::qWait(5);
        QVERIFY(canvas->openPdf(m_mixed));
        QTRY_COMPARE_WITH_TIMEOUT(canvas->knownPageSizes(), int(m_sizes.size()), 10000);
        QCOMPARE(canvas->pageSizePt(110), m_sizes.at(110));

        // Destroyed mid-read.
        QVERIFY(canvas->openPdf(book));
        QTest::qWait(5);
        canvas.reset();
        QTest::qWait(50);
    }
};

QTEST_MAIN(TestLazySizes)
#include "tst_lazy_sizes.moc"

#include "testutil.h"

#include <QFont>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QElapsedTimer>
#include <QLocalSocket>
#include <QProcess>
#include <QTest>

#include "canvas/pdfcanvas.h"

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFWriter.hh>

namespace TestUtil {

bool writePdf(const QString &path, const QList<QSizeF> &pageSizesPt, const QString &text)
{
    if (pageSizesPt.isEmpty())
        return false;
    QPdfWriter writer(path);
    writer.setResolution(72); // one painter unit per PDF point
    auto layoutFor = [](const QSizeF &pt) {
        return QPageLayout(QPageSize(pt, QPageSize::Point, QString(), QPageSize::ExactMatch),
                           QPageLayout::Portrait, QMarginsF(0, 0, 0, 0));
    };
    writer.setPageLayout(layoutFor(pageSizesPt.first()));
    QPainter painter;
    if (!painter.begin(&writer))
        return false;
    for (int i = 0; i < pageSizesPt.size(); ++i) {
        if (i > 0) {
            writer.setPageLayout(layoutFor(pageSizesPt.at(i)));
            writer.newPage();
        }
        const QSizeF size = pageSizesPt.at(i);
        QFont font;
        font.setPixelSize(qMax(8, int(size.height() / 10)));
        painter.setFont(font);
        painter.setPen(Qt::black);
        painter.drawText(QRectF(0, 0, size.width(), size.height() / 2), Qt::AlignCenter,
                         QString::number(i + 1));
        if (!text.isEmpty()) {
            font.setPixelSize(qMax(6, int(size.height() / 40)));
            painter.setFont(font);
            painter.drawText(QRectF(0, size.height() / 2, size.width(), size.height() / 2),
                             Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap, text);
        }
    }
    return painter.end();
}

bool writeA4Pdf(const QString &path, int count, const QString &text)
{
    QList<QSizeF> sizes;
    for (int i = 0; i < count; ++i)
        sizes.append(QSizeF(595, 842));
    return writePdf(path, sizes, text);
}

QString lecternBinary()
{
    return QStringLiteral(LECTERN_BINARY);
}

QString dataDir()
{
    return QStringLiteral(LECTERN_TEST_DATA);
}

} // namespace TestUtil

namespace TestUtil {

bool showCanvas(PdfCanvas &canvas, const QString &pdf, const QSize &size)
{
    canvas.resize(size);
    if (!canvas.openPdf(pdf))
        return false;
    canvas.show();
    return QTest::qWaitForWindowExposed(&canvas);
}

bool showCanvas(PdfCanvas &canvas, const QString &pdf)
{
    return showCanvas(canvas, pdf, QSize(800, 600));
}

QPointF pagePoint(const PdfCanvas &canvas, double fx, double fy, int page)
{
    const QRectF r = canvas.pageRect(page);
    return QPointF(r.left() + fx * r.width(), r.top() + fy * r.height());
}

bool drawMouseStroke(PdfCanvas *canvas, double y)
{
    if (!canvas)
        return false;
    QElapsedTimer clock;
    clock.start();
    while (canvas->pageRect(0).isEmpty() && clock.elapsed() < 5000)
        QTest::qWait(20);
    if (canvas->pageRect(0).isEmpty())
        return false;
    const auto at = [canvas, y](double x) { return pagePoint(*canvas, x, y).toPoint(); };
    QWidget *viewport = canvas->viewport();
    QTest::mousePress(viewport, Qt::LeftButton, Qt::NoModifier, at(0.2));
    for (int i = 1; i <= 8; ++i)
        QTest::mouseMove(viewport, at(0.2 + 0.06 * i));
    QTest::mouseRelease(viewport, Qt::LeftButton, Qt::NoModifier, at(0.7));
    return true;
}

bool waitForServer(const QString &name, QProcess *owner)
{
    constexpr int kWaitMs = 60000;
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < kWaitMs && owner->state() == QProcess::Running) {
        QLocalSocket probe;
        probe.connectToServer(name);
        if (probe.waitForConnected(200)) {
            probe.disconnectFromServer();
            return true;
        }
        QTest::qWait(100);
    }
    return false;
}

bool editPdf(const QString &path, const std::function<void(QPDF &)> &edit)
{
    try {
        QPDF pdf;
        pdf.processFile(QFile::encodeName(path).constData());
        edit(pdf);
        const QString edited = path + QStringLiteral(".edited");
        // The writer keeps the name's pointer until write(): the bytes must outlive it.
        const QByteArray editedName = QFile::encodeName(edited);
        QPDFWriter writer(pdf, editedName.constData());
        writer.write();
        return QFile::remove(path) && QFile::rename(edited, path);
    } catch (const std::exception &e) {
        qWarning("qpdf: %s", e.what());
        return false;
    }
}

} // namespace TestUtil

// The inked PDF that keeps the original: its ink rendered back lands where
// the page-image export puts it (rotated, cropped and inherited pages too),
// the text, outlines, links, forms and labels stay, pages without ink stay
// as they were, and damaged sources are repaired, contained or handed to
// the page-image way.
#include "app/pdfshare.h"
#include "canvas/canvasexport.h"
#include "canvas/pdfcanvas.h"
#include "files/inkedpdf.h"
#include "testutil.h"

#include <QJsonArray>
#include <QPdfDocument>
#include <QPdfSelection>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFAcroFormDocumentHelper.hh>
#include <qpdf/QPDFOutlineDocumentHelper.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFPageLabelDocumentHelper.hh>

#include <cmath>

namespace {

constexpr double kDpi = 150;

QJsonArray numbers(const QList<double> &values)
{
    QJsonArray array;
    for (double v : values)
        array.append(v);
    return array;
}

// A teacher's writing in magenta, a colour no test page uses: a dense
// wave, a pressure stroke and a dot, placed by the page's own fractions.
QJsonArray magentaInk(double dx, double dy)
{
    QList<double> wave, loop, factors;
    for (int i = 0; i <= 120; ++i) {
        const double t = i / 120.0;
        wave << 0.1 + dx + 0.5 * t << 0.2 + dy + 0.04 * std::sin(t * 12);
        loop << 0.3 + dx + 0.15 * std::cos(t * 6.2) << 0.55 + dy + 0.1 * std::sin(t * 6.2);
        factors << 0.5 + 1.2 * std::abs(std::sin(t * 5));
    }
    const QString magenta = QStringLiteral("#ff00ff");
    return {QJsonObject{{QStringLiteral("c"), magenta}, {QStringLiteral("w"), 0.006}, {QStringLiteral("p"), numbers(wave)}},
            QJsonObject{{QStringLiteral("c"), magenta}, {QStringLiteral("w"), 0.008}, {QStringLiteral("p"), numbers(loop)},
                        {QStringLiteral("wf"), numbers(factors)}},
            QJsonObject{{QStringLiteral("c"), magenta}, {QStringLiteral("w"), 0.02},
                        {QStringLiteral("p"), numbers({0.75 + dx / 2, 0.85})}}};
}

QPDFObjectHandle pdfObject(const char *text)
{
    return QPDFObjectHandle::parse(text);
}

// Pixels of the magenta ink, whatever lies under them.
QVector<QPoint> inkPixels(const QImage &image)
{
    QVector<QPoint> pixels;
    const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < rgb.height(); ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(rgb.constScanLine(y));
        for (int x = 0; x < rgb.width(); ++x) {
            if (qRed(line[x]) > 180 && qGreen(line[x]) < 110 && qBlue(line[x]) > 180)
                pixels.append(QPoint(x, y));
        }
    }
    return pixels;
}

// How many ink pixels of a have no ink pixel of b within reach pixels.
int strayPixels(const QVector<QPoint> &a, const QVector<QPoint> &b, const QSize &size, int reach)
{
    QVector<bool> near(size.width() * size.height(), false);
    for (const QPoint &p : b) {
        for (int y = std::max(0, p.y() - reach); y <= std::min(size.height() - 1, p.y() + reach); ++y) {
            for (int x = std::max(0, p.x() - reach); x <= std::min(size.width() - 1, p.x() + reach); ++x)
                near[y * size.width() + x] = true;
        }
    }
    int stray = 0;
    for (const QPoint &p : a) {
        if (p.x() >= size.width() || p.y() >= size.height() || !near[p.y() * size.width() + p.x()])
            ++stray;
    }
    return stray;
}

QImage renderAt150(QPdfDocument &document, int page, const QSize &pixels)
{
    return document.render(page, pixels);
}

// The visible page as poppler draws it at 150 dpi, or null without pdftoppm.
QImage popplerPage(const QString &pdf, int page, const QString &stem)
{
    const QString tool = QStandardPaths::findExecutable(QStringLiteral("pdftoppm"));
    if (tool.isEmpty())
        return QImage();
    const QString number = QString::number(page + 1);
    QProcess run;
    run.start(tool, {QStringLiteral("-cropbox"), QStringLiteral("-r"), QStringLiteral("150"), QStringLiteral("-f"), number, QStringLiteral("-l"),
                     number, QStringLiteral("-png"), QStringLiteral("-singlefile"), pdf, stem});
    if (!run.waitForFinished(60000) || run.exitCode() != 0)
        return QImage();
    return QImage(stem + QStringLiteral(".png"));
}

int qpdfCheck(const QString &pdf, const QString &password = QString())
{
    QStringList args{QStringLiteral("--check")};
    if (!password.isEmpty())
        args << QStringLiteral("--password=") + password;
    args << pdf;
    return QProcess::execute(QStringLiteral("qpdf"), args);
}

} // namespace

class TestInkedPdf : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString path(const QString &name) const { return m_dir.filePath(name); }

    // Opens pdf with ink on the given pages and exports it the given way.
    PdfShareResult exportWith(const QString &pdf, const QJsonObject &pages, const QString &target, PdfExportWay way,
                              ExportSource *sourceOut = nullptr)
    {
        PdfCanvas canvas;
        if (!canvas.openPdf(pdf))
            return {};
        canvas.importAnnotations(QJsonObject{{QStringLiteral("version"), 1}, {QStringLiteral("pages"), pages}});
        const ExportSource source = exportSource(&canvas);
        if (sourceOut)
            *sourceOut = source;
        return exportSharedPdf(source, target, way);
    }

private slots:
    // Page 1 plain; page 2 turned by /Rotate 90 with its crop box at
    // (100, 200); page 3 cropped off-centre; page 4 turned by 270 through
    // the page tree. The vector ink and the page images agree within 2 px
    // at 150 dpi, in PDFium and in poppler; the text is still text.
    void inkLandsWhereThePageImagesPutIt()
    {
        const QString source = path(QStringLiteral("boxes.pdf"));
        QVERIFY(TestUtil::writePdf(source, QList<QSizeF>(4, QSizeF(612, 792)), QStringLiteral("Lectern keeps text")));
        QVERIFY(TestUtil::editPdf(source, [](QPDF &pdf) {
            std::vector<QPDFPageObjectHelper> pages = QPDFPageDocumentHelper(pdf).getAllPages();
            pdf.getRoot().getKey("/Pages").replaceKey("/Rotate", QPDFObjectHandle::newInteger(270));
            pages[0].getObjectHandle().replaceKey("/Rotate", QPDFObjectHandle::newInteger(0));
            pages[1].getObjectHandle().replaceKey("/Rotate", QPDFObjectHandle::newInteger(90));
            pages[1].getObjectHandle().replaceKey("/CropBox", pdfObject("[100 200 500 700]"));
            pages[2].getObjectHandle().replaceKey("/Rotate", QPDFObjectHandle::newInteger(0));
            pages[2].getObjectHandle().replaceKey("/CropBox", pdfObject("[40 90 452 610.5]"));
            pages[3].getObjectHandle().removeKey("/Rotate");
        }));
        QJsonObject pages;
        for (int page = 0; page < 4; ++page)
            pages.insert(QString::number(page), magentaInk(0.05 * page, 0.03 * page));

        const QString vector = path(QStringLiteral("boxes-vector.pdf"));
        const QString raster = path(QStringLiteral("boxes-raster.pdf"));
        ExportSource shown;
        const PdfShareResult kept = exportWith(source, pages, vector, PdfExportWay::KeepOriginal, &shown);
        QVERIFY2(kept.ok && !kept.fellBack, qPrintable(kept.error + kept.fallbackReason));
        const PdfShareResult images = exportWith(source, pages, raster, PdfExportWay::PageImages);
        QVERIFY2(images.ok, qPrintable(images.error));
        QCOMPARE(shown.pageSizes.at(1), QSizeF(500, 400)); // the crop box turned
        QCOMPARE(shown.pageSizes.at(3), QSizeF(792, 612));

        QPdfDocument back, pictures;
        QCOMPARE(back.load(vector), QPdfDocument::Error::None);
        QCOMPARE(pictures.load(raster), QPdfDocument::Error::None);
        for (int page = 0; page < 4; ++page) {
            const QSizeF pt = back.pagePointSize(page);
            QVERIFY2(std::abs(pt.width() - shown.pageSizes.at(page).width()) < 0.01
                         && std::abs(pt.height() - shown.pageSizes.at(page).height()) < 0.01,
                     qPrintable(QStringLiteral("page %1").arg(page + 1)));
            const QSize pixels = exportPixelSize(pt, kDpi);
            const QVector<QPoint> want = inkPixels(renderAt150(pictures, page, pixels));
            QVERIFY(want.size() > 500);
            const QVector<QPoint> got = inkPixels(renderAt150(back, page, pixels));
            QVERIFY2(strayPixels(got, want, pixels, 2) == 0 && strayPixels(want, got, pixels, 2) == 0,
                     qPrintable(QStringLiteral("page %1: %2 / %3 ink pixels")
                                    .arg(page + 1).arg(got.size()).arg(want.size())));
            const QImage poppler = popplerPage(vector, page, path(QStringLiteral("poppler-%1").arg(page)));
            if (!poppler.isNull()) {
                const QVector<QPoint> drawn = inkPixels(poppler);
                QVERIFY2(strayPixels(drawn, want, pixels, 2) == 0 && strayPixels(want, drawn, pixels, 2) == 0,
                         qPrintable(QStringLiteral("poppler, page %1").arg(page + 1)));
            }
            QVERIFY(back.getAllText(page).text().contains(QStringLiteral("Lectern keeps text")));
        }
        QCOMPARE(qpdfCheck(vector), 0);
    }

    // Outlines, links, a form field and page labels come through; a page
    // without ink keeps its content as it was.
    void theRestOfTheDocumentComesThrough()
    {
        const QString source = path(QStringLiteral("structure.pdf"));
        QVERIFY(TestUtil::writeA4Pdf(source, 3, QStringLiteral("目录与链接")));
        QVERIFY(TestUtil::editPdf(source, [](QPDF &pdf) {
            std::vector<QPDFPageObjectHelper> pages = QPDFPageDocumentHelper(pdf).getAllPages();
            QPDFObjectHandle root = pdf.getRoot();
            QPDFObjectHandle second = pages[1].getObjectHandle();
            QPDFObjectHandle outline = pdf.makeIndirectObject(pdfObject("<< /Title (Chapter) >>"));
            QPDFObjectHandle outlines = pdf.makeIndirectObject(pdfObject("<< /Type /Outlines /Count 1 >>"));
            outline.replaceKey("/Parent", outlines);
            outline.replaceKey("/Dest", QPDFObjectHandle::newArray({second, QPDFObjectHandle::newName("/Fit")}));
            outlines.replaceKey("/First", outline);
            outlines.replaceKey("/Last", outline);
            root.replaceKey("/Outlines", outlines);
            root.replaceKey("/PageLabels", pdfObject("<< /Nums [0 << /S /r >> 1 << /S /D >>] >>"));
            QPDFObjectHandle link = pdf.makeIndirectObject(pdfObject(
                "<< /Type /Annot /Subtype /Link /Rect [100 100 200 150] /Border [0 0 0] >>"));
            link.replaceKey("/Dest", QPDFObjectHandle::newArray({second, QPDFObjectHandle::newName("/Fit")}));
            QPDFObjectHandle field = pdf.makeIndirectObject(pdfObject(
                "<< /Type /Annot /Subtype /Widget /FT /Tx /T (name) /V (Li Hua) /Rect [100 300 300 330] >>"));
            field.replaceKey("/P", pages[0].getObjectHandle());
            pages[0].getObjectHandle().replaceKey("/Annots", QPDFObjectHandle::newArray({link, field}));
            QPDFObjectHandle form = QPDFObjectHandle::newDictionary();
            form.replaceKey("/Fields", QPDFObjectHandle::newArray({field}));
            root.replaceKey("/AcroForm", form);
        }));

        const QString out = path(QStringLiteral("structure-out.pdf"));
        const PdfShareResult result = exportWith(source, {{QStringLiteral("0"), magentaInk(0, 0)}}, out,
                                                 PdfExportWay::KeepOriginal);
        QVERIFY2(result.ok && !result.fellBack, qPrintable(result.error + result.fallbackReason));
        QCOMPARE(qpdfCheck(out), 0);

        QPDF before, after;
        before.processFile(QFile::encodeName(source).constData());
        after.processFile(QFile::encodeName(out).constData());
        QCOMPARE(QPDFOutlineDocumentHelper(after).getTopLevelOutlines().size(), size_t(1));
        QCOMPARE(QPDFOutlineDocumentHelper(after).getTopLevelOutlines().front().getTitle(), std::string("Chapter"));
        QPDFPageLabelDocumentHelper labels(after);
        QVERIFY(labels.hasPageLabels());
        QCOMPARE(labels.getLabelForPage(0).getKey("/S").getName(), std::string("/r"));
        std::vector<QPDFPageObjectHelper> pages = QPDFPageDocumentHelper(after).getAllPages();
        QCOMPARE(pages.size(), size_t(3));
        QCOMPARE(pages[0].getAnnotations("/Link").size(), size_t(1));
        QCOMPARE(pages[0].getAnnotations("/Widget").size(), size_t(1));
        std::vector<QPDFFormFieldObjectHelper> fields = QPDFAcroFormDocumentHelper(after).getFormFields();
        QCOMPARE(fields.size(), size_t(1));
        QCOMPARE(fields.front().getValueAsString(), std::string("Li Hua"));

        // Pages 2 and 3 carry no ink: their content is the source's, byte for byte.
        std::vector<QPDFPageObjectHelper> original = QPDFPageDocumentHelper(before).getAllPages();
        for (size_t page = 1; page < 3; ++page) {
            QPDFObjectHandle contents = pages[page].getObjectHandle().getKey("/Contents");
            QVERIFY(contents.isStream());
            QCOMPARE(contents.getStreamData()->getSize(),
                     original[page].getObjectHandle().getKey("/Contents").getStreamData()->getSize());
            QCOMPARE(pages[page].getObjectHandle().getKey("/Resources").getKeys(),
                     original[page].getObjectHandle().getKey("/Resources").getKeys());
        }
        // The inked page: its original wrapped, then one ink stream.
        QPDFObjectHandle inked = pages[0].getObjectHandle().getKey("/Contents");
        QVERIFY(inked.isArray() && inked.getArrayNItems() == 4);
    }

    // A cross-reference table pointing nowhere is repaired; a page whose
    // content ends inside a string keeps its ink visible; a page tree that
    // disagrees with itself is refused and the page images go out instead.
    void damagedSources()
    {
        const QString clean = path(QStringLiteral("clean.pdf"));
        QVERIFY(TestUtil::writeA4Pdf(clean, 2, QStringLiteral("Lectern repairs")));
        QFile file(clean);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QByteArray bytes = file.readAll();
        file.close();
        const qsizetype xref = bytes.lastIndexOf("startxref\n");
        QVERIFY(xref > 0);
        const QString repaired = path(QStringLiteral("repair.pdf"));
        QFile damaged(repaired);
        QVERIFY(damaged.open(QIODevice::WriteOnly));
        damaged.write(bytes.left(xref) + "startxref\n12\n%%EOF\n");
        damaged.close();
        const QJsonObject ink{{QStringLiteral("1"), magentaInk(0, 0)}};
        QString out = path(QStringLiteral("repair-out.pdf"));
        PdfShareResult result = exportWith(repaired, ink, out, PdfExportWay::KeepOriginal);
        QVERIFY2(result.ok && !result.fellBack, qPrintable(result.error + result.fallbackReason));
        QCOMPARE(qpdfCheck(out), 0);

        const QString broken = path(QStringLiteral("broken.pdf"));
        QVERIFY(QFile::copy(clean, broken));
        QVERIFY(TestUtil::editPdf(broken, [](QPDF &pdf) {
            QPDFPageObjectHelper page = QPDFPageDocumentHelper(pdf).getAllPages().at(1);
            page.addPageContents(pdf.newStream(std::string("\n0 0 1 rg (an unfinished string")), false);
        }));
        out = path(QStringLiteral("broken-out.pdf"));
        result = exportWith(broken, ink, out, PdfExportWay::KeepOriginal);
        QVERIFY2(result.ok && !result.fellBack, qPrintable(result.error + result.fallbackReason));
        QPdfDocument back;
        QCOMPARE(back.load(out), QPdfDocument::Error::None);
        const QSize pixels = exportPixelSize(back.pagePointSize(1), kDpi);
        QVERIFY(inkPixels(back.render(1, pixels)).size() > 500);
        QVERIFY(back.getAllText(1).text().contains(QStringLiteral("Lectern repairs")));

        // Its /Count says one page while its kids hold two: PDFium shows one.
        const QString tree = path(QStringLiteral("tree.pdf"));
        QVERIFY(QFile::copy(clean, tree));
        QVERIFY(TestUtil::editPdf(tree, [](QPDF &pdf) {
            pdf.getRoot().getKey("/Pages").replaceKey("/Count", QPDFObjectHandle::newInteger(1));
        }));
        out = path(QStringLiteral("tree-out.pdf"));
        result = exportWith(tree, {{QStringLiteral("0"), magentaInk(0, 0)}}, out, PdfExportWay::KeepOriginal);
        QVERIFY2(result.ok && result.fellBack, qPrintable(result.error));
        QVERIFY(!result.fallbackReason.isEmpty());
        QCOMPARE(back.load(out), QPdfDocument::Error::None);
        QCOMPARE(back.pageCount(), 1);
        QVERIFY(inkPixels(back.render(0, exportPixelSize(back.pagePointSize(0), kDpi))).size() > 500);
    }

    // Stopped between two pages: nothing is written, an older file stays.
    void cancelLeavesTheTargetAlone()
    {
        const QString source = path(QStringLiteral("cancel.pdf"));
        QVERIFY(TestUtil::writeA4Pdf(source, 3));
        const QString target = path(QStringLiteral("cancel-out.pdf"));
        QFile old(target);
        QVERIFY(old.open(QIODevice::WriteOnly) && old.write("old bytes") == 9);
        old.close();

        bool progressed = false;
        InkedPdfRequest request;
        request.sourcePath = source;
        request.target = target;
        request.shownSizes = QList<QSizeF>(3, QSizeF(595, 842));
        request.inkedPages = {InkedPage{0, {}}, InkedPage{2, {}}};
        request.progress = [&progressed](double) { progressed = true; };
        request.cancelled = [&progressed] { return progressed; };
        QString error;
        QCOMPARE(writeInkedPdf(request, &error), InkedPdfOutcome::Cancelled);
        QFile back(target);
        QVERIFY(back.open(QIODevice::ReadOnly));
        QCOMPARE(back.readAll(), QByteArray("old bytes"));
        QCOMPARE(QDir(m_dir.path()).entryList({QStringLiteral("cancel-out*")}, QDir::Files | QDir::Hidden),
                 QStringList{QStringLiteral("cancel-out.pdf")});
    }
};

QTEST_MAIN(TestInkedPdf)
#include "tst_inkedpdf.moc"

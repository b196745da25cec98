// Pictures wrapped as one-page PDFs: read back with the PDF engine, upright,
// on white, refused cleanly when broken, and opened through the window.
#include "app/mainwindow.h"
#include "bench/procinfo.h"
#include "canvas/pdfcanvas.h"
#include "files/imageimport.h"
#include "files/workingcopy.h"

#include <QApplication>
#include <QBuffer>
#include <QDropEvent>
#include <QImageReader>
#include <QImageWriter>
#include <QMimeData>
#include <QPainter>
#include <QPdfDocument>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

#include <zlib.h>

#include <cstdio>
#include <jpeglib.h>

#include <vector>

namespace {

QByteArray encoded(const QImage &image, const char *format)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

QByteArray le16(int v) { return QByteArray(1, char(v & 0xFF)) + char((v >> 8) & 0xFF); }

// A JPEG of image carrying an EXIF block made of tiff (after "Exif\0\0").
QByteArray jpegWithExif(const QImage &image, const QByteArray &tiff)
{
    const QByteArray payload = QByteArray("Exif\0\0", 6) + tiff;
    QByteArray app1("\xFF\xE1");
    app1 += char((payload.size() + 2) >> 8);
    app1 += char((payload.size() + 2) & 0xFF);
    return encoded(image, "JPEG").insert(2, app1 + payload);
}

QByteArray orientationTiff(int orientation)
{
    // Little-endian header, one directory entry: tag 0x112, SHORT, count 1.
    return QByteArray("II*\0\x08\0\0\0", 8) + le16(1) + le16(0x112) + le16(3) + QByteArray("\1\0\0\0", 4)
        + le16(orientation) + QByteArray(6, '\0');
}

// A real PNG whose header is changed to claim width × height.
QByteArray pngClaiming(quint32 width, quint32 height)
{
    QByteArray png = encoded(QImage(1, 1, QImage::Format_RGB32), "PNG");
    qToBigEndian(width, png.data() + 16);
    qToBigEndian(height, png.data() + 20);
    qToBigEndian(quint32(crc32(0, reinterpret_cast<const Bytef *>(png.constData() + 12), 17)), png.data() + 29);
    return png;
}

// A GIF of solid frames (palette black, red, green, blue). Each pixel is
// a 3-bit code behind a clear code every two pixels, so the code width never grows.
QByteArray gifFrames(int width, int height, const QList<int> &colours)
{
    QByteArray gif = QByteArray("GIF89a") + le16(width) + le16(height) + QByteArray("\xF1\0\0", 3);
    gif += QByteArray::fromHex("000000ff000000ff000000ff");
    for (const int colour : colours) {
        gif += QByteArray::fromHex("21f904000a000000") + '\x2C' + le16(0) + le16(0) + le16(width) + le16(height);
        gif += QByteArray("\0\x02", 2);
        QByteArray bits;
        quint32 acc = 0;
        int count = 0;
        const auto put = [&](int code) {
            acc |= quint32(code) << count;
            for (count += 3; count >= 8; count -= 8, acc >>= 8)
                bits += char(acc & 0xFF);
        };
        for (int i = 0; i < width * height; ++i) {
            if (i % 2 == 0)
                put(4);
            put(colour);
        }
        put(5);
        if (count > 0)
            bits += char(acc & 0xFF);
        for (int at = 0; at < bits.size(); at += 255)
            gif += char(qMin(255, int(bits.size() - at))) + bits.mid(at, 255);
        gif += '\0';
    }
    return gif + ';';
}

// A real progressive JPEG whose frame header is changed to claim width × height.
QByteArray progressiveJpegClaiming(int width, int height)
{
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setProgressiveScanWrite(true);
    QImage image(16, 16, QImage::Format_RGB32);
    image.fill(Qt::gray);
    writer.write(image);
    const qsizetype frame = jpeg.indexOf("\xFF\xC2");
    if (frame < 0)
        return QByteArray();
    qToBigEndian(quint16(height), jpeg.data() + frame + 5);
    qToBigEndian(quint16(width), jpeg.data() + frame + 7);
    return jpeg;
}

// A CMYK JPEG as scanners and Photoshop write it: an Adobe marker and the
// ink values stored inverted. Left half red, right half blue.
QByteArray adobeCmykJpeg(int width, int height)
{
    jpeg_compress_struct info;
    jpeg_error_mgr errors;
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    unsigned char *buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = JDIMENSION(width);
    info.image_height = JDIMENSION(height);
    info.input_components = 4;
    info.in_color_space = JCS_CMYK;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 95, TRUE);
    jpeg_start_compress(&info, TRUE);
    std::vector<unsigned char> row(size_t(width) * 4);
    for (int x = 0; x < width; ++x) {
        const bool red = x < width / 2; // C M Y K = 0 1 1 0, or 1 1 0 0
        const unsigned char cmyk[4] = {red ? uchar(0) : uchar(1), 1, red ? uchar(1) : uchar(0), 0};
        for (int c = 0; c < 4; ++c)
            row[size_t(x) * 4 + size_t(c)] = uchar(255 - 255 * cmyk[c]);
    }
    while (info.next_scanline < info.image_height) {
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&info, rows, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    QByteArray jpeg(reinterpret_cast<const char *>(buffer), qsizetype(size));
    free(buffer);
    return jpeg;
}

QByteArray jpegOf(const QImage &image, bool progressive)
{
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setQuality(90);
    writer.setProgressiveScanWrite(progressive);
    writer.write(image);
    return jpeg;
}

QImage quarters(int width, int height)
{
    QImage image(width, height, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.fillRect(width / 2, 0, width - width / 2, height / 2, QColor(220, 20, 20));
    painter.fillRect(0, height / 2, width / 2, height - height / 2, QColor(20, 200, 20));
    painter.fillRect(width / 2, height / 2, width - width / 2, height - height / 2, QColor(20, 20, 220));
    return image;
}

bool near(QRgb a, QRgb b)
{
    return qAbs(qRed(a) - qRed(b)) + qAbs(qGreen(a) - qGreen(b)) + qAbs(qBlue(a) - qBlue(b)) < 60;
}

} // namespace

class TestImageImport : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;

    QString write(const QString &name, const QByteArray &bytes)
    {
        QFile file(m_dir.filePath(name));
        return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() ? file.fileName() : QString();
    }

    // The wrapper of picture rendered back at 96 dpi.
    QImage roundTrip(const QString &picture, QSizeF *pagePt = nullptr)
    {
        const QString pdfPath = picture + QStringLiteral(".pdf");
        QString error;
        if (!writeImagePdf(picture, pdfPath, &error))
            qWarning() << error;
        QPdfDocument pdf;
        pdf.load(pdfPath);
        if (pdf.pageCount() != 1)
            return {};
        const QSizeF page = pdf.pagePointSize(0);
        if (pagePt)
            *pagePt = page;
        return pdf.render(0, (page * 96 / 72).toSize());
    }

private slots:
    void roundTripKeepsSizeAndPixelsOnWhite()
    {
        const QImage source = quarters(800, 600);
        const QString png = write(QStringLiteral("课件 图.png"), encoded(source, "PNG"));
        QSizeF page;
        const QImage back = roundTrip(png, &page);
        QCOMPARE(page, QSizeF(600, 450));
        QCOMPARE(back.size(), QSize(800, 600));
        for (const QPoint &at : { QPoint(5, 5), QPoint(200, 150), QPoint(600, 150), QPoint(200, 450), QPoint(795, 595) }) {
            const QRgb want = source.pixelColor(at).alpha() == 0 ? qRgb(255, 255, 255) : source.pixel(at);
            QVERIFY2(near(back.pixel(at), want), qPrintable(QStringLiteral("at %1,%2").arg(at.x()).arg(at.y())));
        }
        // Every cross-reference entry points at its object's header.
        QFile file(png + QStringLiteral(".pdf"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray pdf = file.readAll();
        const qsizetype xrefAt = pdf.lastIndexOf("startxref\n") + 10;
        const qsizetype xref = pdf.mid(xrefAt, pdf.indexOf('\n', xrefAt) - xrefAt).toLongLong();
        QVERIFY(pdf.mid(xref).startsWith("xref\n0 6\n"));
        for (int object = 1; object <= 5; ++object) {
            const qsizetype offset = pdf.mid(xref + 9 + 20 * object, 10).toLongLong();
            QVERIFY(pdf.mid(offset).startsWith(QByteArray::number(object) + " 0 obj\n"));
        }

        // Big enough to be deflated in bands on several cores: still one stream.
        const QImage banded = roundTrip(write(QStringLiteral("大.png"), encoded(quarters(2400, 1200), "PNG")));
        QVERIFY(banded.size() == QSize(2400, 1200) && near(banded.pixel(2000, 1100), qRgb(20, 20, 220)));

        // The wrapper's name follows the path; wrapping again rewrites it.
        QString wrapper;
        QVERIFY(wrapImageAsPdf(png, &wrapper));
        QCOMPARE(wrapper, tempFolder() + QStringLiteral("/image-") + tempKeyHash(png) + QStringLiteral(".pdf"));
        QVERIFY(QFile::resize(wrapper, 10));
        QVERIFY(wrapImageAsPdf(png, &wrapper));
        QCOMPARE(QFileInfo(wrapper).size(), pdf.size());
    }

    void orientationTagPlacesPictureUpright_data()
    {
        QTest::addColumn<int>("orientation");
        QTest::addColumn<QByteArray>("tiff");
        for (int o = 1; o <= 8; ++o)
            QTest::addRow("orientation %d", o) << o << orientationTiff(o);
        QTest::newRow("corrupt block is ignored") << 1 << QByteArray("II*\0\xF0\xFF\xFF\x7F\x01", 9);
    }
    void orientationTagPlacesPictureUpright()
    {
        QFETCH(int, orientation);
        QFETCH(QByteArray, tiff);
        QImage stored = quarters(64, 32);
        stored.fill(Qt::white);
        QPainter(&stored).drawImage(0, 0, quarters(64, 32));
        const QString jpeg = write(QStringLiteral("o%1.jpg").arg(QTest::currentDataTag()), jpegWithExif(stored, tiff));
        const QImage back = roundTrip(jpeg);
        // Display pixel (x, y) shows stored pixel source(x, y), per the tag's meaning.
        const int w = 64, h = 32;
        const auto source = [&](int x, int y) -> QPoint {
            switch (orientation) {
            case 2: return { w - 1 - x, y };
            case 3: return { w - 1 - x, h - 1 - y };
            case 4: return { x, h - 1 - y };
            case 5: return { y, x };
            case 6: return { y, h - 1 - x };
            case 7: return { w - 1 - y, h - 1 - x };
            case 8: return { w - 1 - y, x };
            default: return { x, y };
            }
        };
        QCOMPARE(back.size(), orientation >= 5 ? QSize(h, w) : QSize(w, h));
        for (int x = back.width() / 4; x < back.width(); x += back.width() / 2) {
            for (int y = back.height() / 4; y < back.height(); y += back.height() / 2)
                QVERIFY(near(back.pixel(x, y), stored.pixel(source(x, y))));
        }
    }

    // A JPEG goes into its wrapper byte for byte (grey, colour, CMYK from
    // a scanner, progressive, turned by its orientation tag) and shows as
    // an image viewer shows it; one over the pixel cap is scaled and stays
    // JPEG; one whose markers lie takes the lossless way.
    void jpegKeepsItsBytes_data()
    {
        QTest::addColumn<QByteArray>("jpeg");
        QTest::addColumn<bool>("kept");
        QTest::addColumn<QByteArray>("keys");
        QTest::addColumn<QSize>("page"); // pixels, upright
        // Renderers turn CMYK into RGB each their own way: only the hue
        // is the same (an ignored Adobe inversion would change it).
        QTest::addColumn<bool>("hueOnly");
        QImage colour = quarters(320, 200);
        colour.fill(Qt::white);
        QPainter(&colour).drawImage(0, 0, quarters(320, 200));
        QTest::newRow("turned by its tag") << jpegWithExif(colour, orientationTiff(6)) << true
                                           << QByteArray("/ColorSpace /DeviceRGB") << QSize(200, 320) << false;
        QTest::newRow("grey") << jpegOf(colour.convertToFormat(QImage::Format_Grayscale8), false) << true
                              << QByteArray("/ColorSpace /DeviceGray") << QSize(320, 200) << false;
        QTest::newRow("progressive") << jpegOf(colour, true) << true << QByteArray("/ColorSpace /DeviceRGB")
                                     << QSize(320, 200) << false;
        QTest::newRow("scanner cmyk") << adobeCmykJpeg(96, 64) << true
                                      << QByteArray("/ColorSpace /DeviceCMYK /BitsPerComponent 8 /Filter /DCTDecode "
                                                    "/Decode [1 0 1 0 1 0 1 0]")
                                      << QSize(96, 64) << true;
        QImage big(4000, 3100, QImage::Format_RGB32);
        big.fill(QColor(20, 20, 220));
        QTest::newRow("over the pixel cap") << jpegOf(big, false) << false << QByteArray("/Filter /DCTDecode")
                                            << QSize(3934, 3049) << false;
        // The frame claims twice the rows its data holds.
        QByteArray lying = jpegOf(colour, false);
        const qsizetype frame = lying.indexOf("\xFF\xC0");
        qToBigEndian(quint16(400), lying.data() + frame + 5);
        QTest::newRow("markers that lie") << lying << false << QByteArray("/Filter /FlateDecode") << QSize(320, 400) << false;
    }
    void jpegKeepsItsBytes()
    {
        QFETCH(QByteArray, jpeg);
        QFETCH(bool, kept);
        QFETCH(QByteArray, keys);
        QFETCH(QSize, page);
        QFETCH(bool, hueOnly);
        const auto alike = [hueOnly](const QColor &a, const QColor &b) {
            if (!hueOnly)
                return near(a.rgb(), b.rgb());
            const int turn = qAbs(a.hsvHue() - b.hsvHue());
            return a.hsvSaturation() > 100 && b.hsvSaturation() > 100 && qMin(turn, 360 - turn) < 20;
        };
        const QString picture = write(QStringLiteral("photo %1.jpg").arg(QTest::currentDataTag()), jpeg);
        QSizeF pagePt;
        const QImage back = roundTrip(picture, &pagePt);
        QCOMPARE(pagePt, QSizeF(page) * 0.75);
        QFile wrapper(picture + QStringLiteral(".pdf"));
        QVERIFY(wrapper.open(QIODevice::ReadOnly));
        const QByteArray pdf = wrapper.readAll();
        QCOMPARE(pdf.contains(jpeg), kept);
        if (kept)
            QVERIFY(pdf.size() <= jpeg.size() + 2048);
        QVERIFY2(pdf.contains(keys), pdf.left(600).constData());

        // As the image reader shows it, upright.
        QImageReader reader(picture);
        reader.setAutoTransform(true);
        if (!kept)
            reader.setScaledSize(page);
        const QImage shown = reader.read().convertToFormat(QImage::Format_RGB32);
        QCOMPARE(shown.size(), page);
        QCOMPARE(back.size(), page);
        for (const QPoint &at : {QPoint(page.width() / 4, page.height() / 4), QPoint(page.width() * 3 / 4, page.height() / 4),
                                 QPoint(page.width() / 4, page.height() * 3 / 4),
                                 QPoint(page.width() * 3 / 4, page.height() * 3 / 4)})
            QVERIFY2(alike(back.pixelColor(at), shown.pixelColor(at)),
                     qPrintable(QStringLiteral("at %1,%2: %3, not %4")
                                    .arg(at.x())
                                    .arg(at.y())
                                    .arg(QColor(back.pixel(at)).name(), QColor(shown.pixel(at)).name())));
    }

    void animatedGifShowsItsFirstFrame()
    {
        const QImage back = roundTrip(write(QStringLiteral("动画.gif"), gifFrames(30, 20, { 1, 3 })));
        QCOMPARE(back.size(), QSize(30, 20));
        QVERIFY(near(back.pixel(15, 10), qRgb(255, 0, 0)));
    }

    // Qt gives a picture named "…@2x" a device pixel ratio of 2; drawn onto
    // the white page it would fill only the top-left quarter.
    void highDensityPictureFillsItsPage()
    {
        const QImage back = roundTrip(write(QStringLiteral("截图@2x.png"), encoded(quarters(200, 100), "PNG")));
        QCOMPARE(back.size(), QSize(200, 100));
        QVERIFY(near(back.pixel(150, 25), qRgb(220, 20, 20)));
        QVERIFY(near(back.pixel(50, 75), qRgb(20, 200, 20)));
        QVERIFY(near(back.pixel(190, 90), qRgb(20, 20, 220)));
        QVERIFY(near(back.pixel(10, 10), qRgb(255, 255, 255)));
    }

    void brokenPictureIsRefusedAndTargetKept_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("reason");
        const QImage image = quarters(300, 200).convertToFormat(QImage::Format_RGB32);
        const auto half = [](const QByteArray &b) { return b.left(b.size() / 2); };
        QTest::newRow("truncated png") << QStringLiteral("a.png") << half(encoded(image, "PNG")) << QString();
        QTest::newRow("truncated jpeg") << QStringLiteral("a.jpg") << half(encoded(image, "JPEG")) << QString();
        QTest::newRow("truncated bmp") << QStringLiteral("a.bmp") << half(encoded(image, "BMP")) << QString();
        QTest::newRow("truncated ico") << QStringLiteral("a.ico") << half(encoded(image.scaled(64, 64), "ICO"))
                                       << QString();
        QTest::newRow("truncated gif") << QStringLiteral("a.gif") << half(gifFrames(30, 20, { 2 })) << QString();
        QTest::newRow("pdf named png") << QStringLiteral("a.png")
                                       << QByteArray("%PDF-1.4\n1 0 obj\n<<>>\nendobj\n%%EOF\n") << QString();
        QTest::newRow("empty") << QStringLiteral("a.jpeg") << QByteArray() << QString();
        QTest::newRow("0 x 0 png") << QStringLiteral("a.png") << pngClaiming(0, 0) << QString();
        QTest::newRow("50000 x 50000 png") << QStringLiteral("a.png") << pngClaiming(50000, 50000)
                                           << QStringLiteral("图片过大（50000×50000 像素）");
        // Crafted headers that decoders would believe before any check.
        QTest::newRow("40000 x 40000 progressive jpeg")
            << QStringLiteral("a.jpg") << progressiveJpegClaiming(40000, 40000)
            << QStringLiteral("图片过大（40000×40000 像素）");
        QByteArray screen = gifFrames(1, 1, { 1 });
        screen.replace(6, 4, le16(53497) + le16(1027));
        QTest::newRow("gif screen far beyond its frame") << QStringLiteral("a.gif") << screen
                                                          << QStringLiteral("图片过大（53497×1027 像素）");
        QByteArray bmp = encoded(QImage(2, 2, QImage::Format_RGB32), "BMP");
        qToLittleEndian(qint32(0x7FFFFFFF), bmp.data() + 18);
        qToLittleEndian(qint32(-0x7FFFFFFF - 1), bmp.data() + 22);
        QTest::newRow("bmp claiming 2^31 x 2^31") << QStringLiteral("a.bmp") << bmp
                                                  << QStringLiteral("图片过大（2147483647×2147483648 像素）");
    }
    void brokenPictureIsRefusedAndTargetKept()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, reason);
        const QString picture = write(name, bytes);
        const QString target = write(QStringLiteral("earlier.pdf"), "earlier");
        QString error;
        QVERIFY(!writeImagePdf(picture, target, &error));
        QVERIFY2(error.startsWith(QStringLiteral("无法读取图片 %1：").arg(picture)), qPrintable(error));
        QVERIFY2(error.endsWith(reason), qPrintable(error));
        QFile kept(target);
        QVERIFY(kept.open(QIODevice::ReadOnly));
        QCOMPARE(kept.readAll(), QByteArray("earlier"));
        QCOMPARE(QDir(m_dir.path()).entryList({ QStringLiteral("earlier.pdf*") }, QDir::Files).size(), 1);
        // No decoder ever took the gigabytes the huge header asks for (the
        // sanitizer's shadow memory and quarantine make the figure meaningless).
#ifndef LECTERN_SANITIZED
        QVERIFY(peakRssMb() < 400);
#endif
    }

    void windowOpensPictureAsTab()
    {
        const QString png = write(QStringLiteral("第1课.png"), encoded(quarters(80, 60), "PNG"));
        const QString broken = write(QStringLiteral("坏.jpg"), "not a picture");
        MainWindow window;
        window.show();
        window.openPath(broken);
        QCOMPARE(window.documentCount(), 0);
        QVERIFY(window.statusBar()->currentMessage().startsWith(QStringLiteral("图片导入失败：无法读取图片 ")));

        QMimeData mime;
        mime.setUrls({ QUrl::fromLocalFile(m_dir.filePath(QStringLiteral("notes.txt"))), QUrl::fromLocalFile(png) });
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&window, &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&window, &drop);
        QTRY_COMPARE(window.documentCount(), 1);
        QCOMPARE(window.document(0).displayName, QStringLiteral("第1课.dpz"));
        QCOMPARE(window.document(0).imageSourcePath, png);
        QCOMPARE(window.canvas(0)->pageCount(), 1);

        window.openPath(QDir(m_dir.path()).filePath(QStringLiteral("./第1课.png")));
        QCOMPARE(window.documentCount(), 1);
        QCOMPARE(window.currentIndex(), 0);
    }
};

QTEST_MAIN(TestImageImport)
#include "tst_imageimport.moc"

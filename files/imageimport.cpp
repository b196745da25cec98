#include "files/imageimport.h"

#include "files/imageheader.h"
#include "files/jpegpassthrough.h"
#include "files/workingcopy.h"
#include "system/diaglog.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>
#include <QPainter>
#include <QSaveFile>
#include <QStringList>
#include <QThread>

#include <zlib.h>

#include <cmath>
#include <cstring>
#include <system_error>
#include <thread>
#include <vector>

namespace {

const char *const kSuffixes[] = { "png", "jpg", "jpeg", "bmp", "gif", "ico" };

bool fail(QString *error, const QString &message)
{
    if (error)
        *error = message;
    return false;
}

QString truncatedText()
{
    return QStringLiteral("文件不完整，可能只复制了一部分");
}

QSize cappedSize(const QSize &size, double *scale)
{
    *scale = std::sqrt(double(kMaxImagePixels) / (double(size.width()) * size.height()));
    return QSize(std::max(1, int(size.width() * *scale)), std::max(1, int(size.height() * *scale)));
}

// The picture's bytes, read once for every step after.
bool readImageBytes(const QString &path, QByteArray *bytes, QString *why)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *why = file.errorString();
        return false;
    }
    if (file.size() > kMaxDecodeBytes) {
        *why = QStringLiteral("图片文件过大（%1 MB）").arg(file.size() / (1024 * 1024));
        return false;
    }
    *bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        *why = file.errorString();
        return false;
    }
    return true;
}

// Decodes the picture of path upright and at most kMaxImagePixels large. A
// picture whose header claims a size beyond the decode limit is refused
// before any pixel memory is taken; JPEGs are decoded straight at the
// reduced size.
bool decodeImage(const QString &path, QByteArray &bytes, QImage *image, QString *why)
{
    ImageClaim claim;
    const bool known = readImageClaim(bytes, &claim);
    if (known && !imageClaimAllowed(claim, why))
        return false;

    QImageReader::setAllocationLimit(int(kMaxDecodeBytes / (1024 * 1024)));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    // The suffix is the first guess, as for a reader given the path.
    QImageReader reader(&buffer, QFileInfo(path).suffix().toLower().toLatin1());
    reader.setAutoTransform(true);
    QByteArray format = reader.format();
    if (format == "jpg")
        format = "jpeg";
    if (imageLooksTruncated(bytes, format)) {
        *why = truncatedText();
        return false;
    }
    double scale = 1;
    const QSize stored = reader.size();
    if (stored.isValid()) {
        // A layout the header check did not know is judged by the reader.
        ImageClaim told;
        told.width = stored.width();
        told.height = stored.height();
        if (!known && !imageClaimAllowed(told, why))
            return false;
        // A GIF comes out at its logical screen's size, not its first frame's.
        const QSize decoded = known && format == "gif" ? QSize(int(claim.width), int(claim.height)) : stored;
        if (qint64(decoded.width()) * decoded.height() > kMaxImagePixels)
            reader.setScaledSize(cappedSize(decoded, &scale));
    }
    *image = reader.read();
    if (image->isNull()) {
        *why = reader.errorString();
        return false;
    }
    // Pixels are pixels here: a high-density picture ("…@2x") must not be
    // drawn at half its size onto the page.
    image->setDevicePixelRatio(1);
    // No size in the header: the cap is applied after decoding.
    if (qint64(image->width()) * image->height() > kMaxImagePixels)
        *image = image->scaled(cappedSize(image->size(), &scale), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    if (scale < 1) {
        logInfo(QStringLiteral("image"), QStringLiteral("导入图片 %1 超过 %2 像素，按 %3 缩放为 %4×%5")
                                             .arg(QFileInfo(path).fileName())
                                             .arg(kMaxImagePixels)
                                             .arg(scale, 0, 'f', 4)
                                             .arg(image->width())
                                             .arg(image->height()));
    }
    return true;
}

// A picture is taken to be 96 dpi.
constexpr double kPointsPerPixel = 72.0 / 96.0;
// A JPEG over the pixel cap is scaled and encoded again at this quality.
constexpr int kRecodeQuality = 92;

// A number in the wrapper: 2 decimals, no trailing zeros, no "-0".
QByteArray numberText(double value)
{
    QByteArray text = QByteArray::number(value, 'f', 2);
    while (text.endsWith('0'))
        text.chop(1);
    if (text.endsWith('.'))
        text.chop(1);
    return text == "-0" ? QByteArray("0") : text;
}

// The page size in points.
QByteArray pointText(int pixels)
{
    return numberText(pixels * kPointsPerPixel);
}

struct Piece
{
    QByteArray deflated;
    uLong adler = 1; // Adler-32 of this piece's raw bytes
    uLong rawBytes = 0;
    bool ok = false;
};

// Raw deflate of rows [first, last) of rgb as R, G, B bytes. A piece that is
// not the last ends on a byte boundary without the final-block flag, so the
// pieces can simply be joined.
void deflateRows(const QImage &rgb, int first, int last, bool isLast, Piece *piece)
{
    z_stream stream;
    std::memset(&stream, 0, sizeof stream);
    constexpr int kRawWindowBits = -15;
    constexpr int kMemLevel = 8;
    if (deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, kRawWindowBits, kMemLevel, Z_DEFAULT_STRATEGY) != Z_OK)
        return;
    const int width = rgb.width();
    piece->rawBytes = uLong(width) * 3 * uLong(last - first);
    constexpr int kFlushSlack = 64;
    piece->deflated.resize(qsizetype(deflateBound(&stream, piece->rawBytes)) + kFlushSlack);
    stream.next_out = reinterpret_cast<Bytef *>(piece->deflated.data());
    stream.avail_out = uInt(piece->deflated.size());
    QByteArray row(width * 3, Qt::Uninitialized);
    bool ok = true;
    for (int y = first; y < last && ok; ++y) {
        const auto *pixel = reinterpret_cast<const QRgb *>(rgb.constScanLine(y));
        auto *p = reinterpret_cast<uchar *>(row.data());
        for (int x = 0; x < width; ++x) {
            *p++ = uchar(qRed(pixel[x]));
            *p++ = uchar(qGreen(pixel[x]));
            *p++ = uchar(qBlue(pixel[x]));
        }
        const auto *bytes = reinterpret_cast<const Bytef *>(row.constData());
        piece->adler = adler32(piece->adler, bytes, uInt(row.size()));
        stream.next_in = const_cast<Bytef *>(bytes);
        stream.avail_in = uInt(row.size());
        const bool end = y + 1 == last;
        const int flush = !end ? Z_NO_FLUSH : isLast ? Z_FINISH : Z_SYNC_FLUSH;
        const int result = deflate(&stream, flush);
        ok = flush == Z_FINISH ? result == Z_STREAM_END
                               : result == Z_OK && stream.avail_in == 0 && stream.avail_out > 0;
    }
    piece->deflated.resize(qsizetype(stream.total_out));
    deflateEnd(&stream);
    piece->ok = ok;
}

// The picture as opaque RGB rows (transparency over white) in one zlib
// stream at the default level. Deflating dominates the import of a photo,
// so horizontal bands are deflated on all cores and joined: still one
// valid stream, and the 3-byte copy of the pixels never exists whole.
bool compressRgb(const QImage &image, QByteArray *out)
{
    QImage rgb;
    if (image.hasAlphaChannel()) {
        rgb = QImage(image.size(), QImage::Format_RGB32);
        rgb.fill(Qt::white);
        QPainter painter(&rgb);
        painter.drawImage(0, 0, image);
    } else {
        rgb = image.convertToFormat(QImage::Format_RGB32);
    }
    constexpr qint64 kPixelsPerBand = 1000000;
    constexpr int kMaxBands = 4;
    const qint64 pixels = qint64(rgb.width()) * rgb.height();
    const int bands = int(std::clamp<qint64>(std::min<qint64>(pixels / kPixelsPerBand, QThread::idealThreadCount()),
                                             1, std::min(kMaxBands, rgb.height())));
    std::vector<Piece> pieces(bands);
    std::vector<std::thread> workers;
    const auto bandStart = [&](int band) { return int(qint64(rgb.height()) * band / bands); };
    const QImage &shared = rgb;
    for (int band = 1; band < bands; ++band) {
        const int first = bandStart(band);
        const int last = bandStart(band + 1);
        try {
            workers.emplace_back(deflateRows, std::cref(shared), first, last, band + 1 == bands, &pieces[band]);
        } catch (const std::system_error &) {
            deflateRows(shared, first, last, band + 1 == bands, &pieces[band]); // no thread to spare
        }
    }
    deflateRows(shared, 0, bandStart(1), bands == 1, &pieces[0]);
    for (std::thread &worker : workers)
        worker.join();

    qsizetype total = 0;
    for (const Piece &piece : pieces) {
        if (!piece.ok)
            return false;
        total += piece.deflated.size();
    }
    // Header of a zlib stream at the default level: deflate, 32 KB window.
    constexpr char kZlibHeader[] = { char(0x78), char(0x9C) };
    out->clear();
    out->reserve(total + 6);
    out->append(kZlibHeader, 2);
    uLong adler = pieces.front().adler;
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        out->append(pieces[i].deflated);
        if (i > 0)
            adler = adler32_combine(adler, pieces[i].adler, z_off_t(pieces[i].rawBytes));
    }
    const char checksum[4] = { char(adler >> 24), char((adler >> 16) & 0xFF), char((adler >> 8) & 0xFF),
                               char(adler & 0xFF) };
    out->append(checksum, 4);
    return true;
}

// The one image of a wrapper: its stream and the keys that say how to read
// it, and how it lies on the page (the matrix maps the unit square).
struct PictureObject
{
    int width = 0;            // pixels as stored
    int height = 0;
    QByteArray keys;          // from /ColorSpace up to the /Filter and its parameters
    QByteArray stream;
    QByteArray pageWidth;     // points
    QByteArray pageHeight;
    QByteArray matrix;        // six numbers
};

QByteArray buildPdf(const PictureObject &picture)
{
    QByteArray pdf;
    pdf.reserve(picture.stream.size() + 1024);
    QList<qsizetype> offsets;
    const auto object = [&](int number, const QByteArray &body) {
        offsets.append(pdf.size());
        pdf += QByteArray::number(number) + " 0 obj\n" + body + "\nendobj\n";
    };
    pdf += "%PDF-1.4\n";
    pdf += QByteArray("\x25\xE2\xE3\xCF\xD3\x0A", 6);
    object(1, "<< /Type /Catalog /Pages 2 0 R >>");
    object(2, "<< /Type /Pages /Kids [5 0 R] /Count 1 >>");
    offsets.append(pdf.size());
    pdf += "3 0 obj\n<< /Type /XObject /Subtype /Image /Width " + QByteArray::number(picture.width) + " /Height "
        + QByteArray::number(picture.height) + " " + picture.keys + " /Length "
        + QByteArray::number(picture.stream.size()) + " >>\nstream\n";
    pdf += picture.stream;
    pdf += "\nendstream\nendobj\n";
    const QByteArray content = "q " + picture.matrix + " cm /Im0 Do Q";
    object(4, "<< /Length " + QByteArray::number(content.size()) + " >>\nstream\n" + content + "\nendstream");
    object(5, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 " + picture.pageWidth + " " + picture.pageHeight
               + "] /Resources << /XObject << /Im0 3 0 R >> >> /Contents 4 0 R >>");
    const qsizetype xref = pdf.size();
    pdf += "xref\n0 6\n0000000000 65535 f \n";
    for (const qsizetype offset : std::as_const(offsets))
        pdf += QByteArray::number(offset).rightJustified(10, '0') + " 00000 n \n";
    pdf += "trailer\n<< /Size 6 /Root 1 0 R >>\nstartxref\n" + QByteArray::number(xref) + "\n%%EOF\n";
    return pdf;
}

// The lossless wrapper: opaque RGB rows, deflated.
bool losslessPdf(const QString &path, QByteArray &bytes, QByteArray *pdf, QString *why)
{
    QImage image;
    if (!decodeImage(path, bytes, &image, why))
        return false;
    PictureObject picture;
    if (!compressRgb(image, &picture.stream)) {
        *why = QStringLiteral("压缩失败");
        return false;
    }
    picture.width = image.width();
    picture.height = image.height();
    image = QImage(); // the PDF buffer takes its place
    picture.keys = "/ColorSpace /DeviceRGB /BitsPerComponent 8 /Filter /FlateDecode";
    picture.pageWidth = pointText(picture.width);
    picture.pageHeight = pointText(picture.height);
    picture.matrix = picture.pageWidth + " 0 0 " + picture.pageHeight + " 0 0";
    *pdf = buildPdf(picture);
    return true;
}

// A JPEG stays JPEG: its own bytes when they fit the pixel cap, otherwise
// scaled down like any picture and encoded once more (it was lossy
// already). False for anything else, and for a JPEG that libjpeg does not
// read cleanly: those take the lossless way.
bool jpegPdf(const QString &path, QByteArray &bytes, QByteArray *pdf)
{
    ImageClaim claim;
    QString why;
    if (!looksLikeJpeg(bytes) || !readImageClaim(bytes, &claim) || !imageClaimAllowed(claim, &why)
        || imageLooksTruncated(bytes, "jpeg"))
        return false; // the lossless way says what is wrong
    JpegFacts facts;
    if (!inspectJpeg(bytes, &facts, &why)) {
        logInfo(QStringLiteral("image"),
                QStringLiteral("图片 %1 未原样保留为 JPEG，改用无损方式：%2").arg(QFileInfo(path).fileName(), why));
        return false;
    }
    QByteArray kept = bytes;
    if (qint64(facts.width) * facts.height > kMaxImagePixels) {
        QImage image;
        if (!decodeImage(path, bytes, &image, &why))
            return false;
        kept.clear();
        QBuffer buffer(&kept);
        buffer.open(QIODevice::WriteOnly);
        QImageWriter writer(&buffer, "jpeg");
        writer.setQuality(kRecodeQuality);
        if (!writer.write(image) || !inspectJpeg(kept, &facts, &why))
            return false;
    }
    PictureObject picture;
    picture.width = facts.width;
    picture.height = facts.height;
    picture.keys = facts.components == 1 ? "/ColorSpace /DeviceGray"
                   : facts.components == 4 ? "/ColorSpace /DeviceCMYK"
                                          : "/ColorSpace /DeviceRGB";
    picture.keys += " /BitsPerComponent 8 /Filter /DCTDecode";
    if (facts.invertedCmyk)
        picture.keys += " /Decode [1 0 1 0 1 0 1 0]";
    if (facts.colorTransform >= 0)
        picture.keys += " /DecodeParms << /ColorTransform " + QByteArray::number(facts.colorTransform) + " >>";
    QSize upright;
    const QTransform m = uprightPlacement(facts, kPointsPerPixel, &upright);
    picture.pageWidth = pointText(upright.width());
    picture.pageHeight = pointText(upright.height());
    picture.matrix = numberText(m.m11()) + ' ' + numberText(m.m12()) + ' ' + numberText(m.m21()) + ' '
        + numberText(m.m22()) + ' ' + numberText(m.dx()) + ' ' + numberText(m.dy());
    picture.stream = kept;
    *pdf = buildPdf(picture);
    return true;
}

} // namespace

bool isImageFile(const QString &path)
{
    const QString name = QFileInfo(path).fileName();
    const int dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot < 0)
        return false;
    const QString suffix = name.mid(dot + 1).toLower();
    for (const char *known : kSuffixes) {
        if (suffix == QLatin1String(known))
            return true;
    }
    return false;
}

QString imageFileFilter()
{
    QStringList patterns;
    for (const char *suffix : kSuffixes)
        patterns.append(QStringLiteral("*.") + QLatin1String(suffix));
    return QStringLiteral("图片 (%1)").arg(patterns.join(QLatin1Char(' ')));
}

QString imageWrapperPath(const QString &imagePath)
{
    return tempFolder() + QStringLiteral("/image-") + tempKeyHash(imagePath) + QStringLiteral(".pdf");
}

bool wrapImageAsPdf(const QString &imagePath, QString *pdfPathOut, QString *error)
{
    if (!pdfPathOut)
        return fail(error, QStringLiteral("缺少输出路径"));
    const QString folder = tempFolder();
    if (folder.isEmpty() || !ensureTempFolder())
        return fail(error, QStringLiteral("无法创建临时目录 %1").arg(folder));
    const QString target = imageWrapperPath(imagePath);
    if (!writeImagePdf(imagePath, target, error))
        return false;
    *pdfPathOut = target;
    return true;
}

bool writeImagePdf(const QString &imagePath, const QString &pdfPath, QString *error)
{
    if (pdfPath.isEmpty())
        return fail(error, QStringLiteral("缺少输出路径"));
    QByteArray bytes;
    QByteArray pdf;
    QString why;
    if (!readImageBytes(imagePath, &bytes, &why)
        || (!jpegPdf(imagePath, bytes, &pdf) && !losslessPdf(imagePath, bytes, &pdf, &why)))
        return fail(error, QStringLiteral("无法读取图片 %1：%2").arg(imagePath, why));
    bytes.clear();

    QSaveFile file(pdfPath);
    if (!file.open(QIODevice::WriteOnly))
        return fail(error, QStringLiteral("无法写入 %1：%2").arg(pdfPath, file.errorString()));
    if (file.write(pdf) != pdf.size()) {
        const QString reason = file.errorString();
        file.cancelWriting();
        return fail(error, QStringLiteral("写入 %1 失败：%2").arg(pdfPath, reason));
    }
    if (!file.commit())
        return fail(error, QStringLiteral("提交 %1 失败：%2").arg(pdfPath, file.errorString()));
    return true;
}

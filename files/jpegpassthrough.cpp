// A JPEG checked with libjpeg itself before its bytes go into a PDF as they
// are. libjpeg reports trouble through a callback that must not return, so
// the reading below runs in a plain function with setjmp and keeps no C++
// object alive across it.
#include "files/jpegpassthrough.h"

#include <QBuffer>
#include <QImageReader>

#include <csetjmp>
#include <cstdio>
#include <cstring>

#include <jpeglib.h>

namespace {

struct ErrorManager
{
    jpeg_error_mgr base;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

void errorExit(j_common_ptr info)
{
    auto *errors = reinterpret_cast<ErrorManager *>(info->err);
    info->err->format_message(info, errors->message);
    std::longjmp(errors->jump, 1);
}

// Warnings count (libjpeg counts them itself) and keep the first text;
// nothing is printed.
void emitMessage(j_common_ptr info, int level)
{
    auto *errors = reinterpret_cast<ErrorManager *>(info->err);
    if (level >= 0)
        return; // trace messages
    if (info->err->num_warnings == 0)
        info->err->format_message(info, errors->message);
    ++info->err->num_warnings;
}

enum class Reading { Ok, Failed, Warned };

// The header and an eighth-size decode of every scan. Plain data only.
Reading readJpeg(const unsigned char *data, unsigned long size, JpegFacts *facts, char *message)
{
    jpeg_decompress_struct info;
    ErrorManager errors;
    std::memset(&info, 0, sizeof info);
    std::memset(&errors, 0, sizeof errors);
    info.err = jpeg_std_error(&errors.base);
    errors.base.error_exit = errorExit;
    errors.base.emit_message = emitMessage;
    if (setjmp(errors.jump)) {
        std::memcpy(message, errors.message, JMSG_LENGTH_MAX);
        jpeg_destroy_decompress(&info);
        return Reading::Failed;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, data, size);
    if (jpeg_read_header(&info, TRUE) != JPEG_HEADER_OK) {
        std::snprintf(message, JMSG_LENGTH_MAX, "no image in the file");
        jpeg_destroy_decompress(&info);
        return Reading::Failed;
    }
    facts->width = int(info.image_width);
    facts->height = int(info.image_height);
    facts->components = info.num_components;
    facts->progressive = info.progressive_mode;
    facts->invertedCmyk = info.num_components == 4 && info.saw_Adobe_marker;
    const J_COLOR_SPACE stored = info.jpeg_color_space;
    facts->colorTransform = stored == JCS_YCbCr || stored == JCS_YCCK ? 1 : stored == JCS_GRAYSCALE ? -1 : 0;
    const bool layoutKnown = (info.num_components == 1 && stored == JCS_GRAYSCALE)
        || (info.num_components == 3 && (stored == JCS_YCbCr || stored == JCS_RGB))
        || (info.num_components == 4 && (stored == JCS_CMYK || stored == JCS_YCCK));
    if (info.data_precision != 8 || info.arith_code || !layoutKnown) {
        std::snprintf(message, JMSG_LENGTH_MAX, "%d-bit, %s coding, %d components", info.data_precision,
                      info.arith_code ? "arithmetic" : "Huffman", info.num_components);
        jpeg_destroy_decompress(&info);
        return Reading::Failed;
    }

    // Every coefficient is read; only the output is small.
    info.scale_num = 1;
    info.scale_denom = 8;
    jpeg_start_decompress(&info);
    JSAMPARRAY row = (*info.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&info), JPOOL_IMAGE,
                                               info.output_width * JDIMENSION(info.output_components), 1);
    while (info.output_scanline < info.output_height)
        jpeg_read_scanlines(&info, row, 1);
    jpeg_finish_decompress(&info);
    const bool warned = errors.base.num_warnings > 0;
    if (warned)
        std::memcpy(message, errors.message, JMSG_LENGTH_MAX);
    jpeg_destroy_decompress(&info);
    return warned ? Reading::Warned : Reading::Ok;
}

} // namespace

bool looksLikeJpeg(const QByteArray &bytes)
{
    return bytes.size() >= 4 && uchar(bytes.at(0)) == 0xFF && uchar(bytes.at(1)) == 0xD8
        && uchar(bytes.at(2)) == 0xFF;
}

bool inspectJpeg(const QByteArray &bytes, JpegFacts *facts, QString *why)
{
    if (!looksLikeJpeg(bytes)) {
        *why = QStringLiteral("不是 JPEG");
        return false;
    }
    JpegFacts read;
    char message[JMSG_LENGTH_MAX] = {};
    const Reading reading = readJpeg(reinterpret_cast<const unsigned char *>(bytes.constData()),
                                     static_cast<unsigned long>(bytes.size()), &read, message);
    if (reading != Reading::Ok) {
        *why = QStringLiteral("JPEG 不能原样保留：%1").arg(QString::fromLatin1(message));
        return false;
    }
    // The orientation tag, read the way the picture is shown elsewhere in
    // the program.
    QByteArray copy = bytes;
    QBuffer buffer(&copy);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "jpeg");
    read.orientation = reader.transformation();
    *facts = read;
    return true;
}

QTransform uprightPlacement(const JpegFacts &facts, double pointsPerPixel, QSize *uprightPixels)
{
    const double w = facts.width;
    const double h = facts.height;
    const QImageIOHandler::Transformations o = facts.orientation;
    // Unit square to stored pixels (rows from the top), then the tag's
    // mirror, flip and quarter turn as the image reader applies them, then
    // pixels to points with y pointing up.
    QTransform placement(w, 0, 0, -h, 0, h);
    if (o & QImageIOHandler::TransformationMirror)
        placement *= QTransform(-1, 0, 0, 1, w, 0);
    if (o & QImageIOHandler::TransformationFlip)
        placement *= QTransform(1, 0, 0, -1, 0, h);
    const bool turned = o & QImageIOHandler::TransformationRotate90;
    if (turned)
        placement *= QTransform(0, 1, -1, 0, h, 0);
    const QSize upright = turned ? QSize(facts.height, facts.width) : QSize(facts.width, facts.height);
    placement *= QTransform(pointsPerPixel, 0, 0, -pointsPerPixel, 0, pointsPerPixel * upright.height());
    if (uprightPixels)
        *uprightPixels = upright;
    return placement;
}

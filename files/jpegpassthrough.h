#pragma once

#include <QByteArray>
#include <QImageIOHandler>
#include <QSize>
#include <QString>
#include <QTransform>

// Whether a JPEG can go into a PDF exactly as it is (/DCTDecode): every PDF
// viewer then decodes the very bytes the camera wrote, so nothing is lost,
// nothing is re-encoded and the wrapper is hardly larger than the photo.

struct JpegFacts
{
    int width = 0;          // as stored, before the orientation tag
    int height = 0;
    int components = 0;     // 1 grey, 3 colour, 4 CMYK
    // /ColorTransform of the DCT filter: 1 when the stored colours are
    // YCbCr (or YCCK), 0 when they are the colours themselves; -1 for grey.
    int colorTransform = -1;
    // CMYK as Adobe writes it (scanners and Photoshop): stored inverted,
    // so the image needs /Decode [1 0 1 0 1 0 1 0].
    bool invertedCmyk = false;
    bool progressive = false;
    QImageIOHandler::Transformations orientation = QImageIOHandler::TransformationNone;
};

// Reads bytes as libjpeg reads them and decodes the whole picture at an
// eighth of its size, so a JPEG whose markers lie (a size its data does
// not fill, corrupt or extraneous data, an unknown colour transform, 12-bit
// or arithmetic coding) is refused with why, for the log. True with facts
// for a picture a PDF viewer will show exactly as an image viewer does.
bool inspectJpeg(const QByteArray &bytes, JpegFacts *facts, QString *why);

// Whether bytes begin like a JPEG (SOI and a marker).
bool looksLikeJpeg(const QByteArray &bytes);

// The image matrix that shows a stored picture of facts upright on its page:
// it maps the image's unit square to the page, whose size in points is
// pointsPerPixel times the upright pixel size (returned in uprightPixels).
QTransform uprightPlacement(const JpegFacts &facts, double pointsPerPixel, QSize *uprightPixels);

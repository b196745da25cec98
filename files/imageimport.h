#pragma once

#include <QString>

// Pictures (a photographed worksheet, a screenshot) are wrapped into a
// one-page PDF of their own so the canvas can show them like any document.

// Largest picture kept at full size; bigger ones are scaled down on import.
constexpr qint64 kMaxImagePixels = 12000000;

// True for the picture suffixes the program offers (png, jpg, jpeg, bmp,
// gif, ico), in any letter case. A name without a dot is not an image.
bool isImageFile(const QString &path);

// The open dialog's filter: 图片 (*.png *.jpg *.jpeg *.bmp *.gif *.ico).
QString imageFileFilter();

// Where the wrapper PDF of imagePath lives: the temp folder's
// "image-<SHA-1 of the path>.pdf", the same name for the same path.
QString imageWrapperPath(const QString &imagePath);

// Writes the wrapper PDF of imagePath (overwriting an older one) and hands
// out its path. False with a Chinese message on failure.
bool wrapImageAsPdf(const QString &imagePath, QString *pdfPathOut, QString *error = nullptr);

// Writes pdfPath as a one-page PDF holding imagePath at 96 dpi: upright by
// its orientation tag, transparency on white, scaled down to at most
// kMaxImagePixels. Written atomically; an existing file is never damaged.
bool writeImagePdf(const QString &imagePath, const QString &pdfPath, QString *error = nullptr);
